// A dB-over-frequency curve and the magnitude response a curve filter is built from.
#pragma once
#include <array>
#include <cstdint>

namespace sonimo {

inline constexpr int kMaxCurvePoints = 63;
inline constexpr int kResponseBins = 2049; // bins 0..2048 of a 4096-point spectrum

struct CurvePoint {
    float frequencyHz;
    float gainDb;
};

// Points in ascending frequency; at most kMaxCurvePoints.
struct FrequencyCurve {
    std::int32_t count = 0;
    CurvePoint points[kMaxCurvePoints] = {};

    bool add(float frequencyHz, float gainDb); // false (and nothing added) when full
};

// The 57-point curve of a noise colour (an unknown colour gives white): the table
// points 20..900 Hz, then every 500 Hz to 20000 Hz, then 20000 Hz once more, each gain
// lifted by the colour's offset.
FrequencyCurve ColourCurve(int colour);

// Linear gain x 100 per bin (100 = unity), bin b at b * rate / 4096 Hz.
using MagnitudeResponse = std::array<double, kResponseBins>;

// Interpolates the curve linearly in amplitude over the bins: segments start 10 Hz
// below their first point (so consecutive ones overlap and the later wins), bins past
// the last point hold its gain, bins beyond 2048 are dropped. A rate <= 0 counts as
// 44100. An empty curve gives a flat unity response.
MagnitudeResponse BuildMagnitudeResponse(const FrequencyCurve& curve, int rate);

// 10^(dB / 20) x 100 in single precision, the amplitude the response is built from.
float CurveAmplitude(float gainDb);

} // namespace sonimo
