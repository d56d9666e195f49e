// Owned Win32 resources: one move-only holder, with a small traits class per kind of
// handle saying what "none" is and how to give it back. Every class that owns a handle,
// a GDI object or a COM interface holds it in one of these, so that each is released
// exactly once, on every path; a raw handle member is a borrowed one.
#pragma once

#include <windows.h>

#include <utility>

namespace sonimo {

template <class Traits> class Owned {
public:
    using Handle = typename Traits::Handle;

    Owned() noexcept = default;
    explicit Owned(Handle h) noexcept : handle_(h) {}
    ~Owned() { reset(); }
    Owned(Owned&& other) noexcept : handle_(other.release()) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != Traits::none(); }
    // Gives the handle up without closing it.
    [[nodiscard]] Handle release() noexcept { return std::exchange(handle_, Traits::none()); }
    void reset(Handle h = Traits::none()) noexcept {
        const Handle old = std::exchange(handle_, h);
        if (old != Traits::none()) Traits::close(old);
    }
    // For an API that hands a new handle back through a pointer: closes the old one first.
    Handle* put() noexcept {
        reset();
        return &handle_;
    }

private:
    Handle handle_ = Traits::none();
};

namespace traits {
struct KernelHandle { // events, mutexes, pipes, processes, threads: null when there is none
    using Handle = HANDLE;
    static Handle none() noexcept { return nullptr; }
    static void close(Handle h) noexcept { CloseHandle(h); }
};
struct FileHandle { // CreateFileW says "none" with INVALID_HANDLE_VALUE
    using Handle = HANDLE;
    static Handle none() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Handle h) noexcept { CloseHandle(h); }
};
template <class T> struct GdiObject { // fonts, bitmaps, brushes, pens
    using Handle = T;
    static Handle none() noexcept { return nullptr; }
    static void close(Handle h) noexcept { DeleteObject(h); }
};
struct MemoryDc { // from CreateCompatibleDC, not GetDC
    using Handle = HDC;
    static Handle none() noexcept { return nullptr; }
    static void close(Handle h) noexcept { DeleteDC(h); }
};
struct Menu {
    using Handle = HMENU;
    static Handle none() noexcept { return nullptr; }
    static void close(Handle h) noexcept { DestroyMenu(h); }
};
struct Icon {
    using Handle = HICON;
    static Handle none() noexcept { return nullptr; }
    static void close(Handle h) noexcept { DestroyIcon(h); }
};
struct Module {
    using Handle = HMODULE;
    static Handle none() noexcept { return nullptr; }
    static void close(Handle h) noexcept { FreeLibrary(h); }
};
struct RegistryKey {
    using Handle = HKEY;
    static Handle none() noexcept { return nullptr; }
    static void close(Handle h) noexcept { RegCloseKey(h); }
};
struct Window { // a window this code created; closed on the thread that created it
    using Handle = HWND;
    static Handle none() noexcept { return nullptr; }
    static void close(Handle h) noexcept { DestroyWindow(h); }
};
} // namespace traits

using OwnedHandle = Owned<traits::KernelHandle>;
using OwnedFile = Owned<traits::FileHandle>;
using OwnedFont = Owned<traits::GdiObject<HFONT>>;
using OwnedBitmap = Owned<traits::GdiObject<HBITMAP>>;
using OwnedBrush = Owned<traits::GdiObject<HBRUSH>>;
using OwnedPen = Owned<traits::GdiObject<HPEN>>;
using OwnedMemoryDc = Owned<traits::MemoryDc>;
using OwnedMenu = Owned<traits::Menu>;
using OwnedIcon = Owned<traits::Icon>;
using OwnedModule = Owned<traits::Module>;
using OwnedKey = Owned<traits::RegistryKey>;
using OwnedWindow = Owned<traits::Window>;

// A COM interface pointer that holds one reference.
template <class T> class ComPtr {
public:
    ComPtr() noexcept = default;
    // Takes over a reference the caller already holds (as from a Create or Query call).
    explicit ComPtr(T* p) noexcept : p_(p) {}
    ~ComPtr() { reset(); }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) reset(std::exchange(other.p_, nullptr));
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    void reset(T* p = nullptr) noexcept {
        T* old = std::exchange(p_, p);
        if (old) old->Release();
    }
    T** put() noexcept {
        reset();
        return &p_;
    }
    // For the APIs that take void** (QueryInterface, CoCreateInstance).
    void** putVoid() noexcept { return reinterpret_cast<void**>(put()); }

private:
    T* p_ = nullptr;
};

// A window's DC, given back with ReleaseDC.
class WindowDc {
public:
    explicit WindowDc(HWND window) noexcept : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const noexcept { return dc_; }

private:
    HWND window_; // borrowed
    HDC dc_;      // owned: given back with ReleaseDC
};

// An object selected into a DC for one scope; the previous one goes back at its end.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object) noexcept : dc_(dc), old_(SelectObject(dc, object)) {}
    ~Selected() {
        if (old_) SelectObject(dc_, old_);
    }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC dc_;      // borrowed
    HGDIOBJ old_; // borrowed: the DC's own object, selected back at the end
};

} // namespace sonimo
