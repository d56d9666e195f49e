#include "audio/SampleSink.h"

namespace sonimo {

SampleSink::SampleSink(std::int32_t rate, int ch) : sampleRate(rate), channels(static_cast<std::uint8_t>(ch)) {
    if (ch <= 0 || ch > 255) {
        channels = 1;
        errorFlags |= kSinkError;
    }
}

void SampleSink::Truncate(std::int32_t) {}

NullSink::NullSink() : SampleSink(44100, 1) { errorFlags |= kSinkError; }

SinkRef::SinkRef() : sink_(new NullSink) { retain(sink_); }

SinkRef::SinkRef(SampleSink* s) : sink_(s ? s : new NullSink) { retain(sink_); }

SinkRef::SinkRef(const SinkRef& other) : sink_(other.sink_) { retain(sink_); }

SinkRef& SinkRef::operator=(const SinkRef& other) {
    SampleSink* old = sink_;
    retain(other.sink_); // first, so that self-assignment keeps the sink alive
    drop(old);
    sink_ = other.sink_;
    return *this;
}

SinkRef::~SinkRef() { drop(sink_); }

void SinkRef::release() {
    SampleSink* fresh = new NullSink;
    retain(fresh);
    drop(sink_);
    sink_ = fresh;
}

void SinkRef::drop(SampleSink* s) {
    if (--s->refCount == 0) delete s;
}

} // namespace sonimo
