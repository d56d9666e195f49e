// One channel of a recording or a rendered reference as doubles, 1.0 being the full scale
// of a float file (32768 steps of 16-bit PCM). Recordings come through the audio file
// reader, so every format it reads can be measured; references that are tones or lists
// come through the render task, as sonimo-cli render writes them (16-bit, limited).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "synth/SampleSource.h"

namespace sonimo {

// At most this many frames are measured (43 s at 48000 Hz): the tone analysis then needs
// about 300 MB at most, which a 32-bit process can still find in one piece.
inline constexpr std::int64_t kMaxMeasureFrames = std::int64_t{1} << 21;

struct Signal {
    int rate = 0;
    int channels = 0; // of the file or source it came from
    std::vector<double> samples;
};

enum class SignalStatus {
    Ok,
    CannotOpen,    // the file cannot be opened
    Undecodable,   // the reader refused it (see readerState)
    NoSuchChannel, // the channel asked for is beyond the file's
    TooLong,       // more than kMaxMeasureFrames
    Empty,         // no frames
    RenderFailed,  // the render of a tone or list did not complete
};

struct SignalResult {
    SignalStatus status = SignalStatus::Ok;
    int readerState = 0; // the reader's state when Undecodable
};

// Channel 0 is the first. The source is read from its position to its length.
SignalResult ReadChannel(SampleSource& source, int channel, Signal& out);
SignalResult ReadAudioFile(const std::u16string& path, int channel, Signal& out);
// The first channel of what the render task writes for `source` at the source's rate:
// the 16-bit samples render writes, limiter included.
SignalResult RenderFirstChannel(const SourceRef& source, Signal& out);

// What the measurements refuse a recording for.
struct SignalCheck {
    double peak = 0;     // largest |sample|
    bool silent = false; // nothing above -120 dBFS
    int clippedRuns = 0; // runs of 3 or more samples held at 16-bit full scale or beyond
    double firstClipSeconds = 0;
};
SignalCheck CheckSignal(const Signal& s);

} // namespace sonimo
