#include <gtest/gtest.h>

#include "TestSupport.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "synth/PeriodicSource.h"
#include "synth/ResamplerTable.h"
#include "synth/SequenceSource.h"
#include "synth/Resampler.h"
#include "synth/SilenceSource.h"
#include "synth/SourceEffect.h"

using namespace sonimo;

namespace {

// Sample k of every channel is f(k) (0 before frame 0); seeks exactly, so any position can
// be compared with a fresh read.
class FunctionSource final : public SampleSource {
public:
    FunctionSource(int rate, int ch, int length, std::function<std::int32_t(int, int)> f)
        : SampleSource(rate, ch, kGeneratorPeak), length_(length), f_(std::move(f)) {}
    void Read(std::int32_t* b, int n) override {
        for (int i = 0; i < n; ++i, ++pos_)
            for (int c = 0; c < channels; ++c)
                *b++ = pos_ >= 0 && pos_ < length_ ? f_(pos_, c) : 0;
    }
    int GetPosition() override { return pos_; }
    int GetLength() override { return length_; }
    void Seek(int f) override { pos_ = f; }

private:
    int pos_ = 0;
    int length_;
    std::function<std::int32_t(int, int)> f_;
};

SourceRef sine(int rate, double hz, double amplitude, int length = 1 << 30) {
    return makeSource<FunctionSource>(rate, 1, length, [=](int k, int) {
        return static_cast<std::int32_t>(
            std::lround(amplitude * std::sin(2 * 3.14159265358979323846 * hz * k / rate)));
    });
}

double rms(const std::vector<std::int32_t>& v, std::size_t from) {
    double s = 0;
    for (std::size_t i = from; i < v.size(); ++i)
        s += static_cast<double>(v[i]) * v[i];
    return std::sqrt(s / static_cast<double>(v.size() - from));
}

} // namespace

TEST(ResamplerRatio, PhaseCountAndStepAreTheReducedRatio) {
    const struct {
        int a, b, n, step;
    } cases[] = {{44100, 48000, 160, 147}, {8000, 44100, 441, 80},   {22050, 44100, 2, 1},
                 {44100, 22050, 1, 2},     {48000, 44100, 147, 160}, {96000, 44100, 147, 320}};
    for (const auto& c : cases) {
        int n = 0, step = 0;
        Resampler::ratio(c.a, c.b, n, step);
        EXPECT_EQ(n, c.n) << c.a << " -> " << c.b;
        EXPECT_EQ(step, c.step) << c.a << " -> " << c.b;
    }
}

TEST(ResamplerCoefficients, TheCentreTapIsTheCutoffAndEveryPhaseSumsToUnity) {
    Resampler up(sine(44100, 1000, 1000), 48000);
    EXPECT_EQ(up.coefficient(0, 31), 63898) << "65536 * 0.975 + 0.5, truncated";
    Resampler down(sine(48000, 1000, 1000), 44100);
    EXPECT_EQ(down.coefficient(0, 31),
              static_cast<std::int32_t>(65536.0 * (44100.0 / 48000 - 0.046875) + 0.5));
    for (Resampler* r : {&up, &down}) {
        for (int p = 0; p < r->phaseCount(); ++p) {
            long sum = 0;
            for (int j = 0; j < Resampler::kTaps; ++j)
                sum += r->coefficient(p, j);
            ASSERT_NEAR(sum, 65536, 700) << "phase " << p;
        }
    }
    // the kernel is symmetric: phase i at tap j mirrors phase n - i at tap 63 - j
    for (int j = 1; j < Resampler::kTaps; ++j)
        EXPECT_EQ(up.coefficient(1, j), up.coefficient(159, 63 - j)) << j;
}

TEST(ResamplerTiming, DoublingTheRateCentresOutputFrame2kOnInputFrameK) {
    const int k0 = 500;
    SourceRef impulse =
        makeSource<FunctionSource>(22050, 1, 22050, [](int k, int) { return k == 500 ? 20000 : 0; });
    Resampler r(impulse, 44100);
    EXPECT_EQ(r.GetLength(), 44100);
    const std::vector<std::int32_t> v = renderFrames(r, 2000);
    int peak = 0;
    for (int i = 0; i < 2000; ++i)
        if (std::abs(v[i]) > std::abs(v[peak])) peak = i;
    EXPECT_EQ(peak, 2 * k0);
    EXPECT_NEAR(v[2 * k0], 20000 * 0.975, 2);
    EXPECT_EQ(v[2 * k0 - 1], v[2 * k0 + 1]) << "the response is symmetric about its centre";
    EXPECT_EQ(v[2 * k0 - 6], v[2 * k0 + 6]);
    EXPECT_EQ(r.GetPosition(), 2000);
}

TEST(ResamplerTiming, SeekMatchesAFreshReadAndCentresOnTheMappedFrame) {
    auto make = [] {
        return makeSource<FunctionSource>(44100, 2, 200000, [](int k, int c) {
            return static_cast<std::int32_t>(
                std::lround(30000 * std::sin(0.0123 * k + c) * std::cos(0.000071 * k)));
        });
    };
    Resampler fresh(make(), 48000);
    const std::vector<std::int32_t> ref = renderFrames(fresh, 60000, 4000);
    for (int f : {0, 1, 7, 31, 33, 159, 160, 161, 12345, 40000}) {
        Resampler r(make(), 48000);
        renderFrames(r, 777);
        r.Seek(f);
        EXPECT_EQ(r.phase(), (f * 147LL) % 160 + ((f * 147LL) / 160 < 31 ? 160 : 0)) << f;
        EXPECT_EQ(r.GetPosition(), f) << f;
        const std::vector<std::int32_t> got = renderFrames(r, 3000, 1000);
        ASSERT_EQ(got, std::vector<std::int32_t>(ref.begin() + 2 * f, ref.begin() + 2 * (f + 3000)))
            << "seek " << f;
        EXPECT_EQ(r.GetPosition(), f + 3000);
    }
}

TEST(ResamplerTiming, LengthsMapByTheRatio) {
    EXPECT_EQ(Resampler(makeSource<SilenceSource>(44100, 1, 0, 44100), 48000).GetLength(), 48000);
    EXPECT_EQ(Resampler(makeSource<SilenceSource>(48000, 1, 0, 48000), 8000).GetLength(), 8000);
    EXPECT_EQ(Resampler(makeSource<SilenceSource>(44100, 1, 0, 100), 48000).GetLength(),
              108); // 100 * 160 / 147
    EXPECT_EQ(Resampler(makeSource<SilenceSource>(8000, 1, 0, 1), 44100).GetLength(), 5);
}

TEST(ResamplerFormat, RateChannelsAndPeakOfTheOutput) {
    Resampler r(makeSource<SilenceSource>(44100, 2, 0x100000, 10), 48000);
    EXPECT_EQ(r.sampleRate, 48000);
    EXPECT_EQ(r.channels, 2);
    EXPECT_EQ(r.peakLevel, 0x200000) << "doubled at or below 0x100000";
    Resampler s(makeSource<SilenceSource>(44100, 2, 0x100001, 10), 48000);
    EXPECT_EQ(s.peakLevel, 0x100001);
    Resampler bad(makeSource<SilenceSource>(44100, 2, 0, 10), 0);
    EXPECT_EQ(bad.state, StateBadFormat);
    EXPECT_EQ(bad.sampleRate, 44100);
}

TEST(ResamplerFormat, BelowAQuarterOfTheRateGoesThroughTwiceTheTarget) {
    SourceRef s = sine(44100, 1000, 1000);
    ConvertFormat(s, 8000, 1);
    auto* last = dynamic_cast<Resampler*>(s.get());
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->sampleRate, 8000);
    auto* first = dynamic_cast<Resampler*>(&last->inner());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->sampleRate, 16000);
    EXPECT_EQ(first->inner().sampleRate, 44100);

    SourceRef t = sine(44100, 1000, 1000);
    ConvertFormat(t, 11025, 1); // exactly a quarter: one stage
    ASSERT_NE(dynamic_cast<Resampler*>(t.get()), nullptr);
    EXPECT_EQ(dynamic_cast<Resampler*>(&dynamic_cast<Resampler*>(t.get())->inner()), nullptr);
}

TEST(ResamplerScaling, AFullScaleBlockIsShiftedDownAndComesBackAtItsScale) {
    const int level = 0x200000 - 1000; // needs six bits of shift to fit 15
    Resampler r(makeSource<FunctionSource>(44100, 1, 100000, [=](int, int) { return level; }), 48000);
    const std::vector<std::int32_t> v = renderFrames(r, 20000);
    EXPECT_EQ(r.shift(), 6);
    for (int i = 100; i < 20000; ++i)
        ASSERT_NEAR(v[i], level, level * 0.011) << i;
    Resampler quiet(makeSource<FunctionSource>(44100, 1, 100000, [](int, int) { return 0x7FFF; }), 48000);
    renderFrames(quiet, 100);
    EXPECT_EQ(quiet.shift(), 0);
}

// Gain in dB of a sine through a conversion, measured after the filter has settled.
struct BandCase {
    int from, to;
    double hz, minDb, maxDb;
};

class ResamplerBands : public ::testing::TestWithParam<BandCase> {};

TEST_P(ResamplerBands, TheConvertedSineKeepsOrLosesItsLevel) {
    const BandCase c = GetParam();
    const double amplitude = 400000;
    SourceRef s = sine(c.from, c.hz, amplitude);
    ConvertFormat(s, c.to, 1);
    const std::vector<std::int32_t> v = renderFrames(*s, c.to / 2);
    const double db = 20 * std::log10(rms(v, 200) / (amplitude / std::sqrt(2.0)));
    EXPECT_GE(db, c.minDb) << c.from << " -> " << c.to << " at " << c.hz << " Hz";
    EXPECT_LE(db, c.maxDb) << c.from << " -> " << c.to << " at " << c.hz << " Hz";
}

INSTANTIATE_TEST_SUITE_P(
    PassAndStop, ResamplerBands,
    ::testing::Values(BandCase{44100, 48000, 1000, -0.05, 0.05}, BandCase{44100, 48000, 21000, -3.0, 0.1},
                      BandCase{48000, 44100, 1000, -0.05, 0.05}, BandCase{48000, 8000, 1000, -0.1, 0.1},
                      BandCase{48000, 8000, 21000, -200, -60}, BandCase{48000, 8000, 6000, -200, -40},
                      BandCase{8000, 44100, 1000, -0.05, 0.05}, BandCase{22050, 44100, 10000, -0.5, 0.1}));

TEST(ResamplerBlocks, OutputDoesNotDependOnTheBlockSize) {
    auto make = [] {
        return makeSource<FunctionSource>(48000, 2, 50000, [](int k, int c) {
            return static_cast<std::int32_t>((k * 7919 + c * 104729) % 3000000) - 1500000;
        });
    };
    Resampler a(make(), 44100), b(make(), 44100);
    EXPECT_EQ(renderFrames(a, 40000, 8192), renderFrames(b, 40000, 13));
}

namespace {

// FNV-1a over the output of `r` read in uneven blocks, a seek in the middle included.
std::uint64_t outputHash(Resampler& r, int frames) {
    std::uint64_t h = 1469598103934665603ull;
    std::vector<std::int32_t> buf(static_cast<std::size_t>(8192) * r.channels);
    const auto take = [&](int n) {
        r.Read(buf.data(), n);
        for (std::size_t i = 0; i < static_cast<std::size_t>(n) * r.channels; ++i) {
            h ^= static_cast<std::uint32_t>(buf[i]);
            h *= 1099511628211ull;
        }
    };
    const int sizes[] = {1, 4096, 333, 8192, 17};
    for (int done = 0, i = 0; done < frames; ++i) {
        const int n = std::min(frames - done, sizes[i % 5]);
        take(n);
        done += n;
    }
    r.Seek(frames / 3);
    take(5000);
    return h;
}

} // namespace

// The exact output of today's converter for a spread of rate pairs, channel counts and
// levels (full scale, so the block shift is in play, and quiet): any change to the
// arithmetic shows here.
TEST(ResamplerExactness, OutputIsBitForBitWhatItWas) {
    const struct {
        int from, to, channels;
        double amplitude;
        std::uint64_t hash;
    } cases[] = {
        // peaks past 2^30 take a block shift of 16 or 17, whose output was undefined (a
        // shift by a negative count) before it was scaled back up: pinned since then
        {44100, 48000, 2, 2147483000.0, 8551016489687170862ull},
        {44100, 48000, 1, 3000.0, 190221117713098033ull},
        {48000, 44100, 2, 600000.0, 10692994457057452971ull},
        {8000, 44100, 1, 1e9, 9217481650159556184ull},
        {44101, 48000, 2, 524288.0, 5181534155796803193ull},
        {96000, 22050, 3, 30000000.0, 16986590465807676165ull},
        {22050, 192000, 6, 524288.0, 17400647101627932139ull},
        // square waves whose block peak rounds up to +32768 once shifted
        {44100, 48000, 2, 65535.0, 4261755846503909406ull},
        {48000, 44100, 1, 131071.0, 16200651287311341505ull},
    };
    for (const auto& c : cases) {
        SourceRef src = makeSource<FunctionSource>(c.from, c.channels, 1 << 30, [&](int k, int ch) {
            const double t = static_cast<double>(k) / c.from;
            const double x = std::sin(2 * 3.14159265358979323846 * (440.0 * (ch + 1)) * t) +
                             0.3 * std::sin(2 * 3.14159265358979323846 * 7919.0 * t + ch);
            if (c.amplitude == 65535.0 || c.amplitude == 131071.0)
                return static_cast<std::int32_t>(x >= 0 ? c.amplitude : -c.amplitude);
            return static_cast<std::int32_t>(std::clamp(c.amplitude * x / 1.3, -2147483647.0, 2147483647.0));
        });
        Resampler r(src, c.to);
        EXPECT_EQ(outputHash(r, 30000), c.hash)
            << c.from << " -> " << c.to << ", " << c.channels << " channels";
    }
}

TEST(ResamplerScaling, ABlockNearThe32BitLimitComesBackAtItsScale) {
    for (double amplitude : {1.0e9, 2.0e9, 2147483647.0}) {
        Resampler r(sine(44100, 1000, amplitude), 48000);
        const std::vector<std::int32_t> v = renderFrames(r, 9600);
        EXPECT_NEAR(rms(v, 4800) / (amplitude / std::sqrt(2.0)), 1.0, 0.01) << amplitude;
    }
}

// The tables a converter reads are built by a thread of their own while readers may be
// computing the same phases: whoever builds a phase, every reader sees the same numbers.
TEST(ResamplerTables, ReadersRacingTheBuilderSeeTheSameCoefficients) {
    ResamplerTable raced(44101, 48000), reference(44101, 48000);
    reference.waitUntilComplete();
    // from the phase the builder starts at, in its order, so that the two meet
    for (int k = 0, p = 0; k < raced.phases(); ++k, p = (p + raced.step()) % raced.phases()) {
        for (int j : {0, 17, 31, 62})
            ASSERT_EQ(raced.coefficient(p, j), reference.coefficient(p, j)) << "phase " << p << " tap " << j;
    }
    raced.waitUntilComplete();
    EXPECT_EQ(raced.phasesReady(), raced.phases());
    EXPECT_EQ(reference.coefficient(1, 30), reference.coefficient(reference.phases() - 1, 33));
}

TEST(ResamplerTables, ConvertersOfAPairShareOneTableAndFindItBuilt) {
    Resampler a(sine(44109, 1000, 1000), 48000), b(sine(44109, 500, 1000), 48000);
    EXPECT_EQ(&a.table(), &b.table());
    EXPECT_EQ(&a.table(), ResamplerTable::forRates(44109, 48000).get());
    a.table().waitUntilComplete();
    const auto before = b.table().phasesComputedByReaders();
    renderFrames(b, 48000, 3200);
    EXPECT_EQ(b.table().phasesComputedByReaders(), before) << "a built table leaves nothing to the reader";
}

TEST(ResamplerTables, ASequenceStartsTheTablesOfItsEntriesRates) {
    // Entries up and down, and one above four times the rate, which converts through
    // twice the target. The first entry needs no conversion.
    SequenceEntries entries = {{makeSource<SilenceSource>(12000, 1, 0, 1200), 0},
                               {sine(44111, 1000, 1000, 4410), 0},
                               {sine(96000, 1000, 1000, 4410), 0},
                               {sine(8000, 1000, 1000, 800), 0}};
    SourceRef seq = makeSource<SequenceSource>(entries, 12000, 1, kGeneratorPeak);
    // held by the sequence and the recent tables, and here: three owners
    for (auto [from, to] : {std::pair{44111, 12000}, {96000, 24000}, {24000, 12000}, {8000, 12000}})
        EXPECT_EQ(ResamplerTable::forRates(from, to).use_count(), 3) << from << " -> " << to;
    seq.release();
    EXPECT_EQ(ResamplerTable::forRates(44111, 12000).use_count(), 2) << "released with the sequence";
}

TEST(ResamplerTables, UnusedTablesAreHeldOnlyWithinABound) {
    std::vector<std::weak_ptr<ResamplerTable>> made;
    for (int r = 30001; r <= 30020; ++r)
        made.push_back(ResamplerTable::forRates(r, 48000)); // 16000 phases each, 4 MB
    std::size_t alive = 0;
    for (const auto& w : made)
        alive += !w.expired();
    EXPECT_GE(alive, 1u) << "the most recent is kept for the next converter";
    EXPECT_LE(alive, 8u);
    EXPECT_FALSE(made.back().expired());
}
