// The per-user settings folder: the roaming application-data folder, then
// "Quarlo Software", then "Sonimo". Both levels are created when missing.
#pragma once
#include <string>

namespace sonimo {

// Fills `path` (without a trailing separator; empty when the application-data folder
// is unknown) and returns whether "Sonimo" was created by this call.
bool settingsFolder(std::u16string& path);

} // namespace sonimo
