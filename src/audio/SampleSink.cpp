#include "audio/SampleSink.h"

namespace sonimo {

SampleSink::SampleSink(std::int32_t rate, int ch)
    : sampleRate(rate), channels(static_cast<std::uint8_t>(ch)) {
    if (ch <= 0 || ch > 255) {
        channels = 1;
        errorFlags |= kSinkError;
    }
}

void SampleSink::Truncate(std::int32_t) {}

NullSink::NullSink() : SampleSink(44100, 1) {
    errorFlags |= kSinkError;
}

} // namespace sonimo
