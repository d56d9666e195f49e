#include <gtest/gtest.h>

#include "TestSupport.h"

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "synth/DbGain.h"
#include "synth/PeriodicSource.h"

using namespace sonimo;

namespace {

ToneData tone(int waveform, double hz) {
    ToneData t = defaultToneData();
    t.waveform = static_cast<std::uint8_t>(waveform);
    t.leftStartHz[0] = t.leftEndHz[0] = hz;
    return t;
}

std::vector<std::int32_t> channel(const std::vector<std::int32_t>& v, int ch, int c) {
    std::vector<std::int32_t> out;
    for (std::size_t i = c; i < v.size(); i += ch)
        out.push_back(v[i]);
    return out;
}

// Frequency from the rising zero crossings of v[from, to): crossings counted between the
// first and the last one, with linear interpolation at both.
double zeroCrossingHz(const std::vector<std::int32_t>& v, int from, int to, int rate) {
    double first = -1, last = -1;
    int count = 0;
    for (int i = from + 1; i < to; ++i) {
        if (v[i - 1] < 0 && v[i] >= 0) {
            const double t = (i - 1) + static_cast<double>(-v[i - 1]) / (v[i] - v[i - 1]);
            if (first < 0) first = t;
            last = t;
            ++count;
        }
    }
    return count > 1 ? (count - 1) * rate / (last - first) : 0.0;
}

} // namespace

TEST(GainTable, AmplitudeEntriesAreTheDocumentedValues) {
    const DbGainTable& g = DbGainTable::instance();
    EXPECT_EQ(g.amplitude(0), 16777216);
    EXPECT_EQ(g.amplitude(-6), 8408526);
    EXPECT_EQ(g.amplitude(-20), 1677722);
    EXPECT_EQ(g.amplitude(-126), 8);
    EXPECT_EQ(g.amplitude(-127), 0);
    EXPECT_EQ(g.amplitude(-128), 0);
    EXPECT_EQ(g.amplitude(127), 0x7FFFFFFF);
    EXPECT_EQ(g.amplitude(20), 167772160);
    EXPECT_EQ(g.amplitude(42), 2112126356); // 10^2.1 * 2^24 + 0.5
    EXPECT_EQ(g.amplitude(43), 0x7FFFFFFF) << "saturates once 2^31 - 1 is reached";
}

TEST(GainTable, PowerEntriesUseTenthsOfTheExponent) {
    const DbGainTable& g = DbGainTable::instance();
    EXPECT_EQ(g.power(0), 16777216);
    EXPECT_EQ(g.power(10), 167772160);
    EXPECT_EQ(g.power(-10), 1677722);
    EXPECT_EQ(g.power(-127), 0);
    EXPECT_EQ(g.power(21), 2112126356);
    EXPECT_EQ(g.power(22), 0x7FFFFFFF);
}

TEST(GainTable, FractionalDecibelsInterpolateBetweenNeighbours) {
    const DbGainTable& g = DbGainTable::instance();
    EXPECT_EQ(g.gain(-6.0), 8408526);
    const std::int32_t a = g.amplitude(-7), b = g.amplitude(-6);
    EXPECT_EQ(g.gain(-6.5), a + static_cast<std::int32_t>(0.5 * (b - a)));
    EXPECT_EQ(g.gain(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(g.gain(1e300), 0x7FFFFFFF);
}

TEST(GainMultiply, UnityKeepsTheSampleAndTheLowTermIsDropped) {
    for (std::int32_t x : {0, 1, -1, 4095, -4096, 524288, -524288, 123456789, -2147483647})
        EXPECT_EQ(MulGain(x, kUnityGain), x) << x;
    EXPECT_EQ(MulGain(524288, 8408526), 262766);
    EXPECT_EQ(MulGain(-524288, 8408526), -262767) << "arithmetic shifts round toward minus infinity";
    EXPECT_EQ(MulGain(4095, 4095), 0) << "low by low is not counted";
    EXPECT_EQ(MulGain(4096 * 3 + 4095, 4096 * 5 + 4095), 15 + 2 + 4) << "high, both cross terms, no low term";
    EXPECT_EQ(MulGain(524288, 0x7FFFFFFF), 67108863);
}

TEST(WaveTables, EachWaveformHasItsDocumentedShape) {
    std::vector<std::int32_t> t(kWaveTableSize);
    buildWaveTable(Sine, t.data());
    EXPECT_EQ(t[0], 0);
    EXPECT_EQ(t[8192], 524288);
    EXPECT_EQ(t[326], 32751);
    EXPECT_EQ(t[24576], -524288);
    buildWaveTable(Square, t.data());
    EXPECT_EQ(t[16383], 524288);
    EXPECT_EQ(t[16384], -524288);
    buildWaveTable(Triangle, t.data());
    EXPECT_EQ(t[1], 64);
    EXPECT_EQ(t[8192], 524288);
    EXPECT_EQ(t[16384], 0);
    EXPECT_EQ(t[24576], -524288);
    EXPECT_EQ(t[32767], -64);
    buildWaveTable(Sawtooth, t.data());
    EXPECT_EQ(t[16384], 524288);
    EXPECT_EQ(t[16385], -524256);
    EXPECT_EQ(t[32767], -32);
    for (int w : {int(Impulse), int(WhiteNoise), 200}) {
        buildWaveTable(w, t.data());
        for (std::int32_t v : t)
            ASSERT_EQ(v, 0) << "waveform " << w;
    }
}

TEST(Oscillators, TheFirstSineSampleIsOneStepIn) {
    PeriodicSource s(tone(Sine, 440.0), 44100);
    EXPECT_EQ(s.left(0).baseIncrement, 42852281u);
    const std::vector<std::int32_t> v = renderFrames(s, 2);
    EXPECT_EQ(v[0], 32751);
    EXPECT_EQ(s.left(0).phase >> 17, 2u * 42852281u >> 17);
}

TEST(Oscillators, AnImpulseTrainPulsesWhenThePhaseWraps) {
    PeriodicSource s(tone(Impulse, 1000.0), 44100);
    const std::vector<std::int32_t> v = renderFrames(s, 44100);
    std::vector<int> at;
    for (int i = 0; i < 44100; ++i) {
        if (v[i] != 0) {
            ASSERT_EQ(v[i], 524288);
            at.push_back(i);
        }
    }
    ASSERT_FALSE(at.empty());
    EXPECT_EQ(at[0], 44);
    EXPECT_EQ(at.size(), 999u) << "one pulse per 44.1 frames";
    EXPECT_EQ(at[1], 88);
    EXPECT_EQ(at[9], 441);
}

TEST(Oscillators, ZeroHertzHoldsTheFirstTableValue) {
    const struct {
        int waveform;
        std::int32_t value;
    } cases[] = {{Sine, 0}, {Triangle, 0}, {Sawtooth, 0}, {Square, 524288}, {Impulse, 0}};
    for (const auto& c : cases) {
        PeriodicSource s(tone(c.waveform, 0.0), 44100);
        for (std::int32_t v : renderFrames(s, 500))
            ASSERT_EQ(v, c.value) << "waveform " << c.waveform;
    }
}

TEST(Oscillators, EveryWaveformKeepsItsPeriodAndPeak) {
    for (int w : {int(Sine), int(Square), int(Triangle), int(Sawtooth)}) {
        PeriodicSource s(tone(w, 1000.0), 48000);
        const std::vector<std::int32_t> v = renderFrames(s, 48000);
        std::int32_t hi = 0, lo = 0;
        for (std::int32_t x : v) {
            hi = std::max(hi, x);
            lo = std::min(lo, x);
        }
        EXPECT_LE(hi, 524288) << w;
        EXPECT_GE(hi, 500000) << w;
        EXPECT_GE(lo, -524288) << w;
        EXPECT_LE(lo, -500000) << w;
        EXPECT_NEAR(zeroCrossingHz(v, 0, 48000, 48000), 1000.0, 0.05) << "waveform " << w;
    }
}

TEST(Oscillators, RelativeAmplitudesScaleAndSilenceTones) {
    ToneData t = tone(Square, 100.0);
    t.flags = ToneFlagRelativeAmplitude;
    t.relativeAmplitudeDb[0] = -6;
    EXPECT_EQ(renderFrames(*std::make_unique<PeriodicSource>(t, 8000), 1)[0], 262766);
    for (int db : {-127, -128}) {
        t.relativeAmplitudeDb[0] = static_cast<std::int8_t>(db);
        for (std::int32_t v : renderFrames(*std::make_unique<PeriodicSource>(t, 8000), 200))
            ASSERT_EQ(v, 0);
    }
    t.flags = 0; // the amplitudes apply only with the flag
    EXPECT_EQ(renderFrames(*std::make_unique<PeriodicSource>(t, 8000), 1)[0], 524288);
}

TEST(Oscillators, TonesAddWithoutNormalisation) {
    ToneData t = tone(Square, 0.0);
    t.toneCount = 16;
    for (int i = 0; i < 16; ++i)
        t.leftStartHz[i] = 0.0;
    PeriodicSource s(t, 44100);
    EXPECT_EQ(s.peakLevel, kGeneratorPeak);
    EXPECT_EQ(renderFrames(s, 1)[0], 16 * 524288);
    t.toneCount = 0;
    PeriodicSource none(t, 44100);
    for (std::int32_t v : renderFrames(none, 10))
        EXPECT_EQ(v, 0);
}

TEST(Channels, StereoInterleavesLeftThenRight) {
    ToneData t = tone(Sine, 440.0);
    t.flags = ToneFlagStereo;
    t.rightStartHz[0] = 1000.0;
    PeriodicSource st(t, 44100);
    ASSERT_EQ(st.channels, 2);
    const std::vector<std::int32_t> v = renderFrames(st, 4410);
    PeriodicSource l(tone(Sine, 440.0), 44100), r(tone(Sine, 1000.0), 44100);
    ASSERT_EQ(l.channels, 1);
    EXPECT_EQ(channel(v, 2, 0), renderFrames(l, 4410));
    EXPECT_EQ(channel(v, 2, 1), renderFrames(r, 4410));
}

TEST(Lengths, EndlessAndFixedTonesReportTheirLengthAndPosition) {
    PeriodicSource endless(tone(Sine, 440.0), 48000);
    renderFrames(endless, 100000);
    EXPECT_EQ(endless.GetLength(), 48000 * 60);
    EXPECT_EQ(endless.GetPosition(), 0);

    ToneData t = tone(Sine, 440.0);
    t.flags = ToneFlagFixedLength;
    t.lengthMs = 1500;
    PeriodicSource fixed(t, 44100);
    EXPECT_EQ(fixed.GetLength(), 66150);
    renderFrames(fixed, 1000, 333);
    EXPECT_EQ(fixed.GetPosition(), 1000);
    t.lengthMs = 0xFFFFFFFFu;
    EXPECT_EQ(PeriodicSource(t, 192000).GetLength(), INT32_MAX) << "a huge length saturates";
}

TEST(Lengths, SeekRestartsEveryOscillatorAtPhaseZero) {
    ToneData t = tone(Sine, 440.0);
    t.flags = ToneFlagStereo | ToneFlagFixedLength;
    t.rightStartHz[0] = 3000.0;
    PeriodicSource s(t, 44100);
    const std::vector<std::int32_t> first = renderFrames(s, 300);
    renderFrames(s, 1234);
    s.Seek(0);
    EXPECT_EQ(s.GetPosition(), 0);
    EXPECT_EQ(renderFrames(s, 300), first);
}

TEST(Sweeps, ALinearSweepIsHalfwayAtTheMiddle) {
    ToneData t = tone(Sine, 100.0);
    t.leftEndHz[0] = 1000.0;
    t.flags = ToneFlagSweep | ToneFlagFixedLength;
    t.lengthMs = 1000;
    PeriodicSource s(t, 44100);
    const std::vector<std::int32_t> v = renderFrames(s, 22050 + 1);
    const double hz = s.left(0).increment * 44100.0 / 4294967296.0;
    EXPECT_NEAR(hz, 550.0, 900.0 * 32 / 44100 + 0.01) << "within one 32-frame step";
    EXPECT_NEAR(zeroCrossingHz(v, 22050 - 2205, 22050 + 1, 44100), 550.0 - 900.0 * 0.025, 3.0);
    const std::vector<std::int32_t> w = renderFrames(s, 22050);
    std::vector<std::int32_t> all(v);
    all.insert(all.end(), w.begin(), w.end());
    EXPECT_NEAR(zeroCrossingHz(all, 22050 - 1103, 22050 + 1103, 44100), 550.0, 2.0);
}

TEST(Sweeps, TheFrequencyMovesEvery32FramesFirstAtThe32ndFrame) {
    ToneData t = tone(Sine, 100.0);
    t.leftEndHz[0] = 1000.0;
    t.flags = ToneFlagSweep | ToneFlagFixedLength;
    PeriodicSource s(t, 44100);
    const std::uint32_t base = s.left(0).baseIncrement;
    renderFrames(s, 31);
    EXPECT_EQ(s.left(0).increment, base);
    renderFrames(s, 1);
    const std::uint32_t k = 4294967296.0 / 44100 * 1000.0 > 0 ? s.left(0).increment : 0;
    EXPECT_EQ(k, incrementFromDouble((4294967296.0 / 44100 * 1000.0 - base) * (31.0 / 44100)) + base);
    renderFrames(s, 31);
    EXPECT_EQ(s.left(0).increment, k);
}

TEST(Sweeps, ALogSweepPassesTheGeometricMean) {
    ToneData t = tone(Sine, 20.0);
    t.leftEndHz[0] = 20000.0;
    t.flags = ToneFlagSweep | ToneFlagLogSweep | ToneFlagFixedLength;
    t.lengthMs = 2000;
    PeriodicSource s(t, 44100);
    renderFrames(s, 44100 + 1);
    const double hz = s.left(0).increment * 44100.0 / 4294967296.0;
    EXPECT_NEAR(hz, std::sqrt(20.0 * 20000.0), 632.5 * 0.004);
}

TEST(Sweeps, ASweepWithoutFixedLengthPlaysTheStartFrequency) {
    ToneData t = tone(Sine, 100.0);
    t.leftEndHz[0] = 1000.0;
    t.flags = ToneFlagSweep;
    PeriodicSource s(t, 44100);
    renderFrames(s, 5000);
    EXPECT_EQ(s.left(0).increment, s.left(0).baseIncrement);
}

TEST(Sweeps, ZeroHertzEndsOfALogSweepStayFinite) {
    for (auto [f0, f1] : {std::pair{0.0, 1000.0}, std::pair{1000.0, 0.0}, std::pair{0.0, 0.0}}) {
        ToneData t = tone(Sine, f0);
        t.leftEndHz[0] = f1;
        t.flags = ToneFlagSweep | ToneFlagLogSweep | ToneFlagFixedLength;
        PeriodicSource s(t, 44100);
        renderFrames(s, 88200); // runs past the length: the law extrapolates
        const double hz = s.left(0).increment * 44100.0 / 4294967296.0;
        EXPECT_TRUE(std::isfinite(hz));
        EXPECT_LE(hz, 22050.0) << f0 << " -> " << f1;
    }
    EXPECT_EQ(incrementFromDouble(std::numeric_limits<double>::quiet_NaN()), 0u);
    EXPECT_EQ(incrementFromDouble(std::numeric_limits<double>::infinity()), incrementFromDouble(9.3e18));
    EXPECT_EQ(incrementFromDouble(-1.0), 0xFFFFFFFFu);
    EXPECT_EQ(incrementFromDouble(4294967296.0 + 5.9), 5u);
}

TEST(Sweeps, OutputDoesNotDependOnTheBlockSize) {
    ToneData t = tone(Sawtooth, 300.0);
    t.toneCount = 3;
    t.leftStartHz[1] = 50;
    t.leftEndHz[1] = 5000;
    t.leftStartHz[2] = 7000;
    t.leftEndHz[2] = 10;
    t.flags = ToneFlagSweep | ToneFlagLogSweep | ToneFlagFixedLength | ToneFlagStereo;
    for (int i = 0; i < 3; ++i) {
        t.rightStartHz[i] = 2 * t.leftStartHz[i];
        t.rightEndHz[i] = t.leftEndHz[i] / 2;
    }
    t.lengthMs = 300;
    PeriodicSource a(t, 32000), b(t, 32000);
    EXPECT_EQ(renderFrames(a, 12000, 8192), renderFrames(b, 12000, 7));
}
