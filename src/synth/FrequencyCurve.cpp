#include "synth/FrequencyCurve.h"

#include <cmath>

#include "synth/NoiseShapeTable.h"
#include "synth/SafeConvert.h"

namespace sonimo {

bool FrequencyCurve::add(float frequencyHz, float gainDb) {
    if (count < 0 || count >= kMaxCurvePoints) return false;
    points[count++] = {frequencyHz, gainDb};
    return true;
}

FrequencyCurve ColourCurve(int colour) {
    if (colour < 0 || colour >= kNoiseColours) colour = NoiseWhite;
    const float offset = NoiseShapeTable::kOffsetsDb[colour];
    const float* gains = NoiseShapeTable::kGainsDb[colour];
    FrequencyCurve curve;
    auto take = [&](int i) { return curve.add(NoiseShapeTable::kFrequencies[i], gains[i] + offset); };
    for (int i = 0; i <= 16; ++i)
        take(i);
    for (int i = 17; i < kNoiseShapePoints && curve.count < kMaxCurvePoints; i += 5)
        take(i);
    take(kNoiseShapePoints - 1); // the response's last segment ends on this point twice
    return curve;
}

float CurveAmplitude(float gainDb) {
    return std::pow(10.0f, gainDb * 0.05f) * 100.0f;
}

namespace {

// Bin numbers from frequencies, truncated; clamped far outside the spectrum so that any
// curve (NaN and infinite frequencies included) gives defined, bounded arithmetic.
std::int64_t binOf(double hz, int rate) {
    const std::int64_t b = TruncToInt64(2.0 * hz / rate * kResponseBins);
    constexpr std::int64_t limit = std::int64_t{1} << 40;
    return b < -limit ? -limit : b > limit ? limit : b;
}

} // namespace

MagnitudeResponse BuildMagnitudeResponse(const FrequencyCurve& curve, int rate) {
    MagnitudeResponse h;
    const int n = curve.count < 0 ? 0 : curve.count > kMaxCurvePoints ? kMaxCurvePoints : curve.count;
    if (n == 0) {
        h.fill(100.0);
        return h;
    }
    h.fill(0.0);
    if (rate <= 0) rate = 44100;
    const CurvePoint* p = curve.points;

    if (p[0].frequencyHz > 10.0f) {
        const std::int64_t end = binOf(static_cast<double>(p[0].frequencyHz) - 10.0, rate);
        const double a = CurveAmplitude(p[0].gainDb);
        for (std::int64_t b = 0; b < end && b < kResponseBins; ++b)
            h[b] = a;
    }

    std::int64_t carried = 0;
    for (int k = 1; k < n; ++k) {
        const CurvePoint& prev = p[k - 1];
        std::int64_t lo =
            prev.frequencyHz >= 10.0f ? binOf(static_cast<double>(prev.frequencyHz) - 10.0, rate) : 0;
        if (lo < 0) lo = 0;
        const std::int64_t hi = binOf(p[k].frequencyHz, rate);
        const double a0 = CurveAmplitude(prev.gainDb);
        const double a1 = CurveAmplitude(p[k].gainDb);
        const double slope = hi > lo ? (a1 - a0) / static_cast<double>(hi - lo) : 0.0;
        std::int64_t b = lo;
        for (; b < hi && b < kResponseBins; ++b)
            h[b] = a0 + static_cast<double>(b - lo) * slope;
        carried = b;
    }

    const double last = CurveAmplitude(p[n - 1].gainDb);
    for (std::int64_t b = carried; b < kResponseBins; ++b)
        h[b] = last;
    return h;
}

} // namespace sonimo
