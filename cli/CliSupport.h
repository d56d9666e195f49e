// What the commands of sonimo-cli share: exit codes, messages, argument scanning and
// strict number parsing. Arguments arrive as UTF-8 on every platform; paths become
// UTF-16 before they reach the engine.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sonimo::cli {

enum ExitCode : int {
    kExitDone = 0,
    kExitUsage = 1,  // bad arguments
    kExitInput = 2,  // input refused or unreadable
    kExitOutput = 3, // output could not be written
};

using Args = std::vector<std::string>; // the arguments after the command name

// "sonimo-cli: <text>" on standard error.
void printError(std::string_view text);
// The text as it stands, then a line feed, on standard error (the engine's own messages).
void printMessage(std::u16string_view text);
// UTF-8 text on standard output.
void printOut(std::string_view text);
bool stderrIsTerminal();

// The candidate nearest to a mistyped word, or nothing when none is near.
std::string closest(std::string_view word, const std::vector<std::string>& candidates);

// Options of the form --name VALUE or --name=VALUE, flags of the form --name, and
// positional arguments, in order. Unknown options and repeated ones are errors.
class ArgScanner {
public:
    ArgScanner(const Args& args, std::vector<std::string> valueOptions, std::vector<std::string> flagOptions);
    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    std::optional<std::string> value(const std::string& name) const;
    bool flag(const std::string& name) const;
    const std::vector<std::string>& positional() const { return positional_; }

private:
    std::vector<std::pair<std::string, std::string>> values_;
    std::vector<std::string> flags_;
    std::vector<std::string> positional_;
    std::string error_;
};

// Whole-text numbers only: no trailing characters, no infinities or NaN.
std::optional<double> parseDouble(std::string_view text);
std::optional<std::int64_t> parseInteger(std::string_view text);
// A comma-separated list of numbers; empty on any bad element.
std::vector<double> parseDoubleList(std::string_view text, bool& ok);

// The waveforms by the names --wave takes: sine, square, triangle, sawtooth, impulse,
// white, pink, brown, blue, purple, grey.
std::optional<int> waveformByName(std::string_view name);

std::u16string pathArg(const std::string& utf8);
std::string displayPath(const std::u16string& path);

} // namespace sonimo::cli
