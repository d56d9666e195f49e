// The main window's decisions without a window: commands on the tone and its rows, what
// "edit value" edits, restart or live change, the note window rule, and the placement.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/MemorySettingsStore.h"
#include "tone/ToneList.h"
#include "ui/CommandIds.h"
#include "ui/MainController.h"
#include "platform/SettingsKeys.h"
#include "ui/WindowTexts.h"

namespace sonimo {
namespace {

// Records every call as a word, in order.
class RecordingPlayback final : public PlaybackControl {
public:
    std::vector<std::string> calls;
    bool isPlaying = false, ownGuid = false, startWorks = true;
    int deviceVolume = -12;
    std::vector<int> volumes;
    std::vector<int> rates; // of the sources handed over

    void selectStoredDevice() override { calls.push_back("select"); }
    bool start(const SourceRef& source) override {
        calls.push_back("start");
        rates.push_back(source->sampleRate);
        isPlaying = startWorks;
        return startWorks;
    }
    void stop() override {
        calls.push_back("stop");
        isPlaying = false;
    }
    void changeLive(const SourceRef& source) override {
        calls.push_back("live");
        rates.push_back(source->sampleRate);
    }
    void setVolume(int step) override {
        calls.push_back("volume");
        volumes.push_back(step);
    }
    int volume() override { return deviceVolume; }
    bool playing() override { return isPlaying; }
    bool deviceHasOwnGuid() override { return ownGuid; }
};

class RecordingView final : public MainView {
public:
    int rowsShown = 0, statusShown = 0, helps = 0, edits = 0, optionsShown = 0;
    std::vector<int> rowTexts, silences;
    std::vector<std::uint16_t> fileCommands;
    bool optionsAnswer = false;
    int slider = 50;

    void showRows() override { ++rowsShown; }
    void showRowText(int row) override { rowTexts.push_back(row); }
    void showSilence(int channels) override { silences.push_back(channels); }
    void showStatusTexts() override { ++statusShown; }
    int sliderPosition() override { return slider; }
    void help() override { ++helps; }
    void fileCommand(std::uint16_t command) override { fileCommands.push_back(command); }
    void editValues() override { ++edits; }
    bool showOptions() override {
        ++optionsShown;
        return optionsAnswer;
    }
};

class MainControllerTest : public ::testing::Test {
protected:
    MemorySettingsStore memory;
    SettingsStore& settings = memory; // with the by-key calls
    RecordingPlayback playback;
    RecordingView view;
    RecordingNotice notice;
    MainController controller{settings, playback, view};

    void SetUp() override { controller.rebuildRows(); }
    std::vector<std::u16string> values() const {
        std::vector<std::u16string> v;
        for (const GridRow& r : controller.rows())
            v.push_back(r.value);
        return v;
    }
    void startPlaying() {
        controller.command(kCmdPlayStop);
        ASSERT_TRUE(playback.isPlaying);
        playback.calls.clear();
    }
};

TEST_F(MainControllerTest, ToneCommandsEditTheToneAndRebuildTheRows) {
    controller.command(3003);
    EXPECT_EQ(controller.tone().toneCount, 3);
    EXPECT_EQ(controller.rows().size(), 3u);
    EXPECT_EQ(view.rowsShown, 1);
    controller.command(kCmdKindLogSweep);
    EXPECT_TRUE(controller.tone().flags & ToneFlagLogSweep);
    controller.command(kCmdStereo);
    EXPECT_TRUE(controller.tone().flags & ToneFlagStereo);
    EXPECT_EQ(controller.silenceChannels(), 2);
    controller.command(kCmdToggleStereo);
    EXPECT_FALSE(controller.tone().flags & ToneFlagStereo);
    controller.command(static_cast<std::uint16_t>(kCmdWaveformFirst + static_cast<int>(Square)));
    EXPECT_EQ(controller.tone().waveform, Square);
    const int shown = view.rowsShown;
    for (std::uint16_t id : {std::uint16_t{kCmdUpdateOnly}, std::uint16_t{4242}, std::uint16_t{3000}})
        controller.command(id);
    EXPECT_EQ(view.rowsShown, shown); // nothing to do: nothing shown
    EXPECT_EQ(controller.tone().toneCount, 3);
    EXPECT_TRUE(playback.calls.empty()); // stopped: no change reaches the player
}

// The guards are the states update-commands gives: what is disabled does nothing.
TEST_F(MainControllerTest, DisabledCommandsChangeNothing) {
    controller.command(kCmdClearButton); // the default tone
    EXPECT_EQ(view.rowsShown, 0);
    controller.command(kCmdDeleteTone); // nothing selected
    EXPECT_EQ(view.rowsShown, 0);
    controller.command(kCmdAddTone);
    controller.command(kCmdFixedLength); // rows: two frequencies and the length
    controller.select({2});
    controller.command(kCmdDeleteTone); // the length row first on a fixed-length tone
    EXPECT_EQ(controller.tone().toneCount, 2);
    controller.select({1});
    controller.command(kCmdDeleteTone);
    EXPECT_EQ(controller.tone().toneCount, 1);
    controller.select({0});
    controller.command(kCmdDeleteTone); // never below one tone
    EXPECT_EQ(controller.tone().toneCount, 1);
    controller.command(kCmdAddTone);
    controller.command(kCmdClear);
    EXPECT_EQ(controller.tone().toneCount, 1);
    controller.command(static_cast<std::uint16_t>(kCmdWaveformFirst + static_cast<int>(PinkNoise)));
    const int shown = view.rowsShown;
    controller.command(kCmdAddTone); // a noise has one tone
    controller.select({0});
    controller.command(kCmdRaise); // an endless noise has no value to step
    EXPECT_EQ(view.rowsShown, shown);
    EXPECT_TRUE(view.rowTexts.empty());
    EXPECT_EQ(controller.tone().toneCount, 1);
}

TEST_F(MainControllerTest, StepsRewriteTheSelectedRowsAndReadTheStepSettings) {
    controller.command(kCmdAddTone);
    controller.select({0, 1});
    controller.command(kCmdRaise);
    EXPECT_EQ(values(), (std::vector<std::u16string>{u"466.16Hz", u"466.16Hz"}));
    EXPECT_EQ(view.rowTexts, (std::vector<int>{0, 1}));
    settings.writeBool(u"settings", u"semitone increment", false);
    settings.writeText(u"settings", u"frequency increment step", u"10");
    controller.select({1});
    controller.command(kCmdLower);
    EXPECT_EQ(values(), (std::vector<std::u16string>{u"466.16Hz", u"456.16Hz"}));
    controller.select({7}); // a selection the rows no longer have is passed over
    controller.command(kCmdRaiseLarge);
    EXPECT_EQ(view.rowTexts.size(), 3u);
}

TEST_F(MainControllerTest, EditValueAsksForRowsOrTheListOrNothing) {
    EXPECT_EQ(controller.editTarget(), EditTarget::None); // nothing selected
    controller.command(kCmdEditValue);
    EXPECT_EQ(view.edits, 0);
    controller.select({0});
    EXPECT_EQ(controller.editTarget(), EditTarget::Rows);
    controller.command(kCmdGridEdit);
    EXPECT_EQ(view.edits, 1);
    controller.command(static_cast<std::uint16_t>(kCmdWaveformFirst + static_cast<int>(WhiteNoise)));
    EXPECT_EQ(controller.editTarget(), EditTarget::None); // an endless noise has nothing to type
    controller.command(kCmdEditValue);
    EXPECT_EQ(view.edits, 1);
    controller.command(kCmdFixedLength);
    EXPECT_EQ(controller.editTarget(), EditTarget::Rows); // its length
    controller.tone().waveform = FromList;
    controller.select({});
    EXPECT_EQ(controller.editTarget(), EditTarget::List); // whatever is selected
    controller.command(kCmdEditValue);
    EXPECT_EQ(view.edits, 2);
}

TEST_F(MainControllerTest, TypedValuesGoToTheSelectedRowsAndPlayingTonesChangeLive) {
    controller.command(kCmdAddTone);
    playback.ownGuid = true;
    startPlaying();
    controller.select({1});
    std::vector<std::u16string> titles;
    controller.editSelected([&](const std::u16string& title, const std::u16string&, const std::u16string&) {
        titles.push_back(title);
        return std::optional<std::u16string>(u"1000");
    });
    EXPECT_EQ(titles, std::vector<std::u16string>{u"正弦波 2 周波数"});
    EXPECT_EQ(controller.tone().leftStartHz[1], 1000.0);
    EXPECT_EQ(view.rowTexts, std::vector<int>{1});
    EXPECT_EQ(playback.calls, std::vector<std::string>{"live"});
    controller.editSelected([](const std::u16string&, const std::u16string&, const std::u16string&) {
        return std::optional<std::u16string>(); // cancelled: nothing stored, nothing played
    });
    EXPECT_EQ(playback.calls, std::vector<std::string>{"live"});
}

// Only a device with a GUID of its own takes a new source while playing.
TEST_F(MainControllerTest, AChangeRestartsPlaybackUnlessTheDeviceHasItsOwnGuid) {
    controller.setVolumeFromSlider(50);
    EXPECT_EQ(controller.volume(), -24);
    startPlaying();
    controller.command(kCmdLoop);
    EXPECT_EQ(playback.calls, (std::vector<std::string>{"stop", "start", "volume"}));
    EXPECT_EQ(playback.volumes.back(), -24); // a new buffer starts at full volume
    playback.calls.clear();
    playback.ownGuid = true;
    controller.command(kCmdLoop);
    EXPECT_EQ(playback.calls, std::vector<std::string>{"live"});
    playback.calls.clear();
    playback.ownGuid = false;
    playback.startWorks = false;
    view.silences.clear();
    controller.command(kCmdAddTone);
    EXPECT_EQ(playback.calls, (std::vector<std::string>{"stop", "start"}));
    EXPECT_EQ(view.silences, std::vector<int>{1});
    playback.calls.clear();
    controller.command(kCmdAddTone); // stopped now: the change stays in the tone
    EXPECT_TRUE(playback.calls.empty());
    EXPECT_TRUE(notice.shown.empty()); // a failed restart says nothing
}

TEST_F(MainControllerTest, PlayOpensTheStoredDeviceAndAFailedStartSaysSo) {
    controller.setVolumeFromSlider(100);
    playback.calls.clear();
    EXPECT_FALSE(controller.deviceSelected());
    settings.writeText(u"Settings", u"SampleRate", u"7"); // an index into the options' list
    controller.command(kCmdPlayStop);
    EXPECT_TRUE(controller.deviceSelected());
    EXPECT_EQ(playback.rates, std::vector<int>{48000});
    EXPECT_EQ(playback.calls, (std::vector<std::string>{"select", "start", "volume"}));
    controller.command(kCmdPlayStop);
    EXPECT_FALSE(playback.isPlaying);
    EXPECT_EQ(view.silences, std::vector<int>{1});
    playback.startWorks = false;
    playback.calls.clear();
    controller.command(kCmdPlayStop);
    EXPECT_EQ(playback.calls, (std::vector<std::string>{"select", "start"}));
    ASSERT_EQ(notice.shown.size(), 1u);
    EXPECT_EQ(notice.shown[0].caption, texts::kStartFailedCaption);
    EXPECT_EQ(notice.shown[0].text, texts::kStartFailed);
    // at start-up the device's own volume is the slider's
    playback.deviceVolume = -60;
    controller.selectStoredDevice();
    EXPECT_EQ(controller.volume(), -48);
    EXPECT_EQ(controller.sliderPosition(), 0);
}

TEST_F(MainControllerTest, OptionsStopPlaybackOnlyWithOkAndAlwaysRewriteTheStatus) {
    startPlaying();
    controller.command(kCmdOptions);
    EXPECT_TRUE(playback.isPlaying);
    view.optionsAnswer = true;
    controller.command(kCmdOptions);
    EXPECT_FALSE(playback.isPlaying);
    EXPECT_EQ(view.optionsShown, 2);
    EXPECT_EQ(view.statusShown, 2);
    settings.writeText(u"Settings", u"SampleRate", u"5");
    EXPECT_EQ(controller.sampleRateStatus(), u" サンプルレート 32000 Hz（*値を上げてエイリアシングを防ぐ）");
}

TEST_F(MainControllerTest, HostCommandsReachTheView) {
    for (std::uint16_t id : {kCmdSaveTone, kCmdOpenTone, kCmdSaveToneAs, kCmdNewList, kCmdOpenList,
                             kCmdSaveList, kCmdSaveWav, kCmdEditInCantrel, kCmdOpenListToolbar})
        controller.command(id);
    EXPECT_EQ(view.fileCommands,
              (std::vector<std::uint16_t>{1110, 1111, 1112, 1113, 1114, 1115, 1116, 1117, 2122}));
    controller.command(kCmdHelp);
    EXPECT_EQ(view.helps, 1);
    view.slider = 0;
    controller.command(kCmdVolume);
    EXPECT_EQ(controller.volume(), -48);
    EXPECT_EQ(playback.volumes, std::vector<int>{-48});
}

TEST_F(MainControllerTest, TheNoteWindowShowsForPeriodicTonesAsTheUserLeftIt) {
    EXPECT_TRUE(controller.noteWindowEnabled());
    EXPECT_TRUE(controller.noteWindowExpanded());
    EXPECT_TRUE(controller.toggleNoteWindow());
    EXPECT_FALSE(controller.noteWindowExpanded());
    EXPECT_FALSE(settings.readBool(u"Settings", u"ShowNoteWindow", true));
    EXPECT_TRUE(controller.toggleNoteWindow());
    EXPECT_TRUE(settings.readBool(u"Settings", u"ShowNoteWindow", false));
    controller.command(static_cast<std::uint16_t>(kCmdWaveformFirst + static_cast<int>(PinkNoise)));
    EXPECT_FALSE(controller.noteWindowEnabled());
    EXPECT_FALSE(controller.noteWindowExpanded());
    settings.deleteValue(u"Settings", u"ShowNoteWindow");
    EXPECT_FALSE(controller.toggleNoteWindow()); // a noise: the setting stays as it was
    EXPECT_FALSE(settings.hasValue(u"Settings", u"ShowNoteWindow"));
    controller.command(kCmdWaveformFirst);
    EXPECT_TRUE(controller.noteWindowExpanded());
    // hidden at the last start: hidden at this one
    settings.writeBool(u"Settings", u"ShowNoteWindow", false);
    MainController next(settings, playback, view);
    EXPECT_TRUE(next.noteWindowEnabled());
    EXPECT_FALSE(next.noteWindowExpanded());
}

// A list tone is as long as its list plays once: a looping one is measured unlooped.
TEST_F(MainControllerTest, AListTonesLengthIsItsListPlayedOnce) {
    TempDir dir;
    const std::u16string list = dir.path(u"l.tdl");
    ASSERT_TRUE(writeToneList(list, {u"100ミリ秒の無音。", u"250ミリ秒の無音。"}));
    ToneData& t = controller.tone();
    t.waveform = FromList;
    t.flags = ToneFlagFixedLength;
    t.loop = 1;
    t.lengthMs = 7;
    setListPath(t, list);
    controller.applyToneChange();
    EXPECT_EQ(t.lengthMs, 350u);
    EXPECT_EQ(t.loop, 1);
    EXPECT_EQ(controller.rows().size(), 2u); // a row for each line of the list
}

TEST_F(MainControllerTest, AFrequencyGoesToTheFirstSelectedRow) {
    controller.command(kCmdAddTone);
    controller.select({1, 0});
    controller.setFrequency(220);
    EXPECT_EQ(controller.tone().leftStartHz[1], 220.0);
    EXPECT_EQ(controller.tone().leftStartHz[0], 440.0);
    controller.select({});
    controller.setFrequency(1000);
    EXPECT_EQ(controller.tone().leftStartHz[0], 1000.0); // tone 1 when nothing is selected
}

TEST(MainControllerMenus, RadioItemsAreTheCountsKindsChannelsAndWaveforms) {
    for (std::uint16_t id : {3001, 3016, 2104, 2107, 2108, 2109, 2111, 2121})
        EXPECT_TRUE(isRadioItem(id)) << id;
    for (std::uint16_t id : {3000, 3017, 2103, 2110, 2122, 105, 117})
        EXPECT_FALSE(isRadioItem(id)) << id;
}

// --- placement ----------------------------------------------------------------------------

class MainControllerPlacement : public MainControllerTest {
protected:
    static constexpr int kW = 800, kH = 600;
    const Rect screen{0, 0, 1920, 1080};
};

// With the taskbar on the left or at the top the work area does not start at the
// screen's corner: the placement's rectangle is relative to the work area, the stored
// one to the screen, and a window comes back where it was.
TEST_F(MainControllerPlacement, ACentredWindowIsCentredOnTheWorkAreaWhereverTheTaskbarIs) {
    for (const Rect work : {Rect{120, 0, 1920, 1080}, Rect{0, 90, 1920, 1080}}) {
        SCOPED_TRACE(work.left ? "taskbar on the left" : "taskbar at the top");
        const std::vector<MonitorArea> monitors{{screen, work}};
        for (const SettingKey key : {keys::kWindowX, keys::kWindowY, keys::kWindowWidth, keys::kWindowHeight})
            settings.deleteValue(key);
        const Placement p = controller.placementToRestore(kW, kH, work, monitors);
        // on the screen it is centred on the work area
        const int left = work.left + (work.width() - kW) / 2, top = work.top + (work.height() - kH) / 2;
        EXPECT_EQ(p.window,
                  (Rect{left - work.left, top - work.top, left - work.left + kW, top - work.top + kH}));
        controller.storePlacement(p.window, false, monitors);
        EXPECT_EQ(settings.readInt(keys::kWindowX, -1), left);
        EXPECT_EQ(settings.readInt(keys::kWindowY, -1), top);
        EXPECT_EQ(settings.readInt(keys::kWindowWidth, -1), kW);
        EXPECT_EQ(settings.readText(keys::kWindowMaximized, u""), u"0");
        // and it comes back there
        EXPECT_EQ(controller.placementToRestore(kW, kH, work, monitors).window, p.window);
    }
}

TEST_F(MainControllerPlacement, StoredValuesAreReadWithTheirDefaults) {
    const std::vector<MonitorArea> monitors{{screen, screen}};
    settings.writeText(keys::kWindowWidth, u"-9999");
    settings.writeText(keys::kWindowHeight, u"abc");
    settings.writeBool(keys::kWindowMaximized, true);
    settings.writeInt(keys::kWindowX, 10);
    settings.writeInt(keys::kWindowY, 20);
    const Placement p = controller.placementToRestore(kW, kH, screen, monitors);
    EXPECT_TRUE(p.maximized);
    EXPECT_EQ(p.window, (Rect{10, 20, 10 + kW, 20 + kH})); // the minimum is the default size
}

TEST(Workspace, TheMonitorIsTheOneOverlappedMostElseThePrimaryOne) {
    const std::vector<MonitorArea> monitors{{{-1280, 0, 0, 1024}, {-1280, 0, 0, 984}},
                                            {{0, 0, 1920, 1080}, {100, 0, 1920, 1080}}};
    EXPECT_EQ(monitorOf({-1000, 10, -100, 500}, monitors), &monitors[0]);
    EXPECT_EQ(monitorOf({-300, 10, 1000, 500}, monitors), &monitors[1]);
    EXPECT_EQ(monitorOf({5000, 5000, 5100, 5100}, monitors), &monitors[1]); // off both: the primary
    EXPECT_EQ(monitorOf({0, 0, 1, 1}, {}), nullptr);
    EXPECT_EQ(screenToWorkspace({200, 50, 300, 150}, monitors), (Rect{100, 50, 200, 150}));
    EXPECT_EQ(workspaceToScreen({100, 50, 200, 150}, monitors), (Rect{200, 50, 300, 150}));
    EXPECT_EQ(screenToWorkspace({-900, 50, -800, 150}, monitors), (Rect{-900, 50, -800, 150}));
}

} // namespace
} // namespace sonimo
