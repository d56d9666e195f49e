// The frequency scale (control 2124): a strip from 0 to 22000 Hz on four segments of a
// quarter each (0..100 Hz, ..1 kHz, ..10 kHz, ..22 kHz), a thumb at the current value and
// a value box at the right. Clicking, dragging, the wheel and double-clicking set the
// value; every change the user makes is reported to the target as WM_APP + 200 + 400
// (control id, value). User-interface thread only.
#pragma once
#include <string>

#include "platform/win32/Owned.h"
#include "ui/win32/LpcControl.h"

namespace sonimo {

class FrequencyScale final : public LpcControl {
public:
    FrequencyScale();
    ~FrequencyScale() override;
    // `target` receives the reports; borrowed.
    HWND createIn(HWND parent, HWND target);
    // Clamped to 0..22000; repaints when it changed, reports when `notify` (changed or not).
    void setValue(int hz, bool notify);
    int value() const { return value_; }
    const std::u16string& valueText() const { return valueText_; }
    // Geometry of the last paint: left margin, scale width, thumb width.
    int margin() const { return margin_; }
    int scaleWidth() const { return width_; }
    int thumbWidth() const { return thumbWidth_; }
    int positionOf(int hz) const;
    bool dragging() const { return dragging_; }

    // Paints the whole control into `dc` (client size width x height) and updates the
    // scale width from it.
    void paintTo(HDC dc, int width, int height);

protected:
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;
    void paint(HDC dc, const RECT& client) override { paintTo(dc, client.right, client.bottom); }

private:
    void loadImages();
    int scaled(int pixels) const;
    int valueAtX(int x) const;

    HWND target_ = nullptr; // borrowed: the window told of value changes
    int value_ = 11000;
    std::u16string valueText_ = u"0";
    bool dragging_ = false;
    int margin_ = 6;
    int width_ = 1;
    int thumbWidth_ = 7;
    int grab_ = -1;
    int dpi_ = 96;
    OwnedBitmap thumb_;      // 7 x 21 at 96 dpi
    OwnedBitmap background_; // stretched at each paint
    HCURSOR savedCursor_ = nullptr;
    OwnedFont valueFont_;
};

} // namespace sonimo
