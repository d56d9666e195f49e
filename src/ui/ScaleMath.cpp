#include "ui/ScaleMath.h"

#include <cmath>
#include <cstdio>

namespace sonimo {

int scalePosition(int f, int m, int s) {
    double x;
    if (f <= 100)
        x = f * 0.01 * 0.25;
    else if (f <= 1000)
        x = (f - 100) / 900.0 * 0.25 + 0.25;
    else if (f <= 10000)
        x = (f - 1000) / 9000.0 * 0.25 + 0.5;
    else
        x = (f - 10000) / 12000.0 * 0.25 + 0.75;
    return m + static_cast<int>(std::trunc(s * x));
}

long long scaleValueAt(int px, int m, int s) {
    const double x = static_cast<double>(px - m) / s; // a width of 0 or less maps by the same rules
    double v;
    if (!(x > 0.25))
        v = std::trunc(x * 4 * 100);
    else if (x <= 0.5)
        v = 100 + std::trunc((x - 0.25) * 4 * 900);
    else if (x <= 0.75)
        v = 1000 + std::trunc((x - 0.5) * 4 * 9000);
    else
        v = 10000 + std::trunc((x - 0.75) * 4 * 12000);
    if (std::isnan(v)) return 0;
    return static_cast<long long>(std::fmax(-1e12, std::fmin(1e12, v)));
}

int clampScaleValue(long long hz) {
    return hz <= kScaleMin ? kScaleMin : hz >= kScaleMax ? kScaleMax : static_cast<int>(hz);
}

std::u16string scaleValueText(int hz) {
    char buf[32];
    if (hz < 10000)
        std::snprintf(buf, sizeof buf, "%d Hz", hz);
    else
        std::snprintf(buf, sizeof buf, "%5.2f kHz", hz * 0.001);
    std::u16string out;
    for (const char* p = buf; *p; ++p)
        out.push_back(static_cast<char16_t>(*p));
    return out;
}

int wheelSteps(int delta) {
    const double steps = delta / 120.0;
    return static_cast<int>(steps < 0 ? -std::floor(-steps + 0.5) : std::floor(steps + 0.5));
}

} // namespace sonimo
