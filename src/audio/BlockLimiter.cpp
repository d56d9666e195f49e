#include "audio/BlockLimiter.h"

#include <algorithm>
#include <cmath>

#include "audio/Limiters.h"
#include "synth/DbGain.h"

namespace sonimo {

namespace {
constexpr std::int32_t kUnity = 0x1000000;

void scaleFrame(std::int32_t* frame, int channels, std::int32_t g) {
    for (int c = 0; c < channels; ++c)
        frame[c] = MulGain(frame[c], g);
}
} // namespace

BlockLimiter::BlockLimiter(const SourceRef& inner, std::int32_t ceiling)
    : SourceWrapper(inner), channels_(inner->channels), ceiling_(std::max(ceiling, 0)),
      target_(0.9f * static_cast<float>(ceiling_)), memoryFrames_(std::max(inner->sampleRate / 20, 1)) {
    peakLevel = ceiling_;
}

std::int32_t BlockLimiter::gainFor(std::int64_t peak) const {
    // Only an attenuation: a peak of 0 never asks for log10(target / 0), and no gain
    // above unity is applied.
    if (static_cast<float>(peak) <= target_) return kUnity;
    return std::min(DbToGain(20.0f * std::log10(target_ / static_cast<float>(peak))), kUnity);
}

std::int64_t BlockLimiter::rememberQuiet(std::int64_t quiet, int frames) {
    currentQuiet_ = std::max(currentQuiet_, quiet);
    const std::int64_t recent = std::max(previousQuiet_, currentQuiet_);
    spanFrames_ += frames;
    if (spanFrames_ >= memoryFrames_) {
        previousQuiet_ = currentQuiet_;
        currentQuiet_ = 0;
        spanFrames_ = 0;
    }
    return recent;
}

void BlockLimiter::Read(std::int32_t* buf, int n) {
    if (state != StateOk) { // an unusable inner source is heard as silence
        zeroFrames(buf, n, channels_);
        return;
    }
    inner_->Read(buf, n);
    if (n <= 0) return;
    const int ch = channels_;
    const std::size_t total = static_cast<std::size_t>(n) * ch;
    const auto scale = [buf, ch](int from, int to, std::int32_t g) {
        for (int f = from; f < to; ++f)
            scaleFrame(buf + static_cast<std::size_t>(f) * ch, ch, g);
    };

    std::int32_t largest = 0, smallest = 0;
    std::size_t largestAt = 0, smallestAt = 0;
    std::int64_t quiet = 0; // the largest magnitude within the ceiling
    for (std::size_t i = 0; i < total; ++i) {
        const std::int32_t s = buf[i];
        if (s > largest) largest = s, largestAt = i;
        if (s < smallest) smallest = s, smallestAt = i;
        const std::int64_t a = s < 0 ? -static_cast<std::int64_t>(s) : s;
        if (a <= ceiling_ && a > quiet) quiet = a;
    }
    const bool positive = static_cast<std::int64_t>(largest) >= -static_cast<std::int64_t>(smallest);
    const std::int64_t peak = positive ? largest : -static_cast<std::int64_t>(smallest);
    const int peakFrame = static_cast<int>((positive ? largestAt : smallestAt) / ch);

    // A release stops at the gain that keeps the signal it releases at the target: a tone
    // that pokes over the ceiling only now and then stays at one level instead of being
    // let up to full level between its overloads. The quiet peak is remembered over more
    // than one block, so that short reads and low tones are held alike.
    const std::int32_t cap = gainFor(rememberQuiet(quiet, n));

    const bool over = peak > ceiling_;
    const bool engaged = hold_ > 0 || gain_ < kUnity;
    if (!over && !engaged) return;

    if (!over) {
        std::int32_t g = gain_;
        int m = 0;
        if (cap > g) {
            // Finish the release carried over (or start one towards a higher cap); a block
            // shorter than it takes its share and leaves the rest for the next block.
            const int due = hold_ > 0 ? hold_ : kRampFrames;
            m = std::min(due, n);
            const std::int32_t step = (cap - g) / due;
            for (int f = 0; f < m; ++f) {
                scaleFrame(buf + static_cast<std::size_t>(f) * ch, ch, g);
                g += step;
            }
            hold_ = due - m;
            if (hold_ == 0) g = cap; // the truncated steps end exactly where they aimed
        } else {
            // A cap at or below the held gain: the signal is within the ceiling and needs
            // no more attenuation than it has, and no less.
            hold_ = 0;
        }
        if (g < kUnity) scale(m, n, g);
        gain_ = g;
        return;
    }

    int first = peakFrame, last = peakFrame;
    const auto within = [this](std::int32_t s) { return s <= ceiling_ && s >= -ceiling_; };
    std::size_t lead = 0;
    while (lead < total && within(buf[lead]))
        ++lead;
    std::size_t trail = 0;
    while (trail < total && within(buf[total - 1 - trail]))
        ++trail;
    first = static_cast<int>(lead / ch);
    last = n - static_cast<int>(trail / ch);

    int attackStart = std::max(first - kRampFrames, 0);
    int attackLength = first - attackStart;
    // An overload in frame 0 leaves no room for an attack: that frame takes the new gain
    // at once, instead of passing at the old gain and overshooting the ceiling.
    const bool atOnce = attackLength == 0;
    if (atOnce) {
        first += 1;
        attackLength = 1;
    }
    const int releaseEnd = std::min(n, last + kRampFrames);

    const std::int32_t newGain = gainFor(peak);
    const std::int32_t reduction = kUnity - newGain;
    std::int32_t step = reduction / attackLength;

    std::int32_t g = kUnity;
    if (engaged) {
        g = gain_;
        attackStart = 0;
        step = (g - newGain) / first;
    }
    if (atOnce) {
        g = std::min(g, newGain);
        step = 0;
    }
    for (int f = attackStart; f < first; ++f) {
        scaleFrame(buf + static_cast<std::size_t>(f) * ch, ch, g);
        g -= step;
    }
    // A ramp from the held gain over a long lead-in loses up to `first` units to the
    // truncated step, which for a small new gain is more than the 0.9 margin: the
    // overloaded span never takes more than the new gain.
    if (engaged) g = std::min(g, newGain);
    scale(first, last, g);
    const std::int32_t releaseStep = reduction / kRampFrames;
    const std::int32_t top = std::max(g, cap);
    for (int f = last; f < releaseEnd; ++f) {
        scaleFrame(buf + static_cast<std::size_t>(f) * ch, ch, g);
        g = std::min(g + releaseStep, top);
    }
    hold_ = last - releaseEnd + kRampFrames;
    if (hold_ == 0) {
        g = top;
        if (g < kUnity) scale(releaseEnd, n, g); // a release that stopped at the cap holds
    }
    gain_ = g;
}

} // namespace sonimo
