// The sound player on the waveOut back-end, heard through the captured file: playing to
// the end, stopping early, failing to open, the live change, and no allocation per block.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "AudioCapture.h"
#include "PlayerTestSupport.h"
#include "synth/PeriodicSource.h"
#include "synth/SilenceSource.h"
#include "TestSupport.h"
#include "audio/ToneListRenderer.h"
#include "tone/ToneList.h"

namespace sonimo::test {
std::atomic<long> allocationCount{0};
}

// Counts every allocation of the test binary, so that a test can see the feeder make none.
void* operator new(std::size_t n) {
    sonimo::test::allocationCount.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    std::abort(); // the product does not handle allocation failure either
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace sonimo {
namespace {

using namespace sonimo::test;

class WaveOutPlayer : public ::testing::Test {
protected:
    void SetUp() override {
        if (!waveOutDeviceListed()) SONIMO_SKIP_WITHOUT_DEVICE("no waveOut device is listed");
        if (capturePath().empty())
            SONIMO_SKIP_WITHOUT_DEVICE("SONIMO_CAPTURE_DIR is not set (run under scripts/with-display)");
        removeCapture();
        player_.SetListener(&listener_, 77);
        OutputDevice mapper; // catalogue index 0: the wave mapper
        player_.SelectDevice(mapper);
    }
    bool waitForStop(DWORD ms) {
        return pumpUntil([&] { return listener_.stops > 0; }, ms);
    }
    RecordingListener listener_;
    LSoundPlayer player_;
};

TEST_F(WaveOutPlayer, AFixedLengthTonePlaysToItsEndAndIsHeardSampleForSample) {
    const ToneData tone = sineTone(1000.0, 700, -6, true);
    SourceRef source = makeSource<PeriodicSource>(tone, 44100);
    ASSERT_TRUE(player_.Start(source)) << DescribeMmResult(player_.waveOut().lastError());
    EXPECT_EQ(listener_.starts, 1);
    EXPECT_EQ(listener_.cookieSeen, 77);
    ASSERT_TRUE(waitForStop(20000)) << "the player never reported the end";
    EXPECT_EQ(listener_.lastPosition, 700);
    EXPECT_FALSE(listener_.positionsWentBack) << listener_.seenText();
    EXPECT_GT(listener_.levelReports, 0);
    EXPECT_EQ(listener_.lastLevels.count, 2);
    EXPECT_TRUE(player_.IsStopped());
    EXPECT_EQ(source->refCount, 1) << "the player still holds the source";
    const Capture c = readCapture();
    ASSERT_TRUE(c.ok);
    ASSERT_EQ(c.channels, 2);
    ASSERT_EQ(c.rate, 44100);
    std::size_t inserted = 0;
    const Capture played = withoutSilentRuns(c, 8, inserted);
    EXPECT_EQ(firstDifference(played.samples, render16(tone, 44100, 30870)), "")
        << "dropped, repeated or altered blocks (" << inserted << " frames of device silence left out)";
}

TEST_F(WaveOutPlayer, AListWhoseToneFileHasMovedPlaysTheDefaultToneForAMinuteAndGoesOn) {
    TempDir dir;
    ASSERT_TRUE(saveToneFile(sineTone(1000.0, 100), dir.path(u"k.tdf")));
    ASSERT_TRUE(writeToneList(dir.path(u"moved.tdl"), {dir.path(u"moved-away.tdf"), dir.path(u"k.tdf")}));
    SourceRef list = renderToneListFile(dir.path(u"moved.tdl"), 44100);
    ASSERT_EQ(list->GetLength(), 60 * 44100 + 4410);
    ASSERT_TRUE(player_.Start(list)) << DescribeMmResult(player_.waveOut().lastError());
    ASSERT_TRUE(waitForStop(110000)) << "the list never ended: it is stuck in its endless entry";
    EXPECT_EQ(listener_.lastPosition, 60100);
    std::size_t removed = 0;
    const Capture c = withoutSilentRuns(readCapture(), 64, removed);
    ASSERT_TRUE(c.ok);
    const std::size_t end = c.frames();
    ASSERT_GT(end, std::size_t{60 * 44100}) << "the minute of the default tone was not heard";
    const std::size_t last = end - 4410 + 200, first = end - 4410 - 44100;
    EXPECT_NEAR(crossingFrequency(c, last, end - 200), 1000.0, 10.0) << "the tone after the moved one";
    EXPECT_NEAR(crossingFrequency(c, first, end - 4410 - 200), 440.0, 2.0) << "the default tone";
}

TEST_F(WaveOutPlayer, ASourceOfLengthZeroFinishesAtOnce) {
    SourceRef empty = makeSource<SilenceSource>(44100, 2, kGeneratorPeak, 0);
    const DWORD t0 = GetTickCount();
    ASSERT_TRUE(player_.Start(empty));
    ASSERT_TRUE(waitForStop(2000));
    EXPECT_LT(GetTickCount() - t0, 1000u);
    EXPECT_EQ(listener_.lastPosition, 0);
    EXPECT_TRUE(player_.IsStopped());
    const Capture c = readCapture();
    EXPECT_EQ(c.frames(), 0u);
}

TEST_F(WaveOutPlayer, StopWhileTheTailDrainsReturnsPromptlyAndClosesTheDevice) {
    // Five seconds fit in the 64 buffers: the feeder has handed over everything within
    // half a second and then waits for the tail.
    SourceRef source = makeSource<PeriodicSource>(sineTone(440.0, 5000), 44100);
    ASSERT_TRUE(player_.Start(source));
    pumpFor(600);
    ASSERT_EQ(listener_.stops, 0) << "the tone ended before the test could stop it";
    const DWORD t0 = GetTickCount();
    player_.Stop();
    EXPECT_LT(GetTickCount() - t0, 1200u);
    EXPECT_FALSE(player_.waveOut().IsOpen());
    EXPECT_TRUE(player_.IsStopped());
    EXPECT_EQ(listener_.stops, 1);
    player_.Stop(); // a second Stop reports nothing
    EXPECT_EQ(listener_.stops, 1);
    EXPECT_EQ(source->refCount, 1);
}

TEST_F(WaveOutPlayer, ADeviceThatCannotBeOpenedMakesStartFailWithoutHanging) {
    DeviceCatalogue catalogue;
    const OutputDevice asio = catalogue.FindDevice(u"ASIO4ALL", OutputAsio); // designates no waveOut device
    player_.SelectDevice(asio);
    SourceRef source = makeSource<PeriodicSource>(sineTone(440.0, 500), 44100);
    const DWORD t0 = GetTickCount();
    EXPECT_FALSE(player_.Start(source));
    EXPECT_LT(GetTickCount() - t0, 1000u);
    EXPECT_EQ(listener_.starts, 0);
    EXPECT_EQ(source->refCount, 1);
    EXPECT_TRUE(player_.IsStopped());
    OutputDevice other;
    other.kind = 5; // neither waveOut nor DirectSound
    player_.SelectDevice(other);
    EXPECT_FALSE(player_.Start(source));
}

TEST_F(WaveOutPlayer, AnUnusableSourceIsRefused) {
    SourceRef unset;
    EXPECT_FALSE(player_.Start(unset));
    EXPECT_EQ(listener_.starts, 0);
}

TEST_F(WaveOutPlayer, AChangeOfToneStopsAndStartsAgain) {
    const ToneData first = sineTone(1000.0, 0), second = sineTone(1500.0, 300);
    ASSERT_TRUE(player_.Start(makeSource<PeriodicSource>(first, 44100)));
    pumpFor(300);
    ASSERT_TRUE(player_.Start(makeSource<PeriodicSource>(second, 44100))); // Start stops first
    EXPECT_EQ(listener_.stops, 1);
    ASSERT_TRUE(pumpUntil([&] { return listener_.stops == 2; }, 10000));
    const Capture c = readCapture(); // the second opening rewrote the file
    ASSERT_TRUE(c.ok);
    std::size_t inserted = 0;
    EXPECT_EQ(firstDifference(withoutSilentRuns(c, 8, inserted).samples, render16(second, 44100, 13230)), "")
        << inserted << " frames of device silence left out";
}

TEST_F(WaveOutPlayer, ALiveChangeOnWaveOutGoesOnWithTheNewToneFromWhatWasHeard) {
    // Fixed lengths: an endless tone keeps its position at 0, and the test follows positions.
    ASSERT_TRUE(player_.Start(makeSource<PeriodicSource>(sineTone(1000.0, 30000), 44100)));
    pumpFor(400);
    const LSoundPlayer::LiveChange change =
        player_.ChangeSourceLive(makeSource<PeriodicSource>(sineTone(1500.0, 30000), 44100));
    ASSERT_TRUE(change.replaced);
    EXPECT_EQ(change.requeued, 0) << "waveOut goes on from what was heard, nothing is taken back";
    const int heard = player_.waveOut().PlayedPosition();
    pumpFor(400);
    EXPECT_GT(player_.waveOut().PlayedPosition(), heard + 4410) << "playback did not go on";
    player_.Stop();
    EXPECT_EQ(listener_.stops, 1);
    const Capture c = readCapture();
    ASSERT_TRUE(c.ok);
    const std::size_t n = c.frames();
    ASSERT_GT(n, 44100u);
    EXPECT_NEAR(crossingFrequency(c, 0, 8820), 1000.0, 2.0);
    EXPECT_NEAR(crossingFrequency(c, n - 8820, n), 1500.0, 2.0);
}

TEST_F(WaveOutPlayer, ALiveChangeIsRefusedWhenNothingPlaysOrTheNewSourceIsUnusableAndTheOldToneGoesOn) {
    SourceRef next = makeSource<PeriodicSource>(sineTone(1500.0, 30000), 44100);
    EXPECT_FALSE(player_.ChangeSourceLive(next).replaced);
    EXPECT_EQ(next->refCount, 1) << "a player that plays nothing took the source";
    EXPECT_TRUE(player_.IsStopped());
    ASSERT_TRUE(player_.Start(makeSource<PeriodicSource>(sineTone(1000.0, 30000), 44100)));
    pumpFor(300);
    EXPECT_FALSE(player_.ChangeSourceLive(SourceRef()).replaced); // the placeholder is unusable
    const int heard = player_.waveOut().PlayedPosition();
    pumpFor(400);
    EXPECT_GT(player_.waveOut().PlayedPosition(), heard + 4410) << "playback did not go on";
    player_.Stop();
    const Capture c = readCapture();
    ASSERT_TRUE(c.ok);
    const std::size_t n = c.frames();
    ASSERT_GT(n, 8820u);
    EXPECT_NEAR(crossingFrequency(c, n - 8820, n), 1000.0, 2.0) << "the old tone was not kept";
}

// A tone at another rate is converted to the device's under the lock: its tables are
// built before the lock is taken, and nothing is computed while it is held.
TEST_F(WaveOutPlayer, ALiveChangeToAnotherRateFindsItsConversionBuilt) {
    ASSERT_TRUE(player_.Start(makeSource<PeriodicSource>(sineTone(1000.0, 30000), 44100)));
    pumpFor(300);
    SourceRef next = makeSource<PeriodicSource>(sineTone(1500.0, 30000), 44117);
    ASSERT_TRUE(player_.ChangeSourceLive(next).replaced);
    const std::shared_ptr<ResamplerTable> table = ResamplerTable::forRates(44117, 44100); // the graph's own
    EXPECT_TRUE(table->complete());
    pumpFor(400);
    EXPECT_EQ(table->phasesComputedByReaders(), 0);
    player_.Stop();
    const Capture c = readCapture();
    ASSERT_TRUE(c.ok);
    const std::size_t n = c.frames();
    ASSERT_GT(n, 8820u);
    EXPECT_NEAR(crossingFrequency(c, n - 8820, n), 1500.0, 2.0) << "converted to the device's rate";
}

TEST_F(WaveOutPlayer, TheVolumeStepReadsBackAsSet) {
    OutputDevice first; // the volume addresses the device by its index, open or not
    first.catalogueIndex = 1;
    player_.SelectDevice(first);
    DWORD probe = 0;
    const MMRESULT r = waveOutGetVolume(reinterpret_cast<HWAVEOUT>(static_cast<UINT_PTR>(0)), &probe);
    if (r != MMSYSERR_NOERROR) {
        // The fallback when the query fails: 0x8000 reads as step -25.
        EXPECT_EQ(player_.GetVolume(), -25);
        GTEST_SKIP() << "this system refuses the volume of a device by index: " << DescribeMmResult(r);
    }
    player_.SetVolume(-10);
    EXPECT_EQ(player_.GetVolume(), -10);
    player_.SetVolume(0);
    EXPECT_EQ(player_.GetVolume(), -2); // 65535 reads back as -2
}

TEST_F(WaveOutPlayer, TheFeederAllocatesNothingPerBlock) {
    ASSERT_TRUE(player_.Start(makeSource<PeriodicSource>(sineTone(1000.0, 0), 44100)));
    pumpFor(300); // past the start-up, where the threads are made
    const long before = allocationCount.load();
    const int positionsBefore = listener_.positions;
    pumpFor(600);
    const long during = allocationCount.load() - before;
    EXPECT_GT(listener_.positions, positionsBefore + 5) << "too few blocks went by to tell";
    EXPECT_EQ(during, 0) << "allocations while blocks were fed and completed";
    player_.Stop();
}

// Sources are pulled by one consumer at a time: every call into the graph, the heard
// position passed down included, comes from the feeder thread that reads it.
TEST_F(WaveOutPlayer, OnlyTheFeederThreadCallsIntoTheSource) {
    class ThreadCheck final : public SampleSource {
    public:
        ThreadCheck() : SampleSource(44100, 1, kNominalFullScale) {}
        void Read(std::int32_t* b, int n) override {
            note();
            for (int i = 0; i < n; ++i)
                b[i] = (pos_ + i) % 100 * 1000;
            pos_ += n;
        }
        int GetPosition() override { return pos_; }
        int GetLength() override { return 22050; }
        bool Query(int code, int* value) override {
            note();
            if (code == QueryHeard && value) ++heardQueries;
            return false;
        }
        std::atomic<int> heardQueries{0};
        std::atomic<bool> otherThread{false};

    private:
        void note() {
            const DWORD me = GetCurrentThreadId();
            DWORD expected = 0;
            if (!reader_.compare_exchange_strong(expected, me) && expected != me) otherThread = true;
        }
        std::atomic<DWORD> reader_{0};
        int pos_ = 0;
    };
    auto* raw = new ThreadCheck;
    SourceRef source(raw);
    ASSERT_TRUE(player_.Start(source)) << DescribeMmResult(player_.waveOut().lastError());
    ASSERT_TRUE(waitForStop(20000));
    EXPECT_FALSE(raw->otherThread) << "a second thread called into the graph";
    EXPECT_GT(raw->heardQueries.load(), 0) << "the heard position still reaches the chain";
}

} // namespace
} // namespace sonimo
