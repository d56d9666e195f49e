// Double to integer conversions for the sample path, defined for every input: NaN gives
// 0, values beyond the target range saturate, everything else truncates toward zero.
#pragma once
#include <cstdint>
#include <limits>

namespace sonimo {

constexpr std::int32_t TruncToInt32(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (v <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

constexpr std::int64_t TruncToInt64(double v) {
    if (!(v == v)) return 0;
    if (v >= 9223372036854775807.0) return std::numeric_limits<std::int64_t>::max(); // 2^63
    if (v <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(v);
}

} // namespace sonimo
