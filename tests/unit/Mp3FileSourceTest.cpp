#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "CliRunner.h"
#include "TestSupport.h"
#include "WaveBuilder.h"
#include "audio/AudioFileReader.h"
#include "audio/Mp3Decoder.h"
#include "audio/Mp3FileSource.h"
#include "audio/Mp3Tables.h"
#include "audio/WaveFormat.h"
#include "platform/Text.h"

using namespace sonimo;
using namespace sonimo::wavetest;

namespace {

// The files made by make-mp3-testdata (the ctest fixture runs it before this suite).
std::u16string dataFile(const std::string& name) {
    return testDataFile("mp3/" + name);
}

// 16-bit samples of a PCM WAV file (the references mpg123 and sox wrote), and its format.
struct Pcm {
    int rate = 0, channels = 0;
    std::vector<std::int16_t> samples;
    int frames() const { return channels ? static_cast<int>(samples.size()) / channels : 0; }
};
Pcm readPcm(const std::string& name) {
    Pcm p;
    SourceRef s = OpenAudioFile(dataFile(name));
    if (s->state != StateOk) return p;
    p.rate = s->sampleRate;
    p.channels = s->channels;
    for (std::int32_t v : renderFrames(*s, s->GetLength()))
        p.samples.push_back(static_cast<std::int16_t>(v >> 4));
    return p;
}

SourceRef openMp3(const Bytes& mp3, int rate, int channels) {
    return OpenAudioStream(std::make_unique<MemoryByteSource>(mpegWave(mp3, rate, channels)));
}

// Peak signal (16-bit full scale) over the error against the reference, in dB; our
// samples keep four bits more than the reference's.
double psnr(const std::vector<std::int32_t>& got, const std::vector<std::int16_t>& ref, std::size_t from = 0,
            std::size_t to = SIZE_MAX) {
    to = std::min({to, got.size(), ref.size()});
    double e = 0;
    for (std::size_t i = from; i < to; ++i) {
        const double d = got[i] / 16.0 - ref[i];
        e += d * d;
    }
    if (to <= from) return 0;
    e /= static_cast<double>(to - from);
    return e == 0 ? 200.0 : 10 * std::log10(32767.0 * 32767.0 / e);
}

struct Case {
    const char* name;
    bool tagged; // lame wrote its Info frame: the length must be the input's
};

class Mp3Decode : public ::testing::TestWithParam<Case> {};

} // namespace

TEST(Mp3Tables, EveryHuffmanCodeIsACompletePrefixCode) {
    for (int t = 0; t < mp3::kHuffmanCodeCount; ++t) {
        const mp3::HuffmanCode& c = mp3::huffmanCodeByIndex(t);
        double kraft = 0;
        for (int i = 0; i < c.count; ++i) {
            kraft += std::ldexp(1.0, -c.lengths[i]);
            for (int j = 0; j < c.count; ++j) {
                if (i == j || c.lengths[j] < c.lengths[i]) continue;
                EXPECT_NE(c.codes[j] >> (c.lengths[j] - c.lengths[i]), c.codes[i])
                    << "code " << t << ": entry " << i << " is a prefix of entry " << j;
            }
        }
        EXPECT_EQ(kraft, 1.0) << "code " << t << " leaves words unused or overfull";
    }
}

TEST(Mp3Tables, TheSynthesisWindowPeaksInTheMiddleAndEndsAtZero) {
    EXPECT_EQ(mp3::kSynthesisWindowHalf[0], 0);
    EXPECT_EQ(mp3::kSynthesisWindowHalf[256], 75038); // 1.144989014 * 2^16
    for (int i = 0; i < 256; ++i)
        EXPECT_LT(std::abs(mp3::kSynthesisWindowHalf[i]), 75038) << i;
}

TEST_P(Mp3Decode, MatchesMpg123WithinTheFullAccuracyLimitAndHasTheExactLength) {
    const Case c = GetParam();
    const std::string n = c.name;
    const Bytes mp3 = readAll(dataFile(n + ".mp3"));
    const Pcm ref = readPcm(n + ".ref.wav");
    const Pcm src = readPcm(n + ".src.wav");
    ASSERT_GT(mp3.size(), 100u) << "missing test data; run make-mp3-testdata";
    ASSERT_GT(ref.frames(), 0);

    SourceRef s = openMp3(mp3, ref.rate, ref.channels);
    ASSERT_EQ(s->state, StateOk);
    EXPECT_EQ(s->sampleRate, ref.rate);
    EXPECT_EQ(s->channels, ref.channels);
    EXPECT_EQ(s->GetLength(), ref.frames()) << "mpg123 decoded another length";
    if (c.tagged) {
        EXPECT_EQ(s->GetLength(), src.frames()) << "not the length lame was given";
    }

    const auto got = renderFrames(*s, ref.frames(), 1000);
    const double db = psnr(got, ref.samples);
    double worst = 0;
    for (std::size_t i = 0; i < std::min(got.size(), ref.samples.size()); ++i)
        worst = std::max(worst, std::abs(got[i] / 16.0 - ref.samples[i]));
    // The compliance limits of ISO/IEC 11172-4 for a full-accuracy decoder, against
    // mpg123's float output (read at our own scale, 2^-19 of full scale per step).
    SourceRef f32 = OpenAudioFile(dataFile(n + ".f32.wav"));
    ASSERT_EQ(f32->state, StateOk);
    ASSERT_EQ(f32->GetLength(), ref.frames());
    const auto exact = renderFrames(*f32, ref.frames());
    double sum = 0, largest = 0;
    for (std::size_t i = 0; i < exact.size(); ++i) {
        const double e = (got[i] - exact[i]) / 524288.0; // in units of full scale
        sum += e * e;
        largest = std::max(largest, std::abs(e));
    }
    const double rms = std::sqrt(sum / static_cast<double>(exact.size()));
    std::printf("%-10s %6d frames  PSNR %.2f dB  largest difference %.2f LSB  against float: rms %.2e, "
                "largest %.2e\n",
                c.name, s->GetLength(), db, worst, rms, largest);
    EXPECT_GE(db, 96.0);
    // The reference is rounded to 16 bits: half an LSB of that, and a little of ours.
    EXPECT_LE(worst, 1.0);
    EXPECT_LT(rms, std::ldexp(1.0, -15) / std::sqrt(12.0));
    EXPECT_LE(largest, std::ldexp(1.0, -14));
}

INSTANTIATE_TEST_SUITE_P(Lame, Mp3Decode,
                         ::testing::Values(Case{"joint44", true}, Case{"vbr48", true}, Case{"cbr32", true},
                                           Case{"mono44", true}, Case{"stereo44", true}, Case{"dual44", true},
                                           Case{"crc44", true}, Case{"free44", true}, Case{"short44", true},
                                           Case{"mpeg2-22", true}, Case{"mpeg2-24", true},
                                           Case{"mpeg2-16", true}, Case{"mpeg25-11", true},
                                           Case{"mpeg25-12", true}, Case{"mpeg25-8", true},
                                           Case{"notag44", false}),
                         [](const ::testing::TestParamInfo<Case>& i) {
                             std::string s = i.param.name;
                             for (char& ch : s)
                                 if (ch == '-') ch = '_';
                             return s;
                         });

TEST(Mp3Seek, ASeekAnywhereGivesWhatAReadFromTheStartGives) {
    for (const char* name : {"joint44", "short44", "mpeg2-16", "mpeg25-8", "vbr48"}) {
        const Pcm ref = readPcm(std::string(name) + ".ref.wav");
        const Bytes mp3 = readAll(dataFile(std::string(name) + ".mp3"));
        SourceRef whole = openMp3(mp3, ref.rate, ref.channels);
        ASSERT_EQ(whole->state, StateOk) << name;
        const int length = whole->GetLength();
        const int ch = whole->channels;
        const auto all = renderFrames(*whole, length);
        SourceRef s = openMp3(mp3, ref.rate, ref.channels);
        std::mt19937 rng(7);
        for (int trial = 0; trial < 40; ++trial) {
            const int at = static_cast<int>(rng() % static_cast<unsigned>(length));
            const int n = 1 + static_cast<int>(rng() % 3000);
            s->Seek(at);
            std::vector<std::int32_t> buf(static_cast<std::size_t>(n) * ch);
            s->Read(buf.data(), n);
            EXPECT_EQ(s->GetPosition(), at + n);
            const int real = std::min(n, length - at);
            bool same = true;
            for (int i = 0; i < real * ch && same; ++i)
                same = buf[i] == all[static_cast<std::size_t>(at) * ch + i];
            for (int i = real * ch; i < n * ch && same; ++i)
                same = buf[i] == 0;
            EXPECT_TRUE(same) << name << ": Seek(" << at << ") then Read(" << n << ")";
        }
    }
}

TEST(Mp3Seek, ReadsOfAnySizeGiveTheSameSamplesAndANegativeSeekLeadsWithSilence) {
    const Pcm ref = readPcm("joint44.ref.wav");
    const Bytes mp3 = readAll(dataFile("joint44.mp3"));
    SourceRef s = openMp3(mp3, ref.rate, ref.channels);
    const int length = s->GetLength();
    const auto all = renderFrames(*s, length);
    SourceRef t = openMp3(mp3, ref.rate, ref.channels);
    t->Seek(-300);
    std::mt19937 rng(11);
    std::vector<std::int32_t> got;
    while (static_cast<int>(got.size()) / 2 < length + 300) {
        const int n = 1 + static_cast<int>(rng() % 2500);
        std::vector<std::int32_t> buf(static_cast<std::size_t>(n) * 2);
        t->Read(buf.data(), n);
        got.insert(got.end(), buf.begin(), buf.end());
    }
    for (int i = 0; i < 600; ++i)
        ASSERT_EQ(got[i], 0) << i;
    for (std::size_t i = 0; i < all.size(); ++i)
        ASSERT_EQ(got[600 + i], all[i]) << "frame " << i / 2;
}

TEST(Mp3Damage, GarbageBetweenFramesIsSkippedAndTheFramesAfterItDecodeAgain) {
    const Pcm ref = readPcm("notag44.ref.wav");
    Bytes mp3 = readAll(dataFile("notag44.mp3"));
    ASSERT_GT(mp3.size(), 10000u);
    // 417 or 418 bytes per frame at 128 kbit/s: cut in the middle of frame 10 and insert
    // bytes that hold false sync words.
    Bytes junk;
    for (int i = 0; i < 700; ++i)
        junk.push_back(i % 7 == 0 ? 0xFF : static_cast<unsigned char>(0xE0 + i % 32));
    const std::size_t cut = 10 * 417 + 200;
    Bytes damaged(mp3.begin(), mp3.begin() + static_cast<std::ptrdiff_t>(cut));
    append(damaged, junk);
    // resume at the next frame header
    std::size_t resume = cut;
    while (!(mp3[resume] == 0xFF && (mp3[resume + 1] & 0xE0) == 0xE0))
        ++resume;
    damaged.insert(damaged.end(), mp3.begin() + static_cast<std::ptrdiff_t>(resume), mp3.end());

    SourceRef s = openMp3(damaged, 44100, 2);
    ASSERT_EQ(s->state, StateOk);
    const int lost = ref.frames() - s->GetLength();
    EXPECT_EQ(lost % 1152, 0) << "whole frames are lost";
    EXPECT_GT(lost, 0);
    EXPECT_LE(lost, 1152 * 2);
    const auto got = renderFrames(*s, s->GetLength());
    // Frames well before the damage, and after it once the reservoir and overlap are full
    // again, are those of the intact stream (shifted by the frames lost).
    EXPECT_GE(psnr(got, ref.samples, 0, 2 * 8 * 1152), 96.0);
    const std::size_t after = 2 * 16 * 1152;
    std::vector<std::int16_t> shifted(ref.samples.begin() + lost * 2, ref.samples.end());
    EXPECT_GE(psnr(got, shifted, after), 96.0);
}

TEST(Mp3Damage, AFrameWithABadCrcIsNotDecodedAndTheFramesAroundItPlay) {
    const Pcm ref = readPcm("crc44.ref.wav");
    Bytes mp3 = readAll(dataFile("crc44.mp3"));
    std::vector<std::size_t> starts;
    for (std::size_t at = 0; at + 4 < mp3.size() && starts.size() < 21;) {
        mp3::FrameHeader h;
        ASSERT_TRUE(mp3::parseHeader(mp3.data() + at, h));
        starts.push_back(at);
        at += static_cast<std::size_t>(h.frameBytes());
    }
    // Frame 20 of the stream (audio frame 19 after the Info frame): its side information
    // loses a bit, which only the CRC tells.
    const std::size_t at = starts[20];
    const int size = static_cast<int>(starts[20] - starts[19]);
    std::vector<float> pcm(1152 * 2);
    auto decode20 = [&](const Bytes& b) {
        mp3::Mp3Decoder d;
        for (int f = 1; f < 20; ++f)
            d.feedFrame(b.data() + starts[f], static_cast<int>(starts[f + 1] - starts[f]));
        return d.decodeFrame(b.data() + at, size, pcm.data());
    };
    EXPECT_TRUE(decode20(mp3));
    mp3[at + 12] ^= 0x10;
    EXPECT_FALSE(decode20(mp3));

    SourceRef s = openMp3(mp3, 44100, 2);
    ASSERT_EQ(s->state, StateOk);
    ASSERT_EQ(s->GetLength(), ref.frames());
    const auto got = renderFrames(*s, s->GetLength());
    const std::size_t frameStart = 19 * 1152 - 1105; // the output frame where audio frame 19 begins
    EXPECT_GE(psnr(got, ref.samples, 0, frameStart * 2), 96.0);
    EXPECT_LT(psnr(got, ref.samples, frameStart * 2, (frameStart + 1152) * 2), 60.0)
        << "the frame was decoded";
    EXPECT_GE(psnr(got, ref.samples, (frameStart + 2 * 1152) * 2), 96.0);
}

TEST(Mp3Damage, CorruptedAndCutStreamsEndInSoundOrSilenceNeverPastTheirBounds) {
    const Bytes mp3 = readAll(dataFile("short44.mp3"));
    std::mt19937 rng(3);
    for (int trial = 0; trial < 30; ++trial) {
        Bytes b = mp3;
        b.resize(b.size() - rng() % 5000);
        const int flips = 1 + static_cast<int>(rng() % 200);
        for (int i = 0; i < flips; ++i)
            b[rng() % b.size()] ^= static_cast<unsigned char>(1u << (rng() % 8));
        SourceRef s = openMp3(b, 44100, 2);
        if (s->state != StateOk) continue;
        const int length = s->GetLength();
        ASSERT_GE(length, 0);
        ASSERT_LE(length, 44100 * 3);
        for (std::int32_t v : renderFrames(*s, length + 100, 777)) {
            ASSERT_LE(v, Mp3FileSource::kPeak);
            ASSERT_GE(v, -Mp3FileSource::kPeak);
        }
    }
}

TEST(Mp3Damage, DataWithoutAnyFrameIsNoMpegStream) {
    Bytes noise(5000);
    std::mt19937 rng(5);
    for (auto& b : noise)
        b = static_cast<unsigned char>(rng());
    EXPECT_EQ(openMp3(noise, 44100, 2)->state, StateNoConverter);
    EXPECT_EQ(openMp3(Bytes(3000, 0xFF), 44100, 2)->state, StateNoConverter);
    EXPECT_EQ(openMp3(Bytes{}, 44100, 2)->state, StateNoConverter);
}

TEST(Mp3Cli, RenderWritesTheDecodedStreamAs16BitPcmAndInfoNamesTheReader) {
    TempDir dir;
    const Pcm ref = readPcm("mono44.ref.wav");
    ASSERT_TRUE(writeAll(dir.path(u"in.wav"), mpegWave(readAll(dataFile("mono44.mp3")), 44100, 1)));
    const RunResult info = runCli(dir, {u"info", dir.path(u"in.wav"), u"--json"});
    EXPECT_EQ(info.code, 0) << info.err;
#ifdef _WIN32
    // The tool asks the system's converter first, and Wine's takes MPEG Layer III (without
    // the encoder's delay and padding): the built-in decoder is tested by the win32 suite.
    EXPECT_NE(info.out.find("\"reader\":\"converter\""), std::string::npos) << info.out;
    return;
#endif
    EXPECT_NE(info.out.find("\"reader\":\"built-in MPEG\""), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("\"length\":" + std::to_string(ref.frames())), std::string::npos) << info.out;

    const RunResult r = runCli(dir, {u"render", dir.path(u"in.wav"), u"-o", dir.path(u"out.wav")});
    ASSERT_EQ(r.code, 0) << r.err;
    SourceRef out = OpenAudioFile(dir.path(u"out.wav"));
    ASSERT_EQ(out->state, StateOk);
    EXPECT_EQ(out->sampleRate, 44100);
    EXPECT_EQ(out->channels, 1);
    ASSERT_EQ(out->GetLength(), ref.frames());
    const auto got = renderFrames(*out, ref.frames());
    EXPECT_GE(psnr(got, ref.samples), 96.0);

    const RunResult plain = runCli(dir, {u"info", dir.path(u"out.wav")});
    EXPECT_NE(plain.out.find("reader       direct"), std::string::npos) << plain.out;
}

TEST(Mp3Cli, RenderOfA16BitWaveCopiesItsSamplesAndRefusesARate) {
    TempDir dir;
    const Pcm src = readPcm("joint44.src.wav");
    ASSERT_GT(src.frames(), 0);
    const RunResult r = runCli(dir, {u"render", dataFile("joint44.src.wav"), u"-o", dir.path(u"copy.wav")});
    ASSERT_EQ(r.code, 0) << r.err;
    const Pcm copy = [&] {
        Pcm p;
        SourceRef s = OpenAudioFile(dir.path(u"copy.wav"));
        p.channels = s->channels;
        for (std::int32_t v : renderFrames(*s, s->GetLength()))
            p.samples.push_back(static_cast<std::int16_t>(v >> 4));
        return p;
    }();
    EXPECT_EQ(copy.channels, 2);
    EXPECT_TRUE(copy.samples == src.samples) << "a full-scale PCM file passes through unchanged";

    const RunResult rated =
        runCli(dir, {u"render", dataFile("joint44.src.wav"), u"-o", dir.path(u"x.wav"), u"--rate", u"48000"});
    EXPECT_EQ(rated.code, 1);
    EXPECT_NE(rated.err.find("--rate"), std::string::npos) << rated.err;
}

namespace {

class BitWriter {
public:
    void put(std::uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            if (used_ % 8 == 0) bytes_.push_back(0);
            if ((value >> i) & 1) bytes_.back() |= static_cast<unsigned char>(0x80 >> (used_ % 8));
            ++used_;
        }
    }
    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
    int used_ = 0;
};

// One MPEG-1 joint-stereo frame (44.1 kHz, 128 kbit/s) with intensity stereo on: the left
// channel holds a single line (line 0 = 1, through Huffman table 1), the right channel
// only its scale factors, of which band 0's is the intensity position `position`.
Bytes intensityFrame(int position) {
    BitWriter side;
    side.put(0, 9); // main_data_begin
    side.put(0, 3); // private bits
    side.put(0, 8); // scfsi
    for (int gr = 0; gr < 2; ++gr) {
        // left: part2_3_length 3, big_values 1, global_gain 180, no scale factors, long
        // blocks, table 1 for region 0
        side.put(3, 12);
        side.put(1, 9);
        side.put(180, 8);
        side.put(0, 4);
        side.put(0, 1);
        side.put(1, 5);
        side.put(0, 5);
        side.put(0, 5);
        side.put(0, 4);
        side.put(0, 3);
        side.put(0, 3);
        // right: scalefac_compress 4 (slen1 3, slen2 0): 11 scale factors of 3 bits, no lines
        side.put(33, 12);
        side.put(0, 9);
        side.put(180, 8);
        side.put(4, 4);
        side.put(0, 1);
        side.put(0, 15);
        side.put(0, 7);
        side.put(0, 3);
    }
    BitWriter main;
    for (int gr = 0; gr < 2; ++gr) {
        main.put(0b01, 2); // (x, y) = (1, 0) in table 1
        main.put(0, 1);    // x positive
        main.put(static_cast<std::uint32_t>(position), 3);
        for (int sfb = 1; sfb < 11; ++sfb)
            main.put(7, 3); // the illegal position: no intensity there
    }
    Bytes frame{0xFF, 0xFB, 0x90, 0x50}; // MPEG-1 Layer III, no CRC, 128 kbit/s, 44.1 kHz, joint stereo, IS
    append(frame, side.bytes());
    append(frame, main.bytes());
    frame.resize(417, 0);
    return frame;
}

} // namespace

TEST(Mp3Stereo, IntensityPositionsSplitTheLeftChannelByTheTangentRatio) {
    constexpr double kPi = 3.14159265358979323846;
    for (int position : {0, 1, 2, 3, 5, 6}) {
        const Bytes frame = intensityFrame(position);
        mp3::Mp3Decoder d;
        std::vector<float> pcm(1152 * 2);
        double left = 0, right = 0, cross = 0;
        for (int f = 0; f < 4; ++f) {
            ASSERT_TRUE(d.decodeFrame(frame.data(), static_cast<int>(frame.size()), pcm.data())) << position;
            if (f < 2) continue;
            for (int i = 0; i < 1152; ++i) {
                left += pcm[2 * i] * pcm[2 * i];
                right += pcm[2 * i + 1] * pcm[2 * i + 1];
                cross += pcm[2 * i] * pcm[2 * i + 1];
            }
        }
        // The sum signal goes to the left as t / (1 + t) and to the right as 1 / (1 + t),
        // t = tan(position * pi / 12): both channels are the same wave at those levels.
        const double t = std::tan(position * kPi / 12);
        const double wantLeft = position == 6 ? 1.0 : t / (1 + t);
        const double wantRight = position == 6 ? 0.0 : 1 / (1 + t);
        const double total = std::sqrt(left) + std::sqrt(right);
        ASSERT_GT(total, 0) << position;
        EXPECT_NEAR(std::sqrt(left) / total, wantLeft / (wantLeft + wantRight), 1e-5) << position;
        EXPECT_NEAR(cross, std::sqrt(left * right), 1e-6 * (left + right))
            << position << ": not the same wave";
    }
}

TEST(Mp3Stereo, AnIllegalIntensityPositionLeavesTheBandAsCoded) {
    const Bytes frame = intensityFrame(7);
    mp3::Mp3Decoder d;
    std::vector<float> pcm(1152 * 2);
    double left = 0, right = 0;
    for (int f = 0; f < 3; ++f) {
        ASSERT_TRUE(d.decodeFrame(frame.data(), static_cast<int>(frame.size()), pcm.data()));
        for (int i = 0; i < 1152; ++i) {
            left += pcm[2 * i] * pcm[2 * i];
            right += pcm[2 * i + 1] * pcm[2 * i + 1];
        }
    }
    EXPECT_GT(left, 0);
    EXPECT_EQ(right, 0);
}

namespace {

enum class Blocks { Long, Short, Mixed };

// One MPEG-1 mono frame (44.1 kHz, 128 kbit/s) whose two granules hold the single line
// `line` = 1 (Huffman table 1 everywhere, no scale factors), in the given block kind.
Bytes oneLineFrame(Blocks kind, int line) {
    BitWriter huffman;
    for (int pair = 0; pair < line / 2; ++pair)
        huffman.put(1, 1); // (0, 0)
    if (line % 2 == 0)
        huffman.put(0b010, 3); // (1, 0), positive
    else
        huffman.put(0b0010, 4); // (0, 1), positive
    const int bits = line / 2 + (line % 2 == 0 ? 3 : 4);

    BitWriter side;
    side.put(0, 9); // main_data_begin
    side.put(0, 5); // private bits
    side.put(0, 4); // scfsi
    for (int gr = 0; gr < 2; ++gr) {
        side.put(static_cast<std::uint32_t>(bits), 12);
        side.put(static_cast<std::uint32_t>(line / 2 + 1), 9);
        side.put(170, 8);
        side.put(0, 4);
        if (kind == Blocks::Long) {
            side.put(0, 1);
            side.put(1, 5);
            side.put(1, 5);
            side.put(1, 5);
            side.put(0, 4);
            side.put(0, 3);
        } else {
            side.put(1, 1);
            side.put(2, 2); // short
            side.put(kind == Blocks::Mixed ? 1 : 0, 1);
            side.put(1, 5);
            side.put(1, 5);
            side.put(0, 9); // subblock gains
        }
        side.put(0, 3);
    }
    Bytes frame{0xFF, 0xFB, 0x90, 0xC0}; // MPEG-1 Layer III, no CRC, 128 kbit/s, 44.1 kHz, mono
    append(frame, side.bytes());
    const Bytes& h = huffman.bytes();
    // The two granules' parts follow each other bit by bit.
    BitWriter main;
    for (int gr = 0; gr < 2; ++gr)
        for (int b = 0; b < bits; ++b)
            main.put((h[b / 8] >> (7 - b % 8)) & 1, 1);
    append(frame, main.bytes());
    frame.resize(417, 0);
    return frame;
}

std::vector<float> decodeRepeated(const Bytes& frame, int times) {
    mp3::Mp3Decoder d;
    std::vector<float> pcm(1152), all;
    for (int f = 0; f < times; ++f) {
        EXPECT_TRUE(d.decodeFrame(frame.data(), static_cast<int>(frame.size()), pcm.data()));
        all.insert(all.end(), pcm.begin(), pcm.end());
    }
    return all;
}

double energy(const std::vector<float>& v) {
    double e = 0;
    for (float x : v)
        e += x * x;
    return e;
}

} // namespace

TEST(Mp3Blocks, AMixedBlockIsALongBlockBelowLine36AndAShortBlockAbove) {
    for (int line : {2, 7, 11}) { // in the two long subbands, clear of the alias butterflies
        const auto mixed = decodeRepeated(oneLineFrame(Blocks::Mixed, line), 3);
        const auto plain = decodeRepeated(oneLineFrame(Blocks::Long, line), 3);
        ASSERT_GT(energy(plain), 0);
        for (std::size_t i = 0; i < plain.size(); ++i)
            ASSERT_NEAR(mixed[i], plain[i], 1e-6f) << "line " << line << ", sample " << i;
    }
    for (int line : {40, 77, 200, 500}) {
        const auto mixed = decodeRepeated(oneLineFrame(Blocks::Mixed, line), 3);
        const auto plain = decodeRepeated(oneLineFrame(Blocks::Short, line), 3);
        ASSERT_GT(energy(plain), 0);
        for (std::size_t i = 0; i < plain.size(); ++i)
            ASSERT_NEAR(mixed[i], plain[i], 1e-6f) << "line " << line << ", sample " << i;
    }
    // and the two kinds are told apart: a short block is not a long one
    const auto s = decodeRepeated(oneLineFrame(Blocks::Short, 7), 3);
    const auto l = decodeRepeated(oneLineFrame(Blocks::Long, 7), 3);
    double diff = 0;
    for (std::size_t i = 0; i < s.size(); ++i)
        diff += (s[i] - l[i]) * (s[i] - l[i]);
    EXPECT_GT(diff, 0.01 * energy(l));
}

namespace {

// One MPEG-2 joint-stereo frame (22.05 kHz, 64 kbit/s) with intensity stereo on: the left
// channel holds line 0 = 1, the right channel only scale factors (three bits for bands
// 0..6), band 0's being the intensity position; `scaleBit` picks the step 2^-1/4 or 2^-1/2.
Bytes lsfIntensityFrame(int position, int scaleBit) {
    BitWriter side;
    side.put(0, 8); // main_data_begin
    side.put(0, 2); // private bits
    // left: 3 bits of Huffman data, big_values 1, global_gain 180, no scale factors
    side.put(3, 12);
    side.put(1, 9);
    side.put(180, 8);
    side.put(0, 9);
    side.put(0, 1);
    side.put(1, 5);
    side.put(0, 5);
    side.put(0, 5);
    side.put(0, 4);
    side.put(0, 3);
    side.put(0, 2);
    // right: scalefac_compress (108 << 1) | scale: bit lengths 3, 0, 0, 0 over 7, 7, 7 bands
    side.put(21, 12);
    side.put(0, 9);
    side.put(180, 8);
    side.put(static_cast<std::uint32_t>((108 << 1) | scaleBit), 9);
    side.put(0, 1);
    side.put(0, 15);
    side.put(0, 7);
    side.put(0, 2);
    BitWriter main;
    main.put(0b010, 3);
    main.put(static_cast<std::uint32_t>(position), 3);
    for (int sfb = 1; sfb < 7; ++sfb)
        main.put(7, 3);                  // the illegal position
    Bytes frame{0xFF, 0xF3, 0x80, 0x50}; // MPEG-2 Layer III, no CRC, 64 kbit/s, 22.05 kHz, joint stereo, IS
    append(frame, side.bytes());
    append(frame, main.bytes());
    frame.resize(208, 0);
    return frame;
}

} // namespace

TEST(Mp3Stereo, HalfRateIntensityScalesOneChannelByPowersOfItsStep) {
    for (int scaleBit : {0, 1}) {
        for (int position : {0, 1, 2, 3, 4, 5, 6}) {
            const Bytes frame = lsfIntensityFrame(position, scaleBit);
            mp3::Mp3Decoder d;
            std::vector<float> pcm(576 * 2);
            double left = 0, right = 0, cross = 0;
            for (int f = 0; f < 5; ++f) {
                ASSERT_TRUE(d.decodeFrame(frame.data(), static_cast<int>(frame.size()), pcm.data()));
                if (f < 2) continue;
                for (int i = 0; i < 576; ++i) {
                    left += pcm[2 * i] * pcm[2 * i];
                    right += pcm[2 * i + 1] * pcm[2 * i + 1];
                    cross += pcm[2 * i] * pcm[2 * i + 1];
                }
            }
            // odd positions lower the left channel by (p + 1) / 2 steps, even ones the
            // right by p / 2 steps
            const double step = scaleBit ? -0.5 : -0.25;
            const double wantLeft = position % 2 ? std::pow(2.0, step * ((position + 1) / 2)) : 1.0;
            const double wantRight = position % 2 ? 1.0 : std::pow(2.0, step * (position / 2));
            ASSERT_GT(right, 0) << position;
            EXPECT_NEAR(std::sqrt(left / right), wantLeft / wantRight, 1e-4)
                << "position " << position << ", scale bit " << scaleBit;
            EXPECT_NEAR(cross, std::sqrt(left * right), 1e-6 * (left + right))
                << position << ": not the same wave";
        }
    }
}

TEST(Mp3Tags, AXingFrameWithoutTheLameExtensionIsSkippedButNothingIsTrimmed) {
    const Bytes mp3 = readAll(dataFile("joint44.mp3"));
    SourceRef gapless = openMp3(mp3, 44100, 2);
    ASSERT_EQ(gapless->state, StateOk);
    auto* g = dynamic_cast<Mp3FileSource*>(&*gapless);
    ASSERT_NE(g, nullptr);
    ASSERT_TRUE(g->gapless());
    const int skip = g->encoderDelay() + mp3::kDecoderDelay;
    const auto trimmed = renderFrames(*gapless, gapless->GetLength());

    Bytes other = mp3;
    bool found = false;
    for (std::size_t i = 0; i + 4 < 400 && !found; ++i)
        if (std::equal(other.begin() + static_cast<std::ptrdiff_t>(i),
                       other.begin() + static_cast<std::ptrdiff_t>(i) + 4, "LAME")) {
            std::copy_n("Fake", 4, other.begin() + static_cast<std::ptrdiff_t>(i));
            found = true;
        }
    ASSERT_TRUE(found);
    SourceRef s = openMp3(other, 44100, 2);
    auto* m = dynamic_cast<Mp3FileSource*>(&*s);
    ASSERT_NE(m, nullptr);
    EXPECT_FALSE(m->gapless());
    EXPECT_EQ(s->GetLength(), m->frameCount() * 1152) << "every audio frame, the tag frame not among them";
    const auto all = renderFrames(*s, s->GetLength());
    for (std::size_t i = 0; i < trimmed.size(); ++i)
        ASSERT_EQ(all[static_cast<std::size_t>(skip) * 2 + i], trimmed[i]) << i;
}

TEST(Mp3Tags, AVbriFrameIsNotPlayedAsAudio) {
    const Bytes mp3 = readAll(dataFile("notag44.mp3"));
    SourceRef plain = openMp3(mp3, 44100, 2);
    ASSERT_EQ(plain->state, StateOk);
    const int frames = dynamic_cast<Mp3FileSource&>(*plain).frameCount();
    const auto audio = renderFrames(*plain, plain->GetLength());

    // a copy of the first frame's header with Fraunhofer's tag in its body
    mp3::FrameHeader h;
    ASSERT_TRUE(mp3::parseHeader(mp3.data(), h));
    Bytes tag(static_cast<std::size_t>(h.frameBytes()), 0);
    std::copy_n(mp3.begin(), 4, tag.begin());
    std::copy_n("VBRI", 4, tag.begin() + 36);
    tag[36 + 14] = static_cast<unsigned char>(frames >> 24);
    tag[36 + 15] = static_cast<unsigned char>(frames >> 16);
    tag[36 + 16] = static_cast<unsigned char>(frames >> 8);
    tag[36 + 17] = static_cast<unsigned char>(frames);
    Bytes tagged = tag;
    append(tagged, mp3);
    SourceRef s = openMp3(tagged, 44100, 2);
    ASSERT_EQ(s->state, StateOk);
    EXPECT_EQ(s->GetLength(), plain->GetLength());
    EXPECT_TRUE(renderFrames(*s, s->GetLength()) == audio);
}

TEST(Mp3Samples, TheVectorConversionGivesThePortableLoopsSamplesAtEveryEdge) {
    // ties, the clipping points, beyond them, infinities, a NaN, tiny values, signed zeros
    const float half = 0.5f / 524288.0f;
    std::vector<float> in = {0.0f,  -0.0f,    half,      -half, 3 * half, -3 * half, 1.0f,
                             -1.0f, 0.99997f, -0.99997f, 2.5f,  -2.5f,    INFINITY,  -INFINITY,
                             NAN,   1e-30f,   -1e-30f,   0.25f, -0.75f};
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> any(-1.2f, 1.2f);
    for (int i = 0; i < 4000; ++i)
        in.push_back(any(rng));
    for (std::size_t n : {in.size(), in.size() - 1, in.size() - 2, in.size() - 3}) {
        std::vector<std::int32_t> a(n), b(n);
        Mp3FileSource::toSourceSamples(in.data(), a.data(), static_cast<int>(n));
        Mp3FileSource::toSourceSamplesPortable(in.data(), b.data(), static_cast<int>(n));
        EXPECT_EQ(a, b);
        for (std::int32_t v : a) {
            EXPECT_LE(v, Mp3FileSource::kPeak);
            EXPECT_GE(v, -Mp3FileSource::kPeak);
        }
    }
    std::int32_t v[3];
    const float ends[3] = {1.0f, -1.0f, NAN};
    Mp3FileSource::toSourceSamples(ends, v, 3);
    EXPECT_EQ(v[0], kNominalFullScale); // clipped, as the 16-bit output of a decoder is
    EXPECT_EQ(v[1], -kNominalFullScale);
    EXPECT_EQ(v[2], -kNominalFullScale);
}
