// The response measurement against systems whose answers are known: delays, gains,
// a short FIR filter, a memoryless non-linearity; the sweep is the program's own render.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "audio/ToneRenderer.h"
#include "measure/Recording.h"
#include "measure/ResponseMeasurement.h"
#include "tone/ToneData.h"

using namespace sonimo;

namespace {

constexpr int kRate = 48000;
constexpr double kPi = std::numbers::pi;

// A log sweep tone as render renders it: 16-bit, through the limiter.
std::vector<double> renderedSweep(double from, double to, std::uint32_t ms, int db) {
    ToneData t = defaultToneData();
    t.leftStartHz[0] = t.rightStartHz[0] = from;
    t.leftEndHz[0] = t.rightEndHz[0] = to;
    t.lengthMs = ms;
    t.relativeAmplitudeDb[0] = static_cast<std::int8_t>(db);
    setKind(t, ToneKind::LogSweep);
    Signal s;
    EXPECT_EQ(RenderFirstChannel(RenderToneAtPlaybackRate(t, kRate), s).status, SignalStatus::Ok);
    return s.samples;
}

std::vector<double> convolve(const std::vector<double>& x, const std::vector<double>& h, std::size_t tail) {
    std::vector<double> y(x.size() + tail, 0.0);
    for (std::size_t n = 0; n < y.size(); ++n) {
        double v = 0;
        for (std::size_t k = 0; k < h.size() && k <= n; ++k)
            if (n - k < x.size()) v += h[k] * x[n - k];
        y[n] = v;
    }
    return y;
}

double firDb(const std::vector<double>& h, double hz) {
    std::complex<double> sum;
    for (std::size_t k = 0; k < h.size(); ++k)
        sum += h[k] * std::polar(1.0, -2 * kPi * hz / kRate * static_cast<double>(k));
    return 20 * std::log10(std::abs(sum));
}

} // namespace

TEST(ResponseMeasurement, TheRenderedLogSweepIsRecognisedWithItsEndsAndRate) {
    const auto x = renderedSweep(20, 20000, 2000, -6);
    const LogSweep s = DetectLogSweep(x, kRate);
    ASSERT_TRUE(s.found);
    EXPECT_NEAR(s.startHz, 20, 1);
    EXPECT_NEAR(s.endHz, 20000, 1000);
    EXPECT_NEAR(s.seconds, 2.0, 0.01);
    EXPECT_NEAR(s.rateSeconds, 2.0 / std::log(1000.0), 0.01);
}

TEST(ResponseMeasurement, NoiseALinearSweepAndAConstantToneAreNotLogSweeps) {
    std::vector<double> noise(kRate), linear(kRate), constant(kRate);
    std::mt19937 random(3);
    std::uniform_real_distribution<double> u(-0.5, 0.5);
    for (int n = 0; n < kRate; ++n) {
        const double t = static_cast<double>(n) / kRate;
        noise[n] = u(random);
        linear[n] = 0.5 * std::sin(2 * kPi * (20 * t + 9990 * t * t));
        constant[n] = 0.5 * std::sin(2 * kPi * 1000 * t);
    }
    EXPECT_FALSE(DetectLogSweep(noise, kRate).found);
    EXPECT_FALSE(DetectLogSweep(linear, kRate).found);
    EXPECT_FALSE(DetectLogSweep(constant, kRate).found);
}

TEST(ResponseMeasurement, ADelayAndAGainAreFoundToTheSampleAndAHundredthOfADb) {
    const auto x = renderedSweep(10, 22000, 1000, -6);
    for (int delay : {0, 1, 777}) {
        for (double gain : {1.0, 0.3, 1.7}) {
            SCOPED_TRACE(testing::Message() << "delay " << delay << " gain " << gain);
            std::vector<double> y(x.size() + delay + kRate / 4, 0.0);
            for (std::size_t n = 0; n < x.size(); ++n)
                y[n + delay] = gain * x[n];
            ResponseResult r;
            ASSERT_EQ(MeasureResponse(x, y, kRate, {}, r), ResponseStatus::Ok);
            EXPECT_TRUE(r.sweep.found);
            EXPECT_EQ(r.delaySamples, delay);
            EXPECT_NEAR(r.gainDb, 20 * std::log10(gain), 0.01);
            for (std::size_t i = 0; i < r.hz.size(); ++i) {
                if (r.hz[i] < 20 || r.hz[i] > 0.9 * kRate / 2) continue;
                ASSERT_NEAR(r.magnitudeDb[i], 20 * std::log10(gain), 0.01) << r.hz[i] << " Hz";
                ASSERT_NEAR(r.phaseDeg[i], 0, 0.1) << r.hz[i] << " Hz";
            }
            ASSERT_GT(r.impulse.size(), static_cast<std::size_t>(delay));
            // band-limited to the sweep's range, the impulse is a little lower than its gain
            EXPECT_NEAR(r.impulse[delay], gain, 0.01 * gain);
        }
    }
}

TEST(ResponseMeasurement, AShortFilterIsMeasuredWithinATenthOfADbBySweepAndByNoise) {
    const std::vector<double> h = {0.1, 0.45, 0.3, -0.12, 0.05};
    std::vector<double> noise(kRate);
    std::mt19937 random(9);
    std::normal_distribution<double> g(0, 0.1);
    for (double& v : noise)
        v = std::round(g(random) * 32768) / 32768;
    for (bool sweep : {true, false}) {
        SCOPED_TRACE(sweep ? "sweep" : "noise");
        const auto x = sweep ? renderedSweep(10, 22000, 1000, -6) : noise;
        const auto y = convolve(x, h, 100);
        ResponseResult r;
        ASSERT_EQ(MeasureResponse(x, y, kRate, {}, r), ResponseStatus::Ok);
        EXPECT_EQ(r.sweep.found, sweep);
        EXPECT_EQ(r.delaySamples, 1); // the largest tap
        int checked = 0;
        for (std::size_t i = 0; i < r.hz.size(); ++i) {
            if (r.hz[i] < 20 || r.hz[i] > 0.9 * kRate / 2) continue;
            ASSERT_NEAR(r.magnitudeDb[i], firDb(h, r.hz[i]), 0.1) << r.hz[i] << " Hz";
            ++checked;
        }
        EXPECT_GT(checked, 400);
    }
}

TEST(ResponseMeasurement, TheHarmonicsOfAMemorylessNonLinearityComeOutAtTheirPredictedLevels) {
    // y = x + 0.01 x^2 + 0.001 x^3: for x = A cos, the 2nd harmonic is 0.005 A^2, the 3rd
    // 0.00025 A^3, the fundamental A (1 + 0.00075 A^2). The sweep stays below a third of
    // Nyquist so that no harmonic folds back.
    const auto x = renderedSweep(20, 7000, 3000, -3);
    double a = 0;
    for (double v : x)
        a = std::max(a, std::fabs(v));
    std::vector<double> y(x.size() + kRate / 4, 0.0);
    for (std::size_t n = 0; n < x.size(); ++n)
        y[n] = x[n] + 0.01 * x[n] * x[n] + 0.001 * x[n] * x[n] * x[n];
    ResponseOptions o;
    o.smoothOctaves = 1.0 / 6;
    ResponseResult r;
    ASSERT_EQ(MeasureResponse(x, y, kRate, o, r), ResponseStatus::Ok);
    ASSERT_TRUE(r.sweep.found);
    ASSERT_GE(r.harmonics.size(), 2u);
    const double fundamental = 1 + 0.00075 * a * a;
    const double h2 = 20 * std::log10(0.005 * a / fundamental),
                 h3 = 20 * std::log10(0.00025 * a * a / fundamental);
    EXPECT_EQ(r.harmonics[0].order, 2);
    EXPECT_NEAR(r.harmonics[0].offsetSeconds, std::log(2.0) * 3 / std::log(350.0), 0.01);
    EXPECT_NEAR(r.harmonics[0].medianDb, h2, 0.5);
    EXPECT_NEAR(r.harmonics[1].medianDb, h3, 0.5);
    for (std::size_t i = 0; i < r.hz.size(); ++i) {
        if (r.hz[i] < 50 || r.hz[i] > 2000) continue;
        EXPECT_NEAR(r.harmonics[0].levelDb[i], h2, 0.5) << r.hz[i] << " Hz";
        EXPECT_NEAR(r.harmonics[1].levelDb[i], h3, 0.5) << r.hz[i] << " Hz";
        EXPECT_NEAR(r.magnitudeDb[i], 20 * std::log10(fundamental), 0.05) << r.hz[i] << " Hz";
    }
    // a linear system shows none
    ResponseResult clean;
    ASSERT_EQ(MeasureResponse(x, std::vector<double>(x.begin(), x.end()), kRate, o, clean),
              ResponseStatus::Ok);
    EXPECT_LT(clean.harmonics[0].medianDb, h2 - 40);
}

TEST(ResponseMeasurement, ShortSilentAndEmptyInputsAreRefused) {
    const auto x = renderedSweep(100, 1000, 200, -6);
    ResponseResult r;
    EXPECT_EQ(MeasureResponse(x, std::vector<double>(x.begin(), x.end() - 1), kRate, {}, r),
              ResponseStatus::RecordingShorter);
    EXPECT_EQ(MeasureResponse(x, std::vector<double>(x.size(), 0.0), kRate, {}, r),
              ResponseStatus::SilentRecording);
    EXPECT_EQ(MeasureResponse(std::vector<double>(x.size(), 0.0), x, kRate, {}, r),
              ResponseStatus::SilentReference);
}

TEST(ResponseMeasurement, OddSignalsEndInAResultOrARefusal) {
    // what a user's file might hold: a click, a constant, Nyquist, a single sample
    std::vector<double> click(4800, 0.0), constant(4800, 0.25), nyquist(4800);
    click[100] = 0.9;
    for (std::size_t i = 0; i < nyquist.size(); ++i)
        nyquist[i] = i & 1 ? 0.5 : -0.5;
    const std::vector<std::vector<double>> signals = {click, constant, nyquist, {0.5}, {0.5, -0.5, 0.25}};
    for (std::size_t a = 0; a < signals.size(); ++a) {
        for (std::size_t b = 0; b < signals.size(); ++b) {
            SCOPED_TRACE(testing::Message() << "reference " << a << ", recording " << b);
            ResponseResult r;
            const ResponseStatus s = MeasureResponse(signals[a], signals[b], kRate, {}, r);
            if (signals[b].size() < signals[a].size()) {
                EXPECT_EQ(s, ResponseStatus::RecordingShorter);
                continue;
            }
            if (s != ResponseStatus::Ok) continue;
            EXPECT_EQ(r.hz.size(), r.magnitudeDb.size());
            EXPECT_EQ(r.hz.size(), r.phaseDeg.size());
            EXPECT_FALSE(r.impulse.empty());
            for (double v : r.magnitudeDb)
                ASSERT_TRUE(std::isfinite(v));
        }
    }
    // a click against itself, delayed, is a delay
    std::vector<double> later(click.size() + 50, 0.0);
    later[150] = 0.9;
    ResponseResult r;
    ASSERT_EQ(MeasureResponse(click, later, kRate, {}, r), ResponseStatus::Ok);
    EXPECT_EQ(r.delaySamples, 50);
}
