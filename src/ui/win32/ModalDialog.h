// The two halves every dialog object of ours has: the procedure that finds the object again
// (handed over in WM_INITDIALOG's lParam, then kept in DWLP_USER) and the modal run. A
// class uses them by naming `friend struct DialogProcedure<ItsName>;` and having a
// `HWND window_` and an `INT_PTR handle(UINT, WPARAM, LPARAM)`.
#pragma once
#include <windows.h>

namespace sonimo {

template <class Dialog> struct DialogProcedure {
    static INT_PTR CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(window, DWLP_USER, lParam);
            reinterpret_cast<Dialog*>(lParam)->window_ = window;
        }
        auto* self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
        return self ? self->handle(message, wParam, lParam) : FALSE;
    }
};

// The module whose resources hold an owner's dialogs: the owner's, or the program's.
inline HINSTANCE moduleOfOwner(HWND owner) {
    return owner ? reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE))
                 : GetModuleHandleW(nullptr);
}

// Runs `dialog` from template `id`, modal over `owner`; true when it closed with OK.
template <class Dialog> bool runModalDialog(Dialog& dialog, HWND owner, int id) {
    return DialogBoxParamW(moduleOfOwner(owner), MAKEINTRESOURCEW(id), owner,
                           DialogProcedure<Dialog>::procedure, reinterpret_cast<LPARAM>(&dialog)) == IDOK;
}

} // namespace sonimo
