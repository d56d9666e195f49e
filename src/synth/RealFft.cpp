#include "synth/RealFft.h"

#include <cmath>

namespace sonimo {

namespace {

// One run of radix-2 butterflies with their twiddles; separate restrict parameters let the
// compiler vectorise it.
void butterflies(double* __restrict ar, double* __restrict ai, double* __restrict br, double* __restrict bi,
                 const double* __restrict wr, const double* __restrict wi, int h) {
    for (int j = 0; j < h; ++j) {
        const double tr = br[j] * wr[j] - bi[j] * wi[j];
        const double ti = br[j] * wi[j] + bi[j] * wr[j];
        br[j] = ar[j] - tr;
        bi[j] = ai[j] - ti;
        ar[j] += tr;
        ai[j] += ti;
    }
}

// Two radix-2 stages at once (half sizes h and 2h) over one group of 4h points: half the
// passes over the arrays. w1 = exp(-i pi j / h), w2 = exp(-i pi j / 2h), and the fourth
// quarter's twiddle is -i w2.
void butterflies4(double* __restrict ar, double* __restrict ai, double* __restrict br, double* __restrict bi,
                  double* __restrict cr, double* __restrict ci, double* __restrict dr, double* __restrict di,
                  const double* __restrict w1r, const double* __restrict w1i, const double* __restrict w2r,
                  const double* __restrict w2i, int h) {
    for (int j = 0; j < h; ++j) {
        const double xbr = br[j] * w1r[j] - bi[j] * w1i[j];
        const double xbi = br[j] * w1i[j] + bi[j] * w1r[j];
        const double xdr = dr[j] * w1r[j] - di[j] * w1i[j];
        const double xdi = dr[j] * w1i[j] + di[j] * w1r[j];
        const double Ar = ar[j] + xbr, Ai = ai[j] + xbi;
        const double Br = ar[j] - xbr, Bi = ai[j] - xbi;
        const double Cr = cr[j] + xdr, Ci = ci[j] + xdi;
        const double Dr = cr[j] - xdr, Di = ci[j] - xdi;
        const double ycr = Cr * w2r[j] - Ci * w2i[j];
        const double yci = Cr * w2i[j] + Ci * w2r[j];
        // D (-i w2): first D w2, then the quarter turn
        const double tdr = Dr * w2r[j] - Di * w2i[j];
        const double tdi = Dr * w2i[j] + Di * w2r[j];
        const double ydr = tdi, ydi = -tdr;
        ar[j] = Ar + ycr, ai[j] = Ai + yci;
        cr[j] = Ar - ycr, ci[j] = Ai - yci;
        br[j] = Br + ydr, bi[j] = Bi + ydi;
        dr[j] = Br - ydr, di[j] = Bi - ydi;
    }
}

// Decimation in frequency, natural order in: one radix-2 stage of half size h.
void difButterflies(double* __restrict ar, double* __restrict ai, double* __restrict br,
                    double* __restrict bi, const double* __restrict wr, const double* __restrict wi, int h) {
    for (int j = 0; j < h; ++j) {
        const double dr = ar[j] - br[j], di = ai[j] - bi[j];
        ar[j] += br[j];
        ai[j] += bi[j];
        br[j] = dr * wr[j] - di * wi[j];
        bi[j] = dr * wi[j] + di * wr[j];
    }
}

// Decimation in frequency, stages of half size 2q then q over one group of 4q points.
// w1 = exp(-i pi j / q), w2 = exp(-i pi j / 2q); the second pair's twiddle is -i w2.
void difButterflies4(double* __restrict ar, double* __restrict ai, double* __restrict br,
                     double* __restrict bi, double* __restrict cr, double* __restrict ci,
                     double* __restrict dr, double* __restrict di, const double* __restrict w1r,
                     const double* __restrict w1i, const double* __restrict w2r, const double* __restrict w2i,
                     int q) {
    for (int j = 0; j < q; ++j) {
        const double a1r = ar[j] + cr[j], a1i = ai[j] + ci[j];
        const double b1r = br[j] + dr[j], b1i = bi[j] + di[j];
        const double xr = ar[j] - cr[j], xi = ai[j] - ci[j];
        const double yr = br[j] - dr[j], yi = bi[j] - di[j];
        const double c1r = xr * w2r[j] - xi * w2i[j], c1i = xr * w2i[j] + xi * w2r[j];
        const double tr = yr * w2r[j] - yi * w2i[j], ti = yr * w2i[j] + yi * w2r[j];
        const double d1r = ti, d1i = -tr; // times -i
        ar[j] = a1r + b1r, ai[j] = a1i + b1i;
        const double er = a1r - b1r, ei = a1i - b1i;
        br[j] = er * w1r[j] - ei * w1i[j], bi[j] = er * w1i[j] + ei * w1r[j];
        cr[j] = c1r + d1r, ci[j] = c1i + d1i;
        const double fr = c1r - d1r, fi = c1i - d1i;
        dr[j] = fr * w1r[j] - fi * w1i[j], di[j] = fr * w1i[j] + fi * w1r[j];
    }
}

} // namespace

RealFft::RealFft(int size)
    : n_(size), m_(size / 2), reverse_(m_), twRe_(m_), twIm_(m_), splitRe_(m_ + 1), splitIm_(m_ + 1),
      workRe_(m_), workIm_(m_) {
    int bits = 0;
    while ((1 << bits) < m_)
        ++bits;
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
    int h = 4;
    for (; 4 * h <= m; h <<= 2)
        for (int base = 0; base < m; base += 4 * h)
            butterflies4(re + base, im + base, re + base + h, im + base + h, re + base + 2 * h,
                         im + base + 2 * h, re + base + 3 * h, im + base + 3 * h, twRe_.data() + h,
                         twIm_.data() + h, twRe_.data() + 2 * h, twIm_.data() + 2 * h, h);
    for (; h < m; h <<= 1)
        for (int base = 0; base < m; base += 2 * h)
            butterflies(re + base, im + base, re + base + h, im + base + h, twRe_.data() + h,
                        twIm_.data() + h, h);
}

void RealFft::complexFftDif(double* re, double* im) const {
    const int m = m_;
    int h = m / 2;
    for (; h >= 8; h >>= 2) {
        const int q = h / 2;
        for (int base = 0; base < m; base += 4 * q)
            difButterflies4(re + base, im + base, re + base + q, im + base + q, re + base + 2 * q,
                            im + base + 2 * q, re + base + 3 * q, im + base + 3 * q, twRe_.data() + q,
                            twIm_.data() + q, twRe_.data() + 2 * q, twIm_.data() + 2 * q, q);
    }
    for (; h >= 4; h >>= 1)
        for (int base = 0; base < m; base += 2 * h)
            difButterflies(re + base, im + base, re + base + h, im + base + h, twRe_.data() + h,
                           twIm_.data() + h, h);
    if (h == 2) {
        for (int i = 0; i < m; i += 4) {
            const double r0 = re[i], i0 = im[i], r1 = re[i + 1], i1 = im[i + 1];
            const double r2 = re[i + 2], i2 = im[i + 2], r3 = re[i + 3], i3 = im[i + 3];
            re[i] = r0 + r2, im[i] = i0 + i2;
            re[i + 2] = r0 - r2, im[i + 2] = i0 - i2;
            re[i + 1] = r1 + r3, im[i + 1] = i1 + i3;
            re[i + 3] = i1 - i3, im[i + 3] = r3 - r1; // (x1 - x3) times -i
        }
    }
    for (int i = 0; i < m; i += 2) {
        const double ar = re[i], ai = im[i], br = re[i + 1], bi = im[i + 1];
        re[i] = ar + br, im[i] = ai + bi;
        re[i + 1] = ar - br, im[i + 1] = ai - bi;
    }
}

void RealFft::Convolve(const double* filterRe, const double* filterIm) {
    double* zr = workRe_.data();
    double* zi = workIm_.data();
    const int* rev = reverse_.data();
    const int m = m_;
    // Forward transform of (even + i odd), left in bit-reversed order.
    complexFftDif(zr, zi);
    // Per pair of bins (k, m - k): split into the real signal's spectrum, multiply by the
    // filter, and fold back into the half-size spectrum the inverse transform takes.
    {
        const double x0 = zr[0] + zi[0], xm = zr[0] - zi[0];
        const double y0r = x0 * filterRe[0], y0i = x0 * filterIm[0];
        const double ymr = xm * filterRe[m], ymi = xm * filterIm[m];
        // E = Y0 + conj Ym, O = Y0 - conj Ym, Z' = E + i O
        const double er = y0r + ymr, ei = y0i - ymi, or_ = y0r - ymr, oi = y0i + ymi;
        zr[0] = er - oi;
        zi[0] = ei + or_;
    }
    for (int k = 1; k <= m / 2; ++k) {
        const int p = rev[k], q = rev[m - k];
        const double wr = splitRe_[k], wi = splitIm_[k];
        const double ar = zr[p], ai = zi[p], cr = zr[q], ci = -zi[q];
        const double er = 0.5 * (ar + cr), ei = 0.5 * (ai + ci);
        const double or_ = 0.5 * (ai - ci), oi = -0.5 * (ar - cr);
        const double wor = or_ * wr - oi * wi, woi = or_ * wi + oi * wr;
        const double xkr = er + wor, xki = ei + woi;    // X[k]
        const double xmr = er - wor, xmi = -(ei - woi); // X[m - k] = conj(E - W O)
        const double ykr = xkr * filterRe[k] - xki * filterIm[k];
        const double yki = xkr * filterIm[k] + xki * filterRe[k];
        const double ymr = xmr * filterRe[m - k] - xmi * filterIm[m - k];
        const double ymi = xmr * filterIm[m - k] + xmi * filterRe[m - k];
        const double sr = ykr + ymr, si = yki - ymi;                 // Y[k] + conj Y[m - k]
        const double dr = ykr - ymr, di = yki + ymi;                 // Y[k] - conj Y[m - k]
        const double vr = dr * wr + di * wi, vi = di * wr - dr * wi; // times conj W
        zr[p] = sr - vi;
        zi[p] = si + vr;
        if (q != p) {
            zr[q] = sr + vi;
            zi[q] = vr - si;
        }
    }
    // Inverse through the forward transform with real and imaginary parts exchanged: the
    // even samples come out in zr, the odd ones in zi.
    complexFft(zi, zr);
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
