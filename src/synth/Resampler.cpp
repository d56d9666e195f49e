#include "synth/Resampler.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace sonimo {

namespace {

// The modified Bessel function of order 0 by the first seven terms of its series.
double besselI0(double x) {
    const double q = x * x / 4.0;
    double term = 1.0, sum = 1.0;
    for (int k = 1; k <= 6; ++k) {
        term *= q / (static_cast<double>(k) * k);
        sum += term;
    }
    return sum;
}

constexpr double kPi = 3.14159265358979323846;

} // namespace

void Resampler::ratio(int a, int b, int& n, int& step) {
    const int g = std::gcd(a, b);
    n = g > 0 ? b / g : 1;
    step = static_cast<int>(static_cast<std::int64_t>(a) * n / b);
    if (n < 1) n = 1;
    if (step == 0) step = 1;
}

Resampler::Resampler(const SourceRef& inner, int target, std::uint8_t)
    : SourceWrapper(inner),
      buffer_(static_cast<std::size_t>(kBufferFrames + kTaps) * inner->channels, 0) {
    if (target <= 0) {
        target = 44100;
        state = StateBadFormat;
    }
    const int a = inner->sampleRate;
    sampleRate = target;
    if (peakLevel <= 0x100000) peakLevel *= 2;
    ratio(a, target, n_, step_);

    double fc, beta;
    if (target > a) {
        fc = 0.975;
        beta = 5.6;
    } else {
        fc = static_cast<double>(target) / a - 0.046875;
        beta = 4.538;
    }
    const double v = 65536.0 * fc / besselI0(beta);
    coef_.resize(static_cast<std::size_t>(n_) * kTaps);
    for (int i = 0; i < n_; ++i) {
        for (int j = 0; j < kTaps; ++j) {
            const double w = (j - 31) - static_cast<double>(i) / n_;
            double c;
            if (w == 0.0) {
                c = std::trunc(65536.0 * fc + 0.5);
            } else {
                const double x = kPi * fc * w;
                c = std::round(v * besselI0(beta * std::sqrt(1.0 - w * w / 1024.0)) * std::sin(x) / x);
            }
            coef_[static_cast<std::size_t>(i) * kTaps + j] = static_cast<std::int32_t>(c);
        }
    }
}

void Resampler::setShift(int s) {
    shift_ = static_cast<std::uint8_t>(s);
    outShift_ = static_cast<std::uint8_t>(15 - s);
    rounding_ = (1 << (15 - s)) >> 1;
}

void Resampler::refill() {
    const int ch = channels;
    std::int32_t* buf = buffer_.data();
    if (dataEnd_ > kBufferFrames - 257) { // 32511: keep the overlap and start over at the front
        std::copy_n(buf + static_cast<std::size_t>(dataEnd_) * ch, kTaps * ch, buf);
        windowStart_ -= dataEnd_;
        dataEnd_ = 0;
    }
    std::int32_t* overlap = buf + static_cast<std::size_t>(dataEnd_) * ch;
    if (shift_ != 0) {
        // back to full scale, so the new block's shift applies to the overlap as well
        for (int k = 0; k < kTaps * ch; ++k)
            overlap[k] = static_cast<std::int32_t>(static_cast<std::uint32_t>(overlap[k]) << shift_);
    }
    int m = kBufferFrames - dataEnd_;
    if (inner_->IsGrowing()) {
        const int avail = inner_->GetLength() - inner_->GetPosition();
        m = std::min(m, avail < 1 ? 64 : avail);
    }
    m = std::min(m, kMaxReadFrames);
    std::int32_t* fresh = overlap + kTaps * ch;
    inner_->Read(fresh, m);

    const int count = (kTaps + m) * ch;
    std::uint32_t peak = 0;
    for (int k = 0; k < count; ++k) {
        const std::int64_t x = overlap[k];
        peak = std::max(peak, static_cast<std::uint32_t>(x < 0 ? -x : x));
    }
    int s = 0;
    while ((peak >> s) > 0x7FFF) ++s;
    setShift(s);
    if (s != 0) {
        const std::int64_t half = (1LL << s) >> 1;
        for (int k = 0; k < count; ++k) overlap[k] = static_cast<std::int32_t>((overlap[k] + half) >> s);
    }
    dataEnd_ += m;
}

void Resampler::Read(std::int32_t* out, int frames) {
    const int ch = channels;
    for (int f = 0; f < frames; ++f) {
        windowStart_ += phase_ / n_;
        phase_ %= n_;
        while (windowStart_ >= dataEnd_) refill();
        const std::int32_t* c = &coef_[static_cast<std::size_t>(phase_) * kTaps];
        const std::int32_t* x = buffer_.data() + static_cast<std::size_t>(windowStart_) * ch;
        for (int k = 0; k < ch; ++k) {
            std::int64_t s1 = 0, s2 = 0;
            for (int j = 0; j < 32; ++j) s1 += static_cast<std::int64_t>(x[j * ch + k]) * c[j];
            for (int j = 32; j < kTaps; ++j) s2 += static_cast<std::int64_t>(x[j * ch + k]) * c[j];
            *out++ = static_cast<std::int32_t>(((s1 >> 1) + (s2 >> 1) + rounding_) >> outShift_);
        }
        phase_ += step_;
    }
}

void Resampler::Seek(int f) {
    const std::int64_t q = f / n_, r = f % n_;
    std::int64_t e = q * step_ + (r * step_) / n_ - 31;
    std::int64_t ph = (r * step_) % n_;
    if (e < 0) {
        // the carry of the next output frame takes the window back to where it belongs
        e -= 1;
        ph += n_;
    }
    phase_ = static_cast<std::int32_t>(ph);
    inner_->Seek(static_cast<int>(e));
    dataEnd_ = 0;
    windowStart_ = 32;
    inner_->Read(buffer_.data() + static_cast<std::size_t>(32) * channels, 31);
    setShift(0);
}

int Resampler::GetPosition() {
    const std::int64_t r = static_cast<std::int64_t>(inner_->GetPosition()) + windowStart_ - dataEnd_ - 32;
    return static_cast<int>((r / step_) * n_ + ((r % step_) * n_ + phase_) / step_);
}

int Resampler::GetLength() {
    const bool growing = inner_->IsGrowing();
    std::int64_t len = inner_->GetLength();
    if (growing) len -= 33;
    std::int64_t out = (len / step_) * n_ + ((len % step_) * n_) / step_;
    if (growing) out -= 1;
    return static_cast<int>(std::clamp<std::int64_t>(out, INT32_MIN, INT32_MAX));
}

bool Resampler::Query(int code, int* value) { return value ? inner_->Query(code, value) : false; }

} // namespace sonimo
