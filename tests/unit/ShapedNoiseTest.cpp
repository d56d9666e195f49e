#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "synth/CurveFilter.h"
#include "synth/FrequencyCurve.h"
#include "synth/NoiseShapeTable.h"
#include "synth/NoiseSources.h"
#include "synth/RealFft.h"
#include "synth/ShapedNoiseSource.h"

using namespace sonimo;

namespace {

constexpr int kRate = 44100;
constexpr int kSegment = 4096;
const double kBandStarts[] = {125, 250, 500, 1000, 2000, 4000, 8000}; // octave bands [a, 2a)
// The single-bin DC notch of the response leaves a ripple between bins that grows with the
// colour's low-frequency gain (grey, brown); band figures carry it.
const double kBandTolerance[] = {0.8, 0.7, 0.6, 0.6, 0.5, 0.3, 0.3};
constexpr int kBands = 7;

std::vector<std::int32_t> readFrames(SampleSource& s, int frames) {
    std::vector<std::int32_t> out(frames);
    for (int at = 0; at < frames; at += 4000)
        s.Read(out.data() + at, std::min(4000, frames - at));
    return out;
}

// Mean power density per octave band: Welch's method, Hann windows, half overlap.
std::vector<double> bandDensities(const std::vector<std::int32_t>& x) {
    RealFft fft(kSegment);
    std::vector<double> seg(kSegment), re(fft.bins()), im(fft.bins()), psd(fft.bins(), 0.0);
    const double pi = 3.14159265358979323846;
    for (std::size_t start = 0; start + kSegment <= x.size(); start += kSegment / 2) {
        for (int i = 0; i < kSegment; ++i)
            seg[i] = x[start + i] * (0.5 - 0.5 * std::cos(2 * pi * i / kSegment));
        fft.Forward(seg.data(), re.data(), im.data());
        for (int k = 0; k < fft.bins(); ++k)
            psd[k] += re[k] * re[k] + im[k] * im[k];
    }
    std::vector<double> bands;
    for (double a : kBandStarts) {
        double sum = 0;
        int n = 0;
        for (int k = 0; k < fft.bins(); ++k) {
            const double f = k * double(kRate) / kSegment;
            if (f >= a && f < 2 * a) sum += psd[k], ++n;
        }
        bands.push_back(sum / n);
    }
    return bands;
}

double dB(double powerRatio) {
    return 10.0 * std::log10(powerRatio);
}

// The band-averaged power gain of a response over the analysis bins of a band; they are
// the response's own bins, since both divide the rate into 4096.
double responseBandGain(const MagnitudeResponse& h, double a) {
    double sum = 0;
    int n = 0;
    for (int k = 1; k <= kSegment / 2; ++k) {
        const double f = k * double(kRate) / kSegment;
        if (f >= a && f < 2 * a) sum += (h[k] / 100.0) * (h[k] / 100.0), ++n;
    }
    return dB(sum / n);
}

} // namespace

TEST(ShapedNoise, EachColourHasItsShapeMeasuredAgainstTheSameWhiteNoise) {
    // Filter a white source, then replay the same white noise unfiltered: the band ratios
    // are the filter's gains, free of the noise's own fluctuations. They must realise the
    // response's band gains, and from 250 Hz up the colour's slope (below, the curve's
    // 10 Hz segment overlap bends it).
    const double slope[] = {0.0, -3.0, -6.0, 3.0, 6.0};
    for (int colour = 0; colour < kNoiseColours; ++colour) {
        SourceRef white = makeSource<WhiteNoiseSource>(0, kRate);
        MagnitudeResponse h = BuildMagnitudeResponse(ColourCurve(colour), kRate);
        h[0] = 0.0;
        SourceRef shaped = CurveFilterEffect(h).Apply(white);
        const std::vector<double> out = bandDensities(readFrames(*shaped, 1 << 17));
        white->Seek(0);
        const std::vector<double> in = bandDensities(readFrames(*white, 1 << 17));
        for (int b = 0; b < kBands; ++b) {
            const double gain = dB(out[b] / in[b]);
            EXPECT_NEAR(gain, responseBandGain(h, kBandStarts[b]), kBandTolerance[b])
                << "colour " << colour << " band from " << kBandStarts[b] << " Hz";
            if (colour > NoisePurple || b < 2) continue;
            EXPECT_NEAR(gain - dB(out[b - 1] / in[b - 1]), slope[colour], kBandTolerance[b])
                << "colour " << colour << " octave step to " << kBandStarts[b] << " Hz";
        }
    }
}

TEST(ShapedNoise, WhiteIsFlatAtPlus5Point4DbWithDcRemoved) {
    // The white table carries a DC offset of about -16384 (its sign follows bit 12 of the
    // draw); the filter removes it and lifts the rest by 5.4 dB.
    SourceRef white = makeSource<WhiteNoiseSource>(0, kRate);
    MagnitudeResponse h = BuildMagnitudeResponse(ColourCurve(NoiseWhite), kRate);
    h[0] = 0.0;
    SourceRef shaped = CurveFilterEffect(h).Apply(white);
    const int n = 1 << 17;
    const std::vector<std::int32_t> out = readFrames(*shaped, n);
    white->Seek(0);
    const std::vector<std::int32_t> in = readFrames(*white, n);
    double meanIn = 0, meanOut = 0;
    for (int j = 0; j < n; ++j)
        meanIn += in[j], meanOut += out[j];
    meanIn /= n, meanOut /= n;
    double po = 0, pi = 0;
    for (int j = 0; j < n; ++j) {
        po += double(out[j]) * out[j];
        pi += (in[j] - meanIn) * (in[j] - meanIn);
    }
    EXPECT_NEAR(dB(po / pi), 5.4, 0.01);
    EXPECT_LT(meanIn, -12000.0);
    EXPECT_LT(std::fabs(meanOut), 4000.0) << "DC removed";
}

TEST(ShapedNoise, TheSourcesOwnSpectraFollowTheirColours) {
    const double slope[] = {0.0, -3.0, -6.0, 3.0, 6.0};
    WhiteNoiseSource reference(0, kRate);
    const std::vector<double> flat = bandDensities(readFrames(reference, 1 << 18));
    for (int colour = 0; colour <= NoisePurple; ++colour) {
        ShapedNoiseSource noise(0, colour, kRate);
        EXPECT_EQ(noise.channels, 1);
        EXPECT_EQ(noise.peakLevel, 0x200000);
        const std::vector<double> d = bandDensities(readFrames(noise, 1 << 18));
        for (int b = 2; b < kBands; ++b)
            EXPECT_NEAR(dB(d[b] / d[b - 1]), slope[colour], 1.0)
                << "colour " << colour << " octave step to " << kBandStarts[b] << " Hz";
        if (colour != NoiseWhite) continue;
        for (int b = 0; b < kBands; ++b)
            EXPECT_NEAR(dB(d[b] / flat[b]), 5.4, 0.6) << "band " << b;
    }
}

TEST(ShapedNoise, AnEndlessNoiseReportsAMinuteAndAPositionBelowZero) {
    ShapedNoiseSource noise(0, NoisePink, kRate);
    EXPECT_EQ(noise.GetLength(), kRate * 60);
    EXPECT_EQ(noise.GetPosition(), -10240);
    std::vector<std::int32_t> buf(8192);
    for (int i = 0; i < 10; ++i) {
        noise.Read(buf.data(), 5000);
        EXPECT_LT(noise.GetPosition(), 0);
        EXPECT_GE(noise.GetPosition(), -10240);
    }
    EXPECT_EQ(noise.GetLength(), kRate * 60);
}

TEST(ShapedNoise, ASecondLongNoiseEndsAt44100FramesAndCountsWhatItDelivered) {
    ShapedNoiseSource noise(1000, NoiseBrown, kRate);
    EXPECT_EQ(noise.GetLength(), 44100);
    EXPECT_EQ(noise.GetPosition(), 0);
    std::vector<std::int32_t> buf(8192);
    int delivered = 0;
    while (delivered < 44100) {
        const int n = std::min(3001, 44100 - delivered);
        noise.Read(buf.data(), n);
        delivered += n;
        ASSERT_EQ(noise.GetPosition(), delivered);
    }
    EXPECT_EQ(noise.GetLength(), 44100);
}

TEST(ShapedNoise, SeekingReplaysTheNoiseWithItsHistoryFilledIn) {
    // The white source restarts whatever the frame, and the filter window is refilled from
    // its first frames: after the seek the output continues as the first pass did 2047
    // frames in, where that pass had its full history. The position is the frame asked for,
    // so a loop around the noise keeps its length.
    ShapedNoiseSource noise(5000, NoiseBlue, kRate);
    const std::vector<std::int32_t> first = readFrames(noise, 30000);
    noise.Seek(0);
    EXPECT_EQ(noise.GetPosition(), 0);
    const std::vector<std::int32_t> again = readFrames(noise, 30000 - 2047);
    EXPECT_EQ(noise.GetPosition(), 30000 - 2047) << "a sequence or loop reading to the length gets all of it";
    for (std::size_t j = 0; j < again.size(); ++j)
        ASSERT_NEAR(again[j], first[j + 2047], 1) << "frame " << j;
}

TEST(ShapedNoise, AnInvalidRateGivesAnUnusableSourceThatWritesZeros) {
    ShapedNoiseSource noise(1000, NoiseWhite, 0);
    EXPECT_NE(noise.state, StateOk);
    std::vector<std::int32_t> buf(1000, 5);
    noise.Read(buf.data(), 1000);
    for (std::int32_t v : buf)
        ASSERT_EQ(v, 0);
}
