#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "WaveBuilder.h"
#include "audio/AudioFileReader.h"
#include "audio/Mp3Decoder.h"
#include "audio/Pcm16.h"
#include "audio/WaveFileWriter.h"
#include "platform/Text.h"

using namespace sonimo;
using namespace sonimo::wavetest;

namespace {

// The Layer III conformance streams of ISO/IEC 11172-4 and 13818-4 with the reference
// decoder's output, unpacked from tests/data by the ctest fixture before this suite.
std::u16string conformanceFile(const std::string& name) {
    return testDataFile("conformance/" + name);
}

struct Stream {
    const char* name;
    // Frames the reference decoder leaves out at the end although they decode (its output
    // stops a frame early on these streams); we play them.
    int extraFrames;
    // The WAV's channel count, when not the first frame's.
    int wavChannels;
};

// The channel count of every frame, in order (the reference writes each frame in its own).
std::vector<int> frameChannels(const Bytes& bits) {
    std::vector<int> out;
    mp3::FrameHeader first;
    bool haveFirst = false;
    for (std::size_t at = 0; at + 4 <= bits.size();) {
        mp3::FrameHeader h;
        if (!mp3::parseHeader(bits.data() + at, h) || (haveFirst && !h.sameStream(first))) {
            ++at;
            continue;
        }
        if (!haveFirst) first = h;
        haveFirst = true;
        const int size = h.frameBytes();
        if (size <= 0) { // free format: one mode throughout (and no length to walk by)
            out.assign(1, h.channels);
            return out;
        }
        if (at + static_cast<std::size_t>(size) > bits.size()) break; // cut short: not decoded
        out.push_back(h.channels);
        at += static_cast<std::size_t>(size);
    }
    return out;
}

// The reference in the WAV's layout: a one-channel frame on both channels, a two-channel
// frame mixed down, as the reader plays them.
std::vector<double> referenceAs(const std::vector<std::int16_t>& pcm, const std::vector<int>& channels,
                                int samplesPerFrame, int wavChannels) {
    std::vector<double> out;
    std::size_t at = 0;
    for (std::size_t f = 0; at < pcm.size(); ++f) {
        const int ch = channels[std::min(f, channels.size() - 1)];
        for (int i = 0; i < samplesPerFrame && at + static_cast<std::size_t>(ch) <= pcm.size(); ++i) {
            if (ch == wavChannels) {
                for (int c = 0; c < ch; ++c)
                    out.push_back(pcm[at + static_cast<std::size_t>(c)]);
            } else if (ch == 1) {
                out.push_back(pcm[at]);
                out.push_back(pcm[at]);
            } else {
                out.push_back(0.5 * (pcm[at] + pcm[at + 1]));
            }
            at += static_cast<std::size_t>(ch);
        }
    }
    return out;
}

class Mp3Conformance : public ::testing::TestWithParam<Stream> {};

TEST_P(Mp3Conformance, EveryStreamDecodesAtFullAccuracyAndAtTheReferencesLength) {
    const Stream c = GetParam();
    const Bytes bits = readAll(conformanceFile(std::string(c.name) + ".bit"));
    const Bytes raw = readAll(conformanceFile(std::string(c.name) + ".pcm"));
    ASSERT_GT(bits.size(), 1000u) << c.name
                                  << ": missing; tests/data/mpeg-audio-conformance.tar.xz not unpacked";
    ASSERT_GT(raw.size(), 1000u) << c.name << ": missing reference";
    std::vector<std::int16_t> pcm(raw.size() / 2);
    for (std::size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<std::int16_t>(raw[2 * i] | (raw[2 * i + 1] << 8));

    const std::vector<int> channels = frameChannels(bits);
    ASSERT_FALSE(channels.empty());
    mp3::FrameHeader h;
    std::size_t first = 0;
    while (first + 4 <= bits.size() && !mp3::parseHeader(bits.data() + first, h))
        ++first;
    const int wavChannels = c.wavChannels ? c.wavChannels : h.channels;

    SourceRef s =
        OpenAudioStream(std::make_unique<MemoryByteSource>(mpegWave(bits, h.sampleRate, wavChannels)));
    ASSERT_EQ(s->state, StateOk);
    ASSERT_EQ(s->channels, wavChannels);
    EXPECT_EQ(s->sampleRate, h.sampleRate);

    const std::vector<double> ref = referenceAs(pcm, channels, h.samplesPerFrame, wavChannels);
    const long long refFrames = static_cast<long long>(ref.size()) / wavChannels;
    // No lag against the reference: our first sample is its first sample.
    EXPECT_EQ(s->GetLength(), refFrames + static_cast<long long>(c.extraFrames) * h.samplesPerFrame)
        << c.name << ": the reference has " << refFrames << " frames";

    // As `render` writes it: 16-bit samples, rounded and clipped.
    const std::vector<std::int32_t> got = renderFrames(*s, static_cast<int>(refFrames));
    double sum = 0;
    long long offBy2 = 0;
    for (std::size_t i = 0; i < ref.size(); ++i) {
        const double d = ToPcm16(got[i]) - ref[i];
        sum += d * d;
        if (std::abs(d) >= 2) ++offBy2;
    }
    const double mse = sum / static_cast<double>(ref.size());
    const double db = mse == 0 ? 200.0 : 10 * std::log10(32767.0 * 32767.0 / mse);
    std::printf("%-20s %2d ch %7lld frames  PSNR %6.2f dB  %lld samples 2 LSB or more apart\n", c.name,
                wavChannels, refFrames, db, offBy2);
    EXPECT_GE(db, 96.0) << c.name;
}

// Seeks that land where the mode changes, and in a stream whose first frames are left out
// (their main data must still reach the frames after them).
TEST(Mp3ConformanceSeek, ASeekGivesWhatAReadFromTheStartGivesWhereTheModeChangesAndAfterALeftOutStart) {
    for (const char* name : {"l3-he_mode", "l3-sin1k0db"}) {
        const Bytes bits = readAll(conformanceFile(std::string(name) + ".bit"));
        ASSERT_GT(bits.size(), 1000u) << name << ": missing";
        mp3::FrameHeader h;
        std::size_t first = 0;
        while (first + 4 <= bits.size() && !mp3::parseHeader(bits.data() + first, h))
            ++first;
        for (int wavChannels : {1, 2}) {
            const Bytes wav = mpegWave(bits, h.sampleRate, wavChannels);
            SourceRef whole = OpenAudioStream(std::make_unique<MemoryByteSource>(wav));
            ASSERT_EQ(whole->state, StateOk);
            const int length = whole->GetLength();
            const std::vector<std::int32_t> all = renderFrames(*whole, length);
            // he_mode: mono to dual channel at frame 10, stereo at 20, joint at 30, mono at 110
            for (int at :
                 {0, 1, 9 * 1152 + 700, 10 * 1152 + 5, 20 * 1152, 110 * 1152 - 3, 110 * 1152 + 600}) {
                if (at >= length) continue;
                SourceRef s = OpenAudioStream(std::make_unique<MemoryByteSource>(wav));
                s->Seek(at);
                const int n = std::min(3000, length - at);
                const std::vector<std::int32_t> got = renderFrames(*s, n, 777);
                ASSERT_TRUE(std::equal(got.begin(), got.end(),
                                       all.begin() + static_cast<std::ptrdiff_t>(at) * wavChannels))
                    << name << " as " << wavChannels << " channels, seek to " << at;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Iso, Mp3Conformance,
    ::testing::Values(Stream{"M2L3_bitrate_16_all", 0, 0}, Stream{"M2L3_bitrate_22_all", 0, 0},
                      Stream{"M2L3_bitrate_24_all", 0, 0}, Stream{"M2L3_compl24", 0, 0},
                      Stream{"M2L3_noise", 0, 0}, Stream{"l3-compl", 0, 0}, Stream{"l3-he_32khz", 1, 0},
                      Stream{"l3-he_44khz", 1, 0}, Stream{"l3-he_48khz", 1, 0}, Stream{"l3-he_free", 1, 0},
                      Stream{"l3-he_mode", 0, 0}, Stream{"l3-he_mode", 0, 2}, Stream{"l3-hecommon", 1, 0},
                      Stream{"l3-si", 1, 0}, Stream{"l3-si_block", 1, 0}, Stream{"l3-si_huff", 1, 0},
                      Stream{"l3-sin1k0db", 0, 0}, Stream{"l3-test45", 0, 0}, Stream{"l3-test46", 0, 0}),
    [](const ::testing::TestParamInfo<Stream>& i) {
        std::string s = i.param.name;
        for (char& ch : s)
            if (ch == '-') ch = '_';
        if (i.param.wavChannels) s += "_as_" + std::to_string(i.param.wavChannels) + "_channels";
        return s;
    });

} // namespace
