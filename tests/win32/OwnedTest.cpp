#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/win32/CriticalSection.h"
#include "platform/win32/Owned.h"

using namespace sonimo;

namespace {

bool isOpen(HANDLE h) {
    DWORD flags = 0;
    return GetHandleInformation(h, &flags) != 0;
}

// A closed handle's value may be handed out again at once by another thread of the
// process (Wine's own threads do), so a close is observed on the object, not on the value:
// the read end of a pipe sees the pipe break when its only write handle closes.
struct Pipe {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    Pipe() { CreatePipe(&read, &write, nullptr, 0); }
    ~Pipe() { CloseHandle(read); }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    bool writerClosed() const {
        DWORD available = 0;
        return PeekNamedPipe(read, nullptr, 0, nullptr, &available, nullptr) == 0 &&
               GetLastError() == ERROR_BROKEN_PIPE;
    }
};

// A COM-shaped object that counts what is done to it.
struct Counted {
    int refs = 1;
    int releases = 0;
    unsigned long Release() {
        ++releases;
        return static_cast<unsigned long>(--refs);
    }
};

} // namespace

TEST(Owned, ClosesItsHandleOnceWhenItEndsOrIsReplaced) {
    Pipe first;
    Pipe second;
    {
        OwnedHandle owned(first.write);
        EXPECT_TRUE(owned);
        owned.reset(second.write);
        EXPECT_TRUE(first.writerClosed());
        EXPECT_FALSE(second.writerClosed());
        EXPECT_EQ(owned.get(), second.write);
    }
    EXPECT_TRUE(second.writerClosed());
}

TEST(Owned, AMoveHandsTheHandleOverAndReleaseGivesItUpUnclosed) {
    HANDLE h = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    OwnedHandle a(h);
    OwnedHandle b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(b.get(), h);
    OwnedHandle c;
    c = std::move(b);
    EXPECT_TRUE(isOpen(h));
    HANDLE raw = c.release();
    EXPECT_FALSE(c);
    EXPECT_TRUE(isOpen(raw));
    CloseHandle(raw);
}

TEST(Owned, AFileHandleTakesInvalidHandleValueAsNone) {
    OwnedFile none;
    EXPECT_FALSE(none);
    EXPECT_EQ(none.get(), INVALID_HANDLE_VALUE);
    OwnedFile failed(
        CreateFileW(L"Z:\\no\\such\\folder\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(failed); // and its end closes nothing
}

TEST(Owned, PutClosesTheOldHandleBeforeAnOutParameterFillsIt) {
    Pipe first;
    OwnedHandle owned(first.write);
    HANDLE* slot = owned.put();
    EXPECT_TRUE(first.writerClosed());
    *slot = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_TRUE(isOpen(owned.get()));
}

TEST(Owned, GdiObjectsAreDeleted) {
    HFONT font = CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
    ASSERT_NE(font, nullptr);
    { OwnedFont owned(font); }
    EXPECT_EQ(GetObjectType(font), 0u);
}

TEST(ComPtr, ReleasesItsOneReferenceOnceOnEveryPath) {
    Counted object;
    object.refs = 3;
    {
        ComPtr<Counted> p(&object);
        ComPtr<Counted> q(std::move(p));
        EXPECT_FALSE(p);
        EXPECT_EQ(q.get(), &object);
    }
    EXPECT_EQ(object.releases, 1);
    {
        ComPtr<Counted> p(&object);
        p.reset();
        p.reset();
    }
    EXPECT_EQ(object.releases, 2);
    {
        ComPtr<Counted> p(&object);
        Counted** slot = p.put();
        EXPECT_EQ(object.releases, 3);
        EXPECT_EQ(*slot, nullptr);
    }
    EXPECT_EQ(object.releases, 3);
}

TEST(Selected, PutsThePreviousObjectBackAtTheEndOfItsScope) {
    OwnedMemoryDc dc(CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc);
    HGDIOBJ before = GetCurrentObject(dc.get(), OBJ_PEN);
    OwnedPen pen(CreatePen(PS_SOLID, 1, RGB(1, 2, 3)));
    {
        Selected selected(dc.get(), pen.get());
        EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_PEN), pen.get());
    }
    EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_PEN), before);
}

namespace {
// The window says its own end (WM_NCDESTROY), so a window handle value given again to a
// new window cannot pass for the old one.
bool windowEnded = false;
LRESULT CALLBACK endingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCDESTROY) windowEnded = true;
    return DefWindowProcW(window, message, wParam, lParam);
}
} // namespace

TEST(Owned, AWindowIsDestroyedWithItsHolder) {
    WNDCLASSW cls{};
    cls.lpfnWndProc = endingWindowProc;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.lpszClassName = L"SonimoOwnedTestWindow";
    RegisterClassW(&cls);
    windowEnded = false;
    OwnedWindow window(CreateWindowExW(0, cls.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                       cls.hInstance, nullptr));
    ASSERT_TRUE(window);
    EXPECT_FALSE(windowEnded);
    window.reset();
    EXPECT_TRUE(windowEnded);
}

TEST(CriticalSection, AScopedLockKeepsAnotherThreadOutUntilItsScopeEndsAndCanBeTakenAgain) {
    CriticalSection section;
    std::atomic<bool> entered{false};
    std::thread other;
    {
        std::scoped_lock hold(section);
        other = std::thread([&] {
            std::scoped_lock theirs(section);
            entered = true;
        });
        Sleep(100);
        EXPECT_FALSE(entered) << "the other thread got in while the lock was held";
        std::scoped_lock again(section); // the owner may enter again
    }
    other.join();
    EXPECT_TRUE(entered);
    EXPECT_TRUE(section.try_lock()) << "a scope left the section entered";
    section.unlock();
}
