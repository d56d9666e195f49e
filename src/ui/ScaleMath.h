// The frequency scale's arithmetic: four segments of a quarter of the width each, for
// 0..100 Hz, 100..1000 Hz, 1..10 kHz and 10..22 kHz, from a left margin m over a scale
// width s; and the value box text.
#pragma once
#include <string>

namespace sonimo {

inline constexpr int kScaleMin = 0;
inline constexpr int kScaleMax = 22000;
inline constexpr int kScaleDefault = 11000;

// pos(f) = m + trunc(s * x(f)).
int scalePosition(int hz, int margin, int width);
// The value under a pixel, before clamping (it may lie outside 0..22000).
long long scaleValueAt(int x, int margin, int width);
int clampScaleValue(long long hz);
// "%d Hz" below 10000, "%5.2f kHz" from 10000.
std::u16string scaleValueText(int hz);
// Wheel delta to steps: delta / 120 rounded half away from zero.
int wheelSteps(int delta);

} // namespace sonimo
