// sonimo-cli analyze and response as a user runs them: what they report, write and
// refuse. The filters whose responses are measured are sox's (native tree: sox runs on
// the host); the refusals and the files written run in both trees.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "CliRunner.h"
#include "TestSupport.h"
#include "measure/FloatWaveFile.h"
#include "measure/Recording.h"
#include "platform/File.h"
#include "platform/Text.h"

using namespace sonimo;

namespace {

constexpr int kRate = 48000;
constexpr double kPi = std::numbers::pi;

class CliMeasure : public ::testing::Test {
protected:
    TempDir dir;
    std::u16string p(const std::u16string& name) const { return dir.path(name); }
    RunResult run(const std::vector<std::u16string>& args) { return runCli(dir, args); }

    // A tone of `ms` rendered at 48000 Hz by the tool itself: the .tdf and its .wav.
    void makeTone(const std::u16string& name, const std::vector<std::u16string>& options) {
        std::vector<std::u16string> make = {u"make", p(name + u".tdf")};
        make.insert(make.end(), options.begin(), options.end());
        ASSERT_EQ(run(make).code, 0);
        ASSERT_EQ(run({u"render", p(name + u".tdf"), u"--rate", u"48000", u"--seed", u"7", u"-o",
                       p(name + u".wav")})
                      .code,
                  0);
    }
    std::vector<double> read(const std::u16string& name) {
        Signal s;
        EXPECT_EQ(ReadAudioFile(p(name), 0, s).status, SignalStatus::Ok);
        return s.samples;
    }
};

std::vector<float> toFloat(const std::vector<double>& x) {
    return std::vector<float>(x.begin(), x.end());
}

// A number after "key": in a JSON text.
double jsonNumber(const std::string& json, const std::string& key) {
    const std::size_t at = json.find("\"" + key + "\":");
    if (at == std::string::npos) return std::nan("");
    return std::strtod(json.c_str() + at + key.size() + 3, nullptr);
}

struct CsvRow {
    double hz, db, phase;
};
std::vector<CsvRow> readCsv(const std::u16string& path) {
    std::vector<CsvRow> rows;
    std::istringstream in(textOf(path));
    std::string line;
    std::getline(in, line); // header
    while (std::getline(in, line)) {
        CsvRow r{};
        if (std::sscanf(line.c_str(), "%lf,%lf,%lf", &r.hz, &r.db, &r.phase) == 3) rows.push_back(r);
    }
    return rows;
}

bool allAscii(const std::string& s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

} // namespace

TEST_F(CliMeasure, AnalyzeReportsATonesHarmonicsAsJsonAndPlotsItsSpectrum) {
    std::vector<double> x(kRate);
    for (int n = 0; n < kRate; ++n) {
        const double t = static_cast<double>(n) / kRate;
        x[n] = 0.5 * std::sin(2 * kPi * 997 * t) + 0.0005 * std::sin(2 * kPi * 1994 * t + 1) +
               0.00005 * std::sin(2 * kPi * 2991 * t + 2);
    }
    // a name the plot must escape
    const std::u16string wav = p(u"録音 & tone.wav");
    ASSERT_TRUE(WriteFloatWave(wav, kRate, toFloat(x)));
    const RunResult r = run({u"analyze", wav, u"--json", u"--plot", p(u"spectrum.svg")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NEAR(jsonNumber(r.out, "hz"), 997, 0.001);
    EXPECT_NEAR(jsonNumber(r.out, "dbfs_rms"), 20 * std::log10(0.5), 0.01);
    const double thd = std::sqrt(0.0005 * 0.0005 + 0.00005 * 0.00005) / 0.5;
    EXPECT_NEAR(jsonNumber(r.out, "db"), 20 * std::log10(thd), 0.1);
    EXPECT_NE(r.out.find("\"order\":2"), std::string::npos);
    const std::string svg = textOf(p(u"spectrum.svg"));
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
    EXPECT_TRUE(allAscii(svg));
    EXPECT_NE(svg.find("&#x9332;&#x97F3; &amp; tone.wav"), std::string::npos) << "the file's name, escaped";
    EXPECT_NE(svg.find("Frequency (Hz)"), std::string::npos);
    EXPECT_NE(svg.find("dBFS"), std::string::npos);
    EXPECT_NE(svg.find("<polyline"), std::string::npos);
    EXPECT_NE(svg.find(">1k<"), std::string::npos) << "labelled frequency grid";
    // the text report names what it measured
    const RunResult text = run({u"analyze", wav, u"--window", u"flattop", u"--average", u"2"});
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_NE(text.out.find("997.0000 Hz"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("flattop, 2 blocks"), std::string::npos) << text.out;
}

TEST_F(CliMeasure, ResponseWritesTheImpulseAsFloatTheCsvAndThePlot) {
    makeTone(u"sweep", {u"--freq", u"20", u"--end", u"20000", u"--sweep", u"log", u"--length", u"1000",
                        u"--db", u"-6"});
    const std::vector<double> ref = read(u"sweep.wav");
    std::vector<double> rec(ref.size() + 500 + kRate / 5, 0.0);
    for (std::size_t i = 0; i < ref.size(); ++i)
        rec[i + 500] = -0.5 * ref[i];
    ASSERT_TRUE(WriteFloatWave(p(u"rec.wav"), kRate, toFloat(rec)));
    const RunResult r = run({u"response", p(u"sweep.tdf"), p(u"rec.wav"), u"-o", p(u"ir.wav"), u"--csv",
                             p(u"r.csv"), u"--plot", p(u"r.svg"), u"--smooth", u"1/12", u"--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(jsonNumber(r.out, "delay_samples"), 500);
    EXPECT_NEAR(jsonNumber(r.out, "gain_db"), 20 * std::log10(0.5), 0.01);
    EXPECT_NE(r.out.find("\"method\":\"log_sweep\""), std::string::npos);
    // the impulse: float, at the recording's rate, its peak where the delay is, inverted
    const std::vector<unsigned char> ir = readAll(p(u"ir.wav"));
    ASSERT_GT(ir.size(), 58u);
    EXPECT_EQ(ir[20], 3) << "IEEE float";
    EXPECT_EQ(ir[34], 32);
    Signal h;
    ASSERT_EQ(ReadAudioFile(p(u"ir.wav"), 0, h).status, SignalStatus::Ok);
    EXPECT_EQ(h.rate, kRate);
    std::size_t peak = 0;
    for (std::size_t i = 0; i < h.samples.size(); ++i)
        if (std::fabs(h.samples[i]) > std::fabs(h.samples[peak])) peak = i;
    EXPECT_EQ(peak, 500u);
    EXPECT_LT(h.samples[peak], -0.45);
    const auto rows = readCsv(p(u"r.csv"));
    ASSERT_GT(rows.size(), 400u);
    EXPECT_EQ(textOf(p(u"r.csv")).rfind("frequency_hz,magnitude_db,phase_deg,h2_db", 0), 0u);
    for (const CsvRow& row : rows) {
        if (row.hz < 30 || row.hz > 18000) continue;
        ASSERT_NEAR(row.db, 20 * std::log10(0.5), 0.01) << row.hz;
        ASSERT_NEAR(std::fabs(row.phase), 180, 0.5) << row.hz << " Hz: an inversion is half a turn";
    }
    const std::string svg = textOf(p(u"r.svg"));
    EXPECT_TRUE(allAscii(svg));
    EXPECT_NE(svg.find("Magnitude (dB)"), std::string::npos);
    EXPECT_NE(svg.find("Phase"), std::string::npos);
    EXPECT_NE(svg.find("rec.wav"), std::string::npos);
    EXPECT_NE(svg.find("1/12 octave smoothing"), std::string::npos);
}

TEST_F(CliMeasure, AToneOrAListIsRenderedAsRenderRendersIt) {
    makeTone(u"sweep",
             {u"--freq", u"30", u"--end", u"15000", u"--sweep", u"log", u"--length", u"800", u"--db", u"-3"});
    // a list: half a second of silence, then the sweep
    const std::string list =
        "500\xE3\x83\x9F\xE3\x83\xAA\xE7\xA7\x92\xE3\x81\xAE\xE7\x84\xA1\xE9\x9F\xB3\xE3\x80\x82\r\n" +
        utf16ToUtf8(p(u"sweep.tdf")) + "\r\n";
    ASSERT_TRUE(writeAll(p(u"list.tdl"), std::vector<unsigned char>(list.begin(), list.end())));
    ASSERT_EQ(run({u"render", p(u"list.tdl"), u"--rate", u"48000", u"-o", p(u"list.wav")}).code, 0);
    for (const char16_t* name : {u"sweep", u"list"}) {
        SCOPED_TRACE(std::string(utf16ToUtf8(name)));
        const std::u16string base = name;
        const std::vector<double> ref = read(base + u".wav");
        std::vector<double> rec(ref.size() + 300 + kRate / 10, 0.0);
        for (std::size_t i = 0; i < ref.size(); ++i)
            rec[i + 300] = 0.8 * ref[i];
        ASSERT_TRUE(WriteFloatWave(p(base + u"-rec.wav"), kRate, toFloat(rec)));
        const std::u16string file = base + (base == u"sweep" ? u".tdf" : u".tdl");
        const RunResult fromFile = run({u"response", p(file), p(base + u"-rec.wav"), u"-o",
                                        p(base + u"-a.wav"), u"--csv", p(base + u"-a.csv")});
        ASSERT_EQ(fromFile.code, 0) << fromFile.err;
        EXPECT_NE(fromFile.out.find("delay        300 samples"), std::string::npos) << fromFile.out;
        const RunResult fromWav = run({u"response", p(base + u".wav"), p(base + u"-rec.wav"), u"-o",
                                       p(base + u"-b.wav"), u"--csv", p(base + u"-b.csv")});
        ASSERT_EQ(fromWav.code, 0) << fromWav.err;
        // the same samples in: the same numbers out
        EXPECT_EQ(readAll(p(base + u"-a.csv")), readAll(p(base + u"-b.csv")));
        EXPECT_EQ(readAll(p(base + u"-a.wav")), readAll(p(base + u"-b.wav")));
    }
}

TEST_F(CliMeasure, BadInputIsRefusedWithItsReasonAndExitCode2) {
    makeTone(u"sweep", {u"--freq", u"100", u"--end", u"5000", u"--sweep", u"log", u"--length", u"500"});
    const std::vector<double> ref = read(u"sweep.wav");
    struct Case {
        const char* what;
        std::vector<std::u16string> args;
        const char* says;
    };
    // a recording shorter than the reference
    ASSERT_TRUE(WriteFloatWave(p(u"short.wav"), kRate, toFloat({ref.begin(), ref.end() - 10})));
    // silence
    ASSERT_TRUE(WriteFloatWave(p(u"silent.wav"), kRate, std::vector<float>(kRate, 0.0f)));
    // clipped: the sweep twice too loud, held at full scale
    std::vector<float> clipped(ref.size());
    for (std::size_t i = 0; i < ref.size(); ++i)
        clipped[i] = static_cast<float>(std::clamp(4 * ref[i], -1.0, 32767.0 / 32768));
    ASSERT_TRUE(WriteFloatWave(p(u"clipped.wav"), kRate, clipped));
    // another rate
    std::vector<float> good = toFloat(ref);
    good.resize(ref.size() + 1000);
    ASSERT_TRUE(WriteFloatWave(p(u"good.wav"), kRate, good));
    ASSERT_TRUE(WriteFloatWave(p(u"ref44.wav"), 44100, toFloat(ref)));
    // endless, looped, and noise without its seed
    ASSERT_EQ(run({u"make", p(u"endless.tdf"), u"--freq", u"1000"}).code, 0);
    ASSERT_EQ(run({u"make", p(u"looped.tdf"), u"--freq", u"1000", u"--length", u"100", u"--loop"}).code, 0);
    ASSERT_EQ(run({u"make", p(u"pink.tdf"), u"--wave", u"pink", u"--length", u"100"}).code, 0);
    // longer than what is measured, by one frame
    ASSERT_TRUE(WriteFloatWave(p(u"long.wav"), kRate, std::vector<float>(kMaxMeasureFrames + 1, 0.25f)));
    const std::u16string o = p(u"ir.wav");
    const Case cases[] = {
        {"shorter",
         {u"response", p(u"sweep.tdf"), p(u"short.wav"), u"-o", o},
         "is shorter than the reference"},
        {"silent", {u"response", p(u"sweep.tdf"), p(u"silent.wav"), u"-o", o}, "is silent"},
        {"clipped", {u"response", p(u"sweep.tdf"), p(u"clipped.wav"), u"-o", o}, "is clipped"},
        {"rates",
         {u"response", p(u"ref44.wav"), p(u"good.wav"), u"-o", o},
         "44100 Hz and the recording at 48000 Hz: refused, not converted"},
        {"endless", {u"response", p(u"endless.tdf"), p(u"good.wav"), u"-o", o}, "is endless"},
        {"looped", {u"response", p(u"looped.tdf"), p(u"good.wav"), u"-o", o}, "is looped"},
        {"noise", {u"response", p(u"pink.tdf"), p(u"good.wav"), u"-o", o}, "--seed N"},
        {"no channel",
         {u"response", p(u"sweep.tdf"), p(u"good.wav"), u"-o", o, u"--channel", u"2"},
         "there is no channel 2"},
        {"analyze silent", {u"analyze", p(u"silent.wav")}, "is silent"},
        {"analyze clipped", {u"analyze", p(u"clipped.wav")}, "is clipped"},
        {"analyze missing", {u"analyze", p(u"missing.wav")}, "cannot read"},
        {"too long",
         {u"response", p(u"sweep.tdf"), p(u"long.wav"), u"-o", o},
         "is longer than 2097152 frames"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const RunResult r = run(c.args);
        EXPECT_EQ(r.code, 2) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_FALSE(fileExists(o)) << "nothing is written when refused";
    }
    // and the same recording, long enough and clean, is measured
    const RunResult fine = run({u"response", p(u"sweep.tdf"), p(u"good.wav"), u"-o", o});
    EXPECT_EQ(fine.code, 0) << fine.err;
    // usage errors are 1
    EXPECT_EQ(run({u"analyze", p(u"good.wav"), u"--window", u"kaiser"}).code, 1);
    EXPECT_EQ(run({u"response", p(u"sweep.tdf"), p(u"good.wav")}).code, 1);
    EXPECT_EQ(run({u"response", p(u"sweep.tdf"), p(u"good.wav"), u"-o", o, u"--smooth", u"1/5"}).code, 1);
}

#ifndef _WIN32
// sox runs on the host, so these are the native tree's.
namespace {

std::u16string soxPath() {
    for (const char16_t* s : {u"/usr/bin/sox", u"/usr/local/bin/sox"})
        if (fileExists(s)) return s;
    return {};
}

// The float samples of a WAV file sox wrote (its float header may be extensible).
std::vector<double> floatSamples(const std::u16string& path) {
    const std::vector<unsigned char> b = readAll(path);
    std::vector<double> out;
    for (std::size_t at = 12; at + 8 <= b.size();) {
        const std::uint32_t size =
            b[at + 4] | (b[at + 5] << 8) | (b[at + 6] << 16) | (static_cast<std::uint32_t>(b[at + 7]) << 24);
        if (std::memcmp(&b[at], "data", 4) == 0) {
            for (std::size_t i = at + 8; i + 4 <= b.size() && i + 4 <= at + 8 + size; i += 4) {
                float f;
                std::memcpy(&f, &b[i], 4);
                out.push_back(f);
            }
            break;
        }
        at += 8 + size + (size & 1);
    }
    return out;
}

class SoxFilters : public CliMeasure {
protected:
    void SetUp() override {
        sox = soxPath();
        ASSERT_FALSE(sox.empty()) << "sox is missing (scripts/setup installs it): the filters come from it";
        // the impulse sox's filters answer: their own response, as they apply it
        std::vector<float> impulse(kRate, 0.0f);
        impulse[0] = 0.5f;
        ASSERT_TRUE(WriteFloatWave(p(u"impulse.wav"), kRate, impulse));
    }
    RunResult soxRun(const std::vector<std::u16string>& args) { return runProgram(dir, sox, args); }
    // Passes `in` through the filter into `out` (float), `pad` seconds of silence added
    // before the filter so its tail is recorded; returns the filter's impulse response.
    std::vector<double> filter(const std::u16string& in, const std::u16string& out,
                               const std::vector<std::u16string>& effect, const std::u16string& pad) {
        std::vector<std::u16string> args = {p(in), u"-e", u"floating-point", u"-b", u"32", p(out), u"pad",
                                            u"0",  pad};
        args.insert(args.end(), effect.begin(), effect.end());
        EXPECT_EQ(soxRun(args).code, 0);
        std::vector<std::u16string> imp = {p(u"impulse.wav"), u"-e", u"floating-point", u"-b", u"32",
                                           p(u"h.wav")};
        imp.insert(imp.end(), effect.begin(), effect.end());
        EXPECT_EQ(soxRun(imp).code, 0);
        std::vector<double> h = floatSamples(p(u"h.wav"));
        h.resize(8192); // these filters have decayed below -300 dB by then
        for (double& v : h)
            v *= 2;
        return h;
    }
    std::u16string sox;
};

double power(const std::vector<double>& h, double hz) {
    std::complex<double> sum;
    const std::complex<double> step = std::polar(1.0, -2 * kPi * hz / kRate);
    std::complex<double> z = 1;
    for (std::size_t k = 0; k < h.size(); ++k) {
        sum += h[k] * z;
        z *= step;
        if ((k & 255) == 255) z = std::polar(1.0, -2 * kPi * hz / kRate * static_cast<double>(k + 1));
    }
    return std::norm(sum);
}

// The filter's response over the band the measurement smooths over (power mean).
double smoothedDb(const std::vector<double>& h, double hz, double octaves) {
    if (octaves <= 0) return 10 * std::log10(power(h, hz));
    const double lo = hz * std::exp2(-octaves / 2), hi = hz * std::exp2(octaves / 2);
    const int n = 16;
    double sum = 0;
    for (int i = 0; i < n; ++i)
        sum += power(h, lo + (hi - lo) * (i + 0.5) / n);
    return 10 * std::log10(sum / n);
}

std::int64_t largestAt(const std::vector<double>& h) {
    std::size_t at = 0;
    for (std::size_t i = 0; i < h.size(); ++i)
        if (std::fabs(h[i]) > std::fabs(h[at])) at = i;
    return static_cast<std::int64_t>(at);
}

struct SoxFilter {
    const char* name;
    std::vector<std::u16string> effect;
};
const std::vector<SoxFilter> kFilters = {
    {"high-pass 100 Hz", {u"highpass", u"100"}},
    {"low-pass 5 kHz", {u"lowpass", u"5000"}},
    {"peaking +6 dB at 1 kHz", {u"equalizer", u"1000", u"1q", u"6"}},
};

// Every point of the CSV from 20 Hz to 0.9 of Nyquist.
void expectWithin(const std::vector<CsvRow>& rows, const std::vector<double>& h, double octaves,
                  double tolerance) {
    int checked = 0;
    double worst = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const CsvRow& r = rows[i];
        if (r.hz < 20 || r.hz > 0.9 * kRate / 2) continue;
        const double want = smoothedDb(h, r.hz, octaves);
        worst = std::max(worst, std::fabs(r.db - want));
        EXPECT_NEAR(r.db, want, tolerance) << r.hz << " Hz";
        ++checked;
    }
    EXPECT_GT(checked, 400);
    std::printf("    worst deviation %.4f dB over %d points\n", worst, checked);
}

} // namespace

TEST_F(SoxFilters, ALogSweepMeasuresEachFilterWithinATenthOfADbFrom20HzToNineTenthsOfNyquist) {
    makeTone(u"sweep", {u"--freq", u"10", u"--end", u"22000", u"--sweep", u"log", u"--length", u"2000",
                        u"--db", u"-10"});
    for (const SoxFilter& f : kFilters) {
        SCOPED_TRACE(f.name);
        const std::vector<double> h = filter(u"sweep.wav", u"rec.wav", f.effect, u"0.5");
        removeFile(p(u"ir.wav"));
        removeFile(p(u"r.csv"));
        const RunResult r = run({u"response", p(u"sweep.tdf"), p(u"rec.wav"), u"-o", p(u"ir.wav"), u"--csv",
                                 p(u"r.csv"), u"--json"});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(jsonNumber(r.out, "delay_samples"), largestAt(h)) << "the filter's own peak";
        expectWithin(readCsv(p(u"r.csv")), h, 0, 0.1);
    }
}

TEST_F(SoxFilters, ADelayAndAGainAreFoundToTheSampleAndAHundredthOfADb) {
    makeTone(u"sweep", {u"--freq", u"10", u"--end", u"22000", u"--sweep", u"log", u"--length", u"2000",
                        u"--db", u"-10"});
    ASSERT_EQ(soxRun({p(u"sweep.wav"), u"-e", u"floating-point", u"-b", u"32", p(u"rec.wav"), u"pad",
                      u"1234s", u"0.3", u"vol", u"0.7"})
                  .code,
              0);
    const RunResult r = run({u"response", p(u"sweep.wav"), p(u"rec.wav"), u"-o", p(u"ir.wav"), u"--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(jsonNumber(r.out, "delay_samples"), 1234);
    EXPECT_NEAR(jsonNumber(r.out, "gain_db"), 20 * std::log10(0.7), 0.01);
}

TEST_F(SoxFilters, PinkNoiseMeasuresEachFilterWithinHalfADbAfterSixthOctaveSmoothing) {
    // the reference is the tone file: rendered again with the seed it was played with
    makeTone(u"pink", {u"--wave", u"pink", u"--length", u"2000"});
    for (const SoxFilter& f : kFilters) {
        SCOPED_TRACE(f.name);
        // pink noise's peaks come near full scale: half its level, so that the peaking filter does not clip
        std::vector<std::u16string> effect = {u"vol", u"0.5"};
        effect.insert(effect.end(), f.effect.begin(), f.effect.end());
        const std::vector<double> h = filter(u"pink.wav", u"rec.wav", effect, u"0.3");
        removeFile(p(u"ir.wav"));
        removeFile(p(u"r.csv"));
        const RunResult r = run({u"response", p(u"pink.tdf"), p(u"rec.wav"), u"--seed", u"7", u"-o",
                                 p(u"ir.wav"), u"--csv", p(u"r.csv"), u"--smooth", u"1/6", u"--json"});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.out.find("\"method\":\"spectral_division\""), std::string::npos);
        EXPECT_EQ(jsonNumber(r.out, "delay_samples"), largestAt(h)) << "the filter's own peak";
        expectWithin(readCsv(p(u"r.csv")), h, 1.0 / 6, 0.5);
    }
}
#endif
