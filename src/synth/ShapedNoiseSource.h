// Coloured noise: white noise through the 4095-tap curve filter of the colour's curve
// (NoiseColour: 0 white, 1 pink, 2 brown, 3 blue, 4 purple, 5 grey; others give white),
// with DC removed. Mono, peakLevel 0x200000. lengthMs 0 means endless (length 60 s,
// position below 0 and not advancing). Read writes every frame asked for; Seek restarts
// the same noise; QueryRedraw reaches the white source. Owns the white source and the filter through its
// inner handle.
#pragma once
#include <cstdint>

#include "synth/SampleSource.h"

namespace sonimo {

class ShapedNoiseSource final : public SampleSource {
public:
    ShapedNoiseSource(std::uint32_t lengthMs, int colour, int rate);
    void Read(std::int32_t* buffer, int frames) override;
    int GetPosition() override { return inner_->GetPosition(); }
    int GetLength() override { return inner_->GetLength(); }
    void Seek(int frame) override { inner_->Seek(frame); }
    bool Query(int code, int* value) override { return inner_->Query(code, value); }

private:
    SourceRef inner_;
};

} // namespace sonimo
