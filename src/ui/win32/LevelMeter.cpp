#include "ui/win32/LevelMeter.h"

#include <algorithm>

#include "platform/win32/Owned.h"

namespace sonimo {

void LevelMeter::setSilence(int channels) {
    const int none[2] = {kLevelNone, kLevelNone};
    setLevels(none, channels);
}

void LevelMeter::setLevels(const int* levels, int channels) {
    channels_ = channels >= 2 ? 2 : 1;
    levels_[0] = levels[0];
    levels_[1] = channels_ == 2 ? levels[1] : kLevelNone;
    if (hwnd()) InvalidateRect(hwnd(), nullptr, FALSE);
}

namespace {

void fillRect(HDC dc, int l, int t, int r, int b, COLORREF color) {
    if (r <= l || b <= t) return;
    RECT rc{l, t, r, b};
    SetBkColor(dc, color);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rc, nullptr, 0, nullptr);
}

} // namespace

void LevelMeter::paintMeter(HDC dc, const RECT& rect, const int* levels, int channels) {
    const COLORREF back = RGB(0x1c, 0x1f, 0x24);
    fillRect(dc, rect.left, rect.top, rect.right, rect.bottom, back);
    const int left = rect.left + 6, right = rect.right - 6;
    const int length = std::max(0, right - left);
    const int scaleHeight = 11;
    const int barsTop = rect.top + 3, barsBottom = rect.bottom - scaleHeight - 2;
    const int n = channels >= 2 ? 2 : 1;
    const int gap = 2;
    const int barHeight = std::max(1, (barsBottom - barsTop - gap * (n - 1)) / n);
    // Colour zones by level: green up to -6 dB, amber to 0 dB, red above.
    const int amberAt = left + meterFill(-6, length), redAt = left + meterFill(0, length);
    for (int c = 0; c < n; ++c) {
        const int top = barsTop + c * (barHeight + gap), bottom = top + barHeight;
        fillRect(dc, left, top, right, bottom, RGB(0x33, 0x38, 0x40));
        const int end = left + meterFill(levels[c], length);
        fillRect(dc, left, top, std::min(end, amberAt), bottom, RGB(0x3c, 0xc8, 0x5a));
        fillRect(dc, amberAt, top, std::min(end, redAt), bottom, RGB(0xe8, 0xc2, 0x3a));
        fillRect(dc, redAt, top, end, bottom, RGB(0xe8, 0x4a, 0x3a));
    }
    // The scale: a tick and a label every 12 dB.
    OwnedFont font(
        CreateFontW(-9, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"MS Shell Dlg 2"));
    Selected fontIn(dc, font.get());
    SetTextColor(dc, RGB(0xb0, 0xb8, 0xc4));
    SetBkMode(dc, TRANSPARENT);
    for (int db = -48; db <= 12; db += 12) {
        const int x = left + meterFill(db, length);
        fillRect(dc, x, barsBottom + 1, x + 1, barsBottom + 4, RGB(0xb0, 0xb8, 0xc4));
        wchar_t text[8];
        const int len = wsprintfW(text, db > 0 ? L"+%d" : L"%d", db);
        SIZE size{};
        GetTextExtentPoint32W(dc, text, len, &size);
        const int tx = std::clamp(x - size.cx / 2, rect.left + 1, static_cast<int>(rect.right) - size.cx - 1);
        TextOutW(dc, tx, barsBottom + 3, text, len);
    }
}

} // namespace sonimo
