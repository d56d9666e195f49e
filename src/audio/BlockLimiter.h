// Limits each block as it is read, without delay: the span of the block that exceeds
// the ceiling is scaled to 0.9 of the ceiling, with a linear attack of up to 256 frames
// before it and a 256-frame release after it; a release cut short by the end of the
// block is finished at the start of the next one. A release rises no higher than the
// gain that brings the largest sample within the ceiling of the last 50 to 100 ms to
// 0.9 of the ceiling, so a steady tone just over the ceiling plays at one steady level
// whatever the sizes of the reads. Used when playback starts, where a look-ahead delay
// would be heard.
//
// Read writes all the frames asked for (the inner source's frames, scaled); position,
// length, seek and queries are the inner source's. Owns its inner source.
// Not thread-safe, like every source.
#pragma once
#include "synth/SampleSource.h"

namespace sonimo {

class BlockLimiter final : public SourceWrapper {
public:
    static constexpr int kRampFrames = 256;

    // The ceiling (clamped to at least 0) becomes peakLevel.
    BlockLimiter(const SourceRef& inner, std::int32_t ceiling);
    void Read(std::int32_t* buffer, int frames) override;

    std::int32_t ceiling() const { return ceiling_; }
    std::int32_t gain() const { return gain_; } // 8.24, reached at the end of the last block
    std::int32_t hold() const { return hold_; } // release frames still due

private:
    std::int32_t gainFor(std::int64_t peak) const; // brings `peak` to the target, at most unity
    // Folds the block's quiet peak into the memory; returns the largest of the last
    // one to two memory spans, this block included.
    std::int64_t rememberQuiet(std::int64_t quiet, int frames);

    std::uint8_t channels_;
    std::int32_t ceiling_;
    float target_;
    std::int32_t gain_ = 0x1000000;
    std::int32_t hold_ = 0;
    // The largest magnitude within the ceiling, over the current span of memoryFrames_
    // frames and the one before it.
    int memoryFrames_;
    int spanFrames_ = 0;
    std::int64_t currentQuiet_ = 0;
    std::int64_t previousQuiet_ = 0;
};

} // namespace sonimo
