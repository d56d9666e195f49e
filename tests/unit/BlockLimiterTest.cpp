#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "ScriptedSource.h"
#include "audio/BlockLimiter.h"
#include "audio/Limiters.h"
#include "synth/DbGain.h"

using namespace sonimo;

namespace {

constexpr std::int32_t kCeiling = kNominalFullScale;
constexpr std::int32_t kBase = 200000; // a level well under the ceiling

// A mono block at kBase with the given frames overloaded at twice the ceiling.
std::vector<std::int32_t> withSpikes(int frames, std::initializer_list<int> at) {
    std::vector<std::int32_t> v(static_cast<std::size_t>(frames), kBase);
    for (int f : at)
        v[f] = 2 * kCeiling;
    return v;
}

struct Limited {
    BlockLimiter* limiter; // borrowed from `ref`
    SourceRef ref;
};

Limited limit(int channels, std::vector<std::int32_t> samples) {
    SourceRef src = makeSource<ScriptedSource>(44100, channels, std::move(samples));
    SourceRef lim = LimitPerBlock(src, kCeiling);
    return {static_cast<BlockLimiter*>(lim.get()), lim};
}

std::vector<std::int32_t> read(Limited& l, int frames) {
    std::vector<std::int32_t> out(static_cast<std::size_t>(frames) * l.ref->channels);
    l.ref->Read(out.data(), frames);
    return out;
}

} // namespace

TEST(BlockLimiterShape, AnOverloadAtFrameTenIsAttackedFromFrameZeroAndReleasedOver256Frames) {
    Limited l = limit(1, withSpikes(1024, {10}));
    const std::vector<std::int32_t> out = read(l, 1024);
    EXPECT_EQ(out[0], kBase) << "the attack starts at unity in frame 0";
    for (int f = 1; f < 10; ++f)
        EXPECT_LT(out[f], out[f - 1]) << "attack, frame " << f;
    EXPECT_LE(out[10], kCeiling);
    EXPECT_GT(out[10], kCeiling * 85 / 100) << "aimed at 0.9 of the ceiling";
    EXPECT_LT(out[11], kBase / 2) << "the release starts from the new gain";
    for (int f = 12; f < 267; ++f)
        EXPECT_GT(out[f], out[f - 1]) << "release, frame " << f;
    EXPECT_LT(out[266], kBase) << "the release takes all 256 frames after the overload";
    for (int f = 267; f < 1024; ++f)
        ASSERT_EQ(out[f], kBase) << "untouched after the release, frame " << f;
    EXPECT_EQ(l.limiter->hold(), 0);
}

TEST(BlockLimiterShape, AFarOverloadGetsAFullAttackAndAnOverloadedSpanOneGain) {
    Limited l = limit(1, withSpikes(2048, {600, 700}));
    const std::vector<std::int32_t> out = read(l, 2048);
    for (int f = 0; f <= 344; ++f)
        ASSERT_EQ(out[f], kBase) << "before the 256-frame attack, frame " << f;
    EXPECT_LT(out[345], kBase);
    for (int f = 601; f < 700; ++f)
        ASSERT_EQ(out[f], out[601]) << "one gain across the overloaded span";
    EXPECT_LE(out[600], kCeiling);
    EXPECT_LE(out[700], kCeiling);
    EXPECT_LT(out[956], kBase);
    EXPECT_EQ(out[957], kBase);
}

TEST(BlockLimiterShape, AnOverloadInFrameZeroIsAttenuatedAtOnce) {
    Limited l = limit(1, withSpikes(512, {0, 1, 2}));
    const std::vector<std::int32_t> out = read(l, 512);
    EXPECT_LE(out[0], kCeiling) << "frame 0 has no room for an attack and must not pass at unity";
    EXPECT_EQ(out[1], out[0]) << "the overloaded span keeps that gain";
    EXPECT_LE(out[2], kCeiling);
}

TEST(BlockLimiterShape, TheOverloadedSpanIsFoundInEitherChannel) {
    std::vector<std::int32_t> in(2 * 600, kBase);
    in[2 * 300 + 1] = -2 * kCeiling; // right channel, negative
    Limited l = limit(2, in);
    const std::vector<std::int32_t> out = read(l, 600);
    EXPECT_GE(out[601], -kCeiling);
    EXPECT_EQ(out[600], out[602]) << "left takes the gain of frame 300 too";
    EXPECT_LT(out[600], kBase / 2);
    EXPECT_EQ(out[0], kBase);
    EXPECT_EQ(out[2 * 44], kBase) << "the attack starts 256 frames before, at frame 44, from unity";
    EXPECT_LT(out[2 * 45], kBase);
    EXPECT_LT(out[2 * 556], kBase);
    EXPECT_EQ(out[2 * 557], kBase);
}

TEST(BlockLimiterHold, AReleaseCutByTheEndOfABlockIsFinishedInTheNext) {
    Limited l = limit(1, withSpikes(1000, {90}));
    const std::vector<std::int32_t> a = read(l, 100);
    EXPECT_EQ(l.limiter->hold(), 256 - 9);
    EXPECT_LT(a[99], kBase);
    const std::vector<std::int32_t> b = read(l, 400);
    EXPECT_GT(b[0], a[99]) << "the release goes on rising";
    for (int f = 1; f < 247; ++f)
        ASSERT_GT(b[f], b[f - 1]) << "frame " << f;
    EXPECT_LT(b[246], kBase);
    for (int f = 247; f < 400; ++f)
        ASSERT_EQ(b[f], kBase) << "frame " << f;
    EXPECT_EQ(l.limiter->hold(), 0);
}

TEST(BlockLimiterHold, AReleaseLongerThanTheNextBlockIsSpreadOverTheBlocksThatFollow) {
    Limited l = limit(1, withSpikes(1000, {99}));
    read(l, 100);
    EXPECT_EQ(l.limiter->hold(), 256);
    std::vector<std::int32_t> rel;
    for (int i = 0; i < 6; ++i) {
        const std::vector<std::int32_t> b = read(l, 50);
        rel.insert(rel.end(), b.begin(), b.end());
    }
    for (int f = 1; f < 256; ++f)
        ASSERT_GE(rel[f], rel[f - 1]) << "frame " << f;
    // one straight line from the held gain (0.45) to unity over the 256 frames
    EXPECT_NEAR(rel[128], (rel[0] + kBase) / 2, kBase / 100);
    EXPECT_NEAR(rel[64], (3 * rel[0] + kBase) / 4, kBase / 100);
    EXPECT_LT(rel[255], kBase);
    for (int f = 256; f < 300; ++f)
        ASSERT_EQ(rel[f], kBase) << "frame " << f;
    EXPECT_EQ(l.limiter->hold(), 0);
}

TEST(BlockLimiterHold, AnOverloadWhileAReleaseIsDueStartsFromTheHeldGain) {
    std::vector<std::int32_t> in = withSpikes(400, {99, 150});
    Limited l = limit(1, in);
    read(l, 100);
    const std::int32_t held = l.limiter->gain();
    const std::vector<std::int32_t> b = read(l, 300);
    // from the held gain in frame 0 the gain moves to the new one over 50 frames
    EXPECT_EQ(b[0], MulGain(kBase, held)) << "the held gain, not unity";
    EXPECT_LE(b[50], kCeiling);
    EXPECT_LT(b[299], kBase);
}

TEST(BlockLimiterHold, AHugeOverloadLateInABlockAfterAHeldReleaseStaysUnderTheCeiling) {
    std::vector<std::int32_t> in = withSpikes(100, {99});
    in.resize(6100, kBase);
    for (int f = 6000; f < 6010; ++f)
        in[f] = f % 2 ? 0x7FFFFFFF : -0x7FFFFFFF;
    Limited l = limit(1, in);
    read(l, 100);
    ASSERT_GT(l.limiter->hold(), 0);
    const std::vector<std::int32_t> b = read(l, 6000);
    for (int f = 5900; f < 5910; ++f) {
        EXPECT_LE(b[f], kCeiling) << "frame " << f;
        EXPECT_GE(b[f], -kCeiling) << "frame " << f;
    }
}

TEST(BlockLimiterHold, ABlockOfZeroPeakWhileAReleaseIsDueIsWellDefined) {
    std::vector<std::int32_t> in = withSpikes(200, {99});
    in.resize(1000, 0);     // then silence
    in.resize(1500, kBase); // then the quiet signal again
    Limited l = limit(1, in);
    read(l, 200);
    ASSERT_GT(l.limiter->hold(), 0);
    const std::int32_t held = l.limiter->gain();
    const std::vector<std::int32_t> z = read(l, 800);
    EXPECT_EQ(z, std::vector<std::int32_t>(800, 0));
    EXPECT_EQ(l.limiter->hold(), 0);
    EXPECT_GE(l.limiter->gain(), held);
    EXPECT_LE(l.limiter->gain(), 0x1000000) << "no gain above unity";
    EXPECT_EQ(read(l, 500), std::vector<std::int32_t>(500, kBase));
}

TEST(BlockLimiterLevel, NoSampleLeavesAboveTheCeilingUnderRandomSignalsAndBlockSizes) {
    std::mt19937 rng(8122026);
    for (int trial = 0; trial < 10; ++trial) {
        const int ch = 1 + trial % 2;
        const int frames = 40000;
        std::vector<std::int32_t> in(static_cast<std::size_t>(frames) * ch);
        std::int32_t level = 0;
        for (std::size_t i = 0; i < in.size(); ++i) {
            if (rng() % 300 == 0) level = static_cast<std::int32_t>(rng() % (4u * kCeiling));
            if (rng() % 7000 == 0) level = 0x7FFFFFFF;
            in[i] = static_cast<std::int32_t>(static_cast<std::int64_t>(rng() % (2ull * level + 1)) - level);
        }
        SourceRef lim = LimitPerBlock(makeSource<ScriptedSource>(44100, ch, in), kCeiling);
        std::vector<std::int32_t> out(in.size());
        std::vector<int> sizes;
        for (int done = 0; done < frames;) {
            const int k = std::min(frames - done, 1 + static_cast<int>(rng() % 8192));
            sizes.push_back(k);
            lim->Read(out.data() + static_cast<std::size_t>(done) * ch, k);
            done += k;
        }
        for (std::size_t i = 0; i < out.size(); ++i) {
            ASSERT_LE(out[i], kCeiling) << "trial " << trial << " sample " << i;
            ASSERT_GE(out[i], -kCeiling - 2) << "trial " << trial << " sample " << i;
            ASSERT_GE((out[i] + 8) >> 4, -32767);
            if (in[i] >= 0)
                ASSERT_LE(out[i], in[i]) << "never amplified, sample " << i;
            else
                ASSERT_GE(out[i], in[i] - 2) << "never amplified, sample " << i;
        }
    }
}

TEST(BlockLimiterLevel, PositionLengthAndSeekAreTheInnerSources) {
    std::vector<std::int32_t> in(3000, 5);
    auto* raw = new ScriptedSource(44100, 1, in);
    SourceRef lim = LimitPerBlock(SourceRef(raw), kCeiling);
    EXPECT_EQ(lim->peakLevel, kCeiling);
    readFrames(*lim, 100);
    EXPECT_EQ(lim->GetPosition(), 100);
    EXPECT_EQ(lim->GetLength(), 3000);
    lim->Seek(2000);
    EXPECT_EQ(raw->GetPosition(), 2000);
}

namespace {

// `seconds` of a sum of sines (mono, 44100 Hz), each at the level of one tone at 0 dB.
std::vector<std::int32_t> sines(std::initializer_list<double> hz, double seconds) {
    const int frames = static_cast<int>(44100 * seconds);
    std::vector<std::int32_t> v(static_cast<std::size_t>(frames));
    for (int f = 0; f < frames; ++f) {
        double x = 0;
        for (double h : hz)
            x += std::sin(2 * 3.14159265358979323846 * h * f / 44100.0);
        v[f] = static_cast<std::int32_t>(std::lround(x * kUnitAmplitude));
    }
    return v;
}

// Peaks of the 50 ms windows of `out`, in dB of the largest one, without the first
// window (the attack).
std::vector<double> windowPeaks(const std::vector<std::int32_t>& out) {
    const std::size_t w = 2205;
    std::vector<double> peaks;
    for (std::size_t at = w; at + w <= out.size(); at += w) {
        std::int64_t p = 0;
        for (std::size_t i = at; i < at + w; ++i)
            p = std::max<std::int64_t>(p, std::llabs(out[i]));
        peaks.push_back(static_cast<double>(p));
    }
    return peaks;
}

std::vector<std::int32_t> readInBlocks(const std::vector<std::int32_t>& in, std::vector<int> sizes) {
    SourceRef lim = LimitPerBlock(makeSource<ScriptedSource>(44100, 1, in), kCeiling);
    std::vector<std::int32_t> out(in.size());
    for (std::size_t done = 0, i = 0; done < in.size(); ++i) {
        const int k = std::min<int>(static_cast<int>(in.size() - done), sizes[i % sizes.size()]);
        lim->Read(out.data() + done, k);
        done += static_cast<std::size_t>(k);
    }
    return out;
}

} // namespace

TEST(BlockLimiterLevel, AToneJustOverTheCeilingPlaysAtOneLevelWhateverTheReadSizes) {
    // 1000 Hz at 0 dB peaks a hair over the ceiling in about one period of ten; the reads
    // are waveOut's, DirectSound's segments and ragged ones.
    const std::vector<std::int32_t> in = sines({1000}, 2.0);
    for (const std::vector<int>& sizes :
         {std::vector<int>{8192}, {2940}, {2940, 17, 1000}, {64}, {441}, {3000, 5000, 1}}) {
        const std::vector<std::int32_t> out = readInBlocks(in, sizes);
        const std::vector<double> peaks = windowPeaks(out);
        const auto [lo, hi] = std::minmax_element(peaks.begin(), peaks.end());
        EXPECT_LT(20 * std::log10(*hi / *lo), 0.1) << "reads of " << sizes[0] << " frames first";
        EXPECT_NEAR(*hi / kCeiling, 0.9, 0.01) << "reads of " << sizes[0];
        double sum = 0;
        for (std::size_t i = 2205; i < out.size(); ++i)
            sum += static_cast<double>(out[i]) * out[i];
        const double rms = std::sqrt(sum / static_cast<double>(out.size() - 2205));
        EXPECT_NEAR(rms / *hi, std::sqrt(0.5), 0.005) << "still a sine, reads of " << sizes[0];
    }
}

TEST(BlockLimiterLevel, SixteenTonesAtFullLevelPlayAtOneLevelWhateverTheReadSizes) {
    const std::vector<std::int32_t> in =
        sines({100, 200, 300, 400, 500, 600, 700, 800, 900, 1000, 1100, 1200, 1300, 1400, 1500, 1600}, 2.0);
    for (const std::vector<int>& sizes : {std::vector<int>{8192}, {2940}, {2940, 17, 1000}, {300}}) {
        const std::vector<double> peaks = windowPeaks(readInBlocks(in, sizes));
        const auto [lo, hi] = std::minmax_element(peaks.begin(), peaks.end());
        EXPECT_LT(20 * std::log10(*hi / *lo), 0.1) << "reads of " << sizes[0] << " frames first";
        EXPECT_LE(*hi, kCeiling);
    }
}

TEST(BlockLimiterLevel, AReleaseOverASignalNearTheCeilingStopsAtItsLevelAndGoesOnWhenItFalls) {
    // one overload in a signal just under the ceiling, then the signal drops by half
    std::vector<std::int32_t> in(20000, kCeiling - 100);
    for (std::size_t i = 1; i < in.size(); i += 2)
        in[i] = -in[i];
    in[100] = 2 * kCeiling;
    for (std::size_t i = 12000; i < in.size(); ++i)
        in[i] /= 2;
    const std::vector<std::int32_t> out = readInBlocks(in, {500});
    const double held = std::abs(out[5000]) / static_cast<double>(kCeiling);
    EXPECT_NEAR(held, 0.9, 0.01) << "held at 0.9, not released to full level";
    for (int f = 400; f < 11900; ++f)
        ASSERT_NEAR(std::abs(out[f]), std::abs(out[5000]), 2) << "frame " << f;
    EXPECT_EQ(out[19999], in[19999]) << "once the signal falls the release goes on to unity";
}
