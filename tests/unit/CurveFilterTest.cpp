#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "synth/CurveFilter.h"
#include "synth/FrequencyCurve.h"
#include "synth/NoiseShapeTable.h"
#include "synth/RealFft.h"

using namespace sonimo;

namespace {

// A seekable source of known frames: frame p of channel c is value(p, c), zero before
// frame 0, so a direct sum can be evaluated for any output frame.
class KnownSource final : public SampleSource {
public:
    enum Kind { Noise, Impulse, Constant };
    KnownSource(Kind kind, int channels, int impulseAt = 0)
        : SampleSource(44100, channels, kGeneratorPeak), kind_(kind), impulseAt_(impulseAt) {}
    void Read(std::int32_t* buffer, int frames) override {
        for (int i = 0; i < frames; ++i, ++position_)
            for (int c = 0; c < channels; ++c)
                *buffer++ = value(position_, c);
    }
    int GetPosition() override { return position_; }
    int GetLength() override { return 1 << 24; }
    void Seek(int frame) override { position_ = frame; }

    std::int32_t value(std::int64_t p, int c) const {
        if (p < 0) return 0;
        switch (kind_) {
        case Impulse:
            return p == impulseAt_ && c == 0 ? 400000 : 0;
        case Constant:
            return 100000;
        default: {
            std::uint32_t h =
                static_cast<std::uint32_t>(p) * 2654435761u + static_cast<std::uint32_t>(c) * 40503u;
            h ^= h >> 15;
            h *= 2246822519u;
            h ^= h >> 13;
            return static_cast<std::int32_t>(h % 1048576u) - 524288;
        }
        }
    }

private:
    Kind kind_;
    int impulseAt_;
    int position_ = 0;
};

double direct(const KnownSource& s, const CurveFilterKernel& k, std::int64_t j, int c) {
    double sum = 0.0;
    for (int t = 0; t < kCurveFilterTaps; ++t)
        sum += k[t] * s.value(j + 2047 - t, c);
    return sum;
}

CurveFilterKernel colourKernel(int colour, bool removeDc = true) {
    MagnitudeResponse h = BuildMagnitudeResponse(ColourCurve(colour), 44100);
    if (removeDc) h[0] = 0.0;
    return BuildCurveFilterKernel(h);
}

// Reads `frames` frames in random block sizes of at most 8192.
std::vector<std::int32_t> readFrames(SampleSource& s, int frames, std::mt19937& rng) {
    std::vector<std::int32_t> out(static_cast<std::size_t>(frames) * s.channels);
    int at = 0;
    while (at < frames) {
        int n = std::uniform_int_distribution<int>(1, 8192)(rng);
        if (n > frames - at) n = frames - at;
        s.Read(out.data() + static_cast<std::size_t>(at) * s.channels, n);
        at += n;
    }
    return out;
}

bool checked(int j) {
    return j < 2600 || j % 7 == 0 || std::abs(j % 8192 - 4096) > 3900;
}

} // namespace

TEST(RealFft, MatchesADirectTransformAndRoundTripsScaledBySize) {
    const int n = 64;
    RealFft fft(n);
    std::vector<double> x(n), re(fft.bins()), im(fft.bins()), back(n);
    std::mt19937 rng(1);
    for (double& v : x)
        v = std::uniform_real_distribution<double>(-1, 1)(rng);
    fft.Forward(x.data(), re.data(), im.data());
    const double pi = 3.14159265358979323846;
    for (int k = 0; k <= n / 2; ++k) {
        double r = 0, i = 0;
        for (int t = 0; t < n; ++t) {
            r += x[t] * std::cos(2 * pi * k * t / n);
            i -= x[t] * std::sin(2 * pi * k * t / n);
        }
        EXPECT_NEAR(re[k], r, 1e-12) << "bin " << k;
        EXPECT_NEAR(im[k], i, 1e-12) << "bin " << k;
    }
    fft.Inverse(re.data(), im.data(), back.data());
    for (int t = 0; t < n; ++t)
        EXPECT_NEAR(back[t], n * x[t], 1e-11) << "sample " << t;

    RealFft big(16384);
    std::vector<double> y(16384), bre(big.bins()), bim(big.bins()), yb(16384);
    for (double& v : y)
        v = std::uniform_real_distribution<double>(-524288, 524288)(rng);
    big.Forward(y.data(), bre.data(), bim.data());
    big.Inverse(bre.data(), bim.data(), yb.data());
    for (int t = 0; t < 16384; ++t)
        ASSERT_NEAR(yb[t] / 16384, y[t], 1e-6) << "sample " << t;
}

TEST(RealFft, ConvolvesInPlaceAsADirectCircularSum) {
    const int n = 64;
    RealFft fft(n);
    std::mt19937 rng(4);
    std::vector<double> x(n), h(n), hr(fft.bins()), hi(fft.bins());
    for (double& v : x)
        v = std::uniform_real_distribution<double>(-1000, 1000)(rng);
    for (double& v : h)
        v = std::uniform_real_distribution<double>(-1, 1)(rng);
    fft.Forward(h.data(), hr.data(), hi.data());
    for (int i = 0; i < n / 2; ++i) {
        fft.even()[i] = x[2 * i];
        fft.odd()[i] = x[2 * i + 1];
    }
    fft.Convolve(hr.data(), hi.data());
    for (int t = 0; t < n; ++t) {
        double want = 0;
        for (int u = 0; u < n; ++u)
            want += h[u] * x[(t - u + n) % n];
        const double got = (t % 2 == 0 ? fft.even()[t / 2] : fft.odd()[t / 2]) / n;
        EXPECT_NEAR(got, want, 1e-9) << "sample " << t;
    }
}

TEST(CurveFilter, AnImpulseComesOutCentredOnItsOwnFrame) {
    const CurveFilterKernel k = colourKernel(NoisePink);
    for (int at : {0, 1000, 5000, 8191, 9000, 20000}) {
        SourceRef src = makeSource<KnownSource>(KnownSource::Impulse, 1, at);
        CurveFilter filter(src, k);
        std::mt19937 rng(at);
        const std::vector<std::int32_t> out = readFrames(filter, at + 2048 + 100, rng);
        int peak = 0;
        for (int j = 0; j < static_cast<int>(out.size()); ++j)
            if (std::abs(out[j]) > std::abs(out[peak])) peak = j;
        EXPECT_EQ(peak, at) << "impulse at " << at;
        for (int d = 1; d <= 2047 && at - d >= 0; ++d)
            ASSERT_NEAR(out[at + d], out[at - d], 1) << at << " +- " << d;
        for (int d = -2047; d <= 2047; ++d) {
            if (at + d < 0) continue;
            ASSERT_NEAR(out[at + d], std::trunc(400000 * k[2047 + d]), 1) << at << " + " << d;
        }
        for (std::size_t j = at + 2048; j < out.size(); ++j)
            ASSERT_EQ(out[j], 0) << "nothing after the kernel, frame " << j;
    }
}

TEST(CurveFilter, EqualsTheDirectSumOverSeveralBlocksInBothChannels) {
    const CurveFilterKernel k = colourKernel(NoiseBrown);
    SourceRef src = makeSource<KnownSource>(KnownSource::Noise, 2);
    const KnownSource& known = static_cast<KnownSource&>(*src);
    CurveFilter filter(src, k);
    EXPECT_EQ(filter.channels, 2);
    std::mt19937 rng(42);
    const int frames = 3 * 8192 + 500;
    const std::vector<std::int32_t> out = readFrames(filter, frames, rng);
    int compared = 0;
    for (int j = 0; j < frames; ++j) {
        if (!checked(j)) continue;
        for (int c = 0; c < 2; ++c)
            ASSERT_LE(std::fabs(out[2 * j + c] - std::trunc(direct(known, k, j, c))), 1.0)
                << "frame " << j << " ch " << c;
        ++compared;
    }
    EXPECT_GT(compared, 6000);
}

TEST(CurveFilter, SeekRefillsTheWindowAroundTheTargetFrame) {
    const CurveFilterKernel k = colourKernel(NoiseBlue);
    SourceRef src = makeSource<KnownSource>(KnownSource::Noise, 1);
    const KnownSource& known = static_cast<KnownSource&>(*src);
    CurveFilter filter(src, k);
    std::mt19937 rng(9);
    readFrames(filter, 12345, rng);
    for (int target : {30000, 100, 0, 8192 * 5 + 3}) {
        filter.Seek(target);
        EXPECT_EQ(filter.GetPosition(), target);
        const int frames = 8192 + 3000;
        const std::vector<std::int32_t> out = readFrames(filter, frames, rng);
        EXPECT_EQ(filter.GetPosition(), target + frames);
        for (int i = 0; i < frames; ++i) {
            if (!checked(i)) continue;
            ASSERT_LE(std::fabs(out[i] - std::trunc(direct(known, k, target + i, 0))), 1.0)
                << "seek " << target << " frame " << i;
        }
    }
}

TEST(CurveFilter, PositionIsTheInnerPositionLessTheLookAheadPlusTheBlockPosition) {
    SourceRef src = makeSource<KnownSource>(KnownSource::Noise, 1);
    CurveFilter filter(src, colourKernel(NoiseWhite));
    EXPECT_EQ(src->GetPosition(), 10240) << "2048 + 8192 frames read ahead";
    EXPECT_EQ(filter.GetPosition(), 0);
    std::vector<std::int32_t> buf(8192);
    int delivered = 0;
    for (int n : {1, 8191, 8192, 5000, 7000}) {
        filter.Read(buf.data(), n);
        delivered += n;
        EXPECT_EQ(filter.GetPosition(), delivered);
    }
    EXPECT_EQ(filter.GetLength(), 1 << 24) << "the length forwards";
}

TEST(CurveFilter, RemovingDcLeavesAlmostNothingOfAConstant) {
    SourceRef src = makeSource<KnownSource>(KnownSource::Constant, 1);
    CurveFilter filter(src, colourKernel(NoiseWhite));
    std::vector<std::int32_t> out(8192 * 2);
    filter.Read(out.data(), 8192);
    filter.Read(out.data() + 8192, 8192);
    for (int j = 2048; j < 8192 * 2; ++j)
        ASSERT_LE(std::abs(out[j]), 100) << "frame " << j; // 100000 in, -60 dB
    EXPECT_GT(out[0], 50000) << "the onset passes while the window still holds silence";
}

TEST(CurveFilter, AKernelOfNaNsStillGivesDefinedSamples) {
    CurveFilterKernel k;
    k.fill(std::numeric_limits<double>::quiet_NaN());
    SourceRef src = makeSource<KnownSource>(KnownSource::Noise, 1);
    CurveFilter filter(src, k);
    std::vector<std::int32_t> out(9000, 7);
    filter.Read(out.data(), 9000);
    for (std::int32_t v : out)
        ASSERT_EQ(v, 0);
    MagnitudeResponse huge;
    huge.fill(1e300);
    CurveFilterEffect loud(huge);
    SourceRef wrapped = loud.Apply(src);
    wrapped->Read(out.data(), 9000);
    for (std::int32_t v : out)
        ASSERT_TRUE(v == std::numeric_limits<std::int32_t>::max() ||
                    v == std::numeric_limits<std::int32_t>::min() || v == 0);
}

TEST(CurveFilterEffect, WrapsUsableSourcesAndHandsBackUnusableOnes) {
    CurveFilterEffect effect(ColourCurve(NoisePink), 44100);
    SourceRef good = makeSource<KnownSource>(KnownSource::Noise, 1);
    SourceRef wrapped = effect.Apply(good);
    EXPECT_NE(wrapped.get(), good.get());
    EXPECT_EQ(wrapped->sampleRate, 44100);
    EXPECT_EQ(wrapped->peakLevel, kGeneratorPeak);
    SourceRef bad;
    EXPECT_EQ(effect.Apply(bad).get(), bad.get());
}
