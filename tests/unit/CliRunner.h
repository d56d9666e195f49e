// Runs the built sonimo-cli (next to the test program) as a user would: arguments as
// given, standard output and error captured through files in `dir`.
#pragma once
#include <string>
#include <vector>

#include "TestSupport.h"

namespace sonimo {

// A run of the tool that takes longer than this is ended and reported as kCliTimedOut.
inline constexpr int kCliLimitMs = 120000;
inline constexpr int kCliTimedOut = -2;

struct RunResult {
    int code = -1; // the exit code; -1 when the tool could not be started, kCliTimedOut
    std::string out, err;
};

std::u16string cliPath();
RunResult runCli(const TempDir& dir, const std::vector<std::u16string>& args);
// The same with standard input read from the file `input` (none: the test's own).
RunResult runCli(const TempDir& dir, const std::vector<std::u16string>& args, const std::u16string& input);
// What the tool printed; Windows' text mode writes each line feed as CR LF.
std::string textOf(const std::u16string& path);

} // namespace sonimo
