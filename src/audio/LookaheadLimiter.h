// Delays its inner source by three blocks and scales each block by a gain computed
// from the peaks of the blocks ahead, ramping linearly from one block gain to the next,
// so that no frame leaves above the ceiling and no gain steps audibly. Used where the
// output may lag the input: the WAV render and a live source change of the player.
//
// Read writes all the frames asked for (zeros once the inner source runs dry, as it
// does). Position and length are those of the output clock: GetPosition is the inner
// position less the frames still held in the look-ahead; GetLength is the inner length,
// less the lag for a growing source. Owns its inner source and its three blocks.
// Not thread-safe, like every source.
#pragma once
#include <vector>

#include "synth/SampleSource.h"

namespace sonimo {

class LookaheadLimiter final : public SourceWrapper {
public:
    static constexpr std::int32_t kMaxCeiling = 0x3FFFFF; // keeps ceiling * 512 within 32 bits
    static constexpr int kMinBlockFrames = 16;
    static constexpr int kMaxBlockFrames = 8192;

    // The ceiling is clamped to 0..kMaxCeiling and becomes peakLevel.
    LookaheadLimiter(const SourceRef& inner, std::int32_t ceiling);

    void Read(std::int32_t* buffer, int frames) override;
    int GetPosition() override;
    int GetLength() override;
    void Seek(int frame) override;
    // 1: adjusts an inner-clock frame count by the frames held here, then forwards;
    // 4: yields the frames still held (lag - index); others are forwarded.
    bool Query(int code, int* value) override;

    int blockFrames() const { return w_; }
    int lag() const { return lag_; }

    // rate / 70 for a growing source, else rate / 35, clamped to 16..8192.
    static int BlockFramesFor(int sampleRate, bool growing);
    // The 8.24 gain that brings a block of peak p under ceiling c (unity when p <= c).
    static std::int32_t BlockGain(std::int32_t peak, std::int32_t ceiling);

private:
    std::int32_t blockPeak(const std::int32_t* block) const;
    void fill(std::int32_t* block);
    void prime();
    void rotate();
    void ramp();

    std::int32_t w_;
    std::int32_t lag_;
    std::vector<std::int32_t> storage_; // the three blocks, owned
    std::int32_t* a_;                   // borrowed from storage_: being output
    std::int32_t* b_;                   // look-ahead
    std::int32_t* c_;                   // look-ahead
    std::int32_t index_;                // next frame of A; == lag_ until primed
    std::int32_t gPrev_ = kUnity, gA_ = kUnity, gB_ = kUnity, gC_ = kUnity;
    std::int32_t gain_ = kUnity;
    std::int32_t increment_ = 0;

    static constexpr std::int32_t kUnity = 0x1000000;
};

} // namespace sonimo
