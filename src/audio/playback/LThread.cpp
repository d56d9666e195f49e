#include "audio/playback/LThread.h"

namespace sonimo {

LThread::LThread(const wchar_t* name) : stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), name_(name) {}

LThread::~LThread() {
    if (thread_) {
        RequestStop();
        Join();
    }
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
    ResetEvent(stop_.get());
    running_.store(true, std::memory_order_release);
    thread_.reset(CreateThread(nullptr, 0, entry, this, CREATE_SUSPENDED, nullptr));
    if (!thread_) {
        running_.store(false, std::memory_order_release);
        return false;
    }
    SetThreadPriority(thread_.get(), priority);
    ResumeThread(thread_.get());
    return true;
}

void LThread::Join() {
    if (!thread_) return;
    if (GetCurrentThreadId() != GetThreadId(thread_.get())) {
        const int mine = GetThreadPriority(GetCurrentThread());
        if (mine != THREAD_PRIORITY_ERROR_RETURN && mine > GetThreadPriority(thread_.get()))
            SetThreadPriority(thread_.get(), mine);
        WaitForSingleObject(thread_.get(), INFINITE);
    }
    thread_.reset();
    running_.store(false, std::memory_order_release);
}

void LThread::SetPriority(int priority) {
    if (thread_) SetThreadPriority(thread_.get(), priority);
}

} // namespace sonimo
