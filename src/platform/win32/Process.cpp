#include "platform/Process.h"

#include <windows.h>

namespace sonimo {

std::uint32_t currentProcessId() {
    return GetCurrentProcessId();
}
std::uint32_t currentThreadId() {
    return GetCurrentThreadId();
}

std::u16string temporaryFolder() {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathW(MAX_PATH + 1, path);
    if (n == 0 || n > MAX_PATH) return u".\\";
    return std::u16string(reinterpret_cast<const char16_t*>(path), n);
}

} // namespace sonimo
