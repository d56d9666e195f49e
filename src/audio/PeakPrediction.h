// How loud a tone's mix gets before the limiter: its peak against full scale, its crest
// factor, and whether the limiter in front of every device and WAV file will act. A
// steady periodic tone is measured over one common period of its frequencies when that
// is short, which covers every phase relation the tones take; anything else over its
// first seconds.
#pragma once
#include "synth/SampleSource.h"
#include "tone/ToneData.h"

namespace sonimo {

enum class PeakMethod {
    CommonPeriod, // exact: one whole common period of a steady periodic tone
    WholeTone,    // exact: every frame of a tone no longer than the window
    FirstSeconds, // measured over the window only (noise, sweeps, lists, long periods)
};

struct PeakPrediction {
    double peakDbfs = -1000;  // against 32768 steps of 16 bits; -1000 for silence
    double crestFactorDb = 0; // peak over rms
    bool limiterActs = false; // some sample passes the limiter's ceiling
    PeakMethod method = PeakMethod::FirstSeconds;
    double windowSeconds = 0; // what was measured (the period, for CommonPeriod)
};

inline constexpr double kPeakWindowSeconds = 10.0;

// The common period of the tone's frequencies in seconds, or 0 when the tone is not
// steady and periodic or the frequencies have no common period of at most `limit`.
double commonPeriodSeconds(const ToneData& tone, double limit = kPeakWindowSeconds);

PeakPrediction predictPeak(const ToneData& tone, int rate);
// Measures `source` from where it stands over at most `seconds`.
PeakPrediction measurePeak(SampleSource& source, double seconds);

} // namespace sonimo
