// The 108 notes of the note buttons, C0 to B8: equal temperament around A4 = 440 Hz,
// each frequency rounded to four significant figures as the buttons show them.
#pragma once
#include <string>

namespace sonimo {

inline constexpr int kNoteCount = 108;
inline constexpr int kNoteA4 = 57;

double noteFrequency(int index);    // index 0..107; 0 outside
std::u16string noteName(int index); // "C0", "C0#", ... "B8"; empty outside

} // namespace sonimo
