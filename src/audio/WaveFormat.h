// The RIFF/WAVE chunk walk: finds the format chunk and the data chunk of a file and
// says why it refuses one. Works on any ByteSource and never reads past what it holds.
#pragma once
#include <cstdint>
#include <vector>

#include "audio/ByteSource.h"

namespace sonimo {

inline constexpr std::uint16_t kWaveTagPcm = 0x0001;
inline constexpr std::uint16_t kWaveTagAdpcm = 0x0002;
inline constexpr std::uint16_t kWaveTagFloat = 0x0003;
inline constexpr std::uint16_t kWaveTagALaw = 0x0006;
inline constexpr std::uint16_t kWaveTagMuLaw = 0x0007;
inline constexpr std::uint16_t kWaveTagMpegLayer3 = 0x0055;
inline constexpr std::uint16_t kWaveTagExtensible = 0xFFFE;
inline constexpr std::uint32_t kMaxWaveRate = 196000;
// Data sizes from here up mean "unknown, runs to the end of the file" (the writer's
// placeholder while it is still writing is 0xFFFFFFD9).
inline constexpr std::uint32_t kUnknownDataSize = 0xFFFFFF01;

struct WaveFormat {
    std::uint16_t tag = 0; // after resolving an extensible sub-format
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t bytesPerSecond = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::uint16_t extraSize = 0; // 0 for a chunk shorter than 18 bytes or a resolved sub-format
    // The format as a complete WAVEFORMATEX image: 18 bytes with `tag` and `extraSize`
    // written in, then exactly `extraSize` bytes (never more than the chunk held).
    std::vector<unsigned char> image;
};

enum class WaveParse : std::uint8_t {
    Ok,            // format and data chunk found; the source is positioned at the first data byte
    Malformed,     // not RIFF/WAVE, a short or bad chunk, no data chunk, rate or channels out of range
};

struct WaveLayout {
    WaveParse result = WaveParse::Malformed;
    WaveFormat format;
    std::uint32_t dataSize = 0; // the data chunk's size field as it stands
    std::int64_t dataStart = 0;
};

WaveLayout parseWave(ByteSource& bytes);

} // namespace sonimo
