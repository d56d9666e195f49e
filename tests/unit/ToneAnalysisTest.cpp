// The tone analysis against sines with harmonics, noise and spurs at levels set here,
// read back through the audio file reader as 24-bit and float WAV images.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "WaveBuilder.h"
#include "audio/AudioFileReader.h"
#include "measure/Recording.h"
#include "measure/ToneAnalysis.h"

using namespace sonimo;
using namespace sonimo::wavetest;

namespace {

constexpr int kRate = 48000;
constexpr double kTwoPi = 2 * std::numbers::pi;

struct Partial {
    int order;
    double dbfs; // amplitude, AES17
};

// 997 Hz: no whole number of periods in a small number of samples, so the reader's own
// rounding spreads as noise instead of piling onto the harmonics.
std::vector<double> toneWithHarmonics(double hz, double fundamentalDbfs, const std::vector<Partial>& partials,
                                      int frames, double noiseRms = 0, double spurHz = 0,
                                      double spurDbfs = -400) {
    std::vector<double> x(static_cast<std::size_t>(frames));
    std::mt19937 random(5);
    std::normal_distribution<double> gauss(0, 1);
    const double a1 = std::pow(10.0, fundamentalDbfs / 20);
    for (int n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / kRate;
        double v = a1 * std::sin(kTwoPi * hz * t + 0.3);
        for (const Partial& p : partials)
            v += std::pow(10.0, p.dbfs / 20) * std::sin(kTwoPi * hz * p.order * t + 0.7 * p.order);
        v += std::pow(10.0, spurDbfs / 20) * std::sin(kTwoPi * spurHz * t);
        if (noiseRms > 0) v += noiseRms * gauss(random);
        x[n] = v;
    }
    return x;
}

Bytes wavImage(const std::vector<double>& x, bool float32) {
    Bytes data;
    for (double v : x) {
        if (float32) {
            float f = static_cast<float>(v);
            std::uint32_t u;
            std::memcpy(&u, &f, 4);
            put32(data, u);
        } else {
            const long q = std::lround(std::clamp(v, -1.0, 1.0 - 1.0 / 8388608) * 8388608);
            const auto u = static_cast<std::uint32_t>(q);
            data.push_back(static_cast<unsigned char>(u));
            data.push_back(static_cast<unsigned char>(u >> 8));
            data.push_back(static_cast<unsigned char>(u >> 16));
        }
    }
    Bytes body;
    putId(body, "WAVE");
    append(body, chunk("fmt ", fmtBody(float32 ? 3 : 1, 1, kRate, float32 ? 32 : 24)));
    append(body, chunk("data", data));
    return chunk("RIFF", body);
}

// Through the reader, as a recording is measured.
std::vector<double> throughReader(const std::vector<double>& x, bool float32) {
    SourceRef s = OpenAudioStream(std::make_unique<MemoryByteSource>(wavImage(x, float32)));
    EXPECT_EQ(s->state, StateOk);
    Signal sig;
    EXPECT_EQ(ReadChannel(*s, 0, sig).status, SignalStatus::Ok);
    return sig.samples;
}

double expectedThdDb(double fundamentalDbfs, const std::vector<Partial>& partials) {
    double sum = 0;
    for (const Partial& p : partials)
        sum += std::pow(10.0, p.dbfs / 10);
    return 10 * std::log10(sum) - fundamentalDbfs;
}

const std::vector<Partial> kLadder = {{2, -70}, {3, -80}, {4, -95}, {5, -105}, {7, -115}, {9, -120}};

} // namespace

TEST(ToneAnalysis, HarmonicsDownToMinus120DbfsReadWithinATenthOfADbFromOneSecondOf24BitAndFloat) {
    for (bool float32 : {false, true}) {
        SCOPED_TRACE(float32 ? "float" : "24-bit");
        const auto x = throughReader(toneWithHarmonics(997, -3, kLadder, kRate), float32);
        ToneAnalysisResult r;
        ASSERT_EQ(AnalyzeTone(x, kRate, {}, r), ToneAnalysisStatus::Ok);
        EXPECT_NEAR(r.fundamentalHz, 997, 0.001);
        EXPECT_NEAR(r.fundamentalDbfs, -3, 0.01);
        ASSERT_GE(r.harmonics.size(), 8u);
        // every harmonic up to Nyquist is there: 997 * 24 = 23928 Hz
        EXPECT_EQ(r.harmonics.size(), 23u);
        for (const Partial& p : kLadder) {
            SCOPED_TRACE(p.order);
            EXPECT_EQ(r.harmonics[p.order - 2].order, p.order);
            EXPECT_NEAR(r.harmonics[p.order - 2].hz, 997.0 * p.order, 0.01);
            EXPECT_NEAR(r.harmonics[p.order - 2].dbfs, p.dbfs, 0.1);
        }
        // absent ones sit at the reader's rounding floor, far under the ladder
        EXPECT_LT(r.harmonics[4].dbfs, -135);
        EXPECT_NEAR(r.thdDb, expectedThdDb(-3, kLadder), 0.1);
        EXPECT_NEAR(r.thdPercent, 100 * std::pow(10.0, expectedThdDb(-3, kLadder) / 20), 0.001);
    }
}

TEST(ToneAnalysis, TheFrequencyIsFoundToAMillihertzAwayFromBinCentres) {
    for (double hz : {50.123, 997.0, 1000.4567, 12345.678}) {
        SCOPED_TRACE(hz);
        const auto x = throughReader(toneWithHarmonics(hz, -6, {{2, -60}}, kRate), false);
        ToneAnalysisResult r;
        ASSERT_EQ(AnalyzeTone(x, kRate, {}, r), ToneAnalysisStatus::Ok);
        EXPECT_NEAR(r.fundamentalHz, hz, 0.001);
        EXPECT_NEAR(r.fundamentalDbfs, -6, 0.01);
    }
}

TEST(ToneAnalysis, NoiseEntersThdPlusNoiseAndTheNoiseLevelButNotTheHarmonics) {
    const double noiseRms = 1e-5; // -97 dBFS AES17
    const auto x = throughReader(toneWithHarmonics(997, -1, {{2, -80}, {3, -90}}, 2 * kRate, noiseRms), true);
    ToneAnalysisResult r;
    ASSERT_EQ(AnalyzeTone(x, kRate, {}, r), ToneAnalysisStatus::Ok);
    EXPECT_NEAR(r.harmonics[0].dbfs, -80, 0.1);
    EXPECT_NEAR(r.harmonics[1].dbfs, -90, 0.3);
    const double a1 = std::pow(10.0, -1 / 20.0);
    const double distortion = (std::pow(10.0, -8.0) + std::pow(10.0, -9.0)) / 2;
    const double thdn = std::sqrt((distortion + noiseRms * noiseRms) / (a1 * a1 / 2));
    EXPECT_NEAR(r.thdnDb, 20 * std::log10(thdn), 0.1);
    EXPECT_NEAR(r.sinadDb, -20 * std::log10(thdn), 0.1);
    EXPECT_NEAR(r.noiseDbfs, 20 * std::log10(noiseRms * std::sqrt(2.0)), 0.2);
    EXPECT_LT(r.thdDb, r.thdnDb);
}

TEST(ToneAnalysis, CoherentAveragingKeepsEveryHarmonicAtItsLevel) {
    // A wrong phase reference per block would cancel the harmonics instead.
    const auto x = throughReader(toneWithHarmonics(997.3, -3, kLadder, 2 * kRate), true);
    for (int averages : {1, 3, 8}) {
        SCOPED_TRACE(averages);
        ToneAnalysisOptions o;
        o.averages = averages;
        ToneAnalysisResult r;
        ASSERT_EQ(AnalyzeTone(x, kRate, o, r), ToneAnalysisStatus::Ok);
        EXPECT_EQ(r.blockFrames, 2 * kRate / averages);
        EXPECT_NEAR(r.fundamentalHz, 997.3, 0.001);
        for (const Partial& p : kLadder) {
            if (p.dbfs < -110 && averages == 8) continue; // 0.25 s blocks: the floor comes near
            EXPECT_NEAR(r.harmonics[p.order - 2].dbfs, p.dbfs, 0.1) << "order " << p.order;
        }
        EXPECT_NEAR(r.thdDb, expectedThdDb(-3, kLadder), 0.1);
    }
}

TEST(ToneAnalysis, EveryWindowReadsTheFundamentalAndAStrongHarmonic) {
    const auto x = throughReader(toneWithHarmonics(1234.5, -10, {{2, -50}, {3, -60}}, kRate), true);
    for (WindowKind w :
         {WindowKind::BlackmanHarris7, WindowKind::BlackmanHarris4, WindowKind::FlatTop, WindowKind::Hann}) {
        SCOPED_TRACE(windowName(w));
        ToneAnalysisOptions o;
        o.window = w;
        ToneAnalysisResult r;
        ASSERT_EQ(AnalyzeTone(x, kRate, o, r), ToneAnalysisStatus::Ok);
        EXPECT_NEAR(r.fundamentalHz, 1234.5, 0.001);
        EXPECT_NEAR(r.fundamentalDbfs, -10, 0.01);
        EXPECT_NEAR(r.harmonics[0].dbfs, -50, 0.05);
        EXPECT_NEAR(r.harmonics[1].dbfs, -60, 0.05);
    }
}

TEST(ToneAnalysis, ASpurIsReportedAtItsFrequencyAndLevelAndTheFloorBelowIt) {
    const auto x = throughReader(toneWithHarmonics(1000, -6, {{2, -90}}, kRate, 1e-6, 3333.3, -100), true);
    ToneAnalysisResult r;
    ASSERT_EQ(AnalyzeTone(x, kRate, {}, r), ToneAnalysisStatus::Ok);
    ASSERT_FALSE(r.spurs.empty());
    EXPECT_NEAR(r.spurs[0].hz, 3333.3, 0.5);
    EXPECT_NEAR(r.spurs[0].dbfs, -100, 0.5);
    // white noise of rms s spreads s^2 over 24000 Hz: per 0.73 Hz bin, as a sine's level
    EXPECT_LT(r.noiseFloorDbfs, -130);
    EXPECT_GT(r.noiseFloorDbfs, -160);
    // the spectrum for the plot shows the tone at its level
    const std::size_t bin = static_cast<std::size_t>(std::lround(1000 / r.binHz));
    double top = -400;
    for (std::size_t b = bin - 3; b <= bin + 3; ++b)
        top = std::max(top, r.spectrumDbfs[b]);
    EXPECT_NEAR(top, -6, 0.05);
}

TEST(ToneAnalysis, TheSilenceRecordedAroundTheToneIsLeftOut) {
    std::vector<double> x(static_cast<std::size_t>(kRate / 3), 0.0);
    const auto tone = toneWithHarmonics(997, -12, {{2, -70}}, kRate);
    x.insert(x.end(), tone.begin(), tone.end());
    x.resize(x.size() + kRate / 2, 0.0);
    ToneAnalysisResult r;
    ASSERT_EQ(AnalyzeTone(throughReader(x, false), kRate, {}, r), ToneAnalysisStatus::Ok);
    EXPECT_NEAR(r.fundamentalDbfs, -12, 0.01);
    EXPECT_NEAR(r.harmonics[0].dbfs, -70, 0.1);
    EXPECT_NEAR(static_cast<double>(r.firstFrame), kRate / 3, 2);
    EXPECT_NEAR(static_cast<double>(r.frames), kRate, 4);
}

TEST(ToneAnalysis, AVeryLowToneStopsAtItsThousandthHarmonic) {
    const auto x = toneWithHarmonics(10, -6, {{3, -60}}, kRate);
    ToneAnalysisResult r;
    ASSERT_EQ(AnalyzeTone(x, kRate, {}, r), ToneAnalysisStatus::Ok);
    EXPECT_NEAR(r.fundamentalHz, 10, 0.001);
    EXPECT_TRUE(r.harmonicsCut);
    ASSERT_EQ(r.harmonics.size(), static_cast<std::size_t>(kMaxHarmonic - 1));
    EXPECT_NEAR(r.harmonics[1].dbfs, -60, 0.1);
}

TEST(ToneAnalysis, TooShortAndToneless) {
    ToneAnalysisResult r;
    EXPECT_EQ(AnalyzeTone(std::vector<double>(1000, 0.1), kRate, {}, r), ToneAnalysisStatus::TooShort);
    ToneAnalysisOptions o;
    o.averages = 100;
    EXPECT_EQ(AnalyzeTone(toneWithHarmonics(1000, -6, {}, kRate), kRate, o, r), ToneAnalysisStatus::TooShort);
    EXPECT_EQ(AnalyzeTone(std::vector<double>(kRate, 0.0), kRate, {}, r), ToneAnalysisStatus::NoTone);
}
