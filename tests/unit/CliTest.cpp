// Runs the built sonimo-cli (next to this test program) as a user would, and checks
// exit codes, what it writes and what it refuses to write.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "CliRunner.h"
#include "TestSupport.h"
#include "audio/RenderProgress.h"
#include "audio/RenderTask.h"
#include "audio/ToneListRenderer.h"
#include "audio/ToneRenderer.h"
#include "audio/WaveFileWriter.h"
#include "platform/File.h"
#include "platform/MemorySettingsStore.h"
#include "platform/Text.h"
#include "tone/ToneData.h"
#include "tone/ToneList.h"
#include "ui/OptionsModel.h"
#include "platform/SettingsKeys.h"

using namespace sonimo;

namespace {

// What the program's save-as-WAV writes for a source: the writer at the source's format,
// the render task (which puts the look-ahead limiter in front), then the last release.
std::vector<unsigned char> programWav(const SourceRef& source, const std::u16string& path) {
    {
        SinkRef writer = CreateWaveFileWriter(path, source->sampleRate, source->channels);
        SilentProgress progress;
        EXPECT_EQ(RenderTask(u"ファイルを保存しています", source, writer, progress), RenderCompleted);
    }
    return readAll(path);
}

ToneData fixedTone(std::initializer_list<double> hz, std::uint32_t ms) {
    ToneData t = defaultToneData();
    int i = 0;
    for (double f : hz)
        t.leftStartHz[i] = t.leftEndHz[i] = t.rightStartHz[i] = t.rightEndHz[i] = f, ++i;
    t.toneCount = static_cast<std::uint8_t>(i);
    t.lengthMs = ms;
    setKind(t, ToneKind::ConstantFixed);
    return t;
}

class CliRun : public ::testing::Test {
protected:
    TempDir dir;
    std::u16string p(const std::u16string& name) const { return dir.path(name); }
    RunResult run(const std::vector<std::u16string>& args) { return runCli(dir, args); }
};

} // namespace

TEST_F(CliRun, WithoutACommandItPrintsUsageAndExitsWithOne) {
    const RunResult r = run({});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("usage:"), std::string::npos);
    EXPECT_EQ(run({u"frobnicate"}).code, 1);
    EXPECT_EQ(run({u"--help"}).code, 0);
}

TEST_F(CliRun, MakeWritesTheToneItIsTold) {
    const RunResult r =
        run({u"make", p(u"t.tdf"), u"--freq", u"100,200.5", u"--end", u"1000,2000", u"--right", u"300,400",
             u"--db", u"-3,-6", u"--length", u"2500", u"--sweep", u"log"});
    ASSERT_EQ(r.code, 0) << r.err;
    ToneData t;
    ASSERT_TRUE(loadToneFile(t, p(u"t.tdf")));
    EXPECT_EQ(t.flags, ToneFlagSweep | ToneFlagLogSweep | ToneFlagStereo | ToneFlagFixedLength |
                           ToneFlagRelativeAmplitude);
    EXPECT_EQ(t.toneCount, 2);
    EXPECT_EQ(t.lengthMs, 2500u);
    EXPECT_EQ(t.leftStartHz[1], 200.5);
    EXPECT_EQ(t.leftEndHz[0], 1000.0);
    EXPECT_EQ(t.rightStartHz[1], 400.0);
    EXPECT_EQ(t.rightEndHz[1], 400.0) << "--right-end defaults to --right";
    EXPECT_EQ(t.relativeAmplitudeDb[1], -6);
    EXPECT_EQ(t.leftStartHz[2], 440.0) << "unused slots keep the defaults";

    ASSERT_EQ(run({u"make", p(u"s.tdf"), u"--freq=250", u"--stereo"}).code, 0);
    ASSERT_TRUE(loadToneFile(t, p(u"s.tdf")));
    EXPECT_EQ(t.flags, ToneFlagStereo);
    EXPECT_EQ(t.rightStartHz[0], 250.0);

    ASSERT_EQ(run({u"make", p(u"n.tdf"), u"--wave", u"brown", u"--length", u"100", u"--loop"}).code, 0);
    ASSERT_TRUE(loadToneFile(t, p(u"n.tdf")));
    EXPECT_EQ(t.waveform, BrownNoise);
    EXPECT_EQ(t.flags, ToneFlagFixedLength);
    EXPECT_EQ(t.loop, 1);
}

TEST_F(CliRun, MakeRefusesBadValuesNamingTheOptionAndWritesNothing) {
    const struct {
        std::vector<std::u16string> args;
        const char* option;
    } cases[] = {
        {{u"--freq", u"22000.5"}, "--freq"},
        {{u"--freq", u"-1"}, "--freq"},
        {{u"--freq", u"1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17"}, "--freq"},
        {{u"--freq", u"440,abc"}, "--freq"},
        {{u"--freq", u"nan"}, "--freq"},
        {{u"--freq", u"440,550", u"--end", u"1000"}, "--end"},
        {{u"--right", u"30000"}, "--right"},
        {{u"--db", u"1"}, "--db"},
        {{u"--db", u"-128"}, "--db"},
        {{u"--db", u"-3.5"}, "--db"},
        {{u"--length", u"0"}, "--length"},
        {{u"--length", u"10000001"}, "--length"},
        {{u"--length", u"12ms"}, "--length"},
        {{u"--sweep", u"log"}, "--sweep"},
        {{u"--sweep", u"cubic", u"--length", u"100"}, "--sweep"},
        {{u"--loop"}, "--loop"},
        {{u"--wave", u"noise"}, "--wave"},
        {{u"--wave", u"pink", u"--stereo"}, "--stereo"},
        {{u"--wave", u"white", u"--freq", u"100"}, "--freq"},
        {{u"--colour", u"red"}, "--colour"},
        {{u"--length", u"100", u"--length", u"200"}, "--length"},
    };
    for (const auto& c : cases) {
        std::vector<std::u16string> args = {u"make", p(u"x.tdf")};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult r = run(args);
        EXPECT_EQ(r.code, 1) << utf16ToUtf8(c.args[0]) << " " << r.err;
        EXPECT_NE(r.err.find(c.option), std::string::npos) << r.err;
        EXPECT_FALSE(fileExists(p(u"x.tdf"))) << c.option;
    }
    EXPECT_EQ(run({u"make", p(u"x.wav")}).code, 1) << "make writes tone files only";
    EXPECT_EQ(run({u"make", p(u"no/such/folder/x.tdf")}).code, 3);
}

TEST_F(CliRun, RenderRefusesEndlessAndLoopedTonesWithTheProgramsMessages) {
    ToneData endless = defaultToneData();
    ASSERT_TRUE(saveToneFile(endless, p(u"endless.tdf")));
    RunResult r = run({u"render", p(u"endless.tdf"), u"-o", p(u"out.wav")});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(
        r.err.find(
            "一定の長さに指定されているトーンはWavファイルでのみ保存できます。 \n\n長さが指定されていません。"
            "トーンメニューから定数（一定時間）または掃引アイテムを選択してください。"),
        std::string::npos)
        << r.err;
    EXPECT_FALSE(fileExists(p(u"out.wav")));

    ToneData looped = fixedTone({440.0}, 1000);
    looped.loop = 1;
    ASSERT_TRUE(saveToneFile(looped, p(u"looped.tdf")));
    r = run({u"render", p(u"looped.tdf"), u"-o", p(u"out.wav")});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("ループ再生が設定されているトーンはWavファイルでは保存できません。 "
                         "\n\nループ再生をオフにしてください。"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fileExists(p(u"out.wav")));
}

TEST_F(CliRun, RenderRefusesBadArgumentsAndUnreadableInputWithoutWriting) {
    ASSERT_TRUE(saveToneFile(fixedTone({440.0}, 100), p(u"t.tdf")));
    ASSERT_TRUE(writeAll(p(u"short.tdf"), std::vector<unsigned char>(1056)));
    const struct {
        std::vector<std::u16string> args;
        int code;
    } cases[] = {
        {{u"render", p(u"t.tdf")}, 1},
        {{u"render", u"-o", p(u"out.wav")}, 1},
        {{u"render", p(u"t.tdf"), u"-o", p(u"out.wav"), u"--rate", u"999"}, 1},
        {{u"render", p(u"t.tdf"), u"-o", p(u"out.wav"), u"--rate", u"192001"}, 1},
        {{u"render", p(u"t.tdf"), u"-o", p(u"out.wav"), u"--rate", u"44.1k"}, 1},
        {{u"render", p(u"missing.tdf"), u"-o", p(u"out.wav")}, 2},
        {{u"render", p(u"short.tdf"), u"-o", p(u"out.wav")}, 2},
        {{u"render", p(u"missing.tdl"), u"-o", p(u"out.wav")}, 2},
        {{u"render", p(u"t.TDF"), u"-o", p(u"out.wav")}, 2},
        {{u"render", p(u"t.tdf"), u"-o", p(u"t.tdf")}, 1},
    };
    for (const auto& c : cases) {
        const RunResult r = run(c.args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_FALSE(r.err.empty());
        EXPECT_FALSE(fileExists(p(u"out.wav")));
    }
    EXPECT_EQ(readAll(p(u"t.tdf")).size(), kToneFileSize) << "the input is untouched";
    EXPECT_EQ(run({u"render", p(u"t.tdf"), u"-o", p(u"no/such/dir/out.wav")}).code, 3);
}

TEST_F(CliRun, RenderWritesWhatSaveAsWavWrites) {
    MemorySettingsStore settings;
    ToneData chord = fixedTone({440.0, 660.0, 880.0}, 700);
    setStereo(chord);
    chord.rightStartHz[2] = 1234.5;
    ASSERT_TRUE(saveToneFile(chord, p(u"chord.tdf")));
    ToneData sweep = fixedTone({20.0}, 900);
    sweep.leftEndHz[0] = 20000.0;
    setKind(sweep, ToneKind::LogSweep);
    ASSERT_TRUE(saveToneFile(sweep, p(u"sweep.tdf")));
    ToneData noise = fixedTone({440.0}, 300);
    setWaveform(noise, PinkNoise);
    ASSERT_TRUE(saveToneFile(noise, p(u"pink.tdf")));

    for (const auto& [index, rate] :
         {std::pair{u"7", u"48000"}, std::pair{u"2", u"11025"}, std::pair{u"6", u"44100"}}) {
        settings.writeText(keys::kSampleRate, index);
        for (const char16_t* name : {u"chord", u"sweep"}) {
            const std::u16string in = p(std::u16string(name) + u".tdf");
            ToneData t;
            ASSERT_TRUE(loadToneFile(t, in));
            const std::vector<unsigned char> want =
                programWav(RenderToneAtSettingsRate(t, settings), p(u"want.wav"));
            const RunResult r = run({u"render", in, u"-o", p(u"got.wav"), u"--rate", rate});
            ASSERT_EQ(r.code, 0) << r.err;
            EXPECT_EQ(readAll(p(u"got.wav")), want) << utf16ToUtf8(name) << " at " << utf16ToUtf8(rate);
        }
    }
    // a rate outside the options' list renders at that rate directly
    const std::vector<unsigned char> want = programWav(RenderTone(chord, 12345, 12345), p(u"want.wav"));
    ASSERT_EQ(run({u"render", p(u"chord.tdf"), u"-o", p(u"got.wav"), u"--rate", u"12345"}).code, 0);
    EXPECT_EQ(readAll(p(u"got.wav")), want);
    ASSERT_GT(want.size(), 46u);
    EXPECT_EQ(want[24] | want[25] << 8, 12345 & 0xFFFF);

    // noise differs from run to run, but its format and length do not
    ASSERT_EQ(run({u"render", p(u"pink.tdf"), u"-o", p(u"pink.wav")}).code, 0);
    EXPECT_EQ(readAll(p(u"pink.wav")).size(), 46u + 13230u * 2);
}

TEST_F(CliRun, RenderOfAListPlaysItsEntriesAtTheListsFormat) {
    ASSERT_TRUE(saveToneFile(fixedTone({1000.0}, 200), p(u"a.tdf")));
    ASSERT_TRUE(writeToneList(p(u"l.tdl"), {p(u"a.tdf"), u"100ミリ秒の無音。", p(u"a.tdf")}));
    const std::vector<unsigned char> want =
        programWav(renderToneListFile(p(u"l.tdl"), 44100), p(u"want.wav"));
    const RunResult r = run({u"render", p(u"l.tdl"), u"-o", p(u"got.wav")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readAll(p(u"got.wav")), want);
    EXPECT_EQ(want.size(), 46u + (8820u * 2 + 4410u) * 4) << "stereo, because the silence is";
}

TEST_F(CliRun, InfoDescribesToneFilesListsAndWaveFiles) {
    ToneData t = fixedTone({440.0, 0.1}, 1500);
    ASSERT_TRUE(saveToneFile(t, p(u"t.tdf")));
    RunResult r = run({u"info", p(u"t.tdf"), u"--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    for (const char* want : {"\"flags\":8,", "\"waveform\":0,", "\"toneCount\":2,", "\"lengthMs\":1500,",
                             "\"leftStartHz\":[440,0.1,440,", "\"loop\":0,", "\"listPath\":\"\"",
                             "\"valid\":true,", "\"limiterActs\":true"}) {
        EXPECT_NE(r.out.find(want), std::string::npos) << want << " in " << r.out;
    }
    t.toneCount = 17;
    ASSERT_TRUE(saveToneFile(t, p(u"bad.tdf")));
    r = run({u"info", p(u"bad.tdf"), u"--json"});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.out.find("\"valid\":false"), std::string::npos);
    ASSERT_TRUE(writeAll(p(u"short.tdf"), std::vector<unsigned char>(100)));
    EXPECT_EQ(run({u"info", p(u"short.tdf")}).code, 2);

    ASSERT_TRUE(saveToneFile(fixedTone({440.0}, 250), p(u"a.tdf")));
    ASSERT_TRUE(writeToneList(p(u"l.tdl"), {p(u"a.tdf"), u"750ミリ秒の無音。"}));
    r = run({u"info", p(u"l.tdl"), u"--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("{\"silenceMs\":750,\"fileName\":\"\"}"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"lengthMs\":1000,"), std::string::npos) << r.out;

    ASSERT_EQ(run({u"render", p(u"l.tdl"), u"-o", p(u"l.wav")}).code, 0);
    r = run({u"info", p(u"l.wav"), u"--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "{\"state\":0,\"sampleRate\":44100,\"channels\":2,\"length\":44100,\"reader\":\"direct\"}\n");
    EXPECT_EQ(run({u"info", p(u"nothing.wav")}).code, 2);
    EXPECT_EQ(run({u"info", p(u"l.txt")}).code, 2);
}

TEST_F(CliRun, AListTooLargeToExpandIsRefusedInEnglishWithoutRenderingIt) {
    ASSERT_EQ(run({u"make", p(u"t.tdf"), u"--freq", u"1000", u"--length", u"100"}).code, 0);
    const char16_t* names[] = {u"a.tdl", u"b.tdl", u"c.tdl"};
    for (int i = 0; i < 3; ++i) {
        const std::string next = utf16ToUtf8(p(i < 2 ? names[i + 1] : u"t.tdf")) + "\r\n";
        std::string text;
        for (int k = 0; k < 300; ++k)
            text += next;
        ASSERT_TRUE(writeAll(p(names[i]), std::vector<unsigned char>(text.begin(), text.end())));
    }
    for (const char16_t* command : {u"info", u"render"}) {
        std::vector<std::u16string> args = {command, p(u"a.tdl")};
        if (std::u16string(command) == u"render") args.insert(args.end(), {u"-o", p(u"out.wav")});
        const RunResult r = run(args);
        EXPECT_EQ(r.code, 2) << r.err;
        EXPECT_NE(r.err.find("or plays 2147483647 frames or more"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fileExists(p(u"out.wav")));
}
