// A CRITICAL_SECTION as a standard lockable, so that it is held by std::scoped_lock or
// std::unique_lock for one scope and never entered or left by hand. It stays a critical
// section rather than a std::mutex because a thread may enter it again.
#pragma once

#include <windows.h>

namespace sonimo {

class CriticalSection {
public:
    CriticalSection() noexcept { InitializeCriticalSection(&section_); }
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    // The names the standard's lock holders call.
    void lock() noexcept { EnterCriticalSection(&section_); }
    void unlock() noexcept { LeaveCriticalSection(&section_); }
    bool try_lock() noexcept { return TryEnterCriticalSection(&section_) != 0; }

private:
    CRITICAL_SECTION section_;
};

} // namespace sonimo
