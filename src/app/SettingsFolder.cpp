#include "app/SettingsFolder.h"

#include <windows.h>

#include <shlobj.h>

#include "platform/Text.h"
#include "platform/win32/WideText.h"

namespace sonimo {

bool settingsFolder(std::u16string& path) {
    path.clear();
    wchar_t base[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base))) return false;
    std::u16string p = boundedText(reinterpret_cast<const char16_t*>(base), MAX_PATH);
    p += u"\\Quarlo Software";
    CreateDirectoryW(wide(p), nullptr);
    p += u"\\Sonimo";
    const bool created = CreateDirectoryW(wide(p), nullptr) != 0;
    path = p;
    return created;
}

} // namespace sonimo
