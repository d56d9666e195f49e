#include "synth/SourceEffect.h"

#include "synth/ChannelConverter.h"
#include "synth/LoopSource.h"
#include "synth/Resampler.h"

namespace sonimo {

SourceRef LoopEffect::Apply(const SourceRef& input) {
    if (input->state != StateOk) return input;
    const std::int32_t a = MsToFrames(startMs_, input->sampleRate);
    const std::int32_t b = MsToFrames(endMs_, input->sampleRate);
    return makeSource<LoopSource>(input, a, b); // LoopSource orders the two
}

SourceRef ChannelEffect::Apply(const SourceRef& input) {
    const int s = input->channels;
    if (input->state != StateOk || s == 0 || s == target_) return input;
    if ((s == 2 && target_ == 1) || (s < target_ && target_ > 0))
        return makeSource<ChannelConverter>(input, target_);
    return input;
}

SourceRef ResampleEffect::Apply(const SourceRef& input) {
    if (input->state != StateOk || input->sampleRate == target_) return input;
    if (target_ < input->sampleRate / 4) {
        SourceRef half = makeSource<Resampler>(input, 2 * target_, mode_);
        return makeSource<Resampler>(half, target_, mode_);
    }
    return makeSource<Resampler>(input, target_, mode_);
}

void ResampleEffect::Prepare(int from, std::vector<std::shared_ptr<ResamplerTable>>& keep) const {
    if (from <= 0 || target_ <= 0 || from == target_) return;
    if (target_ < from / 4) {
        keep.push_back(ResamplerTable::forRates(from, 2 * target_));
        keep.push_back(ResamplerTable::forRates(2 * target_, target_));
    } else {
        keep.push_back(ResamplerTable::forRates(from, target_));
    }
}

void ConvertFormat(SourceRef& handle, int rate, int ch) {
    if (ch < handle->channels) handle = ChannelEffect(ch).Apply(handle);
    if (rate != handle->sampleRate) handle = ResampleEffect(rate).Apply(handle);
    if (ch != handle->channels) handle = ChannelEffect(ch).Apply(handle);
}

} // namespace sonimo
