#include "audio/out/DirectSoundRing.h"

namespace sonimo {

DsSizes DirectSoundSizes(int rate, int channels) {
    DsSizes s;
    if (rate < 0) rate = 0;
    if (channels < 1) channels = 1;
    s.unitSamples = (rate / 30) * channels;
    s.segmentBytes = 4 * static_cast<DWORD>(s.unitSamples);
    s.bufferBytes = kDsSegments * s.segmentBytes;
    s.conversionSamples = 32 * s.unitSamples;
    s.segmentFrames = 2 * (rate / 30);
    return s;
}

bool DsHasRoom(DWORD writeCursor, DWORD playCursor, const DsSizes& sizes) {
    if (sizes.bufferBytes == 0) return false;
    return RingDistance(playCursor, writeCursor, sizes.bufferBytes) < sizes.bufferBytes - 2 * sizes.segmentBytes;
}

int DsHeardSegment(int levelIndex, DWORD writeCursor, DWORD playCursor, const DsSizes& sizes) {
    if (sizes.segmentBytes == 0) return 0;
    const int queued = static_cast<int>(RingDistance(playCursor, writeCursor, sizes.bufferBytes) / sizes.segmentBytes);
    return ((levelIndex - queued - 1) % kDsSegments + kDsSegments) % kDsSegments;
}

static DWORD alignDown(DWORD bytes, int channels) { return bytes - bytes % (2 * static_cast<DWORD>(channels)); }

DsResumePoint DsResume(DWORD writeCursor, DWORD hardwareWrite, DWORD margin, int channels, const DsSizes& sizes) {
    DsResumePoint p;
    if (sizes.bufferBytes == 0 || channels < 1) return p;
    margin = alignDown(margin, channels);
    const DWORD d = RingDistance(hardwareWrite, writeCursor, sizes.bufferBytes);
    if (d <= margin) {
        p.resumeCursor = writeCursor;
        return p;
    }
    p.latencyFrames = static_cast<int>((d - margin) / 2 / static_cast<DWORD>(channels));
    // Back from our cursor by whole frames, so the refill stays on frame boundaries even
    // when the hardware cursor does not.
    p.resumeCursor = RingDistance(static_cast<DWORD>(p.latencyFrames) * 2 * channels, writeCursor, sizes.bufferBytes);
    return p;
}

DsRefillPoint DsRefill(DWORD resumeCursor, DWORD hardwareWrite, DWORD margin, DWORD step, int channels,
                       const DsSizes& sizes) {
    DsRefillPoint p{resumeCursor, margin};
    const DWORD half = sizes.bufferBytes / 2;
    const DWORD past = RingDistance(resumeCursor, hardwareWrite, sizes.bufferBytes);
    if (past > 0 && past < half && margin + step <= half) {
        p.margin = margin + step;
        const DWORD frame = 2 * static_cast<DWORD>(channels < 1 ? 1 : channels);
        const DWORD aligned = RingAdvance(hardwareWrite, p.margin, sizes.bufferBytes);
        p.writeCursor = aligned - aligned % frame;
    }
    return p;
}

bool DsTail::step(DWORD writeCursor, DWORD playCursor, DWORD bufferBytes) {
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

std::int8_t DsVolumeFromBuffer(LONG hundredths) {
    LONG db = hundredths / 100;
    if (db < -127) db = -127;
    if (db > 127) db = 127;
    return static_cast<std::int8_t>(db);
}

} // namespace sonimo
