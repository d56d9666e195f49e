// Lists of WAV files at full scale through the player on both back-ends, heard in the
// capture: whatever the files and the rate converter yield beyond full scale is played at
// full scale of the same sign, never wrapped to the other one (a full-scale click).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "AudioCapture.h"
#include "PlayerTestSupport.h"
#include "TestSupport.h"
#include "WaveBuilder.h"
#include "audio/AudioFileReader.h"
#include "audio/ToneListRenderer.h"

namespace sonimo {
namespace {

using namespace sonimo::test;
using namespace sonimo::wavetest;

constexpr double kPi = 3.14159265358979323846;

// A stereo PCM file of `bits` (16, 24 or 32) holding `frames` frames of `wave(i)`, a value
// in -1..1 scaled to the format's full scale (1.0 is its largest code, 0x7FFFFF for 24 bits).
template <class Wave> Bytes stereoFile(int rate, int bits, int frames, Wave wave) {
    const double top = std::ldexp(1.0, bits - 1);
    Bytes data;
    for (int i = 0; i < frames; ++i) {
        const double v = std::clamp(std::round(wave(i) * (top - 1)), -top, top - 1);
        const auto code = static_cast<std::uint32_t>(static_cast<std::int64_t>(v));
        for (int c = 0; c < 2; ++c)
            for (int b = 0; b < bits / 8; ++b)
                data.push_back(static_cast<unsigned char>(code >> (8 * b)));
    }
    return riff(
        {chunk("fmt ", fmtBody(1, 2, static_cast<std::uint32_t>(rate), static_cast<std::uint16_t>(bits))),
         chunk("data", data)});
}

// The largest step between neighbouring samples of channel 0, and how many steps cross
// more than half the 16-bit range.
struct Steps {
    int largest = 0;
    int crossings = 0;
};
Steps stepsOf(const Capture& c) {
    Steps s;
    for (std::size_t f = 1; f < c.frames(); ++f) {
        const int d = std::abs(c.samples[f * c.channels] - c.samples[(f - 1) * c.channels]);
        s.largest = std::max(s.largest, d);
        if (d > 32768) ++s.crossings;
    }
    return s;
}

enum class Backend { WaveOut, DirectSound };

class FullScalePlayback : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        if (capturePath().empty())
            SONIMO_SKIP_WITHOUT_DEVICE("SONIMO_CAPTURE_DIR is not set (run under scripts/with-display)");
        OutputDevice device; // catalogue index 0: the wave mapper
        if (GetParam() == Backend::WaveOut) {
            if (!waveOutDeviceListed()) SONIMO_SKIP_WITHOUT_DEVICE("no waveOut device is listed");
        } else if (!ownGuidDevice(device)) {
            SONIMO_SKIP_WITHOUT_DEVICE("no DirectSound device with its own GUID is listed");
        }
        removeCapture();
        // The files are read directly, as wherever no converter takes them (Wine's ACM
        // takes 24-bit PCM, none takes 32-bit).
        setConvertingReader(nullptr);
        player_ = std::make_unique<LSoundPlayer>();
        player_->SetListener(&listener_, 0);
        player_->SelectDevice(device);
    }
    void TearDown() override { player_.reset(); }

    using Files = std::vector<std::pair<std::u16string, Bytes>>;
    void write(const Files& files) {
        for (const auto& [name, bytes] : files)
            ASSERT_TRUE(writeAll(dir_.path(name), bytes));
    }
    // The list of the files written, as the program renders it.
    SourceRef listOf(const Files& files) {
        ToneList list;
        for (const auto& file : files)
            list.entries.push_back({0, dir_.path(file.first)});
        return renderToneList(list, 48000);
    }

    // Plays `source` to its end and returns what was heard, device silence left out.
    Capture play(const SourceRef& source) {
        EXPECT_TRUE(player_->Start(source));
        EXPECT_TRUE(pumpUntil([&] { return listener_.stops > 0; }, 20000))
            << "the player never reported the end";
        pumpFor(400); // what Wine still holds on its way to the file
        player_.reset();
        std::size_t silent = 0;
        return withoutSilentRuns(readCapture(), 8, silent);
    }

    TempDir dir_;
    RecordingNotice notice_;
    RecordingListener listener_;
    std::unique_ptr<LSoundPlayer> player_;
};

TEST_P(FullScalePlayback, WideFilesAtZeroDecibelsPlayTheirPeaksAtFullScale) {
    // 1000 Hz at 48000 Hz: every 48th sample is the largest code, 0x7FFFFF or 0x7FFFFFFF,
    // which the reader gives as 524287, 15/16 of a step above 32767.
    auto sine = [](int i) { return std::cos(2 * kPi * i / 48.0); };
    const Files files = {{u"p24.wav", stereoFile(48000, 24, 14400, sine)},
                         {u"p32.wav", stereoFile(48000, 32, 14400, sine)}};
    write(files);
    SourceRef list = listOf(files);
    ASSERT_EQ(list->state, StateOk);
    ASSERT_EQ(list->sampleRate, 48000);
    ASSERT_LE(list->peakLevel, kNominalFullScale) << "no limiter: the peaks reach the conversion as read";
    const Capture c = play(list);
    ASSERT_TRUE(c.ok);
    ASSERT_EQ(c.rate, 48000);
    ASSERT_GE(c.frames(), 28000u);
    std::int32_t high = 0, low = 0;
    for (std::size_t f = 0; f < c.frames(); ++f) {
        high = std::max(high, c.samples[f * c.channels]);
        low = std::min(low, c.samples[f * c.channels]);
    }
    EXPECT_EQ(high, 32767) << "the positive peaks";
    EXPECT_EQ(low, -32768) << "the negative peaks";
    const Steps s = stepsOf(c);
    // a 1000 Hz sine at full scale moves by at most 2 pi / 48 of 32767 (4289) per sample
    EXPECT_LT(s.largest, 4400) << s.crossings << " jumps from one full scale to the other";
}

TEST_P(FullScalePlayback, TheConvertersOvershootInAListOfRatesPlaysAtFullScaleOfItsSign) {
    // A 48000 Hz file makes the list's rate; a full-scale 441 Hz square at 44100 Hz is
    // converted to it, and the converter rings past full scale at every edge.
    // (no zero frame at the start, which would merge with the device's silence before it)
    auto quiet = [](int i) { return 0.25 * std::cos(2 * kPi * i / 48.0); };
    auto square = [](int i) { return (i / 50) % 2 ? -1.0 : 1.0; };
    const Files files = {{u"a48.wav", stereoFile(48000, 16, 4800, quiet)},
                         {u"b44.wav", stereoFile(44100, 16, 22050, square)}};
    write(files);
    SourceRef reference = listOf(files);
    ASSERT_EQ(reference->sampleRate, 48000);
    const int frames = reference->GetLength();
    ASSERT_GT(frames, 26000);
    const std::vector<std::int32_t> graph = renderFrames(*reference, frames);

    const Capture c = play(listOf(files));
    ASSERT_TRUE(c.ok);
    ASSERT_EQ(c.rate, 48000);
    ASSERT_EQ(c.channels, 2);
    ASSERT_GE(c.samples.size(), graph.size()) << "the capture lacks part of the list";
    int beyond = 0, wrapped = 0;
    std::int32_t largest = 0;
    for (std::size_t i = 0; i < graph.size(); ++i) {
        largest = std::max(largest, std::abs(graph[i]));
        if (graph[i] > 524279 || graph[i] < -524296) {
            ++beyond;
            if (c.samples[i] != (graph[i] > 0 ? 32767 : -32768)) ++wrapped;
        }
    }
    ASSERT_GT(beyond, 1000) << "the converter did not overshoot (largest sample " << largest
                            << "): the case is not tested";
    EXPECT_EQ(wrapped, 0) << "of " << beyond << " samples beyond full scale (largest " << largest << ")";
    RecordProperty("largest_sample", std::to_string(largest));
    RecordProperty("beyond_full_scale", std::to_string(beyond));
}

INSTANTIATE_TEST_SUITE_P(Backends, FullScalePlayback,
                         ::testing::Values(Backend::WaveOut, Backend::DirectSound),
                         [](const ::testing::TestParamInfo<Backend>& p) {
                             return p.param == Backend::WaveOut ? std::string("WaveOut") : "DirectSound";
                         });

} // namespace
} // namespace sonimo
