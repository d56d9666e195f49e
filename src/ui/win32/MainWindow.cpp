#include "ui/win32/MainWindow.h"

#include <windowsx.h>

#include <algorithm>
#include <map>
#include <memory>

#include "audio/ToneRenderer.h"
#include "audio/playback/OutputDevice.h"
#include "platform/File.h"
#include "platform/Notice.h"
#include "platform/SettingsStore.h"
#include "platform/Text.h"
#include "synth/SampleSource.h"
#include "ui/CommandIds.h"
#include "ui/CommandTables.h"
#include "ui/MeterAndVolume.h"
#include "ui/NoteTable.h"
#include "ui/OptionsModel.h"
#include "ui/win32/Resource.h"
#include "platform/win32/WideText.h"

namespace sonimo {

namespace {

constexpr UINT_PTR kLayoutTimer = 3;
constexpr UINT_PTR kOffersTimer = 4;
constexpr UINT_PTR kDeviceTimer = 5; // the device, once the window is up
constexpr int kToolbarButtonWidth = 22, kToolbarButtonHeight = 24;

BOOL CALLBACK addMonitor(HMONITOR, HDC, LPRECT r, LPARAM list) {
    reinterpret_cast<std::vector<Rect>*>(list)->push_back({r->left, r->top, r->right, r->bottom});
    return TRUE;
}

// A placement's normal rectangle is in workspace coordinates (the work area's corner is
// 0, 0); ours, and the stored ones, are on the screen. The difference is the taskbar's
// size when it sits on the left or at the top.
POINT workspaceOffset(const RECT& screenRect) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(MonitorFromRect(&screenRect, MONITOR_DEFAULTTOPRIMARY), &info)) return {0, 0};
    return {info.rcWork.left - info.rcMonitor.left, info.rcWork.top - info.rcMonitor.top};
}

bool radioItem(std::uint16_t id) {
    return (id >= kCmdToneCountFirst && id <= kCmdToneCountLast) ||
           (id >= kCmdKindContinuous && id <= kCmdStereo) ||
           (id >= kCmdWaveformFirst && id <= kCmdWaveformLast);
}

HMENU buildPopup(const std::vector<MenuNode>& nodes, bool withKeys) {
    HMENU menu = CreatePopupMenu();
    for (const MenuNode& n : nodes) {
        switch (n.kind) {
        case MenuNode::Kind::Separator:
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            break;
        case MenuNode::Kind::Popup:
            AppendMenuW(menu, MF_POPUP | MF_STRING,
                        reinterpret_cast<UINT_PTR>(buildPopup(n.children, withKeys)), wide(n.text));
            break;
        case MenuNode::Kind::Item: {
            const std::u16string text = withKeys ? withKeyName(n.text, n.id, false, systemKeyName) : n.text;
            AppendMenuW(menu, MF_STRING, n.id, wide(text));
            if (radioItem(n.id)) {
                MENUITEMINFOW info{};
                info.cbSize = sizeof info;
                info.fMask = MIIM_FTYPE;
                info.fType = MFT_STRING | MFT_RADIOCHECK;
                SetMenuItemInfoW(menu, n.id, FALSE, &info);
            }
            break;
        }
        }
    }
    return menu;
}

void applyMenuStates(HMENU menu, const std::map<std::uint16_t, ItemState>& states) {
    for (const auto& [id, s] : states) {
        EnableMenuItem(menu, id, MF_BYCOMMAND | (s.enabled ? MF_ENABLED : MF_GRAYED));
        CheckMenuItem(menu, id, MF_BYCOMMAND | (s.checked ? MF_CHECKED : MF_UNCHECKED));
    }
}

void applyToolbarStates(HWND toolbar, const std::map<std::uint16_t, ItemState>& states) {
    for (const auto& [id, s] : states) {
        SendMessageW(toolbar, TB_ENABLEBUTTON, id, MAKELPARAM(s.enabled ? TRUE : FALSE, 0));
        SendMessageW(toolbar, TB_CHECKBUTTON, id, MAKELPARAM(s.checked ? TRUE : FALSE, 0));
    }
}

int toolbarHeight(HWND toolbar) {
    RECT rc{};
    if (!SendMessageW(toolbar, TB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&rc)))
        return kToolbarButtonHeight + 4;
    return rc.bottom + 3;
}

// The value toolbar is flat and so transparent: its frame, a read-only edit control,
// would show through black. The frame paints the button face instead.
LRESULT CALLBACK frameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    switch (message) {
    case WM_ERASEBKGND: {
        RECT rc;
        GetClientRect(window, &rc);
        FillRect(reinterpret_cast<HDC>(wParam), &rc, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        FillRect(dc, &ps.rcPaint, GetSysColorBrush(COLOR_BTNFACE));
        EndPaint(window, &ps);
        return 0;
    }
    case WM_SETFOCUS:
        return 0; // nothing to type into: no caret
    default:
        return DefSubclassProc(window, message, wParam, lParam);
    }
}

} // namespace

// --- the host's defaults -----------------------------------------------------------

void MainWindowHost::fileCommand(MainWindow&, std::uint16_t) {}
bool MainWindowHost::showOptions(MainWindow&) {
    return false;
}
void MainWindowHost::editValues(MainWindow&) {}
void MainWindowHost::openArguments(MainWindow&, const std::vector<std::u16string>&) {}
std::optional<std::vector<std::u16string>> MainWindowHost::forwardedArguments(const void*, std::size_t) {
    return std::nullopt;
}
void MainWindowHost::help(MainWindow&) {
    currentNotice().show(
        u"Sonimoテスト信号生成ソフト v4.00\n\nSpace: 再生/停止　Esc: 停止\nテンキー +/−: 値を上げる/下げる　"
        u"Page Up/Down: 大きく上げる/下げる\nEnter: 値を編集する",
        u"Sonimoのヘルプ", NoticeIcon::Information, NoticeButtons::Ok);
}

std::u16string systemKeyName(std::uint16_t key, bool extended) {
    const UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
    const LONG lParam = static_cast<LONG>((scan << 16) | (extended ? (1u << 24) : 0u));
    wchar_t name[64] = {};
    const int n = GetKeyNameTextW(lParam, name, 64);
    return n > 0 ? std::u16string(reinterpret_cast<const char16_t*>(name), static_cast<std::size_t>(n)) : u"";
}

// --- creation ------------------------------------------------------------------------

MainWindow::MainWindow(MainWindowHost& host, std::u16string settingsFolder)
    : host_(host), settingsFolder_(std::move(settingsFolder)), tone_(defaultToneData()) {}

MainWindow::~MainWindow() {
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
    player_.SetListener(nullptr, 0);
    player_.Stop();
    if (images_) ImageList_Destroy(images_);
    if (watermark_) DeleteObject(watermark_);
}

bool MainWindow::create(HINSTANCE instance) {
    registerLpcClass(instance);
    hwnd_ = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, &MainWindow::dialogProc,
                               reinterpret_cast<LPARAM>(this));
    return hwnd_ != nullptr;
}

INT_PTR CALLBACK MainWindow::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<MainWindow*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->hwnd_ = window;
        self->createChildren();
        SendMessageW(window, WM_THEMECHANGED, 0, 0);
        self->updateCommands();
        return FALSE; // the focus is already on the grid
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    return self ? self->handle(message, wParam, lParam) : FALSE;
}

HWND MainWindow::createToolbar(HWND parent, int id, std::span<const ToolbarEntry> table, bool labels) {
    DWORD style = WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NODIVIDER | CCS_NORESIZE |
                  CCS_NOPARENTALIGN;
    if (labels) style |= TBSTYLE_LIST;
    HWND tb = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr, style, 0, 0, 0, 0, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    SendMessageW(tb, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(tb, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    SendMessageW(tb, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_));
    if (parent != hwnd_) SendMessageW(tb, TB_SETPARENT, reinterpret_cast<WPARAM>(hwnd_), 0);
    std::vector<TBBUTTON> buttons;
    for (const ToolbarEntry& e : table) {
        TBBUTTON b{};
        b.idCommand = e.command;
        b.fsState = TBSTATE_ENABLED;
        b.iString = -1;
        switch (e.style) {
        case kTbSeparator:
            b.fsStyle = BTNS_SEP;
            b.iBitmap = 6;
            break;
        case kTbToggle:
            b.fsStyle = BTNS_CHECK;
            break;
        case kTbRadio:
            b.fsStyle = BTNS_CHECKGROUP;
            break;
        default:
            b.fsStyle = BTNS_BUTTON;
            break;
        }
        if (e.style != kTbSeparator) {
            // The image list holds the pictures in the order of their resource numbers.
            b.iBitmap = -e.image - IDB_FIRST_TOOLBAR;
            if (labels && e.label) {
                b.iString = reinterpret_cast<INT_PTR>(e.label);
                b.fsStyle |= BTNS_AUTOSIZE | BTNS_SHOWTEXT;
            }
        }
        buttons.push_back(b);
    }
    SendMessageW(tb, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    if (!labels) SendMessageW(tb, TB_SETBUTTONSIZE, 0, MAKELPARAM(kToolbarButtonWidth, kToolbarButtonHeight));
    return tb;
}

void MainWindow::buildMenuBar() {
    HMENU bar = GetMenu(hwnd_);
    if (!bar) return;
    for (const MenuNode& popup : readMenuTable(mainMenuTable()))
        AppendMenuW(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(buildPopup(popup.children, true)),
                    wide(popup.text));
    // the help menu, after the program's own three
    HMENU help = CreatePopupMenu();
    AppendMenuW(help, MF_STRING, kCmdHelp, L"Sonimoのヘルプ\tF1");
    AppendMenuW(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(help), L"ヘルプ");
    DeleteMenu(bar, IDM_PLACEHOLDER, MF_BYCOMMAND);
    DrawMenuBar(hwnd_);
}

void MainWindow::createChildren() {
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE));
    font_ = reinterpret_cast<HFONT>(SendMessageW(hwnd_, WM_GETFONT, 0, 0));
    RECT du{0, 0, 4, 8};
    MapDialogRect(hwnd_, &du);
    units_ = {du.right > 0 ? static_cast<int>(du.right) : 6,
              du.bottom > 0 ? static_cast<int>(du.bottom) : 13};
    RECT wr;
    GetWindowRect(hwnd_, &wr);
    defaultWidth_ = wr.right - wr.left;
    defaultHeight_ = wr.bottom - wr.top;
    const int iconSize = GetSystemMetrics(SM_CXICON), smallSize = GetSystemMetrics(SM_CXSMICON);
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                                     iconSize, iconSize, LR_DEFAULTCOLOR)));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                                     smallSize, smallSize, LR_DEFAULTCOLOR)));

    // The toolbar pictures, one image per resource number from 322 (gaps stay empty).
    images_ = ImageList_Create(16, 16, ILC_COLOR32, 32, 0);
    for (int id = IDB_FIRST_TOOLBAR; id <= 353; ++id) {
        HBITMAP bmp = static_cast<HBITMAP>(
            LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 16, 16, LR_CREATEDIBSECTION));
        if (!bmp || id == IDB_WATERMARK) {
            if (bmp) DeleteObject(bmp);
            bmp = CreateBitmap(16, 16, 1, 32, nullptr);
        }
        ImageList_Add(images_, bmp, nullptr);
        DeleteObject(bmp);
    }

    // 1. the value grid
    grid_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                            WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS, 0, 0, 0, 0,
                            hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdValueGrid)), instance,
                            nullptr);
    SendMessageW(grid_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    SendMessageW(grid_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    // 2. the frame of the value toolbar; 3. and 4. the toolbars
    frame_ = CreateWindowExW(
        0, L"Edit", L"", WS_CHILD | WS_VISIBLE | ES_READONLY | ES_MULTILINE | WS_CLIPCHILDREN, 0, 0, 0, 0,
        hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdToolbarFrame)), instance, nullptr);
    SetWindowSubclass(frame_, frameProc, 1, 0);
    mainToolbar_ = createToolbar(hwnd_, kIdMainToolbar, mainToolbarTable(), true);
    valueToolbar_ = createToolbar(frame_, kIdValueToolbar, valueToolbarTable(), false);
    // 5. the menu bar
    buildMenuBar();
    // 6. the tone buttons
    const char16_t* captions[3] = {u"トーンを削除", u"トーンを追加", u"一覧をクリア"};
    for (int i = 0; i < 3; ++i) {
        buttons_[i] = CreateWindowExW(
            0, L"BUTTON", wide(captions[i]), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0,
            hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCmdDeleteTone + i)), instance, nullptr);
        SendMessageW(buttons_[i], WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    }
    // 7. the grid's columns, watermark and first rows (every supported Windows has watermarks)
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = units_.x(200);
    column.pszText = const_cast<wchar_t*>(wide(u"トーンのデータ"));
    SendMessageW(grid_, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    column.cx = units_.x(120);
    column.pszText = const_cast<wchar_t*>(wide(u"値"));
    SendMessageW(grid_, LVM_INSERTCOLUMNW, 1, reinterpret_cast<LPARAM>(&column));
    watermark_ = static_cast<HBITMAP>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDB_WATERMARK), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (watermark_) {
        LVBKIMAGEW image{};
        image.ulFlags = LVBKIF_TYPE_WATERMARK | LVBKIF_FLAG_ALPHABLEND;
        image.hbm = watermark_;
        if (SendMessageW(grid_, LVM_SETBKIMAGEW, 0, reinterpret_cast<LPARAM>(&image)))
            watermark_ = nullptr; // the list view owns it now
    }
    restoreCurrentTone();
    // 8. the level meter
    meter_.create(hwnd_, kIdLevelMeter, WS_VISIBLE);
    meter_.setSilence(1);
    // 9. the status bar with the volume slider in its third part; 10. its texts
    status_ =
        CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP | WS_CLIPCHILDREN, 0,
                        0, 0, 0, hwnd_, nullptr, instance, nullptr);
    const int parts[3] = {kStatusPartEdges[0], kStatusPartEdges[1], -1};
    SendMessageW(status_, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(parts));
    slider_.createIn(status_, hwnd_);
    setStatusTexts();
    // 11. the player on the stored device; 12. the volume it has. Finding the device wakes
    // the sound system, which is slow: without autoplay it waits until the window shows.
    player_.SetListener(this, 0);
    const bool autoplay = currentSettings().readBool(u"settings", u"autoplay", false);
    if (autoplay)
        selectStoredDevice();
    else
        SetTimer(hwnd_, kDeviceTimer, 150, nullptr);
    // 13. timers
    SetTimer(hwnd_, kLayoutTimer, 10, nullptr);
    SetTimer(hwnd_, kOffersTimer, 2000, nullptr);
    // 14. the note window; 15. collapsed when the user hid it
    notes_.createIn(hwnd_, hwnd_, font_, units_);
    showNoteWindow_ = currentSettings().readBool(u"Settings", u"ShowNoteWindow", true);
    notes_.setExpanded(showNoteWindow_ && isPeriodic(tone_.waveform));

    // Tooltips of the grid, the tone buttons and the meter.
    tooltips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, instance, nullptr);
    SendMessageW(tooltips_, TTM_SETMAXTIPWIDTH, 0, 600);
    auto addTool = [&](HWND control, const std::u16string* text) {
        TOOLINFOW ti{};
        ti.cbSize = sizeof ti;
        ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        ti.hwnd = hwnd_;
        ti.uId = reinterpret_cast<UINT_PTR>(control);
        ti.lpszText = text ? const_cast<wchar_t*>(wide(*text)) : LPSTR_TEXTCALLBACKW;
        SendMessageW(tooltips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    };
    const std::u16string gridTip = u"トーンの詳細（ダブルクリックで変更）";
    addTool(grid_, &gridTip);
    const char16_t* buttonTips[3] = {u"選択したトーンをトーン一覧から削除する",
                                     u"トーン一覧にトーンを追加する",
                                     u"トーン一覧から最初のトーン以外の全てを削除"};
    for (int i = 0; i < 3; ++i) {
        const std::u16string tip =
            withKeyName(buttonTips[i], static_cast<std::uint16_t>(kCmdDeleteTone + i), true, systemKeyName);
        addTool(buttons_[i], &tip);
    }
    addTool(meter_.hwnd(), nullptr);
    // 16. autoplay
    if (currentSettings().readBool(u"settings", u"autoplay", false)) play();
    layout();
}

void MainWindow::selectStoredDevice() {
    devicesSelected_ = true;
    DeviceCatalogue catalogue;
    player_.SelectDevice(catalogue.LoadSelection(currentSettings()));
    volume_ = std::clamp<int>(player_.GetVolume(), kVolumeMin, kVolumeMax);
    slider_.setPosition(sliderFromVolume(volume_));
}

void MainWindow::restoreCurrentTone() {
    const std::u16string path = settingsFolder_ + u"\\current.tdf";
    if (!settingsFolder_.empty() && fileExists(path) && !loadToneFile(tone_, path)) tone_ = defaultToneData();
    fillGrid();
    SetFocus(grid_);
    selectRows({0});
}

void MainWindow::storeCurrentTone() {
    if (!settingsFolder_.empty()) saveToneFile(tone_, settingsFolder_ + u"\\current.tdf");
}

void MainWindow::setStatusTexts() {
    SendMessageW(status_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(wide(statusProgramText())));
    SendMessageW(status_, SB_SETTEXTW, 1,
                 reinterpret_cast<LPARAM>(wide(statusSampleRateText(currentSettings()))));
}

HWND MainWindow::control(int id) const {
    return GetDlgItem(hwnd_, id);
}

// --- placement -------------------------------------------------------------------------

void MainWindow::restorePlacement() {
    SettingsStore& s = currentSettings();
    StoredPlacement stored;
    auto value = [&](const char16_t* name) -> std::optional<int> {
        if (!s.hasValue(u"MainWindow", name)) return std::nullopt;
        return s.readInt(u"MainWindow", name, 0);
    };
    stored.x = value(u"X");
    stored.y = value(u"Y");
    stored.width = value(u"Width");
    stored.height = value(u"Height");
    stored.maximized = s.readBool(u"MainWindow", u"Maximized", false);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    std::vector<Rect> monitors;
    EnumDisplayMonitors(nullptr, nullptr, addMonitor, reinterpret_cast<LPARAM>(&monitors));
    if (monitors.empty()) monitors.push_back({work.left, work.top, work.right, work.bottom});
    const Placement p = sonimo::restorePlacement(stored, defaultWidth_, defaultHeight_,
                                                 {work.left, work.top, work.right, work.bottom}, monitors);
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    wp.rcNormalPosition = {p.window.left, p.window.top, p.window.right, p.window.bottom};
    const POINT shift = workspaceOffset(wp.rcNormalPosition);
    OffsetRect(&wp.rcNormalPosition, -shift.x, -shift.y);
    wp.showCmd = p.maximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
    SetWindowPlacement(hwnd_, &wp);
    layout();
}

void MainWindow::savePlacement() {
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    if (!GetWindowPlacement(hwnd_, &wp)) return;
    SettingsStore& s = currentSettings();
    RECT r = wp.rcNormalPosition;
    const POINT shift = workspaceOffset(r);
    OffsetRect(&r, shift.x, shift.y);
    s.writeInt(u"MainWindow", u"X", r.left);
    s.writeInt(u"MainWindow", u"Y", r.top);
    s.writeInt(u"MainWindow", u"Width", r.right - r.left);
    s.writeInt(u"MainWindow", u"Height", r.bottom - r.top);
    s.writeBool(u"MainWindow", u"Maximized", wp.showCmd == SW_SHOWMAXIMIZED || IsZoomed(hwnd_));
}

// --- layout ----------------------------------------------------------------------------

void MainWindow::layout() {
    if (!hwnd_ || IsIconic(hwnd_) || !status_) return;
    RECT client;
    GetClientRect(hwnd_, &client);
    MainLayoutInput in;
    in.clientWidth = client.right;
    in.clientHeight = client.bottom;
    in.units = units_;
    in.mainToolbarHeight = toolbarHeight(mainToolbar_);
    in.valueToolbarHeight = toolbarHeight(valueToolbar_);
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = SelectObject(dc, font_);
    int widest = 0;
    for (HWND b : buttons_) {
        wchar_t text[64];
        const int n = GetWindowTextW(b, text, 64);
        SIZE size{};
        GetTextExtentPoint32W(dc, text, n, &size);
        widest = std::max<int>(widest, size.cx);
    }
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    in.buttonWidth = widest + units_.x(16);
    in.noteWindowHeight = notes_.headerHeight() + (notes_.expanded() ? notes_.bodyHeight(client.right) : 0);
    SendMessageW(status_, WM_SIZE, 0, 0); // the status bar places itself at the bottom
    RECT sr;
    GetWindowRect(status_, &sr);
    in.statusBarHeight = sr.bottom - sr.top;
    const MainLayout l = layoutMainWindow(in);
    minClientHeight_ = l.minClientHeight;
    auto place = [](HWND h, const Rect& r) { MoveWindow(h, r.left, r.top, r.width(), r.height(), TRUE); };
    place(mainToolbar_, l.mainToolbar);
    place(frame_, l.toolbarFrame);
    MoveWindow(valueToolbar_, 0, 0, l.toolbarFrame.width(), l.toolbarFrame.height(), TRUE);
    place(grid_, l.grid);
    for (int i = 0; i < 3; ++i)
        place(buttons_[i], l.buttons[i]);
    place(notes_.hwnd(), l.noteWindow);
    place(meter_.hwnd(), l.levelMeter);
    const Rect slider = volumeSliderRect(l.statusBar.width(), l.statusBar.height());
    place(slider_.hwnd(), slider);
}

// --- messages --------------------------------------------------------------------------

INT_PTR MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        if (wParam != SIZE_MINIMIZED) layout();
        return TRUE;
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        RECT frame{0, 0, 0, minClientHeight_};
        AdjustWindowRectEx(&frame, GetWindowLongW(hwnd_, GWL_STYLE), TRUE,
                           GetWindowLongW(hwnd_, GWL_EXSTYLE));
        info->ptMinTrackSize.x = defaultWidth_;
        info->ptMinTrackSize.y = std::max<LONG>(defaultHeight_, frame.bottom - frame.top);
        return TRUE;
    }
    case WM_TIMER:
        KillTimer(hwnd_, wParam);
        if (wParam == kDeviceTimer && !devicesSelected_) selectStoredDevice();
        if (wParam == kLayoutTimer) {
            layout();
            InvalidateRect(status_, nullptr, TRUE);
        }
        return TRUE;
    case WM_COMMAND: {
        const std::uint16_t id = LOWORD(wParam);
        if (id == kIdVolumeSlider && HIWORD(wParam) == kVolumeChangedCode) {
            command(kCmdVolume);
            return TRUE;
        }
        if (id == IDOK || id == IDCANCEL)
            return TRUE; // the dialog manager's Enter and Esc: the key table has them
        command(id);
        return TRUE;
    }
    case WM_NOTIFY:
        onNotify(reinterpret_cast<NMHDR*>(lParam));
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(hwnd_);
        return TRUE;
    case WM_ENDSESSION:
        if (wParam) DestroyWindow(hwnd_);
        return TRUE;
    case WM_DESTROY:
        onDestroy();
        return TRUE;
    case WM_COPYDATA:
        if (!onCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam))) return FALSE;
        SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, 1);
        return TRUE;
    case kMsgForwardedArguments:
        onForwarded(wParam, lParam);
        return TRUE;
    case WM_HELP:
        command(kCmdHelp);
        return TRUE;
    case WM_ENABLE:
        if (wParam) openWaitingArguments(); // the modal dialog has closed
        return FALSE;
    case kMsgCloseFromOutside:
        DestroyWindow(hwnd_);
        return TRUE;
    default:
        if (message >= kChildNotifyBase && message <= kChildNotifyBase + kNotifyNoteButton) {
            onChildNotification(message - kChildNotifyBase, static_cast<int>(wParam), lParam);
            return TRUE;
        }
        return FALSE;
    }
}

void MainWindow::onNotify(NMHDR* header) {
    if (header->hwndFrom == grid_) {
        switch (header->code) {
        case LVN_ITEMCHANGED:
            if (!filling_ && (reinterpret_cast<NMLISTVIEW*>(header)->uChanged & LVIF_STATE)) updateCommands();
            break;
        case NM_DBLCLK:
            command(kCmdGridEdit);
            break;
        case NM_RCLICK:
            command(kCmdGridContextMenu);
            break;
        default:
            break;
        }
        return;
    }
    if (header->code == TTN_GETDISPINFOW) {
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
        static std::u16string text; // must outlive the call
        if (header->idFrom == reinterpret_cast<UINT_PTR>(meter_.hwnd()))
            text = meter_.tooltip();
        else
            text = tooltipOf(static_cast<std::uint16_t>(header->idFrom));
        info->lpszText = const_cast<wchar_t*>(wide(text));
        info->hinst = nullptr;
    }
}

std::u16string MainWindow::tooltipOf(std::uint16_t command) const {
    for (auto table : {mainToolbarTable(), valueToolbarTable()})
        for (const ToolbarEntry& e : table)
            if (e.command == command && e.tooltip)
                return withKeyName(e.tooltip, command, true, systemKeyName);
    return {};
}

void MainWindow::onChildNotification(unsigned code, int, LPARAM value) {
    switch (code) {
    case kNotifyNoteWindowToggle:
        if (!notes_.enabled()) break; // a noise or a list: the setting stays as the user left it
        showNoteWindow_ = !notes_.expanded();
        notes_.setExpanded(showNoteWindow_);
        currentSettings().writeBool(u"Settings", u"ShowNoteWindow", showNoteWindow_);
        layout();
        break;
    case kNotifyScaleValue:
        setFrequency(static_cast<double>(value));
        break;
    case kNotifyNoteButton: {
        const double hz = noteFrequency(static_cast<int>(value));
        if (hz > 0) {
            setFrequency(hz);
            notes_.scale().setValue(static_cast<int>(hz), false);
        }
        break;
    }
    default:
        break;
    }
    updateCommands();
}

// The sender waits for the answer, so the work is posted: the second start ends before any
// file is opened (and before any message box it may bring).
bool MainWindow::onCopyData(const COPYDATASTRUCT* data) {
    if (!data || data->dwData != 0) return false;
    auto arguments = host_.forwardedArguments(data->lpData, data->cbData);
    if (!arguments) return false;
    auto owned = std::make_unique<std::vector<std::u16string>>(std::move(*arguments));
    if (PostMessageW(hwnd_, kMsgForwardedArguments, owned->size(), reinterpret_cast<LPARAM>(owned.get())))
        owned.release();
    return true;
}

void MainWindow::onForwarded(WPARAM count, LPARAM arguments) {
    std::unique_ptr<std::vector<std::u16string>> owned(
        reinterpret_cast<std::vector<std::u16string>*>(arguments));
    // only the program's own path: the user started it again to find the window
    if (!owned || count == 1) comeToFront();
    if (!owned) return;
    // A file handed over while a modal dialog of ours is open (the window is disabled) waits
    // until it closes: it would open a second list dialog over the first, or change the
    // tone under a dialog that works on it.
    if (!IsWindowEnabled(hwnd_)) {
        waitingArguments_.push_back(std::move(*owned));
        return;
    }
    host_.openArguments(*this, *owned);
}

void MainWindow::openWaitingArguments() {
    std::vector<std::vector<std::u16string>> waiting;
    waiting.swap(waitingArguments_);
    for (std::vector<std::u16string>& arguments : waiting) {
        auto owned = std::make_unique<std::vector<std::u16string>>(std::move(arguments));
        if (PostMessageW(hwnd_, kMsgForwardedArguments, owned->size(), reinterpret_cast<LPARAM>(owned.get())))
            owned.release();
    }
}

void MainWindow::comeToFront() {
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    GetWindowPlacement(hwnd_, &wp);
    if (IsIconic(hwnd_))
        ShowWindow(hwnd_, (wp.flags & WPF_RESTORETOMAXIMIZED) ? SW_SHOWMAXIMIZED : SW_RESTORE);
    else if (!IsWindowVisible(hwnd_))
        ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
}

void MainWindow::onDestroy() {
    // forwarded command lines still queued own their arguments
    MSG pending;
    while (PeekMessageW(&pending, hwnd_, kMsgForwardedArguments, kMsgForwardedArguments, PM_REMOVE))
        delete reinterpret_cast<std::vector<std::u16string>*>(pending.lParam);
    savePlacement();
    PostQuitMessage(0);
    player_.SetListener(nullptr, 0);
    stop();
    storeCurrentTone();
    if (notes_.hwnd()) DestroyWindow(notes_.hwnd());
    hwnd_ = nullptr;
}

bool MainWindow::preTranslateMessage(MSG& message) {
    if (!hwnd_) return false;
    if ((message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN) &&
        (message.hwnd == hwnd_ || IsChild(hwnd_, message.hwnd))) {
        const bool repeat = (message.lParam >> 30) & 1;
        std::uint32_t modifiers = 0;
        if (GetKeyState(VK_MENU) < 0) modifiers |= kModAlt;
        if (GetKeyState(VK_CONTROL) < 0) modifiers |= kModCtrl;
        if (GetKeyState(VK_SHIFT) < 0) modifiers |= kModShift;
        const std::uint32_t key = static_cast<std::uint32_t>(message.wParam & 0xFFFF) + (modifiers << 16);
        if (const std::uint16_t id = matchKey(key, repeat)) {
            command(id);
            return true;
        }
        // F1 is the system's help key, not one of the table's
        if (message.wParam == VK_F1 && modifiers == 0) {
            if (!repeat) command(kCmdHelp);
            return true;
        }
    }
    return IsDialogMessageW(hwnd_, &message) != FALSE;
}

// --- the grid --------------------------------------------------------------------------

void MainWindow::fillGrid() {
    filling_ = true;
    SendMessageW(grid_, LVM_DELETEALLITEMS, 0, 0);
    rows_ = gridRows(tone_, [](const std::u16string& p) { return fileExists(p); });
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<wchar_t*>(wide(rows_[i].label));
        item.lParam = static_cast<LPARAM>(rows_[i].code);
        SendMessageW(grid_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        setRowText(static_cast<int>(i));
    }
    filling_ = false;
}

void MainWindow::setRowText(int row) {
    LVITEMW item{};
    item.iSubItem = 1;
    item.pszText = const_cast<wchar_t*>(wide(rows_[row].value));
    SendMessageW(grid_, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

std::vector<int> MainWindow::selectedRows() const {
    std::vector<int> rows;
    int i = -1;
    while ((i = static_cast<int>(SendMessageW(grid_, LVM_GETNEXTITEM, i, LVNI_SELECTED))) >= 0)
        rows.push_back(i);
    return rows;
}

void MainWindow::selectRows(const std::vector<int>& rows) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = 0;
    SendMessageW(grid_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    const int count = static_cast<int>(rows_.size());
    bool first = true;
    for (int r : rows) {
        if (count == 0) break;
        r = std::clamp(r, 0, count - 1);
        item.state = LVIS_SELECTED | (first ? LVIS_FOCUSED : 0);
        SendMessageW(grid_, LVM_SETITEMSTATE, r, reinterpret_cast<LPARAM>(&item));
        if (first) SendMessageW(grid_, LVM_ENSUREVISIBLE, r, FALSE);
        first = false;
    }
}

GridSelection MainWindow::gridSelection() const {
    GridSelection s;
    s.count = static_cast<int>(SendMessageW(grid_, LVM_GETSELECTEDCOUNT, 0, 0));
    const int first =
        static_cast<int>(SendMessageW(grid_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    s.firstIsLastRow = first >= 0 && first == static_cast<int>(rows_.size()) - 1;
    return s;
}

void MainWindow::followSelection() {
    const int first =
        static_cast<int>(SendMessageW(grid_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (first >= 0 && first < static_cast<int>(rows_.size()) && isFrequencyRow(rows_[first].code))
        notes_.scale().setValue(static_cast<int>(LeadingInteger(rows_[first].value)), false);
}

// --- commands --------------------------------------------------------------------------

void MainWindow::updateCommands() {
    if (!hwnd_) return;
    states_ = sonimo::updateCommands(tone_, gridSelection(), !player_.IsStopped());
    applyMenuStates(GetMenu(hwnd_), states_.menu);
    applyToolbarStates(mainToolbar_, states_.mainToolbar);
    applyToolbarStates(valueToolbar_, states_.valueToolbar);
    for (int i = 0; i < 3; ++i)
        EnableWindow(
            buttons_[i],
            CommandStates::of(states_.buttons, static_cast<std::uint16_t>(kCmdDeleteTone + i)).enabled);
    const bool expand = states_.noteWindowEnabled && showNoteWindow_;
    notes_.setEnabled(states_.noteWindowEnabled);
    if (notes_.expanded() != expand) {
        notes_.setExpanded(expand);
        layout();
    }
    followSelection();
}

void MainWindow::command(std::uint16_t id) {
    if (id == kCmdGridContextMenu) {
        showContextMenu();
        return;
    }
    const std::vector<int> previous = selectedRows();
    dispatch(id);
    if (!hwnd_) return;
    if (id != kCmdVolume) {
        SetFocus(grid_);
        if (id == kCmdAddTone)
            selectRows({static_cast<int>(rows_.size()) - 1});
        else
            selectRows(previous);
    }
    updateCommands();
}

void MainWindow::dispatch(std::uint16_t id) {
    switch (id) {
    case kCmdHelp:
        host_.help(*this);
        return;
    case kCmdPlayStop:
        if (player_.IsStopped())
            play();
        else
            stop();
        return;
    case kCmdStop:
        stop();
        return;
    case kCmdVolume:
        volume_ = volumeFromSlider(slider_.position());
        player_.SetVolume(static_cast<std::int8_t>(volume_));
        return;
    case kCmdLoop:
        toggleLoop(tone_);
        applyToneChange();
        return;
    case kCmdFixedLength:
        toggleFixedLength(tone_);
        applyToneChange();
        return;
    case kCmdUpdateOnly:
        return;
    case kCmdToggleStereo:
        toggleStereo(tone_);
        applyToneChange();
        return;
    case kCmdSaveTone:
    case kCmdOpenTone:
    case kCmdSaveToneAs:
    case kCmdNewList:
    case kCmdOpenList:
    case kCmdOpenListToolbar:
    case kCmdSaveList:
    case kCmdSaveWav:
    case kCmdEditInCantrel:
        host_.fileCommand(*this, id);
        return;
    case kCmdOptions: {
        if (host_.showOptions(*this)) stop();
        setStatusTexts();
        return;
    }
    case kCmdRaise:
    case kCmdLower:
        stepSelected(id == kCmdRaise, StepSize::Small);
        return;
    case kCmdRaiseLarge:
    case kCmdLowerLarge:
        stepSelected(id == kCmdRaiseLarge, StepSize::Large);
        return;
    case kCmdEditValue:
    case kCmdGridEdit:
        if (tone_.waveform == FromList)
            host_.editValues(*this);
        else if (isNoise(tone_.waveform) && !(tone_.flags & ToneFlagFixedLength))
            return;
        else if (gridSelection().count > 0)
            host_.editValues(*this);
        return;
    case kCmdKindContinuous:
    case kCmdKindFixed:
    case kCmdKindLinearSweep:
    case kCmdKindLogSweep:
        setKind(tone_, static_cast<ToneKind>(id - kCmdKindContinuous));
        applyToneChange();
        return;
    case kCmdMono:
        setMono(tone_);
        applyToneChange();
        return;
    case kCmdStereo:
        setStereo(tone_);
        applyToneChange();
        return;
    case kCmdRelativeAmplitude:
        toggleRelativeAmplitude(tone_);
        applyToneChange();
        return;
    case kCmdClear:
    case kCmdClearButton:
        if (differsFromDefault(tone_)) {
            filling_ = true;
            SendMessageW(grid_, LVM_DELETEALLITEMS, 0, 0);
            filling_ = false;
            resetToDefaults(tone_);
            applyToneChange();
        }
        return;
    case kCmdDeleteTone:
        deleteTones();
        return;
    case kCmdAddTone:
        if (isPeriodic(tone_.waveform)) {
            addTone(tone_);
            applyToneChange();
        }
        return;
    default:
        if (id >= kCmdWaveformFirst && id <= kCmdWaveformLast) {
            setWaveform(tone_, id - kCmdWaveformFirst);
            applyToneChange();
        } else if (id >= kCmdToneCountFirst && id <= kCmdToneCountLast) {
            setToneCount(tone_, id - 3000);
            applyToneChange();
        }
        return;
    }
}

void MainWindow::stepSelected(bool up, StepSize size) {
    if (!valueCommandsApply(tone_, gridSelection())) return;
    bool changed = false;
    for (int row : selectedRows()) {
        if (row >= static_cast<int>(rows_.size())) continue;
        if (stepValue(tone_, rows_[row].code, up, size, currentSettings())) {
            changed = true;
            rows_[row].value = rowValueText(tone_, rows_[row].code);
            setRowText(row);
        }
    }
    if (changed) liveChange();
}

void MainWindow::editSelected(const AskValue& ask) {
    const std::vector<int> changed = editRows(tone_, rows_, selectedRows(), ask);
    for (int row : changed)
        setRowText(row);
    if (!changed.empty()) liveChange();
}

void MainWindow::deleteTones() {
    std::vector<std::uint32_t> codes;
    for (int row : selectedRows())
        if (row < static_cast<int>(rows_.size())) codes.push_back(rows_[row].code);
    if (removeSelectedTones(tone_, codes, gridSelection().firstIsLastRow)) applyToneChange();
}

HMENU MainWindow::buildContextMenu() {
    HMENU menu = buildPopup(readMenuTable(contextMenuTable()), false);
    states_ = sonimo::updateCommands(tone_, gridSelection(), !player_.IsStopped());
    applyMenuStates(menu, states_.context);
    return menu;
}

void MainWindow::showContextMenu() {
    HMENU menu = buildContextMenu();
    POINT at;
    GetCursorPos(&at);
    const int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd_, nullptr);
    DestroyMenu(menu);
    if (chosen > 0)
        command(static_cast<std::uint16_t>(chosen));
    else
        updateCommands();
}

// --- playback --------------------------------------------------------------------------

void MainWindow::play() {
    devicesSelected_ = true;
    DeviceCatalogue catalogue;
    player_.SelectDevice(catalogue.LoadSelection(currentSettings()));
    if (!player_.Start(RenderToneAtSettingsRate(tone_, currentSettings()))) {
        currentNotice().show(u"再生を開始できません。\r\n\r\nサウンドカードが他のプログラムで使われているか、"
                             u"正しい再生設定の正しい"
                             u"音声再生デバイスが選択されていないことが原因と思われます。",
                             u"音声再生エラー", NoticeIcon::Information, NoticeButtons::Ok);
        return;
    }
    // a new DirectSound buffer starts at full volume: keep the slider's
    player_.SetVolume(static_cast<std::int8_t>(volume_));
}

void MainWindow::stop() {
    player_.Stop();
    meter_.setSilence(silenceChannels());
}

void MainWindow::liveChange() {
    if (player_.IsStopped()) return;
    SourceRef source = RenderToneAtSettingsRate(tone_, currentSettings());
    OutputDevice device;
    if (player_.outputKind() == OutputWaveOut)
        device = player_.waveOut().device();
    else if (player_.outputKind() == OutputDirectSound)
        device = player_.directSound().device();
    if (!hasOwnGuid(device)) {
        player_.Stop();
        if (!player_.Start(source)) {
            meter_.setSilence(silenceChannels());
            return;
        }
        player_.SetVolume(static_cast<std::int8_t>(volume_));
        return;
    }
    player_.ChangeSourceLive(source);
}

void MainWindow::applyToneChange() {
    if (tone_.waveform == FromList) {
        const std::uint8_t loop = tone_.loop;
        tone_.loop = 0;
        SourceRef source = RenderToneAtSettingsRate(tone_, currentSettings());
        const std::int64_t ms = FramesToMs(source->GetLength(), source->sampleRate);
        tone_.lengthMs = static_cast<std::uint32_t>(std::clamp<std::int64_t>(ms, 0, 0xFFFFFFFFLL));
        tone_.loop = loop;
    }
    const std::vector<int> selection = selectedRows();
    fillGrid();
    selectRows(selection);
    liveChange();
}

void MainWindow::setFrequency(double hz) {
    const std::vector<int> selection = selectedRows();
    const std::uint32_t first =
        !selection.empty() && selection[0] < static_cast<int>(rows_.size()) ? rows_[selection[0]].code : 0;
    setFrequencyFromValue(tone_, hz, first);
    applyToneChange();
    if (!selection.empty()) selectRows({selection[0]});
}

// --- player notifications -------------------------------------------------------------------

void MainWindow::started(int) {
    updateCommands();
}

void MainWindow::stopped(int) {
    meter_.setSilence(silenceChannels());
    updateCommands();
}

void MainWindow::levels(const LevelRecord& record, int) {
    if (player_.IsStopped()) return;
    const int channels = record.count >= 2 ? 2 : 1;
    int shown[2] = {kLevelSilence, kLevelSilence};
    for (int c = 0; c < channels; ++c)
        shown[c] = meterLevel(record.levels[c], volume_);
    meter_.setLevels(shown, channels);
}

} // namespace sonimo
