// The two table-driven noise generators. Both are mono, declare peakLevel 0x200000 and
// fill their random table at construction (after SeedRandom), so Read is cheap and
// deterministic. Read always writes every frame asked for: the noise simply continues
// past the length. A length of 0 ms means endless: GetLength reports 60 s and the
// position stays at 0. Seek replays the noise from its start whatever the frame, and sets
// the position (of a fixed-length source) to the frame asked for. QueryRedraw fills the
// table anew from a fresh seed, as a new source would, and starts it from its beginning;
// a table nothing has been read from yet is kept (it is as fresh as a new one).
#pragma once
#include <cstdint>
#include <vector>

#include "synth/SampleSource.h"

namespace sonimo {

// White noise: a 2^20-entry table, read in passes; each pass starts at a table-chosen
// index and XORs a table-chosen mask into every sample. Samples lie in -524288..524287.
// Memory: the 4 MiB table.
class WhiteNoiseSource final : public SampleSource {
public:
    static constexpr int kTableSize = 1 << 20;
    // Entries are trunc(rand * 262144/32767) in 0..262144, negated when odd.

    WhiteNoiseSource(std::uint32_t lengthMs, int rate);
    void Read(std::int32_t* buffer, int frames) override;
    int GetPosition() override { return position_; }
    int GetLength() override;
    void Seek(int frame) override;
    bool Query(int code, int* value) override;

    const std::vector<std::int32_t>& table() const { return table_; }

private:
    void draw(bool again);
    bool heard_ = false; // something was read since the table was drawn

    std::vector<std::int32_t> table_;
    std::int32_t position_ = 0;
    std::int32_t length_;
    std::int32_t readIndex_ = 0;
    std::int32_t restartIndex_ = 0;
    std::int32_t mask_ = 0;
};

// Pink noise for looped tones: runs over a 32768-entry table of uniform values feed the
// seven-term refined pink filter of Paul Kellet, in double precision.
// Memory: the 256 KiB table.
class PinkNoiseSource final : public SampleSource {
public:
    static constexpr int kTableSize = 32768;
    static constexpr double kTableScale = 0.5600170903653066; // 18350.08 / 32767

    PinkNoiseSource(std::uint32_t lengthMs, int rate);
    void Read(std::int32_t* buffer, int frames) override;
    int GetPosition() override { return position_; }
    int GetLength() override;
    void Seek(int frame) override;
    bool Query(int code, int* value) override;

    const std::vector<double>& table() const { return table_; }

private:
    void draw(bool again);
    bool heard_ = false; // something was read since the table was drawn

    std::vector<double> table_;
    std::int32_t position_ = 0;
    std::int32_t length_;
    std::int32_t readIndex_ = 0;
    std::int32_t runEnd_ = kTableSize;
    std::int32_t restartIndex_ = 0;
    double b_[7] = {};
};

} // namespace sonimo
