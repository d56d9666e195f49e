#include "measure/ToneAnalysis.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "synth/RealFft.h"

namespace sonimo {

namespace {

double windowSum(const std::vector<double>& w) {
    double s = 0;
    for (double v : w)
        s += v;
    return s;
}

// The peak of |X(f)| within [lo, hi] (cycles per sample), by golden section: the
// bracket lies inside the main lobe, where the magnitude has one maximum.
double findPeak(const std::vector<double>& x, const std::vector<double>& w, double lo, double hi) {
    const double g = (std::sqrt(5.0) - 1) / 2;
    auto power = [&](double f) {
        const Phasor p = windowedTransform(x.data(), w.data(), static_cast<int>(x.size()), f);
        return p.re * p.re + p.im * p.im;
    };
    double a = lo, b = hi;
    double c = b - g * (b - a), d = a + g * (b - a);
    double pc = power(c), pd = power(d);
    // to 1e-12 cycles per sample: 5e-8 Hz at 48000 Hz
    for (int i = 0; i < 80 && b - a > 1e-12; ++i) {
        if (pc > pd) {
            b = d, d = c, pd = pc;
            c = b - g * (b - a), pc = power(c);
        } else {
            a = c, c = d, pc = pd;
            d = a + g * (b - a), pd = power(d);
        }
    }
    return (a + b) / 2;
}

} // namespace

double toDb(double ratio) {
    return ratio > 0 ? 20 * std::log10(ratio) : -400.0;
}

ToneAnalysisStatus AnalyzeTone(const std::vector<double>& recording, int rate,
                               const ToneAnalysisOptions& options, ToneAnalysisResult& out) {
    out = ToneAnalysisResult{};
    // Only the tone: from the first to the last sample above a tenth of the peak, so that
    // the silence recorded before and after it does not dilute its level.
    double recordingPeak = 0;
    for (double v : recording)
        recordingPeak = std::max(recordingPeak, std::fabs(v));
    std::size_t first = 0, last = recording.size();
    while (first < recording.size() && std::fabs(recording[first]) < 0.1 * recordingPeak)
        ++first;
    while (last > first && std::fabs(recording[last - 1]) < 0.1 * recordingPeak)
        --last;
    const std::vector<double> x(recording.begin() + static_cast<std::ptrdiff_t>(first),
                                recording.begin() + static_cast<std::ptrdiff_t>(last));
    out.firstFrame = static_cast<std::int64_t>(first);
    out.frames = static_cast<std::int64_t>(x.size());
    const int averages = std::max(1, options.averages);
    const std::int64_t total = static_cast<std::int64_t>(x.size());
    const int block = static_cast<int>(total / averages);
    if (rate <= 0 || block < 256 || block < rate / 16) return ToneAnalysisStatus::TooShort;
    const int lobe = mainLobeBins(options.window);

    // The whole recording, for the frequency, always through bh7: its main lobe falls
    // steadily from its centre, where a flat top's ripples would mislead the search.
    const int n = static_cast<int>(total);
    const int fullLobe = mainLobeBins(WindowKind::BlackmanHarris7);
    const std::vector<double> wFull = makeWindow(WindowKind::BlackmanHarris7, n);
    const int fullSize = powerOfTwoAtLeast(n);
    double coarse = 0;
    {
        RealFft fft(fullSize);
        std::vector<double> in(static_cast<std::size_t>(fullSize)), re(fft.bins()), im(fft.bins());
        for (int i = 0; i < n; ++i)
            in[i] = x[i] * wFull[i];
        fft.Forward(in.data(), re.data(), im.data());
        // past the DC lobe, below Nyquist's
        const int first = static_cast<int>(std::ceil((fullLobe + 1.0) * fullSize / n));
        const int last = fft.bins() - 1 - first;
        double best = -1;
        int at = -1;
        for (int b = first; b < last; ++b) {
            const double p = re[b] * re[b] + im[b] * im[b];
            if (p > best) best = p, at = b;
        }
        if (at < 0) return ToneAnalysisStatus::NoTone;
        coarse = static_cast<double>(at) / fullSize;
        const double amplitude = 2 * std::sqrt(best) / windowSum(wFull);
        if (amplitude < 1e-7 * std::sqrt(2.0)) return ToneAnalysisStatus::NoTone;
    }
    const double f0 = findPeak(x, wFull, coarse - 1.0 / fullSize, coarse + 1.0 / fullSize);
    out.fundamentalHz = f0 * rate;

    // Blocks: coherent phasors of the harmonics, mean power of the spectrum.
    const std::vector<double> w = makeWindow(options.window, block);
    const double sumW = windowSum(w);
    double sumW2 = 0;
    for (double v : w)
        sumW2 += v * v;
    // padded to twice the block at least, so a tone between bins reads within 0.03 dB
    const int size = powerOfTwoAtLeast(2 * static_cast<std::int64_t>(block));
    const int bins = size / 2 + 1;
    std::vector<double> power(static_cast<std::size_t>(bins), 0.0);
    {
        RealFft fft(size);
        std::vector<double> in(static_cast<std::size_t>(size), 0.0), re(bins), im(bins);
        for (int j = 0; j < averages; ++j) {
            const double* xb = x.data() + static_cast<std::size_t>(j) * block;
            for (int i = 0; i < block; ++i)
                in[i] = xb[i] * w[i];
            fft.Forward(in.data(), re.data(), im.data());
            for (int b = 0; b < bins; ++b)
                power[b] += (re[b] * re[b] + im[b] * im[b]) / averages;
        }
    }
    // the phasor exp(-2 pi i f0 k n) for the block, raised to the harmonic's order in turn
    std::vector<double> zr(static_cast<std::size_t>(block)), zi(zr.size()), pr(zr.size()), pi(zr.size());
    for (int i = 0; i < block; ++i) {
        const double phase = -2 * std::numbers::pi * std::fmod(f0 * i, 1.0);
        zr[i] = pr[i] = std::cos(phase);
        zi[i] = pi[i] = std::sin(phase);
    }
    std::vector<double> amplitude; // index k - 1
    const double lobeHz = static_cast<double>(lobe) * rate / block;
    for (int k = 1; k * out.fundamentalHz < rate / 2.0 - lobeHz; ++k) {
        // each costs a pass over the recording: a very low tone stops at kMaxHarmonic
        if (k > kMaxHarmonic) {
            out.harmonicsCut = true;
            break;
        }
        if (k > 1) {
            for (int i = 0; i < block; ++i) {
                const double t = pr[i] * zr[i] - pi[i] * zi[i];
                pi[i] = pr[i] * zi[i] + pi[i] * zr[i];
                pr[i] = t;
            }
        }
        double sr = 0, si = 0;
        for (int j = 0; j < averages; ++j) {
            const double* xb = x.data() + static_cast<std::size_t>(j) * block;
            double br = 0, bi = 0;
            for (int i = 0; i < block; ++i) {
                const double v = xb[i] * w[i];
                br += v * pr[i];
                bi += v * pi[i];
            }
            // referred to the recording's start: undo the block's own delay
            const double shift =
                2 * std::numbers::pi * std::fmod(k * f0 * static_cast<double>(j) * block, 1.0);
            const double c = std::cos(shift), s = std::sin(shift);
            sr += br * c + bi * s;
            si += bi * c - br * s;
        }
        amplitude.push_back(2 * std::hypot(sr, si) / averages / sumW);
    }
    if (amplitude.empty()) return ToneAnalysisStatus::NoTone;
    const double a1 = amplitude[0];
    out.fundamentalDbfs = toDb(a1);
    double harmonicPower = 0;
    for (std::size_t k = 1; k < amplitude.size(); ++k) {
        out.harmonics.push_back({out.fundamentalHz * (k + 1), toDb(amplitude[k]), static_cast<int>(k + 1)});
        harmonicPower += amplitude[k] * amplitude[k];
    }
    out.thdPercent = 100 * std::sqrt(harmonicPower) / a1;
    out.thdDb = toDb(std::sqrt(harmonicPower) / a1);

    // Mean square in each bin (Parseval over the zero-padded transform), and the level of
    // a sine in each (what the plot shows).
    const double binsPerResolution = static_cast<double>(size) / block;
    auto binOf = [&](double hz) { return hz / rate * size; };
    const double lobeBins = (lobe + 1) * binsPerResolution;
    std::vector<char> kind(static_cast<std::size_t>(bins), 0); // 1 DC or fundamental, 2 harmonic
    for (int b = 0; b < bins; ++b) {
        if (b <= lobeBins || std::fabs(b - binOf(out.fundamentalHz)) <= lobeBins) kind[b] = 1;
    }
    for (const SpectralLine& h : out.harmonics) {
        const int lo = std::max(0, static_cast<int>(std::ceil(binOf(h.hz) - lobeBins)));
        const int hi = std::min(bins - 1, static_cast<int>(std::floor(binOf(h.hz) + lobeBins)));
        for (int b = lo; b <= hi; ++b)
            if (!kind[b]) kind[b] = 2;
    }
    out.spectrumDbfs.resize(static_cast<std::size_t>(bins));
    double residual = 0, noise = 0, all = 0;
    int noiseBins = 0, countable = 0;
    std::vector<double> noiseLevels;
    for (int b = 1; b < bins - 1; ++b) {
        const double meanSquare = 2 * power[b] / size / sumW2;
        out.spectrumDbfs[b] = toDb(2 * std::sqrt(power[b]) / sumW);
        all += meanSquare;
        ++countable;
        if (kind[b] != 1) residual += meanSquare;
        if (kind[b] == 0) {
            noise += meanSquare;
            ++noiseBins;
            noiseLevels.push_back(out.spectrumDbfs[b]);
        }
    }
    out.spectrumDbfs[0] = toDb(std::sqrt(power[0]) / sumW);
    out.spectrumDbfs[bins - 1] = toDb(std::sqrt(power[bins - 1]) / sumW);
    // the noise under the tone's and harmonics' lobes, at the density of the rest
    const double noiseAll = noiseBins ? noise * countable / noiseBins : 0;
    const double signalMs = a1 * a1 / 2;
    out.noiseDbfs = toDb(std::sqrt(2 * noiseAll));
    out.thdnPercent = 100 * std::sqrt(residual / signalMs);
    out.thdnDb = toDb(std::sqrt(residual / signalMs));
    out.sinadDb = residual > 0 ? 10 * std::log10((signalMs + residual) / residual) : 400.0;
    if (!noiseLevels.empty()) {
        std::nth_element(noiseLevels.begin(), noiseLevels.begin() + noiseLevels.size() / 2,
                         noiseLevels.end());
        out.noiseFloorDbfs = noiseLevels[noiseLevels.size() / 2];
    } else {
        out.noiseFloorDbfs = -400;
    }
    out.binHz = static_cast<double>(rate) / size;
    out.resolutionHz = static_cast<double>(rate) / block;
    out.blockFrames = block;
    (void)all;

    // Spurs: the highest local maxima among the noise bins, one per main lobe.
    std::vector<SpectralLine> peaks;
    for (int b = 2; b < bins - 2; ++b) {
        const double v = out.spectrumDbfs[b];
        if (kind[b] || v < out.noiseFloorDbfs + 20) continue;
        if (v < out.spectrumDbfs[b - 1] || v < out.spectrumDbfs[b + 1]) continue;
        // the vertex of the parabola through the three bins (in dB) gives the frequency
        const double l = out.spectrumDbfs[b - 1], r = out.spectrumDbfs[b + 1];
        const double den = l - 2 * v + r;
        const double offset = den < 0 ? 0.5 * (l - r) / den : 0;
        peaks.push_back({(b + offset) * rate / static_cast<double>(size), v, 0});
    }
    std::sort(peaks.begin(), peaks.end(),
              [](const SpectralLine& a, const SpectralLine& b) { return a.dbfs > b.dbfs; });
    for (const SpectralLine& p : peaks) {
        if (static_cast<int>(out.spurs.size()) >= options.maxSpurs) break;
        bool near = false;
        for (const SpectralLine& s : out.spurs)
            near = near || std::fabs(s.hz - p.hz) < lobeHz;
        if (!near) out.spurs.push_back(p);
    }

    double peak = 0, ms = 0;
    for (double v : x) {
        peak = std::max(peak, std::fabs(v));
        ms += v * v;
    }
    out.peakDbfs = toDb(peak);
    out.rmsDbfs = toDb(std::sqrt(2 * ms / static_cast<double>(total)));
    return ToneAnalysisStatus::Ok;
}

} // namespace sonimo
