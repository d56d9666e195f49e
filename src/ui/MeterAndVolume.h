// Level meter and volume arithmetic, and the status bar's texts.
#pragma once
#include <string>

#include "platform/SettingsStore.h"

namespace sonimo {

inline constexpr int kLevelSilence = -127; // a channel without signal
inline constexpr int kLevelNone = -128;    // nothing measured (shown as "--dB")
inline constexpr int kVolumeMin = -48;
inline constexpr int kVolumeMax = 0;

// Pixels of a bar of `length` that a level fills: -48 dB and below empty, 0 dB 80 %,
// +12 dB and above full.
int meterFill(int levelDb, int length);
// "現在のレベル：%ddB" of the louder channel, "--dB" when nothing was measured.
std::u16string meterTooltip(const int* levels, int channels);
// What the meter shows of a reported channel level at the current volume step.
int meterLevel(int reportedDb, int volume);

// Slider position 0..100 to the volume step -48..0 (half away from zero) and back.
int volumeFromSlider(int position);
int sliderFromVolume(int volume);

// Status bar part 0 (program and maker) and part 1 (the playback sample rate, with the
// aliasing advice below 44100 Hz).
std::u16string statusProgramText();
std::u16string statusSampleRateText(SettingsStore& settings);

} // namespace sonimo
