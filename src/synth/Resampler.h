// Exact rational polyphase rate converter: a 63-tap Kaiser-windowed sinc per phase in
// 1.16 fixed point, integer samples, block floating point so that every product fits.
// Tap 31 sits on the input frame an output frame corresponds to: no delay. Owns its
// inner source; reads it in blocks of at most 8192 frames.
#pragma once
#include <vector>

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
    const std::int32_t* coefficients(int phase) const { return &coef_[static_cast<std::size_t>(phase) * kTaps]; }

    // The phase count and step of an exact conversion from rate a to rate b.
    static void ratio(int a, int b, int& n, int& step);

private:
    void refill();
    void setShift(int s);

    int n_ = 1;
    int step_ = 1;
    std::vector<std::int32_t> coef_;
    std::int32_t windowStart_ = 32;
    std::int32_t phase_ = 0;
    std::int32_t dataEnd_ = 0;
    std::vector<std::int32_t> buffer_;
    std::uint8_t shift_ = 0;
    std::uint8_t outShift_ = 15;
    std::int32_t rounding_ = (1 << 15) >> 1;
};

} // namespace sonimo
