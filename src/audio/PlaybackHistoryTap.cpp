#include "audio/PlaybackHistoryTap.h"

#include <algorithm>

namespace sonimo {

namespace {
std::int32_t wrapIndex(std::int64_t i) {
    std::int64_t m = i % kHistorySamples;
    return static_cast<std::int32_t>(m < 0 ? m + kHistorySamples : m);
}
} // namespace

void PlaybackHistory::clear() {
    std::fill(samples.begin(), samples.end(), 0);
    writeIndex = 0;
    crossfadePending = false;
}

void Crossfade(std::int32_t* block, int frames, int channels, const PlaybackHistory& history) {
    if (frames <= 0) return;
    const std::int64_t step = (std::int64_t{1} << 24) / frames;
    std::int32_t h = history.writeIndex;
    for (int k = 0; k < frames; ++k) {
        const std::int64_t g = k * step;
        for (int c = 0; c < channels; ++c) {
            std::int32_t& s = block[static_cast<std::size_t>(k) * channels + c];
            const std::int64_t old = history.samples[static_cast<std::size_t>(h)];
            s = static_cast<std::int32_t>(((old * ((std::int64_t{1} << 24) - g)) >> 24) + ((s * g) >> 24));
            h = h + 1 == kHistorySamples ? 0 : h + 1;
        }
    }
}

PlaybackHistoryTap::PlaybackHistoryTap(const SourceRef& inner, PlaybackHistory& history)
    : SourceWrapper(inner), history_(&history) {}

void PlaybackHistoryTap::Read(std::int32_t* buffer, int frames) {
    inner().Read(buffer, frames);
    if (channels > kHistoryMaxChannels || frames <= 0) return;
    PlaybackHistory& h = *history_;
    if (h.crossfadePending) {
        Crossfade(buffer, frames, channels, h);
        h.crossfadePending = false;
    }
    std::size_t left = static_cast<std::size_t>(frames) * channels;
    const std::int32_t* from = buffer;
    while (left > 0) {
        const std::size_t room = static_cast<std::size_t>(kHistorySamples - h.writeIndex);
        const std::size_t n = std::min(left, room);
        std::copy(from, from + n, h.samples.begin() + h.writeIndex);
        from += n;
        left -= n;
        h.writeIndex = wrapIndex(static_cast<std::int64_t>(h.writeIndex) + static_cast<std::int64_t>(n));
    }
}

void PlaybackHistoryTap::Seek(int frame) {
    const std::int64_t before = inner().GetPosition();
    inner().Seek(frame);
    const std::int64_t after = inner().GetPosition();
    if (channels > kHistoryMaxChannels) return;
    history_->writeIndex = wrapIndex(history_->writeIndex + (after - before) * channels);
}

} // namespace sonimo
