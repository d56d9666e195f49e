#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "TestSupport.h"
#include "WaveBuilder.h"
#include "audio/AudioFileReader.h"
#include "audio/ToneListRenderer.h"
#include "audio/WaveFileSource.h"
#include "platform/File.h"
#include "tone/ToneList.h"
#include "synth/SilenceSource.h"

using namespace sonimo;
using namespace sonimo::wavetest;

namespace {

SourceRef open(const Bytes& b) {
    return OpenAudioStream(std::make_unique<MemoryByteSource>(b));
}
int stateOf(const Bytes& b) {
    return open(b)->state;
}

std::vector<std::int32_t> readFrames(SourceRef& s, int frames) {
    std::vector<std::int32_t> v(static_cast<std::size_t>(frames) * s->channels, 0x5A5A5A5A);
    s->Read(v.data(), frames);
    return v;
}

Bytes ramp16(int frames, int channels) {
    Bytes d;
    for (int i = 0; i < frames * channels; ++i)
        put16(d, static_cast<std::uint16_t>(i * 7 - 3000));
    return d;
}

} // namespace

// ---------------------------------------------------------------- states

TEST(WaveReaderStates, FilesThatAreNotRiffWaveAreMalformed) {
    EXPECT_EQ(stateOf({}), StateBadFormat);
    EXPECT_EQ(stateOf(Bytes{'R', 'I', 'F', 'F'}), StateBadFormat);
    const std::string text = "This is plainly a text file and no audio at all.";
    EXPECT_EQ(stateOf(Bytes(text.begin(), text.end())), StateBadFormat);
    Bytes avi = pcm16(1, 8000, samples16({1, 2}));
    std::memcpy(&avi[8], "AVI ", 4);
    EXPECT_EQ(stateOf(avi), StateBadFormat);
}

TEST(WaveReaderStates, AChunkInFrontOfTheRiffFormIsSteppedOver) {
    Bytes b;
    putId(b, "JUNK");
    put32(b, 7); // odd: rounded up to 8, of which 4 were read with the header
    for (int i = 0; i < 8; ++i)
        b.push_back(0xEE);
    append(b, pcm16(1, 8000, samples16({100})));
    SourceRef s = open(b);
    ASSERT_EQ(s->state, StateOk);
    EXPECT_EQ(readFrames(s, 1)[0], 1600);

    Bytes tiny = b;
    tiny[4] = 4; // a front chunk of size 4 stops the walk
    EXPECT_EQ(stateOf(tiny), StateBadFormat);
}

TEST(WaveReaderStates, ShortAndOversizedChunksAreMalformed) {
    const Bytes data = chunk("data", samples16({1}));
    EXPECT_EQ(stateOf(riff({chunk("fmt ", Bytes(15, 0)), data})), StateBadFormat)
        << "format chunk below 16 bytes";
    Bytes big = fmtBody(1, 1, 8000, 16, true, Bytes(8192 - 18 + 1, 0));
    EXPECT_EQ(stateOf(riff({chunk("fmt ", big), data})), StateBadFormat) << "format chunk above 8192 bytes";
    big.pop_back();
    EXPECT_EQ(stateOf(riff({chunk("fmt ", big), data})), StateOk) << "8192 bytes are allowed";

    Bytes cut = riff({chunk("fmt ", fmtBody(1, 1, 8000, 16))});
    cut.resize(cut.size() - 3);
    EXPECT_EQ(stateOf(cut), StateBadFormat) << "file ends inside the format chunk";
    EXPECT_EQ(stateOf(riff({chunk("fmt ", fmtBody(1, 1, 8000, 16))})), StateBadFormat) << "no data chunk";
    EXPECT_EQ(stateOf(riff({data, chunk("fmt ", fmtBody(1, 1, 8000, 16))})), StateBadFormat)
        << "data before the format is passed over while looking for the format";
    Bytes header = riff({chunk("fmt ", fmtBody(1, 1, 8000, 16))});
    header.insert(header.end(), {'d', 'a', 't'});
    EXPECT_EQ(stateOf(header), StateBadFormat) << "a chunk header cut short";
}

TEST(WaveReaderStates, OddChunksAreSkippedWithTheirPadByte) {
    Bytes list;
    putId(list, "INFO");
    list.insert(list.end(), {'a', 'b', 'c'}); // 7 bytes: odd
    const Bytes b = riff({chunk("LIST", Bytes{'x'}), chunk("fmt ", fmtBody(1, 2, 44100, 16)),
                          chunk("LIST", list), chunk("data", samples16({-5, 6, 7, -8}))});
    SourceRef s = open(b);
    ASSERT_EQ(s->state, StateOk);
    EXPECT_EQ(s->sampleRate, 44100);
    EXPECT_EQ(s->channels, 2);
    EXPECT_EQ(s->GetLength(), 2);
    EXPECT_EQ(readFrames(s, 2), (std::vector<std::int32_t>{-80, 96, 112, -128}));

    // An odd format chunk (17 bytes) is followed by its pad byte too.
    Bytes odd = fmtBody(1, 1, 8000, 16, false);
    odd.push_back(0);
    SourceRef t = open(riff({chunk("fmt ", odd), chunk("data", samples16({9}))}));
    ASSERT_EQ(t->state, StateOk);
    EXPECT_EQ(readFrames(t, 1)[0], 144);
}

TEST(WaveReaderStates, RatesAndChannelCountsOutsideTheLimitsAreRefused) {
    const Bytes d = chunk("data", Bytes(1020, 0));
    auto with = [&](std::uint16_t ch, std::uint32_t rate) {
        return stateOf(riff({chunk("fmt ", fmtBody(1, ch, rate, 16)), d}));
    };
    EXPECT_EQ(with(1, 196000), StateOk);
    EXPECT_EQ(with(1, 196001), StateBadFormat);
    EXPECT_EQ(with(1, 1), StateOk);
    EXPECT_EQ(with(1, 0), StateBadFormat);
    EXPECT_EQ(with(0, 44100), StateBadFormat);
    EXPECT_EQ(with(255, 44100), StateOk);
    EXPECT_EQ(with(256, 44100), StateBadFormat);
    SourceRef s = open(riff({chunk("fmt ", fmtBody(1, 255, 196000, 8)), d}));
    EXPECT_EQ(s->channels, 255);
    EXPECT_EQ(s->sampleRate, 196000);
    EXPECT_EQ(s->GetLength(), 4);
}

TEST(WaveReaderStates, SomeTagsAreRefusedAndOthersNeedAConverter) {
    const Bytes d = chunk("data", Bytes(64, 0));
    for (std::uint16_t tag : {0x22, 0x45, 0x270})
        EXPECT_EQ(stateOf(riff({chunk("fmt ", fmtBody(tag, 1, 8000, 4)), d})), StateRefusedFormat) << tag;
    // Without a converting reader (the portable build) everything else is StateNoConverter.
    for (std::uint16_t tag : {0x02, 0x03, 0x11, 0x31, 0x55, 0x1234})
        EXPECT_EQ(stateOf(riff({chunk("fmt ", fmtBody(tag, 1, 8000, 4)), d})), StateNoConverter) << tag;
    EXPECT_EQ(stateOf(riff({chunk("fmt ", fmtBody(1, 1, 8000, 20)), d})), StateNoConverter) << "20-bit PCM";
    EXPECT_EQ(stateOf(riff({chunk("fmt ", fmtBody(3, 1, 8000, 16)), d})), StateNoConverter) << "16-bit float";
}

TEST(WaveReaderLinear, WidePcmAndFloatAreReadWhenNoConverterTakesThem) {
    auto bytes = [](std::initializer_list<int> v) {
        Bytes b;
        for (int x : v)
            b.push_back(static_cast<unsigned char>(x));
        return b;
    };
    // 24-bit: 0x7FFFFF, -0x800000, 0x000010 (one 16-bit step is 0x100, i.e. 16 source units)
    SourceRef p24 =
        open(riff({chunk("fmt ", fmtBody(1, 1, 8000, 24)),
                   chunk("data", bytes({0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80, 0x10, 0x00, 0x00}))}));
    ASSERT_EQ(p24->state, StateOk);
    EXPECT_EQ(p24->GetLength(), 3);
    EXPECT_EQ(p24->peakLevel, kNominalFullScale);
    EXPECT_EQ(readFrames(p24, 3), (std::vector<std::int32_t>{524287, -524288, 1}));
    SourceRef p32 = open(riff({chunk("fmt ", fmtBody(1, 2, 8000, 32)),
                               chunk("data", bytes({0, 0, 0, 0x80, 0xFF, 0xFF, 0xFF, 0x7F}))}));
    ASSERT_EQ(p32->state, StateOk);
    EXPECT_EQ(readFrames(p32, 1), (std::vector<std::int32_t>{-524288, 524287}));

    // float: 1.0, -0.5, NaN, 100.0 (held at four times full scale)
    SourceRef f32 = open(
        riff({chunk("fmt ", fmtBody(3, 1, 8000, 32)),
              chunk("data", bytes({0, 0, 0x80, 0x3F, 0, 0, 0, 0xBF, 0, 0, 0xC0, 0x7F, 0, 0, 0xC8, 0x42}))}));
    ASSERT_EQ(f32->state, StateOk);
    EXPECT_EQ(f32->peakLevel, kGeneratorPeak) << "float may go beyond full scale: consumers limit it";
    EXPECT_EQ(readFrames(f32, 4), (std::vector<std::int32_t>{524288, -262144, 0, kGeneratorPeak}));
    SourceRef f64 =
        open(riff({chunk("fmt ", fmtBody(3, 1, 8000, 64)),
                   chunk("data", bytes({0, 0, 0, 0, 0, 0, 0xE0, 0xBF, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F}))}));
    ASSERT_EQ(f64->state, StateOk);
    EXPECT_EQ(readFrames(f64, 2), (std::vector<std::int32_t>{-262144, 524288}));
    EXPECT_EQ(floatToSample(1.0 / 1048576), 1) << "half a unit rounds away from zero";
    EXPECT_EQ(floatToSample(-1.0 / 1048576), -1);
}

TEST(WaveReaderStates, AnExtensibleFormatIsDecidedByItsSubFormat) {
    const Bytes d = chunk("data", samples16({-32768, 32767}));
    SourceRef pcm =
        open(riff({chunk("fmt ", fmtBody(0xFFFE, 1, 48000, 16, true, extensibleExtra(16, 4, 1))), d}));
    ASSERT_EQ(pcm->state, StateOk) << "PCM 16-bit is read directly";
    EXPECT_EQ(readFrames(pcm, 2), (std::vector<std::int32_t>{-524288, 524272}));
    SourceRef mu =
        open(riff({chunk("fmt ", fmtBody(0xFFFE, 1, 8000, 8, true, extensibleExtra(8, 4, 7))), d}));
    ASSERT_EQ(mu->state, StateOk);
    EXPECT_EQ(mu->peakLevel, 516096);
    EXPECT_EQ(
        stateOf(riff({chunk("fmt ", fmtBody(0xFFFE, 1, 8000, 32, true, extensibleExtra(32, 4, 3))), d})),
        StateOk)
        << "float by its sub-format";
    EXPECT_EQ(stateOf(riff({chunk("fmt ", fmtBody(0xFFFE, 1, 8000, 4, true, extensibleExtra(4, 4, 2))), d})),
              StateNoConverter)
        << "ADPCM by its sub-format";
    Bytes unknown = extensibleExtra(16, 4, 1);
    unknown[10] = 0x11; // not the shared tail
    EXPECT_EQ(stateOf(riff({chunk("fmt ", fmtBody(0xFFFE, 1, 8000, 16, true, unknown)), d})),
              StateNoConverter);
}

TEST(WaveReaderStates, AnExtensibleFormatTooShortForItsSubFormatIsMalformed) {
    // The extra-size word claims the 22 bytes but the chunk ends after 26 bytes.
    Bytes fmt = fmtBody(0xFFFE, 1, 8000, 16, false);
    put16(fmt, 22);
    put16(fmt, 16);
    put32(fmt, 4);
    ASSERT_EQ(fmt.size(), 24u);
    EXPECT_EQ(stateOf(riff({chunk("fmt ", fmt), chunk("data", samples16({1}))})), StateBadFormat);
    fmt.resize(39);
    EXPECT_EQ(stateOf(riff({chunk("fmt ", fmt), chunk("data", samples16({1}))})), StateBadFormat);
}

TEST(WaveReaderStates, AMissingFileCannotBeOpened) {
    TempDir dir;
    EXPECT_EQ(OpenAudioFile(dir.path(u"missing.wav"))->state, StateCannotOpen);
    EXPECT_EQ(OpenAudioFile(dir.root())->state, StateCannotOpen) << "a folder is no file";
    ASSERT_TRUE(writeAll(dir.path(u"音.wav"), pcm16(1, 22050, samples16({3}))));
    SourceRef s = OpenAudioFile(dir.path(u"音.wav"));
    EXPECT_EQ(s->state, StateOk);
    EXPECT_EQ(s->sampleRate, 22050);
}

// ---------------------------------------------------------------- converter hooks

namespace {

struct HookLog {
    int calls = 0;
    WaveFormat format;
    std::uint32_t dataSize = 0;
    std::int64_t position = -1;
    bool accept = true;
} gHook, gMpegHook;

SourceRef fakeConverter(std::unique_ptr<ByteSource>& bytes, const WaveFormat& f, std::uint32_t dataSize) {
    ++gHook.calls;
    gHook.format = f;
    gHook.dataSize = dataSize;
    gHook.position = bytes->tell();
    if (!gHook.accept) {
        bytes->seek(bytes->size()); // a failing reader may have moved the bytes
        return SourceRef();
    }
    std::unique_ptr<ByteSource> taken = std::move(bytes);
    return makeSource<SilenceSource>(static_cast<int>(f.sampleRate), f.channels, kNominalFullScale, 1234);
}

SourceRef fakeMpeg(std::unique_ptr<ByteSource>& bytes, const WaveFormat& f, std::uint32_t) {
    ++gMpegHook.calls;
    gMpegHook.position = bytes->tell();
    return makeSource<SilenceSource>(static_cast<int>(f.sampleRate), f.channels, kNominalFullScale, 99);
}

struct Hooks {
    Hooks() {
        gHook = HookLog{};
        gMpegHook = HookLog{};
        setConvertingReader(&fakeConverter);
        setMpegReader(&fakeMpeg);
    }
    ~Hooks() {
        setConvertingReader(nullptr);
        setMpegReader(nullptr);
    }
};

} // namespace

TEST(WaveReaderHooks, TheConverterGetsTheFormatImageAtTheDataStart) {
    Hooks hooks;
    Bytes coef(32, 0x33);
    const Bytes b = riff({chunk("fmt ", fmtBody(0x02, 2, 22050, 4, true, coef, 512, 11155)),
                          chunk("fact", Bytes(4, 1)), chunk("data", Bytes(100, 7))});
    SourceRef s = open(b);
    ASSERT_EQ(gHook.calls, 1);
    EXPECT_EQ(s->state, StateOk);
    EXPECT_EQ(s->GetLength(), 1234);
    EXPECT_EQ(gHook.format.tag, 0x02);
    EXPECT_EQ(gHook.format.blockAlign, 512);
    EXPECT_EQ(gHook.format.bytesPerSecond, 11155u);
    EXPECT_EQ(gHook.format.extraSize, 32);
    ASSERT_EQ(gHook.format.image.size(), 50u);
    EXPECT_EQ(gHook.format.image[49], 0x33);
    EXPECT_EQ(gHook.dataSize, 100u);
    EXPECT_EQ(gHook.position, static_cast<std::int64_t>(b.size() - 100));
}

TEST(WaveReaderHooks, ExtraBytesAreNeverClaimedBeyondTheChunk) {
    Hooks hooks;
    Bytes fmt = fmtBody(0x11, 1, 8000, 4, false);
    put16(fmt, 40); // claims 40 extra bytes, holds 2
    put16(fmt, 505);
    open(riff({chunk("fmt ", fmt), chunk("data", Bytes(10, 0))}));
    ASSERT_EQ(gHook.calls, 1);
    EXPECT_EQ(gHook.format.extraSize, 2);
    EXPECT_EQ(gHook.format.image.size(), 20u);

    // A resolved extensible sub-format carries no extra bytes.
    open(riff({chunk("fmt ", fmtBody(0xFFFE, 2, 96000, 24, true, extensibleExtra(24, 3, 1))),
               chunk("data", Bytes(6, 0))}));
    EXPECT_EQ(gHook.format.tag, kWaveTagPcm);
    EXPECT_EQ(gHook.format.bitsPerSample, 24);
    EXPECT_EQ(gHook.format.extraSize, 0);
    EXPECT_EQ(gHook.format.image.size(), 18u);
    EXPECT_EQ(gHook.format.image[0], 1);
}

TEST(WaveReaderHooks, MpegDataTheConverterRefusesGoesToTheMpegReader) {
    Hooks hooks;
    gHook.accept = false;
    const Bytes b = riff({chunk("fmt ", fmtBody(0x55, 2, 44100, 0, true, Bytes(12, 0), 1, 16000)),
                          chunk("data", Bytes(417, 0))});
    SourceRef s = open(b);
    EXPECT_EQ(gHook.calls, 1);
    ASSERT_EQ(gMpegHook.calls, 1);
    EXPECT_EQ(gMpegHook.position, static_cast<std::int64_t>(b.size() - 418)) << "back at the data start";
    EXPECT_EQ(s->GetLength(), 99);

    SourceRef other = open(riff({chunk("fmt ", fmtBody(0x11, 1, 8000, 4)), chunk("data", Bytes(8, 0))}));
    EXPECT_EQ(other->state, StateNoConverter);
    EXPECT_EQ(gMpegHook.calls, 1) << "only MPEG Layer III goes to the MPEG reader";
    for (std::uint16_t tag : {0x22, 0x45, 0x270}) {
        open(riff({chunk("fmt ", fmtBody(tag, 1, 8000, 4)), chunk("data", Bytes(8, 0))}));
        EXPECT_EQ(gHook.calls, 2) << "refused tags never reach the converter";
    }
}

// ---------------------------------------------------------------- sample mapping

TEST(WaveSampleMapping, EightBitSamplesAreCentredAndScaledBy4096) {
    SourceRef s =
        open(riff({chunk("fmt ", fmtBody(1, 2, 8000, 8)), chunk("data", Bytes{0x80, 0xFF, 0x00, 0x81})}));
    ASSERT_EQ(s->state, StateOk);
    EXPECT_EQ(s->peakLevel, kNominalFullScale);
    EXPECT_EQ(readFrames(s, 2), (std::vector<std::int32_t>{0, 520192, -524288, 4096}));
    // Fewer than 8 bits still take one byte per sample.
    SourceRef four = open(riff({chunk("fmt ", fmtBody(1, 1, 8000, 4)), chunk("data", Bytes{0x90, 0x70})}));
    EXPECT_EQ(four->GetLength(), 2);
    EXPECT_EQ(readFrames(four, 2), (std::vector<std::int32_t>{65536, -65536}));
}

TEST(WaveSampleMapping, SixteenBitSamplesAreScaledBy16) {
    SourceRef s = open(pcm16(1, 8000, samples16({-32768, 32767, 1, -1, 0})));
    EXPECT_EQ(readFrames(s, 5), (std::vector<std::int32_t>{-524288, 524272, 16, -16, 0}));
    // 12-bit samples sit in two bytes as well.
    SourceRef twelve =
        open(riff({chunk("fmt ", fmtBody(1, 1, 8000, 12)), chunk("data", samples16({0x7FF0}))}));
    EXPECT_EQ(readFrames(twelve, 1)[0], 0x7FF0 * 16);
}

TEST(WaveSampleMapping, ALawAndMuLawFollowG711) {
    EXPECT_EQ(alawToLinear(0xD5), 8);
    EXPECT_EQ(alawToLinear(0x55), -8);
    EXPECT_EQ(alawToLinear(0xAA), 32256);
    EXPECT_EQ(alawToLinear(0x2A), -32256);
    EXPECT_EQ(alawToLinear(0xC5), 264); // first step of segment 1
    EXPECT_EQ(mulawToLinear(0xFF), 0);
    EXPECT_EQ(mulawToLinear(0x7F), 0);
    EXPECT_EQ(mulawToLinear(0x80), 32124);
    EXPECT_EQ(mulawToLinear(0x00), -32124);
    EXPECT_EQ(mulawToLinear(0xFE), 8);
    // Each law is odd-symmetric through its sign bit and grows with the magnitude code.
    for (int c = 0; c < 128; ++c) {
        EXPECT_EQ(alawToLinear(static_cast<std::uint8_t>(c)),
                  -alawToLinear(static_cast<std::uint8_t>(c | 0x80)))
            << c;
        EXPECT_EQ(mulawToLinear(static_cast<std::uint8_t>(c)),
                  -mulawToLinear(static_cast<std::uint8_t>(c | 0x80)))
            << c;
    }
    for (int m = 1; m < 128; ++m) {
        EXPECT_GT(alawToLinear(static_cast<std::uint8_t>((m ^ 0x55) | 0x80)),
                  alawToLinear(static_cast<std::uint8_t>(((m - 1) ^ 0x55) | 0x80)))
            << m;
        EXPECT_GT(mulawToLinear(static_cast<std::uint8_t>(0xFF - m)),
                  mulawToLinear(static_cast<std::uint8_t>(0x100 - m)))
            << m;
    }

    SourceRef a =
        open(riff({chunk("fmt ", fmtBody(6, 2, 8000, 8)), chunk("data", Bytes{0xAA, 0x2A, 0xD5, 0x55})}));
    ASSERT_EQ(a->state, StateOk);
    EXPECT_EQ(a->peakLevel, 516096);
    EXPECT_EQ(readFrames(a, 2), (std::vector<std::int32_t>{516096, -516096, 128, -128}));
    SourceRef u = open(riff({chunk("fmt ", fmtBody(7, 1, 8000, 8)), chunk("data", Bytes{0x80, 0x00, 0xFF})}));
    EXPECT_EQ(readFrames(u, 4), (std::vector<std::int32_t>{32124 * 16, -32124 * 16, 0, 0}));
}

// ---------------------------------------------------------------- reading and seeking

TEST(WaveReading, ASeekBeforeTheStartGivesLeadingSilence) {
    const Bytes data = ramp16(300, 2);
    for (int tag : {1, 6}) {
        const Bytes b = tag == 1
                            ? pcm16(2, 44100, data)
                            : riff({chunk("fmt ", fmtBody(6, 2, 44100, 8)), chunk("data", Bytes(600, 0xD5))});
        SourceRef s = open(b);
        s->Seek(-100);
        EXPECT_EQ(s->GetPosition(), -100);
        const std::vector<std::int32_t> got = readFrames(s, 150);
        EXPECT_EQ(s->GetPosition(), 50) << tag;
        for (int i = 0; i < 200; ++i)
            ASSERT_EQ(got[i], 0) << "tag " << tag << " sample " << i;
        for (int i = 0; i < 100; ++i) {
            const std::int32_t want = tag == 1 ? static_cast<std::int16_t>(i * 7 - 3000) * 16 : 128;
            ASSERT_EQ(got[200 + i], want) << "tag " << tag << " sample " << i;
        }
    }
}

TEST(WaveReading, TheEndIsFollowedBySilence) {
    // 5 frames and half a frame of data: the half frame is not a frame.
    Bytes data = ramp16(5, 2);
    data.push_back(1);
    data.push_back(2);
    SourceRef s = open(pcm16(2, 8000, data));
    EXPECT_EQ(s->GetLength(), 5);
    EXPECT_FALSE(s->IsGrowing());
    std::vector<std::int32_t> got = readFrames(s, 8);
    for (int i = 10; i < 16; ++i)
        EXPECT_EQ(got[i], 0);
    EXPECT_EQ(s->GetPosition(), 8) << "a finished file runs on in silence";

    // A data size beyond the end of the file: what is there, then zeros.
    Bytes cut = pcm16(1, 8000, samples16({10, 20, 30, 40}));
    cut.resize(cut.size() - 4);
    SourceRef c = open(cut);
    EXPECT_EQ(c->GetLength(), 4);
    EXPECT_EQ(readFrames(c, 6), (std::vector<std::int32_t>{160, 320, 0, 0, 0, 0}));
}

TEST(WaveReading, SeekingLandsOnTheFrameAskedFor) {
    SourceRef s = open(pcm16(1, 8000, ramp16(1000, 1)));
    s->Seek(600);
    EXPECT_EQ(readFrames(s, 1)[0], static_cast<std::int16_t>(600 * 7 - 3000) * 16);
    s->Seek(0);
    EXPECT_EQ(readFrames(s, 1)[0], -3000 * 16);
    s->Seek(5000);
    EXPECT_EQ(s->GetPosition(), 5000);
    EXPECT_EQ(readFrames(s, 3), (std::vector<std::int32_t>{0, 0, 0}));
    s->Seek(999);
    EXPECT_EQ(readFrames(s, 2),
              (std::vector<std::int32_t>{static_cast<std::int16_t>(999 * 7 - 3000) * 16, 0}));
}

TEST(WaveReading, BlockSizesDoNotChangeWhatIsRead) {
    std::mt19937 rng(7);
    for (int channels : {1, 2, 3}) {
        for (int bits : {8, 16}) {
            const int frames = 20000;
            Bytes data;
            for (int i = 0; i < frames * channels * bits / 8; ++i)
                data.push_back(static_cast<unsigned char>(rng()));
            const Bytes b = riff({chunk("fmt ", fmtBody(1, static_cast<std::uint16_t>(channels), 48000,
                                                        static_cast<std::uint16_t>(bits))),
                                  chunk("data", data)});
            SourceRef whole = open(b);
            std::vector<std::int32_t> ref(static_cast<std::size_t>(frames + 100) * channels);
            for (int done = 0; done < frames + 100; done += 8192)
                whole->Read(ref.data() + done * channels, std::min(8192, frames + 100 - done));
            SourceRef pieces = open(b);
            std::vector<std::int32_t> got(ref.size());
            int done = 0;
            while (done < frames + 100) {
                const int n = std::min<int>(1 + static_cast<int>(rng() % 3000), frames + 100 - done);
                pieces->Read(got.data() + done * channels, n);
                done += n;
            }
            EXPECT_EQ(got, ref) << channels << " channels, " << bits << " bits";
        }
    }
}

TEST(WaveReading, ManyChannelsReadAsFewDoAcrossTheReadersBuffer) {
    // 255 channels of 16-bit PCM (510 bytes a frame) and of 64-bit float (2040 bytes a
    // frame): a read of many frames takes several fills of the reader's buffer.
    const int frames = 700;
    Bytes pcm, fl;
    std::vector<std::int32_t> want;
    for (int i = 0; i < frames * 255; ++i) {
        const std::int16_t v = static_cast<std::int16_t>(i * 37 - 20000);
        put16(pcm, static_cast<std::uint16_t>(v));
        want.push_back(v * 16);
        const double d = v / 32768.0;
        std::uint64_t u;
        std::memcpy(&u, &d, 8);
        for (int b = 0; b < 8; ++b)
            fl.push_back(static_cast<unsigned char>(u >> (8 * b)));
    }
    for (const auto& [bits, tag, data] : {std::tuple{16, 1, pcm}, std::tuple{64, 3, fl}}) {
        const Bytes b = riff({chunk("fmt ", fmtBody(static_cast<std::uint16_t>(tag), 255, 8000,
                                                    static_cast<std::uint16_t>(bits))),
                              chunk("data", data)});
        SourceRef whole = open(b);
        ASSERT_EQ(whole->state, StateOk) << bits;
        std::vector<std::int32_t> got = readFrames(whole, frames + 10);
        EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin())) << bits << " bits, one read";
        EXPECT_TRUE(std::all_of(got.begin() + static_cast<std::ptrdiff_t>(want.size()), got.end(),
                                [](std::int32_t x) { return x == 0; }))
            << bits << " bits: silence after the end";
        SourceRef pieces = open(b);
        got.assign(want.size(), 0x5A5A5A5A);
        for (int done = 0, n = 1; done < frames; done += n, n = n * 3 + 1) {
            n = std::min(n, frames - done);
            pieces->Read(got.data() + static_cast<std::size_t>(done) * 255, n);
        }
        EXPECT_EQ(got, want) << bits << " bits, growing blocks";
    }
}

TEST(WaveReading, AListOfManyWideFilesOpensThemAllAndPlays) {
    // 130 files of 255 channels of 64-bit float, 4 frames each (about 1 MB in all): a list
    // opens every entry when it is rendered, which a 32-bit process must hold.
    TempDir dir;
    std::vector<std::u16string> rows;
    for (int k = 0; k < 130; ++k) {
        Bytes data;
        for (int i = 0; i < 4 * 255; ++i) {
            const double d = (k * 4 + i / 255) / 1024.0;
            std::uint64_t u;
            std::memcpy(&u, &d, 8);
            for (int b = 0; b < 8; ++b)
                data.push_back(static_cast<unsigned char>(u >> (8 * b)));
        }
        rows.push_back(dir.path(u"w" + std::u16string(1, static_cast<char16_t>(u'a' + k % 26)) +
                                std::u16string(1, static_cast<char16_t>(u'a' + k / 26)) + u".wav"));
        ASSERT_TRUE(
            writeAll(rows.back(), riff({chunk("fmt ", fmtBody(3, 255, 8000, 64)), chunk("data", data)})));
    }
    ASSERT_TRUE(writeToneList(dir.path(u"wide.tdl"), rows));
    SourceRef s = renderToneList(readToneList(dir.path(u"wide.tdl")), 44100);
    ASSERT_EQ(s->state, StateOk);
    EXPECT_EQ(s->channels, 255);
    EXPECT_EQ(s->sampleRate, 8000);
    EXPECT_EQ(s->GetLength(), 130 * 4);
    const std::vector<std::int32_t> block = readFrames(s, kMaxReadFrames);
    for (int frame : {0, 3, 4, 517, 519})
        for (int c : {0, 254})
            EXPECT_EQ(block[static_cast<std::size_t>(frame) * 255 + c], frame * 512)
                << frame << ", channel " << c;
}

// ---------------------------------------------------------------- growing files

namespace {

// The header a writer leaves while it is still writing: placeholder sizes.
Bytes growingHeader(std::uint16_t channels) {
    Bytes b = riff({chunk("fmt ", fmtBody(1, channels, 44100, 16))}, 0xFFFFFFFF);
    putId(b, "data");
    put32(b, 0xFFFFFFD9);
    return b;
}

void put(File& f, const Bytes& b) {
    ASSERT_EQ(f.write(b.data(), static_cast<std::int64_t>(b.size())), static_cast<std::int64_t>(b.size()));
}

} // namespace

TEST(GrowingWave, AFileStillBeingWrittenFollowsItsSizeUntilTheWriterFinishes) {
    TempDir dir;
    const std::u16string path = dir.path(u"growing.wav");
    File writer;
    ASSERT_TRUE(writer.open(path, File::Mode::CreateShared));
    const Bytes head = growingHeader(2);
    ASSERT_EQ(head.size(), 46u);
    put(writer, head);
    put(writer, samples16({1, -1, 2, -2, 3, -3}));

    SourceRef s = OpenAudioFile(path);
    ASSERT_EQ(s->state, StateOk);
    EXPECT_TRUE(s->IsGrowing());
    EXPECT_EQ(s->GetLength(), 3);
    EXPECT_EQ(readFrames(s, 4), (std::vector<std::int32_t>{16, -16, 32, -32, 48, -48, 0, 0}));
    EXPECT_EQ(s->GetPosition(), 3) << "the zeros past the present end are not counted";

    put(writer, samples16({4, -4}));
    put(writer, Bytes{5, 0}); // half a frame
    EXPECT_EQ(s->GetLength(), 4);
    EXPECT_EQ(readFrames(s, 2), (std::vector<std::int32_t>{64, -64, 0, 0}));
    EXPECT_EQ(s->GetPosition(), 4);
    put(writer, Bytes{0xFB, 0xFF}); // the rest of frame 4
    EXPECT_EQ(readFrames(s, 1), (std::vector<std::int32_t>{80, -80})) << "the half frame is read again whole";

    // The writer finishes: the real sizes go in, and the length stops following the file.
    ASSERT_TRUE(writer.seek(4));
    put(writer, Bytes{38 + 20, 0, 0, 0});
    ASSERT_TRUE(writer.seek(42));
    put(writer, Bytes{20, 0, 0, 0});
    ASSERT_TRUE(writer.seek(66));
    put(writer, samples16({9, 9})); // a trailing chunk would look like this to a reader
    EXPECT_EQ(s->GetLength(), 5);
    EXPECT_FALSE(s->IsGrowing());
    EXPECT_EQ(readFrames(s, 1), (std::vector<std::int32_t>{0, 0}));
    EXPECT_EQ(s->GetPosition(), 6);
    s->Seek(4);
    EXPECT_EQ(readFrames(s, 2), (std::vector<std::int32_t>{80, -80, 0, 0}));
}

TEST(GrowingWave, AnUnknownALawLengthIsTheRestOfTheFile) {
    Bytes b = riff({chunk("fmt ", fmtBody(6, 1, 8000, 8))}, 0xFFFFFFFF);
    putId(b, "data");
    put32(b, 0xFFFFFFFF);
    b.insert(b.end(), {0xAA, 0x2A, 0xD5});
    SourceRef s = open(b);
    ASSERT_EQ(s->state, StateOk);
    EXPECT_FALSE(s->IsGrowing());
    EXPECT_EQ(s->GetLength(), 3);
    EXPECT_EQ(readFrames(s, 4), (std::vector<std::int32_t>{516096, -516096, 128, 0}));
}
