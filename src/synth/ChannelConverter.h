// Two channels to one ((L + R) / 2, truncated toward zero), or fewer channels to more:
// one channel is copied to every channel, two or more go to the first channels of the
// output in order and the channels beyond them are silent (stereo in four channels is
// L, R, 0, 0). Reads at most kMaxReadFrames frames per call; owns its inner source.
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
