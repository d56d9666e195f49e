// What the value grid shows and does, without a window: the rows of a tone with their
// codes, labels and value texts, the small and large steps, typed values with their
// corrections and messages, removing tones, and the frequency a scale or note button sets.
// User-interface thread (messages go through the current notice).
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Notice.h"
#include "platform/SettingsStore.h"
#include "tone/ToneData.h"

namespace sonimo {

// Row codes: the field a row shows (the low four bits of a frequency or amplitude code are
// the tone index).
enum RowCode : std::uint32_t {
    kRowLeftStart = 256,
    kRowRightStart = 512,
    kRowLeftEnd = 768,
    kRowRightEnd = 1024,
    kRowAmplitude = 1280,
    kRowLength = 1536,
    kRowNameOnly = 1792,
};

inline bool isFrequencyRow(std::uint32_t code) {
    return code >= kRowLeftStart && code < kRowAmplitude;
}
inline bool isAmplitudeRow(std::uint32_t code) {
    return code >= kRowAmplitude && code < kRowLength;
}

struct GridRow {
    std::uint32_t code = kRowNameOnly;
    std::u16string label;
    std::u16string value;
    bool operator==(const GridRow&) const = default;
};

inline constexpr std::uint32_t kMaxLengthMs = 10000000;

std::u16string rowLabel(const ToneData& tone, std::uint32_t code);
std::u16string rowValueText(const ToneData& tone, std::uint32_t code);

// fillGrid's rows. For a list tone each line of the list file becomes a row; a line that
// is no silence and names no existing file is reported once, as the list is read.
std::vector<GridRow> gridRows(const ToneData& tone,
                              const std::function<bool(const std::u16string&)>& fileExists);

enum class StepSize { Small, Large };

// Steps the value of one row; false when nothing changed. Frequency steps read the step
// settings ("settings": "semitone increment", "frequency increment step") at each call.
bool stepValue(ToneData& tone, std::uint32_t code, bool up, StepSize size, SettingsStore& settings);

// 2^(n/12) from the semitone ratio by repeated squaring; the reciprocal for negative n.
double semitoneFactor(int n);

// Parses what the user typed for a row and stores it, correcting out-of-range values with
// their message. False for a row without a value (name only, a list line).
bool storeTypedValue(ToneData& tone, std::uint32_t code, std::u16string_view text);

// The leading decimal number of a text: optional blanks and sign, digits, a fraction and
// an exponent, as strtod reads them (no hexadecimal, no infinities). 0 when there is none.
// (Integers are read with LeadingInteger of platform/Text.h.)
double leadingDecimal(std::u16string_view text);

// Removes the tones named by the selected frequency rows: each tone once, highest index
// first, its relative amplitude moving with it, never below one tone. False when the
// command does not apply (see canDeleteTones) or no tone was named.
bool removeSelectedTones(ToneData& tone, const std::vector<std::uint32_t>& selectedCodes,
                         bool firstIsLastRow);

// Typing values: asks for each selected row in turn (title the row's label, prompt the
// label and ":", the entry its value text) and stores what was typed, rewriting the row's
// value text. A cancel ends the whole operation; rows done keep their values. Rows
// without a value are passed over; an endless noise or a list asks nothing. The indexes
// of the rows stored.
using AskValue = std::function<std::optional<std::u16string>(
    const std::u16string& title, const std::u16string& prompt, const std::u16string& text)>;
std::vector<int> editRows(ToneData& tone, std::vector<GridRow>& rows, const std::vector<int>& selected,
                          const AskValue& ask);

// A frequency from the scale or a note button: "%5.2f" (1 below 1) stored through the value
// parser into the row the first selected code names (both start frequencies of a tone for
// its amplitude row, of tone 1 when nothing fits). `firstSelected` 0 means none selected.
void setFrequencyFromValue(ToneData& tone, double hz, std::uint32_t firstSelected);

} // namespace sonimo
