#include "ui/win32/LpcControl.h"

#include "ui/CommandIds.h"

namespace sonimo {

bool registerLpcClass(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    if (GetClassInfoExW(instance, kLpcClassName, &wc)) return true;
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = DefWindowProcW; // each window switches to the object's procedure at creation
    wc.cbWndExtra = sizeof(void*);
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kLpcClassName;
    return RegisterClassExW(&wc) != 0;
}

LpcControl::~LpcControl() {
    if (hwnd_ && IsWindow(hwnd_)) {
        SetWindowLongPtrW(hwnd_, 0, 0);
        DestroyWindow(hwnd_);
    }
}

HWND LpcControl::create(HWND parent, int id, DWORD style, DWORD exStyle) {
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE));
    registerLpcClass(instance);
    hwnd_ = CreateWindowExW(exStyle, kLpcClassName, L"", style | WS_CHILD, 0, 0, 0, 0, parent,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, 0, reinterpret_cast<LONG_PTR>(this));
        SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LpcControl::procedure));
    }
    return hwnd_;
}

LRESULT LpcControl::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd_, &ps);
        RECT client;
        GetClientRect(hwnd_, &client);
        paint(dc, client);
        EndPaint(hwnd_, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1; // paint() covers the whole client area
    default:
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
}

LRESULT CALLBACK LpcControl::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<LpcControl*>(GetWindowLongPtrW(window, 0));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        self->hwnd_ = nullptr;
        SetWindowLongPtrW(window, 0, 0);
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->handle(message, wParam, lParam);
}

LRESULT notifyParent(HWND target, unsigned code, int controlId, LPARAM value) {
    return SendMessageW(target, kChildNotifyBase + code, static_cast<WPARAM>(controlId), value);
}

} // namespace sonimo
