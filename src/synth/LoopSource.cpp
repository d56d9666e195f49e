#include "synth/LoopSource.h"

#include <algorithm>

namespace sonimo {

LoopSource::LoopSource(const SourceRef& inner, std::int32_t a, std::int32_t b)
    : SourceWrapper(inner), loopStart_(std::min(a, b)), loopEnd_(std::max(a, b)), passEnd_(loopEnd_) {}

void LoopSource::Read(std::int32_t* buffer, int n) {
    if (state != StateOk) return;
    const std::int64_t pass =
        std::max<std::int64_t>(static_cast<std::int64_t>(loopEnd_) - loopStart_, kMinLoopFrames);
    // A short loop is stretched to 256 frames. The end of the pass under way is kept, so
    // that a stretched pass read across several calls is as long as one read in one call.
    std::int64_t m = passEnd_ - inner_->GetPosition();
    while (n >= m) {
        if (m > 0) {
            inner_->Read(buffer, static_cast<int>(m));
            buffer += m * channels;
            n -= static_cast<int>(m);
        }
        inner_->Seek(loopStart_);
        m = pass;
        passEnd_ = loopStart_ + pass;
    }
    inner_->Read(buffer, n);
}

int LoopSource::GetLength() {
    return static_cast<int>(
        std::min<std::int64_t>(static_cast<std::int64_t>(loopEnd_) + 8LL * sampleRate, INT32_MAX));
}

void LoopSource::Seek(int f) {
    if (f >= loopEnd_) {
        const std::int64_t span = static_cast<std::int64_t>(loopEnd_) - loopStart_;
        f = span > 0 ? static_cast<int>(loopStart_ + (static_cast<std::int64_t>(f) - loopEnd_) % span)
                     : loopStart_;
    }
    passEnd_ = loopEnd_;
    inner_->Seek(f);
}

} // namespace sonimo
