#include "ui/win32/NoteWindow.h"

#include <windowsx.h>

#include <optional>
#include <string>

#include "ui/CommandIds.h"
#include "ui/NoteTable.h"
#include "platform/win32/Owned.h"
#include "platform/win32/WideText.h"

namespace sonimo {

HWND NoteWindow::createIn(HWND parent, HWND target, HFONT font, const DialogUnits& units) {
    target_ = target;
    font_ = font;
    units_ = units;
    headerHeight_ = units.y(12);
    scaleHeight_ = MulDiv(kScaleHeight, GetDeviceCaps(WindowDc(nullptr).get(), LOGPIXELSY), 96);
    if (!create(parent, 0, WS_VISIBLE | WS_CLIPCHILDREN)) return nullptr;
    body_.create(hwnd(), 0, WS_VISIBLE | WS_CLIPCHILDREN);
    for (int i = 0; i < kNoteCount; ++i) {
        const std::u16string name = noteName(i);
        buttons_[i] = CreateWindowExW(
            0, L"BUTTON", wide(name), WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0, 0, 0, body_.hwnd(),
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdNoteButtonFirst + i)), nullptr, nullptr);
        SendMessageW(buttons_[i], WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    scale_.createIn(body_.hwnd(), target);
    // A state set before the windows existed (the tone restored at start-up) is theirs now.
    ShowWindow(body_.hwnd(), expanded_ ? SW_SHOW : SW_HIDE);
    EnableWindow(hwnd(), enabled_);
    for (HWND b : buttons_)
        EnableWindow(b, enabled_);
    return hwnd();
}

int NoteWindow::wantedHeight() const {
    if (!expanded_) return headerHeight_;
    RECT rc{};
    GetClientRect(hwnd(), &rc);
    return headerHeight_ + bodyHeight(rc.right - rc.left);
}

void NoteWindow::setExpanded(bool expanded) {
    if (expanded_ == expanded) return;
    expanded_ = expanded;
    ShowWindow(body_.hwnd(), expanded ? SW_SHOW : SW_HIDE);
    InvalidateRect(hwnd(), nullptr, FALSE);
}

void NoteWindow::setEnabled(bool enabled) {
    if (enabled_ == enabled) return;
    enabled_ = enabled;
    EnableWindow(hwnd(), enabled);
    for (HWND b : buttons_)
        EnableWindow(b, enabled);
    InvalidateRect(hwnd(), nullptr, FALSE);
}

void NoteWindow::layoutBody() {
    RECT rc;
    GetClientRect(hwnd(), &rc);
    const int width = rc.right - rc.left;
    const NoteBodyLayout l = layoutNoteBody(0, 0, width, units_, scaleHeight_);
    MoveWindow(body_.hwnd(), 0, headerHeight_, width, l.height, FALSE);
    HDWP dwp = BeginDeferWindowPos(kNoteCount + 1);
    for (int i = 0; i < kNoteCount; ++i) {
        const Rect& b = l.buttons[i];
        dwp = DeferWindowPos(dwp, buttons_[i], nullptr, b.left, b.top, b.width(), b.height(),
                             SWP_NOZORDER | SWP_NOACTIVATE);
    }
    dwp = DeferWindowPos(dwp, scale_.hwnd(), nullptr, l.scale.left, l.scale.top, l.scale.width(),
                         l.scale.height(), SWP_NOZORDER | SWP_NOACTIVATE);
    EndDeferWindowPos(dwp);
    InvalidateRect(body_.hwnd(), nullptr, TRUE);
}

LRESULT NoteWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        layoutBody();
        InvalidateRect(hwnd(), nullptr, FALSE);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (GET_Y_LPARAM(lParam) < headerHeight_ && target_)
            notifyParent(target_, kNotifyNoteWindowToggle, 0, expanded_ ? 0 : 1);
        return 0;
    default:
        return LpcControl::handle(message, wParam, lParam);
    }
}

void NoteWindow::paintHeader(HDC dc, const RECT& rect, bool expanded, bool enabled, HFONT font) {
    FillRect(dc, &rect, GetSysColorBrush(COLOR_BTNFACE));
    RECT line{rect.left, rect.bottom - 1, rect.right, rect.bottom};
    FillRect(dc, &line, GetSysColorBrush(COLOR_BTNSHADOW));
    // the toggle: a triangle pointing down when shown, right when collapsed
    const int h = rect.bottom - rect.top;
    const int cx = rect.left + 4 + h / 2, cy = rect.top + h / 2;
    const int s = h / 4;
    POINT tri[3];
    if (expanded) {
        tri[0] = {cx - s, cy - s / 2};
        tri[1] = {cx + s, cy - s / 2};
        tri[2] = {cx, cy + s};
    } else {
        tri[0] = {cx - s / 2, cy - s};
        tri[1] = {cx - s / 2, cy + s};
        tri[2] = {cx + s, cy};
    }
    const COLORREF ink = GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT);
    {
        OwnedBrush brush(CreateSolidBrush(ink));
        OwnedPen pen(CreatePen(PS_SOLID, 1, ink));
        Selected brushIn(dc, brush.get()), penIn(dc, pen.get());
        Polygon(dc, tri, 3);
    }
    std::optional<Selected> fontIn;
    if (font) fontIn.emplace(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ink);
    RECT text{cx + s + 6, rect.top, rect.right - 4, rect.bottom};
    DrawTextW(dc,
              expanded ? L"音名ボタンと周波数スケール（クリックで隠す）"
                       : L"音名ボタンと周波数スケール（クリックで表示）",
              -1, &text, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_END_ELLIPSIS);
}

void NoteWindow::paint(HDC dc, const RECT& client) {
    RECT header{client.left, client.top, client.right, client.top + headerHeight_};
    paintHeader(dc, header, expanded_, enabled_, font_);
    if (!expanded_ && client.bottom > header.bottom) {
        RECT rest{client.left, header.bottom, client.right, client.bottom};
        FillRect(dc, &rest, GetSysColorBrush(COLOR_BTNFACE));
    }
}

LRESULT NoteWindow::Body::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        const int id = LOWORD(wParam);
        if (id >= kIdNoteButtonFirst && id <= kIdNoteButtonLast && owner_.target_)
            notifyParent(owner_.target_, kNotifyNoteButton, id, id - kIdNoteButtonFirst);
        return 0;
    }
    return LpcControl::handle(message, wParam, lParam);
}

void NoteWindow::Body::paint(HDC dc, const RECT& client) {
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
}

} // namespace sonimo
