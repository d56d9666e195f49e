// Exact rational polyphase rate converter: a 63-tap Kaiser-windowed sinc per phase in
// 1.16 fixed point, integer samples, block floating point so that every product fits.
// Tap 31 sits on the input frame an output frame corresponds to: no delay. Owns its
// inner source; reads it in blocks of at most 8192 frames.
//
// The coefficients come from the pair's shared table (synth/ResamplerTable.h), built ahead
// of the converter by a thread of its own, so a converter starts at once whatever the
// rate pair; with SSE2 the sums run on 16-bit samples and coefficients split into two
// 16-bit halves, exact like the plain sums.
#pragma once
#include <memory>
#include <vector>

#include "synth/ResamplerTable.h"
#include "synth/SampleSource.h"

namespace sonimo {

class Resampler final : public SourceWrapper {
public:
    static constexpr int kTaps = 63;
    static constexpr int kBufferFrames = 32768;

    Resampler(const SourceRef& inner, int targetRate, std::uint8_t mode = 0);
    void Read(std::int32_t* buffer, int frames) override;
    int GetPosition() override;
    int GetLength() override;
    void Seek(int frame) override;
    bool Query(int code, int* value) override;

    int phaseCount() const { return n_; }
    int step() const { return step_; }
    int phase() const { return phase_; }
    int shift() const { return shift_; }
    // Tap `tap` (0..62) of phase `phase` (0..n-1), computing the phase if it is not yet.
    std::int32_t coefficient(int phase, int tap) { return table_->coefficient(phase, tap); }
    ResamplerTable& table() { return *table_; }

    // The phase count and step of an exact conversion from rate a to rate b.
    static void ratio(int a, int b, int& n, int& step);

private:
    static constexpr int kRow = ResamplerTable::kRow;

    void refill();
    void setShift(int s);
    // The output sample from the sums of the two halves of the taps.
    std::int32_t finish(std::int64_t s1, std::int64_t s2) const;
    void convertPlanes(int fromFrame, int frames);
    void readPlain(std::int32_t* out, int frames);
    void hintNext(int frames);

    int n_ = 1;
    int step_ = 1;
    std::shared_ptr<ResamplerTable> table_;
    // The samples of the buffer as 16-bit planes, one per channel, for the SSE2 sums;
    // unusable for a block whose shifted samples reach +32768.
    std::vector<std::int16_t> planes_;
    std::size_t planeStride_ = 0;
    bool planesUsable_ = false;
    std::int32_t windowStart_ = 32;
    std::int32_t phase_ = 0;
    std::int32_t dataEnd_ = 0;
    std::vector<std::int32_t> buffer_;
    std::uint8_t shift_ = 0;
    std::uint8_t outShift_ = 15;
    std::int32_t rounding_ = (1 << 15) >> 1;
};

} // namespace sonimo
