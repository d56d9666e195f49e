// The waveOut back-end on its own: ring and volume arithmetic without a device, then
// blocks written by hand to Wine's device and heard in the captured file.
#include <gtest/gtest.h>

#include <climits>

#include "AudioCapture.h"
#include "audio/playback/WaveOutOutput.h"
#include "platform/win32/Owned.h"
#include "synth/PeriodicSource.h"

namespace sonimo {
namespace {

using namespace sonimo::test;

TEST(WaveOutArithmetic, BlocksAreATenthOfASecondWithinTwentyAnd8192Frames) {
    EXPECT_EQ(WaveOutBlockFrames(44100), 4410);
    EXPECT_EQ(WaveOutBlockFrames(8000), 800);
    EXPECT_EQ(WaveOutBlockFrames(100), 20);
    EXPECT_EQ(WaveOutBlockFrames(192000), 8192);
    EXPECT_EQ(WaveOutBlockFrames(0), 20);
}

TEST(WaveOutArithmetic, SlotIndexesWrapAtSixtyFour) {
    EXPECT_EQ(NextWaveOutSlot(62), 63);
    EXPECT_EQ(NextWaveOutSlot(63), 0);
    EXPECT_EQ(PreviousWaveOutSlot(0), 63);
    EXPECT_EQ(PreviousWaveOutSlot(1), 0);
}

TEST(WaveOutArithmetic, VolumeStepsMapToDeviceValuesAndBack) {
    EXPECT_EQ(WaveOutVolumeValue(-100), 1);
    EXPECT_EQ(WaveOutVolumeValue(-48), 1);
    EXPECT_EQ(WaveOutVolumeValue(-47), 1424);
    EXPECT_EQ(WaveOutVolumeValue(-2), 65504);
    EXPECT_EQ(WaveOutVolumeValue(-1), 65535);
    EXPECT_EQ(WaveOutVolumeValue(0), 65535);
    EXPECT_EQ(WaveOutVolumeValue(127), 65535);
    EXPECT_EQ(WaveOutVolumeStep(65535), -2);
    EXPECT_EQ(WaveOutVolumeStep(0xFFFF0000u | 1424u * 10), -38); // the left channel decides
    EXPECT_EQ(WaveOutVolumeStep(0x8000), -25);
    EXPECT_EQ(WaveOutVolumeStep(0), -48);
}

TEST(OutputSamples, LevelsAreDecibelsRe131072PerChannel) {
    EXPECT_EQ(LevelOfPeak(0), -127);
    EXPECT_EQ(LevelOfPeak(131072), 0);
    EXPECT_EQ(LevelOfPeak(1310720), 20);
    EXPECT_EQ(LevelOfPeak(1), -102);
    EXPECT_EQ(LevelOfPeak(kNominalFullScale), 12);
    EXPECT_EQ(LevelOfPeak(0x80000000u), 84);
    // 10^(0.5/20) * 131072 is where 0.5 dB lies: just below rounds to 0, just above to 1
    EXPECT_EQ(LevelOfPeak(138700), 0);
    EXPECT_EQ(LevelOfPeak(138900), 1);
    const std::int32_t frames[] = {-131072, 5, 0, 0, 1000, INT32_MIN};
    LevelRecord r;
    FillLevels(r, frames, 2, 3);
    EXPECT_EQ(r.count, 3);
    EXPECT_EQ(r.levels[0], 0);
    EXPECT_EQ(r.levels[1], LevelOfPeak(1000));
    EXPECT_EQ(r.levels[2], 84);
}

TEST(OutputFormatRecord, OneAndTwoChannelsArePlainPcmAndMoreAreExtensible) {
    WAVEFORMATEXTENSIBLE f = MakeOutputFormat(44100, 2);
    EXPECT_EQ(f.Format.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(f.Format.cbSize, 0);
    EXPECT_EQ(f.Format.nBlockAlign, 4);
    EXPECT_EQ(f.Format.nAvgBytesPerSec, 176400u);
    f = MakeOutputFormat(48000, 6);
    EXPECT_EQ(f.Format.wFormatTag, WAVE_FORMAT_EXTENSIBLE);
    EXPECT_EQ(f.Format.cbSize, 22);
    EXPECT_EQ(f.Format.nBlockAlign, 12);
    EXPECT_EQ(f.Format.nAvgBytesPerSec, 576000u);
    EXPECT_EQ(f.Samples.wValidBitsPerSample, 16);
    EXPECT_EQ(f.dwChannelMask, 0x60Fu);
    EXPECT_EQ(f.SubFormat.Data1, 1u);
    EXPECT_EQ(f.SubFormat.Data4[7], 0x71);
    const DWORD masks[] = {0x103, 0x107, 0x10F, 0x60F, 0x70F, 0x63F, 0, 0x80000000u, 0x80000000u};
    for (int c = 3; c <= 11; ++c)
        EXPECT_EQ(MakeOutputFormat(8000, c).dwChannelMask, masks[c - 3]) << c << " channels";
}

VOID CALLBACK setEvent(PVOID event, BOOLEAN) {
    SetEvent(static_cast<HANDLE>(event));
}

// WaitForCompletedBlock with an overall limit: a timer ends the wait after `ms` as a
// second stop would, so a device that never hands a block back fails the test.
bool waitForBlock(WaveOutOutput& out, HANDLE stop, DWORD ms = 10000) {
    const OwnedHandle limit(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HANDLE timer = nullptr; // deleted below, waiting for its callback, before the event goes
    CreateTimerQueueTimer(&timer, nullptr, setEvent, limit.get(), ms, 0, WT_EXECUTEONLYONCE);
    const bool completed = out.WaitForCompletedBlock(stop, limit.get());
    if (timer) DeleteTimerQueueTimer(nullptr, timer, INVALID_HANDLE_VALUE);
    return completed;
}

// Writes the whole source block by block as the feeder would, waiting for completions.
void playThrough(WaveOutOutput& out, SampleSource& source, HANDLE stop) {
    int waits = 0;
    while (source.GetLength() - source.GetPosition() > 0) {
        if (!out.HasRoom()) {
            ASSERT_TRUE(waitForBlock(out, stop)) << "no block came back within 10 s";
            continue;
        }
        out.WriteBlock(source.GetLength() - source.GetPosition());
    }
    while (out.TailPlaying() && waits++ < 200)
        ASSERT_TRUE(waitForBlock(out, stop)) << "no block came back within 10 s";
    EXPECT_FALSE(out.TailPlaying());
}

class WaveOutDevice : public ::testing::Test {
protected:
    void SetUp() override {
        if (!waveOutDeviceListed()) SONIMO_SKIP_WITHOUT_DEVICE("no waveOut device is listed");
        if (capturePath().empty())
            SONIMO_SKIP_WITHOUT_DEVICE("SONIMO_CAPTURE_DIR is not set (run under scripts/with-display)");
        removeCapture();
        stop_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    }
    OwnedHandle stop_;
};

TEST_F(WaveOutDevice, BlocksWrittenToTheWaveMapperAreHeardSampleForSample) {
    const ToneData tone = sineTone(1000.0, 300, -6, true);
    SourceRef source = makeSource<PeriodicSource>(tone, 44100);
    const int length = source->GetLength();
    ASSERT_EQ(length, 13230);
    {
        WaveOutOutput out;
        OutputDevice mapper;
        out.SetDevice(mapper);
        ASSERT_TRUE(out.Open(source)) << DescribeMmResult(out.lastError());
        EXPECT_EQ(out.blockFrames(), 4410);
        out.ResetBuffers();
        playThrough(out, *source, stop_.get());
        EXPECT_EQ(out.PlayedPosition(), length);
        EXPECT_EQ(out.CurrentLevels().count, 2);
        EXPECT_EQ(out.CurrentLevels().levels[0], LevelOfPeak(0x40000)); // -6 dB of one tone at 0 dB
        out.Close();
        EXPECT_FALSE(out.IsOpen());
        EXPECT_EQ(out.PlayedPosition(), 0);
    }
    EXPECT_EQ(source->refCount, 1) << "the back-end still holds the source";
    const Capture c = readCapture();
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(c.rate, 44100);
    EXPECT_EQ(c.channels, 2);
    EXPECT_EQ(c.bits, 16);
    std::size_t inserted = 0;
    EXPECT_EQ(firstDifference(withoutSilentRuns(c, 8, inserted).samples, render16(tone, 44100, length)), "")
        << inserted << " frames of device silence left out";
}

TEST_F(WaveOutDevice, SixChannelsOpenWithTheExtensibleFormat) {
    const ToneData tone = sineTone(500.0, 100);
    SourceRef mono = makeSource<PeriodicSource>(tone, 48000);
    SourceRef six = spreadChannels(mono, 6);
    WaveOutOutput out;
    ASSERT_TRUE(out.Open(six)) << DescribeMmResult(out.lastError());
    EXPECT_EQ(out.format().Format.wFormatTag, WAVE_FORMAT_EXTENSIBLE);
    EXPECT_EQ(out.format().dwChannelMask, 0x60Fu);
    out.ResetBuffers();
    playThrough(out, *six, stop_.get());
    out.Close();
    std::size_t inserted = 0;
    const Capture c = withoutSilentRuns(readCapture(), 8, inserted);
    ASSERT_TRUE(c.ok);
    // Wine lays the side speakers of mask 0x60F onto ALSA's eight-channel map (FL FR RL RR
    // FC LFE SL SR): with a mask that named the back speakers they would land on 2 and 3.
    ASSERT_EQ(c.channels, 8);
    ASSERT_EQ(c.frames(), 4800u) << inserted << " frames of device silence left out";
    const std::vector<std::int32_t> m = render16(tone, 48000, 4800); // unscaled channel 0
    SourceRef again = spreadChannels(makeSource<PeriodicSource>(tone, 48000), 6);
    std::vector<std::int32_t> ref(4800 * 6);
    again->Read(ref.data(), 4800);
    const int where[6] = {0, 1, 4, 5, 6, 7};
    for (std::size_t f = 0; f < 4800; ++f) {
        for (int k = 0; k < 6; ++k)
            ASSERT_EQ(c.samples[f * 8 + where[k]], ToPcm16(ref[f * 6 + k]))
                << "frame " << f << " channel " << k;
        ASSERT_EQ(c.samples[f * 8 + 2], 0);
        ASSERT_EQ(c.samples[f * 8 + 3], 0);
    }
    EXPECT_EQ(c.samples[8 * 100], m[100]);
}

TEST_F(WaveOutDevice, ADeviceThatDoesNotExistFailsToOpenAndLetsTheSourceGo) {
    SourceRef source = makeSource<PeriodicSource>(sineTone(1000.0, 100), 44100);
    WaveOutOutput out;
    OutputDevice none;
    none.catalogueIndex = 1 + static_cast<int>(waveOutGetNumDevs()) + 7;
    out.SetDevice(none);
    EXPECT_FALSE(out.Open(source));
    EXPECT_NE(out.lastError(), static_cast<MMRESULT>(MMSYSERR_NOERROR)) << DescribeMmResult(out.lastError());
    EXPECT_FALSE(out.IsOpen());
    EXPECT_EQ(source->refCount, 1);
}

TEST_F(WaveOutDevice, AWaitForACompletionEndsWhenStopIsRequested) {
    SourceRef source = makeSource<PeriodicSource>(sineTone(1000.0, 100), 44100);
    WaveOutOutput out;
    ASSERT_TRUE(out.Open(source)) << DescribeMmResult(out.lastError());
    out.ResetBuffers();
    SetEvent(stop_.get());
    const DWORD t0 = GetTickCount();
    EXPECT_FALSE(waitForBlock(out, stop_.get())); // nothing queued: only the stop can end it
    EXPECT_LT(GetTickCount() - t0, 500u);
    out.Close();
}

} // namespace
} // namespace sonimo
