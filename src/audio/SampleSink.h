// The consumer end of a render: a reference-counted object that accepts blocks of
// source samples (interleaved int32, 16 units to a 16-bit step). Held through SinkRef,
// which counts like SourceRef; the last release destroys the sink, which is what
// finishes a file. A sink holds no reference to any source. Not thread-safe.
#pragma once
#include <cstdint>

#include "synth/CountedRef.h"

namespace sonimo {

inline constexpr std::uint8_t kSinkError = 1; // bit 0 of errorFlags: the sink is unusable

class SampleSink {
public:
    // A channel count outside 1..255 becomes 1 and sets kSinkError. The rate is kept as given.
    SampleSink(std::int32_t sampleRate, int channels);
    virtual ~SampleSink() = default;
    SampleSink(const SampleSink&) = delete;
    SampleSink& operator=(const SampleSink&) = delete;

    // Accepts `count` frames of `channels` samples; returns the bytes that reached the
    // medium. A short result sets kSinkError.
    virtual std::int32_t Write(const std::int32_t* frames, int count) = 0;
    // Forgets the frames past `frames` (nothing when that is beyond framesWritten).
    virtual void Truncate(std::int32_t frames);

    bool failed() const { return (errorFlags & kSinkError) != 0; }

    std::int32_t framesWritten = 0;
    std::int32_t sampleRate;
    std::uint8_t channels;
    std::uint8_t errorFlags = 0;
    RefCount refCount = 0;
};

// Discards what it is given and is always failed: what an unset SinkRef holds.
class NullSink final : public SampleSink {
public:
    NullSink();
    std::int32_t Write(const std::int32_t*, int) override { return 0; }
};

// A counted handle that always holds a sink: an unset handle holds a fresh NullSink.
// The last release destroys the sink, which finishes its file.
using SinkRef = CountedRef<SampleSink, NullSink>;

template <class T, class... Args> SinkRef makeSink(Args&&... args) {
    return SinkRef(new T(static_cast<Args&&>(args)...));
}

} // namespace sonimo
