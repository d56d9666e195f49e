// The DirectSound back-end: the player on Wine's DirectSound devices, heard through the
// capture (the looping buffer's arithmetic is tested without a device in the unit tests).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "AudioCapture.h"
#include "PlayerTestSupport.h"
#include "synth/PeriodicSource.h"
#include "synth/SilenceSource.h"

namespace sonimo {
namespace {

using namespace sonimo::test;

// A stream still being written: `available` frames of silence, then each wait for more
// data is held open (for at most 5 s) until the test lets it go.
class StalledStream final : public SampleSource {
public:
    StalledStream(int rate, int available)
        : SampleSource(rate, 2, kNominalFullScale), available_(available) {}
    void Read(std::int32_t* buffer, int frames) override {
        std::fill(buffer, buffer + static_cast<std::size_t>(frames) * channels, 0);
        position_ += frames;
    }
    int GetPosition() override { return position_; }
    int GetLength() override { return available_; }
    bool IsGrowing() override { return true; }
    void WaitForData(int) override {
        SetEvent(waiting_.get());
        WaitForSingleObject(release_.get(), 5000);
    }
    HANDLE waiting() const { return waiting_.get(); } // borrowed
    void letGo() { SetEvent(release_.get()); }

private:
    int available_;
    int position_ = 0;
    OwnedHandle waiting_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    OwnedHandle release_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

class DirectSoundPlayer : public ::testing::Test {
protected:
    void SetUp() override {
        if (capturePath().empty())
            SONIMO_SKIP_WITHOUT_DEVICE("SONIMO_CAPTURE_DIR is not set (run under scripts/with-display)");
        if (!ownGuidDevice(device_))
            SONIMO_SKIP_WITHOUT_DEVICE("no DirectSound device with its own GUID is listed");
        removeCapture();
        player_ = std::make_unique<LSoundPlayer>();
        player_->SetListener(&listener_, 5);
        player_->SelectDevice(device_);
        ASSERT_TRUE(player_->directSound().libraryHasCreateEntry());
    }
    void TearDown() override { player_.reset(); }
    // The capture is complete once the device object is gone with the player. Releasing
    // it drops what Wine still holds on its way to the device, so give that time to leave.
    Capture finish() {
        pumpFor(400);
        player_.reset();
        return readCapture();
    }
    bool waitForStop(DWORD ms) {
        return pumpUntil([&] { return listener_.stops > 0; }, ms);
    }
    std::string why() {
        return "error code " + std::to_string(player_->directSound().errorCode()) + ", " +
               DescribeHResult(player_->directSound().lastResult());
    }
    OutputDevice device_;
    RecordingListener listener_;
    std::unique_ptr<LSoundPlayer> player_;
};

TEST_F(DirectSoundPlayer, AFixedLengthToneIsHeardWholeWithoutDroppedOrRepeatedSegments) {
    const ToneData tone = sineTone(1000.0, 1500, -6, true);
    ASSERT_TRUE(player_->Start(makeSource<PeriodicSource>(tone, 48000))) << why();
    EXPECT_EQ(listener_.starts, 1);
    ASSERT_TRUE(waitForStop(20000));
    EXPECT_EQ(listener_.lastPosition, 1500);
    // Wine's play cursor over a sink that runs faster than real time wobbles by a few
    // tens of milliseconds; a lost or repeated segment would move it by 67 ms or more.
    EXPECT_LT(listener_.largestStepBack, 60) << listener_.seenText();
    EXPECT_GT(listener_.levelReports, 0);
    const Capture c = finish();
    ASSERT_TRUE(c.ok);
    ASSERT_EQ(c.rate, 48000) << "the device mixes at another rate: the comparison would need resampling";
    ASSERT_EQ(c.channels, 2);
    std::size_t silent = 0;
    const Capture played = withoutSilentRuns(c, 8, silent);
    // The device plays silence before the buffer starts and after it stops; between, the
    // tone must be there sample for sample.
    EXPECT_EQ(firstDifference(played.samples, render16(tone, 48000, 72000)), "");
}

TEST_F(DirectSoundPlayer, ASourceOfLengthZeroFinishesAtOnce) {
    const DWORD t0 = GetTickCount();
    ASSERT_TRUE(player_->Start(makeSource<SilenceSource>(48000, 2, kGeneratorPeak, 0))) << why();
    ASSERT_TRUE(waitForStop(3000)) << "the start was never followed by an end";
    EXPECT_LT(GetTickCount() - t0, 1000u);
    EXPECT_TRUE(player_->IsStopped());
}

TEST_F(DirectSoundPlayer, StopWhileTheTailDrainsReturnsPromptlyAndReleasesTheBuffer) {
    SourceRef source = makeSource<PeriodicSource>(sineTone(440.0, 1800), 48000);
    ASSERT_TRUE(player_->Start(source)) << why();
    ASSERT_TRUE(pumpUntil([&] { return player_->SourcePosition() >= player_->SourceLength(); }, 5000));
    ASSERT_EQ(listener_.stops, 0) << "the tail ended before the test could stop it";
    const DWORD t0 = GetTickCount();
    player_->Stop();
    EXPECT_LT(GetTickCount() - t0, 1200u);
    EXPECT_FALSE(player_->directSound().HasBuffer());
    EXPECT_TRUE(player_->IsStopped());
    EXPECT_EQ(listener_.stops, 1);
    EXPECT_EQ(source->refCount, 1);
}

TEST_F(DirectSoundPlayer, SixChannelsOpenTheBufferWithTheExtensibleFormat) {
    SourceRef six = spreadChannels(makeSource<PeriodicSource>(sineTone(500.0, 2000), 48000), 6);
    ASSERT_TRUE(player_->Start(six)) << why();
    ASSERT_NE(player_->directSound().buffer(), nullptr);
    WAVEFORMATEXTENSIBLE f{};
    DWORD written = 0;
    ASSERT_EQ(player_->directSound().buffer()->GetFormat(&f.Format, sizeof f, &written), S_OK);
    EXPECT_EQ(f.Format.wFormatTag, WAVE_FORMAT_EXTENSIBLE);
    EXPECT_EQ(f.Format.nChannels, 6);
    EXPECT_EQ(f.dwChannelMask, 0x60Fu);
    player_->Stop();
}

TEST_F(DirectSoundPlayer, TheVolumeGoesToTheBufferInHundredthsOfADecibel) {
    player_->SetVolume(-20);
    EXPECT_EQ(player_->GetVolume(), -20); // no buffer yet: the stored value
    ASSERT_TRUE(player_->Start(makeSource<PeriodicSource>(sineTone(440.0, 3000), 48000))) << why();
    LONG v = 1;
    ASSERT_EQ(player_->directSound().buffer()->GetVolume(&v), S_OK);
    EXPECT_EQ(v, -2000);
    player_->SetVolume(-3);
    ASSERT_EQ(player_->directSound().buffer()->GetVolume(&v), S_OK);
    EXPECT_EQ(v, -300);
    player_->directSound().buffer()->SetVolume(-10000);
    EXPECT_EQ(player_->GetVolume(), -100);
    player_->Stop();
}

// The feeder waits for a growing source's data without the player lock: a live change
// made meanwhile goes through at once, and the graph waited on lives until the wait ends.
TEST_F(DirectSoundPlayer, ALiveChangeGoesThroughWhileTheFeederWaitsForAGrowingSourcesData) {
    auto* stream = new StalledStream(48000, 24000);
    SourceRef growing(stream);
    ASSERT_TRUE(player_->Start(growing)) << why();
    ASSERT_EQ(WaitForSingleObject(stream->waiting(), 5000), WAIT_OBJECT_0)
        << "the feeder never waited for data";
    const DWORD t0 = GetTickCount();
    EXPECT_GE(player_->SourcePosition(), 24000); // the owner reads the source during the wait
    const LSoundPlayer::LiveChange change =
        player_->ChangeSourceLive(makeSource<PeriodicSource>(sineTone(1000.0, 30000), 48000));
    EXPECT_LT(GetTickCount() - t0, 1000u) << "the owner waited for the growing source's data";
    EXPECT_TRUE(change.replaced);
    EXPECT_GT(growing->refCount, 1) << "the graph being waited on was let go during the wait";
    stream->letGo();
    EXPECT_TRUE(pumpUntil([&] { return growing->refCount == 1; }, 3000))
        << "the feeder kept the replaced graph after its wait";
    EXPECT_FALSE(player_->failed());
    player_->Stop();
    EXPECT_EQ(growing->refCount, 1);
}

TEST_F(DirectSoundPlayer, ReplacingTheToneWhilePlayingLeavesNoGapAndCrossfadesOverOneBlock) {
    const int rate = 48000;
    const ToneData first = sineTone(1000.0, 30000, -6, true), second = sineTone(1500.0, 30000, -6, true);
    ASSERT_TRUE(player_->Start(makeSource<PeriodicSource>(first, rate))) << why();
    pumpFor(300);
    ASSERT_EQ(listener_.stops, 0);
    const LSoundPlayer::LiveChange change =
        player_->ChangeSourceLive(makeSource<PeriodicSource>(second, rate));
    ASSERT_TRUE(change.replaced);
    const int latency = change.requeued;
    EXPECT_GT(latency, 0) << "nothing queued was taken back";
    pumpFor(300);
    EXPECT_FALSE(player_->failed());
    player_->Stop();
    const Capture c = finish();
    ASSERT_TRUE(c.ok);
    ASSERT_EQ(c.rate, rate);
    const std::size_t ch = 2;
    // Align the capture with the rendering. Under load the buffer can start before the
    // feeder is far enough ahead and play a stretch of its initial silence; what follows
    // is still the rendering, from a later frame. So align after the last such stretch.
    const std::size_t loud = firstLoud(c.samples);
    ASSERT_NE(loud, std::string::npos);
    std::size_t base = loud / ch, end = c.frames();
    while (end > base && c.samples[(end - 1) * ch] == 0)
        --end;
    for (std::size_t f = base, run = 0; f < end; ++f) {
        run = c.samples[f * ch] == 0 && c.samples[f * ch + 1] == 0 ? run + 1 : 0;
        if (run == 8) {
            while (f + 1 < end && c.samples[(f + 1) * ch] == 0)
                ++f;
            base = f + 1;
            run = 0;
        }
    }
    const std::size_t n = end - base;
    const std::vector<std::int32_t> old16 = render16(first, rate, static_cast<int>(2 * end));
    std::size_t start = std::string::npos; // the render frame heard at `base`
    for (std::size_t o = 0; o + 200 < old16.size() / ch && start == std::string::npos; ++o) {
        std::size_t j = 0;
        while (j < 200 && c.samples[(base + j) * ch] == old16[(o + j) * ch])
            ++j;
        if (j == 200) start = o;
    }
    ASSERT_NE(start, std::string::npos) << "the first tone is not in the capture";
    std::size_t d = 0; // frames after `base` that are still the first tone
    while (d < n && c.samples[(base + d) * ch] == old16[(start + d) * ch] &&
           c.samples[(base + d) * ch + 1] == old16[(start + d) * ch + 1])
        ++d;
    if (d < n && d <= static_cast<std::size_t>(rate) / 10) keepCapture(u"failed-live-change.wav");
    ASSERT_LT(d, n) << "the change was never heard";
    ASSERT_GT(d, static_cast<std::size_t>(rate) / 10) << "the first tone was not heard first";
    // From where the change is heard to where playback stopped: no run of silence.
    EXPECT_LT(longestZeroRun(c, base + d, end), 3u) << "a gap where the tone changed";
    ASSERT_GT(end, base + d + 3 * static_cast<std::size_t>(rate) / 10);
    // The crossfade: one Read of at most one segment, from the first tone's unplayed
    // samples into the second tone read from its start. Its first frames may still equal
    // the first tone, so it begins a little before d; it ends where the second tone
    // (period 32 frames at 1500 Hz) runs on its own.
    const int segment = DirectSoundSizes(rate, 2).segmentFrames;
    std::size_t e = d;
    auto periodicFrom = [&](std::size_t f) {
        for (std::size_t j = 0; j < 400; ++j)
            if (c.samples[(base + f + j) * ch] != c.samples[(base + f + j + 32) * ch]) return false;
        return true;
    };
    while (e < d + 2 * static_cast<std::size_t>(segment) && !periodicFrom(e))
        ++e;
    ASSERT_LE(e - d, static_cast<std::size_t>(segment) + 1) << "the change took longer than one segment";
    PeriodicSource oldRaw(first, rate), newRaw(second, rate);
    std::vector<std::int32_t> a((start + e + 600) * ch), b((2 * segment + 600) * ch);
    for (std::size_t done = 0; done < start + e + 600;) {
        const int k = static_cast<int>(std::min<std::size_t>(8192, start + e + 600 - done));
        oldRaw.Read(a.data() + done * ch, k);
        done += static_cast<std::size_t>(k);
    }
    newRaw.Read(b.data(), 2 * segment + 600);
    int matched = 0;
    for (std::size_t c0 = d >= 16 ? d - 16 : 0; c0 <= d && !matched; ++c0) {
        const int len = static_cast<int>(e - c0);
        if (len < 1 || len > segment) continue;
        const std::int64_t step = (std::int64_t{1} << 24) / len;
        bool ok = true;
        for (int k = 0; k < len + 500 && ok; ++k) {
            for (std::size_t j = 0; j < ch && ok; ++j) {
                const std::int64_t o = a[(start + c0 + k) * ch + j], n2 = b[k * ch + j], g = k * step;
                const std::int32_t want =
                    k < len
                        ? ToPcm16(static_cast<std::int32_t>(((o * ((1 << 24) - g)) >> 24) + ((n2 * g) >> 24)))
                        : ToPcm16(static_cast<std::int32_t>(n2));
                ok = c.samples[(base + c0 + k) * ch + j] == want;
            }
        }
        if (ok) matched = len;
    }
    EXPECT_GT(matched, 0) << "the change is not the crossfade of one block (" << e - d
                          << " frames from change to new tone)";
    EXPECT_NEAR(crossingFrequency(c, base + d + segment, end), 1500.0, 2.0);
}

TEST_F(DirectSoundPlayer, TheFeederAllocatesNothingPerSegment) {
    ASSERT_TRUE(player_->Start(makeSource<PeriodicSource>(sineTone(1000.0, 0), 48000))) << why();
    pumpFor(300); // past the start-up, where the threads are made
    const long before = allocationCount.load();
    const int positionsBefore = listener_.positions;
    pumpFor(600);
    const long during = allocationCount.load() - before;
    EXPECT_GT(listener_.positions, positionsBefore + 5) << "too few segments went by to tell";
    EXPECT_EQ(during, 0) << "allocations while segments were filled and completed";
    player_->Stop();
}

} // namespace
} // namespace sonimo
