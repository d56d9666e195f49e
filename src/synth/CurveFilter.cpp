#include "synth/CurveFilter.h"

#include <cmath>
#include <cstring>

#include "synth/SafeConvert.h"

namespace sonimo {

CurveFilterKernel BuildCurveFilterKernel(const MagnitudeResponse& h) {
    constexpr int n = 4096;
    // A is real and even, so its DFT is real and even: a[k] = sum A[b] cos(2 pi b k / n).
    static_assert(kResponseBins == n / 2 + 1);
    double cosTable[n];
    const double pi = 3.14159265358979323846;
    for (int i = 0; i < n; ++i)
        cosTable[i] = std::cos(2.0 * pi * i / n);
    const double edge = h[n / 2 - 1]; // A[2048] repeats H[2047]; H[2048] is not used
    double a[n / 2 + 1];
    for (int k = 0; k <= n / 2; ++k) {
        double sum = 0.0;
        for (int b = 1; b < n / 2; ++b)
            sum += h[b] * cosTable[(b * k) & (n - 1)];
        a[k] = h[0] + 2.0 * sum + ((k & 1) ? -edge : edge);
    }
    CurveFilterKernel kernel;
    for (int t = 0; t < kCurveFilterTaps; ++t) {
        int k = (t + 2049) & (n - 1);
        if (k > n / 2) k = n - k;
        kernel[t] = a[k] / 409600.0;
    }
    return kernel;
}

CurveFilter::CurveFilter(const SourceRef& inner, const CurveFilterKernel& kernel)
    : SourceWrapper(inner), channelCount_(channels),
      buffer_(static_cast<std::size_t>(kBufferFrames) * channels, 0),
      output_(static_cast<std::size_t>(kBlockFrames) * channels, 0), fft_(kFftSize), kernelRe_(fft_.bins()),
      kernelIm_(fft_.bins()) {
    std::vector<double> taps(kFftSize, 0.0);
    for (int t = 0; t < kCurveFilterTaps; ++t)
        taps[t] = kernel[t] / kFftSize;
    fft_.Forward(taps.data(), kernelRe_.data(), kernelIm_.data());
    if (state != StateOk) return;
    // Silence before the first inner frame, then the first block and its look-ahead.
    readInner(kCurveFilterCentre, 2048);
    readInner(kCurveFilterCentre + 2048, kBlockFrames);
    computeBlock();
}

void CurveFilter::readInner(int atFrame, int frames) {
    inner_->Read(buffer_.data() + static_cast<std::size_t>(atFrame) * channelCount_, frames);
}

void CurveFilter::computeBlock() {
    // Overlap-save: the 16384-point circular convolution of the buffer (zero-padded) with
    // the kernel equals the linear one from index kHistoryFrames on, which is exactly the
    // block: output p = sum kernel[t] * buffer[p + 4094 - t].
    static_assert(kBufferFrames % 2 == 1 && kHistoryFrames % 2 == 0);
    const std::size_t ch = static_cast<std::size_t>(channelCount_);
    constexpr int pairs = kBufferFrames / 2; // whole even/odd pairs; the last frame stands alone
    double* even = fft_.even();
    double* odd = fft_.odd();
    for (std::size_t c = 0; c < ch; ++c) {
        const std::int32_t* in = buffer_.data() + c;
        for (int i = 0; i < pairs; ++i) {
            even[i] = in[(2 * i) * ch];
            odd[i] = in[(2 * i + 1) * ch];
        }
        even[pairs] = in[(kBufferFrames - 1) * ch];
        odd[pairs] = 0.0;
        for (int i = pairs + 1; i < kFftSize / 2; ++i)
            even[i] = odd[i] = 0.0;
        fft_.Convolve(kernelRe_.data(), kernelIm_.data());
        std::int32_t* out = output_.data() + c;
        const double* ye = even + kHistoryFrames / 2;
        const double* yo = odd + kHistoryFrames / 2;
        for (int s = 0; s < kBlockFrames / 2; ++s) {
            out[(2 * s) * ch] = TruncToInt32(ye[s]);
            out[(2 * s + 1) * ch] = TruncToInt32(yo[s]);
        }
    }
}

void CurveFilter::Read(std::int32_t* buffer, int frames) {
    if (state != StateOk) {
        zeroFrames(buffer, frames, channels);
        return;
    }
    const int ch = channelCount_;
    while (frames > 0) {
        if (blockPosition_ >= kBlockFrames) {
            // Keep the last 4095 frames as the next block's history and centre frame.
            constexpr int keep = kBufferFrames - kBlockFrames;
            std::memmove(buffer_.data(), buffer_.data() + static_cast<std::size_t>(kBlockFrames) * ch,
                         sizeof(std::int32_t) * keep * ch);
            readInner(keep, kBlockFrames);
            computeBlock();
            blockPosition_ = 0;
        }
        const int m = frames < kBlockFrames - blockPosition_ ? frames : kBlockFrames - blockPosition_;
        std::memcpy(buffer, output_.data() + static_cast<std::size_t>(blockPosition_) * ch,
                    sizeof(std::int32_t) * m * ch);
        buffer += static_cast<std::size_t>(m) * ch;
        frames -= m;
        blockPosition_ += m;
    }
}

int CurveFilter::GetPosition() {
    const std::int64_t p = static_cast<std::int64_t>(inner_->GetPosition()) + blockPosition_ -
                           (kBufferFrames - kCurveFilterCentre);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(p)); // wraps like the counters do
}

void CurveFilter::Seek(int frame) {
    if (state != StateOk) return;
    const std::int64_t from = static_cast<std::int64_t>(frame) - kCurveFilterCentre;
    inner_->Seek(from < INT32_MIN ? INT32_MIN : static_cast<int>(from));
    constexpr int keep = kBufferFrames - kBlockFrames;
    readInner(0, keep);
    readInner(keep, kBlockFrames);
    computeBlock();
    blockPosition_ = 0;
}

CurveFilterEffect::CurveFilterEffect(const FrequencyCurve& curve, int rate)
    : response_(BuildMagnitudeResponse(curve, rate)) {}

SourceRef CurveFilterEffect::Apply(const SourceRef& input) {
    if (input->state != StateOk) return input;
    return makeSource<CurveFilter>(input, BuildCurveFilterKernel(response_));
}

} // namespace sonimo
