#include "ui/win32/MainWindow.h"

#include <windowsx.h>

#include <algorithm>
#include <map>
#include <memory>

#include "platform/File.h"
#include "platform/Notice.h"
#include "platform/Text.h"
#include "platform/win32/WideText.h"
#include "ui/CommandIds.h"
#include "ui/CommandTables.h"
#include "ui/MeterAndVolume.h"
#include "ui/NoteTable.h"
#include "ui/WindowTexts.h"
#include "ui/win32/Resource.h"

namespace sonimo {

namespace {

constexpr UINT_PTR kLayoutTimer = 3;
constexpr UINT_PTR kDeviceTimer = 5; // the device, once the window is up
constexpr int kToolbarButtonWidth = 22, kToolbarButtonHeight = 24;

Rect rectOf(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

BOOL CALLBACK addMonitor(HMONITOR monitor, HDC, LPRECT r, LPARAM list) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    const Rect whole = rectOf(*r);
    // without its work area a monitor is taken as all work area
    const Rect work = GetMonitorInfoW(monitor, &info) ? rectOf(info.rcWork) : whole;
    reinterpret_cast<std::vector<MonitorArea>*>(list)->push_back({whole, work});
    return TRUE;
}

std::vector<MonitorArea> systemMonitors() {
    std::vector<MonitorArea> monitors;
    EnumDisplayMonitors(nullptr, nullptr, addMonitor, reinterpret_cast<LPARAM>(&monitors));
    return monitors;
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
            if (isRadioItem(n.id)) {
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

TBBUTTON toolbarButton(const ToolbarEntry& e, bool labels) {
    TBBUTTON b{};
    b.idCommand = e.command;
    b.fsState = TBSTATE_ENABLED;
    b.iString = -1;
    switch (e.style) {
    case kTbSeparator:
        b.fsStyle = BTNS_SEP;
        b.iBitmap = 6;
        return b;
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
    // The image list holds the pictures in the order of their resource numbers.
    b.iBitmap = -e.image - IDB_FIRST_TOOLBAR;
    if (labels && e.label) {
        b.iString = reinterpret_cast<INT_PTR>(e.label);
        b.fsStyle |= BTNS_AUTOSIZE | BTNS_SHOWTEXT;
    }
    return b;
}

HWND createChild(DWORD exStyle, const wchar_t* className, const wchar_t* text, DWORD style, HWND parent,
                 int id, HINSTANCE instance) {
    return CreateWindowExW(exStyle, className, text, style, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
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
    currentNotice().show(texts::kHelpText, texts::kHelpCaption, NoticeIcon::Information, NoticeButtons::Ok);
}

std::u16string systemKeyName(std::uint16_t key, bool extended) {
    const UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
    const LONG lParam = static_cast<LONG>((scan << 16) | (extended ? (1u << 24) : 0u));
    wchar_t name[64] = {};
    const int n = GetKeyNameTextW(lParam, name, 64);
    return n > 0 ? std::u16string(reinterpret_cast<const char16_t*>(name), static_cast<std::size_t>(n)) : u"";
}

// --- creation ------------------------------------------------------------------------

MainWindow::MainWindow(MainWindowHost& host, SettingsStore& settings, std::u16string settingsFolder)
    : host_(host), settingsFolder_(std::move(settingsFolder)), playback_(player_, settings),
      controller_(settings, playback_, *this) {}

MainWindow::~MainWindow() {
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
    player_.SetListener(nullptr, 0);
    player_.Stop();
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
    HWND tb = createChild(0, TOOLBARCLASSNAMEW, nullptr, style, parent, id, nullptr);
    SendMessageW(tb, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(tb, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    SendMessageW(tb, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_.get()));
    if (parent != hwnd_) SendMessageW(tb, TB_SETPARENT, reinterpret_cast<WPARAM>(hwnd_), 0);
    std::vector<TBBUTTON> buttons;
    for (const ToolbarEntry& e : table)
        buttons.push_back(toolbarButton(e, labels));
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
    AppendMenuW(help, MF_STRING, kCmdHelp, wide(texts::kHelpItem));
    AppendMenuW(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(help), wide(texts::kHelpMenu));
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
    loadIcons(instance);
    loadToolbarImages(instance);
    createGrid(instance);
    createToolbars(instance);
    buildMenuBar();
    createToneButtons(instance);
    addGridColumns(instance);
    restoreCurrentTone();
    meter_.create(hwnd_, kIdLevelMeter, WS_VISIBLE);
    meter_.setSilence(1);
    createStatusBar(instance);
    // The player on the stored device, with the volume it has. Finding the device wakes
    // the sound system, which is slow: without autoplay it waits until the window shows.
    player_.SetListener(this, 0);
    const bool autoplay = controller_.autoplay();
    if (autoplay)
        selectStoredDevice();
    else
        SetTimer(hwnd_, kDeviceTimer, 150, nullptr);
    SetTimer(hwnd_, kLayoutTimer, 10, nullptr);
    notes_.createIn(hwnd_, hwnd_, font_, units_);
    notes_.setExpanded(controller_.noteWindowExpanded());
    createTooltips(instance);
    if (autoplay) play();
    layout();
}

void MainWindow::loadIcons(HINSTANCE instance) {
    for (const auto& [which, metric] : {std::pair{ICON_BIG, SM_CXICON}, std::pair{ICON_SMALL, SM_CXSMICON}}) {
        const int size = GetSystemMetrics(metric);
        SendMessageW(hwnd_, WM_SETICON, which,
                     reinterpret_cast<LPARAM>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                                         size, size, LR_DEFAULTCOLOR)));
    }
}

// The toolbar pictures, one image per resource number from 322 (gaps stay empty).
void MainWindow::loadToolbarImages(HINSTANCE instance) {
    images_.reset(ImageList_Create(16, 16, ILC_COLOR32, 32, 0));
    for (int id = IDB_FIRST_TOOLBAR; id <= 353; ++id) {
        OwnedBitmap bmp(static_cast<HBITMAP>(
            LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 16, 16, LR_CREATEDIBSECTION)));
        if (!bmp || id == IDB_WATERMARK) bmp.reset(CreateBitmap(16, 16, 1, 32, nullptr));
        ImageList_Add(images_.get(), bmp.get(), nullptr);
    }
}

void MainWindow::createGrid(HINSTANCE instance) {
    grid_ = createChild(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS, hwnd_,
                        kIdValueGrid, instance);
    SendMessageW(grid_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    SendMessageW(grid_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
}

// The value toolbar sits in a frame of its own under the main toolbar.
void MainWindow::createToolbars(HINSTANCE instance) {
    frame_ =
        createChild(0, L"Edit", L"", WS_CHILD | WS_VISIBLE | ES_READONLY | ES_MULTILINE | WS_CLIPCHILDREN,
                    hwnd_, kIdToolbarFrame, instance);
    SetWindowSubclass(frame_, frameProc, 1, 0);
    mainToolbar_ = createToolbar(hwnd_, kIdMainToolbar, mainToolbarTable(), true);
    valueToolbar_ = createToolbar(frame_, kIdValueToolbar, valueToolbarTable(), false);
}

void MainWindow::createToneButtons(HINSTANCE instance) {
    for (int i = 0; i < 3; ++i) {
        buttons_[i] = createChild(0, L"BUTTON", wide(texts::kToneButtons[i]),
                                  WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, hwnd_,
                                  kCmdDeleteTone + i, instance);
        SendMessageW(buttons_[i], WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    }
}

// The grid's columns and watermark (every supported Windows has watermarks).
void MainWindow::addGridColumns(HINSTANCE instance) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = units_.x(200);
    column.pszText = const_cast<wchar_t*>(wide(texts::kLabelColumn));
    SendMessageW(grid_, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    column.cx = units_.x(120);
    column.pszText = const_cast<wchar_t*>(wide(texts::kValueColumn));
    SendMessageW(grid_, LVM_INSERTCOLUMNW, 1, reinterpret_cast<LPARAM>(&column));
    watermark_.reset(static_cast<HBITMAP>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDB_WATERMARK), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (!watermark_) return;
    LVBKIMAGEW image{};
    image.ulFlags = LVBKIF_TYPE_WATERMARK | LVBKIF_FLAG_ALPHABLEND;
    image.hbm = watermark_.get();
    if (SendMessageW(grid_, LVM_SETBKIMAGEW, 0, reinterpret_cast<LPARAM>(&image)))
        static_cast<void>(watermark_.release()); // the list view owns it now
}

// The status bar with the volume slider in its third part, and its texts.
void MainWindow::createStatusBar(HINSTANCE instance) {
    status_ = createChild(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP | WS_CLIPCHILDREN,
                          hwnd_, 0, instance);
    const int parts[3] = {kStatusPartEdges[0], kStatusPartEdges[1], -1};
    SendMessageW(status_, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(parts));
    slider_.createIn(status_, hwnd_);
    setStatusTexts();
}

// Tooltips of the grid, the tone buttons and the meter (which gives its own text).
void MainWindow::createTooltips(HINSTANCE instance) {
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
    const std::u16string gridTip = texts::kGridTip;
    addTool(grid_, &gridTip);
    for (int i = 0; i < 3; ++i) {
        const std::u16string tip = withKeyName(
            texts::kToneButtonTips[i], static_cast<std::uint16_t>(kCmdDeleteTone + i), true, systemKeyName);
        addTool(buttons_[i], &tip);
    }
    addTool(meter_.hwnd(), nullptr);
}

void MainWindow::selectStoredDevice() {
    controller_.selectStoredDevice();
    slider_.setPosition(controller_.sliderPosition());
}

void MainWindow::restoreCurrentTone() {
    controller_.restoreTone(settingsFolder_);
    fillGrid();
    SetFocus(grid_);
    selectRows({0});
}

void MainWindow::storeCurrentTone() {
    controller_.storeTone(settingsFolder_);
}

void MainWindow::setStatusTexts() {
    SendMessageW(status_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(wide(statusProgramText())));
    SendMessageW(status_, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(wide(controller_.sampleRateStatus())));
}

HWND MainWindow::control(int id) const {
    return GetDlgItem(hwnd_, id);
}

// --- placement -------------------------------------------------------------------------

void MainWindow::restorePlacement() {
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const Placement p =
        controller_.placementToRestore(defaultWidth_, defaultHeight_, rectOf(work), systemMonitors());
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    wp.rcNormalPosition = {p.window.left, p.window.top, p.window.right, p.window.bottom};
    wp.showCmd = p.maximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
    SetWindowPlacement(hwnd_, &wp);
    layout();
}

void MainWindow::savePlacement() {
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    if (!GetWindowPlacement(hwnd_, &wp)) return;
    controller_.storePlacement(rectOf(wp.rcNormalPosition), wp.showCmd == SW_SHOWMAXIMIZED || IsZoomed(hwnd_),
                               systemMonitors());
}

// --- layout ----------------------------------------------------------------------------

// What the widest of the three captions needs.
int MainWindow::toneButtonWidth() {
    WindowDc dc(hwnd_);
    Selected font(dc.get(), font_);
    int widest = 0;
    for (HWND b : buttons_) {
        wchar_t text[64];
        const int n = GetWindowTextW(b, text, 64);
        SIZE size{};
        GetTextExtentPoint32W(dc.get(), text, n, &size);
        widest = std::max<int>(widest, size.cx);
    }
    return widest + units_.x(16);
}

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
    in.buttonWidth = toneButtonWidth();
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
    place(slider_.hwnd(), volumeSliderRect(l.statusBar.width(), l.statusBar.height()));
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
        onTimer(wParam);
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
            if (filling_ || !(reinterpret_cast<NMLISTVIEW*>(header)->uChanged & LVIF_STATE)) break;
            syncSelection();
            updateCommands();
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
    if (header->code == TTN_GETDISPINFOW) onToolTip(header);
}

// The meter's tooltip, or a toolbar button's with its key.
void MainWindow::onToolTip(NMHDR* header) {
    auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
    static std::u16string text; // must outlive the call
    if (header->idFrom == reinterpret_cast<UINT_PTR>(meter_.hwnd()))
        text = meter_.tooltip();
    else
        text = tooltipOf(static_cast<std::uint16_t>(header->idFrom));
    info->lpszText = const_cast<wchar_t*>(wide(text));
    info->hinst = nullptr;
}

// Each timer fires once.
void MainWindow::onTimer(UINT_PTR timer) {
    KillTimer(hwnd_, timer);
    if (timer == kDeviceTimer && !controller_.deviceSelected()) selectStoredDevice();
    if (timer == kLayoutTimer) {
        layout();
        InvalidateRect(status_, nullptr, TRUE);
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
        if (!controller_.toggleNoteWindow()) break;
        notes_.setExpanded(controller_.noteWindowExpanded());
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
    const std::vector<GridRow>& rows = controller_.rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<wchar_t*>(wide(rows[i].label));
        item.lParam = static_cast<LPARAM>(rows[i].code);
        SendMessageW(grid_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        setRowText(static_cast<int>(i));
    }
    filling_ = false;
    syncSelection();
}

void MainWindow::showRows() {
    const std::vector<int> selection = selectedRows();
    fillGrid();
    selectRows(selection);
}

void MainWindow::setRowText(int row) {
    LVITEMW item{};
    item.iSubItem = 1;
    item.pszText = const_cast<wchar_t*>(wide(controller_.rows()[row].value));
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
    const int count = static_cast<int>(controller_.rows().size());
    bool first = true;
    for (int r : rows) {
        if (count == 0) break;
        r = std::clamp(r, 0, count - 1);
        item.state = LVIS_SELECTED | (first ? LVIS_FOCUSED : 0);
        SendMessageW(grid_, LVM_SETITEMSTATE, r, reinterpret_cast<LPARAM>(&item));
        if (first) SendMessageW(grid_, LVM_ENSUREVISIBLE, r, FALSE);
        first = false;
    }
    syncSelection();
}

void MainWindow::followSelection() {
    const std::vector<int>& selection = controller_.selection();
    const std::vector<GridRow>& rows = controller_.rows();
    if (selection.empty()) return;
    const int first = selection.front();
    if (first >= 0 && first < static_cast<int>(rows.size()) && isFrequencyRow(rows[first].code))
        notes_.scale().setValue(static_cast<int>(LeadingInteger(rows[first].value)), false);
}

// --- commands --------------------------------------------------------------------------

void MainWindow::updateCommands() {
    if (!hwnd_) return;
    states_ = controller_.states();
    applyMenuStates(GetMenu(hwnd_), states_.menu);
    applyToolbarStates(mainToolbar_, states_.mainToolbar);
    applyToolbarStates(valueToolbar_, states_.valueToolbar);
    for (int i = 0; i < 3; ++i)
        EnableWindow(
            buttons_[i],
            CommandStates::of(states_.buttons, static_cast<std::uint16_t>(kCmdDeleteTone + i)).enabled);
    notes_.setEnabled(controller_.noteWindowEnabled());
    const bool expand = controller_.noteWindowExpanded();
    if (notes_.expanded() != expand) {
        notes_.setExpanded(expand);
        layout();
    }
    followSelection();
}

// The focus goes back to the grid with the rows that were selected (adding a tone
// selects the new last row).
void MainWindow::command(std::uint16_t id) {
    if (id == kCmdGridContextMenu) {
        showContextMenu();
        return;
    }
    const std::vector<int> previous = selectedRows();
    controller_.select(previous);
    controller_.command(id);
    if (!hwnd_) return;
    if (id != kCmdVolume) {
        SetFocus(grid_);
        if (id == kCmdAddTone)
            selectRows({static_cast<int>(controller_.rows().size()) - 1});
        else
            selectRows(previous);
    }
    updateCommands();
}

void MainWindow::editSelected(const AskValue& ask) {
    controller_.editSelected(ask);
}

HMENU MainWindow::buildContextMenu() {
    HMENU menu = buildPopup(readMenuTable(contextMenuTable()), false);
    syncSelection();
    states_ = controller_.states();
    applyMenuStates(menu, states_.context);
    return menu;
}

void MainWindow::showContextMenu() {
    OwnedMenu menu(buildContextMenu());
    POINT at;
    GetCursorPos(&at);
    const int chosen =
        TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd_, nullptr);
    menu.reset();
    if (chosen > 0)
        command(static_cast<std::uint16_t>(chosen));
    else
        updateCommands();
}

// --- playback --------------------------------------------------------------------------

void MainWindow::play() {
    controller_.play();
}

void MainWindow::stop() {
    controller_.stop();
}

void MainWindow::liveChange() {
    controller_.liveChange();
}

void MainWindow::applyToneChange() {
    controller_.applyToneChange();
}

void MainWindow::setFrequency(double hz) {
    const std::vector<int> selection = selectedRows();
    controller_.select(selection);
    controller_.setFrequency(hz);
    if (!selection.empty()) selectRows({selection[0]});
}

// --- player notifications -------------------------------------------------------------------

void MainWindow::started(int) {
    updateCommands();
}

void MainWindow::stopped(int) {
    meter_.setSilence(controller_.silenceChannels());
    updateCommands();
}

void MainWindow::levels(const LevelRecord& record, int) {
    if (!controller_.playing()) return;
    const int channels = record.count >= 2 ? 2 : 1;
    int shown[2] = {kLevelSilence, kLevelSilence};
    for (int c = 0; c < channels; ++c)
        shown[c] = meterLevel(record.levels[c], controller_.volume());
    meter_.setLevels(shown, channels);
}

} // namespace sonimo
