#include "synth/LoopSource.h"

#include <algorithm>

namespace sonimo {

LoopSource::LoopSource(const SourceRef& inner, std::int32_t a, std::int32_t b)
    : SourceWrapper(inner), loopStart_(std::min(a, b)), loopEnd_(std::max(a, b)) {}

void LoopSource::Read(std::int32_t* buffer, int n) {
    if (state != StateOk) return;
    const std::int64_t pass = std::max<std::int64_t>(static_cast<std::int64_t>(loopEnd_) - loopStart_, kMinLoopFrames);
    const std::int64_t pos = inner_->GetPosition();
    // A short loop is stretched to 256 frames; a read that starts inside such a stretched
    // pass finishes it, so the repeat does not depend on the reader's block size.
    const std::int64_t passEnd = pos > loopEnd_ && pos < loopStart_ + pass ? loopStart_ + pass : loopEnd_;
    std::int64_t m = passEnd - pos;
    while (n >= m) {
        if (m > 0) {
            inner_->Read(buffer, static_cast<int>(m));
            buffer += m * channels;
            n -= static_cast<int>(m);
        }
        inner_->Seek(loopStart_);
        m = pass;
    }
    inner_->Read(buffer, n);
}

int LoopSource::GetLength() {
    return static_cast<int>(std::min<std::int64_t>(static_cast<std::int64_t>(loopEnd_) + 8LL * sampleRate, INT32_MAX));
}

void LoopSource::Seek(int f) {
    if (f >= loopEnd_) {
        const std::int64_t span = static_cast<std::int64_t>(loopEnd_) - loopStart_;
        f = span > 0 ? static_cast<int>(loopStart_ + (static_cast<std::int64_t>(f) - loopEnd_) % span) : loopStart_;
    }
    inner_->Seek(f);
}

} // namespace sonimo
