// The tone list dialog and the options dialog as a user drives them: a helper thread finds
// each dialog, types and clicks, while the window's thread runs them modally.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "FakeDevices.h"
#include "UiTestSupport.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "tone/ToneList.h"
#include "ui/CommandIds.h"
#include "ui/win32/MessageBoxNotice.h"
#include "ui/win32/OptionsDialog.h"
#include "ui/win32/ProgramHost.h"
#include "ui/win32/Resource.h"

namespace sonimo::test {
namespace {

void click(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Waits until `dialog` is gone (closed by what was clicked).
void waitClosed(HWND dialog) {
    for (int i = 0; i < 1000 && IsWindow(dialog) && IsWindowVisible(dialog); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

class DialogsTest : public MainWindowTest {};

// --- what a user of the list dialog sees, from the helper thread ---------------------------

std::u16string textOf(HWND window) {
    wchar_t text[600] = {};
    GetWindowTextW(window, text, 600);
    return reinterpret_cast<const char16_t*>(text);
}

BOOL CALLBACK collectWindow(HWND w, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(w);
    return TRUE;
}

// The shown top-level windows of `thread`.
std::vector<HWND> shownWindows(DWORD thread) {
    std::vector<HWND> all, shown;
    EnumThreadWindows(thread, collectWindow, reinterpret_cast<LPARAM>(&all));
    for (HWND w : all)
        if (IsWindowVisible(w)) shown.push_back(w);
    return shown;
}

// The shown top-level window of `thread` owned by `owner` (a dialog or box it opened), or
// null when none appears within 10 s.
HWND waitForOwned(DWORD thread, HWND owner) {
    for (int i = 0; i < 1000; ++i) {
        for (HWND w : shownWindows(thread))
            if (GetWindow(w, GW_OWNER) == owner) return w;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return nullptr;
}

int shownDialogsTitled(DWORD thread, const std::u16string& title) {
    int n = 0;
    for (HWND w : shownWindows(thread))
        n += textOf(w) == title;
    return n;
}

// True when a control of `dialog` shows `text` (the text of a message box).
bool holdsText(HWND dialog, const std::u16string& text) {
    std::vector<HWND> children;
    EnumChildWindows(dialog, collectWindow, reinterpret_cast<LPARAM>(&children));
    for (HWND c : children)
        if (textOf(c) == text) return true;
    return false;
}

HWND focusOf(DWORD thread) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

// The file name of the common file dialog (its combo box or its edit, as the system has it).
void chooseFile(HWND fileDialog, const std::u16string& path) {
    for (int id : {0x47c, 0x480})
        SetDlgItemTextW(fileDialog, id, reinterpret_cast<const wchar_t*>(path.c_str()));
    click(fileDialog, IDOK);
}

std::vector<std::u16string> listRows(HWND list) {
    HWND rows = GetDlgItem(list, IDC_LIST_ROWS);
    std::vector<std::u16string> texts;
    const int n = static_cast<int>(SendMessageW(rows, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        wchar_t text[300] = {};
        LVITEMW item{};
        item.pszText = text;
        item.cchTextMax = 300;
        SendMessageW(rows, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
        texts.emplace_back(reinterpret_cast<const char16_t*>(text));
    }
    return texts;
}

// Adds a silence of `ms` through the entry dialog the list dialog owns.
bool addSilence(DWORD thread, HWND list, const wchar_t* ms) {
    click(list, IDC_LIST_ADD_SILENCE);
    HWND entry = waitForOwned(thread, list);
    if (!entry || textOf(entry) != u"一覧に無音を追加") return false;
    SetDlgItemTextW(entry, IDC_ENTRY_TEXT, ms);
    click(entry, IDOK);
    waitClosed(entry);
    return true;
}

// Answers Cancel to every dialog of `thread` but `main` until none is left, so that a test
// that failed half-way ends instead of leaving the window's thread in a modal loop.
struct CloseDialogsAtEnd {
    DWORD thread;
    HWND main;
    ~CloseDialogsAtEnd() {
        for (int i = 0; i < 100; ++i) {
            int open = 0;
            for (HWND w : shownWindows(thread)) {
                wchar_t cls[16] = {};
                GetClassNameW(w, cls, 16);
                if (w != main && std::wstring(cls) == L"#32770") {
                    PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
                    ++open;
                }
            }
            if (open == 0) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
};

// A box the list dialog owns, as the user meets it.
struct SeenBox {
    bool shown = false, ownedByList = false, listDisabled = false, focusBack = false;
    std::u16string caption;
};

TEST_F(DialogsTest, ANewListWithASilenceAttachedWithoutSavingShowsAsUnsaved) {
    startWithProgramHost();
    bool sawTitle = false;
    std::thread user([&] {
        HWND list = waitForDialog(L"トーン一覧");
        if (!list) return;
        sawTitle = true;
        click(list, IDC_LIST_ADD_SILENCE);
        HWND entry = waitForDialog(L"一覧に無音を追加");
        if (!entry) return;
        SetDlgItemTextW(entry, IDC_ENTRY_TEXT, L"250");
        click(entry, IDOK);
        waitClosed(entry);
        click(list, IDOK);
        HWND question = waitForDialog(L"");
        if (!question) return;
        click(question, IDCANCEL); // "キャンセル": the rows go to a temporary list
    });
    window->command(kCmdNewList);
    user.join();
    ASSERT_TRUE(sawTitle);
    EXPECT_EQ(window->tone().waveform, FromList);
    EXPECT_EQ(gridTexts(0), std::vector<std::u16string>{u"保存されていない一覧"});
    EXPECT_EQ(gridTexts(1), std::vector<std::u16string>{u"250ミリ秒の無音。"});
    EXPECT_TRUE(toolbarPressed(valueToolbar(), kCmdOpenListToolbar));
    EXPECT_EQ(window->tone().lengthMs, 250u);
    EXPECT_EQ(fileExtension(listPathOf(window->tone())), u".tmp");
}

TEST_F(DialogsTest, OptionsStoreTheRateAndStepAfterRefusingABadOne) {
    startWithProgramHost();
    std::u16string caption;
    int devices = 0;
    bool hertzDisabledInSemitoneMode = false, semitoneDisabledInHertzMode = false;
    std::thread user([&] {
        HWND d = waitForDialog(L"Sonimoのオプション");
        if (!d) return;
        caption = u"Sonimoのオプション";
        devices = static_cast<int>(SendDlgItemMessageW(d, IDC_OPT_DEVICE, CB_GETCOUNT, 0, 0));
        hertzDisabledInSemitoneMode = !IsWindowEnabled(GetDlgItem(d, IDC_OPT_HERTZ));
        SendDlgItemMessageW(d, IDC_OPT_RATE, CB_SETCURSEL, 7, 0);
        SetDlgItemTextW(d, IDC_OPT_SEMITONE, L"13");
        click(d, IDOK); // refused: the dialog stays
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        if (!IsWindowVisible(d)) return;
        CheckRadioButton(d, IDC_OPT_HERTZ_MODE, IDC_OPT_SEMITONE_MODE, IDC_OPT_HERTZ_MODE);
        click(d, IDC_OPT_HERTZ_MODE);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        semitoneDisabledInHertzMode = !IsWindowEnabled(GetDlgItem(d, IDC_OPT_SEMITONE));
        SetDlgItemTextW(d, IDC_OPT_HERTZ, L"2.50");
        click(d, IDOK);
    });
    window->command(kCmdOptions);
    user.join();
    EXPECT_EQ(caption, u"Sonimoのオプション");
    EXPECT_GE(devices, 2); // a default entry in each group at least
    EXPECT_TRUE(hertzDisabledInSemitoneMode);
    EXPECT_TRUE(semitoneDisabledInHertzMode);
    ASSERT_EQ(notice.shown.size(), 1u);
    EXPECT_EQ(notice.shown[0].text,
              u"正しい半音の値を入力してください。1～12の間の数字でなければなりません。");
    EXPECT_EQ(settings.readInt(u"Settings", u"SampleRate", 0), 7);
    EXPECT_EQ(settings.readText(u"settings", u"frequency increment step", u""), u"2.50");
    EXPECT_EQ(settings.readText(u"settings", u"semitone increment", u""), u"0");
    EXPECT_EQ(statusText(1), u" サンプルレート 48000 Hz");
}

TEST_F(DialogsTest, CancelledOptionsStoreNothing) {
    startWithProgramHost();
    std::thread user([&] {
        HWND d = waitForDialog(L"Sonimoのオプション");
        if (!d) return;
        SendDlgItemMessageW(d, IDC_OPT_RATE, CB_SETCURSEL, 2, 0);
        CheckDlgButton(d, IDC_OPT_AUTOPLAY, BST_CHECKED);
        click(d, IDCANCEL);
    });
    window->command(kCmdOptions);
    user.join();
    EXPECT_FALSE(settings.hasValue(u"Settings", u"SampleRate"));
    EXPECT_FALSE(settings.hasValue(u"settings", u"autoplay"));
}

// Every dialog and box the list dialog opens is owned by it and modal over it (it cannot be
// clicked while they are open), and the focus comes back to it; the boxes' captions are as
// the program gives them (empty for the two refusals).
TEST_F(DialogsTest, TheListDialogOwnsEveryDialogAndBoxItOpens) {
    MessageBoxNotice boxes; // the real boxes, not the recorder
    setCurrentNotice(&boxes);
    const std::u16string endless = dir.path(u"endless.tdf");
    ASSERT_TRUE(saveToneFile(defaultToneData(), endless));
    const std::u16string existing = dir.path(u"exists.tdl");
    ASSERT_TRUE(writeToneList(existing, {u"5ミリ秒の無音。"}));
    startWithProgramHost();
    const DWORD ui = GetCurrentThreadId();
    SeenBox open, save, overwrite, refusal, digits;
    bool focusAfterOpen = false;
    // Waits for what `list` opened, checks it, and answers it with `answer`.
    auto meet = [&](HWND list, SeenBox& seen, auto&& answer) {
        seen = SeenBox{};
        HWND w = waitForOwned(ui, list);
        if (!w) w = waitForOwned(ui, window->hwnd()); // where today's main put it
        if (!w) return;
        seen.shown = true;
        seen.ownedByList = GetWindow(w, GW_OWNER) == list;
        seen.listDisabled = !IsWindowEnabled(list);
        seen.caption = textOf(w);
        answer(w);
        waitClosed(w);
        for (int i = 0; i < 300 && !seen.focusBack; ++i) {
            const HWND f = focusOf(ui);
            seen.focusBack = f && (f == list || IsChild(list, f));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    };
    std::thread user([&] {
        CloseDialogsAtEnd guard{ui, window->hwnd()};
        HWND list = waitForDialog(L"トーン一覧");
        if (!list) return;
        click(list, IDC_LIST_ADD_TONE);
        meet(list, open, [](HWND d) { click(d, IDCANCEL); });
        focusAfterOpen = open.focusBack;
        click(list, IDC_LIST_ADD_TONE);
        meet(list, refusal, [&](HWND d) {
            chooseFile(d, endless); // the file dialog, then the refusal it brings
        });
        meet(list, refusal, [&](HWND d) {
            refusal.shown =
                holdsText(d, u"無限時間のトーンを一覧に追加することはできません。選択したトーンが継続"
                             u"して再生されるタイプや繰り返し再生されるタイプのものでないことを確認"
                             u"してください。");
            click(d, IDOK);
        });
        click(list, IDC_LIST_ADD_SILENCE);
        meet(list, digits, [](HWND d) {
            SetDlgItemTextW(d, IDC_ENTRY_TEXT, L"2s");
            click(d, IDOK);
        });
        meet(list, digits, [&](HWND d) {
            digits.shown = holdsText(d, u"長さの値は数字で指定する必要があります。");
            click(d, IDOK);
        });
        addSilence(ui, list, L"250");
        click(list, IDC_LIST_SAVE_AS);
        meet(list, save, [&](HWND d) { chooseFile(d, existing); });
        meet(list, overwrite, [&](HWND d) {
            overwrite.shown =
                holdsText(d, u"「" + existing + u"」ファイルは既に存在しています。上書きしますか？");
            click(d, IDCANCEL);
        });
        click(list, IDCANCEL);
    });
    window->command(kCmdNewList);
    user.join();
    setCurrentNotice(&notice);
    EXPECT_TRUE(open.shown && open.ownedByList && open.listDisabled);
    EXPECT_TRUE(focusAfterOpen);
    EXPECT_EQ(open.caption, u"ファイルを選択");
    EXPECT_TRUE(refusal.shown && refusal.ownedByList && refusal.listDisabled && refusal.focusBack);
    EXPECT_EQ(refusal.caption, u"");
    EXPECT_TRUE(digits.shown && digits.ownedByList && digits.listDisabled && digits.focusBack);
    EXPECT_EQ(digits.caption, u"");
    EXPECT_TRUE(save.shown && save.ownedByList && save.listDisabled);
    EXPECT_EQ(save.caption, u"トーン一覧に名前を付けて保存");
    EXPECT_TRUE(overwrite.shown && overwrite.ownedByList && overwrite.listDisabled && overwrite.focusBack);
    EXPECT_EQ(overwrite.caption, u"ファイルが既に存在します");
    EXPECT_EQ(readToneList(existing).entries.size(), 1u); // not overwritten
    EXPECT_NE(window->tone().waveform, FromList);         // cancelled: nothing attached
}

// OK on a modified new list answered "保存": a cancelled save dialog, or a write that fails,
// keeps the dialog open with its rows. Cancel then leaves "editlist" and every file alone.
TEST_F(DialogsTest, ACancelledOrFailedSaveOnOkKeepsTheDialogAndItsRows) {
    startWithProgramHost();
    const DWORD ui = GetCurrentThreadId();
    // a list another program holds open without sharing: the overwrite is allowed, the
    // write fails
    const std::u16string unwritable = dir.path(u"held.tdl");
    ASSERT_TRUE(writeToneList(unwritable, {u"5ミリ秒の無音。"}));
    HANDLE held = CreateFileW(reinterpret_cast<const wchar_t*>(unwritable.c_str()), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::vector<std::u16string> afterCancelledSave, afterFailedSave;
    const std::u16string before = dir.path(u"before.tdl");
    settings.writeText(u"tonelist", u"editlist", before);
    std::u16string editlistWhileOpen;
    bool askedTwice = false;
    std::thread user([&] {
        CloseDialogsAtEnd guard{ui, window->hwnd()};
        HWND list = waitForDialog(L"トーン一覧");
        if (!list) return;
        editlistWhileOpen = settings.readText(u"tonelist", u"editlist", u"");
        if (!addSilence(ui, list, L"250") || !addSilence(ui, list, L"500")) return;
        for (const bool fail : {false, true}) {
            click(list, IDOK);
            HWND question = waitForOwned(ui, list);
            if (!question) return;
            click(question, IDOK); // "保存"
            waitClosed(question);
            HWND saveAs = waitForOwned(ui, list);
            if (!saveAs || textOf(saveAs) != u"トーン一覧に名前を付けて保存") return;
            if (fail)
                chooseFile(saveAs, unwritable);
            else
                click(saveAs, IDCANCEL);
            waitClosed(saveAs);
            if (fail) {
                HWND overwrite = waitForOwned(ui, list);
                if (!overwrite) return;
                click(overwrite, IDOK); // "上書きする"
                waitClosed(overwrite);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1000)); // a closing dialog is gone by then
            if (!IsWindowVisible(list)) return;
            (fail ? afterFailedSave : afterCancelledSave) = listRows(list);
            askedTwice = fail;
        }
        click(list, IDCANCEL);
    });
    window->command(kCmdNewList);
    user.join();
    const std::vector<std::u16string> rows{u"250ミリ秒の無音。", u"500ミリ秒の無音。"};
    EXPECT_EQ(afterCancelledSave, rows);
    EXPECT_EQ(afterFailedSave, rows);
    EXPECT_TRUE(askedTwice);
    ASSERT_FALSE(notice.shown.empty());
    EXPECT_EQ(notice.shown.back().caption, u"ファイルの保存エラー");
    // Cancel: "editlist" names what it named before, while the dialog was open too.
    EXPECT_EQ(editlistWhileOpen, before);
    EXPECT_EQ(settings.readText(u"tonelist", u"editlist", u""), before);
    EXPECT_NE(window->tone().waveform, FromList);
    EXPECT_EQ(gridTexts(1), std::vector<std::u16string>{u"440.00Hz"});
    CloseHandle(held);
    EXPECT_EQ(readToneList(unwritable).entries.size(), 1u);
}

// A second start with list B while the list dialog is open on list A: the file waits until
// the dialog closes, and the dialog saves to its own list, A.
TEST_F(DialogsTest, AListHandedOverWhileTheListDialogIsOpenWaitsForItToClose) {
    const std::u16string a = dir.path(u"a.tdl"), b = dir.path(u"b.tdl");
    ASSERT_TRUE(writeToneList(a, {u"100ミリ秒の無音。"}));
    ASSERT_TRUE(writeToneList(b, {u"700ミリ秒の無音。"}));
    startWithProgramHost();
    const DWORD ui = GetCurrentThreadId();
    int listDialogsWithBWaiting = 0;
    std::vector<std::u16string> secondRows;
    std::thread user([&] {
        CloseDialogsAtEnd guard{ui, window->hwnd()};
        HWND first = waitForDialog(L"トーン一覧");
        if (!first) return;
        PostMessageW(window->hwnd(), kMsgForwardedArguments, 2,
                     reinterpret_cast<LPARAM>(new std::vector<std::u16string>{u"Sonimo.exe", b}));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        listDialogsWithBWaiting = shownDialogsTitled(ui, u"トーン一覧");
        if (listDialogsWithBWaiting != 1) return;
        if (!addSilence(ui, first, L"250")) return;
        click(first, IDC_LIST_SAVE);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        click(first, IDOK);
        waitClosed(first);
        // then B opens
        HWND second = nullptr;
        for (int i = 0; i < 500 && !second; ++i) {
            HWND w = FindWindowW(L"#32770", L"トーン一覧");
            if (w && w != first && IsWindowVisible(w)) second = w;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        while (second && IsWindowVisible(first)) // not the first one closing
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!second) return;
        secondRows = listRows(second);
        click(second, IDCANCEL);
    });
    program.openArguments(*window, {u"Sonimo.exe", a});
    pump(window.get(), 2000); // the waiting file
    user.join();
    EXPECT_EQ(listDialogsWithBWaiting, 1);
    EXPECT_EQ(readToneList(a).entries.size(), 2u); // A's rows went to A
    EXPECT_EQ(readToneList(b).entries.size(), 1u); // and B is as it was
    EXPECT_EQ(secondRows, std::vector<std::u16string>{u"700ミリ秒の無音。"});
}

// A list nested deeper than a list may be is refused in its own words, not as one that
// contains itself.
TEST_F(DialogsTest, AListNestedTooDeepIsRefusedInItsOwnWords) {
    std::vector<std::u16string> lists;
    for (int i = 0; i <= 17; ++i)
        lists.push_back(dir.path(u"deep" + utf8ToUtf16(std::to_string(i)) + u".tdl"));
    for (int i = 0; i <= 17; ++i) {
        std::vector<std::u16string> lines{utf8ToUtf16(std::to_string(i + 1)) + u"ミリ秒の無音。"};
        if (i < 17) lines.push_back(lists[i + 1]);
        ASSERT_TRUE(writeToneList(lists[i], lines));
    }
    startWithProgramHost();
    const DWORD ui = GetCurrentThreadId();
    std::size_t rows = 0;
    std::thread user([&] {
        CloseDialogsAtEnd guard{ui, window->hwnd()};
        HWND list = waitForDialog(L"トーン一覧");
        if (!list) return;
        rows = listRows(list).size();
        click(list, IDCANCEL);
    });
    program.openArguments(*window, {u"Sonimo.exe", lists[0]});
    user.join();
    EXPECT_EQ(rows, 16u); // the silences of the 16 lists that may be opened
    ASSERT_EQ(notice.shown.size(), 1u);
    EXPECT_EQ(notice.shown[0].text,
              u"一覧「" + lists[16] +
                  u"」は一覧の中に16段より深く入れ子になっているため、その行は追加されま"
                  u"せんでした。");
}

// The device list of the options dialog as the user sees it, and what OK stores.
struct DeviceChoice {
    std::u16string listed; // the entry's text
    std::u16string stored; // "Player"/"Device" for it
};

struct ShownDevices {
    std::vector<std::u16string> entries;
    std::u16string selected;
};

// Opens the options dialog on `devices` with `stored` as the device, reads the list and its
// selection, and presses OK without touching anything.
ShownDevices openOptionsAndAccept(HWND owner, SettingsStore& settings, DeviceSystem& devices) {
    ShownDevices shown;
    std::thread user([&] {
        HWND d = waitForDialog(L"Sonimoのオプション");
        if (!d) return;
        HWND list = GetDlgItem(d, IDC_OPT_DEVICE);
        const int n = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            wchar_t text[300] = {};
            SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
            shown.entries.emplace_back(reinterpret_cast<const char16_t*>(text));
        }
        const int at = static_cast<int>(SendMessageW(list, CB_GETCURSEL, 0, 0));
        if (at >= 0 && at < n) shown.selected = shown.entries[at];
        click(d, IDOK);
        waitClosed(d);
    });
    OptionsDialog(owner, settings, devices).run();
    user.join();
    return shown;
}

TEST_F(DialogsTest, EveryStoredDeviceComesBackSelectedAsItselfAndOkKeepsIt) {
    start();
    const std::u16string def = u"デフォルトの再生デバイス";
    const std::vector<DeviceChoice> modern = {
        {def, u"[DirectSound] " + def},
        {u"Speakers (Realtek)", u"[DirectSound] Speakers (Realtek)"},
        {u"Headset (USB)", u"[DirectSound] Headset (USB)"},
        {u"[MME] " + def, u"[MME] " + def},
        {u"[MME] Speakers (Realtek)", u"[MME] Speakers (Realtek)"},
        {u"[MME] Headset (USB)", u"[MME] Headset (USB)"},
    };
    const std::vector<DeviceChoice> beforeWindows7 = {
        {def, u"[MME] " + def},
        {u"Speakers (Realtek)", u"[MME] Speakers (Realtek)"},
        {u"Headset (USB)", u"[MME] Headset (USB)"},
        {u"[DirectSound] " + def, u"[DirectSound] " + def},
        {u"[DirectSound] Speakers (Realtek)", u"[DirectSound] Speakers (Realtek)"},
        {u"[DirectSound] Headset (USB)", u"[DirectSound] Headset (USB)"},
    };
    for (const bool isModern : {true, false}) {
        FakeDevices devices = twoAndThree();
        devices.modern = isModern;
        const auto& choices = isModern ? modern : beforeWindows7;
        std::vector<std::u16string> listed;
        for (const DeviceChoice& c : choices)
            listed.push_back(c.listed);
        for (const DeviceChoice& c : choices) {
            SCOPED_TRACE(std::string(isModern ? "Windows 7 and later, " : "before Windows 7, ") +
                         utf16ToUtf8(c.stored));
            settings.writeText(u"Player", u"Device", c.stored);
            const ShownDevices shown = openOptionsAndAccept(window->hwnd(), settings, devices);
            EXPECT_EQ(shown.entries, listed); // the groups, their order and their prefixes
            EXPECT_EQ(shown.selected, c.listed);
            EXPECT_EQ(settings.readText(u"Player", u"Device", u""), c.stored);
        }
    }
    // A DirectSound name no longer present selects the first entry.
    FakeDevices devices = twoAndThree();
    settings.writeText(u"Player", u"Device", u"[DirectSound] Gone (USB)");
    EXPECT_EQ(openOptionsAndAccept(window->hwnd(), settings, devices).selected, def);
}

} // namespace
} // namespace sonimo::test
