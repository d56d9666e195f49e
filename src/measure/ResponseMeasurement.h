// The impulse and frequency response of what lies between a reference (what was played)
// and a recording of it, at one rate.
//
// The impulse response is the recording deconvolved by the reference over a transform
// long enough for both, so nothing wraps onto the linear response. The inverse filter is
// the reference's own regularised inverse, conj(X) / (|X|^2 + e): exact wherever the
// reference has energy, whatever the sweep's shape, fades or limiter did to it. When the
// reference is a logarithmic sweep (found from its zero crossings), this is the
// exponential-sweep method: the k-th harmonic's response lies L ln k before the linear
// one (L the sweep's time per e-fold of frequency), and is cut out and reported per
// harmonic. For noise or anything else it is a regularised spectral division, with
// e following the reference's local power so that its nulls do not blow up.
//
// The delay is the position of the response's largest sample; the magnitude and phase
// come from the linear response alone (faded in before it, out at its end), the phase
// with the delay taken out.
#pragma once
#include <cstdint>
#include <vector>

namespace sonimo {

struct ResponseOptions {
    double smoothOctaves = 0; // 0: none, else the width of the smoothing window (1/3, 1/6, ...)
    int pointsPerOctave = 48;
    int maxHarmonic = 5;
};

struct LogSweep {
    bool found = false;
    double startHz = 0, endHz = 0; // at the ends of the active part
    double seconds = 0;            // the active part's length
    double rateSeconds = 0;        // L: seconds per e-fold of frequency
};

struct HarmonicResponse {
    int order = 0;
    double offsetSeconds = 0;    // where it lies, before the linear response
    std::vector<double> levelDb; // per point of the grid, relative to the fundamental; NaN where unmeasured
    double medianDb = 0;         // over the points where it is measured
    int measuredPoints = 0;
};

struct ResponseResult {
    int rate = 0;
    std::int64_t delaySamples = 0;
    double gainDb = 0; // the magnitude's mean (dB) over the band: for a delay and a gain, the gain
    LogSweep sweep;
    int fftSize = 0;
    std::vector<float> impulse; // from the recording's start: sample n is the response n samples later
    double bandLowHz = 0, bandHighHz = 0; // where the reference has energy
    std::vector<double> hz, magnitudeDb, phaseDeg;
    std::vector<HarmonicResponse> harmonics;
};

enum class ResponseStatus {
    Ok,
    RecordingShorter, // the recording is shorter than the reference
    SilentReference,
    SilentRecording,
    NoBand,  // the reference has no energy anywhere the grid can show
    TooLong, // the transform would pass kMaxResponseFft
};

// The longest transform (about 300 MB of work arrays): the recording, and what lies
// before the linear response, must fit in it.
inline constexpr int kMaxResponseFft = 1 << 22;

ResponseStatus MeasureResponse(const std::vector<double>& reference, const std::vector<double>& recording,
                               int rate, const ResponseOptions& options, ResponseResult& out);

// The logarithmic sweep a signal is, if it is one: the zero crossings' instantaneous
// frequency must follow exp(t / L) closely over the active part.
LogSweep DetectLogSweep(const std::vector<double>& x, int rate);

} // namespace sonimo
