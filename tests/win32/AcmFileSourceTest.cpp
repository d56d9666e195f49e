#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "WaveBuilder.h"
#include "audio/AudioFileReader.h"
#include "audio/win32/AcmFileSource.h"
#include "audio/win32/FileReaders.h"
#include "platform/Text.h"

using namespace sonimo;
using namespace sonimo::wavetest;

namespace {

// The files made by make-acm-testdata (the ctest fixture runs it before this suite).
std::u16string dataFile(const std::string& name) {
    std::string p = std::string(SONIMO_TEST_DATA_DIR) + "/acm/" + name;
    for (char& c : p)
        if (c == '/') c = '\\';
    return utf8ToUtf16(p[0] == '\\' ? "Z:" + p : p); // Wine shows the host's root as Z:
}

struct Decoded {
    int state = -1, rate = 0, channels = 0;
    std::vector<std::int32_t> samples; // 16-bit values (source samples >> 4)
};

// Reads a source to its end, in blocks of `block` frames.
Decoded decode(SourceRef s, int block = 4096) {
    Decoded d;
    d.state = s->state;
    d.rate = s->sampleRate;
    d.channels = s->channels;
    if (s->state != StateOk) return d;
    std::vector<std::int32_t> buf(static_cast<std::size_t>(block) * s->channels);
    for (int guard = 0; guard < 100000 && s->GetPosition() < s->GetLength(); ++guard) {
        const int n = std::min(block, s->GetLength() - s->GetPosition());
        s->Read(buf.data(), n);
        for (int i = 0; i < n * s->channels; ++i)
            d.samples.push_back(buf[i] >> 4);
    }
    // The last read may have asked past the end the converter found.
    d.samples.resize(
        std::min(d.samples.size(), static_cast<std::size_t>(std::max(0, s->GetLength())) * d.channels));
    return d;
}

// MPEGLAYER3WAVEFORMAT's extra bytes: ID_MPEG, no padding flags, 418-byte blocks of one
// frame, 1393 frames of codec delay.
Bytes mpegLayer3Extra() {
    Bytes extra;
    put16(extra, 1);
    put32(extra, 2);
    put16(extra, 418);
    put16(extra, 1);
    put16(extra, 1393);
    return extra;
}

Decoded decodeFile(const std::string& name) {
    return decode(OpenAudioFile(dataFile(name)));
}

struct Match {
    int lag = 0;      // frames by which `got` is late against `ref`
    double snrDb = 0; // reference energy over error energy in the overlap
    std::size_t overlap = 0;
};

// Finds the alignment of `got` against `ref` within ±maxLag frames and measures the error there.
Match compare(const std::vector<std::int32_t>& got, const std::vector<std::int32_t>& ref, int channels,
              int maxLag) {
    Match best;
    best.snrDb = -1e9;
    const long gf = static_cast<long>(got.size()) / channels, rf = static_cast<long>(ref.size()) / channels;
    const int step = maxLag > 16 ? 3 : 1; // a coarse grid keeps wide searches quick
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        double sig = 0, err = 0;
        std::size_t n = 0;
        for (long f = std::max<long>(0, -lag); f < rf && f + lag < gf; f += step) {
            for (int c = 0; c < channels; ++c) {
                const double r = ref[f * channels + c], g = got[(f + lag) * channels + c];
                sig += r * r;
                err += (r - g) * (r - g);
            }
            n += step;
        }
        if (n < static_cast<std::size_t>(rf) / 2) continue;
        const double snr = err == 0 ? 200 : 10 * std::log10(sig / err);
        if (snr > best.snrDb) best = {lag, snr, n};
    }
    return best;
}

class AcmConversion : public ::testing::Test {
protected:
    void SetUp() override {
        installFileReaders();
        ASSERT_TRUE(fileExists(dataFile("src22.wav")))
            << "test files missing: run tests/win32/make-acm-testdata " SONIMO_TEST_DATA_DIR
               "/acm first (the ctest fixture does)";
    }
    void TearDown() override { setConvertingReader(nullptr); }

    // Converts `name` through the ACM and compares it with the 16-bit decode in `ref`.
    void expectLike(const std::string& name, const std::string& ref, int rate, int channels, double minSnr,
                    int maxLag, int lengthSlack) {
        const Decoded got = decodeFile(name);
        const Decoded want = decodeFile(ref);
        ASSERT_EQ(want.state, StateOk) << ref;
        ASSERT_EQ(got.state, StateOk) << name << " was not converted";
        EXPECT_EQ(got.rate, rate);
        EXPECT_EQ(got.channels, channels);
        const long frames = static_cast<long>(got.samples.size()) / channels;
        const long refFrames = static_cast<long>(want.samples.size()) / channels;
        EXPECT_NEAR(frames, refFrames, lengthSlack) << name;
        const Match m = compare(got.samples, want.samples, channels, maxLag);
        EXPECT_GE(m.snrDb, minSnr) << name << ": lag " << m.lag << " over " << m.overlap << " frames";
        RecordProperty(name + "_snr_db", std::to_string(m.snrDb));
        std::printf("%s: %ld frames (sox %ld), lag %d, %.1f dB against the reference decode\n", name.c_str(),
                    frames, refFrames, m.lag, m.snrDb);
    }
};

} // namespace

TEST_F(AcmConversion, ImaAdpcmMatchesSoxsDecode) {
    expectLike("ima.wav", "ima.ref.wav", 22050, 2, 40, 4, 0);
}
TEST_F(AcmConversion, MsAdpcmMatchesSoxsDecode) {
    expectLike("msadpcm.wav", "msadpcm.ref.wav", 22050, 2, 40, 4, 0);
}
TEST_F(AcmConversion, Gsm610MatchesSoxsDecode) {
    expectLike("gsm.wav", "gsm.ref.wav", 8000, 1, 30, 4, 320);
}
TEST_F(AcmConversion, Pcm24MatchesSoxsDecode) {
    expectLike("pcm24.wav", "pcm24.ref.wav", 22050, 2, 90, 0, 0);
}
// Wine 8's ACM has no IEEE float converter (no driver lists tag 3, and its built-in PCM
// converter takes 8/16/24-bit integers only); where the system has none, the reader takes
// the linear data itself. Either way the file matches sox's decode.
TEST_F(AcmConversion, IeeeFloatMatchesSoxsDecode) {
    expectLike("float.wav", "float.ref.wav", 22050, 2, 80, 0, 0);
}

TEST_F(AcmConversion, MpegLayer3InAWaveMatchesLamesDecode) {
    const Bytes mp3 = readAll(dataFile("mp3.mp3"));
    ASSERT_GT(mp3.size(), 1000u);
    const Bytes extra = mpegLayer3Extra();
    const Bytes wav =
        riff({chunk("fmt ", fmtBody(0x55, 2, 44100, 0, true, extra, 1, 16000)), chunk("data", mp3)});
    TempDir dir;
    ASSERT_TRUE(writeAll(dir.path(u"mp3.wav"), wav));
    const Decoded got = decode(OpenAudioFile(dir.path(u"mp3.wav")));
    const Decoded want = decodeFile("mp3.ref.wav");
    ASSERT_EQ(want.state, StateOk);
    ASSERT_EQ(got.state, StateOk) << "MPEG Layer III was not converted";
    EXPECT_EQ(got.rate, 44100);
    EXPECT_EQ(got.channels, 2);
    const Match m = compare(got.samples, want.samples, 2, 3000);
    std::printf("mp3: %zu frames (lame %zu), lag %d, %.1f dB\n", got.samples.size() / 2,
                want.samples.size() / 2, m.lag, m.snrDb);
    EXPECT_GE(m.snrDb, 30) << "lag " << m.lag;
}

TEST_F(AcmConversion, Plain24BitPcmKeepsTheTop16Bits) {
    const Decoded src = decodeFile("src22.wav");
    ASSERT_EQ(src.state, StateOk);
    Bytes data;
    for (std::int32_t v : src.samples) {
        data.push_back(0x7F); // below half a 16-bit step: rounding and truncation agree
        put16(data, static_cast<std::uint16_t>(static_cast<std::int16_t>(v)));
    }
    TempDir dir;
    ASSERT_TRUE(
        writeAll(dir.path(u"p24.wav"), riff({chunk("fmt ", fmtBody(1, 2, 22050, 24)), chunk("data", data)})));
    const Decoded got = decode(OpenAudioFile(dir.path(u"p24.wav")), 1000);
    ASSERT_EQ(got.state, StateOk);
    EXPECT_EQ(got.samples, src.samples);
}

TEST_F(AcmConversion, SeekingLandsOnTheFrameAskedFor) {
    for (const char* name : {"ima.wav", "msadpcm.wav", "pcm24.wav"}) {
        const Decoded whole = decodeFile(name);
        ASSERT_EQ(whole.state, StateOk) << name;
        SourceRef s = OpenAudioFile(dataFile(name));
        for (int at : {10000, 37, 21000}) {
            s->Seek(at);
            EXPECT_EQ(s->GetPosition(), at);
            std::vector<std::int32_t> buf(2 * 500);
            s->Read(buf.data(), 500);
            double err = 0, sig = 0;
            for (int i = 0; i < 1000; ++i) {
                const double r = whole.samples[static_cast<std::size_t>(at) * 2 + i], g = buf[i] >> 4;
                sig += r * r;
                err += (r - g) * (r - g);
            }
            // Block codecs restart exactly at a block; the decode from there is the same.
            EXPECT_LE(err, sig * 1e-4) << name << " at " << at;
        }
        s->Seek(-100);
        std::vector<std::int32_t> buf(2 * 150, 1);
        s->Read(buf.data(), 150);
        for (int i = 0; i < 200; ++i)
            ASSERT_EQ(buf[i], 0) << name;
        for (int i = 0; i < 100; ++i)
            EXPECT_NEAR(buf[200 + i] >> 4, whole.samples[i], 2) << name << " " << i;
        s->Seek(10000000);
        EXPECT_EQ(s->GetLength(), static_cast<int>(whole.samples.size() / 2)) << name << ": past the end";
        s->Read(buf.data(), 150);
        for (int v : buf)
            ASSERT_EQ(v, 0);
    }
}

TEST_F(AcmConversion, TheLengthIsEstimatedAheadAndExactAtTheEnd) {
    for (const char* name : {"ima.wav", "msadpcm.wav", "gsm.wav", "pcm24.wav"}) {
        SourceRef s = OpenAudioFile(dataFile(name));
        ASSERT_EQ(s->state, StateOk) << name;
        EXPECT_FALSE(s->IsGrowing());
        const int estimate = s->GetLength();
        const Decoded d = decode(s);
        const int exact = static_cast<int>(d.samples.size()) / d.channels;
        EXPECT_EQ(s->GetLength(), exact) << name;
        EXPECT_EQ(exact,
                  static_cast<int>(
                      decodeFile(std::string(name, std::strlen(name) - 4) + ".ref.wav").samples.size()) /
                      d.channels)
            << name << ": as long as sox's decode";
        EXPECT_NEAR(estimate, exact, 0.02 * exact + 400) << name;
        EXPECT_GT(exact, d.rate * 0.98) << name;
    }
}

TEST_F(AcmConversion, AnUnknownDataSizeReadsToTheEndOfTheFile) {
    Bytes b = readAll(dataFile("ima.wav"));
    const Decoded whole = decodeFile("ima.wav");
    // The data size field goes unknown, as a writer that has not finished leaves it.
    const auto at = std::search(b.begin(), b.end(), std::begin("data"), std::end("data") - 1);
    ASSERT_NE(at, b.end());
    std::memset(&*(at + 4), 0xFF, 4);
    TempDir dir;
    ASSERT_TRUE(writeAll(dir.path(u"open.wav"), b));
    SourceRef s = OpenAudioFile(dir.path(u"open.wav"));
    ASSERT_EQ(s->state, StateOk);
    EXPECT_TRUE(s->IsGrowing());
    const int estimate = s->GetLength();
    EXPECT_NEAR(estimate, static_cast<int>(whole.samples.size() / 2), 1100) << "one block is held back";
    std::vector<std::int32_t> buf(2 * 4096);
    long total = 0;
    for (int i = 0; i < 10; ++i) {
        s->Read(buf.data(), 4096);
        total += 4096;
    }
    EXPECT_EQ(s->GetLength(), static_cast<int>(whole.samples.size() / 2)) << "the end is known once reached";
    EXPECT_GT(total, s->GetLength());
}

TEST_F(AcmConversion, DamagedDataDoesNotStopTheStream) {
    Bytes b = readAll(dataFile("msadpcm.wav"));
    const auto at = std::search(b.begin(), b.end(), std::begin("data"), std::end("data") - 1);
    ASSERT_NE(at, b.end());
    const std::size_t start = static_cast<std::size_t>(at - b.begin()) + 8;
    for (std::size_t i = start + 4000; i < start + 9000 && i < b.size(); ++i)
        b[i] = static_cast<unsigned char>(i * 97);
    TempDir dir;
    ASSERT_TRUE(writeAll(dir.path(u"damaged.wav"), b));
    const Decoded d = decode(OpenAudioFile(dir.path(u"damaged.wav")));
    ASSERT_EQ(d.state, StateOk);
    const Decoded clean = decodeFile("msadpcm.wav");
    // The damage spans bytes 4000..9000 of 22528 (about 4900 frames); a quarter of the
    // waiting bytes goes with each failed conversion, so some good blocks around it go too.
    EXPECT_GT(d.samples.size() / 2, 9000u) << "data after the damage still plays";
    // The undamaged tail decodes as before.
    const std::size_t tail = 2 * 4000;
    ASSERT_GT(d.samples.size(), tail);
    const std::vector<std::int32_t> a(d.samples.end() - tail, d.samples.end()),
        c(clean.samples.end() - tail, clean.samples.end());
    EXPECT_GE(compare(a, c, 2, 0).snrDb, 40);
}

TEST_F(AcmConversion, FormatsNoDriverTakesNeedAConverter) {
    const Bytes d = chunk("data", Bytes(400, 0x11));
    TempDir dir;
    ASSERT_TRUE(writeAll(dir.path(u"x.wav"), riff({chunk("fmt ", fmtBody(0x1234, 1, 8000, 4)), d})));
    EXPECT_EQ(OpenAudioFile(dir.path(u"x.wav"))->state, StateNoConverter);
    ASSERT_TRUE(writeAll(dir.path(u"y.wav"), riff({chunk("fmt ", fmtBody(0x22, 1, 8000, 4)), d})));
    EXPECT_EQ(OpenAudioFile(dir.path(u"y.wav"))->state, StateRefusedFormat);
    // MPEG Layer III data that is not MPEG at all: the converter opens, the stream yields nothing.
    const Bytes extra = mpegLayer3Extra();
    ASSERT_TRUE(writeAll(dir.path(u"z.wav"),
                         riff({chunk("fmt ", fmtBody(0x55, 2, 44100, 0, true, extra, 1, 16000)), d})));
    const Decoded z = decode(OpenAudioFile(dir.path(u"z.wav")));
    if (z.state == StateOk) {
        for (std::int32_t v : z.samples)
            ASSERT_EQ(v, 0);
    } else {
        EXPECT_EQ(z.state, StateNoConverter);
    }
}

TEST_F(AcmConversion, MutatedFilesAlwaysComeToAnEnd) {
    // Hostile bytes inside well-formed headers: the codecs see garbage, we must neither
    // hang nor read out of bounds, and the reported length stays sane.
    std::uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    std::vector<std::int32_t> buf(static_cast<std::size_t>(kMaxReadFrames) * 2);
    int opened = 0;
    for (const char* name : {"ima.wav", "msadpcm.wav", "gsm.wav", "pcm24.wav", "mp3.mp3"}) {
        Bytes original = readAll(dataFile(name));
        ASSERT_FALSE(original.empty()) << name;
        if (std::string(name) == "mp3.mp3") {
            const Bytes extra = mpegLayer3Extra();
            original = riff(
                {chunk("fmt ", fmtBody(0x55, 2, 44100, 0, true, extra, 1, 16000)), chunk("data", original)});
        }
        for (int round = 0; round < 30; ++round) {
            Bytes b = original;
            const int flips = 1 + static_cast<int>(next() % 200);
            for (int i = 0; i < flips; ++i)
                b[100 + next() % (b.size() - 100)] = static_cast<unsigned char>(next());
            if (round % 4 == 1)
                b[20 + next() % 40] = static_cast<unsigned char>(next()); // now and then the format
            if (round % 5 == 4) b.resize(100 + next() % (b.size() - 100));
            SourceRef s = OpenAudioStream(std::make_unique<MemoryByteSource>(b));
            if (s->state != StateOk) continue;
            ++opened;
            ASSERT_GE(s->GetLength(), 0);
            long frames = 0;
            for (int i = 0; i < 200 && s->GetPosition() < s->GetLength(); ++i) {
                const int n = 1 + static_cast<int>(next() % kMaxReadFrames);
                if (n * s->channels > static_cast<int>(buf.size())) break;
                s->Read(buf.data(), n);
                frames += n;
                if (i % 7 == 3) s->Seek(static_cast<int>(next() % 60000) - 1000);
                ASSERT_GE(s->GetLength(), 0) << name << " round " << round;
            }
            EXPECT_LE(frames, 200L * kMaxReadFrames);
        }
    }
    EXPECT_GT(opened, 50) << "most mutants still open";
}
