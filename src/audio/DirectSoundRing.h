// The arithmetic of the DirectSound back-end's looping buffer, apart from any device and
// portable (byte counts are 32-bit, as DirectSound's are):
// sizes, cursor distances (always modulo the buffer size, wrap-around included), room,
// the level segment being heard, the resume cursor after a live change and the tail count.
#pragma once
#include <climits>
#include <cstdint>

namespace sonimo {

inline constexpr int kDsSegments = 32;

struct DsSizes {
    int unitSamples = 0;            // U = (rate / 30) × channels
    std::uint32_t segmentBytes = 0; // 4U: 2 × (rate / 30) frames of 16-bit PCM, about 1/15 s
    std::uint32_t bufferBytes = 0;  // 32 segments
    int conversionSamples = 0;      // 32U source samples
    int segmentFrames = 0;
};
DsSizes DirectSoundSizes(int rate, int channels);

// Bytes from `from` forward to `to` in a ring of `size` bytes: (to − from) mod size.
inline std::uint32_t RingDistance(std::uint32_t from, std::uint32_t to, std::uint32_t size) {
    return size == 0 ? 0 : ((to % size) + size - (from % size)) % size;
}
inline std::uint32_t RingAdvance(std::uint32_t cursor, std::uint32_t bytes, std::uint32_t size) {
    return size == 0 ? 0 : static_cast<std::uint32_t>((static_cast<std::uint64_t>(cursor) + bytes) % size);
}

// Room for one more segment while fewer than 30 of the 32 are queued.
bool DsHasRoom(std::uint32_t writeCursor, std::uint32_t playCursor, const DsSizes& sizes);

// The segment whose levels are being heard: (levelIndex − queued ÷ segment − 1) mod 32.
int DsHeardSegment(int levelIndex, std::uint32_t writeCursor, std::uint32_t playCursor, const DsSizes& sizes);

struct DsResumePoint {
    int latencyFrames = 0;          // frames written but not to be heard: the source goes back by this
    std::uint32_t resumeCursor = 0; // where filling restarts
};
// From our write cursor and the hardware write cursor, keeping `margin` bytes ahead of
// the hardware. Less queued than the margin resumes where filling stands (latency 0)
// instead of skipping ahead over stale bytes. The cursor stays on a frame boundary.
DsResumePoint DsResume(std::uint32_t writeCursor, std::uint32_t hardwareWrite, std::uint32_t margin,
                       int channels, const DsSizes& sizes);

struct DsRefillPoint {
    std::uint32_t writeCursor = 0;
    std::uint32_t margin = 0;
};
// After the resume: when the hardware write cursor has already passed the resume cursor
// (by less than half the buffer) the margin was too small; it grows by `step` while it
// stays within half the buffer, and filling restarts that far past the hardware.
DsRefillPoint DsRefill(std::uint32_t resumeCursor, std::uint32_t hardwareWrite, std::uint32_t margin,
                       std::uint32_t step, int channels, const DsSizes& sizes);

// The count of bytes still to be heard after the source has ended.
struct DsTail {
    std::int32_t remaining = INT_MAX;
    std::int32_t lastWriteSeen = INT_MAX; // INT_MAX: none
    std::uint32_t previousPlay = 0;

    // One look at the play cursor; false once everything written has been heard.
    bool step(std::uint32_t writeCursor, std::uint32_t playCursor, std::uint32_t bufferBytes);
};

// Volume in whole dB of attenuation to the buffer's hundredths and back (clamped to ±127).
inline std::int32_t DsBufferVolume(std::int8_t db) {
    return static_cast<std::int32_t>(db) * 100;
}
std::int8_t DsVolumeFromBuffer(std::int32_t hundredths);

} // namespace sonimo
