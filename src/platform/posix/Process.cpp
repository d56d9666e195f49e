#include "platform/Process.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/Text.h"

namespace sonimo {

std::uint32_t currentProcessId() {
    return static_cast<std::uint32_t>(getpid());
}
std::uint32_t currentThreadId() {
    return static_cast<std::uint32_t>(syscall(SYS_gettid));
}

std::u16string temporaryFolder() {
    const char* dir = std::getenv("TMPDIR");
    std::string path = dir && *dir ? dir : "/tmp";
    if (path.back() != '/') path += '/';
    return utf8ToUtf16(path);
}

} // namespace sonimo
