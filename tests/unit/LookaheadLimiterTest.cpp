#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "ScriptedSource.h"
#include "audio/Limiters.h"
#include "audio/LookaheadLimiter.h"

using namespace sonimo;

namespace {

constexpr std::int32_t kCeiling = kNominalFullScale;

std::vector<std::int32_t> constant(int frames, int channels, std::int32_t v) {
    return std::vector<std::int32_t>(static_cast<std::size_t>(frames) * channels, v);
}

// Answers code 6 by doubling the frame count (as a stage running at twice the rate
// would) and records what code 1 brings.
class ClockStage final : public SourceWrapper {
public:
    explicit ClockStage(const SourceRef& inner) : SourceWrapper(inner) {}
    bool Query(int code, int* value) override {
        if (code == 6) {
            *value *= 2;
            return true;
        }
        if (code == 1) {
            lastCode1 = *value;
            return true;
        }
        return SourceWrapper::Query(code, value);
    }
    int lastCode1 = -12345;
};

} // namespace

struct BlockCase {
    int rate;
    bool growing;
    int frames;
};

TEST(LookaheadBlocks, BlockFramesFollowTheRateAndWhetherTheSourceGrows) {
    const BlockCase cases[] = {{44100, false, 1260}, {44100, true, 630},    {8000, false, 228},
                               {8000, true, 114},    {400, false, 16},      {1000, true, 16},
                               {48000, false, 1371}, {192000, false, 5485}, {1000000, false, 8192}};
    for (const BlockCase& c : cases) {
        SourceRef src = makeSource<ScriptedSource>(c.rate, 1, constant(10, 1, 0), kGeneratorPeak, c.growing);
        LookaheadLimiter lim(src, kCeiling);
        EXPECT_EQ(lim.blockFrames(), c.frames) << c.rate << (c.growing ? " growing" : "");
        EXPECT_EQ(lim.lag(), 3 * c.frames) << c.rate;
    }
}

TEST(LookaheadBlocks, TheInnerSourceIsReadOneBlockAtATime) {
    auto* raw = new ScriptedSource(44100, 2, constant(20000, 2, 1000));
    SourceRef src(raw);
    LookaheadLimiter lim(src, kCeiling);
    std::vector<std::int32_t> out(2 * 8192);
    lim.Read(out.data(), 8192);
    EXPECT_EQ(raw->largestRead, 1260);
    EXPECT_EQ(raw->reads, 3 + 8192 / 1260) << "priming reads three blocks, then one per block begun";
}

TEST(LookaheadWrapping, OnlyASourceDeclaredAboveTheCeilingIsWrapped) {
    SourceRef quiet = makeSource<ScriptedSource>(44100, 1, constant(10, 1, 0), kCeiling);
    EXPECT_EQ(LimitWithLookahead(quiet, kCeiling).get(), quiet.get());
    SourceRef loud = makeSource<ScriptedSource>(44100, 1, constant(10, 1, 0), kCeiling + 1);
    SourceRef wrapped = LimitWithLookahead(loud, kCeiling);
    EXPECT_NE(wrapped.get(), loud.get());
    EXPECT_EQ(wrapped->peakLevel, kCeiling);
    EXPECT_EQ(wrapped->channels, 1);
    EXPECT_EQ(wrapped->sampleRate, 44100);
}

TEST(LookaheadWrapping, TheCeilingIsKeptWhereItsArithmeticFits) {
    SourceRef src = makeSource<ScriptedSource>(44100, 1, constant(10, 1, 0), 0x7FFFFFFF);
    EXPECT_EQ(LookaheadLimiter(src, 0x10000000).peakLevel, LookaheadLimiter::kMaxCeiling);
    EXPECT_EQ(LookaheadLimiter(src, -5).peakLevel, 0);
}

TEST(LookaheadGain, BlockGainBringsThePeakUnderTheCeiling) {
    EXPECT_EQ(LookaheadLimiter::BlockGain(kCeiling, kCeiling), 0x1000000);
    EXPECT_EQ(LookaheadLimiter::BlockGain(0, kCeiling), 0x1000000);
    // ((524272 * 512) / ((1048544 + 64) >> 6)) << 9 = (268427264 / 16384) << 9 = 16383 << 9
    EXPECT_EQ(LookaheadLimiter::BlockGain(2 * kCeiling, kCeiling), 16383 << 9);
    EXPECT_EQ(LookaheadLimiter::BlockGain(0x7FFFFFFF, kCeiling), ((kCeiling * 512) / 33554432) << 9);
    EXPECT_EQ(LookaheadLimiter::BlockGain(1, 0), 0);
}

TEST(LookaheadLevel, AConstantAtTwiceTheCeilingSettlesAtHalfItsLevelFromTheFirstFrame) {
    SourceRef src = makeSource<ScriptedSource>(44100, 2, constant(44100, 2, 2 * kCeiling));
    SourceRef lim = LimitWithLookahead(src, kCeiling);
    const std::vector<std::int32_t> out = readFrames(*lim, 30000, 1000);
    EXPECT_LE(out[0], kCeiling) << "the first frame is already attenuated";
    EXPECT_GT(out[0], kCeiling * 99 / 100);
    for (std::size_t i = 0; i < out.size(); ++i) {
        ASSERT_LE(out[i], kCeiling) << "sample " << i;
        ASSERT_GE(out[i], kCeiling * 99 / 100) << "sample " << i;
    }
    EXPECT_EQ(out[0], out[1]) << "both channels take the same gain";
}

TEST(LookaheadLevel, ASignalUnderTheCeilingPassesUnchangedAndInStep) {
    std::vector<std::int32_t> in(2 * 20000);
    for (std::size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<std::int32_t>(i % 1000) * 500 - 250000;
    SourceRef src = makeSource<ScriptedSource>(44100, 2, in);
    SourceRef lim = LimitWithLookahead(src, kCeiling);
    EXPECT_EQ(readFrames(*lim, 20000, 777), in);
}

TEST(LookaheadLevel, AnOverloadIsApproachedOverTheBlocksBeforeIt) {
    // A burst at 4x the ceiling in the middle of a quiet sine-like ramp.
    const int n = 20000;
    std::vector<std::int32_t> in(n, 200000);
    for (int i = 10000; i < 10100; ++i)
        in[i] = 4 * kCeiling;
    SourceRef src = makeSource<ScriptedSource>(44100, 1, in);
    SourceRef lim = LimitWithLookahead(src, kCeiling);
    const std::vector<std::int32_t> out = readFrames(*lim, n);
    EXPECT_EQ(out[0], 200000);
    EXPECT_LT(out[9999], 200000) << "the gain is already falling before the burst";
    for (int i = 10000; i < 10100; ++i)
        ASSERT_LE(out[i], kCeiling) << i;
    for (int i = 1; i < 10000; ++i)
        ASSERT_LE(out[i], out[i - 1]) << "the gain only falls toward the burst, at " << i;
    EXPECT_EQ(out[n - 1], 200000) << "and it recovers after";
}

TEST(LookaheadLevel, NoSampleLeavesAboveTheCeilingUnderRandomSignalsAndBlockSizes) {
    std::mt19937 rng(20261208);
    for (int trial = 0; trial < 12; ++trial) {
        const int ch = 1 + trial % 2;
        const int rate = trial % 3 == 0 ? 8000 : 44100;
        const int frames = 30000;
        std::vector<std::int32_t> in(static_cast<std::size_t>(frames) * ch);
        // bursts of random level, 0 .. 4x the ceiling, both signs, some at full int range
        std::int32_t level = 0;
        for (std::size_t i = 0; i < in.size(); ++i) {
            if (rng() % 500 == 0) level = static_cast<std::int32_t>(rng() % (4u * kCeiling));
            if (rng() % 5000 == 0) level = 0x7FFFFFFF;
            const std::int64_t v = static_cast<std::int64_t>(rng() % (2ull * level + 1)) - level;
            in[i] = static_cast<std::int32_t>(v);
        }
        const int block = 1 + static_cast<int>(rng() % 8192);
        SourceRef a = LimitWithLookahead(makeSource<ScriptedSource>(rate, ch, in), kCeiling);
        const std::vector<std::int32_t> out = readFrames(*a, frames, block);
        for (std::size_t i = 0; i < out.size(); ++i) {
            ASSERT_LE(out[i], kCeiling) << "trial " << trial << " block " << block << " sample " << i;
            // the gain multiply rounds down, so a negative sample may land 2 units lower,
            // which is still -32767 in 16 bits
            ASSERT_GE(out[i], -kCeiling - 2) << "trial " << trial << " block " << block << " sample " << i;
            ASSERT_GE((out[i] + 8) >> 4, -32767);
        }
        // The look-ahead does not depend on how the consumer slices its reads.
        SourceRef b = LimitWithLookahead(makeSource<ScriptedSource>(rate, ch, in), kCeiling);
        std::vector<std::int32_t> sliced(out.size());
        for (int done = 0; done < frames;) {
            const int k = std::min(frames - done, 1 + static_cast<int>(rng() % 3000));
            b->Read(sliced.data() + static_cast<std::size_t>(done) * ch, k);
            done += k;
        }
        ASSERT_EQ(sliced, out) << "trial " << trial;
    }
}

TEST(LookaheadClock, PositionIsTheOutputFrameAfterPrimingAndSeeking) {
    auto* raw = new ScriptedSource(44100, 1, constant(50000, 1, 100));
    SourceRef src(raw);
    LookaheadLimiter lim(src, kCeiling);
    EXPECT_EQ(lim.GetPosition(), 0) << "unprimed: nothing is held";
    std::int32_t s;
    lim.Read(&s, 1);
    EXPECT_EQ(raw->GetPosition(), 3 * 1260);
    EXPECT_EQ(lim.GetPosition(), 1);
    lim.Seek(1000);
    EXPECT_EQ(raw->GetPosition(), 1000 + 3 * 1260);
    EXPECT_EQ(lim.GetPosition(), 1000) << "right after priming: inner position less 3W";
    EXPECT_EQ(lim.GetLength(), 50000);
}

TEST(LookaheadClock, SeekingPrimesSoThatTheNextFrameIsTheOneSought) {
    std::vector<std::int32_t> in(10000);
    for (int i = 0; i < 10000; ++i)
        in[i] = i;
    SourceRef lim = LimitWithLookahead(makeSource<ScriptedSource>(44100, 1, in), kCeiling);
    readFrames(*lim, 3000);
    lim->Seek(4321);
    std::int32_t got[5];
    lim->Read(got, 5);
    EXPECT_EQ(got[0], 4321);
    EXPECT_EQ(got[4], 4325);
}

TEST(LookaheadClock, AGrowingSourceReportsItsLengthLessTheLag) {
    SourceRef src = makeSource<ScriptedSource>(44100, 1, constant(5000, 1, 0), kGeneratorPeak, true);
    LookaheadLimiter lim(src, kCeiling);
    EXPECT_EQ(lim.GetLength(), 5000 - 3 * 630);
}

TEST(LookaheadQuery, CodesOneAndFourAndSixCarryTheFramesHeld) {
    auto* stage = new ClockStage(makeSource<ScriptedSource>(44100, 1, constant(50000, 1, 0)));
    SourceRef inner(stage);
    LookaheadLimiter lim(inner, kCeiling);
    int v = 77;
    EXPECT_TRUE(lim.Query(4, &v));
    EXPECT_EQ(v, 0) << "unprimed";

    std::vector<std::int32_t> buf(100);
    lim.Read(buf.data(), 100);
    v = 0;
    EXPECT_TRUE(lim.Query(4, &v));
    EXPECT_EQ(v, 3780 - 100);
    // the inner clock runs at twice the rate by code 6
    EXPECT_EQ(lim.GetPosition(), 3780 + 2 * (100 - 3780));

    v = 1000;
    EXPECT_TRUE(lim.Query(1, &v));
    EXPECT_EQ(v, 1000 - 2 * (100 - 3780));
    EXPECT_EQ(stage->lastCode1, v) << "code 1 is forwarded with the adjusted value";
    EXPECT_TRUE(lim.Query(1, nullptr));

    v = 5;
    EXPECT_FALSE(lim.Query(9, &v)) << "other codes are forwarded to a source that does not know them";
    EXPECT_EQ(v, 5);
}

TEST(LookaheadQuery, AnUnusableSourceIsHeardAsSilence) {
    SourceRef lim = LimitWithLookahead(SourceRef(), kCeiling);
    EXPECT_NE(lim->state, StateOk);
    std::vector<std::int32_t> buf(3000, 7);
    lim->Read(buf.data(), 3000);
    EXPECT_EQ(buf, std::vector<std::int32_t>(3000, 0));
}
