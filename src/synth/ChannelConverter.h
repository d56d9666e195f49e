// Two channels to one ((L + R) / 2, truncated toward zero) or one to two (copied).
// Reads at most kMaxReadFrames frames per call; owns its inner source.
#pragma once
#include <vector>

#include "synth/SampleSource.h"

namespace sonimo {

class ChannelConverter final : public SourceWrapper {
public:
    ChannelConverter(const SourceRef& inner, int targetChannels);
    void Read(std::int32_t* buffer, int frames) override;

private:
    std::uint8_t innerChannels_;
    std::vector<std::int32_t> work_; // kMaxReadFrames frames of the inner source
};

} // namespace sonimo
