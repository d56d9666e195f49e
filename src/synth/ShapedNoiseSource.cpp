#include "synth/ShapedNoiseSource.h"

#include "synth/CurveFilter.h"
#include "synth/FrequencyCurve.h"
#include "synth/NoiseSources.h"

namespace sonimo {

ShapedNoiseSource::ShapedNoiseSource(std::uint32_t lengthMs, int colour, int rate)
    : SampleSource(rate, 1, kGeneratorPeak), inner_(makeSource<WhiteNoiseSource>(lengthMs, rate)) {
    CurveFilterEffect effect(ColourCurve(colour), rate);
    effect.response()[0] = 0.0; // no DC in any colour
    inner_ = effect.Apply(inner_);
}

void ShapedNoiseSource::Read(std::int32_t* buffer, int frames) {
    if (state != StateOk) {
        zeroFrames(buffer, frames, 1); // never leave the caller's buffer unwritten
        return;
    }
    inner_->Read(buffer, frames);
}

} // namespace sonimo
