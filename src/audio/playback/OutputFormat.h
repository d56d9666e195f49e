// What both output back-ends share: the 16-bit PCM format record, the per-block level
// record, and readable texts for the result codes of winmm and DirectSound. Samples
// become 16-bit through ConvertToPcm16 (audio/Pcm16.h), as the WAV writer's do.
#pragma once
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "audio/Pcm16.h"

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

// 16-bit PCM at `rate` with `channels` (1..255): plain PCM for one or two channels, the
// extensible format with the channel mask of ChannelMaskFor from three on.
WAVEFORMATEXTENSIBLE MakeOutputFormat(int rate, int channels);
DWORD ChannelMaskFor(int channels);

std::string DescribeMmResult(MMRESULT result);
std::string DescribeHResult(HRESULT result);

} // namespace sonimo
