#include "platform/Clock.h"

#include <windows.h>

namespace sonimo {

std::uint32_t tickCountMs() {
    return GetTickCount();
}

void sleepMs(int ms) {
    if (ms > 0) Sleep(static_cast<DWORD>(ms));
}

std::uint32_t timeSeed() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    LARGE_INTEGER pc;
    QueryPerformanceCounter(&pc);
    return ft.dwLowDateTime ^ static_cast<std::uint32_t>(pc.LowPart) ^ (GetCurrentThreadId() << 16) ^
           GetCurrentProcessId();
}

} // namespace sonimo
