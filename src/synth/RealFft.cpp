#include "synth/RealFft.h"

#include <cmath>

namespace sonimo {

RealFft::RealFft(int size)
    : n_(size), m_(size / 2), reverse_(m_), twRe_(m_), twIm_(m_), splitRe_(m_ + 1), splitIm_(m_ + 1),
      workRe_(m_), workIm_(m_) {
    int bits = 0;
    while ((1 << bits) < m_) ++bits;
    for (int i = 0; i < m_; ++i) {
        int r = 0;
        for (int b = 0; b < bits; ++b)
            if (i & (1 << b)) r |= 1 << (bits - 1 - b);
        reverse_[i] = r;
    }
    const double pi = 3.14159265358979323846;
    for (int h = 1; h < m_; h <<= 1)
        for (int j = 0; j < h; ++j) {
            twRe_[h + j] = std::cos(pi * j / h);
            twIm_[h + j] = -std::sin(pi * j / h);
        }
    for (int k = 0; k <= m_; ++k) {
        splitRe_[k] = std::cos(2.0 * pi * k / n_);
        splitIm_[k] = -std::sin(2.0 * pi * k / n_);
    }
}

void RealFft::complexFft(double* re, double* im) const {
    const int m = m_;
    for (int i = 0; i < m; i += 2) {
        const double ar = re[i], ai = im[i], br = re[i + 1], bi = im[i + 1];
        re[i] = ar + br, im[i] = ai + bi;
        re[i + 1] = ar - br, im[i + 1] = ai - bi;
    }
    if (m >= 4) {
        for (int i = 0; i < m; i += 4) {
            // twiddles 1 and -i
            const double r0 = re[i], i0 = im[i], r1 = re[i + 1], i1 = im[i + 1];
            const double r2 = re[i + 2], i2 = im[i + 2], r3 = re[i + 3], i3 = im[i + 3];
            re[i] = r0 + r2, im[i] = i0 + i2;
            re[i + 2] = r0 - r2, im[i + 2] = i0 - i2;
            re[i + 1] = r1 + i3, im[i + 1] = i1 - r3;
            re[i + 3] = r1 - i3, im[i + 3] = i1 + r3;
        }
    }
    for (int h = 4; h < m; h <<= 1) {
        const double* __restrict wr = twRe_.data() + h;
        const double* __restrict wi = twIm_.data() + h;
        for (int base = 0; base < m; base += 2 * h) {
            double* __restrict ar = re + base;
            double* __restrict ai = im + base;
            double* __restrict br = re + base + h;
            double* __restrict bi = im + base + h;
            for (int j = 0; j < h; ++j) {
                const double tr = br[j] * wr[j] - bi[j] * wi[j];
                const double ti = br[j] * wi[j] + bi[j] * wr[j];
                br[j] = ar[j] - tr;
                bi[j] = ai[j] - ti;
                ar[j] += tr;
                ai[j] += ti;
            }
        }
    }
}

void RealFft::Forward(const double* in, double* re, double* im) {
    double* zr = workRe_.data();
    double* zi = workIm_.data();
    for (int i = 0; i < m_; ++i) {
        zr[reverse_[i]] = in[2 * i];
        zi[reverse_[i]] = in[2 * i + 1];
    }
    complexFft(zr, zi);
    // Split the transform of (even + i odd) into the even and odd halves' transforms.
    re[0] = zr[0] + zi[0], im[0] = 0.0;
    re[m_] = zr[0] - zi[0], im[m_] = 0.0;
    for (int k = 1; k < m_; ++k) {
        const double ar = zr[k], ai = zi[k], cr = zr[m_ - k], ci = -zi[m_ - k];
        const double er = 0.5 * (ar + cr), ei = 0.5 * (ai + ci);
        // (Z[k] - conj Z[m-k]) / 2i
        const double or_ = 0.5 * (ai - ci), oi = -0.5 * (ar - cr);
        const double wr = splitRe_[k], wi = splitIm_[k];
        re[k] = er + or_ * wr - oi * wi;
        im[k] = ei + or_ * wi + oi * wr;
    }
}

void RealFft::Inverse(const double* re, const double* im, double* out) {
    double* zr = workRe_.data();
    double* zi = workIm_.data();
    for (int k = 0; k < m_; ++k) {
        const double xr = re[k], xi = k == 0 ? 0.0 : im[k];
        const double cr = re[m_ - k], ci = (k == 0) ? 0.0 : -im[m_ - k];
        const double er = xr + cr, ei = xi + ci;
        // (X[k] - conj X[m-k]) * exp(+2 pi i k / n)
        const double dr = xr - cr, di = xi - ci;
        const double wr = splitRe_[k], wi = -splitIm_[k];
        const double or_ = dr * wr - di * wi, oi = dr * wi + di * wr;
        // Z = E + i O, stored with real and imaginary parts exchanged so that the forward
        // transform below computes the inverse one.
        zi[reverse_[k]] = er - oi;
        zr[reverse_[k]] = ei + or_;
    }
    complexFft(zr, zi);
    for (int i = 0; i < m_; ++i) {
        out[2 * i] = zi[i];
        out[2 * i + 1] = zr[i];
    }
}

} // namespace sonimo
