#include "audio/PeakPrediction.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include "audio/ToneRenderer.h"

namespace sonimo {

namespace {
constexpr double kFullScale = 524288.0; // 32768 steps of 16 bits, 16 units each
constexpr std::int64_t kMilliHz = 1000;
} // namespace

double commonPeriodSeconds(const ToneData& tone, double limit) {
    if (tone.waveform >= WhiteNoise || isSwept(tone) || tone.loop != 0) return 0;
    // In millihertz, where typed frequencies are whole numbers; the period is 1/gcd.
    std::int64_t g = 0;
    const int count = std::clamp<int>(tone.toneCount, 0, kMaxTones);
    for (int i = 0; i < count; ++i) {
        for (double f : {tone.leftStartHz[i], (tone.flags & ToneFlagStereo) ? tone.rightStartHz[i] : 0.0}) {
            if (!(f >= 0 && f <= kMaxFrequencyHz)) return 0;
            const double m = f * kMilliHz;
            const double whole = std::round(m);
            if (std::abs(m - whole) > 1e-6) return 0;
            g = std::gcd(g, static_cast<std::int64_t>(whole));
        }
    }
    if (g == 0) return 0; // all at 0 Hz: nothing periodic to measure
    const double period = static_cast<double>(kMilliHz) / static_cast<double>(g);
    return period <= limit ? period : 0;
}

PeakPrediction measurePeak(SampleSource& source, double seconds) {
    PeakPrediction p;
    const int ch = std::max<int>(source.channels, 1);
    const std::int64_t available =
        std::max<std::int64_t>(0, static_cast<std::int64_t>(source.GetLength()) - source.GetPosition());
    const std::int64_t frames =
        std::min<std::int64_t>(available, static_cast<std::int64_t>(std::ceil(seconds * source.sampleRate)));
    std::vector<std::int32_t> block(static_cast<std::size_t>(kMaxReadFrames) * ch);
    std::int64_t peak = 0;
    double energy = 0;
    for (std::int64_t done = 0; done < frames;) {
        const int k = static_cast<int>(std::min<std::int64_t>(frames - done, kMaxReadFrames));
        source.Read(block.data(), k);
        for (std::size_t i = 0; i < static_cast<std::size_t>(k) * ch; ++i) {
            const std::int64_t x = block[i];
            peak = std::max(peak, x < 0 ? -x : x);
            energy += static_cast<double>(x) * static_cast<double>(x);
        }
        done += k;
    }
    p.windowSeconds = static_cast<double>(frames) / source.sampleRate;
    p.limiterActs = peak > kNominalFullScale;
    if (peak > 0) {
        p.peakDbfs = 20 * std::log10(static_cast<double>(peak) / kFullScale);
        const double rms = std::sqrt(energy / static_cast<double>(frames * ch));
        p.crestFactorDb = 20 * std::log10(static_cast<double>(peak) / rms);
    }
    p.method = frames < available ? PeakMethod::FirstSeconds : PeakMethod::WholeTone;
    return p;
}

PeakPrediction predictPeak(const ToneData& tone, int rate) {
    SourceRef source = RenderToneAtPlaybackRate(tone, rate);
    if (source->state != StateOk) return {};
    // Whole periods, one at least and a second's worth where they are short: the peak
    // needs one, the rms many, as the sample grid falls on other phases in each.
    const double period = commonPeriodSeconds(tone);
    if (period > 0) {
        const double window = std::ceil(1.0 / period) * period + 1.0 / source->sampleRate;
        PeakPrediction p = measurePeak(*source, window);
        if (p.method == PeakMethod::FirstSeconds) {
            p.method = PeakMethod::CommonPeriod;
            p.windowSeconds = period; // what decides the peak
        }
        return p;
    }
    PeakPrediction p = measurePeak(*source, kPeakWindowSeconds);
    if (tone.waveform >= WhiteNoise && tone.waveform != FromList)
        p.method = PeakMethod::FirstSeconds; // random
    return p;
}

} // namespace sonimo
