#include "ui/win32/FrequencyScale.h"

#include <cmath>

namespace sonimo {

void FrequencyScale::setValue(double hz) {
    if (hz == value_) return;
    value_ = hz;
    if (hwnd()) InvalidateRect(hwnd(), nullptr, FALSE);
}

void FrequencyScale::paint(HDC dc, const RECT& client) {
    FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
    RECT strip{client.left, client.top + 8, client.right, client.bottom - 8};
    HBRUSH back = CreateSolidBrush(RGB(0xe6, 0xec, 0xf5));
    FillRect(dc, &strip, back);
    DeleteObject(back);
    // 1 Hz .. 22 kHz on a logarithmic axis
    const double span = std::log10(22000.0);
    const double v = value_ < 1.0 ? 1.0 : (value_ > 22000.0 ? 22000.0 : value_);
    const int x = client.left + static_cast<int>((client.right - client.left - 1) * std::log10(v) / span);
    RECT mark{x - 1, strip.top, x + 2, strip.bottom};
    HBRUSH ink = CreateSolidBrush(RGB(0x24, 0x58, 0xa8));
    FillRect(dc, &mark, ink);
    DeleteObject(ink);
}

} // namespace sonimo
