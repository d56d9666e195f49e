#include "audio/RenderTask.h"

#include <algorithm>
#include <memory>
#include <new>

#include "audio/Limiters.h"
#include "synth/SourceEffect.h"

namespace sonimo {

namespace {
std::unique_ptr<std::int32_t[]> tryAllocate(std::size_t samples) {
    return std::unique_ptr<std::int32_t[]>(new (std::nothrow) std::int32_t[samples]);
}
} // namespace

int RenderTask(const std::u16string& message, const SourceRef& sourceIn, const SinkRef& sinkIn,
               RenderProgress& progress) {
    progress.setLines(message, kRenderWaitText);
    progress.setFraction(0.0);

    SourceRef source = sourceIn; // our own references for the whole render
    SinkRef sink = sinkIn;
    if (progress.cancelled()) return RenderCancelled;
    if (source->state != StateOk || sink->failed()) return RenderFailed;

    const int ch = sink->channels;
    ConvertFormat(source, sink->sampleRate, ch);
    // A source the converters cannot bring to the sink's format (more than two channels,
    // an invalid rate) would be written as the wrong frames, or past the buffer.
    if (source->state != StateOk || source->channels != ch || source->sampleRate != sink->sampleRate)
        return RenderFailed;
    if (source->peakLevel > kNominalFullScale) source = LimitWithLookahead(source, kNominalFullScale);

    std::int64_t remaining = static_cast<std::int64_t>(source->GetLength()) - source->GetPosition();

    const std::size_t blockSamples = static_cast<std::size_t>(kMaxReadFrames) * ch;
    int blocks = kRenderBlocksPerStep;
    std::unique_ptr<std::int32_t[]> work = tryAllocate(blocks * blockSamples);
    if (!work) {
        blocks = 1;
        work = tryAllocate(blockSamples);
        if (!work) return RenderFailed;
    }
    if (remaining < 1) return RenderCompleted;

    const double step = static_cast<double>(blocks) * kMaxReadFrames / static_cast<double>(remaining);
    double done = 0.0;
    std::int64_t unread = remaining;
    for (;;) {
        if (progress.cancelled()) return RenderCancelled;
        int filled = 0;
        while (filled < blocks && unread > 0) {
            const int k = static_cast<int>(std::min<std::int64_t>(unread, kMaxReadFrames));
            source->Read(work.get() + filled * blockSamples, k);
            unread -= k;
            ++filled;
            if (progress.cancelled()) return RenderCancelled;
        }
        for (int b = 0; b < filled && remaining > 0; ++b) {
            const int k = static_cast<int>(std::min<std::int64_t>(remaining, kMaxReadFrames));
            sink->Write(work.get() + b * blockSamples, k);
            if (progress.cancelled()) return RenderCancelled;
            if (sink->failed()) return RenderFailed;
            remaining -= k;
        }
        progress.setFraction(done);
        done += step;
        if (remaining < 1) return RenderCompleted;
    }
}

} // namespace sonimo
