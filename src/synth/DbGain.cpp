#include "synth/DbGain.h"

#include <cmath>

namespace sonimo {

namespace {
std::int32_t tableValue(double exponent) {
    const double v = std::pow(10.0, exponent) * 16777216.0 + 0.5;
    return v >= 2147483647.0 ? 0x7FFFFFFF : static_cast<std::int32_t>(v);
}
} // namespace

DbGainTable::DbGainTable() {
    for (int d = -128; d <= 127; ++d) {
        const bool silent = d <= -127;
        amplitude_[d + 128] = silent ? 0 : tableValue(d * 0.05);
        power_[d + 128] = silent ? 0 : tableValue(d * 0.1);
    }
}

const DbGainTable& DbGainTable::instance() {
    static const DbGainTable table; // thread-safe initialisation
    return table;
}

std::int32_t DbGainTable::gain(double db) const {
    if (!(db > -128.0)) return amplitude(-128); // also NaN
    if (db >= 127.0) return amplitude(127);
    const double fl = std::floor(db);
    const int d = static_cast<int>(fl);
    const std::int32_t a = amplitude(d);
    if (fl == db) return a;
    const std::int64_t diff = static_cast<std::int64_t>(amplitude(d + 1)) - a;
    return static_cast<std::int32_t>(a + static_cast<std::int64_t>((db - fl) * static_cast<double>(diff)));
}

} // namespace sonimo
