#include "measure/SpectralWindow.h"

#include <cmath>
#include <numbers>

namespace sonimo {

namespace {

struct Coefficients {
    const char* name;
    WindowKind kind;
    int terms;
    double a[7];
};

// w(n) = sum_k (-1)^k a_k cos(2 pi k n / size).
constexpr Coefficients kWindows[] = {
    // Albrecht, "A family of cosine-sum windows for high-resolution measurements" (2001)
    {"bh7",
     WindowKind::BlackmanHarris7,
     7,
     {0.27105140069342, 0.43329793923448, 0.21812299954311, 0.06592544638803, 0.01081174209837,
      0.00077658482522, 0.00001388721735}},
    // Harris, "On the use of windows for harmonic analysis with the DFT" (1978)
    {"bh4", WindowKind::BlackmanHarris4, 4, {0.35875, 0.48829, 0.14128, 0.01168}},
    // Heinzel, Rüdiger, Schilling, "Spectrum and spectral density estimation by the DFT" (2002)
    {"flattop", WindowKind::FlatTop, 5, {1.0, 1.942604, 1.340318, 0.440811, 0.043097}},
    {"hann", WindowKind::Hann, 2, {0.5, 0.5}},
};

const Coefficients& coefficientsOf(WindowKind kind) {
    for (const Coefficients& c : kWindows) {
        if (c.kind == kind) return c;
    }
    return kWindows[0];
}

} // namespace

std::optional<WindowKind> windowByName(std::string_view name) {
    for (const Coefficients& c : kWindows) {
        if (name == c.name) return c.kind;
    }
    return std::nullopt;
}

const char* windowName(WindowKind kind) {
    return coefficientsOf(kind).name;
}

int mainLobeBins(WindowKind kind) {
    return coefficientsOf(kind).terms;
}

std::vector<double> makeWindow(WindowKind kind, int size) {
    const Coefficients& c = coefficientsOf(kind);
    std::vector<double> w(static_cast<std::size_t>(size));
    for (int n = 0; n < size; ++n) {
        // cos(k t) by the Chebyshev recurrence from cos(t): one cosine per sample
        const double c1 = std::cos(2 * std::numbers::pi * n / size);
        double previous = 1, current = c1, v = c.a[0];
        for (int k = 1; k < c.terms; ++k) {
            v += (k & 1 ? -c.a[k] : c.a[k]) * current;
            const double next = 2 * c1 * current - previous;
            previous = current;
            current = next;
        }
        w[static_cast<std::size_t>(n)] = v;
    }
    return w;
}

Phasor windowedTransform(const double* x, const double* w, int n, double f) {
    Phasor sum;
    const double step = -2 * std::numbers::pi * f;
    const double cr = std::cos(step), ci = std::sin(step);
    for (int start = 0; start < n; start += 512) {
        // a fresh phasor per stretch keeps the rotation's rounding from adding up
        double pr = std::cos(step * start), pi = std::sin(step * start);
        const int end = std::min(n, start + 512);
        for (int i = start; i < end; ++i) {
            const double v = x[i] * w[i];
            sum.re += v * pr;
            sum.im += v * pi;
            const double t = pr * cr - pi * ci;
            pi = pr * ci + pi * cr;
            pr = t;
        }
    }
    return sum;
}

} // namespace sonimo
