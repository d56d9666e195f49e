#include "audio/playback/LThread.h"

namespace sonimo {

LThread::LThread(const wchar_t* name) : stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), name_(name) {}

LThread::~LThread() {
    if (thread_) {
        RequestStop();
        Join();
    }
    if (stop_) CloseHandle(stop_);
}

DWORD WINAPI LThread::entry(void* self) {
    LThread* t = static_cast<LThread*>(self);
    // Debuggers show the name where the system can give threads one (Windows 10 and later).
    using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    if (auto set = reinterpret_cast<SetDescription>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription"))))
        set(GetCurrentThread(), t->name_.c_str());
    t->Run();
    t->running_.store(false, std::memory_order_release);
    return 0;
}

bool LThread::StartThread(int priority) {
    if (thread_) return false;
    ResetEvent(stop_);
    running_.store(true, std::memory_order_release);
    thread_ = CreateThread(nullptr, 0, entry, this, CREATE_SUSPENDED, nullptr);
    if (!thread_) {
        running_.store(false, std::memory_order_release);
        return false;
    }
    SetThreadPriority(thread_, priority);
    ResumeThread(thread_);
    return true;
}

void LThread::Join() {
    if (!thread_) return;
    if (GetCurrentThreadId() != GetThreadId(thread_)) {
        const int mine = GetThreadPriority(GetCurrentThread());
        if (mine != THREAD_PRIORITY_ERROR_RETURN && mine > GetThreadPriority(thread_)) SetThreadPriority(thread_, mine);
        WaitForSingleObject(thread_, INFINITE);
    }
    CloseHandle(thread_);
    thread_ = nullptr;
    running_.store(false, std::memory_order_release);
}

void LThread::SetPriority(int priority) {
    if (thread_) SetThreadPriority(thread_, priority);
}

} // namespace sonimo
