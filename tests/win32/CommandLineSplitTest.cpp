// The splitting of the command line against the system's own splitter.
#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/win32/WideText.h"
#include "ui/CommandLine.h"

using namespace sonimo;

namespace {

std::vector<std::u16string> systemSplit(const std::u16string& line) {
    std::vector<std::u16string> args;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(wide(line), &count);
    for (int i = 0; argv && i < count; ++i)
        args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
    LocalFree(argv);
    return args;
}

std::string narrow(const std::u16string& s) {
    return std::string(s.begin(), s.end());
}

} // namespace

TEST(CommandLineSplitAgainstSystem, AgreesOnQuotesBackslashesAndBlanks) {
    const char16_t* lines[] = {
        u"\"C:\\Program Files\\Sonimo\\Sonimo.exe\" \"C:\\My Tones\\a.tdf\"",
        u"Sonimo.exe a.tdf b.tdl",
        u"\"C:\\dir\\\"x \\\\\\\"y",
        u"a  \t b\\\\\"c d\" e",
        u"a b\\c\\\\ \"\"",
        u"a \"x\"\"y\" z",
        u"a \"\"\"x\"\"\" \"\"",
        u"a \"unclosed rest",
        u"p \"\\\\server\\share\\t\u30c8\u30fc\u30f3.tdf\"",
    };
    for (const char16_t* line : lines)
        EXPECT_EQ(splitCommandLine(line), systemSplit(line)) << narrow(line);
}

TEST(CommandLineSplitAgainstSystem, AgreesOnRandomLinesOfTheTrickyCharacters) {
    // Lines made of the characters the rules are about, in every order: the system's
    // splitter is the reference.
    const char16_t alphabet[] = {u'a', u' ', u'\t', u'"', u'"', u'\\', u'\\', u'b'};
    std::mt19937 random(11);
    for (int trial = 0; trial < 3000; ++trial) {
        std::u16string line = u"prog ";
        const int length = 1 + static_cast<int>(random() % 14);
        for (int i = 0; i < length; ++i)
            line += alphabet[random() % std::size(alphabet)];
        ASSERT_EQ(splitCommandLine(line), systemSplit(line)) << "line [" << narrow(line) << "]";
    }
}
