#include "ui/win32/VolumeSlider.h"

#include <commctrl.h>

#include "ui/CommandIds.h"

namespace sonimo {

HWND VolumeSlider::createIn(HWND statusBar, HWND target) {
    target_ = target;
    if (!create(statusBar, kIdVolumeSlider, WS_VISIBLE | WS_CLIPCHILDREN)) return nullptr;
    trackbar_ = CreateWindowExW(
        0, TRACKBAR_CLASSW, L"", WS_CHILD | WS_VISIBLE | TBS_HORZ | TBS_NOTICKS | TBS_BOTH, 0, 0, 0, 0,
        hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdVolumeTrackbar)), nullptr, nullptr);
    SendMessageW(trackbar_, TBM_SETRANGE, FALSE, MAKELPARAM(0, 100));
    SendMessageW(trackbar_, TBM_SETPAGESIZE, 0, 10);
    return hwnd();
}

void VolumeSlider::setPosition(int position) {
    SendMessageW(trackbar_, TBM_SETPOS, TRUE, position);
}

int VolumeSlider::position() const {
    return static_cast<int>(SendMessageW(trackbar_, TBM_GETPOS, 0, 0));
}

LRESULT VolumeSlider::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        MoveWindow(trackbar_, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_HSCROLL:
        if (reinterpret_cast<HWND>(lParam) == trackbar_ && target_)
            SendMessageW(target_, WM_COMMAND, MAKEWPARAM(kIdVolumeSlider, kVolumeChangedCode),
                         reinterpret_cast<LPARAM>(hwnd()));
        return 0;
    default:
        return LpcControl::handle(message, wParam, lParam);
    }
}

void VolumeSlider::paint(HDC dc, const RECT& client) {
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
}

} // namespace sonimo
