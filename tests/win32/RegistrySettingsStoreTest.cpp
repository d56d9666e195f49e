#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <set>
#include <string>

#include "SettingsStoreContract.h"
#include "app/RegistrySettingsStore.h"
#include "app/SettingsFolder.h"
#include "platform/Text.h"
#include "platform/win32/Owned.h"
#include "platform/win32/WideText.h"

using namespace sonimo;

namespace {

// Each run writes its own sections (named after the process) and removes them at the end.
std::u16string testSection(const std::u16string& base) {
    return utf8ToUtf16("RegistryTest-" + std::to_string(GetCurrentProcessId()) + "-") + base;
}

void removeSection(HKEY root, const std::u16string& section) {
    RegDeleteTreeW(root, wide(RegistrySettingsStore::keyPath(section)));
    RegDeleteKeyW(root, wide(RegistrySettingsStore::keyPath(section)));
}

template <RegistryRoot Root> struct RegistryBackend {
    ~RegistryBackend() {
        for (const auto& s : used)
            removeSection(Root == RegistryRoot::Machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, s);
    }
    SettingsStore& store() { return registry; }
    std::u16string section(const std::u16string& base) {
        std::u16string s = testSection(base);
        used.insert(s);
        return s;
    }
    RegistrySettingsStore registry{Root};
    std::set<std::u16string> used;
};

using UserBackend = RegistryBackend<RegistryRoot::User>;
using MachineBackend = RegistryBackend<RegistryRoot::Machine>;

// Reads the raw value as the registry holds it.
bool rawValue(const std::u16string& section, const std::u16string& name, DWORD& type, std::u16string& data,
              DWORD& bytes) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, wide(RegistrySettingsStore::keyPath(section)), 0, KEY_QUERY_VALUE,
                      &opened) != ERROR_SUCCESS)
        return false;
    const OwnedKey key(opened);
    char16_t buf[1024] = {};
    bytes = sizeof buf;
    const LONG r =
        RegQueryValueExW(key.get(), wide(name), nullptr, &type, reinterpret_cast<BYTE*>(buf), &bytes);
    data.assign(buf, bytes / 2);
    return r == ERROR_SUCCESS;
}

bool setRaw(const std::u16string& section, const std::u16string& name, const void* data, DWORD bytes) {
    HKEY created = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, wide(RegistrySettingsStore::keyPath(section)), 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &created, nullptr) != ERROR_SUCCESS)
        return false;
    const OwnedKey key(created);
    const LONG r = RegSetValueExW(key.get(), wide(name), 0, REG_SZ, static_cast<const BYTE*>(data), bytes);
    return r == ERROR_SUCCESS;
}

} // namespace

namespace sonimo {
INSTANTIATE_TYPED_TEST_SUITE_P(UserRegistry, SettingsContract, UserBackend);
INSTANTIATE_TYPED_TEST_SUITE_P(MachineRegistry, SettingsContract, MachineBackend);
} // namespace sonimo

TEST(RegistryLayout, ValuesAreStringsWithTheirTerminatorUnderTheProductKey) {
    UserBackend b;
    const std::u16string sec = b.section(u"Layout");
    ASSERT_TRUE(b.store().writeText(sec, u"Device", u"Out: default"));
    ASSERT_TRUE(b.store().writeInt(sec, u"Rate", 44100));
    DWORD type = 0, bytes = 0;
    std::u16string data;
    ASSERT_TRUE(rawValue(sec, u"Device", type, data, bytes));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(bytes, 26u) << "12 units and the terminator";
    EXPECT_EQ(data, std::u16string(u"Out: default") + u'\0');
    ASSERT_TRUE(rawValue(sec, u"Rate", type, data, bytes));
    EXPECT_EQ(data, std::u16string(u"44100") + u'\0');
    EXPECT_EQ(RegistrySettingsStore::keyPath(u"Player"), u"Software\\Quarlo Software\\Sonimo\\Player");
}

TEST(RegistryLayout, ValuesWrittenByOthersWithoutTerminatorAreCutAt259Units) {
    UserBackend b;
    const std::u16string sec = b.section(u"Foreign");
    // The registry adds a terminator the caller forgot when one follows in memory, so
    // a non-zero unit follows the bytes given.
    const std::u16string full(261, u'z'); // 520 bytes stored: exactly the buffer, no terminator
    ASSERT_TRUE(setRaw(sec, u"Full", full.data(), 520));
    DWORD type = 0, bytes = 0;
    std::u16string raw;
    ASSERT_TRUE(rawValue(sec, u"Full", type, raw, bytes));
    ASSERT_EQ(bytes, 520u);
    EXPECT_EQ(b.store().readText(sec, u"Full", u"d"), std::u16string(259, u'z'));
    const std::u16string shortText = u"128x";
    ASSERT_TRUE(setRaw(sec, u"Short", shortText.data(), 6));
    EXPECT_EQ(b.store().readText(sec, u"Short", u"d"), u"128");
    EXPECT_EQ(b.store().readInt(sec, u"Short", 0), 128);
}

TEST(RegistrySettingsFolder, IsUnderTheRoamingApplicationDataAndCreatedOnce) {
    wchar_t appData[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData)));
    const std::u16string expected =
        boundedText(reinterpret_cast<const char16_t*>(appData), MAX_PATH) + u"\\Quarlo Software\\Sonimo";
    // Start from a missing folder when it is empty (it is in the test prefix).
    RemoveDirectoryW(wide(expected));
    const bool wasMissing = GetFileAttributesW(wide(expected)) == INVALID_FILE_ATTRIBUTES;

    std::u16string path;
    const bool created = settingsFolder(path);
    EXPECT_EQ(path, expected);
    EXPECT_EQ(created, wasMissing);
    const DWORD a = GetFileAttributesW(wide(path));
    ASSERT_NE(a, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(a & FILE_ATTRIBUTE_DIRECTORY);

    std::u16string again;
    EXPECT_FALSE(settingsFolder(again)) << "an existing folder is not newly created";
    EXPECT_EQ(again, expected);
}
