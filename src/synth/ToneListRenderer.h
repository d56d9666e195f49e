// Turns a tone list into one SequenceSource that plays its entries in order: tones at the
// rate the settings give (or the rate passed), silences at 44100 Hz stereo, WAV files as
// the audio file reader opens them, nested lists in place. The sequence converts each
// child to its own format (the largest rate and channel count among usable children).
// User-interface thread: unrecognised entries are reported through currentNotice().
#pragma once
#include <string>

#include "synth/SampleSource.h"
#include "tone/ToneList.h"

namespace sonimo {

inline constexpr int kListSilenceRate = 44100;
inline constexpr int kListSilenceChannels = 2;

// Tones inside the list (and inside nested lists) render at the settings rate.
SourceRef renderToneList(const ToneList& list);
// The same with the tones rendered at `toneRate`, as if the settings gave that rate.
SourceRef renderToneList(const ToneList& list, int toneRate);

// Reads the list file and renders it. A list that is already being rendered on this
// thread (one that contains itself, directly or through other lists or list tones) is
// refused: the result is a NullSource, which a sequence skips. `refused`, when given,
// tells which happened.
SourceRef renderToneListFile(const std::u16string& path, int toneRate, bool* refused = nullptr);

} // namespace sonimo
