// Effects are small factories that wrap a source. One that does not apply hands its
// input back (another reference to the same source).
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "synth/SampleSource.h"

namespace sonimo {

class SourceEffect {
public:
    virtual ~SourceEffect() = default;
    virtual SourceRef Apply(const SourceRef& input) = 0;
    virtual std::u16string Name() const { return u"名前の無いエフェクト"; }
};

// Loops [startMs, endMs) of the source (swapped when start > end).
class LoopEffect final : public SourceEffect {
public:
    LoopEffect(std::int32_t startMs, std::int32_t endMs) : startMs_(startMs), endMs_(endMs) {}
    SourceRef Apply(const SourceRef& input) override;

private:
    std::int32_t startMs_;
    std::int32_t endMs_;
};

// Stereo to mono, or fewer channels to more (see ChannelConverter); a source with more
// channels than the target, other than stereo to mono, is handed back.
class ChannelEffect final : public SourceEffect {
public:
    explicit ChannelEffect(int targetChannels) : target_(static_cast<std::uint8_t>(targetChannels)) {}
    SourceRef Apply(const SourceRef& input) override;

private:
    std::uint8_t target_;
};

// Exact rational rate conversion; below a quarter of the source rate it goes through
// twice the target first.
class ResampleEffect final : public SourceEffect {
public:
    explicit ResampleEffect(int targetRate, std::uint8_t mode = 0) : target_(targetRate), mode_(mode) {}
    SourceRef Apply(const SourceRef& input) override;
    // Starts building the coefficient tables a conversion from `fromRate` will use and
    // adds them to `keep`, so that a converter made later finds them ready.
    void Prepare(int fromRate, std::vector<std::shared_ptr<class ResamplerTable>>& keep) const;

private:
    std::int32_t target_;
    std::uint8_t mode_;
};

// Replaces the handle's source by one at the given rate and channel count: down-mix
// first, then resample, then up-mix.
void ConvertFormat(SourceRef& handle, int sampleRate, int channels);

} // namespace sonimo
