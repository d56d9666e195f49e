// sonimo-cli play and devices as a user runs them, heard through the captured device:
// tones, lists and WAV files through both back-ends.
#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <string>
#include <vector>

#include "AudioCapture.h"
#include "CliRunner.h"
#include "TestSupport.h"
#include "platform/Text.h"

using namespace sonimo;
using namespace sonimo::test;

namespace {

const char16_t* const kBackEnds[] = {u"[MME] Out: default", u"[DirectSound] Out: default"};

class CliPlay : public ::testing::TestWithParam<const char16_t*> {
protected:
    void SetUp() override {
        if (capturePath().empty())
            SONIMO_SKIP_WITHOUT_DEVICE("no capture folder: run under scripts/with-display");
        if (!waveOutDeviceListed()) SONIMO_SKIP_WITHOUT_DEVICE("no playback device listed");
        ASSERT_EQ(make({u"tone.tdf", u"--freq", u"1000", u"--length", u"1500", u"--db", u"-6"}), 0);
        ASSERT_EQ(make({u"low.tdf", u"--freq", u"500", u"--length", u"1000", u"--db", u"-6"}), 0);
    }

    int make(std::vector<std::u16string> args) {
        args[0] = dir.path(args[0]);
        args.insert(args.begin(), u"make");
        return runCli(dir, args).code;
    }

    // Plays `file` on the back-end under test; the capture holds what was heard, with
    // the silence Wine inserts whenever the faster-than-real-time sink runs dry left out.
    Capture play(const std::u16string& file, std::vector<std::u16string> extra = {}) {
        removeCapture();
        std::vector<std::u16string> args = {u"play", file, u"--device", GetParam()};
        args.insert(args.end(), extra.begin(), extra.end());
        last = runCli(dir, args);
        std::size_t removed = 0;
        return withoutSilentRuns(readCapture(), 64, removed);
    }

    TempDir dir;
    RunResult last;
};

} // namespace

TEST_P(CliPlay, AFixedToneIsHeardWholeAtItsFrequency) {
    const Capture c = play(dir.path(u"tone.tdf"));
    ASSERT_EQ(last.code, 0) << last.err;
    ASSERT_TRUE(c.ok);
    const double seconds = static_cast<double>(c.frames()) / c.rate;
    EXPECT_NEAR(seconds, 1.5, 0.15) << "the whole tone, within about one block";
    EXPECT_NEAR(crossingFrequency(c, c.frames() / 10, c.frames() * 9 / 10), 1000.0, 2.0);
    const LevelShape s = levelShape(c, c.frames() / 10, c.frames() * 9 / 10, c.rate / 20);
    EXPECT_NEAR(s.highestDb, -6.02, 0.1) << "-6 dB of one tone at 0 dB";
    EXPECT_LT(s.spreadDb(), 0.1);
    EXPECT_NEAR(s.rmsOverPeak, std::sqrt(0.5), 0.01) << "a sine, not a clipped or square wave";
}

// The default level (0 dB) peaks just over full scale, so the player limits it: it must
// still be heard as one steady sine, not pulsing with the sizes of the device's reads.
TEST_P(CliPlay, AToneAtFullLevelIsHeardAtOneSteadyLevel) {
    ASSERT_EQ(make({u"full.tdf", u"--freq", u"1000", u"--length", u"3000"}), 0);
    const Capture c = play(dir.path(u"full.tdf"));
    ASSERT_EQ(last.code, 0) << last.err;
    ASSERT_TRUE(c.ok);
    const LevelShape s = levelShape(c, c.rate / 10, c.frames() - c.rate / 10, c.rate / 20);
    EXPECT_GT(s.windows, 40);
    EXPECT_LT(s.spreadDb(), 0.1) << "peaks of 50 ms windows from " << s.lowestDb << " to " << s.highestDb
                                 << " dB";
    EXPECT_NEAR(s.highestDb, 20 * std::log10(0.9), 0.1) << "limited to 0.9 of full scale";
    EXPECT_NEAR(s.rmsOverPeak, std::sqrt(0.5), 0.01) << "a sine";
}

TEST_P(CliPlay, SixteenTonesAtFullLevelAreHeardAtOneSteadyLevel) {
    ASSERT_EQ(make({u"chord.tdf", u"--freq",
                    u"100,200,300,400,500,600,700,800,900,1000,1100,1200,1300,1400,1500,1600", u"--length",
                    u"3000"}),
              0);
    const Capture c = play(dir.path(u"chord.tdf"));
    ASSERT_EQ(last.code, 0) << last.err;
    ASSERT_TRUE(c.ok);
    const LevelShape s = levelShape(c, c.rate / 10, c.frames() - c.rate / 10, c.rate / 20);
    EXPECT_GT(s.windows, 40);
    EXPECT_LT(s.spreadDb(), 0.1) << "peaks of 50 ms windows from " << s.lowestDb << " to " << s.highestDb
                                 << " dB";
    EXPECT_LT(s.highestDb, 0.0);
}

TEST_P(CliPlay, AListPlaysItsEntriesInOrder) {
    const std::string list = utf16ToUtf8(dir.path(u"tone.tdf")) + "\r\n300ミリ秒の無音。\r\n" +
                             utf16ToUtf8(dir.path(u"low.tdf")) + "\r\n";
    ASSERT_TRUE(writeAll(dir.path(u"list.tdl"), std::vector<unsigned char>(list.begin(), list.end())));
    const Capture c = play(dir.path(u"list.tdl"));
    ASSERT_EQ(last.code, 0) << last.err;
    ASSERT_TRUE(c.ok);
    // the silence between the entries is gone from the de-silenced capture: 1.5 s, then 1 s
    const double seconds = static_cast<double>(c.frames()) / c.rate;
    EXPECT_NEAR(seconds, 2.5, 0.2);
    const std::size_t split = c.frames() * 3 / 5;
    EXPECT_NEAR(crossingFrequency(c, c.frames() / 20, split - c.frames() / 20), 1000.0, 3.0);
    EXPECT_NEAR(crossingFrequency(c, split + c.frames() / 20, c.frames() * 19 / 20), 500.0, 3.0);
    const LevelShape s = levelShape(c, c.frames() / 20, c.frames() * 19 / 20, c.rate / 20);
    EXPECT_LT(s.spreadDb(), 0.1) << "both entries at -6 dB";
    EXPECT_NEAR(s.rmsOverPeak, std::sqrt(0.5), 0.01);
}

TEST_P(CliPlay, AWaveFilePlaysAsItWasRendered) {
    ASSERT_EQ(runCli(dir, {u"render", dir.path(u"low.tdf"), u"-o", dir.path(u"low.wav")}).code, 0);
    const Capture c = play(dir.path(u"low.wav"));
    ASSERT_EQ(last.code, 0) << last.err;
    ASSERT_TRUE(c.ok);
    EXPECT_NEAR(static_cast<double>(c.frames()) / c.rate, 1.0, 0.15);
    EXPECT_NEAR(crossingFrequency(c, c.frames() / 10, c.frames() * 9 / 10), 500.0, 2.0);
    const LevelShape s = levelShape(c, c.frames() / 10, c.frames() * 9 / 10, c.rate / 20);
    EXPECT_NEAR(s.highestDb, -6.02, 0.1);
    EXPECT_NEAR(s.rmsOverPeak, std::sqrt(0.5), 0.01);
}

TEST_P(CliPlay, AnEndlessToneStopsAfterTheSecondsGiven) {
    ASSERT_EQ(make({u"endless.tdf", u"--freq", u"2000", u"--db", u"-6"}), 0);
    const DWORD start = GetTickCount();
    const Capture c = play(dir.path(u"endless.tdf"), {u"--seconds", u"1"});
    const DWORD took = GetTickCount() - start;
    ASSERT_EQ(last.code, 0) << last.err;
    EXPECT_LT(took, 15000u);
    ASSERT_TRUE(c.ok);
    EXPECT_GT(c.frames(), static_cast<std::size_t>(c.rate) / 2) << "it played before it stopped";
    EXPECT_NEAR(crossingFrequency(c, c.frames() / 10, c.frames() * 9 / 10), 2000.0, 4.0);
}

INSTANTIATE_TEST_SUITE_P(BackEnds, CliPlay, ::testing::ValuesIn(kBackEnds));

TEST(CliDevices, ListsTheDialogsNamesAndMarksTheSelection) {
    TempDir dir;
    const RunResult r = runCli(dir, {u"devices"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("[MME] デフォルトの再生デバイス\n"), std::string::npos) << r.out;
    std::size_t marks = 0;
    for (std::size_t at = 0; (at = r.out.find("\n* ", at)) != std::string::npos; ++at)
        ++marks;
    if (r.out.rfind("* ", 0) == 0) ++marks;
    EXPECT_EQ(marks, 1u) << "exactly one entry is what the stored selection resolves to:\n" << r.out;
}

TEST(CliDevices, AnUnknownDeviceIsRefusedWithoutPlaying) {
    TempDir dir;
    ASSERT_EQ(runCli(dir, {u"make", dir.path(u"t.tdf"), u"--freq", u"440", u"--length", u"500"}).code, 0);
    const RunResult r = runCli(dir, {u"play", dir.path(u"t.tdf"), u"--device", u"[MME] No Such Device"});
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.err.find("No Such Device"), std::string::npos) << r.err;
}
