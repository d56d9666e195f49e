#include "app/RegistrySettingsStore.h"

#include <windows.h>

#include "platform/Text.h"
#include "platform/win32/Owned.h"
#include "platform/win32/WideText.h"

namespace sonimo {

namespace {

// The key at `path`, or none. Each call opens, uses and closes its own key.
OwnedKey openKey(HKEY root, const std::u16string& path, REGSAM access) {
    OwnedKey key;
    if (RegOpenKeyExW(root, wide(path), 0, access, key.put()) != ERROR_SUCCESS) (void)key.release();
    return key;
}

OwnedKey createKey(HKEY root, const std::u16string& path) {
    OwnedKey key;
    if (RegCreateKeyExW(root, wide(path), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr) !=
        ERROR_SUCCESS)
        (void)key.release();
    return key;
}

HKEY rootKey(RegistryRoot r) {
    return r == RegistryRoot::Machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

} // namespace

std::u16string RegistrySettingsStore::keyPath(const std::u16string& section) {
    return u"Software\\Quarlo Software\\Sonimo\\" + section;
}

std::u16string RegistrySettingsStore::readText(const std::u16string& section, const std::u16string& name,
                                               const std::u16string& defaultText) {
    const OwnedKey key = openKey(rootKey(root_), keyPath(section), KEY_QUERY_VALUE);
    if (!key) return defaultText;
    char16_t buffer[kSettingsTextUnits] = {};
    DWORD bytes = sizeof buffer;
    // A value longer than the buffer fails with ERROR_MORE_DATA and gives the default.
    if (RegQueryValueExW(key.get(), wide(name), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &bytes) !=
        ERROR_SUCCESS)
        return defaultText;
    const std::size_t units = bytes / 2 < kSettingsTextUnits - 1 ? bytes / 2 : kSettingsTextUnits - 1;
    return boundedText(buffer, units);
}

bool RegistrySettingsStore::writeText(const std::u16string& section, const std::u16string& name,
                                      const std::u16string& text) {
    const OwnedKey key = createKey(rootKey(root_), keyPath(section));
    if (!key) return false;
    const std::u16string value = boundedText(text.c_str(), text.size());
    const DWORD bytes = static_cast<DWORD>((value.size() + 1) * 2);
    return RegSetValueExW(key.get(), wide(name), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          bytes) == ERROR_SUCCESS;
}

void RegistrySettingsStore::deleteValue(const std::u16string& section, const std::u16string& name) {
    const OwnedKey key = openKey(rootKey(root_), keyPath(section), KEY_SET_VALUE);
    if (!key) return;
    if (RegDeleteValueW(key.get(), wide(name)) == ERROR_FILE_NOT_FOUND)
        RegDeleteValueW(key.get(), wide(u"_" + name));
}

bool RegistrySettingsStore::hasValue(const std::u16string& section, const std::u16string& name) {
    const OwnedKey key = openKey(rootKey(root_), keyPath(section), KEY_QUERY_VALUE);
    if (!key) return false;
    return RegQueryValueExW(key.get(), wide(name), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

} // namespace sonimo
