#include <gtest/gtest.h>

#include <vector>

#include "ScriptedSource.h"
#include "TestSupport.h"
#include "audio/Limiters.h"
#include "audio/RenderTask.h"
#include "audio/WaveFileWriter.h"
#include "platform/File.h"

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

using namespace sonimo;

namespace {

// Records what the render shows and cancels at the given call of cancelled() (1-based;
// 0 never).
class ScriptedProgress final : public RenderProgress {
public:
    explicit ScriptedProgress(int cancelAt = 0) : cancelAt_(cancelAt) {}
    void setLines(const std::u16string& a, const std::u16string& b) override {
        first = a;
        second = b;
        ++lineCalls;
    }
    void setFraction(double f) override { fractions.push_back(f); }
    bool cancelled() override { return ++asked == cancelAt_; }

    std::u16string first, second;
    int lineCalls = 0;
    std::vector<double> fractions;
    int asked = 0;

private:
    int cancelAt_;
};

std::uint32_t u32(const std::vector<unsigned char>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::int16_t s16(const std::vector<unsigned char>& b, std::size_t at) {
    return static_cast<std::int16_t>(b[at] | b[at + 1] << 8);
}

std::vector<std::int32_t> pattern(int frames, int channels) {
    std::vector<std::int32_t> v(static_cast<std::size_t>(frames) * channels);
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = static_cast<std::int32_t>((i * 7919) % 1000000) - 500000;
    return v;
}

// A file that says what it holds: size = 46 + data size, RIFF = data + 38.
void expectWellFormed(const std::vector<unsigned char>& b, std::uint32_t dataBytes) {
    ASSERT_GE(b.size(), 46u);
    EXPECT_EQ(b.size(), 46u + dataBytes);
    EXPECT_EQ(u32(b, 42), dataBytes);
    EXPECT_EQ(u32(b, 4), dataBytes + 38);
}

} // namespace

TEST(RenderTaskRun, ACompleteRenderWritesEveryFrameAndReportsEachRun) {
    TempDir dir;
    const std::vector<std::int32_t> in = pattern(200000, 2);
    auto* raw = new ScriptedSource(44100, 2, in, kNominalFullScale); // needs no limiter
    SourceRef src(raw);
    SinkRef sink = CreateWaveFileWriter(dir.path(u"out.wav"), 44100, 2);
    ScriptedProgress p;
    EXPECT_EQ(RenderTask(u"ファイルを保存しています", src, sink, p), RenderCompleted);
    EXPECT_EQ(p.first, u"ファイルを保存しています");
    EXPECT_EQ(p.second, u"お待ちください...");
    ASSERT_EQ(p.fractions.size(), 4u);
    EXPECT_EQ(p.fractions[0], 0.0) << "set at the start";
    EXPECT_EQ(p.fractions[1], 0.0) << "then before each step is added";
    EXPECT_DOUBLE_EQ(p.fractions[2], 81920.0 / 200000);
    EXPECT_DOUBLE_EQ(p.fractions[3], 2 * 81920.0 / 200000);
    EXPECT_EQ(p.asked, 1 + 3 + 25 + 25) << "before the start, each run, after every read and every write";
    EXPECT_EQ(raw->largestRead, 8192);
    EXPECT_EQ(raw->reads, 25);
    EXPECT_EQ(sink->framesWritten, 200000);
    sink.release();
    const std::vector<unsigned char> b = readAll(dir.path(u"out.wav"));
    expectWellFormed(b, 800000);
    for (std::size_t i = 0; i < in.size(); i += 101)
        ASSERT_EQ(s16(b, 46 + 2 * i), (in[i] + 8) >> 4) << i;
}

TEST(RenderTaskRun, TheFramesFromTheCurrentPositionToTheLengthAreRendered) {
    TempDir dir;
    SourceRef src = makeSource<ScriptedSource>(44100, 1, pattern(5000, 1), kNominalFullScale);
    src->Seek(1000);
    SinkRef sink = CreateWaveFileWriter(dir.path(u"p.wav"), 44100, 1);
    ScriptedProgress p;
    EXPECT_EQ(RenderTask(u"m", src, sink, p), RenderCompleted);
    EXPECT_EQ(sink->framesWritten, 4000);
}

TEST(RenderTaskRun, AnEmptySourceLeavesAFileWithAnEmptyDataChunk) {
    TempDir dir;
    SinkRef sink = CreateWaveFileWriter(dir.path(u"e.wav"), 44100, 2);
    ScriptedProgress p;
    EXPECT_EQ(RenderTask(u"m", makeSource<ScriptedSource>(44100, 2, std::vector<std::int32_t>{}), sink, p),
              RenderCompleted);
    EXPECT_EQ(p.fractions, std::vector<double>{0.0});
    sink.release();
    expectWellFormed(readAll(dir.path(u"e.wav")), 0);
}

TEST(RenderTaskRun, ALoudSourceIsLimitedWithLookaheadToFullScale) {
    TempDir dir;
    std::vector<std::int32_t> in = pattern(30000, 2);
    for (std::size_t i = 20000; i < 30000; ++i)
        in[i] *= 4; // a loud stretch past full scale
    SinkRef sink = CreateWaveFileWriter(dir.path(u"loud.wav"), 44100, 2);
    ScriptedProgress p;
    EXPECT_EQ(RenderTask(u"m", makeSource<ScriptedSource>(44100, 2, in), sink, p), RenderCompleted);
    sink.release();
    const std::vector<unsigned char> b = readAll(dir.path(u"loud.wav"));
    expectWellFormed(b, 120000);

    SourceRef ref = LimitWithLookahead(makeSource<ScriptedSource>(44100, 2, in), kNominalFullScale);
    const std::vector<std::int32_t> limited = readFrames(*ref, 30000, 8192);
    int loudest = 0;
    for (std::size_t i = 0; i < limited.size(); ++i) {
        const std::int16_t s = s16(b, 46 + 2 * i);
        ASSERT_EQ(s, ToPcm16(limited[i])) << "the same graph, limiter and conversion, sample " << i;
        ASSERT_GE(s, -32767);
        loudest = std::max(loudest, s < 0 ? -s : static_cast<int>(s));
    }
    EXPECT_GT(loudest, 32000);
}

TEST(RenderTaskRun, TheSourceIsConvertedToTheSinksFormat) {
    TempDir dir;
    SinkRef sink = CreateWaveFileWriter(dir.path(u"up.wav"), 44100, 2);
    ScriptedProgress p;
    EXPECT_EQ(
        RenderTask(u"m", makeSource<ScriptedSource>(44100, 1, pattern(1000, 1), kNominalFullScale), sink, p),
        RenderCompleted);
    sink.release();
    const std::vector<unsigned char> b = readAll(dir.path(u"up.wav"));
    expectWellFormed(b, 4000);
    for (std::size_t f = 0; f < 1000; ++f)
        ASSERT_EQ(s16(b, 46 + 4 * f), s16(b, 48 + 4 * f)) << "both channels, " << f;

    SinkRef fast = CreateWaveFileWriter(dir.path(u"rate.wav"), 44100, 1);
    EXPECT_EQ(
        RenderTask(u"m", makeSource<ScriptedSource>(22050, 1, pattern(2205, 1), kNominalFullScale), fast, p),
        RenderCompleted);
    EXPECT_NEAR(fast->framesWritten, 4410, 2);
}

TEST(RenderTaskCancel, ACancelBeforeTheStartWritesNothing) {
    TempDir dir;
    auto* raw = new ScriptedSource(44100, 2, pattern(10000, 2), kNominalFullScale);
    SourceRef src(raw);
    SinkRef sink = CreateWaveFileWriter(dir.path(u"c0.wav"), 44100, 2);
    ScriptedProgress p(1);
    EXPECT_EQ(RenderTask(u"m", src, sink, p), RenderCancelled);
    EXPECT_EQ(raw->reads, 0);
    sink.release();
    expectWellFormed(readAll(dir.path(u"c0.wav")), 0);
}

TEST(RenderTaskCancel, ACancelAfterTheFirstRunLeavesAValidFileOfItsFrames) {
    TempDir dir;
    SinkRef sink = CreateWaveFileWriter(dir.path(u"c1.wav"), 44100, 2);
    ScriptedProgress p(1 + 1 + 10 + 10 + 1); // the check that opens the second run
    EXPECT_EQ(RenderTask(u"m", makeSource<ScriptedSource>(44100, 2, pattern(200000, 2), kNominalFullScale),
                         sink, p),
              RenderCancelled);
    EXPECT_EQ(p.fractions.size(), 2u);
    sink.release();
    expectWellFormed(readAll(dir.path(u"c1.wav")), 81920 * 4);
}

TEST(RenderTaskCancel, ACancelDuringTheWritesStopsAfterThatBlock) {
    TempDir dir;
    SinkRef sink = CreateWaveFileWriter(dir.path(u"c2.wav"), 44100, 1);
    ScriptedProgress p(1 + 1 + 10 + 3);
    EXPECT_EQ(RenderTask(u"m", makeSource<ScriptedSource>(44100, 1, pattern(200000, 1), kNominalFullScale),
                         sink, p),
              RenderCancelled);
    sink.release();
    expectWellFormed(readAll(dir.path(u"c2.wav")), 3 * 8192 * 2);
}

TEST(RenderTaskCancel, ACancelDuringTheReadsWritesNothingOfThatRun) {
    TempDir dir;
    SinkRef sink = CreateWaveFileWriter(dir.path(u"c3.wav"), 44100, 1);
    ScriptedProgress p(1 + 1 + 4);
    EXPECT_EQ(RenderTask(u"m", makeSource<ScriptedSource>(44100, 1, pattern(200000, 1), kNominalFullScale),
                         sink, p),
              RenderCancelled);
    EXPECT_EQ(sink->framesWritten, 0);
}

TEST(RenderTaskFailure, AnUnusableSourceOrSinkFailsWithoutWriting) {
    TempDir dir;
    ScriptedProgress p;
    SinkRef ok = CreateWaveFileWriter(dir.path(u"f.wav"), 44100, 1);
    EXPECT_EQ(RenderTask(u"m", SourceRef(), ok, p), RenderFailed) << "the placeholder source";
    EXPECT_EQ(RenderTask(u"m", makeSource<ScriptedSource>(0, 1, pattern(10, 1)), ok, p), RenderFailed)
        << "a source of bad format";
    EXPECT_EQ(ok->framesWritten, 0);

    const SourceRef src = makeSource<ScriptedSource>(44100, 1, pattern(100, 1), kNominalFullScale);
    SinkRef zero = CreateWaveFileWriter(dir.path(u"z.wav"), 44100, 0);
    EXPECT_EQ(RenderTask(u"m", src, zero, p), RenderFailed) << "a channel count of 0";
    EXPECT_EQ(zero->framesWritten, 0);
    EXPECT_EQ(RenderTask(u"m", src, SinkRef(), p), RenderFailed) << "an unset sink";
    SinkRef nowhere =
        CreateWaveFileWriter(dir.path(u"no") + dir.path(u"x.wav").substr(dir.root().size()), 44100, 1);
    EXPECT_EQ(RenderTask(u"m", src, nowhere, p), RenderFailed) << "a file that cannot be opened";
    EXPECT_EQ(src->GetPosition(), 0) << "nothing was read";
}

TEST(RenderTaskFailure, ASourceThatCannotTakeTheSinksChannelCountFails) {
    TempDir dir;
    SinkRef sink = CreateWaveFileWriter(dir.path(u"3.wav"), 44100, 2);
    ScriptedProgress p;
    EXPECT_EQ(
        RenderTask(u"m", makeSource<ScriptedSource>(44100, 3, pattern(100, 3), kNominalFullScale), sink, p),
        RenderFailed);
    EXPECT_EQ(sink->framesWritten, 0);
}

TEST(RenderTaskFailure, ARenderPastWhatTheSizeFieldsDescribeStopsAtTheLastWholeFrame) {
    TempDir dir;
    SinkRef sink = makeSink<WaveFileWriter>(dir.path(u"big.wav"), 44100, 2, 100001u);
    ScriptedProgress p;
    EXPECT_EQ(RenderTask(u"m", makeSource<ScriptedSource>(44100, 2, pattern(100000, 2), kNominalFullScale),
                         sink, p),
              RenderFailed);
    EXPECT_EQ(sink->framesWritten, 25000);
    sink.release();
    expectWellFormed(readAll(dir.path(u"big.wav")), 100000);
}

TEST(RenderTaskFailure, AFullDiskFails) {
#ifdef _WIN32
    const std::u16string full = u"Z:\\dev\\full";
#else
    const std::u16string full = u"/dev/full";
#endif
    {
        File probe;
        if (!probe.open(full, File::Mode::ReadWriteShared)) GTEST_SKIP() << "no full device to write to here";
        const char bytes[46] = {};
        if (probe.write(bytes, 46) == 46) GTEST_SKIP() << "writes to the full device succeed here";
    }
    SinkRef sink = CreateWaveFileWriter(full, 44100, 2);
    ScriptedProgress p;
    EXPECT_EQ(
        RenderTask(u"m", makeSource<ScriptedSource>(44100, 2, pattern(1000, 2), kNominalFullScale), sink, p),
        RenderFailed);
    EXPECT_EQ(sink->framesWritten, 0);
}

#ifndef _WIN32
TEST(RenderTaskFailure, AShortWriteFailsAndTheFileDescribesWhatReachedIt) {
    TempDir dir;
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 46 + 50002; // the disk fills in the middle of a frame of the seventh block
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int result;
    std::int32_t frames;
    {
        SinkRef sink = CreateWaveFileWriter(dir.path(u"short.wav"), 44100, 2);
        ScriptedProgress p;
        result = RenderTask(u"m", makeSource<ScriptedSource>(44100, 2, pattern(100000, 2), kNominalFullScale),
                            sink, p);
        frames = sink->framesWritten;
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(result, RenderFailed);
    EXPECT_EQ(frames, 12500);
    expectWellFormed(readAll(dir.path(u"short.wav")), 50000);
}
#endif
