#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "synth/CurveFilter.h"
#include "synth/FrequencyCurve.h"
#include "synth/NoiseShapeTable.h"

using namespace sonimo;

namespace {

double lg(double f) {
    return std::log2(f / 100.0);
}

double formulaGain(int colour, double f) {
    switch (colour) {
    case NoiseWhite:
        return 0.0;
    case NoisePink:
        return std::min(0.0, -4.0 - 3.0 * lg(f));
    case NoiseBrown:
        return std::min(0.0, -8.0031 - 6.0 * lg(f));
    case NoiseBlue:
        return -37.0 + 3.0 * lg(f);
    default:
        return -58.0 + 6.0 * lg(f);
    }
}

struct GreyPoint {
    double hz, db;
};
const GreyPoint kGrey[] = {
    {20, 0},          {30, 0},          {40, -2.599},     {50, -5.504},     {60, -8.001},
    {70, -10.170},    {80, -12.071},    {90, -13.751},    {100, -15.246},   {200, -24.333},
    {300, -28.604},   {400, -31.049},   {500, -32.609},   {600, -33.673},   {700, -34.431},
    {800, -34.987},   {900, -35.403},   {1000, -35.719},  {1500, -36.458},  {2000, -36.549},
    {2500, -36.380},  {3000, -36.084},  {3500, -35.724},  {4000, -35.328},  {4500, -34.913},
    {5000, -34.488},  {5500, -34.061},  {6000, -33.634},  {6500, -33.211},  {7000, -32.792},
    {7500, -32.380},  {8000, -31.974},  {8500, -31.575},  {9000, -31.184},  {9500, -30.801},
    {10000, -30.426}, {10500, -30.058}, {11000, -29.698}, {11500, -29.346}, {12000, -29.001},
    {12500, -28.664}, {13000, -28.333}, {13500, -28.010}, {14000, -27.694}, {14500, -27.384},
    {15000, -27.081}, {15500, -26.784}, {16000, -26.493}, {16500, -26.208}, {17000, -25.930},
    {17500, -25.656}, {18000, -25.389}, {18500, -25.126}, {19000, -24.869}, {19500, -24.617},
    {20000, -24.370},
};

int tableIndex(double hz) {
    return hz <= 100 ? static_cast<int>(hz / 10) - 2 : static_cast<int>(hz / 100) + 7;
}

// Amplitudes are single precision (and x87 builds may keep extra bits); a bin step is
// hundreds of times larger.
constexpr double kAmpTolerance = 1e-4;

double db(double amplitudeX100) {
    return 20.0 * std::log10(amplitudeX100 / 100.0);
}

} // namespace

TEST(NoiseShapeTable, FrequenciesRunBy10HzTo100AndBy100HzTo20000) {
    for (int i = 0; i < kNoiseShapePoints; ++i) {
        const float want = i <= 8 ? 20.0f + 10.0f * i : 200.0f + 100.0f * (i - 9);
        EXPECT_EQ(NoiseShapeTable::kFrequencies[i], want) << "index " << i;
    }
}

TEST(NoiseShapeTable, TheClosedFormColoursMatchTheirFormulasEverywhere) {
    for (int c = NoiseWhite; c <= NoisePurple; ++c)
        for (int i = 0; i < kNoiseShapePoints; ++i)
            EXPECT_NEAR(NoiseShapeTable::kGainsDb[c][i], formulaGain(c, NoiseShapeTable::kFrequencies[i]),
                        1e-4)
                << "colour " << c << " at " << NoiseShapeTable::kFrequencies[i] << " Hz";
    const float offsets[] = {5.4f, 18.0f, 22.0f, 20.5f, 18.0f, 21.5f};
    for (int c = 0; c < kNoiseColours; ++c)
        EXPECT_EQ(NoiseShapeTable::kOffsetsDb[c], offsets[c]);
}

TEST(NoiseShapeTable, GreyHoldsTheGivenValuesAndASmoothCurveBetweenThem) {
    for (const GreyPoint& p : kGrey) {
        const int i = tableIndex(p.hz);
        ASSERT_EQ(NoiseShapeTable::kFrequencies[i], static_cast<float>(p.hz));
        EXPECT_NEAR(NoiseShapeTable::kGainsDb[NoiseGrey][i], p.db, 1e-5) << p.hz << " Hz";
    }
    // Between the given points every 500 Hz the 100 Hz values must lie on the same smooth
    // curve: a local cubic through the neighbouring given points (in log frequency) agrees
    // with them to a few thousandths of a dB, where a chord or a step would miss by 0.1.
    const float* g = NoiseShapeTable::kGainsDb[NoiseGrey];
    const float* f = NoiseShapeTable::kFrequencies;
    for (int i = 17; i < 207; i += 5) {
        std::vector<int> near = {i == 17 ? 16 : i - 5, i, i + 5};
        if (i + 10 <= 207) near.push_back(i + 10);
        for (int k = 1; k < 5; ++k) {
            const double x = std::log2(f[i + k]);
            double cubic = 0.0;
            for (int m : near) {
                double term = g[m];
                for (int q : near)
                    if (q != m) term *= (x - std::log2(f[q])) / (std::log2(f[m]) - std::log2(f[q]));
                cubic += term;
            }
            EXPECT_NEAR(g[i + k], cubic, 0.005) << f[i + k] << " Hz";
        }
    }
}

TEST(ColourCurve, HasFiftySevenPointsEndingOnTwentyKilohertzTwice) {
    for (int c = 0; c < kNoiseColours; ++c) {
        const FrequencyCurve curve = ColourCurve(c);
        ASSERT_EQ(curve.count, 57);
        std::vector<float> want;
        for (int f = 20; f <= 100; f += 10)
            want.push_back(static_cast<float>(f));
        for (int f = 200; f <= 900; f += 100)
            want.push_back(static_cast<float>(f));
        for (int f = 1000; f <= 20000; f += 500)
            want.push_back(static_cast<float>(f));
        want.push_back(20000.0f);
        ASSERT_EQ(want.size(), 57u);
        for (int i = 0; i < 57; ++i) {
            EXPECT_EQ(curve.points[i].frequencyHz, want[i]) << "point " << i;
            const int t = tableIndex(want[i]);
            const float gain = NoiseShapeTable::kGainsDb[c][t] +
                               NoiseShapeTable::kOffsetsDb[c]; // to the ulp: x87 builds round late
            EXPECT_FLOAT_EQ(curve.points[i].gainDb, gain) << "colour " << c << " point " << i;
        }
    }
    const FrequencyCurve pink = ColourCurve(NoisePink);
    EXPECT_NEAR(pink.points[17].gainDb, 18.0 - 4.0 - 3.0 * std::log2(10.0), 1e-4);
    EXPECT_EQ(ColourCurve(99).points[20].gainDb, 5.4f) << "an unknown colour shapes like white";
}

TEST(MagnitudeResponse, WhiteIsFlatAtItsOffset) {
    const MagnitudeResponse h = BuildMagnitudeResponse(ColourCurve(NoiseWhite), 44100);
    for (int b = 0; b < kResponseBins; ++b)
        EXPECT_NEAR(h[b], 186.2087, 1e-3) << "bin " << b;
}

TEST(MagnitudeResponse, SegmentsOverlapTheLaterWinsAndTheTailHoldsTheLastGain) {
    const FrequencyCurve pink = ColourCurve(NoisePink);
    const MagnitudeResponse h = BuildMagnitudeResponse(pink, 44100);
    const double a900 = CurveAmplitude(pink.points[16].gainDb);
    const double a1000 = CurveAmplitude(pink.points[17].gainDb);
    const double a1500 = CurveAmplitude(pink.points[18].gainDb);
    // 900 -> 1000 Hz covers bins 82..91 (hi 92); 1000 -> 1500 Hz starts again at bin 91.
    EXPECT_NEAR(h[82], a900, kAmpTolerance);
    EXPECT_NEAR(h[90], a900 + 8 * (a1000 - a900) / 10, kAmpTolerance);
    EXPECT_NEAR(h[91], a1000, kAmpTolerance) << "the later segment overwrites the overlap";
    EXPECT_NEAR(h[92], a1000 + (a1500 - a1000) / 48, kAmpTolerance);
    const double a20k = CurveAmplitude(pink.points[56].gainDb);
    for (int b = 1857; b < kResponseBins; ++b)
        EXPECT_NEAR(h[b], a20k, kAmpTolerance) << "bin " << b;
    // Elsewhere the response follows the pink law in dB to within the interpolation error.
    for (int b = 10; b < 1850; ++b) {
        const double f = b * 44100.0 / 4096.0;
        EXPECT_NEAR(db(h[b]), 18.0 + std::min(0.0, -4.0 - 3.0 * lg(f)), b < 100 ? 0.5 : 0.1) << "bin " << b;
    }
}

TEST(MagnitudeResponse, AtEightKilohertzPointsAboveNyquistAreClippedAndTheTailSkipped) {
    const FrequencyCurve pink = ColourCurve(NoisePink);
    const MagnitudeResponse h = BuildMagnitudeResponse(pink, 8000);
    const double a3500 = CurveAmplitude(pink.points[22].gainDb);
    const double a4000 = CurveAmplitude(pink.points[23].gainDb);
    const double a4500 = CurveAmplitude(pink.points[24].gainDb);
    ASSERT_EQ(pink.points[23].frequencyHz, 4000.0f);
    // 3500 -> 4000 Hz: bins 1787..2048 of 262; 4000 -> 4500 Hz: from bin 2043, 262 bins.
    EXPECT_NEAR(h[1787], a3500, kAmpTolerance);
    EXPECT_NEAR(h[2042], a3500 + 255 * (a4000 - a3500) / 262, kAmpTolerance);
    EXPECT_NEAR(h[2043], a4000, kAmpTolerance);
    EXPECT_NEAR(h[2048], a4000 + 5 * (a4500 - a4000) / 262, kAmpTolerance);
    EXPECT_GT(std::fabs(h[2048] - CurveAmplitude(pink.points[56].gainDb)), 1.0) << "no trailing fill";
}

TEST(MagnitudeResponse, ARateThatIsNotPositiveCountsAs44100) {
    const FrequencyCurve c = ColourCurve(NoiseBlue);
    EXPECT_EQ(BuildMagnitudeResponse(c, 0), BuildMagnitudeResponse(c, 44100));
    EXPECT_EQ(BuildMagnitudeResponse(c, -5), BuildMagnitudeResponse(c, 44100));
}

TEST(MagnitudeResponse, HostileCurvesGiveADefinedResponse) {
    FrequencyCurve c;
    c.add(std::numeric_limits<float>::quiet_NaN(), 3.0f);
    c.add(std::numeric_limits<float>::infinity(), 1e30f);
    c.add(-std::numeric_limits<float>::infinity(), -1e30f);
    c.add(1e30f, 0.0f);
    MagnitudeResponse h = BuildMagnitudeResponse(c, 1);
    c.count = 1000; // beyond the storage: clamped to the 63 points there are
    h = BuildMagnitudeResponse(c, 44100);
    EXPECT_EQ(h[2048], 100.0) << "the clamped curve's last point (unused, 0 dB) fills the tail";
    FrequencyCurve empty;
    for (double v : BuildMagnitudeResponse(empty, 44100))
        ASSERT_EQ(v, 100.0);
    FrequencyCurve full;
    for (int i = 0; i < kMaxCurvePoints; ++i)
        ASSERT_TRUE(full.add(100.0f * i, 0.0f));
    EXPECT_FALSE(full.add(1.0f, 0.0f));
}

TEST(CurveFilterKernel, AFlatResponseGivesTheIdentity) {
    MagnitudeResponse h;
    h.fill(100.0);
    const CurveFilterKernel k = BuildCurveFilterKernel(h);
    for (int t = 0; t < kCurveFilterTaps; ++t)
        EXPECT_NEAR(k[t], t == 2047 ? 1.0 : 0.0, 1e-12) << "tap " << t;
}

TEST(CurveFilterKernel, RemovingDcGivesTheDcBlocker) {
    MagnitudeResponse h;
    h.fill(100.0);
    h[0] = 0.0;
    const CurveFilterKernel k = BuildCurveFilterKernel(h);
    for (int t = 0; t < kCurveFilterTaps; ++t)
        EXPECT_NEAR(k[t], t == 2047 ? 4095.0 / 4096.0 : -1.0 / 4096.0, 1e-12) << "tap " << t;
}

TEST(CurveFilterKernel, BinsMapToTheEvenSpectrumAndTheLastBinIsUnused) {
    // Only H[2047]: A[2047] = A[2049] = A[2048] = 100, so a[n] = 100 (2 cos(2 pi 2047 n / 4096) + (-1)^n).
    MagnitudeResponse h{};
    h[2047] = 100.0;
    h[2048] = 1e9; // never part of the spectrum
    const CurveFilterKernel k = BuildCurveFilterKernel(h);
    const double pi = 3.14159265358979323846;
    for (int t = 0; t < kCurveFilterTaps; ++t) {
        const int n = (t + 2049) % 4096;
        const double a = 100.0 * (2.0 * std::cos(2.0 * pi * 2047.0 * n / 4096.0) + ((n & 1) ? -1.0 : 1.0));
        ASSERT_NEAR(k[t], a / 409600.0, 1e-12) << "tap " << t;
    }
    // A single low bin gives a cosine centred on tap 2047.
    MagnitudeResponse one{};
    one[3] = 100.0;
    const CurveFilterKernel c = BuildCurveFilterKernel(one);
    for (int t = 0; t < kCurveFilterTaps; ++t) {
        ASSERT_NEAR(c[t], 2.0 * std::cos(2.0 * pi * 3.0 * (t - 2047) / 4096.0) / 4096.0, 1e-12)
            << "tap " << t;
        ASSERT_EQ(c[t], c[4094 - t]);
    }
}
