#include "audio/LookaheadLimiter.h"

#include <algorithm>
#include <cstring>

#include "synth/DbGain.h"

namespace sonimo {

int LookaheadLimiter::BlockFramesFor(int rate, bool growing) {
    // A growing source (live input) gets the shorter delay.
    const int w = growing ? rate / 70 : rate / 35;
    return std::clamp(w, kMinBlockFrames, kMaxBlockFrames);
}

std::int32_t LookaheadLimiter::BlockGain(std::int32_t peak, std::int32_t ceiling) {
    if (peak <= ceiling) return kUnity;
    // ceiling <= kMaxCeiling, so ceiling * 512 fits; the divisor is at least 1 because
    // peak > ceiling >= 0, and the quotient never exceeds 32768 (a gain below unity).
    const std::int64_t d = (static_cast<std::int64_t>(peak) + 64) >> 6;
    return static_cast<std::int32_t>(((static_cast<std::int64_t>(ceiling) * 512) / d) << 9);
}

LookaheadLimiter::LookaheadLimiter(const SourceRef& inner, std::int32_t ceiling)
    : SourceWrapper(inner), w_(BlockFramesFor(inner->sampleRate, inner->IsGrowing())), lag_(3 * w_),
      storage_(static_cast<std::size_t>(3) * w_ * inner->channels), a_(storage_.data()),
      b_(a_ + static_cast<std::size_t>(w_) * inner->channels),
      c_(b_ + static_cast<std::size_t>(w_) * inner->channels), index_(lag_) {
    peakLevel = std::clamp(ceiling, 0, kMaxCeiling);
}

std::int32_t LookaheadLimiter::blockPeak(const std::int32_t* block) const {
    std::int64_t p = 0;
    const std::size_t n = static_cast<std::size_t>(w_) * channels;
    for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t v = block[i] < 0 ? -static_cast<std::int64_t>(block[i]) : block[i];
        if (v > p) p = v;
    }
    return static_cast<std::int32_t>(std::min<std::int64_t>(p, 0x7FFFFFFF));
}

void LookaheadLimiter::fill(std::int32_t* block) {
    if (state != StateOk) { // an unusable inner source is heard as silence
        zeroFrames(block, w_, channels);
        return;
    }
    inner_->Read(block, w_);
}

void LookaheadLimiter::ramp() {
    // Reach the lower of this and the next block's gain (or the four-block average, if
    // lower) by the end of this block; the remainder of the division is taken at once.
    std::int32_t e = std::min(gA_, gB_) - gain_;
    e = std::min(e, (gPrev_ + gA_ + gB_ + gC_) / 4 - gain_);
    gain_ += e % w_;
    increment_ = e / w_;
}

void LookaheadLimiter::prime() {
    fill(a_);
    fill(b_);
    fill(c_);
    gPrev_ = gA_ = BlockGain(blockPeak(a_), peakLevel);
    gB_ = BlockGain(blockPeak(b_), peakLevel);
    gC_ = BlockGain(blockPeak(c_), peakLevel);
    gain_ = gA_;
    ramp();
    index_ = 0;
}

void LookaheadLimiter::rotate() {
    std::int32_t* const old = a_;
    a_ = b_;
    b_ = c_;
    c_ = old;
    fill(c_);
    gPrev_ = gA_;
    gA_ = gB_;
    gB_ = gC_;
    gC_ = BlockGain(blockPeak(c_), peakLevel);
    ramp();
    index_ = 0;
}

void LookaheadLimiter::Read(std::int32_t* out, int frames) {
    const int ch = channels;
    while (frames > 0) {
        if (index_ >= w_) {
            if (index_ < lag_)
                rotate();
            else
                prime();
        }
        const int k = std::min(frames, w_ - index_);
        const std::int32_t* in = a_ + static_cast<std::size_t>(index_) * ch;
        if (gain_ >= kUnity && increment_ == 0) {
            std::memcpy(out, in, sizeof(std::int32_t) * static_cast<std::size_t>(k) * ch);
        } else {
            // The gain lives in a local: through the member, every store to `out` could
            // change it, and the loop would reload it for every sample.
            std::int32_t g = gain_;
            const std::int32_t step = increment_;
            if (ch == 1) {
                for (int f = 0; f < k; ++f) {
                    out[f] = MulGain(in[f], g);
                    g += step;
                }
            } else if (ch == 2) {
                for (int f = 0; f < k; ++f) {
                    out[2 * f] = MulGain(in[2 * f], g);
                    out[2 * f + 1] = MulGain(in[2 * f + 1], g);
                    g += step;
                }
            } else {
                for (int f = 0; f < k; ++f) {
                    for (int c = 0; c < ch; ++c)
                        out[f * ch + c] = MulGain(in[f * ch + c], g);
                    g += step;
                }
            }
            gain_ = g;
        }
        out += static_cast<std::size_t>(k) * ch;
        frames -= k;
        index_ += k;
    }
}

int LookaheadLimiter::GetPosition() {
    int v = index_ - lag_;
    inner_->Query(QueryOwnClock, &v); // the inner chain may rescale a frame count to its own clock
    return inner_->GetPosition() + v;
}

int LookaheadLimiter::GetLength() {
    const int len = inner_->GetLength();
    return inner_->IsGrowing() ? len - lag_ : len;
}

void LookaheadLimiter::Seek(int frame) {
    inner_->Seek(frame);
    prime();
}

bool LookaheadLimiter::Query(int code, int* value) {
    if (code == QueryInnerPosition) {
        int v = index_ - lag_;
        inner_->Query(QueryOwnClock, &v);
        if (value) {
            *value -= v;
            inner_->Query(QueryInnerPosition, value);
        }
        return true;
    }
    if (code == QueryHeldBack) {
        if (value) *value = lag_ - index_;
        return true;
    }
    return inner_->Query(code, value);
}

} // namespace sonimo
