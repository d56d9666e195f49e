// The tone list dialog and the options dialog as a user drives them: a helper thread finds
// each dialog, types and clicks, while the window's thread runs them modally.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "UiTestSupport.h"
#include "tone/ToneList.h"
#include "ui/CommandIds.h"
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

} // namespace
} // namespace sonimo::test
