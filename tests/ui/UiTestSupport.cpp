#include "UiTestSupport.h"

#include "platform/SettingsStore.h"
#include "tone/ToneData.h"
#include "ui/win32/LpcControl.h"

namespace sonimo::test {

namespace {

class CommonControls final : public ::testing::Environment {
public:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&icc);
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        registerLpcClass(GetModuleHandleW(nullptr));
    }
};

[[maybe_unused]] ::testing::Environment* const gControls =
    ::testing::AddGlobalTestEnvironment(new CommonControls);

} // namespace

void pump(MainWindow* window, int ms) {
    const DWORD end = GetTickCount() + ms;
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (window && window->preTranslateMessage(msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (ms > 0) Sleep(5);
    } while (static_cast<int>(end - GetTickCount()) > 0);
}

bool pressKey(MainWindow& window, UINT key, bool ctrl, bool repeat) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_CONTROL] = keys[VK_LCONTROL] = ctrl ? 0x80 : 0;
    SetKeyboardState(keys);
    HWND target = GetFocus();
    if (!target || (target != window.hwnd() && !IsChild(window.hwnd(), target))) target = window.grid();
    MSG msg{};
    msg.hwnd = target;
    msg.message = WM_KEYDOWN;
    msg.wParam = key;
    msg.lParam = 1 | (MapVirtualKeyW(key, MAPVK_VK_TO_VSC) << 16) | (repeat ? (1u << 30) : 0u);
    bool handled = window.preTranslateMessage(msg);
    if (!handled) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    keys[VK_CONTROL] = keys[VK_LCONTROL] = 0;
    SetKeyboardState(keys);
    return handled;
}

void MainWindowTest::SetUp() {}

void MainWindowTest::TearDown() {
    window.reset();
    pump(nullptr);
}

void MainWindowTest::start() {
    window = std::make_unique<MainWindow>(host, settings, dir.root());
    ASSERT_TRUE(window->create(GetModuleHandleW(nullptr)));
    pump(window.get());
}

void MainWindowTest::startWithProgramHost() {
    window = std::make_unique<MainWindow>(program, settings, dir.root());
    ASSERT_TRUE(window->create(GetModuleHandleW(nullptr)));
    pump(window.get());
}

HWND waitForDialog(const wchar_t* title) {
    for (int i = 0; i < 1000; ++i) {
        if (HWND w = FindWindowW(L"#32770", title); w && IsWindowVisible(w)) return w;
        Sleep(10);
    }
    return nullptr;
}

void MainWindowTest::writeCurrentTone(const ToneData& tone) {
    ASSERT_TRUE(saveToneFile(tone, currentTdf()));
}

std::u16string MainWindowTest::menuText(UINT id) const {
    wchar_t text[256] = {};
    GetMenuStringW(menu(), id, text, 256, MF_BYCOMMAND);
    return reinterpret_cast<const char16_t*>(text);
}

bool MainWindowTest::menuEnabled(UINT id) const {
    const UINT state = GetMenuState(menu(), id, MF_BYCOMMAND);
    return state != 0xFFFFFFFF && !(state & (MF_GRAYED | MF_DISABLED));
}

bool MainWindowTest::menuChecked(UINT id) const {
    return GetMenuState(menu(), id, MF_BYCOMMAND) & MF_CHECKED;
}

HWND MainWindowTest::valueToolbar() const {
    return GetDlgItem(window->control(200), 90);
}

bool MainWindowTest::toolbarEnabled(HWND toolbar, UINT id) const {
    return SendMessageW(toolbar, TB_ISBUTTONENABLED, id, 0) != 0;
}

bool MainWindowTest::toolbarPressed(HWND toolbar, UINT id) const {
    return SendMessageW(toolbar, TB_ISBUTTONCHECKED, id, 0) != 0;
}

std::vector<std::u16string> MainWindowTest::gridTexts(int column) const {
    std::vector<std::u16string> texts;
    const int count = static_cast<int>(SendMessageW(window->grid(), LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[300] = {};
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = 300;
        SendMessageW(window->grid(), LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
        texts.emplace_back(reinterpret_cast<const char16_t*>(text));
    }
    return texts;
}

std::u16string MainWindowTest::statusText(int part) const {
    wchar_t text[300] = {};
    SendMessageW(window->statusBar(), SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text));
    return reinterpret_cast<const char16_t*>(text);
}

RECT MainWindowTest::childRect(HWND child) const {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, window->hwnd(), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

} // namespace sonimo::test
