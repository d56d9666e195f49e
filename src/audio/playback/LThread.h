// The framework's thread object: a Win32 thread with a manual-reset stop event, a
// running flag and a name. The owner starts it, asks it to stop and waits for it; Run
// checks the stop event at every wait. Priorities are Win32 thread priorities.
#pragma once
#include <windows.h>

#include <atomic>
#include <string>

#include "platform/win32/Owned.h"

namespace sonimo {

class LThread {
public:
    explicit LThread(const wchar_t* name);
    virtual ~LThread(); // waits for a thread still running (derived classes stop theirs first)
    LThread(const LThread&) = delete;
    LThread& operator=(const LThread&) = delete;

    bool StartThread(int priority); // clears the stop event first
    void RequestStop() { SetEvent(stop_.get()); }
    // Waits without time-out for the thread to end and closes its handle; the thread
    // gets the caller's priority while it is waited for, so that it can finish its turn.
    void Join();
    bool StopRequested() const { return WaitForSingleObject(stop_.get(), 0) == WAIT_OBJECT_0; }
    HANDLE stopEvent() const { return stop_.get(); }      // borrowed
    HANDLE threadHandle() const { return thread_.get(); } // borrowed
    bool running() const { return running_.load(std::memory_order_acquire); }
    void SetPriority(int priority);
    const std::wstring& name() const { return name_; }

protected:
    virtual void Run() = 0;

private:
    static DWORD WINAPI entry(void* self);

    OwnedHandle stop_;
    OwnedHandle thread_; // while a thread has been started and not yet joined
    std::atomic<bool> running_{false};
    std::wstring name_;
};

} // namespace sonimo
