// sonimo-cli series, run as a user runs it: the list and tone files it writes, how the
// list renders, and what it refuses without writing anything.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "CliRunner.h"
#include "TestSupport.h"
#include "audio/ToneListRenderer.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "tone/ToneData.h"
#include "tone/ToneList.h"
#include "ui/NoteTable.h"

using namespace sonimo;

namespace {

class CliSeries : public ::testing::Test {
protected:
    TempDir dir;
    std::u16string p(const std::u16string& name) const { return dir.path(name); }
    RunResult run(std::vector<std::u16string> args, const std::u16string& input = u"") {
        args.insert(args.begin(), u"series");
        return runCli(dir, args, input);
    }
    // A file in a folder of the temporary folder, as the tool writes its full path.
    std::u16string in(const std::u16string& folder, const std::u16string& name) const {
#ifdef _WIN32
        return p(folder) + u"\\" + name;
#else
        return p(folder) + u"/" + name;
#endif
    }
    bool folderExists(const std::u16string& name) const {
        std::error_code ec;
        return std::filesystem::exists(toFsPath(p(name)), ec);
    }
    void writeText(const std::u16string& name, const std::string& text) {
        ASSERT_TRUE(writeAll(p(name), std::vector<unsigned char>(text.begin(), text.end())));
    }
};

// The list's tone entries, each loaded; fails the test on anything but tones and, between
// them, silences of gapMs.
std::vector<ToneData> tonesOf(const std::u16string& list, std::int32_t gapMs) {
    std::vector<ToneData> tones;
    const ToneList l = readToneList(list);
    for (std::size_t i = 0; i < l.entries.size(); ++i) {
        const ToneListEntry& e = l.entries[i];
        if (gapMs > 0 && i % 2 == 1) {
            EXPECT_TRUE(e.isSilence()) << i;
            EXPECT_EQ(e.silenceMs, gapMs);
            continue;
        }
        ToneData t;
        EXPECT_TRUE(loadToneFile(t, e.fileName)) << utf16ToUtf8(e.fileName);
        tones.push_back(t);
    }
    return tones;
}

// Frames the list renders to at 44100 Hz, as render and the program's list tone build it.
std::int64_t renderedFrames(const std::u16string& list, int* channels = nullptr) {
    const SourceRef s = renderToneListFile(list, 44100);
    EXPECT_EQ(s->state, StateOk);
    EXPECT_EQ(s->sampleRate, 44100);
    if (channels) *channels = s->channels;
    return s->GetLength();
}

} // namespace

TEST_F(CliSeries, AThirdOctaveSeriesWritesTheStandardsTonesWithTheirOptionsAndGaps) {
    const RunResult r =
        run({p(u"thirds.tdl"), u"--iso", u"1/3", u"--from", u"20", u"--to", u"20000", u"--length", u"50",
             u"--gap", u"10", u"--db", u"-6", u"--wave", u"triangle", u"--stereo"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<double> want = {20,   25,   31.5, 40,   50,   63,    80,    100,   125,  160,  200,
                                      250,  315,  400,  500,  630,  800,   1000,  1250,  1600, 2000, 2500,
                                      3150, 4000, 5000, 6300, 8000, 10000, 12500, 16000, 20000};
    const ToneList list = readToneList(p(u"thirds.tdl"));
    ASSERT_EQ(list.entries.size(), 61u) << "31 tones and 30 silences between them";
    EXPECT_EQ(list.entries[0].fileName, in(u"thirds", u"001 20 Hz.tdf"))
        << "a full path, as the program opens it";
    EXPECT_EQ(list.entries[60].fileName, in(u"thirds", u"031 20000 Hz.tdf"));

    const std::vector<ToneData> tones = tonesOf(p(u"thirds.tdl"), 10);
    ASSERT_EQ(tones.size(), want.size());
    for (std::size_t i = 0; i < tones.size(); ++i) {
        const ToneData& t = tones[i]; // packed: fields are compared as copies (+x)
        EXPECT_EQ(static_cast<double>(t.leftStartHz[0]), want[i]);
        EXPECT_EQ(static_cast<double>(t.leftEndHz[0]), want[i]);
        EXPECT_EQ(static_cast<double>(t.rightStartHz[0]), want[i]);
        EXPECT_EQ(+t.toneCount, 1);
        EXPECT_EQ(+t.waveform, Triangle);
        EXPECT_EQ(+t.flags, ToneFlagStereo | ToneFlagFixedLength | ToneFlagRelativeAmplitude);
        EXPECT_EQ(+t.lengthMs, 50u);
        EXPECT_EQ(+t.relativeAmplitudeDb[0], -6);
        EXPECT_EQ(+t.loop, 0);
    }
    int channels = 0;
    const std::int64_t frames = 31 * MsToFrames(50, 44100) + 30 * MsToFrames(10, 44100);
    EXPECT_EQ(renderedFrames(p(u"thirds.tdl"), &channels), frames);
    EXPECT_EQ(channels, 2);

    // and the tool's own render writes that many frames
    const RunResult rendered = runCli(dir, {u"render", p(u"thirds.tdl"), u"-o", p(u"thirds.wav")});
    ASSERT_EQ(rendered.code, 0) << rendered.err;
    EXPECT_EQ(readAll(p(u"thirds.wav")).size(), 46u + static_cast<std::size_t>(frames) * 4);
}

TEST_F(CliSeries, NotesBetweenTwoNamesAreTheNoteTablesWithDefaultsOfOneSecondMono) {
    const RunResult r = run({p(u"notes.tdl"), u"--notes", u"a4..A5"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<ToneData> tones = tonesOf(p(u"notes.tdl"), 0);
    ASSERT_EQ(tones.size(), 13u);
    for (int i = 0; i < 13; ++i) {
        EXPECT_EQ(static_cast<double>(tones[i].leftStartHz[0]), noteFrequency(kNoteA4 + i));
        EXPECT_EQ(+tones[i].waveform, Sine);
        EXPECT_EQ(+tones[i].flags, ToneFlagFixedLength) << "mono, full level";
        EXPECT_EQ(+tones[i].lengthMs, 1000u);
    }
    EXPECT_EQ(readToneList(p(u"notes.tdl")).entries[1].fileName, in(u"notes", u"002 A4# 466.2 Hz.tdf"));
    int channels = 0;
    EXPECT_EQ(renderedFrames(p(u"notes.tdl"), &channels), 13 * 44100);
    EXPECT_EQ(channels, 1);

    ASSERT_EQ(run({p(u"one.tdl"), u"--notes", u"C#4..C4#"}).code, 0) << "both spellings of a sharp";
    EXPECT_EQ(tonesOf(p(u"one.tdl"), 0).size(), 1u);
}

TEST_F(CliSeries, AColumnIsReadFromAFileOrStandardInput) {
    writeText(u"column.txt", "# measured\r\n1000\r\n\r\n  440.5  # A, a little sharp\r\n0\r\n");
    RunResult r = run({p(u"file.tdl"), u"--column", p(u"column.txt"), u"--length", u"20"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::vector<ToneData> tones = tonesOf(p(u"file.tdl"), 0);
    ASSERT_EQ(tones.size(), 3u);
    EXPECT_EQ(static_cast<double>(tones[1].leftStartHz[0]), 440.5);
    EXPECT_EQ(static_cast<double>(tones[2].leftStartHz[0]), 0.0);
    EXPECT_EQ(renderedFrames(p(u"file.tdl")), 3 * MsToFrames(20, 44100));

    r = run({p(u"pasted.tdl"), u"--column", u"-", u"--gap", u"5", u"--wave", u"square"}, p(u"column.txt"));
    ASSERT_EQ(r.code, 0) << r.err;
    tones = tonesOf(p(u"pasted.tdl"), 5);
    ASSERT_EQ(tones.size(), 3u);
    EXPECT_EQ(+tones[0].waveform, Square);
    EXPECT_EQ(renderedFrames(p(u"pasted.tdl")), 3 * 44100 + 2 * MsToFrames(5, 44100));
}

TEST_F(CliSeries, APastedColumnWithABadLineIsRefusedWithItsLineNumberAndNothingIsWritten) {
    writeText(u"bad.txt", "100\n200\n\n# fine so far\nabc\n300\n");
    RunResult r = run({p(u"out.tdl"), u"--column", u"-"}, p(u"bad.txt"));
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("standard input, line 5: \"abc\" is not a number of hertz"), std::string::npos)
        << r.err;
    EXPECT_FALSE(fileExists(p(u"out.tdl")));
    EXPECT_FALSE(folderExists(u"out"));

    writeText(u"high.txt", "100\n30000\n");
    r = run({p(u"out.tdl"), u"--column", p(u"high.txt")});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("line 2: 30000 Hz is outside 0..22000 Hz"), std::string::npos) << r.err;

    std::string many;
    for (int i = 0; i <= 10000; ++i)
        many += "1000\n";
    writeText(u"many.txt", many);
    r = run({p(u"out.tdl"), u"--column", p(u"many.txt")});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("line 10001: more than 10000 frequencies"), std::string::npos) << r.err;

    writeText(u"empty.txt", "# nothing yet\n");
    EXPECT_EQ(run({p(u"out.tdl"), u"--column", p(u"empty.txt")}).code, 2);
    EXPECT_EQ(run({p(u"out.tdl"), u"--column", p(u"missing.txt")}).code, 2);
    EXPECT_FALSE(fileExists(p(u"out.tdl")));
    EXPECT_FALSE(folderExists(u"out"));
}

TEST_F(CliSeries, BadArgumentsAreRefusedNamingTheValueAndNothingIsWritten) {
    const struct {
        std::vector<std::u16string> args;
        const char* want;
    } cases[] = {
        {{u"--iso", u"1/3", u"--from", u"20000", u"--to", u"20"}, "--from 20000 Hz is above --to 20 Hz"},
        {{u"--iso", u"1/3", u"--from", u"20", u"--to", u"30000"}, "--to: \"30000\""},
        {{u"--iso", u"1/3", u"--from", u"-1", u"--to", u"20"}, "--from: \"-1\""},
        {{u"--iso", u"1/3", u"--from", u"1001", u"--to", u"1200"}, "no preferred frequency"},
        {{u"--iso", u"1/5", u"--from", u"20", u"--to", u"200"}, "--iso: \"1/5\""},
        {{u"--iso", u"1/3", u"--from", u"20"}, "--iso needs --from HZ and --to HZ"},
        {{u"--notes", u"A5..A4"}, "A5 is above A4"},
        {{u"--notes", u"H4..A5"}, "\"H4\" is no note"},
        {{u"--notes", u"A4"}, "--notes: \"A4\""},
        {{u"--notes", u"A4..A5", u"--from", u"20"}, "--from and --to"},
        {{u"--notes", u"A4..A5", u"--iso", u"1"}, "one of --iso, --notes or --column"},
        {{}, "one of --iso, --notes or --column"},
        {{u"--notes", u"A4..A5", u"--wave", u"pink"}, "a noise has no frequency"},
        {{u"--notes", u"A4..A5", u"--wave", u"cosine"}, "--wave: \"cosine\""},
        {{u"--notes", u"A4..A5", u"--length", u"0"}, "--length: \"0\""},
        {{u"--notes", u"A4..A5", u"--length", u"10000001"}, "--length"},
        {{u"--notes", u"A4..A5", u"--gap", u"-1"}, "--gap: \"-1\""},
        {{u"--notes", u"A4..A5", u"--db", u"1"}, "--db: \"1\""},
        {{u"--notes", u"A4..A5", u"--db", u"-3.5"}, "--db: \"-3.5\""},
        {{u"--notes", u"A4..A5", u"--stereo=1"}, "unknown option"},
        // 13 tones of 10000 s: longer than a list's length can be counted
        {{u"--notes", u"A4..A5", u"--length", u"10000000"},
         "13 tones would last 130000 s, more than the 48695 s"},
    };
    for (const auto& c : cases) {
        std::vector<std::u16string> args = {p(u"out.tdl")};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult r = run(args);
        EXPECT_EQ(r.code, 1) << c.want << ": " << r.err;
        EXPECT_NE(r.err.find(c.want), std::string::npos) << r.err;
        EXPECT_FALSE(fileExists(p(u"out.tdl"))) << c.want;
        EXPECT_FALSE(folderExists(u"out")) << c.want;
    }
    EXPECT_EQ(run({p(u"out.txt"), u"--notes", u"A4..A5"}).code, 1) << "lists only";
    EXPECT_EQ(run({p(u".tdl"), u"--notes", u"A4..A5"}).code, 1) << "no name to give the folder";
    EXPECT_EQ(run({p(u"no/such/folder/out.tdl"), u"--notes", u"A4..A5"}).code, 3);
}

TEST_F(CliSeries, NothingIsReplacedAndAFailedSeriesLeavesNothingBehind) {
    ASSERT_EQ(run({p(u"s.tdl"), u"--iso", u"1", u"--from", u"20", u"--to", u"20000"}).code, 0);
    const std::vector<unsigned char> before = readAll(p(u"s.tdl"));
    RunResult r = run({p(u"s.tdl"), u"--notes", u"A4..A5"});
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("exists already"), std::string::npos) << r.err;
    EXPECT_EQ(readAll(p(u"s.tdl")), before);
    EXPECT_EQ(tonesOf(p(u"s.tdl"), 0).size(), 10u) << "the octaves, untouched";

    // the folder still holds the old tones: the list alone gone is not enough
    ASSERT_TRUE(removeFile(p(u"s.tdl")));
    r = run({p(u"s.tdl"), u"--notes", u"A4..A5"});
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("not an empty folder"), std::string::npos) << r.err;
    EXPECT_FALSE(fileExists(p(u"s.tdl")));

    // an empty folder of that name is used; a file of that name is not
    ASSERT_TRUE(std::filesystem::create_directory(toFsPath(p(u"e"))));
    EXPECT_EQ(run({p(u"e.tdl"), u"--notes", u"A4..A5"}).code, 0);
    writeText(u"f", "not a folder");
    EXPECT_EQ(run({p(u"f.tdl"), u"--notes", u"A4..A5"}).code, 3);
    EXPECT_FALSE(fileExists(p(u"f.tdl")));

    // a path the list cannot hold in one line is refused before anything is made
    const std::u16string longName = std::u16string(240, u'n') + u".tdl";
    r = run({p(longName), u"--notes", u"A4..A5"});
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("at most 259 characters"), std::string::npos) << r.err;
    EXPECT_FALSE(fileExists(p(longName)));
    EXPECT_FALSE(folderExists(std::u16string(240, u'n')));
}
