#include "audio/DirectSoundRing.h"

namespace sonimo {

DsSizes DirectSoundSizes(int rate, int channels) {
    DsSizes s;
    if (rate < 0) rate = 0;
    if (channels < 1) channels = 1;
    s.unitSamples = (rate / 30) * channels;
    s.segmentBytes = 4 * static_cast<std::uint32_t>(s.unitSamples);
    s.bufferBytes = kDsSegments * s.segmentBytes;
    s.conversionSamples = 32 * s.unitSamples;
    s.segmentFrames = 2 * (rate / 30);
    return s;
}

bool DsHasRoom(std::uint32_t writeCursor, std::uint32_t playCursor, const DsSizes& sizes) {
    if (sizes.bufferBytes == 0) return false;
    return RingDistance(playCursor, writeCursor, sizes.bufferBytes) <
           sizes.bufferBytes - 2 * sizes.segmentBytes;
}

int DsHeardSegment(int levelIndex, std::uint32_t writeCursor, std::uint32_t playCursor,
                   const DsSizes& sizes) {
    if (sizes.segmentBytes == 0) return 0;
    const int queued =
        static_cast<int>(RingDistance(playCursor, writeCursor, sizes.bufferBytes) / sizes.segmentBytes);
    return ((levelIndex - queued - 1) % kDsSegments + kDsSegments) % kDsSegments;
}

static std::uint32_t alignDown(std::uint32_t bytes, int channels) {
    return bytes - bytes % (2 * static_cast<std::uint32_t>(channels));
}

DsResumePoint DsResume(std::uint32_t writeCursor, std::uint32_t hardwareWrite, std::uint32_t margin,
                       int channels, const DsSizes& sizes) {
    DsResumePoint p;
    if (sizes.bufferBytes == 0 || channels < 1) return p;
    margin = alignDown(margin, channels);
    const std::uint32_t d = RingDistance(hardwareWrite, writeCursor, sizes.bufferBytes);
    if (d <= margin) {
        p.resumeCursor = writeCursor;
        return p;
    }
    p.latencyFrames = static_cast<int>((d - margin) / 2 / static_cast<std::uint32_t>(channels));
    // Back from our cursor by whole frames, so the refill stays on frame boundaries even
    // when the hardware cursor does not.
    p.resumeCursor = RingDistance(static_cast<std::uint32_t>(p.latencyFrames) * 2 * channels, writeCursor,
                                  sizes.bufferBytes);
    return p;
}

DsRefillPoint DsRefill(std::uint32_t resumeCursor, std::uint32_t hardwareWrite, std::uint32_t margin,
                       std::uint32_t step, int channels, const DsSizes& sizes) {
    DsRefillPoint p{resumeCursor, margin};
    const std::uint32_t half = sizes.bufferBytes / 2;
    const std::uint32_t past = RingDistance(resumeCursor, hardwareWrite, sizes.bufferBytes);
    if (past > 0 && past < half && margin + step <= half) {
        p.margin = margin + step;
        const std::uint32_t frame = 2 * static_cast<std::uint32_t>(channels < 1 ? 1 : channels);
        const std::uint32_t aligned = RingAdvance(hardwareWrite, p.margin, sizes.bufferBytes);
        p.writeCursor = aligned - aligned % frame;
    }
    return p;
}

bool DsTail::step(std::uint32_t writeCursor, std::uint32_t playCursor, std::uint32_t bufferBytes) {
    std::int32_t played;
    if (static_cast<std::int32_t>(writeCursor) == lastWriteSeen) {
        played = static_cast<std::int32_t>(RingDistance(previousPlay, playCursor, bufferBytes));
    } else {
        lastWriteSeen = static_cast<std::int32_t>(writeCursor);
        remaining = static_cast<std::int32_t>(RingDistance(playCursor, writeCursor, bufferBytes));
        played = 0;
    }
    previousPlay = playCursor;
    remaining -= played;
    if (remaining < 1) {
        lastWriteSeen = INT_MAX;
        remaining = 0;
        return false;
    }
    return true;
}

std::int8_t DsVolumeFromBuffer(std::int32_t hundredths) {
    std::int32_t db = hundredths / 100;
    if (db < -127) db = -127;
    if (db > 127) db = 127;
    return static_cast<std::int8_t>(db);
}

} // namespace sonimo
