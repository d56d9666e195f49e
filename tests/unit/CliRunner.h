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
std::u16string selfPath(); // the running test program
// `input`, when given, is the file standard input reads.
RunResult runProgram(const TempDir& dir, const std::u16string& exe, const std::vector<std::u16string>& args,
                     const std::u16string& input = {});
RunResult runCli(const TempDir& dir, const std::vector<std::u16string>& args,
                 const std::u16string& input = {});
// What the tool printed; Windows' text mode writes each line feed as CR LF.
std::string textOf(const std::u16string& path);

} // namespace sonimo
