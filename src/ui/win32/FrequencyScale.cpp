#include "ui/win32/FrequencyScale.h"

#include <windowsx.h>

#include <string>

#include "ui/CommandIds.h"
#include "ui/ScaleMath.h"
#include "ui/win32/PngImage.h"
#include "platform/win32/Owned.h"
#include "platform/win32/WideText.h"

namespace sonimo {

namespace {

constexpr int kBackgroundImage = 354;
constexpr int kThumbImage = 355;
constexpr int kTicks[] = {50, 100, 500, 1000, 5000, 10000, 15000, 20000};
constexpr const wchar_t* kTickLabels[] = {L"50 Hz", L"100 Hz", L"500 Hz", L"1 kHz",
                                          L"5 kHz", L"10 kHz", L"15 kHz", L"20 kHz"};

int textWidth(HDC dc, const wchar_t* text) {
    SIZE size{};
    GetTextExtentPoint32W(dc, text, lstrlenW(text), &size);
    return size.cx;
}

// Copies a bitmap onto `dc` through a memory DC of its own.
template <class Copy> void drawBitmap(HDC dc, HBITMAP bitmap, const Copy& copy) {
    OwnedMemoryDc src(CreateCompatibleDC(dc));
    Selected in(src.get(), bitmap);
    BITMAP info{};
    GetObjectW(bitmap, sizeof info, &info);
    copy(src.get(), info);
}

} // namespace

FrequencyScale::FrequencyScale() : savedCursor_(GetCursor()) {}

FrequencyScale::~FrequencyScale() = default;

int FrequencyScale::scaled(int pixels) const {
    return MulDiv(pixels, dpi_, 96);
}

HWND FrequencyScale::createIn(HWND parent, HWND target) {
    target_ = target;
    dpi_ = GetDeviceCaps(WindowDc(nullptr).get(), LOGPIXELSY);
    margin_ = scaled(6);
    thumbWidth_ = scaled(7);
    valueText_ = scaleValueText(value_);
    valueFont_.reset(
        CreateFontW(scaled(14), 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"MS Shell Dlg 2"));
    if (!create(parent, kIdFrequencyScale, WS_VISIBLE)) return nullptr;
    loadImages();
    return hwnd();
}

void FrequencyScale::loadImages() {
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd(), GWLP_HINSTANCE));
    thumb_.reset(loadPngResource(instance, kThumbImage, thumbWidth_, scaled(21)));
    background_.reset(loadPngResource(instance, kBackgroundImage));
}

int FrequencyScale::positionOf(int hz) const {
    return scalePosition(hz, margin_, width_);
}

int FrequencyScale::valueAtX(int x) const {
    return clampScaleValue(scaleValueAt(x, margin_, width_));
}

void FrequencyScale::setValue(int hz, bool notify) {
    const int v = clampScaleValue(hz);
    if (v != value_) {
        value_ = v;
        valueText_ = scaleValueText(v);
        if (hwnd()) {
            InvalidateRect(hwnd(), nullptr, FALSE);
            UpdateWindow(hwnd());
        }
    }
    if (notify && target_) notifyParent(target_, kNotifyScaleValue, kIdFrequencyScale, value_);
}

void FrequencyScale::paintTo(HDC target, int W, int H) {
    // Drawn off screen and copied in one go, so a drag does not flicker.
    OwnedMemoryDc canvasDc(CreateCompatibleDC(target));
    HDC dc = canvasDc.get();
    OwnedBitmap canvas(CreateCompatibleBitmap(target, W > 0 ? W : 1, H > 0 ? H : 1));
    Selected canvasIn(dc, canvas.get());
    const int band = scaled(18);
    const int m = margin_, b = thumbWidth_;

    RECT labels{0, H - band, W, H};
    FillRect(dc, &labels, GetSysColorBrush(COLOR_BTNFACE));
    Selected valueFontIn(dc, valueFont_.get());
    const int d = textWidth(dc, L"22.00 kHz");
    width_ = W - d - 3 * m;
    const int s = width_;

    if (background_) {
        drawBitmap(dc, background_.get(), [&](HDC src, const BITMAP& info) {
            SetStretchBltMode(dc, HALFTONE);
            StretchBlt(dc, 0, 0, W, H - band, src, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
        });
    } else {
        RECT strip{0, 0, W, H - band};
        OwnedBrush brush(CreateSolidBrush(RGB(0x1c, 0x2c, 0x56)));
        FillRect(dc, &strip, brush.get());
    }

    OwnedFont labelFont(
        CreateFontW(scaled(12), 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"MS Shell Dlg 2"));
    {
        Selected labelFontIn(dc, labelFont.get()); // the value font is back at the end of the ticks
        OwnedPen pen(CreatePen(PS_SOLID, 0, RGB(0xFF, 0xFF, 0xFF)));
        Selected penIn(dc, pen.get());
        const int t = textWidth(dc, L"20 kHz");
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        for (int i = 0; i < 8; ++i) {
            const int x = positionOf(kTicks[i]);
            MoveToEx(dc, x, 0, nullptr);
            LineTo(dc, x, H - band);
            RECT r{x - t / 2, H - band, x + t / 2, H};
            DrawTextW(dc, kTickLabels[i], -1, &r, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
        }
    }

    if (thumb_) {
        int x = positionOf(value_) - b / 2;
        if (positionOf(value_) == m + s) --x;
        drawBitmap(dc, thumb_.get(), [&](HDC src, const BITMAP& info) {
            BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
            AlphaBlend(dc, x, scaled(3), info.bmWidth, info.bmHeight, src, 0, 0, info.bmWidth, info.bmHeight,
                       blend);
        });
    }

    RECT box{W - d - m, 0, W, H - band};
    FillRect(dc, &box, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    SetTextColor(dc, RGB(0x00, 0xFF, 0xFF));
    RECT text{W - d - m + 2, scaled(6), W - d - m + 2 + d + m, scaled(6) + H - band};
    DrawTextW(dc, wide(valueText_), -1, &text, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);

    BitBlt(target, 0, 0, W, H, dc, 0, 0, SRCCOPY);
}

LRESULT FrequencyScale::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_LBUTTONDOWN: {
        const int x = GET_X_LPARAM(lParam);
        if (x > width_ + 2 * margin_) return 0; // the value box
        SetCapture(hwnd());
        dragging_ = true;
        const int left = positionOf(value_) - thumbWidth_ / 2;
        if (x >= left && x <= left + thumbWidth_) {
            grab_ = x;
            SetCursor(nullptr);
        }
        SetFocus(hwnd());
        setValue(valueAtX(x), true);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (GetFocus() != hwnd()) SetFocus(hwnd());
        if (dragging_) setValue(valueAtX(GET_X_LPARAM(lParam)), false);
        return 0;
    case WM_LBUTTONUP: {
        const bool wasDragging = dragging_;
        dragging_ = false; // before the release: losing the capture must not end it twice
        ReleaseCapture();
        // The pointer goes back to the thumb only when the thumb was grabbed and the cursor
        // hidden: moved after a plain click, it would take the second press of a
        // double-click out of the system's double-click distance.
        if (wasDragging && grab_ >= 0) {
            RECT rc;
            GetClientRect(hwnd(), &rc);
            POINT p{positionOf(value_), rc.bottom / 2};
            ClientToScreen(hwnd(), &p);
            SetCursorPos(p.x, p.y);
            SetCursor(savedCursor_);
        }
        grab_ = -1;
        // Only the release of a press on the scale sets the value: the release that ends
        // a double-click would otherwise undo its 11000 Hz at once.
        if (wasDragging) setValue(valueAtX(GET_X_LPARAM(lParam)), true);
        return 0;
    }
    case WM_CAPTURECHANGED:
        if (dragging_) {
            dragging_ = false;
            grab_ = -1;
            SetCursor(savedCursor_);
        }
        return 0;
    case WM_SETCURSOR:
        if (grab_ >= 0) {
            SetCursor(nullptr);
            return TRUE;
        }
        return LpcControl::handle(message, wParam, lParam);
    case WM_LBUTTONDBLCLK:
        setValue(kScaleDefault, true);
        return 0;
    case WM_MOUSEWHEEL: {
        POINT p;
        GetCursorPos(&p);
        RECT r;
        GetWindowRect(hwnd(), &r);
        if (PtInRect(&r, p)) setValue(value_ + wheelSteps(GET_WHEEL_DELTA_WPARAM(wParam)), true);
        return 0;
    }
    default:
        return LpcControl::handle(message, wParam, lParam);
    }
}

} // namespace sonimo
