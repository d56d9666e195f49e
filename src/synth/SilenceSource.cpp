#include "synth/SilenceSource.h"

namespace sonimo {

SilenceSource::SilenceSource(int rate, int ch, std::int32_t peak, std::int32_t length)
    : SampleSource(rate, ch, peak), length_(length) {}

void SilenceSource::Read(std::int32_t* buffer, int frames) {
    zeroFrames(buffer, frames, channels);
    position_ += frames;
}

} // namespace sonimo
