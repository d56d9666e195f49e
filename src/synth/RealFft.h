// A real-input FFT of a fixed power-of-two size n, through a complex FFT of n/2 points in
// split (separate real and imaginary) arrays, with tables built once per object.
// Forward gives bins 0..n/2; Inverse(Forward(x)) = n * x. Not thread-safe: the object
// keeps its work arrays. No allocation after construction.
#pragma once
#include <vector>

namespace sonimo {

class RealFft {
public:
    explicit RealFft(int size); // a power of two, at least 4
    int size() const { return n_; }
    int bins() const { return m_ + 1; }

    // in: size() values; re, im: bins() values each.
    void Forward(const double* in, double* re, double* im);
    // re, im: bins() values (the imaginary parts of bins 0 and size()/2 are ignored);
    // out: size() values, scaled by size().
    void Inverse(const double* re, const double* im, double* out);

    // Circular convolution in place, the fast path: put x[2i] in even()[i] and x[2i + 1] in
    // odd()[i] for i < size()/2, call Convolve with a filter spectrum from Forward, and the
    // result, scaled by size(), is in even() and odd() the same way.
    double* even() { return workRe_.data(); }
    double* odd() { return workIm_.data(); }
    void Convolve(const double* filterRe, const double* filterIm);

private:
    void complexFft(double* re, double* im) const;    // in place, bit-reversed order in, natural out
    void complexFftDif(double* re, double* im) const; // in place, natural order in, bit-reversed out

    int n_;
    int m_;
    std::vector<int> reverse_; // bit reversal of m_ points
    std::vector<double> twRe_; // stage twiddles: [h + j] = exp(-i pi j / h), h = 1, 2, 4, ...
    std::vector<double> twIm_;
    std::vector<double> splitRe_; // exp(-2 pi i k / n), k = 0..m_
    std::vector<double> splitIm_;
    std::vector<double> workRe_;
    std::vector<double> workIm_;
};

} // namespace sonimo
