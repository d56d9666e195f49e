// Whole-decibel gains in 8.24 fixed point (0x1000000 = unity) and the gain multiply.
// The tables are built once, on first use, and shared for the life of the process.
#pragma once
#include <cstdint>

namespace sonimo {

inline constexpr std::int32_t kUnityGain = 0x1000000;

class DbGainTable {
public:
    static const DbGainTable& instance();

    // d in -128..127; values outside are clamped to the table.
    std::int32_t amplitude(int d) const { return amplitude_[clampIndex(d)]; }
    std::int32_t power(int d) const { return power_[clampIndex(d)]; }
    // A fractional dB value interpolated between its two whole neighbours.
    std::int32_t gain(double db) const;

private:
    DbGainTable();
    static int clampIndex(int d) { return (d < -128 ? -128 : d > 127 ? 127 : d) + 128; }
    std::int32_t amplitude_[256];
    std::int32_t power_[256];
};

// x * g / 2^24 with 32-bit products only; the low-by-low term is dropped.
// The two cross terms always fit 32 bits; the high term and the sum wrap as 32-bit
// arithmetic does, computed here without signed overflow.
constexpr std::int32_t MulGain(std::int32_t x, std::int32_t g) {
    const std::int64_t a = (static_cast<std::int64_t>(x & 0xFFF) * (g >> 12)) >> 12;
    const std::int64_t b = (static_cast<std::int64_t>(g & 0xFFF) * (x >> 12)) >> 12;
    const std::int64_t c = static_cast<std::int64_t>(x >> 12) * (g >> 12);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a + b + c));
}

} // namespace sonimo
