#include <gtest/gtest.h>

#include "ScriptedSource.h"
#include "TestSupport.h"

#include <climits>
#include <random>
#include <vector>

#include "synth/ChannelConverter.h"
#include "synth/LoopSource.h"
#include "synth/SequenceSource.h"
#include "synth/SilenceSource.h"
#include "synth/SourceEffect.h"

using namespace sonimo;

namespace {

// Frame k of channel c is 1000 * k + c + 1, for `length` frames, then zeros; seeks exactly.
class RampSource final : public SampleSource {
public:
    RampSource(int rate, int ch, int length) : SampleSource(rate, ch, kGeneratorPeak), length_(length) {}
    void Read(std::int32_t* b, int n) override {
        for (int i = 0; i < n; ++i, ++pos_)
            for (int c = 0; c < channels; ++c)
                *b++ = pos_ >= 0 && pos_ < length_ ? 1000 * pos_ + c + 1 : 0;
        ++reads;
    }
    int GetPosition() override { return pos_; }
    int GetLength() override { return length_; }
    void Seek(int f) override { pos_ = f; }
    int reads = 0;

private:
    int pos_ = 0;
    int length_;
};

// Counts destructions, to check that handles release what they hold.
int gDestroyed = 0;
class CountedSource final : public SampleSource {
public:
    CountedSource() : SampleSource(8000, 1, 0) {}
    ~CountedSource() override { ++gDestroyed; }
    void Read(std::int32_t* b, int n) override { zeroFrames(b, n, 1); }
    int GetPosition() override { return 0; }
    int GetLength() override { return 0; }
};

} // namespace

TEST(SourceHandles, ADefaultHandleHoldsASilentPlaceholder) {
    SourceRef r;
    EXPECT_EQ(r->state, StateNull);
    EXPECT_EQ(r->sampleRate, 11025);
    EXPECT_EQ(r->channels, 1);
    EXPECT_EQ(r->peakLevel, kGeneratorPeak);
    EXPECT_EQ(r->refCount, 1);
    std::vector<std::int32_t> buf(100, 7);
    r->Read(buf.data(), 100);
    for (int v : buf)
        EXPECT_EQ(v, 0);
    r->Seek(50);
    EXPECT_EQ(r->GetLength(), 0);
    EXPECT_EQ(r->GetPosition(), 0);
}

TEST(SourceHandles, CopiesShareOneCountAndTheLastReleaseDestroys) {
    gDestroyed = 0;
    {
        SourceRef a = makeSource<CountedSource>();
        EXPECT_EQ(a->refCount, 1);
        {
            SourceRef b = a;
            SourceRef c;
            c = b;
            EXPECT_EQ(a->refCount, 3);
            c = c; // self-assignment keeps the source
            EXPECT_EQ(a->refCount, 3);
        }
        EXPECT_EQ(a->refCount, 1);
        EXPECT_EQ(gDestroyed, 0);
        a.reset();
        EXPECT_EQ(gDestroyed, 1);
        EXPECT_EQ(a->state, StateNull);
    }
    EXPECT_EQ(gDestroyed, 1);
}

TEST(SourceHandles, BadRatesAndChannelCountsFallBackWithBadFormat) {
    SilenceSource s(0, 0, 0, 10);
    EXPECT_EQ(s.sampleRate, 44100);
    EXPECT_EQ(s.channels, 1);
    EXPECT_EQ(s.state, StateBadFormat);
    SilenceSource t(-5, 2, 0, 10);
    EXPECT_EQ(t.state, StateBadFormat);
    EXPECT_EQ(t.channels, 2);
}

TEST(SourceHandles, AWrapperAroundAnUnusableSourceIsBadInput) {
    SourceRef bad = makeSource<SilenceSource>(0, 1, 0, 10);
    LoopSource loop(bad, 0, 10);
    EXPECT_EQ(loop.state, StateBadInput);
    SourceRef none;
    LoopSource loop2(none, 0, 10);
    EXPECT_EQ(loop2.state, StateBadInput);
    EXPECT_EQ(loop2.sampleRate, 11025) << "the format is copied from the inner source";
}

TEST(Durations, MillisecondsToFramesSplitsAtWholeSeconds) {
    EXPECT_EQ(MsToFrames(1000, 44100), 44100);
    EXPECT_EQ(MsToFrames(1500, 44100), 66150);
    EXPECT_EQ(MsToFrames(1, 44100), 44);
    EXPECT_EQ(MsToFrames(999, 22050), 22027); // 22050 * 999 / 1000 = 22027.95
    EXPECT_EQ(MsToFrames(0xFFFFFFFFu, 192000), INT32_MAX) << "saturates instead of wrapping";
    EXPECT_EQ(MsToFrames(49000000, 44100), INT32_MAX);
    EXPECT_EQ(MsToFrames(48000000, 44100), 2116800000);
    EXPECT_EQ(MsToFrames(48694, 44100), 2147405); // no overflow where rate * ms would
    EXPECT_EQ(FramesToMs(66150, 44100), 1500);
    EXPECT_EQ(FramesToMs(44, 44100), 0);
    EXPECT_EQ(FramesToMs(45, 44100), 1);
    EXPECT_EQ(FramesToMs(100, 0), 0);
    EXPECT_EQ(FramesToMs(INT32_MAX, 1), 2147483647000LL);
}

TEST(Sequences, TwoSilencesPlayExactlyTheirLengthAndThenHold) {
    SequenceEntries e;
    e.push_back({makeSource<SilenceSource>(44100, 2, kGeneratorPeak, MsToFrames(1000, 44100))});
    e.push_back({makeSource<SilenceSource>(44100, 2, kGeneratorPeak, MsToFrames(500, 44100))});
    SourceRef seq = MakeSequence(e);
    EXPECT_EQ(seq->sampleRate, 44100);
    EXPECT_EQ(seq->channels, 2);
    EXPECT_EQ(seq->GetLength(), 66150);
    std::vector<std::int32_t> v = renderFrames(*seq, 70000, 1000);
    for (std::int32_t x : v)
        ASSERT_EQ(x, 0);
    EXPECT_EQ(seq->GetPosition(), 66150);
    EXPECT_EQ(seq->GetLength(), 66150);
}

TEST(Sequences, AllUnusableEntriesGiveEightKilohertzMono) {
    SequenceEntries e;
    e.push_back({SourceRef()});
    e.push_back({makeSource<SilenceSource>(0, 2, 0, 5)});
    SourceRef seq = MakeSequence(e);
    EXPECT_EQ(seq->sampleRate, 8000);
    EXPECT_EQ(seq->channels, 1);
    EXPECT_EQ(seq->peakLevel, kNominalFullScale);
    EXPECT_EQ(seq->GetLength(), 0);
}

TEST(Sequences, AnUnusableChildStandsForItsSilence) {
    SequenceEntries e;
    e.push_back({makeSource<RampSource>(1000, 1, 3)});
    e.push_back({SourceRef(), 5}); // 5 ms at 1000 Hz = 5 frames
    e.push_back({makeSource<RampSource>(1000, 1, 2)});
    SourceRef seq = MakeSequence(e);
    EXPECT_EQ(seq->GetLength(), 10);
    const std::vector<std::int32_t> v = renderFrames(*seq, 12, 4);
    const std::vector<std::int32_t> want = {1, 1001, 2001, 0, 0, 0, 0, 0, 1, 1001, 0, 0};
    EXPECT_EQ(v, want);
    EXPECT_EQ(seq->GetPosition(), 10);
}

TEST(Sequences, OutputDoesNotDependOnTheBlockSize) {
    SequenceEntries e;
    e.push_back({makeSource<RampSource>(8000, 2, 37)});
    e.push_back({makeSource<SilenceSource>(8000, 2, kGeneratorPeak, 11)});
    e.push_back({makeSource<RampSource>(8000, 2, 123)});
    const std::vector<std::int32_t> ref = renderFrames(*MakeSequence(e), 200, 200);
    std::mt19937 rng(1);
    for (int trial = 0; trial < 20; ++trial) {
        SourceRef seq = MakeSequence(e);
        std::vector<std::int32_t> v(400);
        for (int done = 0; done < 200;) {
            const int n = std::min<int>(200 - done, 1 + rng() % 40);
            seq->Read(v.data() + 2 * done, n);
            done += n;
        }
        ASSERT_EQ(v, ref) << "trial " << trial;
    }
}

TEST(Sequences, ChildrenOfOtherFormatsAreConvertedWhenTheyBecomeCurrent) {
    SequenceEntries e;
    e.push_back({makeSource<SilenceSource>(22050, 1, kGeneratorPeak, 22050)});
    e.push_back({makeSource<SilenceSource>(44100, 2, kGeneratorPeak, 100)});
    SourceRef seq = MakeSequence(e);
    EXPECT_EQ(seq->sampleRate, 44100);
    EXPECT_EQ(seq->channels, 2);
    EXPECT_EQ(seq->GetLength(), 44100 + 100) << "the first child's 22050 frames became 44100";
}

TEST(Sequences, SeekLandsInsideTheRightChild) {
    SequenceEntries e;
    e.push_back({makeSource<RampSource>(1000, 1, 10)});
    e.push_back({makeSource<RampSource>(1000, 1, 10)});
    SourceRef seq = MakeSequence(e);
    seq->Seek(13);
    EXPECT_EQ(seq->GetPosition(), 13);
    EXPECT_EQ(seq->GetLength(), 20);
    std::vector<std::int32_t> v = renderFrames(*seq, 2);
    EXPECT_EQ(v, (std::vector<std::int32_t>{3001, 4001}));
    seq->Seek(10);
    v = renderFrames(*seq, 1);
    EXPECT_EQ(v[0], 1) << "the first frame of the second child, not past the first child's end";
}

TEST(Sequences, SeekPastTheEndGivesOneSecondOfSilenceThenZeros) {
    SequenceEntries e;
    e.push_back({makeSource<RampSource>(1000, 1, 10)});
    SourceRef seq = MakeSequence(e);
    seq->Seek(50);
    EXPECT_EQ(seq->GetPosition(), 50);
    EXPECT_EQ(seq->GetLength(), 1050);
    const std::vector<std::int32_t> v = renderFrames(*seq, 1500, 100);
    for (std::int32_t x : v)
        ASSERT_EQ(x, 0);
    EXPECT_EQ(seq->GetPosition(), 1050);
}

TEST(Loops, AShortLoopPlaysItsFramesThenRepeatsEvery256Frames) {
    for (int block : {1000, 7, 256, 8192}) {
        SourceRef loop = makeSource<LoopSource>(makeSource<RampSource>(1000, 1, 100000), 0, 100);
        const std::vector<std::int32_t> v = renderFrames(*loop, 100 + 3 * 256, block);
        for (int i = 0; i < 100; ++i)
            ASSERT_EQ(v[i], 1000 * i + 1) << "block " << block;
        for (int p = 0; p < 3; ++p)
            for (int i = 0; i < 256; ++i)
                ASSERT_EQ(v[100 + p * 256 + i], 1000 * i + 1) << "block " << block << " pass " << p;
    }
}

TEST(Loops, ALongLoopRepeatsItsRegionSeamlessly) {
    SourceRef loop = makeSource<LoopSource>(makeSource<RampSource>(1000, 2, 100000), 300, 1000);
    const std::vector<std::int32_t> v = renderFrames(*loop, 3000, 333);
    for (int i = 0; i < 3000; ++i) {
        const int src = i < 1000 ? i : 300 + (i - 1000) % 700;
        ASSERT_EQ(v[2 * i], 1000 * src + 1) << i;
        ASSERT_EQ(v[2 * i + 1], 1000 * src + 2) << i;
    }
    EXPECT_EQ(loop->GetLength(), 1000 + 8 * 1000);
}

TEST(Loops, SeekingPastTheEndWrapsIntoTheRegion) {
    SourceRef loop = makeSource<LoopSource>(makeSource<RampSource>(1000, 1, 100000), 0, 100);
    loop->Seek(105);
    EXPECT_EQ(loop->GetPosition(), 5);
    loop->Seek(350);
    EXPECT_EQ(loop->GetPosition(), 50);
    SourceRef empty = makeSource<LoopSource>(makeSource<RampSource>(1000, 1, 100000), 20, 20);
    empty->Seek(77);
    EXPECT_EQ(empty->GetPosition(), 20);
}

TEST(Loops, TheEffectConvertsMillisecondsAndOrdersTheEnds) {
    SourceRef ramp = makeSource<RampSource>(48000, 1, 100000);
    SourceRef out = LoopEffect(500, 250).Apply(ramp);
    auto* loop = dynamic_cast<LoopSource*>(out.get());
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(loop->loopStart(), 12000);
    EXPECT_EQ(loop->loopEnd(), 24000);
    SourceRef none;
    EXPECT_EQ(LoopEffect(0, 100).Apply(none).get(), none.get()) << "an unusable source is handed back";
}

TEST(Channels, DownMixTruncatesTowardZero) {
    class Pair final : public SampleSource {
    public:
        Pair() : SampleSource(8000, 2, 0) {}
        void Read(std::int32_t* b, int n) override {
            const std::int32_t v[] = {3, -4, -3, -4, INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
            for (int i = 0; i < 2 * n; ++i)
                b[i] = v[i % 8];
        }
        int GetPosition() override { return 0; }
        int GetLength() override { return 4; }
    };
    SourceRef mono = ChannelEffect(1).Apply(makeSource<Pair>());
    ASSERT_EQ(mono->channels, 1);
    std::vector<std::int32_t> v(4);
    mono->Read(v.data(), 4);
    EXPECT_EQ(v, (std::vector<std::int32_t>{0, -3, INT32_MAX, INT32_MIN}));
}

TEST(Channels, UpMixCopiesAndOtherPairsAreHandedBack) {
    SourceRef ramp = makeSource<RampSource>(8000, 1, 10);
    SourceRef st = ChannelEffect(2).Apply(ramp);
    ASSERT_EQ(st->channels, 2);
    const std::vector<std::int32_t> v = renderFrames(*st, 2);
    EXPECT_EQ(v, (std::vector<std::int32_t>{1, 1, 1001, 1001}));
    SourceRef three = makeSource<RampSource>(8000, 3, 10);
    EXPECT_EQ(ChannelEffect(1).Apply(three).get(), three.get());
    EXPECT_EQ(ChannelEffect(3).Apply(three).get(), three.get());
}

TEST(FormatConversion, DownMixesBeforeAndUpMixesAfterResampling) {
    SourceRef a = makeSource<SilenceSource>(22050, 2, kGeneratorPeak, 100);
    ConvertFormat(a, 44100, 1);
    EXPECT_EQ(a->sampleRate, 44100);
    EXPECT_EQ(a->channels, 1);
    auto* top = dynamic_cast<SourceWrapper*>(a.get());
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->inner().channels, 1) << "the resampler sits on the down-mixed source";

    SourceRef b = makeSource<SilenceSource>(22050, 1, kGeneratorPeak, 100);
    ConvertFormat(b, 44100, 2);
    EXPECT_NE(dynamic_cast<ChannelConverter*>(b.get()), nullptr) << "up-mix last";
    EXPECT_EQ(dynamic_cast<SourceWrapper*>(b.get())->inner().sampleRate, 44100);

    SourceRef c = makeSource<SilenceSource>(44100, 2, kGeneratorPeak, 100);
    SampleSource* before = c.get();
    ConvertFormat(c, 44100, 2);
    EXPECT_EQ(c.get(), before);
}

TEST(Channels, FewerChannelsGoToTheFirstOnesAndMonoToEvery) {
    const auto upMixed = [](int from, int to) {
        std::vector<std::int32_t> in;
        for (int f = 0; f < 3; ++f)
            for (int c = 0; c < from; ++c)
                in.push_back(100 * (f + 1) + c + 1);
        SourceRef s = ChannelEffect(to).Apply(makeSource<ScriptedSource>(8000, from, in));
        EXPECT_EQ(s->channels, to);
        std::vector<std::int32_t> out(static_cast<std::size_t>(3) * to,
                                      0x5A5A5A5A); // no stale value survives
        s->Read(out.data(), 3);
        return out;
    };
    EXPECT_EQ(upMixed(1, 4),
              (std::vector<std::int32_t>{101, 101, 101, 101, 201, 201, 201, 201, 301, 301, 301, 301}));
    EXPECT_EQ(upMixed(2, 4), (std::vector<std::int32_t>{101, 102, 0, 0, 201, 202, 0, 0, 301, 302, 0, 0}));
    EXPECT_EQ(upMixed(3, 6), (std::vector<std::int32_t>{101, 102, 103, 0, 0, 0, 201, 202, 203, 0, 0, 0, 301,
                                                        302, 303, 0, 0, 0}));
    EXPECT_EQ(upMixed(1, 2), (std::vector<std::int32_t>{101, 101, 201, 201, 301, 301}));
}

TEST(Sequences, MonoAndStereoEntriesOfAFourChannelSequenceDefineEverySample) {
    SequenceEntries entries;
    entries.push_back({makeSource<ScriptedSource>(8000, 4, std::vector<std::int32_t>(8, 7)), 0});
    entries.push_back({makeSource<ScriptedSource>(8000, 1, std::vector<std::int32_t>{1, 2}), 0});
    entries.push_back({makeSource<ScriptedSource>(8000, 2, std::vector<std::int32_t>{3, 4, 5, 6}), 0});
    SourceRef seq = MakeSequence(entries);
    ASSERT_EQ(seq->channels, 4);
    std::vector<std::int32_t> out(4 * 8, 0x5A5A5A5A);
    seq->Read(out.data(), 8);
    EXPECT_EQ(out, (std::vector<std::int32_t>{7, 7, 7, 7, 7, 7, 7, 7, 1, 1, 1, 1, 2, 2, 2, 2,
                                              3, 4, 0, 0, 5, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(FrameArithmetic, RemainingFramesNeverOverflowsOrGoesNegative) {
    EXPECT_EQ(RemainingFrames(100, 40), 60);
    EXPECT_EQ(RemainingFrames(100, 140), 0);
    EXPECT_EQ(RemainingFrames(INT32_MAX, -10), INT32_MAX) << "a saturated length before frame 0";
    EXPECT_EQ(RemainingFrames(INT32_MIN, INT32_MAX), 0);
    EXPECT_EQ(RemainingFrames(5, INT32_MIN), INT32_MAX);
}

TEST(FrameArithmetic, AnEndlessLengthIsSixtySecondsSaturated) {
    EXPECT_EQ(EndlessLength(44100), 2646000);
    EXPECT_EQ(EndlessLength(40000000), INT32_MAX) << "60 s at 40 MHz does not fit 32 bits";
    EXPECT_EQ(EndlessLength(INT32_MAX), INT32_MAX);
    EXPECT_EQ(EndlessLength(-1), 0);
}
