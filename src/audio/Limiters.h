// The two level limiters behind one small interface, and the fractional dB gain they use.
// Both return a handle that owns the source it was given (through its SourceRef).
#pragma once
#include <cstdint>

#include "synth/SampleSource.h"

namespace sonimo {

// Wraps `source` in a LookaheadLimiter when `ceiling` is below its peakLevel; otherwise
// hands the same source back. Output lags the input by three blocks (see LookaheadLimiter.h).
SourceRef LimitWithLookahead(const SourceRef& source, std::int32_t ceiling);

// Always wraps `source` in a BlockLimiter (callers test the peak first).
SourceRef LimitPerBlock(const SourceRef& source, std::int32_t ceiling);

// dB to an 8.24 amplitude gain: the whole-dB table entries, linearly interpolated
// between floor(db) and floor(db) + 1 and truncated. Defined for every input: values
// beyond the table's -128..127 dB take its end entries, NaN gives the -128 dB entry (0).
std::int32_t DbToGain(float db);

} // namespace sonimo
