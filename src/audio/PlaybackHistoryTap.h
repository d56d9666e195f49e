// The player's record of what it has handed to the device, and the wrapper that keeps it.
// The tap copies every block it reads (up to 32 channels) into a ring of 2,097,152
// samples; after a live change the player sets crossfadePending and the next block read
// is faded from the recorded samples that were queued but never heard (from the write
// index on) into the new source, linearly over the whole block.
// Read writes all the frames asked for; position, length and queries are the inner
// source's; Seek moves the write index with the inner position. Owns its inner source;
// borrows the history, which the player owns and outlives it with.
// Feeder thread under the player lock, or the owner's thread while it holds that lock.
#pragma once
#include <cstdint>
#include <vector>

#include "synth/SampleSource.h"

namespace sonimo {

inline constexpr int kHistorySamples = 2097152;
inline constexpr int kHistoryMaxChannels = 32;

struct PlaybackHistory {
    std::vector<std::int32_t> samples = std::vector<std::int32_t>(kHistorySamples, 0);
    std::int32_t writeIndex = 0;
    bool crossfadePending = false;

    void clear();
};

// Frame k of n: old × (2^24 − g) >> 24 + new × g >> 24 with g = k × (2^24 ÷ n).
void Crossfade(std::int32_t* block, int frames, int channels, const PlaybackHistory& history);

class PlaybackHistoryTap final : public SourceWrapper {
public:
    PlaybackHistoryTap(const SourceRef& inner, PlaybackHistory& history);
    void Read(std::int32_t* buffer, int frames) override;
    void Seek(int frame) override;

private:
    PlaybackHistory* history_; // borrowed from the player
};

} // namespace sonimo
