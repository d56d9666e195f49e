// Source samples to 16-bit PCM: (x + 8) >> 4 with an arithmetic shift (the nearest step,
// halves going up), saturated to -32768..32767. This is the one conversion of everything
// that is saved (the WAV writers) and everything that is played (both output back-ends),
// so that what is heard and what is saved are the same samples.
//
// It saturates rather than trusting the limiters in front: a declared peakLevel decides
// whether a limiter is needed, it is not a bound that every source keeps. A 24- or 32-bit
// file at full scale reads up to 524287 (15/16 of a step above 32767), a rate converter
// rings past its input, a list takes its peak from its children before they are
// converted; without saturation each of those samples would wrap to the opposite full
// scale, a click. Inside -524296..524279 nothing changes.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace sonimo {

inline std::int16_t ToPcm16(std::int32_t x) {
    // the widest inputs whose rounded step still fits 16 bits
    return static_cast<std::int16_t>((std::clamp<std::int32_t>(x, -524296, 524279) + 8) >> 4);
}

inline void ConvertToPcm16(const std::int32_t* source, std::int16_t* out, std::size_t samples) {
    for (std::size_t i = 0; i < samples; ++i)
        out[i] = ToPcm16(source[i]);
}

} // namespace sonimo
