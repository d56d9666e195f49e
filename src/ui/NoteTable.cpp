#include "ui/NoteTable.h"

#include <array>
#include <cmath>

namespace sonimo {

namespace {

double fourFigures(double x) {
    const int digits = 3 - static_cast<int>(std::floor(std::log10(x)));
    const double scale = std::pow(10.0, digits);
    return std::round(x * scale) / scale;
}

const std::array<double, kNoteCount>& table() {
    static const std::array<double, kNoteCount> notes = [] {
        std::array<double, kNoteCount> t{};
        for (int i = 0; i < kNoteCount; ++i)
            t[i] = fourFigures(440.0 * std::pow(2.0, (i - kNoteA4) / 12.0));
        return t;
    }();
    return notes;
}

} // namespace

double noteFrequency(int index) {
    return index >= 0 && index < kNoteCount ? table()[index] : 0.0;
}

std::u16string noteName(int index) {
    if (index < 0 || index >= kNoteCount) return {};
    static constexpr char16_t kLetters[] = u"CCDDEFFGGAAB";
    static constexpr bool kSharp[] = {false, true,  false, true,  false, false,
                                      true,  false, true,  false, true,  false};
    const int n = index % 12;
    std::u16string name{kLetters[n], static_cast<char16_t>(u'0' + index / 12)};
    if (kSharp[n]) name += u'#';
    return name;
}

} // namespace sonimo
