// The options dialog without a window: what it shows when it opens, and what OK stores,
// in its order, with the two refusals of a step value. User-interface thread only.
#pragma once
#include <string>

#include "platform/SettingsStore.h"

namespace sonimo {

struct OptionsState {
    bool autoplay = false;
    int sampleRateIndex = 6;
    bool semitoneMode = true;
    std::u16string hertzText = u"1.0"; // field 117
    int semitones = 1;                 // up-down 120 on field 121
    std::u16string semitoneText = u"1";
};

OptionsState loadOptions(SettingsStore& settings);

enum class OptionsResult { Stored, SemitoneRefused, HertzRefused };

// Stores autoplay, the device's display name and the rate index, then checks the step of
// the chosen mode: a refusal shows its message and stores nothing more (what was stored
// stays). `state.semitoneText` and `state.hertzText` are the fields' texts as typed.
OptionsResult storeOptions(const OptionsState& state, const std::u16string& deviceDisplayName,
                           SettingsStore& settings);

} // namespace sonimo
