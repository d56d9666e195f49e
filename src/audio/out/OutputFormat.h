// What both output back-ends share: the 16-bit PCM format record, the conversion of
// source samples to 16-bit, the per-block level record, and readable texts for the
// result codes of winmm and DirectSound.
#pragma once
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace sonimo {

// A channel-count byte and one level byte per channel (dB re 131072, -127 for silence).
struct LevelRecord {
    std::uint8_t count = 1;
    std::int8_t levels[256] = {};
};

// 20 log10(peak / 131072), rounded half away from zero, clamped to -127..127; -127 for 0.
std::int8_t LevelOfPeak(std::uint32_t peak);
// Levels of `frames` interleaved frames of `channels` (at most 255) into `record`.
void FillLevels(LevelRecord& record, const std::int32_t* samples, int frames, int channels);

// (x + 8) >> 4, arithmetic, without clipping: the limiter in front keeps x in range, and
// a value outside wraps as a 16-bit integer does.
inline std::int16_t To16(std::int32_t x) {
    return static_cast<std::int16_t>((static_cast<std::int64_t>(x) + 8) >> 4);
}
void ConvertTo16(const std::int32_t* source, std::int16_t* out, std::size_t samples);

// 16-bit PCM at `rate` with `channels` (1..255): plain PCM for one or two channels, the
// extensible format with the channel mask of ChannelMaskFor from three on.
WAVEFORMATEXTENSIBLE MakeOutputFormat(int rate, int channels);
DWORD ChannelMaskFor(int channels);

std::string DescribeMmResult(MMRESULT result);
std::string DescribeHResult(HRESULT result);

} // namespace sonimo
