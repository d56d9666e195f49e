// Turns a tone list into one SequenceSource that plays its entries in order: tones at the
// rate passed (the rate the options chose), silences at 44100 Hz stereo, WAV files as
// the audio file reader opens them, nested lists in place. The sequence converts each
// child to its own format (the largest rate and channel count among usable children).
// User-interface thread: unrecognised entries and refused lists are reported through
// currentNotice().
//
// Bounds: one render builds each file it names once (an entry that names a file already
// built in this render shares that graph: a sequence plays one child at a time, and each
// entry reports what a fresh build would report). What costs memory or time is counted:
// the lines read of every list rendered and the graphs built, each at most
// kMaxListEntries; a graph named again costs nothing. Lists nest at most kMaxListDepth
// deep (the stack), and play at most INT32_MAX - 1 frames (time). Beyond a bound the whole
// list is refused with one message.
// Lists are told apart by their files, not their spelling ("./a.tdl", "A.TDL" on Windows).
#pragma once
#include <string>

#include "synth/SampleSource.h"
#include "tone/ToneList.h"

namespace sonimo {

inline constexpr int kListSilenceRate = 44100;
inline constexpr int kListSilenceChannels = 2;
inline constexpr int kMaxListDepth = 16;       // lists within lists, the outermost counted
inline constexpr int kMaxListEntries = 100000; // lines read, and graphs built, in one render

enum class ListOutcome {
    Rendered,
    Cycle,    // the list is already being rendered: it would contain itself
    TooLarge, // deeper or longer than the bounds above
};

// The state of one render, from the outermost list down through every list and list tone
// it names: what was built, which lists are open, what it has cost. Each outermost render
// makes its own; the recursion hands it on.
struct RenderContext;

// Tones inside the list (and inside nested lists) render at `toneRate`.
SourceRef renderToneList(const ToneList& list, int toneRate);

// Reads the list file and renders it. A list that is already being rendered in this
// render (one that contains itself, directly or through other lists or list tones) is
// left out: the result is a NullSource, which a sequence skips. A list beyond the bounds
// is refused with a message and the result is a source with a non-zero state, which
// players and renders refuse. `outcome`, when given, tells which happened.
SourceRef renderToneListFile(const std::u16string& path, int toneRate, ListOutcome* outcome = nullptr);
// The same for a list named inside a render under way (by a list tone of that render):
// a list beyond the bounds gives a NullSource here, and the outermost render refuses.
SourceRef renderToneListFile(RenderContext& context, const std::u16string& path, int toneRate);

// The message shown when a list is refused for its size.
extern const char16_t kListTooLargeText[];
extern const char16_t kListTooLargeCaption[];

} // namespace sonimo
