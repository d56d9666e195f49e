// The real main window under Wine, created as the program creates it, checked by what it
// shows: grid texts, menu texts and states, toolbar states, status texts, layout.
#include <gtest/gtest.h>

#include <thread>

#include "UiTestSupport.h"
#include "tone/ToneData.h"
#include "tone/ToneList.h"
#include "ui/CommandIds.h"
#include "ui/CommandTables.h"
#include "ui/MeterAndVolume.h"
#include "ui/NoteTable.h"

namespace sonimo::test {
namespace {

std::uint16_t waveformCommand(int waveform) {
    return static_cast<std::uint16_t>(kCmdWaveformFirst + waveform);
}

ToneData twoToneFixed() {
    ToneData t = defaultToneData();
    setToneCount(t, 2);
    t.leftStartHz[1] = 660;
    setKind(t, ToneKind::ConstantFixed);
    t.lengthMs = 3000;
    return t;
}

TEST_F(MainWindowTest, StartsWithTheStoredToneInTheGridAndRowZeroSelected) {
    writeCurrentTone(twoToneFixed());
    start();
    EXPECT_EQ(gridTexts(0),
              (std::vector<std::u16string>{u"正弦波 1 周波数", u"正弦波 2 周波数", u"正弦波長さ"}));
    EXPECT_EQ(gridTexts(1), (std::vector<std::u16string>{u"440.00Hz", u"660.00Hz", u"3000ms"}));
    EXPECT_EQ(window->selectedRows(), std::vector<int>{0});
    EXPECT_EQ(GetFocus(), window->grid());
    EXPECT_TRUE(notice.shown.empty());
    wchar_t caption[100] = {};
    GetWindowTextW(window->hwnd(), caption, 100);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(caption)), u"Sonimoテスト信号生成ソフト");
}

TEST_F(MainWindowTest, ABrokenCurrentToneFileStartsTheDefaultToneSilently) {
    const std::vector<std::vector<unsigned char>> images = {
        {1, 2, 3}, std::vector<unsigned char>(1057, 0xFF), std::vector<unsigned char>(5000, 0x41)};
    for (const auto& image : images) {
        ASSERT_TRUE(writeAll(currentTdf(), image));
        start();
        EXPECT_EQ(gridTexts(1), std::vector<std::u16string>{u"440.00Hz"});
        window.reset();
        pump(nullptr);
    }
    EXPECT_TRUE(notice.shown.empty());
}

TEST_F(MainWindowTest, MenuBarHasThreePopupsAndHelpWithShortcutTexts) {
    start();
    EXPECT_EQ(GetMenuItemCount(menu()), 4); // the template's placeholder is gone
    EXPECT_EQ(menuText(kCmdHelp), u"Sonimoのヘルプ\tF1");
    SendMessageW(window->hwnd(), WM_COMMAND, MAKEWPARAM(kCmdHelp, 0), 0); // as the menu sends it
    EXPECT_EQ(host.helps, 1);
    const std::u16string o = keyDisplayName({'O', kModCtrl, 0}, systemKeyName);
    ASSERT_GT(o.size(), 5u) << "the system gives no name for the O key";
    EXPECT_EQ(menuText(kCmdOptions), u"オプション...\t" + o);
    EXPECT_EQ(o, u"Ctrl+" + systemKeyName('O', false));
    EXPECT_EQ(menuText(kCmdPlayStop), u"再生/停止\t" + systemKeyName(kVkSpace, false));
    EXPECT_EQ(menuText(kCmdRaise), u"値を上げる\t" + systemKeyName(kVkAdd, false));
    EXPECT_EQ(menuText(kCmdOpenTone), u"トーンを読み込む...");
    EXPECT_EQ(menuText(3016), u"16");
    EXPECT_EQ(menuText(kCmdLoop), u"ループ再生");
}

TEST_F(MainWindowTest, CommandsEditTheToneAndTheWindowShowsTheirStates) {
    start();
    window->command(3003);
    EXPECT_EQ(gridTexts(0).size(), 3u);
    EXPECT_TRUE(menuChecked(3003));
    EXPECT_FALSE(menuChecked(3001));
    window->command(kCmdKindLogSweep);
    EXPECT_TRUE(menuChecked(kCmdKindLogSweep));
    EXPECT_TRUE(toolbarPressed(valueToolbar(), kCmdKindLogSweep));
    EXPECT_EQ(gridTexts(0)[1], u"正弦波 1 終了周波数");
    window->command(kCmdStereo);
    EXPECT_TRUE(menuChecked(kCmdStereo));
    EXPECT_TRUE(toolbarPressed(valueToolbar(), kCmdToggleStereo));
    EXPECT_EQ(gridTexts(0)[2], u"正弦波 1 右開始周波数");
    window->command(kCmdToggleStereo);
    EXPECT_TRUE(menuChecked(kCmdMono));
    window->command(kCmdRelativeAmplitude);
    EXPECT_TRUE(menuChecked(kCmdRelativeAmplitude));
    EXPECT_EQ(gridTexts(1)[2], u"0dB");
    window->command(kCmdFixedLength); // fixed-length sweep becomes endless
    EXPECT_TRUE(menuChecked(kCmdKindContinuous));
    EXPECT_FALSE(toolbarPressed(valueToolbar(), kCmdFixedLength));
    window->command(kCmdLoop); // loop on a continuous tone makes it fixed-length
    EXPECT_TRUE(menuChecked(kCmdKindFixed));
    EXPECT_TRUE(menuChecked(kCmdLoop));
    EXPECT_TRUE(toolbarPressed(valueToolbar(), kCmdLoop));
    window->command(kCmdKindLinearSweep);
    EXPECT_TRUE(toolbarPressed(valueToolbar(), kCmdKindLinearSweep));
    window->command(kCmdKindContinuous);
    EXPECT_FALSE(window->tone().flags & ToneFlagFixedLength);
    window->command(kCmdMono);
    window->command(kCmdUpdateOnly);
    EXPECT_EQ(window->tone().toneCount, 3);
}

TEST_F(MainWindowTest, PinkNoiseCollapsesTheNoteWindowAndSineExpandsItAgain) {
    start();
    ASSERT_TRUE(window->noteWindow().expanded());
    window->command(waveformCommand(PinkNoise));
    EXPECT_FALSE(window->noteWindow().expanded());
    EXPECT_FALSE(window->noteWindow().enabled());
    EXPECT_EQ(gridTexts(0), std::vector<std::u16string>{u"ピンクノイズ"});
    EXPECT_FALSE(menuEnabled(3002));
    EXPECT_TRUE(menuChecked(3001));
    EXPECT_TRUE(toolbarPressed(valueToolbar(), 2117));
    EXPECT_FALSE(toolbarEnabled(valueToolbar(), kCmdRaise));
    EXPECT_FALSE(IsWindowEnabled(window->control(kCmdAddTone)));
    EXPECT_TRUE(settings.readBool(u"Settings", u"ShowNoteWindow", true)); // the setting is kept
    // grey noise to impulse, every waveform through its command
    for (int w = GreyNoise; w >= Sine; --w) {
        window->command(static_cast<std::uint16_t>(kCmdWaveformFirst + w));
        EXPECT_EQ(window->tone().waveform, w);
        EXPECT_TRUE(menuChecked(kCmdWaveformFirst + w)) << w;
    }
    EXPECT_TRUE(window->noteWindow().expanded());
    EXPECT_TRUE(window->noteWindow().enabled());
}

TEST_F(MainWindowTest, TheHeaderToggleCollapsesTheNoteWindowAndRemembersIt) {
    start();
    const RECT before = childRect(window->grid());
    SendMessageW(window->hwnd(), kChildNotifyBase + kNotifyNoteWindowToggle, 0, 0);
    EXPECT_FALSE(window->noteWindow().expanded());
    EXPECT_FALSE(settings.readBool(u"Settings", u"ShowNoteWindow", true));
    EXPECT_GT(childRect(window->grid()).bottom, before.bottom); // the grid takes the room
    SendMessageW(window->hwnd(), kChildNotifyBase + kNotifyNoteWindowToggle, 0, 0);
    EXPECT_TRUE(window->noteWindow().expanded());
    EXPECT_TRUE(settings.readBool(u"Settings", u"ShowNoteWindow", false));
}

TEST_F(MainWindowTest, AHiddenNoteWindowStaysHiddenAtTheNextStart) {
    settings.writeBool(u"Settings", u"ShowNoteWindow", false);
    start();
    EXPECT_FALSE(window->noteWindow().expanded());
    EXPECT_TRUE(window->noteWindow().enabled());
}

// The window's own state at start-up, for a tone of each kind restored from current.tdf:
// enabled and its height as the note window shows, not a flag kept beside it.
TEST_F(MainWindowTest, TheNoteWindowStartsDisabledAndCollapsedForANoiseOrAListTone) {
    const std::u16string list = dir.path(u"l.tdl");
    ASSERT_TRUE(writeToneList(list, {u"100ミリ秒の無音。"}));
    ToneData noise = defaultToneData(), listTone = defaultToneData();
    setWaveform(noise, PinkNoise);
    listTone.waveform = FromList;
    listTone.flags = ToneFlagFixedLength;
    setListPath(listTone, list);
    struct Case {
        const char* name;
        ToneData tone;
        bool periodic;
    };
    for (const Case& c : {Case{"sine", defaultToneData(), true}, Case{"pink noise", noise, false},
                          Case{"list", listTone, false}}) {
        SCOPED_TRACE(c.name);
        writeCurrentTone(c.tone);
        start();
        window->restorePlacement();
        pump(window.get(), 50);
        NoteWindow& notes = window->noteWindow();
        EXPECT_EQ(IsWindowEnabled(notes.hwnd()) != FALSE, c.periodic);
        EXPECT_EQ(IsWindowEnabled(notes.noteButton(57)) != FALSE, c.periodic);
        RECT r;
        GetClientRect(notes.hwnd(), &r);
        const int expected = notes.headerHeight() + (c.periodic ? notes.bodyHeight(r.right) : 0);
        EXPECT_EQ(r.bottom, expected);
        EXPECT_EQ(IsWindowVisible(GetParent(notes.scale().hwnd())) != FALSE, c.periodic);
        // the header of a disabled note window does not toggle the stored setting
        SendMessageW(notes.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 2));
        pump(window.get());
        EXPECT_EQ(settings.hasValue(u"Settings", u"ShowNoteWindow"), c.periodic);
        settings.deleteValue(u"Settings", u"ShowNoteWindow");
        window.reset();
        pump(nullptr);
    }
}

TEST_F(MainWindowTest, NoteButtonA4SetsTheSelectedRowOrTheStartsOfTheAmplitudeRowsTone) {
    ToneData t = defaultToneData();
    setToneCount(t, 4);
    toggleRelativeAmplitude(t);
    writeCurrentTone(t);
    start();
    window->selectRows({2}); // tone 2's frequency
    SendMessageW(window->noteWindow().noteButton(kNoteA4 - 12), BM_CLICK, 0, 0);
    EXPECT_EQ(window->tone().leftStartHz[1], 220.0);
    EXPECT_EQ(gridTexts(1)[2], u"220.00Hz");
    EXPECT_EQ(window->noteWindow().scale().value(), 220.0);
    EXPECT_EQ(window->selectedRows(), std::vector<int>{2});
    window->selectRows({5}); // tone 3's relative amplitude
    SendMessageW(window->noteWindow().noteButton(kNoteA4), BM_CLICK, 0, 0);
    EXPECT_EQ(window->tone().leftStartHz[2], 440.0);
    EXPECT_EQ(window->tone().rightStartHz[2], 440.0);
    EXPECT_EQ(window->tone().relativeAmplitudeDb[2], 0);
    EXPECT_EQ(window->noteWindow().scale().value(), 440.0);
    // the scale follows a selected frequency row
    window->selectRows({2});
    pump(window.get());
    EXPECT_EQ(window->noteWindow().scale().value(), 220.0);
}

TEST_F(MainWindowTest, StepsRewriteTheSelectedRowsAndReadTheStepSettings) {
    writeCurrentTone(twoToneFixed());
    start();
    window->selectRows({0, 2});
    window->command(kCmdRaise);
    EXPECT_EQ(gridTexts(1), (std::vector<std::u16string>{u"466.16Hz", u"660.00Hz", u"4000ms"}));
    window->command(kCmdLowerLarge);
    EXPECT_EQ(gridTexts(1), (std::vector<std::u16string>{u"233.08Hz", u"660.00Hz", u"3500ms"}));
    settings.writeBool(u"settings", u"semitone increment", false);
    settings.writeText(u"settings", u"frequency increment step", u"10");
    window->command(kCmdLower);
    EXPECT_EQ(gridTexts(1), (std::vector<std::u16string>{u"223.08Hz", u"660.00Hz", u"2500ms"}));
    window->command(kCmdRaiseLarge);
    EXPECT_EQ(gridTexts(1)[0], u"446.16Hz");
    EXPECT_EQ(window->selectedRows(), (std::vector<int>{0, 2}));
}

TEST_F(MainWindowTest, KeysIssueTheirCommandsOncePerPress) {
    writeCurrentTone(twoToneFixed());
    start();
    EXPECT_TRUE(pressKey(*window, VK_ADD));
    EXPECT_EQ(gridTexts(1)[0], u"466.16Hz");
    pressKey(*window, VK_ADD, false, true); // held down: no second raise
    pressKey(*window, VK_ADD, false, true);
    EXPECT_EQ(gridTexts(1)[0], u"466.16Hz");
    EXPECT_TRUE(pressKey(*window, VK_SUBTRACT));
    EXPECT_EQ(gridTexts(1)[0], u"440.00Hz");
    EXPECT_TRUE(pressKey(*window, VK_PRIOR));
    EXPECT_EQ(gridTexts(1)[0], u"880.00Hz");
    EXPECT_TRUE(pressKey(*window, VK_NEXT));
    EXPECT_EQ(gridTexts(1)[0], u"440.00Hz");
    EXPECT_TRUE(pressKey(*window, 'A', true));
    EXPECT_EQ(window->tone().toneCount, 3);
    EXPECT_EQ(window->selectedRows(), std::vector<int>{3}); // adding selects the last row
    EXPECT_EQ(gridTexts(0)[2], u"正弦波 3 周波数");
    pressKey(*window, 'A'); // without Ctrl, A is not in the table
    EXPECT_EQ(window->tone().toneCount, 3);
    window->selectRows({1});
    EXPECT_TRUE(pressKey(*window, VK_DELETE));
    EXPECT_EQ(window->tone().toneCount, 2);
    EXPECT_TRUE(pressKey(*window, VK_RETURN));
    EXPECT_EQ(host.edits, 1);
    EXPECT_TRUE(pressKey(*window, 'S', true));
    EXPECT_TRUE(pressKey(*window, 'E', true));
    EXPECT_EQ(host.fileCommands, (std::vector<std::uint16_t>{kCmdSaveTone, kCmdEditInCantrel}));
    EXPECT_TRUE(pressKey(*window, 'O', true));
    EXPECT_EQ(host.optionsShown, 1);
    EXPECT_TRUE(pressKey(*window, 'C', true)); // differs from the default: cleared
    EXPECT_EQ(window->tone().toneCount, 1);
    EXPECT_FALSE(window->tone().flags & ToneFlagFixedLength);
    EXPECT_TRUE(pressKey(*window, 'C', true)); // the default tone: nothing happens
    EXPECT_EQ(gridTexts(1), std::vector<std::u16string>{u"440.00Hz"});
}

TEST_F(MainWindowTest, DeleteWithTheLengthRowSelectedDeletesNothing) {
    ToneData t = twoToneFixed();
    setToneCount(t, 4);
    for (int i = 0; i < 4; ++i)
        t.leftStartHz[i] = 100 * (i + 1);
    writeCurrentTone(t);
    start();
    window->selectRows({4});
    EXPECT_FALSE(IsWindowEnabled(window->control(kCmdDeleteTone)));
    window->command(kCmdDeleteTone);
    EXPECT_EQ(window->tone().toneCount, 4);
    window->selectRows({1});
    pump(window.get());
    EXPECT_TRUE(IsWindowEnabled(window->control(kCmdDeleteTone)));
    window->command(kCmdDeleteTone);
    EXPECT_EQ(window->tone().toneCount, 3);
    EXPECT_EQ(gridTexts(1), (std::vector<std::u16string>{u"100.00Hz", u"300.00Hz", u"400.00Hz", u"3000ms"}));
    EXPECT_EQ(window->selectedRows(), std::vector<int>{1});
}

TEST_F(MainWindowTest, ClearAndItsButtonFollowTheDefaultTone) {
    start();
    EXPECT_FALSE(IsWindowEnabled(window->control(kCmdClearButton)));
    EXPECT_FALSE(toolbarEnabled(mainToolbar(), kCmdClear));
    window->command(kCmdAddTone);
    EXPECT_TRUE(IsWindowEnabled(window->control(kCmdClearButton)));
    EXPECT_TRUE(toolbarEnabled(mainToolbar(), kCmdClear));
    window->command(kCmdClearButton);
    EXPECT_EQ(window->tone().toneCount, 1);
    EXPECT_FALSE(IsWindowEnabled(window->control(kCmdClearButton)));
}

// The window hands the file, edit and help commands to its host.
TEST_F(MainWindowTest, FileDialogAndHelpCommandsReachTheHost) {
    start();
    for (std::uint16_t id : {kCmdSaveTone, kCmdOpenTone, kCmdSaveToneAs, kCmdNewList, kCmdOpenList,
                             kCmdSaveList, kCmdSaveWav, kCmdEditInCantrel, kCmdOpenListToolbar})
        window->command(id);
    EXPECT_EQ(host.fileCommands,
              (std::vector<std::uint16_t>{1110, 1111, 1112, 1113, 1114, 1115, 1116, 1117, 2122}));
    // (when "edit value" asks at all is the controller's: MainControllerTest)
    window->command(kCmdGridEdit);
    window->command(kCmdEditValue);
    EXPECT_EQ(host.edits, 2);
    window->command(kCmdHelp);
    EXPECT_EQ(host.helps, 1);
    window->command(4242); // unknown ids are ignored
}

TEST_F(MainWindowTest, F1AndTheSystemsHelpMessageAskForHelp) {
    start();
    EXPECT_TRUE(pressKey(*window, VK_F1));
    EXPECT_EQ(host.helps, 1);
    EXPECT_TRUE(pressKey(*window, VK_F1, false, true)); // held: once
    EXPECT_EQ(host.helps, 1);
    HELPINFO info{};
    info.cbSize = sizeof info;
    info.iContextType = HELPINFO_WINDOW;
    SendMessageW(window->hwnd(), WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(host.helps, 2);
}

// A valid file of no tones plays silence: the grid shows no frequency either.
TEST_F(MainWindowTest, AToneOfNoTonesShowsNoFrequencyRows) {
    ToneData t = twoToneFixed();
    t.toneCount = 0;
    writeCurrentTone(t);
    start();
    EXPECT_EQ(window->tone().toneCount, 0);
    EXPECT_EQ(gridTexts(0), std::vector<std::u16string>{u"正弦波長さ"});
    window->command(kCmdAddTone); // the first tone comes back
    EXPECT_EQ(gridTexts(0), (std::vector<std::u16string>{u"正弦波 1 周波数", u"正弦波長さ"}));
}

TEST_F(MainWindowTest, AFailedStartSaysSoAndStaysStopped) {
    settings.writeText(u"Player", u"Device", u"[ASIO] Nothing");
    start();
    window->command(kCmdPlayStop);
    EXPECT_TRUE(window->player().IsStopped());
    ASSERT_EQ(notice.shown.size(), 1u);
    EXPECT_EQ(notice.shown[0].caption, u"音声再生エラー");
    EXPECT_EQ(notice.shown[0].text, u"再生を開始できません。\r\n\r\nサウンドカードが他のプログラムで使われて"
                                    u"いるか、正しい再生設定の正しい"
                                    u"音声再生デバイスが選択されていないことが原因と思われます。");
    EXPECT_EQ(notice.shown[0].icon, NoticeIcon::Information);
    EXPECT_FALSE(toolbarEnabled(mainToolbar(), kCmdStop));
}

TEST_F(MainWindowTest, TheEndOfTheSessionClosesTheWindowAndStoresTheTone) {
    start();
    window->command(kCmdAddTone);
    SendMessageW(window->hwnd(), WM_ENDSESSION, FALSE, 0); // the session goes on
    EXPECT_NE(window->hwnd(), nullptr);
    SendMessageW(window->hwnd(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_EQ(window->hwnd(), nullptr);
    ToneData saved{};
    ASSERT_TRUE(loadToneFile(saved, currentTdf()));
    EXPECT_EQ(saved.toneCount, 2);
    EXPECT_TRUE(settings.hasValue(u"MainWindow", u"Width"));
}

// After every command the focus is back on the grid with the rows that were selected
// (adding a tone selects the new last row).
TEST_F(MainWindowTest, EveryCommandGivesTheFocusBackToTheGrid) {
    writeCurrentTone(twoToneFixed());
    start();
    window->restorePlacement();
    pump(window.get(), 50);
    const std::uint16_t commands[] = {kCmdRaise,
                                      kCmdLower,
                                      kCmdLoop,
                                      kCmdStereo,
                                      kCmdMono,
                                      kCmdRelativeAmplitude,
                                      waveformCommand(Square),
                                      kCmdKindLinearSweep,
                                      kCmdAddTone};
    for (std::uint16_t id : commands) {
        SCOPED_TRACE(id);
        window->selectRows({1});
        SetFocus(window->control(kCmdClearButton));
        SendMessageW(window->hwnd(), WM_COMMAND, MAKEWPARAM(id, 0), 0);
        EXPECT_EQ(GetFocus(), window->grid());
        const int count = static_cast<int>(window->rows().size());
        EXPECT_EQ(window->selectedRows(), std::vector<int>{id == kCmdAddTone ? count - 1 : 1});
    }
}

// The grid's double-click edits the rows; its right-click opens the context menu.
TEST_F(MainWindowTest, TheGridsDoubleClickEditsAndItsRightClickOpensTheMenu) {
    start();
    window->restorePlacement();
    pump(window.get(), 50);
    RECT row{};
    row.left = LVIR_BOUNDS;
    SendMessageW(window->grid(), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
    const LPARAM at = MAKELPARAM(row.left + 10, (row.top + row.bottom) / 2);
    SendMessageW(window->grid(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(window->grid(), WM_LBUTTONUP, 0, at);
    SendMessageW(window->grid(), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    SendMessageW(window->grid(), WM_LBUTTONUP, 0, at);
    pump(window.get());
    EXPECT_EQ(host.edits, 1);
    // the menu is modal: a helper sees it and closes it with Esc
    bool menuShown = false;
    const HWND main = window->hwnd();
    std::thread user([&] {
        for (int i = 0; i < 500 && !menuShown; ++i) {
            HWND menu = FindWindowW(L"#32768", nullptr);
            menuShown = menu && IsWindowVisible(menu);
            if (!menuShown) Sleep(10);
        }
        for (int i = 0; i < 20 && FindWindowW(L"#32768", nullptr); ++i) {
            PostMessageW(main, WM_KEYDOWN, VK_ESCAPE, 0);
            Sleep(50);
        }
    });
    // the list view follows the button with a loop of its own until it sees the release
    PostMessageW(window->grid(), WM_RBUTTONUP, 0, at);
    SendMessageW(window->grid(), WM_RBUTTONDOWN, MK_RBUTTON, at);
    pump(window.get(), 200);
    user.join();
    EXPECT_TRUE(menuShown);
    EXPECT_EQ(host.edits, 1);
}

TEST_F(MainWindowTest, OptionsRewriteTheStatusBarAndOkStopsPlayback) {
    start();
    EXPECT_EQ(statusText(1), u" サンプルレート 44100 Hz");
    EXPECT_EQ(statusText(0).rfind(u"Sonimoテスト信号生成ソフト v4.00", 0), 0u);
    settings.writeText(u"Settings", u"SampleRate", u"5");
    host.optionsAnswer = false;
    window->command(kCmdOptions);
    EXPECT_EQ(statusText(1), u" サンプルレート 32000 Hz（*値を上げてエイリアシングを防ぐ）");
    settings.writeText(u"Settings", u"SampleRate", u"6");
    host.optionsAnswer = true;
    window->command(kCmdOptions);
    EXPECT_EQ(statusText(1), u" サンプルレート 44100 Hz");
    EXPECT_EQ(host.optionsShown, 2);
    EXPECT_TRUE(window->player().IsStopped());
}

TEST_F(MainWindowTest, WrongRegistryValuesGiveTheirDefaults) {
    settings.writeText(u"Settings", u"SampleRate", u"99");
    settings.writeText(u"MainWindow", u"Width", u"-9999");
    settings.writeText(u"MainWindow", u"Height", u"abc");
    settings.writeText(u"Player", u"Device", std::u16string(300, u'x'));
    start();
    EXPECT_EQ(statusText(1), u" サンプルレート 44100 Hz");
    window->restorePlacement();
    RECT r;
    GetWindowRect(window->hwnd(), &r);
    RECT def{0, 0, 532, 344};
    MapDialogRect(window->hwnd(), &def);
    EXPECT_GE(r.right - r.left, def.right); // the minimum is the default size
    EXPECT_GE(r.bottom - r.top, def.bottom);
    EXPECT_LE(r.right - r.left, def.right + 40);
}

TEST_F(MainWindowTest, AWindowStoredOffEveryMonitorComesBackOnTheDesktop) {
    settings.writeInt(u"MainWindow", u"X", 20000);
    settings.writeInt(u"MainWindow", u"Y", -20000);
    settings.writeInt(u"MainWindow", u"Width", 900);
    settings.writeInt(u"MainWindow", u"Height", 700);
    start();
    window->restorePlacement();
    RECT r, work;
    GetWindowRect(window->hwnd(), &r);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_GE(r.left, work.left);
    EXPECT_LE(r.right, work.right);
    EXPECT_GE(r.top, work.top);
    EXPECT_LE(r.bottom, work.bottom);
}

// With the taskbar on the left or at the top the work area does not start at the screen's
// corner: a window centred on it is centred there, and the place stored is on the screen.
TEST_F(MainWindowTest, ACentredWindowIsCentredOnTheWorkAreaWhereverTheTaskbarIs) {
    RECT screenWork;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &screenWork, 0);
    const int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    for (const RECT work : {RECT{120, 0, cx, cy}, RECT{0, 90, cx, cy}}) {
        SCOPED_TRACE(work.left ? "taskbar on the left" : "taskbar at the top");
        RECT set = work;
        ASSERT_TRUE(SystemParametersInfoW(SPI_SETWORKAREA, 0, &set, 0));
        RECT now;
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &now, 0);
        ASSERT_TRUE(EqualRect(&now, &work)) << "the work area could not be moved";
        settings.deleteValue(u"MainWindow", u"X");
        settings.deleteValue(u"MainWindow", u"Y");
        start();
        window->restorePlacement();
        RECT r;
        GetWindowRect(window->hwnd(), &r);
        EXPECT_NEAR(r.left - work.left, work.right - r.right, 1);
        EXPECT_NEAR(r.top - work.top, work.bottom - r.bottom, 1);
        SendMessageW(window->hwnd(), WM_CLOSE, 0, 0);
        pump(nullptr);
        EXPECT_EQ(settings.readInt(u"MainWindow", u"X", -1), r.left);
        EXPECT_EQ(settings.readInt(u"MainWindow", u"Y", -1), r.top);
        // and it comes back there
        window.reset();
        start();
        window->restorePlacement();
        RECT again;
        GetWindowRect(window->hwnd(), &again);
        EXPECT_EQ(again.left, r.left);
        EXPECT_EQ(again.top, r.top);
        window.reset();
    }
    SystemParametersInfoW(SPI_SETWORKAREA, 0, &screenWork, 0);
}

TEST_F(MainWindowTest, ClosingStoresTheToneAndThePlacement) {
    writeCurrentTone(twoToneFixed());
    start();
    window->restorePlacement();
    SetWindowPos(window->hwnd(), nullptr, 37, 41, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    window->command(kCmdRaise);
    SendMessageW(window->hwnd(), WM_CLOSE, 0, 0);
    pump(window.get());
    EXPECT_EQ(window->hwnd(), nullptr);
    ToneData saved{};
    ASSERT_TRUE(loadToneFile(saved, currentTdf()));
    EXPECT_EQ(saved.toneCount, 2);
    EXPECT_NEAR(saved.leftStartHz[0], 466.16, 0.01);
    EXPECT_EQ(settings.readInt(u"MainWindow", u"X", -1), 37);
    EXPECT_EQ(settings.readInt(u"MainWindow", u"Y", -1), 41);
    EXPECT_GT(settings.readInt(u"MainWindow", u"Width", 0), 500);
    EXPECT_EQ(settings.readText(u"MainWindow", u"Maximized", u""), u"0");
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) || true);
}

TEST_F(MainWindowTest, TheLayoutStacksTheChildrenInDialogUnits) {
    start();
    SetWindowPos(window->hwnd(), nullptr, 0, 0, 1000, 800, SWP_NOMOVE | SWP_NOZORDER);
    pump(window.get());
    const DialogUnits& du = window->units();
    const RECT grid = childRect(window->grid()), del = childRect(window->control(kCmdDeleteTone)),
               add = childRect(window->control(kCmdAddTone)), meter = childRect(window->levelMeter().hwnd()),
               status = childRect(window->statusBar()), notes = childRect(window->noteWindow().hwnd()),
               slider = childRect(window->volumeSlider().hwnd());
    RECT client;
    GetClientRect(window->hwnd(), &client);
    EXPECT_EQ(del.top - grid.bottom, du.y(4));
    EXPECT_EQ(del.bottom - del.top, du.y(14));
    EXPECT_EQ(add.left - del.right, du.x(4));
    EXPECT_EQ(del.right - del.left, add.right - add.left);
    EXPECT_EQ(notes.top - del.bottom, du.y(4));
    EXPECT_EQ(meter.top, notes.bottom);
    EXPECT_EQ(meter.bottom - meter.top, 35);
    EXPECT_EQ(status.top, meter.bottom);
    EXPECT_EQ(status.bottom, client.bottom);
    EXPECT_EQ(grid.right - grid.left, client.right);
    EXPECT_EQ(slider.left - status.left, 605);
    EXPECT_EQ(status.right - slider.right, 5);
    // the note buttons: twelve columns of width f - 3
    RECT c0, d0;
    GetWindowRect(window->noteWindow().noteButton(0), &c0);
    GetWindowRect(window->noteWindow().noteButton(2), &d0);
    EXPECT_EQ(d0.left - c0.left, 2 * (client.right / 12));
    EXPECT_EQ(c0.right - c0.left, client.right / 12 - 3);
    wchar_t name[8] = {};
    GetWindowTextW(window->noteWindow().noteButton(107), name, 8);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(name)), u"B8");
    EXPECT_EQ(GetDlgCtrlID(window->noteWindow().noteButton(107)), 2307);
    EXPECT_EQ(GetDlgCtrlID(window->noteWindow().scale().hwnd()), 2124);
    RECT scale;
    GetWindowRect(window->noteWindow().scale().hwnd(), &scale);
    EXPECT_EQ(scale.bottom - scale.top, 45);
}

TEST_F(MainWindowTest, TooltipsNameTheirKeys) {
    start();
    TOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.hwnd = window->hwnd();
    ti.uId = reinterpret_cast<UINT_PTR>(window->control(kCmdDeleteTone));
    wchar_t text[256] = {};
    ti.lpszText = text;
    SendMessageW(window->tooltips(), TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&ti));
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(text)),
              u"選択したトーンをトーン一覧から削除する (" + systemKeyName(kVkDelete, true) + u")");
    ti.uId = reinterpret_cast<UINT_PTR>(window->grid());
    SendMessageW(window->tooltips(), TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&ti));
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(text)), u"トーンの詳細（ダブルクリックで変更）");
    // toolbar buttons ask their parent
    NMTTDISPINFOW info{};
    info.hdr.hwndFrom = window->hwnd();
    info.hdr.idFrom = kCmdPlayStop;
    info.hdr.code = TTN_GETDISPINFOW;
    SendMessageW(window->hwnd(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(info.lpszText)),
              u"開始トーン (" + systemKeyName(kVkSpace, false) + u")");
    info.hdr.idFrom = 2115;
    SendMessageW(window->hwnd(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(info.lpszText)), u"インパルス列");
    info.hdr.idFrom = reinterpret_cast<UINT_PTR>(window->levelMeter().hwnd());
    SendMessageW(window->hwnd(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(info.lpszText)), u"現在のレベル：--dB");
}

TEST_F(MainWindowTest, TheContextMenuCarriesTheContextStates) {
    start();
    window->command(waveformCommand(PinkNoise));
    HMENU menu = window->buildContextMenu();
    auto enabled = [&](UINT id) {
        return !(GetMenuState(menu, id, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED));
    };
    EXPECT_FALSE(enabled(kCmdRaise));
    EXPECT_FALSE(enabled(kCmdMono));
    EXPECT_FALSE(enabled(3005));
    EXPECT_TRUE(GetMenuState(menu, 3001, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_TRUE(GetMenuState(menu, 2117, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_FALSE(enabled(kCmdClear)); // a noise of the default frequency counts as the default
    wchar_t text[64] = {};
    GetMenuStringW(menu, kCmdRaise, text, 64, MF_BYCOMMAND);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(text)), u"値を上げる"); // no shortcut texts here
    DestroyMenu(menu);
}

TEST_F(MainWindowTest, TheVolumeSliderSetsWholeDecibelSteps) {
    start();
    for (auto [position, volume] : {std::pair{50, -24}, std::pair{0, -48}, std::pair{100, 0}}) {
        window->volumeSlider().setPosition(position);
        SendMessageW(window->volumeSlider().hwnd(), WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position),
                     reinterpret_cast<LPARAM>(window->volumeSlider().trackbar()));
        EXPECT_EQ(window->volume(), volume) << position;
    }
}

TEST_F(MainWindowTest, TheLevelMeterFillsItsBarsByLevel) {
    const int width = 612, height = 35;
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bmp);
    const int levels[2] = {0, -24};
    LevelMeter::paintMeter(dc, RECT{0, 0, width, height}, levels, 2);
    GdiFlush();
    auto px = [&](int x, int y) { return static_cast<const std::uint32_t*>(bits)[y * width + x] & 0xFFFFFF; };
    const int left = 6, length = width - 12;
    const int bar1 = 5, bar2 = 14;
    const std::uint32_t empty = px(width - 8, bar1);
    // channel 1 at 0 dB: filled to 80 %, red nowhere
    EXPECT_NE(px(left + length * 79 / 100, bar1), empty);
    EXPECT_EQ(px(left + length * 81 / 100, bar1), empty);
    // channel 2 at -24 dB: filled to 40 %
    EXPECT_NE(px(left + length * 39 / 100, bar2), empty);
    EXPECT_EQ(px(left + length * 41 / 100, bar2), empty);
    // green low, amber between -6 and 0 dB
    EXPECT_NE(px(left + length * 10 / 100, bar1), px(left + length * 78 / 100, bar1));
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
}

TEST_F(MainWindowTest, LevelsFromThePlayerShowOnlyWhilePlaying) {
    start();
    LevelRecord record;
    record.count = 2;
    record.levels[0] = -10;
    record.levels[1] = -3;
    window->levels(record, 0); // stopped: nothing changes
    EXPECT_EQ(window->levelMeter().level(0), kLevelNone);
    window->stopped(0);
    EXPECT_EQ(window->levelMeter().channels(), 1);
    EXPECT_EQ(window->levelMeter().tooltip(), u"現在のレベル：--dB");
}

} // namespace
} // namespace sonimo::test
