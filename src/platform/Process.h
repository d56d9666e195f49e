// The running process as the file commands see it: ids for temporary names and the
// system's temporary folder.
#pragma once
#include <cstdint>
#include <string>

namespace sonimo {

std::uint32_t currentProcessId();
std::uint32_t currentThreadId();
// The system's temporary folder, ending in a path separator.
std::u16string temporaryFolder();

} // namespace sonimo
