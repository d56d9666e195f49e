// The windows a tone's spectrum is taken through: cosine sums, periodic (symmetric about
// n = size / 2), with what the measurements need of each.
//   bh7      7-term Blackman-Harris (Albrecht): side lobes below -160 dB, so harmonics
//            and a noise floor 150 dB under a full-scale tone are not hidden by the
//            tone's own leakage. The default: the tone's frequency is found exactly
//            first, so a flat top's tolerance of an unknown frequency is not needed.
//   bh4      4-term Blackman-Harris: -92 dB side lobes, a narrower main lobe.
//   flattop  HFT90D (Heinzel, Rüdiger, Schilling 2002): amplitude within 0.01 dB
//            anywhere in a bin, -90 dB side lobes, a wide main lobe.
//   hann     -31 dB side lobes; for noise, not for distortion.
#pragma once
#include <optional>
#include <string_view>
#include <vector>

namespace sonimo {

enum class WindowKind { BlackmanHarris7, BlackmanHarris4, FlatTop, Hann };

std::optional<WindowKind> windowByName(std::string_view name);
const char* windowName(WindowKind kind);
// Half the main lobe's width in bins (of 1 / size): where the window's own spectrum has
// fallen below its side lobes.
int mainLobeBins(WindowKind kind);
std::vector<double> makeWindow(WindowKind kind, int size);

// The transform sizes the measurements use: the power of two at or above n (at least 4).
inline int powerOfTwoAtLeast(long long n) {
    int p = 4;
    while (p < n)
        p *= 2;
    return p;
}

// The windowed transform of x[0..n) at one frequency (cycles per sample), w[0..n) the
// window: sum x[i] w[i] exp(-2 pi i f i). Rotates a phasor, exact to rounding (it is put
// back on the unit circle every 512 samples).
struct Phasor {
    double re = 0, im = 0;
};
Phasor windowedTransform(const double* x, const double* w, int n, double cyclesPerSample);

} // namespace sonimo
