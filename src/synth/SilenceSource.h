// A fixed number of zero frames. Its position advances by what is read and is not
// clamped at the length; Seek stores the frame as it stands.
#pragma once
#include "synth/SampleSource.h"

namespace sonimo {

class SilenceSource final : public SampleSource {
public:
    SilenceSource(int sampleRate, int channels, std::int32_t peakLevel, std::int32_t lengthFrames);
    void Read(std::int32_t* buffer, int frames) override;
    int GetPosition() override { return position_; }
    int GetLength() override { return length_; }
    void Seek(int frame) override { position_ = frame; }

private:
    std::int32_t position_ = 0;
    std::int32_t length_;
};

} // namespace sonimo
