// What the device tests hear: scripts/with-display points ALSA's default device at a WAV
// file, so everything Wine plays lands in $SONIMO_CAPTURE_DIR/capture.wav. The file is
// rewritten each time the device is opened and its header finished when it is closed, so
// tests read it after the output has been closed. Test files that include this header
// share the one capture file and are run one at a time.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "DeviceRequired.h"
#include "synth/SampleSource.h"
#include "tone/ToneData.h"

namespace sonimo::test {

struct Capture {
    bool ok = false;
    int rate = 0;
    int channels = 0;
    int bits = 0;
    std::vector<std::int32_t> samples; // interleaved, on the 16-bit scale (32-bit float data × 32768)
    std::size_t frames() const { return channels ? samples.size() / channels : 0; }
};

std::u16string capturePath(); // empty when no capture folder is set
Capture readCapture();
void removeCapture();
// Copies the capture next to it as `name`, for looking at after a failure.
void keepCapture(const char16_t* name);
bool waveOutDeviceListed();

// A sine at `hz`, `db` relative amplitude (-6 keeps it below full scale so no limiter
// changes it), fixed length `ms` (0 = endless), mono or stereo.
ToneData sineTone(double hz, std::uint32_t ms, int db = -6, bool stereo = false);
// The 16-bit samples a fresh graph of `tone` gives for `frames` frames.
std::vector<std::int32_t> render16(const ToneData& tone, int rate, int frames);

// `mono` copied into `channels` channels, channel k at 1/(k+1) of the level, so that a
// swapped or shifted channel shows.
SourceRef spreadChannels(const SourceRef& mono, int channels);

// Index of the first sample whose magnitude exceeds `threshold`, or npos.
std::size_t firstLoud(const std::vector<std::int32_t>& samples, std::int32_t threshold = 0);
// The capture without runs of at least `minRun` all-zero frames: a sink that does not
// keep real time, like the file the tests hear, gets silence from Wine whenever the
// player is a moment late, and that silence is not the player's output. Counts the
// frames removed in `removed`.
Capture withoutSilentRuns(const Capture& c, std::size_t minRun, std::size_t& removed);
// "" when equal, else where and how `got` first differs from `want` and their lengths.
std::string firstDifference(const std::vector<std::int32_t>& got, const std::vector<std::int32_t>& want);

// Longest run of exact zeros in frames [begin, end) of channel 0.
std::size_t longestZeroRun(const Capture& c, std::size_t begin, std::size_t end);
// Frequency of a steady tone on channel 0 over frames [begin, end), from the periods
// between its rising zero crossings. A device starved on a loaded machine drops pieces, and
// a dropout joins two pieces of the wave: periods more than a quarter away from the median
// one are left out, and the rest averaged (with none left out, this is the plain count).
double crossingFrequency(const Capture& c, std::size_t begin, std::size_t end);

// What a listener notices of channel 0 over frames [begin, end): the peaks of windows of
// `window` frames (the largest and smallest of them, in dB re full scale of 16 bits) and
// the rms over the peak of the whole span (0.707 for a sine, 1 for a square wave).
struct LevelShape {
    double lowestDb = -999, highestDb = -999, rmsOverPeak = 0;
    int windows = 0;
    double spreadDb() const { return highestDb - lowestDb; }
};
LevelShape levelShape(const Capture& c, std::size_t begin, std::size_t end, std::size_t window);

} // namespace sonimo::test
