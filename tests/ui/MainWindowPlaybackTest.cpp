// The main window playing through the real devices under Wine: autoplay, Play/Stop by
// command and key, the live change, heard in the captured audio.
#include <gtest/gtest.h>

#include <cmath>

#include "AudioCapture.h"
#include "DeviceRequired.h"
#include "UiTestSupport.h"
#include "audio/playback/OutputDevice.h"
#include "tone/ToneData.h"
#include "ui/CommandIds.h"

namespace sonimo::test {
namespace {

class MainWindowPlayback : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        if (capturePath().empty())
            SONIMO_SKIP_WITHOUT_DEVICE("SONIMO_CAPTURE_DIR is not set (run under scripts/with-display)");
        removeCapture();
    }

    // rms / peak of channel 0 over a stretch: 0.707 for a sine, 1 for a square.
    static double crestRatio(const Capture& c, std::size_t begin, std::size_t end) {
        double sum = 0, peak = 0;
        for (std::size_t i = begin; i < end; ++i) {
            const double v = c.samples[i * c.channels];
            sum += v * v;
            peak = std::max(peak, std::abs(v));
        }
        return peak > 0 ? std::sqrt(sum / static_cast<double>(end - begin)) / peak : 0;
    }

    Capture heard() {
        std::size_t removed = 0;
        return withoutSilentRuns(readCapture(), 64, removed);
    }

    std::size_t heardFrames() {
        const Capture c = heard();
        return c.ok ? c.frames() : 0;
    }

    // Wine hands the device what was played in its own time, later on a loaded machine:
    // keeps the window's loop running until `seconds` more than `after` frames of sound are
    // in the capture, or 10 s have passed (the check that follows then says what is missing).
    void pumpUntilHeard(double seconds, std::size_t after = 0) {
        for (int waited = 0; waited < 10000; waited += 100) {
            const Capture c = heard();
            if (c.ok && c.frames() >= after + static_cast<std::size_t>(seconds * c.rate)) return;
            pump(window.get(), 100);
        }
    }
};

TEST_F(MainWindowPlayback, AutoplayStartsTheStoredToneAtOnce) {
    settings.writeBool(u"settings", u"autoplay", true);
    writeCurrentTone(sineTone(1000, 0, -6));
    start();
    ASSERT_FALSE(window->player().IsStopped());
    EXPECT_TRUE(menuEnabled(kCmdStop));
    EXPECT_TRUE(toolbarEnabled(mainToolbar(), kCmdStop));
    pump(window.get(), 600);
    EXPECT_GT(window->levelMeter().level(0), -20); // the meter shows the tone's level
    pumpUntilHeard(0.3);
    window->command(kCmdStop);
    EXPECT_TRUE(window->player().IsStopped());
    EXPECT_FALSE(menuEnabled(kCmdStop));
    EXPECT_EQ(window->levelMeter().tooltip(), u"現在のレベル：--dB");
    const Capture c = heard();
    ASSERT_TRUE(c.ok);
    ASSERT_GT(c.frames(), static_cast<std::size_t>(c.rate / 4));
    const std::size_t end = c.frames() - c.rate / 20;
    EXPECT_NEAR(crossingFrequency(c, c.rate / 20, end), 1000.0, 5.0);
    EXPECT_NEAR(crestRatio(c, c.rate / 20, end), 0.7071, 0.02); // a sine, not a clipped or square tone
}

TEST_F(MainWindowPlayback, WithoutAutoplayNothingPlays) {
    writeCurrentTone(sineTone(1000, 0, -6));
    start();
    pump(window.get(), 200);
    EXPECT_TRUE(window->player().IsStopped());
    EXPECT_FALSE(menuEnabled(kCmdStop));
}

TEST_F(MainWindowPlayback, SpaceTogglesAndEscStopsAndALiveChangeIsHeard) {
    writeCurrentTone(sineTone(500, 0, -6));
    start();
    pressKey(*window, VK_SPACE);
    ASSERT_FALSE(window->player().IsStopped());
    pump(window.get(), 400);
    const std::size_t beforeChange = heardFrames();
    pressKey(*window, VK_PRIOR); // one octave up while playing
    EXPECT_EQ(window->tone().leftStartHz[0], 1000.0);
    ASSERT_FALSE(window->player().IsStopped());
    pump(window.get(), 500);
    pumpUntilHeard(0.6, beforeChange); // past what was queued before the change
    pressKey(*window, VK_ESCAPE);
    EXPECT_TRUE(window->player().IsStopped());
    const Capture c = heard();
    ASSERT_TRUE(c.ok);
    ASSERT_GT(c.frames(), static_cast<std::size_t>(c.rate / 2));
    // the last stretch plays the raised tone
    const std::size_t end = c.frames() - c.rate / 40;
    EXPECT_NEAR(crossingFrequency(c, end - c.rate / 5, end), 1000.0, 8.0);
    pressKey(*window, VK_SPACE);
    EXPECT_FALSE(window->player().IsStopped());
    pressKey(*window, VK_SPACE);
    EXPECT_TRUE(window->player().IsStopped());
}

// On a DirectSound device with its own GUID a change of the tone goes to the playing
// buffer (suspend, replace, resume) instead of a stop and a start: it still plays, on the
// same device, and the raised tone is what is heard.
TEST_F(MainWindowPlayback, ALiveChangeOnADirectSoundDeviceOfItsOwnKeepsPlaying) {
    settings.writeText(u"Player", u"Device", u"[DirectSound] Out: default");
    writeCurrentTone(sineTone(500, 0, -6));
    start();
    window->command(kCmdPlayStop);
    ASSERT_FALSE(window->player().IsStopped());
    ASSERT_EQ(window->player().outputKind(), OutputDirectSound);
    ASSERT_TRUE(hasOwnGuid(window->player().directSound().device()))
        << "Wine lists no DirectSound device with a GUID of its own";
    pump(window.get(), 400);
    std::size_t beforeLastChange = 0;
    for (int i = 0; i < 3; ++i) { // several changes in a row, each taking and giving back the lock
        if (i == 2) beforeLastChange = heardFrames();
        pressKey(*window, i == 2 ? VK_PRIOR : VK_ADD);
        ASSERT_FALSE(window->player().IsStopped());
        pump(window.get(), 100);
    }
    EXPECT_NEAR(window->tone().leftStartHz[0], 500.0 * std::pow(2.0, 2.0 / 12) * 2, 0.01);
    pump(window.get(), 500);
    pumpUntilHeard(0.6, beforeLastChange);
    EXPECT_GT(window->levelMeter().level(0), -20);
    window->command(kCmdStop);
    const Capture c = heard();
    ASSERT_TRUE(c.ok);
    ASSERT_GT(c.frames(), static_cast<std::size_t>(c.rate / 2));
    const std::size_t end = c.frames() - c.rate / 40;
    EXPECT_NEAR(crossingFrequency(c, end - c.rate / 5, end), 500.0 * std::pow(2.0, 2.0 / 12) * 2, 10.0);
}

} // namespace
} // namespace sonimo::test
