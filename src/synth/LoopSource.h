// Repeats the inner frames [loopStart, loopEnd) for ever; a pass is never shorter than
// 256 frames. Its length stays 8 seconds ahead of loopEnd, so consumers never reach the
// end. Owns its inner source.
#pragma once
#include "synth/SampleSource.h"

namespace sonimo {

inline constexpr int kMinLoopFrames = 256;

class LoopSource final : public SourceWrapper {
public:
    LoopSource(const SourceRef& inner, std::int32_t loopStart, std::int32_t loopEnd);
    void Read(std::int32_t* buffer, int frames) override;
    int GetLength() override;
    void Seek(int frame) override;

    std::int32_t loopStart() const { return loopStart_; }
    std::int32_t loopEnd() const { return loopEnd_; }

private:
    std::int32_t loopStart_;
    std::int32_t loopEnd_;
    std::int64_t passEnd_; // inner frame at which the pass under way goes back to loopStart
};

} // namespace sonimo
