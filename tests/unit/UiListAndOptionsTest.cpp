// The tone list dialog's rows and flags, and the options' loading and storing, without windows.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "platform/File.h"
#include "platform/MemorySettingsStore.h"
#include "tone/ToneData.h"
#include "tone/ToneList.h"
#include "ui/OptionsModel.h"
#include "platform/SettingsKeys.h"
#include "ui/ToneListEditor.h"

namespace sonimo {
namespace {

class ScriptedDialogs final : public FileCommandUi {
public:
    std::vector<std::optional<std::u16string>> paths; // answers of the file dialogs, in turn
    int fileDialogs = 0;
    std::optional<std::u16string> openFile(const FileDialogRequest& r) override { return next(r); }
    std::optional<std::u16string> saveFile(const FileDialogRequest& r) override { return next(r); }
    bool confirmOverwrite(const std::u16string&) override { return true; }
    int render(const std::u16string&, const SourceRef&, const SinkRef&) override { return 2; }
    std::optional<std::u16string> editList(const std::u16string&) override { return std::nullopt; }
    bool startCompanion(const std::u16string&) override { return false; }
    FileDialogRequest last;

private:
    std::optional<std::u16string> next(const FileDialogRequest& r) {
        last = r;
        ++fileDialogs;
        if (paths.empty()) return std::nullopt;
        auto p = paths.front();
        paths.erase(paths.begin());
        return p;
    }
};

class ListEditorTest : public ::testing::Test {
protected:
    ToneListEditor editor() {
        return ToneListEditor(
            ui, settings,
            [this](const std::u16string&, const std::u16string&, const std::u16string&) {
                auto a = typed.empty() ? std::nullopt : typed.front();
                if (!typed.empty()) typed.erase(typed.begin());
                return a;
            },
            [this] { return saveAnswer; });
    }
    std::u16string toneFile(const char16_t* name, ToneKind kind, int waveform = Sine, bool loop = false) {
        ToneData t = defaultToneData();
        setWaveform(t, waveform);
        setKind(t, kind);
        t.lengthMs = 2000;
        if (loop) t.loop = 1;
        const std::u16string path = dir.path(name);
        EXPECT_TRUE(saveToneFile(t, path));
        return path;
    }

    MemorySettingsStore settings;
    RecordingNotice notice;
    TempDir dir;
    ScriptedDialogs ui;
    std::vector<std::optional<std::u16string>> typed;
    bool saveAnswer = true;
};

TEST_F(ListEditorTest, OpeningANewListNamesATemporaryFile) {
    auto e = editor();
    e.open(u"");
    EXPECT_TRUE(e.rows().empty());
    EXPECT_TRUE(e.untitled());
    EXPECT_FALSE(e.modified());
    EXPECT_EQ(fileExtension(e.path()), u".tmp");
    EXPECT_FALSE(fileExists(e.path())) << "written only when OK needs it";
}

TEST_F(ListEditorTest, EndlessAndLoopedTonesAreRefusedAndAFixedNoiseIsAccepted) {
    auto e = editor();
    e.open(u"");
    ui.paths = {toneFile(u"c.tdf", ToneKind::ConstantContinuous),
                toneFile(u"l.tdf", ToneKind::ConstantFixed, Sine, true),
                toneFile(u"n.tdf", ToneKind::ConstantFixed, PinkNoise), dir.path(u"x.mp3")};
    e.addTone();
    e.addTone();
    ASSERT_EQ(notice.shown.size(), 2u);
    EXPECT_NE(notice.shown[0].text.find(u"無限時間のトーンを一覧に追加することはできません"),
              std::u16string::npos);
    EXPECT_TRUE(e.rows().empty());
    EXPECT_EQ(ui.last.title, u"ファイルを選択");
    EXPECT_EQ(ui.last.filters.size(), 3u);
    e.addTone();
    EXPECT_EQ(e.rows(), std::vector<std::u16string>{dir.path(u"n.tdf")});
    EXPECT_TRUE(e.modified());
    EXPECT_EQ(settings.readText(u"tonelist", u"read folder", u""), dir.root());
    e.addTone(); // another type: nothing, silently
    EXPECT_EQ(e.rows().size(), 1u);
    EXPECT_EQ(notice.shown.size(), 2u);
}

TEST_F(ListEditorTest, AListIsAddedAsItsLinesWithNestedListsFlattenedAndCyclesStopped) {
    const std::u16string inner = dir.path(u"inner.tdl"), outer = dir.path(u"outer.tdl"),
                         self = dir.path(u"self.tdl");
    ASSERT_TRUE(writeToneList(inner, {u"100ミリ秒の無音。", dir.path(u"a.wav")}));
    ASSERT_TRUE(writeToneList(outer, {dir.path(u"b.wav"), inner, u"200ミリ秒の無音。"}));
    ASSERT_TRUE(writeToneList(self, {u"5ミリ秒の無音。", dir.path(u"SELF.TDL"), outer, self}));
    auto e = editor();
    e.open(u"");
    ui.paths = {outer};
    e.addTone();
    EXPECT_EQ(e.rows(), (std::vector<std::u16string>{dir.path(u"b.wav"), u"100ミリ秒の無音。",
                                                     dir.path(u"a.wav"), u"200ミリ秒の無音。"}));
    e.import(self);
    // its silence, "SELF.TDL" as a plain row (only ".tdl" is a list), outer's four; itself left out
    EXPECT_EQ(e.rows().size(), 4u + 1u + 1u + 4u);
    ASSERT_EQ(notice.shown.size(), 1u); // told once
    EXPECT_NE(notice.shown[0].text.find(u"自分自身を含んでいる"), std::u16string::npos);
}

TEST_F(ListEditorTest, AFanOutOfListsStopsAtTheRowLimit) {
    const std::u16string leaf = dir.path(u"leaf.tdl"), mid = dir.path(u"mid.tdl"), top = dir.path(u"top.tdl");
    ASSERT_TRUE(writeToneList(leaf, std::vector<std::u16string>(300, u"1ミリ秒の無音。")));
    ASSERT_TRUE(writeToneList(mid, std::vector<std::u16string>(300, leaf)));
    ASSERT_TRUE(writeToneList(top, std::vector<std::u16string>(300, mid)));
    auto e = editor();
    e.import(top);
    EXPECT_EQ(e.rows().size(), static_cast<std::size_t>(kMaxListEntries));
    EXPECT_EQ(notice.shown.size(), 1u);
}

TEST_F(ListEditorTest, SilencesAreCheckedAsTyped) {
    auto e = editor();
    e.open(u"");
    typed = {u"250", u"1.5", u"2s", u"20000000", u"", std::nullopt};
    for (int i = 0; i < 6; ++i)
        e.addSilence();
    EXPECT_EQ(e.rows(), (std::vector<std::u16string>{u"250ミリ秒の無音。", u"1.5ミリ秒の無音。",
                                                     u"1000ミリ秒の無音。"}));
    ASSERT_EQ(notice.shown.size(), 2u);
    EXPECT_EQ(notice.shown[0].text, u"長さの値は数字で指定する必要があります。");
    EXPECT_EQ(notice.shown[1].text, u"正数を入力してください");
    EXPECT_EQ(parseToneListLine(e.rows()[1]).silenceMs, 1); // read back as 1 ms
}

TEST_F(ListEditorTest, MovesAtTheEndsKeepTheOrderButCountAsChanges) {
    const std::u16string list = dir.path(u"m.tdl");
    ASSERT_TRUE(writeToneList(list, {u"1ミリ秒の無音。", u"2ミリ秒の無音。", u"3ミリ秒の無音。"}));
    auto e = editor();
    e.open(list);
    EXPECT_FALSE(e.untitled());
    EXPECT_EQ(e.moveUp({0}), std::vector<int>{0});
    EXPECT_TRUE(e.modified());
    EXPECT_EQ(e.moveDown({2}), std::vector<int>{2});
    EXPECT_EQ(e.rows()[0], u"1ミリ秒の無音。");
    EXPECT_EQ(e.moveDown({0}), std::vector<int>{1});
    EXPECT_EQ(e.rows()[1], u"1ミリ秒の無音。");
    EXPECT_EQ(e.moveUp({0, 1}), (std::vector<int>{0, 1})); // two rows: nothing
    e.deleteRows({0, 2});
    EXPECT_EQ(e.rows(), std::vector<std::u16string>{u"1ミリ秒の無音。"});
    e.saveList(); // titled and modified: written in place
    EXPECT_FALSE(e.modified());
    EXPECT_EQ(readToneList(list).entries.size(), 1u);
}

TEST_F(ListEditorTest, OkWithCancelAttachesATemporaryListOfTheRows) {
    auto e = editor();
    e.open(u"");
    EXPECT_FALSE(e.ok()); // empty: refused with the warning
    EXPECT_EQ(notice.shown.back().icon, NoticeIcon::Warning);
    typed = {u"250"};
    e.addSilence();
    saveAnswer = false;
    const std::optional<std::u16string> ok = e.ok();
    ASSERT_TRUE(ok);
    const std::u16string attached = *ok;
    EXPECT_EQ(fileExtension(attached), u".tmp");
    EXPECT_EQ(readToneList(attached).entries.size(), 1u);
    removeFile(attached);
}

TEST_F(ListEditorTest, AfterSaveListAsANewListStillAsksForAName) {
    auto e = editor();
    e.open(u"");
    typed = {u"10", u"20", u"30"};
    e.addSilence();
    ui.paths = {dir.path(u"as.tdl")};
    e.saveListAs();
    EXPECT_FALSE(e.modified());
    EXPECT_TRUE(e.untitled());
    EXPECT_EQ(e.path(), dir.path(u"as.tdl"));
    EXPECT_EQ(settings.readText(u"tonelist", u"savefolder", u""), dir.root());
    e.addSilence();
    const int before = ui.fileDialogs;
    ui.paths = {dir.path(u"named.tdl")};
    e.saveList();
    EXPECT_EQ(ui.fileDialogs, before + 1);
    EXPECT_FALSE(e.untitled());
    EXPECT_EQ(readToneList(dir.path(u"named.tdl")).entries.size(), 2u);
    // a list that cannot be written says so and stays modified
    e.addSilence();
    ui.paths = {dir.path(u"missing/x.tdl")};
    e.saveListAs();
    EXPECT_TRUE(e.modified());
    EXPECT_EQ(notice.shown.back().caption, u"ファイルの保存エラー");
}

TEST_F(ListEditorTest, SaveListAndSaveListAsRefuseAnEmptyListWithTheWarning) {
    auto e = editor();
    e.open(u"");
    EXPECT_FALSE(e.saveList());
    EXPECT_FALSE(e.saveListAs());
    EXPECT_EQ(ui.fileDialogs, 0);
    ASSERT_EQ(notice.shown.size(), 2u);
    for (const RecordedNotice& n : notice.shown) {
        EXPECT_EQ(n.text, u"一覧が空です。データを挿入後再度お試しください。");
        EXPECT_EQ(n.caption, u"トーン一覧に名前を付けて保存");
        EXPECT_EQ(n.icon, NoticeIcon::Warning);
    }
}

TEST_F(ListEditorTest, AddToneOnAListToneImportsTheListBehindIt) {
    const std::u16string inner = dir.path(u"inner.tdl");
    ASSERT_TRUE(writeToneList(inner, {u"10ミリ秒の無音。", u"20ミリ秒の無音。"}));
    ToneData t = defaultToneData();
    t.waveform = FromList;
    t.flags = ToneFlagFixedLength;
    setListPath(t, inner);
    ASSERT_TRUE(saveToneFile(t, dir.path(u"list.tdf")));
    auto e = editor();
    e.open(u"");
    ui.paths = {dir.path(u"list.tdf")};
    e.addTone();
    EXPECT_EQ(e.rows(), (std::vector<std::u16string>{u"10ミリ秒の無音。", u"20ミリ秒の無音。"}));
    EXPECT_TRUE(e.modified());
}

// The list a dialog saves to is its own: "editlist" rewritten meanwhile (another dialog, a
// forwarded file) does not send its rows elsewhere, and the dialog leaves it alone.
TEST_F(ListEditorTest, SaveListWritesTheListTheDialogOpenedOn) {
    const std::u16string a = dir.path(u"a.tdl"), b = dir.path(u"b.tdl");
    ASSERT_TRUE(writeToneList(a, {u"1ミリ秒の無音。"}));
    ASSERT_TRUE(writeToneList(b, {u"2ミリ秒の無音。"}));
    auto e = editor();
    e.open(a);
    typed = {u"3"};
    e.addSilence();
    settings.writeText(keys::kEditList, b);
    EXPECT_TRUE(e.saveList());
    EXPECT_EQ(readToneList(a).entries.size(), 2u);
    EXPECT_EQ(readToneList(b).entries.size(), 1u);
    EXPECT_EQ(e.ok(), a); // unchanged since: A is the list to attach
    EXPECT_EQ(settings.readText(keys::kEditList, u""), b);
}

// OK answered "保存" on a titled list whose file cannot be written: the dialog stays.
TEST_F(ListEditorTest, OkKeepsTheDialogWhenTheSaveFails) {
    const std::u16string gone = dir.path(u"missing/a.tdl");
    auto e = editor();
    e.open(gone);
    EXPECT_FALSE(e.untitled());
    typed = {u"3"};
    e.addSilence();
    saveAnswer = true;
    EXPECT_FALSE(e.ok());
    EXPECT_TRUE(e.modified());
    EXPECT_EQ(notice.shown.back().caption, u"ファイルの保存エラー");
    saveAnswer = false; // "キャンセル": the rows go to a temporary list instead
    const std::optional<std::u16string> temporary = e.ok();
    ASSERT_TRUE(temporary);
    EXPECT_EQ(fileExtension(*temporary), u".tmp");
    EXPECT_EQ(readToneList(*temporary).entries.size(), 1u);
    removeFile(*temporary);
}

TEST(Options, LoadGivesTheDefaultsForMissingAndWrongValues) {
    MemorySettingsStore s;
    OptionsState o = loadOptions(s);
    EXPECT_FALSE(o.autoplay);
    EXPECT_EQ(o.sampleRateIndex, 6);
    EXPECT_TRUE(o.semitoneMode);
    EXPECT_EQ(o.semitones, 1);
    EXPECT_EQ(o.hertzText, u"1.0");
    for (const char16_t* bad : {u"", u"abc", u"99", u"-3"}) {
        s.writeText(u"Settings", u"SampleRate", bad);
        s.writeText(u"settings", u"frequency increment step", bad);
        s.writeText(u"settings", u"semitoneval", bad);
        s.writeText(u"settings", u"frequencyval", u"");
        o = loadOptions(s);
        EXPECT_EQ(o.sampleRateIndex, 6);
        EXPECT_EQ(o.semitones, 1);
        EXPECT_EQ(o.hertzText, u"1.0");
    }
    s.writeText(u"settings", u"autoplay", u"0");
    EXPECT_FALSE(loadOptions(s).autoplay);
    s.writeText(u"settings", u"autoplay", u"yes");
    EXPECT_TRUE(loadOptions(s).autoplay);
}

TEST(Options, StepValuesAreCheckedForTheirModeAndStoredAsTyped) {
    MemorySettingsStore s;
    RecordingNotice notice;
    OptionsState o;
    o.autoplay = true;
    o.sampleRateIndex = 7;
    for (const char16_t* refused : {u"0", u"13", u"x"}) {
        o.semitoneText = refused;
        EXPECT_EQ(storeOptions(o, u"dev", s), OptionsResult::SemitoneRefused);
    }
    EXPECT_EQ(notice.shown.size(), 3u);
    EXPECT_EQ(notice.shown[0].caption, u"再生設定");
    // what comes before the check is stored already
    EXPECT_TRUE(s.readBool(u"settings", u"autoplay", false));
    EXPECT_EQ(s.readText(u"Player", u"Device", u""), u"dev");
    EXPECT_EQ(s.readInt(u"Settings", u"SampleRate", 0), 7);
    EXPECT_FALSE(s.hasValue(u"settings", u"semitone increment"));
    o.semitoneText = u" 12 ";
    EXPECT_EQ(storeOptions(o, u"dev", s), OptionsResult::Stored);
    EXPECT_EQ(s.readText(u"settings", u"frequency increment step", u""), u"12");
    o.semitoneMode = false;
    for (const char16_t* refused : {u"0.5", u"22000.1", u"abc"}) {
        o.hertzText = refused;
        EXPECT_EQ(storeOptions(o, u"dev", s), OptionsResult::HertzRefused) << notice.shown.size();
    }
    EXPECT_EQ(notice.shown.back().text, u"0～22000の間の周波数をヘルツで入力してください");
    for (const char16_t* accepted : {u"1", u"22000", u"2.50"}) {
        o.hertzText = accepted;
        EXPECT_EQ(storeOptions(o, u"dev", s), OptionsResult::Stored);
    }
    EXPECT_EQ(s.readText(u"settings", u"frequency increment step", u""), u"2.50");
    EXPECT_EQ(s.readText(u"settings", u"frequencyval", u""), u"2.50");
    EXPECT_EQ(s.readText(u"settings", u"semitone increment", u""), u"0");
    // reopening in hertz mode shows it, and the semitone field keeps its last text
    const OptionsState again = loadOptions(s);
    EXPECT_FALSE(again.semitoneMode);
    EXPECT_EQ(again.hertzText, u"2.50");
    EXPECT_EQ(again.semitoneText, u"12");
}

} // namespace
} // namespace sonimo
