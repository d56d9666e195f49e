// One running copy per desktop: the start-up mutex that serialises starts, the hidden
// instance window a second start looks for, and the forwarding of its command line.
// User-interface thread only.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/Owned.h"

namespace sonimo {

inline constexpr wchar_t kInstanceWindowClass[] = L"QuarloSoftware_InstanceWindow";
inline constexpr wchar_t kInstanceWindowTitle[] = L"Sonimo";
// Posted to the instance window by a start whose command line was empty.
inline constexpr UINT kMsgEmptyCommandLine = WM_APP + 104;

// "Global\SonimoStarting", held from before the instance check until the running
// instance's main window exists, or until a second start has forwarded its arguments.
// The wait is bounded (20 s); after it the process carries on without the mutex.
class StartupMutex {
public:
    StartupMutex();
    ~StartupMutex() { release(); }
    StartupMutex(const StartupMutex&) = delete;
    StartupMutex& operator=(const StartupMutex&) = delete;
    bool owned() const { return owned_; }
    void release();

private:
    OwnedHandle handle_;
    bool owned_ = false; // this thread holds the mutex (not only its handle)
};

// The instance window of the copy that already runs, or null.
HWND findRunningInstance();

// Creates the hidden instance window; WM_COPYDATA reaching it goes to the window stored
// with setInstanceTarget. None when it cannot be created.
OwnedWindow createInstanceWindow(HINSTANCE instance);
void setInstanceTarget(HWND instanceWindow, HWND mainWindow);

// Hands `arguments` (argument 0 is the program's path) to the running copy and waits
// (bounded) for its answer. True when the running copy accepted them.
bool forwardArguments(HWND instanceWindow, const std::vector<std::u16string>& arguments);

// Under Wine the shell starts us in its own folder: make the program's folder current.
void enterProgramFolderUnderWine();
// System DPI awareness, where the system has the call.
void declareDpiAware();

} // namespace sonimo
