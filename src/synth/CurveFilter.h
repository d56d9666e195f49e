// The linear-phase FIR filter that shapes noise: 4095 taps built from a magnitude
// response, applied per channel with the output centred on its input (2047 frames of
// look-ahead, no delay). Output frame j = trunc(sum over t of kernel[t] * x[j + 2047 - t]),
// with x[k] = 0 before the first inner frame.
#pragma once
#include <array>
#include <vector>

#include "synth/FrequencyCurve.h"
#include "synth/RealFft.h"
#include "synth/SampleSource.h"
#include "synth/SourceEffect.h"

namespace sonimo {

inline constexpr int kCurveFilterTaps = 4095;
inline constexpr int kCurveFilterCentre = 2047;

using CurveFilterKernel = std::array<double, kCurveFilterTaps>;

// The kernel of a response: the 4096-point DFT of the even spectrum H[0], H[1..2047],
// H[2047], H[2047..1], centred and divided by 409600 (the x100 of H and the 1/4096 of
// the inverse transform). A flat 100 gives the identity.
CurveFilterKernel BuildCurveFilterKernel(const MagnitudeResponse& response);

// Reads its inner source in blocks of 8192 frames whatever the caller asks for, and
// computes each block's output in one pass when the block arrives (overlap-save through
// a 16384-point FFT, double precision), so Read only copies. The buffer holds each
// block's 4094 frames of history and look-ahead, so no convolver state needs priming.
// Owns its inner source. Samples convert with saturation (NaN gives 0).
// GetPosition is the inner position less the 10240 frames read ahead, plus what has been
// delivered of the current block (for an endless inner source it stays below 0).
// GetLength and the other operations forward. No allocation after construction.
// Memory: (12287 + 8192) x channels x 4 bytes of samples, plus about 0.5 MiB of transform
// tables, kernel spectrum and work arrays.
class CurveFilter final : public SourceWrapper {
public:
    static constexpr int kBlockFrames = 8192;
    static constexpr int kHistoryFrames = kCurveFilterTaps - 1; // frames kept before a block's first output
    static constexpr int kBufferFrames = kCurveFilterCentre + 2048 + kBlockFrames; // 12287
    static constexpr int kFftSize = 16384;

    CurveFilter(const SourceRef& inner, const CurveFilterKernel& kernel);
    void Read(std::int32_t* buffer, int frames) override;
    int GetPosition() override;
    void Seek(int frame) override;

private:
    void computeBlock();
    void readInner(int atFrame, int frames);

    int channelCount_;
    std::vector<std::int32_t> buffer_; // kBufferFrames x channels, interleaved
    std::vector<std::int32_t> output_; // kBlockFrames x channels: the current block's output
    std::int32_t blockPosition_ = 0;
    RealFft fft_;
    std::vector<double> kernelRe_; // the kernel's spectrum, pre-scaled by 1/kFftSize
    std::vector<double> kernelIm_;
};

// Wraps a source in a CurveFilter built from a magnitude response. A source that is not
// usable is handed back as it is.
class CurveFilterEffect final : public SourceEffect {
public:
    CurveFilterEffect(const FrequencyCurve& curve, int rate);
    explicit CurveFilterEffect(const MagnitudeResponse& response) : response_(response) {}
    SourceRef Apply(const SourceRef& input) override;

    MagnitudeResponse& response() { return response_; }

private:
    MagnitudeResponse response_;
};

} // namespace sonimo
