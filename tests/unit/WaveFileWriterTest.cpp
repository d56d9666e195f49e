#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "TestSupport.h"
#include "audio/WaveFileWriter.h"

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

using namespace sonimo;

namespace {

std::uint32_t u32(const std::vector<unsigned char>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::int16_t s16(const std::vector<unsigned char>& b, std::size_t at) {
    return static_cast<std::int16_t>(b[at] | b[at + 1] << 8);
}

std::vector<std::int32_t> ramp(int samples) {
    std::vector<std::int32_t> v(static_cast<std::size_t>(samples));
    for (int i = 0; i < samples; ++i)
        v[i] = (i - samples / 2) * 16;
    return v;
}

} // namespace

TEST(WaveHeader, MonoAndStereoHeadersAreTheDocumentedBytes) {
    TempDir dir;
    {
        SinkRef w = CreateWaveFileWriter(dir.path(u"mono.wav"), 44100, 1);
        const std::vector<std::int32_t> s = ramp(3);
        EXPECT_EQ(w->Write(s.data(), 3), 6);
        EXPECT_FALSE(w->failed());
    }
    const unsigned char mono[46] = {'R',  'I',  'F', 'F', 44,   0,    0,    0, 'W', 'A', 'V', 'E',
                                    'f',  'm',  't', ' ', 18,   0,    0,    0, 1,   0,   1,   0,
                                    0x44, 0xAC, 0,   0,   0x88, 0x58, 0x01, 0, 2,   0,   16,  0,
                                    0,    0,    'd', 'a', 't',  'a',  6,    0, 0,   0};
    std::vector<unsigned char> b = readAll(dir.path(u"mono.wav"));
    ASSERT_EQ(b.size(), 52u);
    EXPECT_EQ(0, std::memcmp(b.data(), mono, 46));

    {
        SinkRef w = CreateWaveFileWriter(dir.path(u"stereo.wav"), 44100, 2);
        const std::vector<std::int32_t> s = ramp(10);
        EXPECT_EQ(w->Write(s.data(), 5), 20);
    }
    b = readAll(dir.path(u"stereo.wav"));
    ASSERT_EQ(b.size(), 66u);
    EXPECT_EQ(u32(b, 4), 58u);
    EXPECT_EQ(b[22], 2);
    EXPECT_EQ(u32(b, 28), 176400u);
    EXPECT_EQ(b[32], 4);
    EXPECT_EQ(u32(b, 42), 20u);
    EXPECT_EQ(s16(b, 46), -5) << "channel 0 first";
    EXPECT_EQ(s16(b, 48), -4);
    EXPECT_EQ(s16(b, 64), 4);
}

TEST(WaveHeader, WhileOpenTheSizesArePlaceholders) {
    TempDir dir;
    SinkRef w = CreateWaveFileWriter(dir.path(u"open.wav"), 48000, 2);
    const std::vector<std::int32_t> s = ramp(200);
    w->Write(s.data(), 100);
    std::vector<unsigned char> b = readAll(dir.path(u"open.wav"));
    ASSERT_EQ(b.size(), 46u + 400u);
    EXPECT_EQ(u32(b, 4), 0xFFFFFFFFu);
    EXPECT_EQ(u32(b, 42), 0xFFFFFFD9u);
    EXPECT_EQ(u32(b, 24), 48000u);
    w.release();
    b = readAll(dir.path(u"open.wav"));
    EXPECT_EQ(u32(b, 4), 438u);
    EXPECT_EQ(u32(b, 42), 400u);
}

TEST(WaveHeader, AnEmptyFileHasDataSizeZeroAndRiffSize38) {
    TempDir dir;
    CreateWaveFileWriter(dir.path(u"e.wav"), 8000, 1).release();
    const std::vector<unsigned char> b = readAll(dir.path(u"e.wav"));
    ASSERT_EQ(b.size(), 46u);
    EXPECT_EQ(u32(b, 4), 38u);
    EXPECT_EQ(u32(b, 42), 0u);
    EXPECT_EQ(u32(b, 28), 16000u);
}

TEST(WaveHeader, WideFormatsComputeTheirFieldsInUnsigned32Bits) {
    unsigned char h[46];
    WaveFileWriter::BuildHeader(h, 192000, 255, 0);
    const std::vector<unsigned char> b(h, h + 46);
    EXPECT_EQ(b[22], 255);
    EXPECT_EQ(u32(b, 28), 255u * 2 * 192000);
    EXPECT_EQ(b[32] | b[33] << 8, 510);
    WaveFileWriter::BuildHeader(h, -1, 2, WaveFileWriter::kPlaceholderDataBytes);
    const std::vector<unsigned char> c(h, h + 46);
    EXPECT_EQ(u32(c, 24), 0xFFFFFFFFu) << "the rate is not validated";
    EXPECT_EQ(u32(c, 4), 0xFFFFFFFFu);
}

TEST(WaveSamples, SourceSamplesRoundToTheNearest16BitStep) {
    const struct {
        std::int32_t in;
        std::int16_t out;
    } cases[] = {{524272, 32767},
                 {-524272, -32767},
                 {8, 1},
                 {7, 0},
                 {-9, -1},
                 {-8, 0},
                 {-24, -1},
                 {23, 1},
                 {24, 2},
                 {0, 0},
                 {524280, 32767},
                 {std::numeric_limits<std::int32_t>::max(), 32767},
                 {std::numeric_limits<std::int32_t>::min(), -32768},
                 {-524296, -32768},
                 {-524297, -32768}};
    TempDir dir;
    std::vector<std::int32_t> in;
    for (const auto& c : cases)
        in.push_back(c.in);
    {
        SinkRef w = CreateWaveFileWriter(dir.path(u"s.wav"), 44100, 1);
        w->Write(in.data(), static_cast<int>(in.size()));
    }
    const std::vector<unsigned char> b = readAll(dir.path(u"s.wav"));
    ASSERT_EQ(b.size(), 46 + 2 * in.size());
    for (std::size_t i = 0; i < in.size(); ++i)
        EXPECT_EQ(s16(b, 46 + 2 * i), cases[i].out) << "source " << cases[i].in;
}

// Playing and saving share this conversion. 24- and 32-bit files at full scale read up to
// 524287 and a rate converter rings past its input: nowhere may a larger sample come out
// smaller, as a wrap to the opposite full scale would.
TEST(WaveSamples, TheConversionNeverFallsAsTheSampleRises) {
    std::int16_t previous = ToPcm16(std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(previous, -32768);
    for (std::int32_t x = -700000; x <= 700000; ++x) {
        const std::int16_t y = ToPcm16(x);
        ASSERT_GE(y, previous) << "source " << x;
        previous = y;
    }
    EXPECT_EQ(previous, 32767);
    EXPECT_EQ(ToPcm16(524287), 32767) << "0x7FFFFF of a 24-bit file";
}

TEST(WaveSamples, WritesLongerThanOneConversionBlockArriveWhole) {
    TempDir dir;
    std::vector<std::int32_t> in(2 * 20000);
    for (std::size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<std::int32_t>(i % 65536) * 16 - 524288;
    {
        SinkRef w = CreateWaveFileWriter(dir.path(u"l.wav"), 44100, 2);
        EXPECT_EQ(w->Write(in.data(), 20000), 80000);
        EXPECT_EQ(w->framesWritten, 20000);
    }
    const std::vector<unsigned char> b = readAll(dir.path(u"l.wav"));
    ASSERT_EQ(b.size(), 46u + 80000u);
    for (std::size_t i = 0; i < in.size(); i += 997)
        ASSERT_EQ(s16(b, 46 + 2 * i), (in[i] + 8) >> 4) << i;
}

TEST(WaveTruncate, TruncateForgetsTheFramesPastTheCount) {
    TempDir dir;
    const std::vector<std::int32_t> s = ramp(400);
    {
        SinkRef w = CreateWaveFileWriter(dir.path(u"t.wav"), 44100, 2);
        w->Write(s.data(), 100);
        w->Truncate(150);
        EXPECT_EQ(w->framesWritten, 100) << "beyond what was written: nothing";
        w->Truncate(40);
        EXPECT_EQ(w->framesWritten, 40);
        EXPECT_EQ(readAll(dir.path(u"t.wav")).size(), 46u + 160u);
        w->Write(s.data() + 2 * 100, 10); // continues after frame 40
    }
    const std::vector<unsigned char> b = readAll(dir.path(u"t.wav"));
    ASSERT_EQ(b.size(), 46u + 200u);
    EXPECT_EQ(u32(b, 42), 200u);
    EXPECT_EQ(s16(b, 46 + 4 * 39), (s[2 * 39] + 8) >> 4);
    EXPECT_EQ(s16(b, 46 + 4 * 40), (s[2 * 100] + 8) >> 4);
}

TEST(WaveTruncate, ANegativeCountEmptiesTheData) {
    TempDir dir;
    const std::vector<std::int32_t> s = ramp(100);
    {
        SinkRef w = CreateWaveFileWriter(dir.path(u"n.wav"), 44100, 1);
        w->Write(s.data(), 100);
        w->Truncate(-5);
        EXPECT_EQ(w->framesWritten, 0);
    }
    EXPECT_EQ(readAll(dir.path(u"n.wav")).size(), 46u);
}

TEST(WaveTruncate, AnExistingLongerFileIsCutBackToWhatIsWritten) {
    TempDir dir;
    const std::u16string p = dir.path(u"old.wav");
    ASSERT_TRUE(writeAll(p, std::vector<unsigned char>(10000, 0xAA)));
    {
        SinkRef w = CreateWaveFileWriter(p, 22050, 1);
        EXPECT_FALSE(w->failed());
        EXPECT_EQ(readAll(p).size(), 46u) << "cut to the header at once";
        const std::vector<std::int32_t> s(10, 16);
        w->Write(s.data(), 10);
    }
    const std::vector<unsigned char> b = readAll(p);
    ASSERT_EQ(b.size(), 66u);
    for (std::size_t i = 46; i < b.size(); i += 2)
        EXPECT_EQ(s16(b, i), 1);
    EXPECT_EQ(u32(b, 42), 20u);
}

TEST(WaveFailures, AChannelCountOfZeroGivesAFailedMonoWriter) {
    TempDir dir;
    SinkRef w = CreateWaveFileWriter(dir.path(u"z.wav"), 44100, 0);
    EXPECT_EQ(w->channels, 1);
    EXPECT_TRUE(w->failed());
    EXPECT_EQ(static_cast<WaveFileWriter&>(*w).bytesPerFrame, 2);
}

TEST(WaveFailures, AFileThatCannotBeOpenedFailsAndWritesNothing) {
    TempDir dir;
    SinkRef w =
        CreateWaveFileWriter(dir.path(u"missing") + dir.path(u"x.wav").substr(dir.root().size()), 44100, 1);
    EXPECT_TRUE(w->failed());
    const std::vector<std::int32_t> s(10, 0);
    EXPECT_EQ(w->Write(s.data(), 10), 0);
    EXPECT_EQ(w->framesWritten, 0);
    SinkRef none;
    EXPECT_TRUE(none->failed()) << "an unset handle holds a failed sink";
}

TEST(WaveLimit, FramesThatFitStopAtTheLastWholeFrameTheSizeFieldsDescribe) {
    const std::uint32_t max = WaveFileWriter::kMaxDataBytes;
    EXPECT_EQ(max, 4294967257u);
    EXPECT_EQ(WaveFileWriter::FramesThatFit(0, 8192, 4), 8192);
    // stereo: 1073741814 frames = 4294967256 bytes; RIFF size 4294967294
    EXPECT_EQ(WaveFileWriter::FramesThatFit(1073741810, 8192, 4), 4);
    EXPECT_EQ(WaveFileWriter::FramesThatFit(1073741814, 8192, 4), 0);
    // mono: 2147483628 frames = 4294967256 bytes, still within the int32 frame counter
    EXPECT_EQ(WaveFileWriter::FramesThatFit(2147483620, 8192, 2), 8);
    EXPECT_EQ(WaveFileWriter::FramesThatFit(0, 8192, 510), 8192);
    EXPECT_EQ(WaveFileWriter::FramesThatFit(8421503, 8192, 510), 1) << "4294967257 / 510 = 8421504.4";
    EXPECT_EQ(WaveFileWriter::FramesThatFit(0, -3, 2), 0);
    for (const int bpf : {2, 4, 6, 510}) {
        const std::int64_t frames = WaveFileWriter::FramesThatFit(0, 0x7FFFFFFF, bpf);
        EXPECT_LE(static_cast<std::uint64_t>(frames) * bpf + 38, 0xFFFFFFFFull) << bpf;
        EXPECT_GT(static_cast<std::uint64_t>(frames + 1) * bpf + 38, 0xFFFFFFFFull) << bpf;
    }
}

TEST(WaveLimit, AWritePastTheLimitKeepsTheWholeFramesThatFitAndFails) {
    TempDir dir;
    const std::vector<std::int32_t> s = ramp(2 * 1000);
    {
        SinkRef w = makeSink<WaveFileWriter>(dir.path(u"cap.wav"), 44100, 2, 1002u);
        EXPECT_EQ(w->Write(s.data(), 200), 800);
        EXPECT_FALSE(w->failed());
        EXPECT_EQ(w->Write(s.data() + 400, 800), 200);
        EXPECT_TRUE(w->failed());
        EXPECT_EQ(w->framesWritten, 250);
    }
    const std::vector<unsigned char> b = readAll(dir.path(u"cap.wav"));
    ASSERT_EQ(b.size(), 46u + 1000u);
    EXPECT_EQ(u32(b, 42), 1000u);
    EXPECT_EQ(u32(b, 4), 1038u);
}

#ifndef _WIN32
TEST(WaveFailures, AShortWriteCountsOnlyTheWholeFramesThatReachedTheFile) {
    TempDir dir;
    const std::vector<std::int32_t> s = ramp(2 * 1000);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 46 + 1001; // a quarter frame past 250 stereo frames
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    {
        SinkRef w = CreateWaveFileWriter(dir.path(u"full.wav"), 44100, 2);
        EXPECT_FALSE(w->failed());
        EXPECT_EQ(w->Write(s.data(), 1000), 1001);
        EXPECT_TRUE(w->failed());
        EXPECT_EQ(w->framesWritten, 250);
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    const std::vector<unsigned char> b = readAll(dir.path(u"full.wav"));
    ASSERT_EQ(b.size(), 46u + 1000u) << "the part of a frame is dropped";
    EXPECT_EQ(u32(b, 42), 1000u);
    EXPECT_EQ(u32(b, 4), 1038u);
    EXPECT_EQ(s16(b, 46 + 998), (s[499] + 8) >> 4);
}
#endif
