#include "synth/Resampler.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <numeric>

#if SONIMO_RESAMPLER_SSE2
#include <emmintrin.h>
#endif

namespace sonimo {

void Resampler::ratio(int a, int b, int& n, int& step) {
    const int g = std::gcd(a, b);
    n = g > 0 ? b / g : 1;
    step = static_cast<int>(static_cast<std::int64_t>(a) * n / b);
    if (n < 1) n = 1;
    if (step == 0) step = 1;
}

Resampler::Resampler(const SourceRef& inner, int target, std::uint8_t)
    : SourceWrapper(inner), buffer_(static_cast<std::size_t>(kBufferFrames + kTaps) * inner->channels, 0) {
    if (target <= 0) {
        target = 44100;
        state = StateBadFormat;
    }
    const int a = inner->sampleRate;
    sampleRate = target;
    if (peakLevel <= 0x100000) peakLevel *= 2;
    ratio(a, target, n_, step_);

    table_ = ResamplerTable::forRates(a, target);
    planeStride_ = static_cast<std::size_t>(kBufferFrames) + kTaps + 8;
    planes_.assign(planeStride_ * inner->channels, 0);
}

void Resampler::setShift(int s) {
    // Blocks whose peak reaches 2^30 need a shift past 15: their sums are scaled back up
    // (finish) instead of down by a negative count.
    shift_ = static_cast<std::uint8_t>(s);
    outShift_ = static_cast<std::uint8_t>(s <= 15 ? 15 - s : 0);
    rounding_ = s <= 15 ? (1 << (15 - s)) >> 1 : 0;
}

std::int32_t Resampler::finish(std::int64_t s1, std::int64_t s2) const {
    const std::int64_t sum = (s1 >> 1) + (s2 >> 1);
    if (shift_ <= 15) return static_cast<std::int32_t>((sum + rounding_) >> outShift_);
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(sum * (std::int64_t{1} << (shift_ - 15)), INT32_MIN, INT32_MAX));
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
        const int avail = RemainingFrames(inner_->GetLength(), inner_->GetPosition());
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
    while ((peak >> s) > 0x7FFF)
        ++s;
    setShift(s);
    if (s != 0) {
        const std::int64_t half = (1LL << s) >> 1;
        for (int k = 0; k < count; ++k)
            overlap[k] = static_cast<std::int32_t>((overlap[k] + half) >> s);
    }
    convertPlanes(dataEnd_, kTaps + m);
    dataEnd_ += m;
}

void Resampler::convertPlanes(int from, int frames) {
#if SONIMO_RESAMPLER_SSE2
    // Every window read until the next refill lies within these frames.
    const int ch = channels;
    const std::int32_t* src = buffer_.data() + static_cast<std::size_t>(from) * ch;
    bool fits = true;
    for (int c = 0; c < ch; ++c) {
        std::int16_t* plane = planes_.data() + planeStride_ * c + from;
        for (int f = 0; f < frames; ++f) {
            const std::int32_t x = src[static_cast<std::size_t>(f) * ch + c];
            fits &= x <= 32767 && x >= -32768;
            plane[f] = static_cast<std::int16_t>(x);
        }
    }
    planesUsable_ = fits;
#else
    (void)from;
    (void)frames;
#endif
}

void Resampler::hintNext(int frames) {
    // The table's builder goes on with the phases of the next block while this one is read.
    table_->hint(static_cast<int>(
        (static_cast<std::int64_t>(phase_) + static_cast<std::int64_t>(frames) * step_) % n_));
}

// The plain sums, as the converter has always computed them.
void Resampler::readPlain(std::int32_t* out, int frames) {
    const int ch = channels;
    for (int f = 0; f < frames; ++f) {
        windowStart_ += phase_ / n_;
        phase_ %= n_;
        while (windowStart_ >= dataEnd_)
            refill();
#if SONIMO_RESAMPLER_SSE2
        std::int16_t scratch[2 * kRow];
        const std::int16_t* h = table_->halves(phase_, scratch);
        std::int32_t c[kTaps];
        for (int j = 0; j < kTaps; ++j)
            c[j] = h[j] * 256 + h[kRow + j];
#else
        std::int32_t scratch[kRow];
        const std::int32_t* c = table_->row(phase_, scratch);
#endif
        const std::int32_t* x = buffer_.data() + static_cast<std::size_t>(windowStart_) * ch;
        for (int k = 0; k < ch; ++k) {
            std::int64_t s1 = 0, s2 = 0;
            for (int j = 0; j < 32; ++j)
                s1 += static_cast<std::int64_t>(x[j * ch + k]) * c[j];
            for (int j = 32; j < kTaps; ++j)
                s2 += static_cast<std::int64_t>(x[j * ch + k]) * c[j];
            *out++ = finish(s1, s2);
        }
        phase_ += step_;
    }
}

#if SONIMO_RESAMPLER_SSE2
namespace {
// The four 32-bit lanes of a, b, c and d summed: one lane each.
inline __m128i sum4(__m128i a, __m128i b, __m128i c, __m128i d) {
    const __m128i ab = _mm_add_epi32(_mm_unpacklo_epi32(a, b), _mm_unpackhi_epi32(a, b));
    const __m128i cd = _mm_add_epi32(_mm_unpacklo_epi32(c, d), _mm_unpackhi_epi32(c, d));
    return _mm_add_epi32(_mm_unpacklo_epi64(ab, cd), _mm_unpackhi_epi64(ab, cd));
}
} // namespace

// 32-bit Windows promises threads only a 4-byte aligned stack, and the vector registers
// this spills want 16: the function aligns its own frame there.
#if defined(__i386__)
__attribute__((force_align_arg_pointer))
#endif
void Resampler::Read(std::int32_t* out, int frames) {
    hintNext(frames);
    const int ch = channels;
    std::int32_t sums[4];
    alignas(16) std::int16_t scratch[2 * kRow];
    for (int f = 0; f < frames; ++f) {
        // phase_ / n_ and phase_ % n_ without a division: the step is at most 192 phases
        while (phase_ >= n_) {
            phase_ -= n_;
            ++windowStart_;
        }
        while (windowStart_ >= dataEnd_)
            refill();
        if (!planesUsable_) { // a shifted sample at +32768: this frame the plain way
            readPlain(out, 1);
            out += ch;
            continue;
        }
        const auto* row = reinterpret_cast<const __m128i*>(table_->halves(phase_, scratch));
        // Products of a 16-bit sample and a coefficient half, summed in pairs: each sum of
        // 32 stays below 2^28, and high * 256 + low is the exact sum of the products.
        const auto emit = [&](__m128i h1, __m128i l1, __m128i h2, __m128i l2) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(sums), sum4(h1, l1, h2, l2));
            const std::int64_t s1 = static_cast<std::int64_t>(sums[0]) * 256 + sums[1];
            const std::int64_t s2 = static_cast<std::int64_t>(sums[2]) * 256 + sums[3];
            *out++ = finish(s1, s2);
        };
        int k = 0;
        for (; k + 1 < ch; k += 2) { // two channels share each load of the coefficients
            const auto* x =
                reinterpret_cast<const __m128i*>(planes_.data() + planeStride_ * k + windowStart_);
            const auto* y =
                reinterpret_cast<const __m128i*>(planes_.data() + planeStride_ * (k + 1) + windowStart_);
            __m128i xh1 = _mm_setzero_si128(), xl1 = xh1, xh2 = xh1, xl2 = xh1;
            __m128i yh1 = xh1, yl1 = xh1, yh2 = xh1, yl2 = xh1;
            for (int q = 0; q < 4; ++q) {
                const __m128i h = _mm_loadu_si128(row + q), l = _mm_loadu_si128(row + 8 + q);
                const __m128i vx = _mm_loadu_si128(x + q), vy = _mm_loadu_si128(y + q);
                xh1 = _mm_add_epi32(xh1, _mm_madd_epi16(vx, h));
                xl1 = _mm_add_epi32(xl1, _mm_madd_epi16(vx, l));
                yh1 = _mm_add_epi32(yh1, _mm_madd_epi16(vy, h));
                yl1 = _mm_add_epi32(yl1, _mm_madd_epi16(vy, l));
            }
            for (int q = 4; q < 8; ++q) {
                const __m128i h = _mm_loadu_si128(row + q), l = _mm_loadu_si128(row + 8 + q);
                const __m128i vx = _mm_loadu_si128(x + q), vy = _mm_loadu_si128(y + q);
                xh2 = _mm_add_epi32(xh2, _mm_madd_epi16(vx, h));
                xl2 = _mm_add_epi32(xl2, _mm_madd_epi16(vx, l));
                yh2 = _mm_add_epi32(yh2, _mm_madd_epi16(vy, h));
                yl2 = _mm_add_epi32(yl2, _mm_madd_epi16(vy, l));
            }
            emit(xh1, xl1, xh2, xl2);
            emit(yh1, yl1, yh2, yl2);
        }
        for (; k < ch; ++k) {
            const auto* x =
                reinterpret_cast<const __m128i*>(planes_.data() + planeStride_ * k + windowStart_);
            __m128i h1 = _mm_setzero_si128(), l1 = h1, h2 = h1, l2 = h1;
            for (int q = 0; q < 4; ++q) {
                const __m128i v = _mm_loadu_si128(x + q);
                h1 = _mm_add_epi32(h1, _mm_madd_epi16(v, _mm_loadu_si128(row + q)));
                l1 = _mm_add_epi32(l1, _mm_madd_epi16(v, _mm_loadu_si128(row + 8 + q)));
            }
            for (int q = 4; q < 8; ++q) {
                const __m128i v = _mm_loadu_si128(x + q);
                h2 = _mm_add_epi32(h2, _mm_madd_epi16(v, _mm_loadu_si128(row + q)));
                l2 = _mm_add_epi32(l2, _mm_madd_epi16(v, _mm_loadu_si128(row + 8 + q)));
            }
            emit(h1, l1, h2, l2);
        }
        phase_ += step_;
    }
}
#else
void Resampler::Read(std::int32_t* out, int frames) {
    hintNext(frames);
    readPlain(out, frames);
}
#endif

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

bool Resampler::Query(int code, int* value) {
    return value ? inner_->Query(code, value) : false;
}

} // namespace sonimo
