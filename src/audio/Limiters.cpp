#include "audio/Limiters.h"

#include "audio/BlockLimiter.h"
#include "audio/LookaheadLimiter.h"
#include "synth/DbGain.h"

namespace sonimo {

SourceRef LimitWithLookahead(const SourceRef& source, std::int32_t ceiling) {
    if (ceiling >= source->peakLevel) return source;
    return makeSource<LookaheadLimiter>(source, ceiling);
}

SourceRef LimitPerBlock(const SourceRef& source, std::int32_t ceiling) {
    return makeSource<BlockLimiter>(source, ceiling);
}

std::int32_t DbToGain(float db) {
    return DbGainTable::instance().gain(static_cast<double>(db));
}

} // namespace sonimo
