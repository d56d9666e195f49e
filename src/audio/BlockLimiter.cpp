#include "audio/BlockLimiter.h"

#include <algorithm>
#include <cmath>

#include "audio/Limiters.h"
#include "synth/DbGain.h"

namespace sonimo {

namespace {
constexpr std::int32_t kUnity = 0x1000000;

void scaleFrame(std::int32_t* frame, int channels, std::int32_t g) {
    for (int c = 0; c < channels; ++c) frame[c] = MulGain(frame[c], g);
}
} // namespace

BlockLimiter::BlockLimiter(const SourceRef& inner, std::int32_t ceiling)
    : SourceWrapper(inner), channels_(inner->channels), ceiling_(std::max(ceiling, 0)),
      target_(0.9f * static_cast<float>(ceiling_)) {
    peakLevel = ceiling_;
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

    std::int32_t largest = 0, smallest = 0;
    std::size_t largestAt = 0, smallestAt = 0;
    for (std::size_t i = 0; i < total; ++i) {
        if (buf[i] > largest) largest = buf[i], largestAt = i;
        if (buf[i] < smallest) smallest = buf[i], smallestAt = i;
    }
    const bool positive = static_cast<std::int64_t>(largest) >= -static_cast<std::int64_t>(smallest);
    const std::int64_t peak = positive ? largest : -static_cast<std::int64_t>(smallest);
    const int peakFrame = static_cast<int>((positive ? largestAt : smallestAt) / ch);

    const bool over = peak > ceiling_;
    if (!over && hold_ == 0) return;

    int first = peakFrame, last = peakFrame;
    if (over) {
        const auto within = [this](std::int32_t s) { return s <= ceiling_ && s >= -ceiling_; };
        std::size_t lead = 0;
        while (lead < total && within(buf[lead])) ++lead;
        std::size_t trail = 0;
        while (trail < total && within(buf[total - 1 - trail])) ++trail;
        first = static_cast<int>(lead / ch);
        last = n - static_cast<int>(trail / ch);
    }
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

    // Only an overloaded block needs a new gain, and it is an attenuation: a block of
    // peak 0 never asks for log10(target / 0), and no gain above unity is applied.
    std::int32_t newGain = kUnity;
    if (over) newGain = std::min(DbToGain(20.0f * std::log10(target_ / static_cast<float>(peak))), kUnity);
    const std::int32_t reduction = kUnity - newGain;
    std::int32_t step = reduction / attackLength;

    std::int32_t g = kUnity;
    if (hold_ > 0) {
        g = gain_;
        if (!over) {
            // Finish the release carried over; a block shorter than it takes its share
            // and leaves the rest for the next block.
            const int m = std::min(hold_, n);
            step = (kUnity - g) / hold_;
            for (int f = 0; f < m; ++f) {
                scaleFrame(buf + static_cast<std::size_t>(f) * ch, ch, g);
                g += step;
            }
            hold_ -= m;
            gain_ = g;
            return;
        }
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
    if (hold_ > 0) g = std::min(g, newGain);
    for (int f = first; f < last; ++f) scaleFrame(buf + static_cast<std::size_t>(f) * ch, ch, g);
    const std::int32_t releaseStep = reduction / kRampFrames;
    for (int f = last; f < releaseEnd; ++f) {
        scaleFrame(buf + static_cast<std::size_t>(f) * ch, ch, g);
        g = std::min(g + releaseStep, kUnity);
    }
    hold_ = last - releaseEnd + kRampFrames;
    gain_ = g;
}

} // namespace sonimo
