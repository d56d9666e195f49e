// The note window: a header line with a show/hide toggle, and a body with the 108 note
// buttons (ids 2200..2307) and the frequency scale. The header reports code 100 when
// clicked, a note button code 401 with its note index, both to the main window.
// User-interface thread only.
#pragma once
#include <array>

#include "ui/MainLayout.h"
#include "ui/win32/FrequencyScale.h"
#include "ui/win32/LpcControl.h"

namespace sonimo {

class NoteWindow final : public LpcControl {
public:
    // `target` receives the notifications; borrowed.
    HWND createIn(HWND parent, HWND target, HFONT font, const DialogUnits& units);
    void setExpanded(bool expanded);
    bool expanded() const { return expanded_; }
    void setEnabled(bool enabled);
    bool enabled() const { return enabled_; }
    // The height the window needs: the header, plus the body when expanded.
    int wantedHeight() const;
    int headerHeight() const { return headerHeight_; }
    int bodyHeight(int width) const { return layoutNoteBody(0, 0, width, units_, scaleHeight_).height; }
    FrequencyScale& scale() { return scale_; }
    HWND noteButton(int index) const { return buttons_[index]; }

    static void paintHeader(HDC dc, const RECT& rect, bool expanded, bool enabled, HFONT font);

protected:
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;
    void paint(HDC dc, const RECT& client) override;

private:
    class Body final : public LpcControl {
    public:
        explicit Body(NoteWindow& owner) : owner_(owner) {}

    protected:
        LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;
        void paint(HDC dc, const RECT& client) override;

    private:
        NoteWindow& owner_;
    };

    void layoutBody();

    HWND target_ = nullptr;
    HFONT font_ = nullptr; // the dialog's, borrowed
    DialogUnits units_;
    int headerHeight_ = 18;
    int scaleHeight_ = kScaleHeight; // grows with the screen's scaling
    bool expanded_ = true;
    bool enabled_ = true;
    Body body_{*this};
    std::array<HWND, 108> buttons_{};
    FrequencyScale scale_;
};

} // namespace sonimo
