// The file commands with scripted dialogs: what each asks, what it stores in the settings,
// what it writes, and what it tells the user.
#include <gtest/gtest.h>

#include "CliRunner.h"
#include "TestSupport.h"
#include "audio/RenderTask.h"
#include "platform/File.h"
#include "platform/MemorySettingsStore.h"
#include "tone/ToneData.h"
#include "tone/ToneList.h"
#include "ui/FileCommands.h"
#include "platform/SettingsKeys.h"

namespace sonimo {
namespace {

class ScriptedUi final : public FileCommandUi {
public:
    std::optional<std::u16string> nextPath;
    bool overwrite = true, listOk = false, companionFound = false;
    int cancelAfterBlocks = -1; // the progress dialog's Cancel after this many blocks
    std::u16string listChosen;  // what the list dialog answers with OK
    std::vector<FileDialogRequest> opens, saves;
    std::vector<std::u16string> overwriteAsked, companionStarted, renderMessages;
    std::vector<std::u16string> listDialogs; // the list each dialog opened on

    std::optional<std::u16string> openFile(const FileDialogRequest& r) override {
        opens.push_back(r);
        return nextPath;
    }
    std::optional<std::u16string> saveFile(const FileDialogRequest& r) override {
        saves.push_back(r);
        return nextPath;
    }
    bool confirmOverwrite(const std::u16string& path) override {
        overwriteAsked.push_back(path);
        return overwrite;
    }
    int render(const std::u16string& message, const SourceRef& source, const SinkRef& sink) override {
        renderMessages.push_back(message);
        struct Progress final : RenderProgress {
            int left;
            void setLines(const std::u16string&, const std::u16string&) override {}
            void setFraction(double) override {}
            bool cancelled() override { return left >= 0 && left-- == 0; }
        } progress;
        progress.left = cancelAfterBlocks;
        return RenderTask(message, source, sink, progress);
    }
    std::optional<std::u16string> editList(const std::u16string& list) override {
        listDialogs.push_back(list);
        if (!listOk) return std::nullopt;
        return listChosen;
    }
    bool startCompanion(const std::u16string& path) override {
        companionStarted.push_back(path);
        return companionFound;
    }
};

class FileCommandsTest : public ::testing::Test {
protected:
    FileCommands commands() {
        return FileCommands(tone, ui, settings, [this] { ++refreshes; });
    }
    ToneData fixedTone(std::uint32_t ms = 500) {
        ToneData t = defaultToneData();
        setKind(t, ToneKind::ConstantFixed);
        t.lengthMs = ms;
        return t;
    }

    MemorySettingsStore settings;
    RecordingNotice notice;
    TempDir dir;
    ScriptedUi ui;
    ToneData tone = defaultToneData();
    int refreshes = 0;
};

TEST_F(FileCommandsTest, OpenToneAsksWithTheStoredFileAndLoadsIt) {
    const ToneData saved = fixedTone(1234);
    const std::u16string path = dir.path(u"a.tdf");
    ASSERT_TRUE(saveToneFile(saved, path));
    settings.writeText(u"settings", u"file", u"C:\\old\\x.tdf");
    settings.writeText(u"settings", u"filedir", u"C:\\old");
    ui.nextPath = path;
    commands().openTone();
    ASSERT_EQ(ui.opens.size(), 1u);
    EXPECT_EQ(ui.opens[0].title, u"トーンを選択して開く");
    EXPECT_EQ(ui.opens[0].filters, (std::vector<FileFilter>{{u"トーンデータファイル", u"*.tdf"}}));
    EXPECT_EQ(ui.opens[0].defaultExtension, u"tdf");
    EXPECT_EQ(ui.opens[0].initialFile, u"C:\\old\\x.tdf");
    EXPECT_EQ(ui.opens[0].initialFolder, u"C:\\old");
    EXPECT_EQ(tone.lengthMs, 1234u);
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(settings.readText(u"settings", u"file", u""), path);
    EXPECT_EQ(settings.readText(u"settings", u"filedir", u""), dir.root());
    EXPECT_TRUE(notice.shown.empty());
    ui.nextPath.reset(); // cancel ends the command
    commands().openTone();
    EXPECT_EQ(refreshes, 1);
}

TEST_F(FileCommandsTest, AnUpperCaseExtensionIsRefusedAndABrokenFileGivesTheDefaults) {
    const std::u16string upper = dir.path(u"A.TDF");
    ASSERT_TRUE(saveToneFile(fixedTone(), upper));
    tone.leftStartHz[0] = 1000;
    ui.nextPath = upper;
    commands().openTone();
    ASSERT_EQ(notice.shown.size(), 1u);
    EXPECT_EQ(notice.shown[0].text, u"トーンファイルのタイプが認識されません。");
    EXPECT_EQ(notice.shown[0].caption, u"ファイルのタイプが認識されません");
    EXPECT_EQ(notice.shown[0].modality, NoticeModality::Task);
    EXPECT_EQ(tone.leftStartHz[0], 1000.0); // left alone
    EXPECT_EQ(settings.readText(u"settings", u"file", u""), upper);
    // handed over on the command line it passes openPath and is refused the same way
    commands().openPath(upper);
    EXPECT_EQ(notice.shown.size(), 2u);
    EXPECT_EQ(notice.shown[1].text, u"トーンファイルのタイプが認識されません。");

    const std::u16string broken = dir.path(u"b.tdf");
    ASSERT_TRUE(writeAll(broken, {1, 2, 3}));
    ui.nextPath = broken;
    commands().openTone();
    ASSERT_EQ(notice.shown.size(), 3u);
    EXPECT_EQ(notice.shown[2].text,
              u"ファイルの読み込みエラー： \n " + broken +
                  u"。 \n 破損したファイルまたはSonimoでは非対応のファイルの可能性があります。");
    EXPECT_EQ(notice.shown[2].caption, u"エラー");
    EXPECT_EQ(tone.leftStartHz[0], 440.0);
}

TEST_F(FileCommandsTest, OpenPathDecidesByTheExtensionWithoutRegardToCase) {
    commands().openPath(dir.path(u"noext"));
    EXPECT_TRUE(notice.shown.empty());
    commands().openPath(dir.path(u"x.mp3"));
    ASSERT_EQ(notice.shown.size(), 1u);
    EXPECT_EQ(notice.shown[0].caption, u"Sonimoでは処理できないタイプのファイルです。");
    EXPECT_EQ(notice.shown[0].text, u"ファイルのタイプが認識されません。");
    // a list in capitals reaches the list test, which is case-sensitive
    commands().openPath(dir.path(u"L.TDL"));
    ASSERT_EQ(notice.shown.size(), 2u);
    EXPECT_EQ(notice.shown[1].text, u"トーン一覧ファイルではありません");
    EXPECT_EQ(listPathOf(tone), dir.path(u"L.TDL"));
    EXPECT_TRUE(ui.listDialogs.empty());
    const std::u16string list = dir.path(u"l.tdl");
    ASSERT_TRUE(writeToneList(list, {u"250ミリ秒の無音。"}));
    ui.listOk = true;
    ui.listChosen = list;
    commands().openPath(list);
    EXPECT_EQ(ui.listDialogs, std::vector<std::u16string>{list});
    EXPECT_EQ(settings.readText(keys::kEditList, u""), list);
    EXPECT_EQ(tone.waveform, FromList);
    EXPECT_TRUE(tone.flags & ToneFlagFixedLength);
    EXPECT_EQ(listPathOf(tone), list);
}

TEST_F(FileCommandsTest, SaveAsToneFileRefusesAListAndAsksBeforeOverwriting) {
    tone.waveform = FromList;
    commands().saveToneAs();
    ASSERT_EQ(notice.shown.size(), 1u);
    EXPECT_TRUE(ui.saves.empty());
    tone = fixedTone(777);
    const std::u16string path = dir.path(u"t.tdf");
    ASSERT_TRUE(writeAll(path, {9}));
    ui.nextPath = path;
    ui.overwrite = false;
    commands().saveToneAs();
    EXPECT_EQ(ui.saves[0].title, u"トーンファイルとして保存");
    EXPECT_EQ(ui.saves[0].filters, (std::vector<FileFilter>{{u"トーンデータのファイル", u"*.tdf"}}));
    EXPECT_EQ(ui.overwriteAsked, std::vector<std::u16string>{path});
    EXPECT_EQ(readAll(path).size(), 1u);
    ui.overwrite = true;
    commands().saveToneAs();
    ToneData back{};
    ASSERT_TRUE(loadToneFile(back, path));
    EXPECT_EQ(back.lengthMs, 777u);
    EXPECT_EQ(settings.readText(u"settings", u"file", u""), path);
}

TEST_F(FileCommandsTest, SaveToneWritesAWavForAnyOtherExtensionAndRunsSaveListForAList) {
    tone = fixedTone(100);
    ui.nextPath = dir.path(u"t.TDF");
    commands().saveTone();
    EXPECT_EQ(ui.saves[0].title, u"トーンに名前を付けて保存");
    EXPECT_EQ(ui.saves[0].filters.size(), 2u);
    const auto bytes = readAll(dir.path(u"t.TDF"));
    ASSERT_GE(bytes.size(), 46u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(bytes.size(), 46u + 4410u * 2);
    tone.waveform = FromList;
    ui.nextPath.reset();
    commands().saveTone();
    EXPECT_EQ(ui.saves[1].title, u"トーン一覧をファイルに保存");
}

TEST_F(FileCommandsTest, SaveAsWavRefusesEndlessAndLoopedTones) {
    commands().saveWav();
    ASSERT_EQ(notice.shown.size(), 1u);
    EXPECT_EQ(notice.shown[0].caption, u"Wavファイルへの保存エラー");
    EXPECT_NE(notice.shown[0].text.find(u"長さが指定されていません"), std::u16string::npos);
    tone = fixedTone();
    toggleLoop(tone);
    commands().saveWav();
    ASSERT_EQ(notice.shown.size(), 2u);
    EXPECT_NE(notice.shown[1].text.find(u"ループ再生をオフにしてください"), std::u16string::npos);
    EXPECT_TRUE(ui.saves.empty());
}

TEST_F(FileCommandsTest, TheWavIsByteForByteWhatTheCommandLineToolWrites) {
    tone = fixedTone(1500);
    setToneCount(tone, 2);
    tone.leftStartHz[1] = 1000;
    setStereo(tone);
    settings.writeText(u"Settings", u"SampleRate", u"7");
    settings.writeText(u"settings", u"filedir", dir.root());
    ui.nextPath = dir.path(u"gui.wav");
    commands().saveWav();
    EXPECT_EQ(ui.saves[0].title, u"Waveファイルとして保存...");
    EXPECT_EQ(ui.saves[0].initialFile, u"");
    EXPECT_EQ(ui.saves[0].initialFolder, dir.root());
    EXPECT_EQ(ui.renderMessages, std::vector<std::u16string>{u"ファイルを保存しています"});
    ASSERT_TRUE(saveToneFile(tone, dir.path(u"t.tdf")));
    const RunResult r =
        runCli(dir, {u"render", dir.path(u"t.tdf"), u"-o", dir.path(u"cli.wav"), u"--rate", u"48000"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto gui = readAll(dir.path(u"gui.wav"));
    EXPECT_EQ(gui.size(), 46u + 72000u * 4);
    EXPECT_TRUE(gui == readAll(dir.path(u"cli.wav")));
}

TEST_F(FileCommandsTest, ACancelledWavIsAValidShorterFile) {
    tone = fixedTone(600000); // ten minutes
    ui.cancelAfterBlocks = 40;
    EXPECT_FALSE(commands().writeWav(dir.path(u"c.wav")));
    const auto bytes = readAll(dir.path(u"c.wav"));
    ASSERT_GT(bytes.size(), 46u);
    EXPECT_LT(bytes.size(), 46u + 44100u * 60 * 2);
    const std::uint32_t data = bytes[42] | bytes[43] << 8 | bytes[44] << 16 | std::uint32_t(bytes[45]) << 24;
    EXPECT_EQ(data, bytes.size() - 46);
    EXPECT_TRUE(notice.shown.empty()); // a cancel is the user's own choice
}

TEST_F(FileCommandsTest, AWavThatCannotBeWrittenIsReportedNamingTheFile) {
    tone = fixedTone(500);
    const std::u16string missing = dir.path(u"no-such-folder/x.wav");
    EXPECT_FALSE(commands().writeWav(missing));
    ASSERT_EQ(notice.shown.size(), 1u);
    EXPECT_NE(notice.shown[0].text.find(missing), std::u16string::npos);
    EXPECT_EQ(notice.shown[0].caption, u"Wavファイルへの保存エラー");
    // a full disk: the file opens, the writes fail (Wine shows the host's device as Z:)
#ifdef _WIN32
    const std::u16string full = u"Z:\\dev\\full";
#else
    const std::u16string full = u"/dev/full";
#endif
    EXPECT_FALSE(commands().writeWav(full));
    ASSERT_EQ(notice.shown.size(), 2u);
    EXPECT_NE(notice.shown[1].text.find(full), std::u16string::npos);
    // and a tone file the same
    ui.nextPath = full;
    ui.overwrite = true;
    commands().saveToneAs();
    ASSERT_EQ(notice.shown.size(), 3u);
    EXPECT_EQ(notice.shown[2].caption, u"ファイルの保存エラー");
}

TEST_F(FileCommandsTest, NewListAttachesWhatTheDialogSaved) {
    settings.writeText(keys::kEditList, u"old.tdl");
    commands().newList(); // cancelled
    EXPECT_EQ(ui.listDialogs, std::vector<std::u16string>{u""}) << "a new list";
    EXPECT_EQ(settings.readText(keys::kEditList, u"x"), u"old.tdl") << "only a list to attach is kept";
    EXPECT_EQ(tone.waveform, Sine);
    const std::u16string list = dir.path(u"n.tdl");
    ASSERT_TRUE(writeToneList(list, {u"100ミリ秒の無音。"}));
    ui.listOk = true;
    ui.listChosen = list;
    setKind(tone, ToneKind::LogSweep);
    commands().newList();
    EXPECT_EQ(tone.waveform, FromList);
    EXPECT_EQ(tone.flags & (ToneFlagSweep | ToneFlagLogSweep), 0);
    EXPECT_TRUE(tone.flags & ToneFlagFixedLength);
    EXPECT_EQ(listPathOf(tone), list);
    EXPECT_EQ(settings.readText(keys::kEditList, u""), list);
    EXPECT_EQ(refreshes, 1);
}

TEST_F(FileCommandsTest, OpenListStoresItsFolderAndEditingTheToneKeepsTheAttachedList) {
    const std::u16string list = dir.path(u"o.tdl");
    ASSERT_TRUE(writeToneList(list, {u"100ミリ秒の無音。"}));
    settings.writeText(keys::kEditList, u"C:\\before\\b.tdl");
    ui.nextPath = list;
    ui.listOk = true;
    ui.listChosen = list;
    commands().openList();
    EXPECT_EQ(ui.opens[0].title, u"トーン一覧を選択して開く");
    EXPECT_EQ(ui.opens[0].initialFile, u"C:\\before\\b.tdl");
    EXPECT_EQ(settings.readText(keys::kListFolder, u""), dir.root());
    EXPECT_EQ(ui.listDialogs, std::vector<std::u16string>{list});
    EXPECT_EQ(listPathOf(tone), list);
    // a cancelled New list attaches nothing; editing the tone opens its own list
    ui.listOk = false;
    commands().newList();
    const std::u16string other = dir.path(u"other.tdl");
    settings.writeText(keys::kEditList, other);
    ui.listOk = true;
    commands().editListOfTone();
    EXPECT_EQ(ui.listDialogs.back(), list);
    EXPECT_EQ(listPathOf(tone), list);
    // what the dialog answers is attached, even another list than it opened on
    ui.listChosen = other;
    ASSERT_TRUE(writeToneList(other, {u"200ミリ秒の無音。"}));
    commands().editListOfTone();
    EXPECT_EQ(ui.listDialogs.back(), list);
    EXPECT_EQ(listPathOf(tone), other);
}

TEST_F(FileCommandsTest, SaveListCopiesTheListOrWritesAWav) {
    const std::u16string list = dir.path(u"s.tdl");
    ASSERT_TRUE(writeToneList(list, {u"100ミリ秒の無音。"}));
    tone.waveform = FromList;
    tone.flags = ToneFlagFixedLength;
    setListPath(tone, list);
    ui.nextPath = dir.path(u"copy.tdl");
    commands().saveList();
    EXPECT_EQ(ui.saves[0].initialFile, list);
    EXPECT_EQ(ui.saves[0].filters[0], (FileFilter{u"トーン一覧", u"*.tdl;"}));
    EXPECT_EQ(readAll(dir.path(u"copy.tdl")), readAll(list));
    EXPECT_EQ(listPathOf(tone), dir.path(u"copy.tdl"));
    EXPECT_EQ(settings.readText(u"tonelist", u"savefolder", u""), dir.root());
    ui.nextPath = dir.path(u"list.wav");
    commands().saveList();
    EXPECT_EQ(readAll(dir.path(u"list.wav")).size(), 46u + 4410u * 4); // silences are 44100 Hz stereo
    ui.nextPath = dir.path(u"gone/copy.tdl");
    commands().saveList();
    ASSERT_EQ(notice.shown.size(), 1u);
    EXPECT_EQ(listPathOf(tone), dir.path(u"copy.tdl"));
}

TEST_F(FileCommandsTest, TheCompanionGetsATemporaryWavOrTheUserLearnsWhereItIs) {
    tone = defaultToneData(); // endless: written for the length its source reports
    commands().editInCompanion();
    ASSERT_EQ(ui.companionStarted.size(), 1u);
    const std::u16string path = ui.companionStarted[0];
    EXPECT_EQ(fileExtension(path), u".wav");
    EXPECT_EQ(ui.renderMessages, std::vector<std::u16string>{u"一時Waveファイルを保存しています"});
    EXPECT_GT(readAll(path).size(), 46u + 44100u * 2 * 59);
    ASSERT_EQ(notice.shown.size(), 1u);
    EXPECT_NE(notice.shown[0].text.find(path), std::u16string::npos);
    ui.companionFound = true;
    FileCommands c = commands();
    c.editInCompanion();
    EXPECT_NE(c.lastTemporaryFile(), path); // a new name each time
    EXPECT_EQ(notice.shown.size(), 1u);
    removeFile(path);
    removeFile(c.lastTemporaryFile());
}

} // namespace
} // namespace sonimo

namespace sonimo {
namespace {

TEST_F(FileCommandsTest, MissingFoldersAndFilesGiveDialogsWithoutAnInitialPlace) {
    commands().openTone();
    commands().openList();
    tone = fixedTone();
    commands().saveWav();
    commands().saveToneAs();
    ASSERT_EQ(ui.opens.size(), 2u);
    ASSERT_EQ(ui.saves.size(), 2u);
    for (const auto* list : {&ui.opens, &ui.saves})
        for (const FileDialogRequest& r : *list) {
            EXPECT_EQ(r.initialFile, u"");
            EXPECT_EQ(r.initialFolder, u"");
        }
    EXPECT_TRUE(notice.shown.empty());
}

} // namespace
} // namespace sonimo
