// The application's own window class "LPC" for custom-drawn controls: double-clicks,
// arrow cursor, and one pointer of window memory pointing to the control object, which
// handles the messages. The object outlives its window; it is not owned by it.
// User-interface thread only.
#pragma once
#include <windows.h>

namespace sonimo {

inline constexpr wchar_t kLpcClassName[] = L"LPC";

bool registerLpcClass(HINSTANCE instance);

class LpcControl {
public:
    virtual ~LpcControl();
    LpcControl() = default;
    LpcControl(const LpcControl&) = delete;
    LpcControl& operator=(const LpcControl&) = delete;

    HWND create(HWND parent, int id, DWORD style, DWORD exStyle = 0);
    HWND hwnd() const { return hwnd_; }

protected:
    // Messages of the control; the default paints through paint() and passes the rest on.
    virtual LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void paint(HDC dc, const RECT& client) = 0;

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND hwnd_ = nullptr;
};

// Sends a child notification (WM_APP + 200 + code) with the control id and a value.
LRESULT notifyParent(HWND target, unsigned code, int controlId, LPARAM value);

} // namespace sonimo
