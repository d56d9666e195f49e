// Sources built from samples given in code, for tests of the stages that consume them.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "synth/SampleSource.h"

namespace sonimo {

// Plays `samples` (interleaved) once, then zeros; the position stops at the length.
// Optionally claims to be growing, and records the largest block it was asked for.
class ScriptedSource final : public SampleSource {
public:
    ScriptedSource(int rate, int channels, std::vector<std::int32_t> samples,
                   std::int32_t peak = kGeneratorPeak, bool growing = false)
        : SampleSource(rate, channels, peak), samples_(std::move(samples)), growing_(growing) {}

    void Read(std::int32_t* buffer, int frames) override {
        largestRead = std::max(largestRead, frames);
        ++reads;
        const int ch = channels;
        const int avail = std::max(0, std::min(frames, GetLength() - position_));
        if (avail > 0)
            std::memcpy(buffer, samples_.data() + static_cast<std::size_t>(position_) * ch,
                        sizeof(std::int32_t) * static_cast<std::size_t>(avail) * ch);
        zeroFrames(buffer + static_cast<std::size_t>(avail) * ch, frames - avail, ch);
        position_ += avail;
    }
    int GetPosition() override { return position_; }
    int GetLength() override { return static_cast<int>(samples_.size() / channels); }
    void Seek(int frame) override { position_ = std::clamp(frame, 0, GetLength()); }
    bool IsGrowing() override { return growing_; }

    int largestRead = 0;
    int reads = 0;

private:
    std::vector<std::int32_t> samples_;
    int position_ = 0;
    bool growing_;
};

// Reads all `frames` frames of `source` in blocks of `block`.
inline std::vector<std::int32_t> readFrames(SampleSource& source, int frames, int block = 1024) {
    std::vector<std::int32_t> out(static_cast<std::size_t>(frames) * source.channels);
    for (int done = 0; done < frames;) {
        const int k = std::min(block, frames - done);
        source.Read(out.data() + static_cast<std::size_t>(done) * source.channels, k);
        done += k;
    }
    return out;
}

} // namespace sonimo
