#include "measure/ResponseMeasurement.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <thread>

#include "measure/SpectralWindow.h"
#include "synth/RealFft.h"

namespace sonimo {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

double peakOf(const std::vector<double>& x) {
    double p = 0;
    for (double v : x)
        p = std::max(p, std::fabs(v));
    return p;
}

// A spectrum over bins 0..bins-1 as prefix sums, so that a band's mean costs O(1).
struct Spectrum {
    std::vector<double> re, im; // the bins
    std::vector<double> sumPower, sumRe, sumIm;

    void prepare() {
        const std::size_t n = re.size();
        sumPower.assign(n + 1, 0);
        sumRe.assign(n + 1, 0);
        sumIm.assign(n + 1, 0);
        for (std::size_t b = 0; b < n; ++b) {
            sumPower[b + 1] = sumPower[b] + re[b] * re[b] + im[b] * im[b];
            sumRe[b + 1] = sumRe[b] + re[b];
            sumIm[b + 1] = sumIm[b] + im[b];
        }
    }
    // At a fractional bin: the power and the complex value, both interpolated linearly
    // (the complex value only makes sense where the phase turns slowly from bin to bin).
    void at(double bin, double& power, double& r, double& i) const {
        const int n = static_cast<int>(re.size());
        const int b = std::clamp(static_cast<int>(std::floor(bin)), 0, n - 2);
        const double t = std::clamp(bin - b, 0.0, 1.0);
        const double p0 = re[b] * re[b] + im[b] * im[b], p1 = re[b + 1] * re[b + 1] + im[b + 1] * im[b + 1];
        power = p0 + (p1 - p0) * t;
        r = re[b] + (re[b + 1] - re[b]) * t;
        i = im[b] + (im[b + 1] - im[b]) * t;
    }
    // The mean over the bins within [lo, hi]; falls back to `at` when none lies there.
    void mean(double centre, double lo, double hi, double& power, double& r, double& i) const {
        const int n = static_cast<int>(re.size());
        const int a = std::max(0, static_cast<int>(std::ceil(lo)));
        const int b = std::min(n - 1, static_cast<int>(std::floor(hi)));
        if (b - a < 1) {
            at(centre, power, r, i);
            return;
        }
        const double count = b - a + 1;
        power = (sumPower[b + 1] - sumPower[a]) / count;
        r = (sumRe[b + 1] - sumRe[a]) / count;
        i = (sumIm[b + 1] - sumIm[a]) / count;
    }
};

// Half a Hann window over `fade` samples at each end that asks for one.
void fadeEnds(std::vector<double>& s, int fadeIn, int fadeOut) {
    const int n = static_cast<int>(s.size());
    fadeIn = std::min(fadeIn, n / 2);
    fadeOut = std::min(fadeOut, n / 2);
    for (int i = 0; i < fadeIn; ++i)
        s[i] *= 0.5 - 0.5 * std::cos(kPi * (i + 0.5) / fadeIn);
    for (int i = 0; i < fadeOut; ++i)
        s[n - 1 - i] *= 0.5 - 0.5 * std::cos(kPi * (i + 0.5) / fadeOut);
}

// The transform of a stretch of the circular response h, from `start` (may be negative),
// `length` samples long, faded at its ends; bins of a transform of `size`.
Spectrum segmentSpectrum(const std::vector<double>& h, std::int64_t start, int length, int fadeIn,
                         int fadeOut, int size) {
    const std::int64_t m = static_cast<std::int64_t>(h.size());
    std::vector<double> s(static_cast<std::size_t>(length));
    for (int i = 0; i < length; ++i)
        s[i] = h[static_cast<std::size_t>(((start + i) % m + m) % m)];
    fadeEnds(s, fadeIn, fadeOut);
    s.resize(static_cast<std::size_t>(size), 0.0);
    RealFft fft(size);
    Spectrum out;
    out.re.resize(fft.bins());
    out.im.resize(fft.bins());
    fft.Forward(s.data(), out.re.data(), out.im.data());
    return out;
}

} // namespace

LogSweep DetectLogSweep(const std::vector<double>& x, int rate) {
    LogSweep sweep;
    const double peak = peakOf(x);
    if (peak <= 0 || rate <= 0) return sweep;
    std::int64_t first = -1, last = -1;
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (std::fabs(x[i]) > 0.01 * peak) {
            if (first < 0) first = static_cast<std::int64_t>(i);
            last = static_cast<std::int64_t>(i);
        }
    }
    // Zero crossings, gathered in groups of at least 10 ms and 3 crossings: each gives the
    // mean frequency over its span.
    std::vector<double> t, lnF;
    double groupStart = -1, previous = -1;
    int inGroup = 0;
    for (std::int64_t i = first + 1; i <= last; ++i) {
        const double a = x[static_cast<std::size_t>(i - 1)], b = x[static_cast<std::size_t>(i)];
        if (!((a < 0 && b >= 0) || (a >= 0 && b < 0))) continue;
        const double at = static_cast<double>(i - 1) + a / (a - b);
        if (groupStart < 0) {
            groupStart = at;
            inGroup = 0;
        } else {
            ++inGroup;
            if (inGroup >= 3 && at - groupStart >= rate / 100.0) {
                t.push_back((at + groupStart) / 2);
                lnF.push_back(std::log(inGroup / (2 * (at - groupStart))));
                groupStart = at;
                inGroup = 0;
            }
        }
        previous = at;
    }
    (void)previous;
    const std::size_t n = t.size();
    if (n < 8) return sweep;
    double st = 0, sf = 0, stt = 0, stf = 0;
    for (std::size_t i = 0; i < n; ++i) {
        st += t[i], sf += lnF[i], stt += t[i] * t[i], stf += t[i] * lnF[i];
    }
    const double den = n * stt - st * st;
    if (den <= 0) return sweep;
    const double slope = (n * stf - st * sf) / den, offset = (sf - slope * st) / n;
    double residual = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double e = lnF[i] - (offset + slope * t[i]);
        residual += e * e;
    }
    residual = std::sqrt(residual / n);
    const double span = slope * static_cast<double>(last - first);
    if (slope <= 0 || span < std::log(2.0) || residual > 0.05) return sweep;
    sweep.found = true;
    sweep.startHz = std::exp(offset + slope * first) * rate;
    sweep.endHz = std::exp(offset + slope * last) * rate;
    sweep.seconds = static_cast<double>(last - first) / rate;
    sweep.rateSeconds = 1.0 / slope / rate;
    return sweep;
}

ResponseStatus MeasureResponse(const std::vector<double>& ref, const std::vector<double>& rec, int rate,
                               const ResponseOptions& options, ResponseResult& out) {
    out = ResponseResult{};
    out.rate = rate;
    const std::int64_t n = static_cast<std::int64_t>(ref.size()), r = static_cast<std::int64_t>(rec.size());
    if (r < n) return ResponseStatus::RecordingShorter;
    if (peakOf(ref) < 1e-6) return ResponseStatus::SilentReference;
    if (peakOf(rec) < 1e-6) return ResponseStatus::SilentRecording;
    out.sweep = DetectLogSweep(ref, rate);

    // Deconvolution over a transform long enough for the recording and for what lies
    // before the linear response: a device's response (shorter than r - n) convolved with
    // the reference fits in the recording, so only the harmonics' responses, at negative
    // times, must not wrap onto it. For a sweep they end where the last one reported ends;
    // otherwise the whole reference's length is kept clear.
    std::int64_t acausal = n;
    if (out.sweep.found) {
        const int k = std::max(2, options.maxHarmonic);
        const double far = out.sweep.rateSeconds * rate * (std::log(k) + std::log(k + 1.0)) / 2;
        acausal = std::min<std::int64_t>(n, static_cast<std::int64_t>(far) + rate / 10);
    }
    const std::int64_t needed = std::max<std::int64_t>(r, r - n + rate / 5 + acausal);
    if (needed > kMaxResponseFft) return ResponseStatus::TooLong;
    const int m = powerOfTwoAtLeast(needed);
    out.fftSize = m;
    std::vector<double> h(static_cast<std::size_t>(m));
    Spectrum x; // the reference's spectrum, kept for the band
    std::vector<double> local;
    {
        RealFft fft(m);
        const int bins = fft.bins();
        std::vector<double> yr(bins), yi(bins);
        // the recording's transform on a second core meanwhile
        std::thread other([&]() {
            RealFft own(m);
            std::vector<double> buffer(static_cast<std::size_t>(m), 0.0);
            std::copy(rec.begin(), rec.end(), buffer.begin());
            own.Forward(buffer.data(), yr.data(), yi.data());
        });
        std::vector<double> buffer(static_cast<std::size_t>(m), 0.0);
        std::copy(ref.begin(), ref.end(), buffer.begin());
        x.re.resize(bins), x.im.resize(bins);
        fft.Forward(buffer.data(), x.re.data(), x.im.data());
        other.join();
        x.prepare();
        // the reference's power averaged over about an eighth of an octave
        local.resize(bins);
        double most = 0;
        for (int b = 0; b < bins; ++b) {
            const int half = 4 + b / 16;
            const int lo = std::max(0, b - half), hi = std::min(bins - 1, b + half);
            local[b] = (x.sumPower[hi + 1] - x.sumPower[lo]) / (hi - lo + 1);
            most = std::max(most, local[b]);
        }
        for (int b = 0; b < bins; ++b) {
            const double p = x.re[b] * x.re[b] + x.im[b] * x.im[b];
            const double e = 1e-6 * local[b] + 1e-7 * most;
            const double re = (yr[b] * x.re[b] + yi[b] * x.im[b]) / (p + e);
            const double im = (yi[b] * x.re[b] - yr[b] * x.im[b]) / (p + e);
            yr[b] = re, yi[b] = im;
        }
        fft.Inverse(yr.data(), yi.data(), h.data());
        for (double& v : h)
            v /= m;
        // the band where the reference has energy: within 50 dB of its strongest
        int lo = -1, hi = -1;
        for (int b = 1; b < bins; ++b) {
            if (local[b] >= 1e-5 * most) {
                if (lo < 0) lo = b;
                hi = b;
            }
        }
        if (lo < 0) return ResponseStatus::NoBand;
        out.bandLowHz = static_cast<double>(lo) * rate / m;
        out.bandHighHz = static_cast<double>(hi) * rate / m;
        // a sweep's own ends are sharper: outside them only its start and stop transients
        if (out.sweep.found) {
            out.bandLowHz = std::max(out.bandLowHz, out.sweep.startHz);
            out.bandHighHz = std::min(out.bandHighHz, out.sweep.endHz);
        }
        out.bandHighHz = std::min(out.bandHighHz, 0.995 * rate / 2);
    }

    // The delay: the largest sample of the causal part (the harmonics lie in the last `acausal`).
    const std::int64_t causal = m - acausal;
    std::int64_t peak = 0;
    for (std::int64_t i = 0; i < causal; ++i) {
        if (std::fabs(h[i]) > std::fabs(h[peak])) peak = i;
    }
    out.delaySamples = peak;
    const double delta2 = out.sweep.found ? out.sweep.rateSeconds * std::log(2.0) : 1.0;
    const std::int64_t pre = static_cast<std::int64_t>(std::min(0.5 * delta2, 0.02) * rate);
    std::int64_t end = std::min<std::int64_t>(causal, r - n + rate / 10);
    end = std::max<std::int64_t>(end, std::min<std::int64_t>(causal, peak + rate / 100 + 1));
    out.impulse.resize(static_cast<std::size_t>(end));
    for (std::int64_t i = 0; i < end; ++i)
        out.impulse[static_cast<std::size_t>(i)] = static_cast<float>(h[static_cast<std::size_t>(i)]);

    // The harmonics of a log sweep: the k-th lies L ln k before the linear response; each
    // is cut out halfway to its neighbours. Their transforms run on a second core while
    // the linear response's does.
    struct Cut {
        int order;
        int size;
        Spectrum spectrum;
    };
    std::vector<Cut> cuts;
    const double lowest = std::max(out.bandLowHz, 1.0);
    if (out.sweep.found) {
        const double lrate = out.sweep.rateSeconds * rate;
        for (int k = 2; k <= options.maxHarmonic; ++k) {
            const double near = lrate * (std::log(k) + std::log(k - 1.0)) / 2;
            const double far = lrate * (std::log(k) + std::log(k + 1.0)) / 2;
            if (far >= static_cast<double>(acausal) || k * lowest >= rate / 2.0) break;
            const int len = static_cast<int>(far - near);
            if (len < 16) break;
            cuts.push_back({k, powerOfTwoAtLeast(std::max(4 * len, 65536)), {}});
        }
    }
    std::thread harmonicCuts([&]() {
        const double lrate = out.sweep.rateSeconds * rate;
        for (Cut& c : cuts) {
            const double near = lrate * (std::log(c.order) + std::log(c.order - 1.0)) / 2;
            const double far = lrate * (std::log(c.order) + std::log(c.order + 1.0)) / 2;
            const int len = static_cast<int>(far - near);
            c.spectrum =
                segmentSpectrum(h, peak - static_cast<std::int64_t>(far), len, len / 10, len / 10, c.size);
            c.spectrum.prepare();
        }
    });

    // The linear response, from `pre` before the peak to the end.
    const int length = static_cast<int>(end - peak + pre);
    const int size = powerOfTwoAtLeast(std::max<std::int64_t>(4 * static_cast<std::int64_t>(length), 65536));
    Spectrum linear = segmentSpectrum(h, peak - pre, length, static_cast<int>(pre / 2),
                                      std::min(length / 10, rate / 20), size);
    // the phase relative to the peak: the stretch starts `pre` samples before it
    for (std::size_t b = 0; b < linear.re.size(); ++b) {
        const double a = 2 * kPi * std::fmod(static_cast<double>(b) * pre / size, 1.0);
        const double c = std::cos(a), s = std::sin(a);
        const double re = linear.re[b] * c - linear.im[b] * s;
        linear.im[b] = linear.re[b] * s + linear.im[b] * c;
        linear.re[b] = re;
    }
    linear.prepare();

    harmonicCuts.join();
    const double low = std::max({out.bandLowHz, 1.0, 2.0 * rate / length});
    const double high = out.bandHighHz;
    if (!(high > low)) return ResponseStatus::NoBand;
    const double halfWidth = options.smoothOctaves > 0 ? std::exp2(options.smoothOctaves / 2) : 1.0;
    auto evaluate = [&](const Spectrum& s, int sizeOf, double hz, double& power, double& re, double& im) {
        const double bin = hz / rate * sizeOf;
        if (options.smoothOctaves > 0)
            s.mean(bin, bin / halfWidth, bin * halfWidth, power, re, im);
        else
            s.at(bin, power, re, im);
    };
    const int ppo = std::max(1, options.pointsPerOctave);
    std::vector<double> linearPower;
    for (int i = 0;; ++i) {
        const double hz = low * std::exp2(static_cast<double>(i) / ppo);
        if (hz > high * (1 + 1e-12)) break;
        double p, re, im;
        evaluate(linear, size, hz, p, re, im);
        out.hz.push_back(hz);
        linearPower.push_back(p);
        out.magnitudeDb.push_back(p > 0 ? 10 * std::log10(p) : -400.0);
        out.phaseDeg.push_back(std::atan2(im, re) * 180 / kPi);
    }
    double sum = 0;
    int counted = 0;
    for (std::size_t i = 0; i < out.hz.size(); ++i) {
        if (out.hz[i] >= 20 && out.hz[i] <= 0.9 * rate / 2) sum += out.magnitudeDb[i], ++counted;
    }
    if (counted == 0) {
        for (double v : out.magnitudeDb)
            sum += v, ++counted;
    }
    out.gainDb = sum / counted;

    for (Cut& c : cuts) {
        const int k = c.order;
        const Spectrum& hk = c.spectrum;
        const int sizeK = c.size;
        HarmonicResponse hr;
        hr.order = k;
        hr.offsetSeconds = out.sweep.rateSeconds * std::log(k);
        std::vector<double> measured;
        for (std::size_t i = 0; i < out.hz.size(); ++i) {
            const double f = out.hz[i], fk = k * f;
            // short of the band's top, where the sweep's end leaves the division unsteady
            if (fk > high / 1.05 || fk >= 0.995 * rate / 2 || linearPower[i] <= 0) {
                hr.levelDb.push_back(kNan);
                continue;
            }
            double p, re, im;
            evaluate(hk, sizeK, fk, p, re, im);
            const double db = p > 0 ? 10 * std::log10(p / linearPower[i]) : -400.0;
            hr.levelDb.push_back(db);
            measured.push_back(db);
        }
        hr.measuredPoints = static_cast<int>(measured.size());
        if (!measured.empty()) {
            std::nth_element(measured.begin(), measured.begin() + measured.size() / 2, measured.end());
            hr.medianDb = measured[measured.size() / 2];
        }
        out.harmonics.push_back(std::move(hr));
    }
    return ResponseStatus::Ok;
}

} // namespace sonimo
