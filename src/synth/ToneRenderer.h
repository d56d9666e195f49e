// Turns a tone record into a fresh source graph: the generator its waveform names at the
// rate given, wrapped in a LoopSource when the tone loops. Levels and formats are left to
// the consumers: the result has the generator's own rate, channels and peak. The caller
// owns the returned handle. User-interface thread (a list tone may show notices).
#pragma once
#include <cstdint>

#include "synth/SampleSource.h"
#include "tone/ToneData.h"

namespace sonimo {

// The sample rates the options offer; the settings store the index into this list.
inline constexpr int kSampleRateChoices[] = {6000,  8000,  11025, 16000, 22050, 32000,
                                             44100, 48000, 64000, 88200, 96000, 192000};
inline constexpr int kSampleRateChoiceCount = 12;
inline constexpr int kDefaultSampleRateIndex = 6;

// The rate of a stored index; 44100 for an index outside the list.
int sampleRateOfIndex(int index);
// The index of a rate in the list, or -1.
int indexOfSampleRate(int rate);
// "Settings"/"SampleRate" of the current settings store, as a rate.
int settingsSampleRate();

SourceRef RenderTone(const ToneData& tone, int rate);
SourceRef RenderToneAtSettingsRate(const ToneData& tone);
// What RenderToneAtSettingsRate gives when the settings give `rate`: the tone, and every
// tone inside a list it names, at that rate (any positive rate, not only the listed ones).
SourceRef RenderToneAtPlaybackRate(const ToneData& tone, int rate);

// The loop region end, in frames, of a looped single steady periodic tone: the whole
// periods nearest to the tone's length. The tone's length itself when the first
// frequency gives no usable period (0, above the rate, not a number) or when not even
// one period fits once rounded.
std::int32_t wholePeriodLoopEnd(const ToneData& tone, int rate);

} // namespace sonimo
