// The frequency scale's painting and mouse, and the program's dialogs (typed values, the
// progress of a long render) driven by a helper thread the way a user would answer them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "UiTestSupport.h"
#include "audio/RenderTask.h"
#include "audio/ToneRenderer.h"
#include "audio/WaveFileWriter.h"
#include "tone/ToneData.h"
#include "ui/CommandIds.h"
#include "ui/OptionsModel.h"
#include "ui/ScaleMath.h"
#include "ui/win32/Dialogs.h"
#include "ui/win32/ProgramHost.h"
#include "ui/win32/Resource.h"

namespace sonimo::test {
namespace {

class ScaleTest : public MainWindowTest {
protected:
    FrequencyScale& scale() { return window->noteWindow().scale(); }
    void mouse(UINT message, int x, WPARAM keys = 0) {
        SendMessageW(scale().hwnd(), message, keys, MAKELPARAM(x, 20));
    }
    void showWindow() {
        window->restorePlacement();
        SetWindowPos(window->hwnd(), nullptr, 0, 0, 1000, 800, SWP_NOMOVE | SWP_NOZORDER);
        pump(window.get(), 50);
    }
};

TEST_F(ScaleTest, PaintsItsStripTicksThumbAndValueBox) {
    start();
    const int W = 800, H = 45;
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), W, -H, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bmp);
    scale().setValue(1000, false);
    scale().paintTo(dc, W, H);
    GdiFlush();
    auto px = [&](int x, int y) { return static_cast<const std::uint32_t*>(bits)[y * W + x] & 0xFFFFFF; };
    const int m = scale().margin(), s = scale().scaleWidth();
    EXPECT_EQ(m, 6);
    EXPECT_GT(s, 500);
    EXPECT_LT(s, W - 3 * m);
    // a white tick at 5 kHz from the top to the label band
    const int tick = scalePosition(5000, m, s);
    EXPECT_EQ(px(tick, 2), 0xFFFFFFu);
    EXPECT_EQ(px(tick, H - 19), 0xFFFFFFu);
    EXPECT_NE(px(tick, H - 10), 0xFFFFFFu);
    // the orange thumb at 1 kHz, the strip beside it
    const std::uint32_t thumb = px(scalePosition(1000, m, s), 14);
    EXPECT_GT((thumb >> 16) & 0xFF, 0xC0u) << std::hex << thumb; // red
    EXPECT_LT(thumb & 0xFF, 0x60u);                              // little blue
    const std::uint32_t strip = px(scalePosition(1000, m, s) + 20, 14);
    EXPECT_GT(strip & 0xFF, (strip >> 16) & 0xFF); // blue over red
    // the black value box with cyan text
    EXPECT_EQ(px(W - 3, 2), 0u);
    int cyan = 0;
    for (int y = 0; y < H - 18; ++y)
        for (int x = W - (W - s - 3 * m) - m; x < W; ++x)
            cyan += px(x, y) == 0x00FFFFu;
    EXPECT_GT(cyan, 10);
    EXPECT_EQ(scale().valueText(), u"1000 Hz");
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
}

TEST_F(ScaleTest, ClickDragAndReleaseSetTheSelectedFrequency) {
    start();
    showWindow();
    const int m = scale().margin(), s = scale().scaleWidth();
    ASSERT_GT(s, 100);
    // a click in the value box does nothing
    mouse(WM_LBUTTONDOWN, s + 2 * m + 3, MK_LBUTTON);
    EXPECT_FALSE(scale().dragging());
    EXPECT_EQ(window->tone().leftStartHz[0], 440.0);
    // press at 1 kHz reports at once; dragging shows without reporting; release reports
    mouse(WM_LBUTTONDOWN, scalePosition(1000, m, s), MK_LBUTTON);
    EXPECT_TRUE(scale().dragging());
    EXPECT_NEAR(window->tone().leftStartHz[0], 1000.0, 15.0);
    mouse(WM_MOUSEMOVE, scalePosition(5000, m, s), MK_LBUTTON);
    EXPECT_NEAR(scale().value(), 5000, 40);
    EXPECT_NEAR(window->tone().leftStartHz[0], 1000.0, 15.0);
    mouse(WM_LBUTTONUP, scalePosition(5000, m, s));
    EXPECT_FALSE(scale().dragging());
    EXPECT_EQ(window->tone().leftStartHz[0], static_cast<double>(scale().value()));
    EXPECT_EQ(gridTexts(1)[0], rowValueText(window->tone(), kRowLeftStart));
    // beyond the right end: 22000
    mouse(WM_LBUTTONDOWN, m + s + 2, MK_LBUTTON);
    mouse(WM_LBUTTONUP, m + s + 2);
    EXPECT_EQ(window->tone().leftStartHz[0], 22000.0);
    EXPECT_EQ(scale().valueText(), u"22.00 kHz");
}

TEST_F(ScaleTest, DoubleClickGoesTo11000AndTheWheelStepsOneHertzANotch) {
    start();
    showWindow();
    // the whole sequence a double-click makes: the release after it keeps 11000
    mouse(WM_LBUTTONDOWN, 30, MK_LBUTTON);
    mouse(WM_LBUTTONUP, 30);
    mouse(WM_LBUTTONDBLCLK, 30, MK_LBUTTON);
    mouse(WM_LBUTTONUP, 30);
    EXPECT_EQ(scale().value(), 11000);
    EXPECT_EQ(window->tone().leftStartHz[0], 11000.0);
    mouse(WM_LBUTTONDBLCLK, 30);
    EXPECT_EQ(scale().value(), 11000);
    EXPECT_EQ(window->tone().leftStartHz[0], 11000.0);
    window->command(kCmdAddTone); // a new row; the double-click still reports
    window->selectRows({0});
    window->tone().leftStartHz[0] = 500;
    mouse(WM_LBUTTONDBLCLK, 30);
    EXPECT_EQ(window->tone().leftStartHz[0], 11000.0); // reported although the value was 11000
    scale().setValue(440, false);
    RECT r;
    GetWindowRect(scale().hwnd(), &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    for (int i = 0; i < 3; ++i) {
        SendMessageW(scale().hwnd(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA),
                     MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2));
        EXPECT_EQ(window->tone().leftStartHz[0], 441.0 + i);
    }
    // away from the control the wheel does nothing
    SetCursorPos(r.left - 50 > 0 ? r.left - 50 : r.right + 50, r.top - 50 > 0 ? r.top - 50 : r.bottom + 50);
    SendMessageW(scale().hwnd(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
    EXPECT_EQ(window->tone().leftStartHz[0], 443.0);
}

// A click off the thumb leaves the pointer where it is, so the second press of a
// double-click at any height lands within the double-click distance; a drag of the thumb
// itself brings the pointer back to the thumb's centre.
TEST_F(ScaleTest, ThePointerGoesBackToTheThumbOnlyAfterTheThumbWasDragged) {
    start();
    showWindow();
    const int m = scale().margin(), s = scale().scaleWidth();
    RECT rc;
    GetClientRect(scale().hwnd(), &rc);
    auto at = [&](int x, int y) {
        POINT p{x, y};
        ClientToScreen(scale().hwnd(), &p);
        return p;
    };
    const int x = scalePosition(300, m, s), y = rc.bottom / 3;
    const POINT press = at(x, y);
    SetCursorPos(press.x, press.y);
    SendMessageW(scale().hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageW(scale().hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    POINT now;
    GetCursorPos(&now);
    EXPECT_EQ(now.x, press.x);
    EXPECT_EQ(now.y, press.y);
    SendMessageW(scale().hwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageW(scale().hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    EXPECT_EQ(window->tone().leftStartHz[0], 11000.0);
    // grab the thumb (at 11000 now) and drag it to 2 kHz
    const int thumb = scalePosition(11000, m, s), to = scalePosition(2000, m, s);
    SendMessageW(scale().hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(thumb, y));
    SendMessageW(scale().hwnd(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to, y));
    SendMessageW(scale().hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(to, y));
    GetCursorPos(&now);
    const POINT centre = at(scalePosition(scale().value(), m, s), rc.bottom / 2);
    EXPECT_EQ(now.x, centre.x);
    EXPECT_EQ(now.y, centre.y);
}

class ProgramHostTest : public MainWindowTest {};

TEST_F(ProgramHostTest, EnterAsksForEachSelectedRowAndTypedValuesAreCorrected) {
    ToneData t = defaultToneData();
    setToneCount(t, 2);
    writeCurrentTone(t);
    startWithProgramHost();
    window->selectRows({0, 1});
    std::u16string preset, prompt;
    DWORD selStart = 1, selEnd = 0;
    std::thread user([&] {
        HWND d = waitForDialog(L"正弦波 1 周波数");
        if (!d) return;
        wchar_t text[300] = {};
        GetDlgItemTextW(d, IDC_ENTRY_TEXT, text, 300);
        preset = reinterpret_cast<char16_t*>(text);
        GetDlgItemTextW(d, IDC_ENTRY_PROMPT, text, 300);
        prompt = reinterpret_cast<char16_t*>(text);
        SendDlgItemMessageW(d, IDC_ENTRY_TEXT, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart),
                            reinterpret_cast<LPARAM>(&selEnd));
        SetDlgItemTextW(d, IDC_ENTRY_TEXT, L"30000");
        PostMessageW(d, WM_COMMAND, IDOK, 0);
        // the second row: cancel ends the operation
        d = waitForDialog(L"正弦波 2 周波数");
        if (d) PostMessageW(d, WM_COMMAND, IDCANCEL, 0);
    });
    pressKey(*window, VK_RETURN);
    user.join();
    EXPECT_EQ(preset, u"440.00Hz");
    EXPECT_EQ(prompt, u"正弦波 1 周波数:");
    EXPECT_EQ(selStart, 0u);
    EXPECT_EQ(selEnd, 8u);
    EXPECT_EQ(window->tone().leftStartHz[0], 22000.0);
    EXPECT_EQ(window->tone().leftStartHz[1], 440.0);
    EXPECT_EQ(gridTexts(1)[0], u"22000.00Hz");
    ASSERT_EQ(notice.shown.size(), 1u);
    EXPECT_EQ(notice.shown[0].text, u"0～22000の間の周波数をヘルツで入力してください");
}

TEST_F(ProgramHostTest, ATenMinuteWavShowsProgressAndStopsSoonAfterCancel) {
    startWithProgramHost();
    ToneData t = defaultToneData();
    setKind(t, ToneKind::ConstantFixed);
    t.lengthMs = 600000;
    const std::u16string path = dir.path(u"long.wav");
    SourceRef source = RenderToneAtSettingsRate(t, settings);
    SinkRef wav = CreateWaveFileWriter(path, source->sampleRate, source->channels);
    std::atomic<int> position{0};
    std::atomic<DWORD> cancelledAt{0};
    std::thread user([&] {
        HWND d = waitForDialog(L"Sonimo");
        if (!d) return;
        for (int i = 0; i < 500 && position.load() < 20; ++i) {
            position = static_cast<int>(SendDlgItemMessageW(d, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        cancelledAt = GetTickCount();
        PostMessageW(d, WM_COMMAND, IDCANCEL, 0);
    });
    int result;
    DWORD ended;
    {
        ProgressDialog dialog(window->hwnd());
        result = RenderTask(u"ファイルを保存しています", source, wav, dialog);
        ended = GetTickCount(); // (closing the dialog can wait on X without a window manager)
    }
    user.join();
    const DWORD latencyMs = ended - cancelledAt.load();
    wav.release();
    EXPECT_EQ(result, 1); // cancelled
    EXPECT_GE(position.load(), 20) << "the progress bar never moved";
    std::printf("cancel took effect after %lu ms\n", static_cast<unsigned long>(latencyMs));
    EXPECT_LT(latencyMs, 500u);
    const auto bytes = readAll(path);
    ASSERT_GT(bytes.size(), 46u);
    EXPECT_LT(bytes.size(), 46u + 44100u * 600 * 2);
    const std::uint32_t data = bytes[42] | bytes[43] << 8 | bytes[44] << 16 | std::uint32_t(bytes[45]) << 24;
    EXPECT_EQ(data, bytes.size() - 46);
    EXPECT_TRUE(IsWindowEnabled(window->hwnd())); // the owner is back
}

TEST_F(ProgramHostTest, AThreeToneStereoSweepSurvivesARestart) {
    startWithProgramHost();
    window->command(3003);
    window->command(kCmdStereo);
    window->command(kCmdKindLogSweep);
    window->selectRows({1});
    window->command(kCmdRaise);
    const auto rows = gridTexts(1);
    ASSERT_EQ(rows.size(), 13u);
    window.reset();
    pump(nullptr);
    startWithProgramHost();
    EXPECT_EQ(gridTexts(1), rows);
    EXPECT_TRUE(menuChecked(kCmdKindLogSweep));
    EXPECT_TRUE(menuChecked(kCmdStereo));
}

TEST_F(ProgramHostTest, TheCommandLineOpensAToneFileByItsExtension) {
    startWithProgramHost();
    ToneData t = defaultToneData();
    t.leftStartHz[0] = 1234;
    ASSERT_TRUE(saveToneFile(t, dir.path(u"arg.TdF")));
    program.openArguments(*window, {u"Sonimo.exe", dir.path(u"arg.TdF")});
    // openPath lets any case through; loading then wants exactly ".tdf"
    ASSERT_EQ(notice.shown.size(), 1u);
    EXPECT_EQ(notice.shown[0].text, u"トーンファイルのタイプが認識されません。");
    ASSERT_TRUE(saveToneFile(t, dir.path(u"arg.tdf")));
    program.openArguments(*window, {u"Sonimo.exe", dir.path(u"arg.tdf"), u"extra"}); // not exactly two
    EXPECT_EQ(window->tone().leftStartHz[0], 440.0);
    program.openArguments(*window, {u"Sonimo.exe", dir.path(u"arg.tdf")});
    EXPECT_EQ(gridTexts(1)[0], u"1234.00Hz");
}

} // namespace
} // namespace sonimo::test
