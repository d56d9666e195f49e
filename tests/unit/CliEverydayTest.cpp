// The tool as everyday use needs it: a tone rendered in one step, a WAV file down a pipe,
// the version, help where it is looked for, and a near miss named.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "CliRunner.h"
#include "TestSupport.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "tone/ToneData.h"
#include "tone/ToneList.h"

using namespace sonimo;

namespace {

class CliEveryday : public ::testing::Test {
protected:
    TempDir dir;
    std::u16string p(const std::u16string& name) const { return dir.path(name); }
    RunResult run(const std::vector<std::u16string>& args) { return runCli(dir, args); }
    std::vector<unsigned char> standardOutput() const { return readAll(dir.path(u"stdout.txt")); }
};

using Options = std::vector<std::u16string>;
std::vector<std::u16string> operator+(std::vector<std::u16string> a, const std::vector<std::u16string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

// Several tones, a sweep, stereo, noise, a loud mix that the limiter takes, another rate.
TEST_F(CliEveryday, OneStepRenderIsMakeThenRenderByteForByte) {
    const Options cases[] = {
        {u"--freq", u"1000", u"--length", u"700"},
        {u"--freq", u"100,1000,5000", u"--db", u"0,-6,-12", u"--length", u"500"},
        {u"--freq", u"20", u"--end", u"20000", u"--sweep", u"log", u"--length", u"1500"},
        {u"--freq", u"440", u"--right", u"660", u"--end", u"880", u"--right-end", u"990", u"--sweep",
         u"linear", u"--length", u"300"},
        {u"--wave", u"square", u"--freq", u"1000", u"--stereo", u"--length", u"250"},
        {u"--wave", u"pink", u"--length", u"1000", u"--seed", u"7"},
        {u"--freq", u"100,200,300,400,500,600,700,800,900,1000,1100,1200,1300,1400,1500,1600", u"--length",
         u"400"},
        {u"--wave", u"triangle", u"--freq", u"997", u"--length", u"333", u"--rate", u"96000"},
    };
    for (const Options& c : cases) {
        Options tone, rate; // the tone's options, and those of the render
        for (std::size_t i = 0; i < c.size(); ++i) {
            if (c[i] == u"--rate" || c[i] == u"--seed")
                rate.insert(rate.end(), {c[i], c[i + 1]}), ++i;
            else
                tone.push_back(c[i]);
        }
        const std::string what = utf16ToUtf8(c[0] + u" " + c[1]);
        ASSERT_EQ(run(Options{u"make", p(u"t.tdf")} + tone).code, 0) << what;
        ASSERT_EQ(run(Options{u"render", p(u"t.tdf"), u"-o", p(u"two.wav")} + rate).code, 0) << what;
        const RunResult one = run(Options{u"render"} + c + Options{u"-o", p(u"one.wav")});
        ASSERT_EQ(one.code, 0) << what << one.err;
        const auto expected = readAll(p(u"two.wav"));
        ASSERT_GT(expected.size(), 46u + 1000u) << what;
        EXPECT_EQ(readAll(p(u"one.wav")), expected) << what;
        // and down a pipe: the same file, the sizes in its header known beforehand
        const RunResult piped = run(Options{u"render"} + c + Options{u"-o", u"-"});
        ASSERT_EQ(piped.code, 0) << what << piped.err;
        EXPECT_EQ(standardOutput(), expected) << what;
        EXPECT_EQ(piped.err, "") << "no progress bar where standard error is no terminal";
    }
}

TEST_F(CliEveryday, FilesGoDownAPipeAsTheyAreWritten) {
    ASSERT_EQ(run({u"make", p(u"a.tdf"), u"--freq", u"500", u"--length", u"200"}).code, 0);
    ASSERT_EQ(run({u"make", p(u"b.tdf"), u"--wave", u"white", u"--length", u"100"}).code, 0);
    ASSERT_TRUE(
        writeToneList(p(u"l.tdl"), {p(u"a.tdf"), u"150" + std::u16string(kSilenceSuffix), p(u"b.tdf")}));
    ASSERT_EQ(run({u"render", p(u"l.tdl"), u"-o", p(u"l.wav"), u"--seed", u"4294967295"}).code, 0);
    ASSERT_EQ(run({u"render", p(u"l.tdl"), u"-o", u"-", u"--seed", u"4294967295"}).code, 0);
    EXPECT_EQ(standardOutput(), readAll(p(u"l.wav")));
    ASSERT_EQ(run({u"render", p(u"l.tdl"), u"-o", p(u"m.wav"), u"--seed", u"4294967294"}).code, 0);
    EXPECT_NE(readAll(p(u"m.wav")), readAll(p(u"l.wav"))) << "another seed, other noise";
    ASSERT_EQ(run({u"render", p(u"l.tdl"), u"-o", p(u"n.wav")}).code, 0);
    EXPECT_NE(readAll(p(u"n.wav")), readAll(p(u"l.wav"))) << "no seed: noise as the program makes it";
    ASSERT_EQ(run({u"render", p(u"l.wav"), u"-o", u"-"}).code, 0);
    EXPECT_EQ(standardOutput(), readAll(p(u"l.wav"))) << "a WAV file read and written again";
}

TEST_F(CliEveryday, RenderRefusesWhatItCannotDoAndWritesNothing) {
    const struct {
        Options args;
        int code;
        const char* says;
    } cases[] = {
        {{u"--freq", u"1000"}, 2, "--length"}, // endless
        {{u"--freq", u"1000", u"--length", u"100", u"--loop"}, 2, "ループ"},
        {{u"--freq", u"30000", u"--length", u"100"}, 1, "--freq"},
        {{u"--freqs", u"1000"}, 1, "did you mean --freq?"},
        {{u"--len", u"1000"}, 1, "did you mean --length?"},
        {{u"--freq", u"1000", u"--length", u"100", u"--rate", u"500"}, 1, "--rate"},
        {{u"--wave", u"white", u"--length", u"100", u"--seed", u"-1"}, 1, "--seed"},
    };
    for (const auto& c : cases) {
        const RunResult r = run(Options{u"render"} + c.args + Options{u"-o", p(u"x.wav")});
        EXPECT_EQ(r.code, c.code) << utf16ToUtf8(c.args[0]) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_FALSE(fileExists(p(u"x.wav"))) << utf16ToUtf8(c.args[0]);
    }
    ASSERT_EQ(run({u"make", p(u"t.tdf"), u"--length", u"100"}).code, 0);
    const RunResult both = run({u"render", p(u"t.tdf"), u"--freq", u"100", u"-o", p(u"x.wav")});
    EXPECT_EQ(both.code, 1);
    EXPECT_NE(both.err.find("not both"), std::string::npos) << both.err;
    const RunResult endless = run({u"render", u"--freq", u"100", u"-o", u"-"});
    EXPECT_EQ(endless.code, 2);
    EXPECT_TRUE(standardOutput().empty()) << "nothing reaches the pipe when the tone is refused";
}

TEST_F(CliEveryday, VersionHelpAndNearMisses) {
    RunResult r = run({u"--version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "sonimo-cli 4.00\n");

    r = run({u"--help"});
    EXPECT_EQ(r.code, 0);
    for (const char* s :
         {"sonimo-cli make OUT.tdf", "sonimo-cli render TONE-OPTIONS", "sonimo-cli info", "Exit codes"})
        EXPECT_NE(r.out.find(s), std::string::npos) << s << "\n" << r.out;
    EXPECT_EQ(run({u"-h"}).out, r.out);

    r = run({u"render", u"--help"});
    EXPECT_EQ(r.code, 0) << "help wins over everything else on the line";
    EXPECT_EQ(r.out.find("sonimo-cli make"), std::string::npos);
    EXPECT_NE(r.out.find("-o -"), std::string::npos) << r.out;
    EXPECT_EQ(run({u"info", u"-h", u"--bogus"}).code, 0);

    r = run({u"rendr", u"x.tdf"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("did you mean render?"), std::string::npos) << r.err;
    r = run({u"xyzzyplugh"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err.find("did you mean"), std::string::npos) << "nothing is near: " << r.err;
    r = run({u"info", u"--jsno", u"x.tdf"});
    EXPECT_NE(r.err.find("did you mean --json?"), std::string::npos) << r.err;
}

namespace {

// The largest magnitude among the 16-bit samples of a WAV file the writer made.
double wavPeakDbfs(const std::vector<unsigned char>& wav) {
    int peak = 0;
    for (std::size_t i = 46; i + 1 < wav.size(); i += 2) {
        const int v = static_cast<std::int16_t>(wav[i] | (wav[i + 1] << 8));
        peak = std::max(peak, v < 0 ? -v : v);
    }
    return 20 * std::log10(peak / 32768.0);
}

double jsonNumber(const std::string& json, const std::string& key) {
    const std::size_t at = json.find("\"" + key + "\":");
    return at == std::string::npos ? NAN : std::atof(json.c_str() + at + key.size() + 3);
}

} // namespace

// Equal tones whose mix stays under full scale: the prediction is what a render holds.
TEST_F(CliEveryday, InfoPredictsThePeakARenderReaches) {
    const struct {
        Options tone;
        const char* method;
    } cases[] = {
        {{u"--freq", u"1000,1500", u"--db", u"-6,-6"}, "common period"},
        {{u"--freq", u"500,700,1100", u"--db", u"-10,-10,-10"}, "common period"},
        {{u"--freq", u"100,200,300,400,500,600,700,800,900,1000,1100,1200,1300,1400,1500,1600", u"--db",
          u"-25,-25,-25,-25,-25,-25,-25,-25,-25,-25,-25,-25,-25,-25,-25,-25"},
         "common period"},
        {{u"--freq", u"440.123,1000", u"--db", u"-7,-7", u"--length", u"12000"},
         "first seconds"}, // 1000 s period
        {{u"--freq", u"100", u"--end", u"5000", u"--sweep", u"log", u"--db", u"-3"}, "whole"},
    };
    for (const auto& c : cases) {
        const std::string what = utf16ToUtf8(c.tone[1]);
        Options tone = c.tone;
        if (std::find(tone.begin(), tone.end(), u"--length") == tone.end())
            tone = tone + Options{u"--length", u"4000"};
        ASSERT_EQ(run(Options{u"make", p(u"t.tdf")} + tone).code, 0) << what;
        const RunResult info = run({u"info", p(u"t.tdf"), u"--json"});
        ASSERT_EQ(info.code, 0) << info.err;
        EXPECT_NE(info.out.find(std::string("\"method\":\"") + c.method + "\""), std::string::npos)
            << info.out;
        EXPECT_NE(info.out.find("\"limiterActs\":false"), std::string::npos) << info.out;
        ASSERT_EQ(run({u"render", p(u"t.tdf"), u"-o", p(u"t.wav")}).code, 0);
        EXPECT_NEAR(jsonNumber(info.out, "dbfs"), wavPeakDbfs(readAll(p(u"t.wav"))), 0.1) << what;
        EXPECT_GT(jsonNumber(info.out, "crestFactorDb"), 3.0) << what;
    }
    // Sixteen tones at full level: far past full scale, which the limiter takes back.
    ASSERT_EQ(
        run({u"make", p(u"loud.tdf"), u"--freq",
             u"100,200,300,400,500,600,700,800,900,1000,1100,1200,1300,1400,1500,1600", u"--length", u"2000"})
            .code,
        0);
    const RunResult loud = run({u"info", p(u"loud.tdf")});
    EXPECT_NE(loud.out.find("limiter      acts: the mix passes full scale by 21.5"), std::string::npos)
        << loud.out;
    EXPECT_NE(loud.out.find("peak         21.5"), std::string::npos) << loud.out;
    ASSERT_EQ(run({u"render", p(u"loud.tdf"), u"-o", p(u"loud.wav")}).code, 0);
    EXPECT_LE(wavPeakDbfs(readAll(p(u"loud.wav"))), 0.0);
    // A list is measured as it plays.
    ASSERT_TRUE(writeToneList(p(u"l.tdl"), {p(u"t.tdf"), p(u"loud.tdf")}));
    const RunResult list = run({u"info", p(u"l.tdl"), u"--json"});
    EXPECT_NEAR(jsonNumber(list.out, "dbfs"), 21.55, 0.1) << list.out;
    EXPECT_NE(list.out.find("\"method\":\"whole\""), std::string::npos) << list.out;
}
