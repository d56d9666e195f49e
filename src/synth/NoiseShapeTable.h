// Built-in spectral shapes of the noise colours: gains in dB at 208 frequencies (20 to
// 100 Hz by 10, then 200 to 20000 Hz by 100) and a level offset per colour. The numbers
// and where they come from are in NoiseShapeTable.cpp.
#pragma once

namespace sonimo {

enum NoiseColour : int {
    NoiseWhite = 0,
    NoisePink = 1,
    NoiseBrown = 2,
    NoiseBlue = 3,
    NoisePurple = 4,
    NoiseGrey = 5,
};

inline constexpr int kNoiseColours = 6;
inline constexpr int kNoiseShapePoints = 208;

struct NoiseShapeTable {
    static const float kFrequencies[kNoiseShapePoints];
    static const float kGainsDb[kNoiseColours][kNoiseShapePoints];
    static const float kOffsetsDb[kNoiseColours];
};

} // namespace sonimo
