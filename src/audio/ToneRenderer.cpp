#include "audio/ToneRenderer.h"

#include <cmath>
#include <limits>

#include "synth/LoopSource.h"
#include "synth/NoiseSources.h"
#include "synth/PeriodicSource.h"
#include "synth/ShapedNoiseSource.h"
#include "synth/SourceEffect.h"
#include "audio/ToneListRenderer.h"

namespace sonimo {

std::int32_t wholePeriodLoopEnd(const ToneData& tone, int rate) {
    const std::int32_t frames = MsToFrames(tone.lengthMs, rate);
    const double period = std::trunc(static_cast<double>(rate) / tone.leftStartHz[0]);
    // 0 Hz, a frequency above the rate or NaN gives no period; one far longer than the
    // tone rounds to no period at all. Loop over the tone's length then.
    if (!(period >= 1.0) || period > static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return frames;
    const double periods = std::round(static_cast<double>(frames) / period); // halves away from zero
    const double end = periods * period;
    if (end < 1.0) return frames;
    return end >= static_cast<double>(std::numeric_limits<std::int32_t>::max())
               ? std::numeric_limits<std::int32_t>::max()
               : static_cast<std::int32_t>(end);
}

namespace {

// `context` is the list render the tone is part of, or null for a tone of its own.
SourceRef renderTone(const ToneData& tone, int rate, int listToneRate, RenderContext* context) {
    const std::uint32_t lengthMs = (tone.flags & ToneFlagFixedLength) ? tone.lengthMs : 0;
    const bool looped = tone.loop != 0;
    const int w = tone.waveform;
    SourceRef source;
    bool wholePeriods = false;
    if (w >= WhiteNoise && w <= GreyNoise) {
        if (looped && w == PinkNoise) {
            source = makeSource<PinkNoiseSource>(lengthMs, rate);
        } else {
            source = makeSource<ShapedNoiseSource>(lengthMs, w - WhiteNoise, rate);
        }
    } else if (w == FromList) {
        source = context ? renderToneListFile(*context, listPathOf(tone), listToneRate)
                         : renderToneListFile(listPathOf(tone), listToneRate);
    } else {
        source = makeSource<PeriodicSource>(tone, rate);
        wholePeriods = tone.toneCount == 1 && !(tone.flags & (ToneFlagSweep | ToneFlagLogSweep));
    }
    if (!looped) return source;
    if (wholePeriods) {
        if (source->state != StateOk) return source;
        return makeSource<LoopSource>(source, 0, wholePeriodLoopEnd(tone, source->sampleRate));
    }
    const std::int32_t endMs = static_cast<std::int32_t>(
        lengthMs > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())
            ? std::numeric_limits<std::int32_t>::max()
            : lengthMs);
    return LoopEffect(0, endMs).Apply(source);
}

} // namespace

SourceRef RenderTone(const ToneData& tone, int rate, int listToneRate) {
    return renderTone(tone, rate, listToneRate, nullptr);
}

SourceRef RenderToneAtPlaybackRate(const ToneData& tone, int rate) {
    return renderTone(tone, rate, rate, nullptr);
}

SourceRef RenderToneAtPlaybackRate(const ToneData& tone, int rate, RenderContext& context) {
    return renderTone(tone, rate, rate, &context);
}

} // namespace sonimo
