// The distortion of a recorded steady tone. Levels are dBFS after AES17: a sine whose
// peak is full scale reads 0 dBFS, as its rms and as its peak; components (harmonics,
// spurs) are given by the level of that sine.
//
// The silence recorded before and after the tone is left out. The fundamental's frequency is where the
// windowed transform of the whole recording peaks (a golden-section search, to well under a millihertz on a
// second of signal); each harmonic's amplitude is the transform at exactly k times that frequency, so no
// scalloping enters. With `averages` > 1 the recording is cut into that many blocks:
// the harmonics' phasors are averaged coherently (each referred to the recording's start),
// so noise in their bins falls by 10 log10(averages) dB, and the spectrum (for noise,
// THD+N, spurs and the plot) is the mean power of the blocks.
#pragma once
#include <cstdint>
#include <vector>

#include "measure/SpectralWindow.h"

namespace sonimo {

// The highest harmonic measured (20 kHz of a 20 Hz tone): each costs a pass over the recording.
inline constexpr int kMaxHarmonic = 1000;

struct ToneAnalysisOptions {
    WindowKind window = WindowKind::BlackmanHarris7;
    int averages = 1;
    int maxSpurs = 5;
};

struct SpectralLine {
    double hz = 0;
    double dbfs = 0;
    int order = 0; // harmonics: 2, 3, ...; spurs: 0
};

struct ToneAnalysisResult {
    double fundamentalHz = 0;
    double fundamentalDbfs = 0;          // its rms, AES17
    double peakDbfs = 0;                 // the recording's largest sample
    double rmsDbfs = 0;                  // the whole recording's rms, AES17
    std::vector<SpectralLine> harmonics; // 2nd up to the last below Nyquist (or kMaxHarmonic)
    bool harmonicsCut = false;           // Nyquist lies beyond kMaxHarmonic
    double thdDb = 0, thdPercent = 0;
    double thdnDb = 0, thdnPercent = 0;
    double sinadDb = 0;              // 10 log10 (total / (noise + distortion))
    double noiseDbfs = 0;            // everything but the tone and its harmonics, rms
    double noiseFloorDbfs = 0;       // median level of the spectrum's noise bins (as plotted)
    double binHz = 0;                // the plotted spectrum's bin spacing
    double resolutionHz = 0;         // the blocks' resolution (rate / block length)
    std::vector<SpectralLine> spurs; // the largest, at least 20 dB above the floor (noise alone
                                     // peaks about 12 dB above its median)
    int blockFrames = 0;
    std::int64_t firstFrame = 0, frames = 0; // the part analysed: the tone without the silence around it
    // The spectrum of the plot: bins 0..fftSize/2, level of a sine in each (dBFS).
    std::vector<double> spectrumDbfs;
};

enum class ToneAnalysisStatus { Ok, TooShort, NoTone };

// x: the recording, 1.0 = full scale; what lies before and after the tone (below a tenth
// of its peak) is left out. TooShort: a block shorter than 64 ms or 256
// samples; NoTone: no component above -150 dBFS or below Nyquist's main lobe.
ToneAnalysisStatus AnalyzeTone(const std::vector<double>& x, int rate, const ToneAnalysisOptions& options,
                               ToneAnalysisResult& out);

double toDb(double ratio); // 20 log10, -400 for 0

} // namespace sonimo
