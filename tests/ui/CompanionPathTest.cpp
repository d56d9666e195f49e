// Where the program finds its companion editor: the App Paths entry a setup writes,
// quoted or not, and only when that file exists.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "TestSupport.h"
#include "platform/win32/WideText.h"
#include "ui/win32/ProgramHost.h"

namespace sonimo::test {
namespace {

constexpr wchar_t kAppPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Cantrel.exe";

class CompanionPath : public ::testing::Test {
protected:
    void TearDown() override { RegDeleteKeyW(HKEY_CURRENT_USER, kAppPath); }
    void registerPath(const std::u16string& text) {
        HKEY key = nullptr;
        ASSERT_EQ(
            RegCreateKeyExW(HKEY_CURRENT_USER, kAppPath, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
        RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide(text)),
                       static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
        RegCloseKey(key);
    }
    TempDir dir;
};

TEST_F(CompanionPath, IsTheRegisteredFileWithoutItsQuotes) {
    const std::u16string editor = dir.path(u"Cantrel.exe");
    ASSERT_TRUE(writeAll(editor, {'M', 'Z'}));
    registerPath(u"\"" + editor + u"\"");
    EXPECT_EQ(ProgramHost::companionPath(), editor);
    registerPath(editor);
    EXPECT_EQ(ProgramHost::companionPath(), editor);
}

TEST_F(CompanionPath, IsNothingWhenTheRegisteredFileIsGone) {
    registerPath(dir.path(u"Cantrel.exe")); // never written
    EXPECT_EQ(ProgramHost::companionPath(), u"");
}

} // namespace
} // namespace sonimo::test
