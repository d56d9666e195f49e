// The volume slider (control 103) in the status bar: hosts a trackbar (id 100) of
// positions 0..100 and tells the main window of every move as command 103, code 0x300.
#pragma once
#include "ui/win32/LpcControl.h"

namespace sonimo {

inline constexpr WORD kVolumeChangedCode = 0x300;

class VolumeSlider final : public LpcControl {
public:
    // `target` receives the command; borrowed.
    HWND createIn(HWND statusBar, HWND target);
    void setPosition(int position);
    int position() const;
    HWND trackbar() const { return trackbar_; }

protected:
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;
    void paint(HDC dc, const RECT& client) override;

private:
    HWND trackbar_ = nullptr;
    HWND target_ = nullptr;
};

} // namespace sonimo
