// Sine, square, triangle, sawtooth and impulse trains: up to 16 table oscillators per
// channel, summed without normalisation, optionally swept linearly or logarithmically
// over the tone's length. Endless when the tone is not of fixed length (length reported
// as 60 s, position not advancing). Integer per frame; floating point every 32 frames.
#pragma once
#include <vector>

#include "synth/SampleSource.h"
#include "tone/ToneData.h"

namespace sonimo {

inline constexpr int kWaveTableSize = 32768;
inline constexpr int kSweepUpdateFrames = 32;

struct Oscillator {
    std::uint8_t impulseMode = 0;
    std::uint32_t baseIncrement = 0;
    std::uint32_t increment = 0;
    double sweepParameter = 0.0; // f1/f0 for the log law, else the increment difference
    std::uint32_t phase = 0;
    std::int32_t gain = 0;

    void init(double f0, double f1, int rate, bool logLaw, int db, bool impulse);
    void sweepTo(double x, bool logLaw);
};

// One period of the waveform in kWaveTableSize samples (all zero for the impulse train
// and for values without a table).
void buildWaveTable(int waveform, std::int32_t* table);
// The same table, built once on first use and shared by every source: a list of many
// tones holds one of each waveform, not 128 KB for each tone.
const std::int32_t* sharedWaveTable(int waveform);

// The double-to-increment conversion: trunc to 64 bits, keep the low 32; defined for
// every input (NaN and infinities give 0, huge values saturate before wrapping).
std::uint32_t incrementFromDouble(double v);

class PeriodicSource final : public SampleSource {
public:
    PeriodicSource(const ToneData& tone, int rate);
    void Read(std::int32_t* buffer, int frames) override;
    int GetPosition() override { return position_; }
    int GetLength() override;
    void Seek(int frame) override;

    const Oscillator& left(int i) const { return left_[i]; }
    const Oscillator& right(int i) const { return right_[i]; }

private:
    void updateSweep(double x);

    const std::int32_t* table_; // borrowed: sharedWaveTable's, never freed
    std::int32_t position_ = 0;
    std::int32_t length_ = 0;
    Oscillator left_[kMaxTones];
    Oscillator right_[kMaxTones];
    std::int32_t countdown_ = -1;
    std::uint8_t logSweep_ = 0;
    std::int32_t toneCount_ = 0;
    std::uint8_t stereo_ = 0;
};

} // namespace sonimo
