// The options dialog without a window: what it shows when it opens, and what OK stores,
// in its order, with the two refusals of a step value. User-interface thread only.
#pragma once
#include <string>

#include "platform/SettingsStore.h"
#include "synth/SampleSource.h"
#include "tone/ToneData.h"

namespace sonimo {

// The sample rates the options offer; the settings keep the index into this list.
inline constexpr int kSampleRateChoices[] = {6000,  8000,  11025, 16000, 22050, 32000,
                                             44100, 48000, 64000, 88200, 96000, 192000};
inline constexpr int kSampleRateChoiceCount = 12;
inline constexpr int kDefaultSampleRateIndex = 6;

// The rate of a stored index; 44100 for an index outside the list.
int sampleRateOfIndex(int index);
// The stored index ("Settings"/"SampleRate"); the default for a missing or wrong value.
int settingsSampleRateIndex(SettingsStore& settings);
// The rate the options chose.
int settingsSampleRate(SettingsStore& settings);

// The tone, and every tone inside a list it names, at the rate the options chose: what
// plays, what is saved as WAV and what the companion editor gets.
SourceRef RenderToneAtSettingsRate(const ToneData& tone, SettingsStore& settings);

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
