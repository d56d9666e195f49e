// Turns a tone record into a fresh source graph: the generator its waveform names at the
// rate given, wrapped in a LoopSource when the tone loops. Levels and formats are left to
// the consumers: the result has the generator's own rate, channels and peak. The caller
// owns the returned handle. User-interface thread (a list tone may show notices).
#pragma once
#include <cstdint>

#include "synth/SampleSource.h"
#include "tone/ToneData.h"

namespace sonimo {

struct RenderContext; // a list render under way (audio/ToneListRenderer.h)

// The tone at `rate`; the tones inside a list it names render at `listToneRate`, the rate
// the options chose (RenderToneAtSettingsRate, in ui/OptionsModel.h, passes it).
SourceRef RenderTone(const ToneData& tone, int rate, int listToneRate);
// What RenderToneAtSettingsRate gives when the settings give `rate`: the tone, and every
// tone inside a list it names, at that rate (any positive rate, not only the listed ones).
SourceRef RenderToneAtPlaybackRate(const ToneData& tone, int rate);
// The same for a tone named inside a list: it shares that list's render, its bounds and
// its cycle check (a list tone naming a list that is being rendered is cut there).
SourceRef RenderToneAtPlaybackRate(const ToneData& tone, int rate, RenderContext& context);

// The loop region end, in frames, of a looped single steady periodic tone: the whole
// periods nearest to the tone's length. The tone's length itself when the first
// frequency gives no usable period (0, above the rate, not a number) or when not even
// one period fits once rounded.
std::int32_t wholePeriodLoopEnd(const ToneData& tone, int rate);

} // namespace sonimo
