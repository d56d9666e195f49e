// The frequencies a series is made of: the preferred frequencies of acoustics in
// fractional-octave steps, the notes of the program's note table, or a column of numbers
// read from text. Pure functions: nothing here reads files or prints.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sonimo::cli {

// What one series may hold at most; a longer one is refused, not cut.
inline constexpr std::size_t kMaxSeriesTones = 10000;

// The fractional-octave steps of the preferred frequencies, by the fraction's denominator.
enum class OctaveStep { Whole = 1, Half = 2, Third = 3, Sixth = 6, Twelfth = 12, TwentyFourth = 24 };

// "1" (or "1/1"), "1/2", "1/3", "1/6", "1/12", "1/24"; nothing for anything else.
std::optional<OctaveStep> octaveStepByName(std::string_view name);

// The lowest nominal frequency laid out: the program's grid shows two decimals, so lower
// terms would read as 0.0x Hz there.
inline constexpr double kLowestNominalHz = 0.1;

// The nominal frequencies of the step from fromHz to toHz, both included, in rising order,
// from kLowestNominalHz up to 22000 Hz. Empty when none lies between the limits.
std::vector<double> nominalFrequencies(OctaveStep step, double fromHz, double toHz);

// The index in the note table (0 = C0 .. 107 = B8) of a name as the note buttons write it
// ("C0", "C0#", "A4", "A4#"), or with the sharp before the octave ("C#4"); letters in either
// case. Nothing for any other text, flats included.
std::optional<int> noteIndexByName(std::string_view name);

// A column of frequencies as a user pastes it: one number of hertz per line (LF, CR LF or
// CR), blank lines and lines whose first non-blank character is "#" skipped, and a "#"
// after a number starting a comment. A UTF-8 byte-order mark at the start is skipped.
struct ColumnResult {
    std::vector<double> hz;
    std::string error; // empty when the column is good: "line N: ..." naming the text
};
inline constexpr std::size_t kMaxColumnBytes = 4 * 1024 * 1024;
inline constexpr std::size_t kMaxColumnLineBytes = 1024;
ColumnResult parseFrequencyColumn(std::string_view text);

// A number of hertz as a file name shows it: the shortest text that reads back as the
// value, or six significant figures where that would be long.
std::string hertzText(double hz);

} // namespace sonimo::cli
