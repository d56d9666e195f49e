#include "ui/ToneListEditor.h"

#include "platform/File.h"
#include "platform/Notice.h"
#include "platform/Text.h"
#include "tone/ToneData.h"
#include "tone/ToneList.h"
#include "platform/SettingsKeys.h"

namespace sonimo {

namespace {

void error(const std::u16string& text, std::u16string_view caption) {
    currentNotice().show(text, caption, NoticeIcon::Error, NoticeButtons::Ok);
}

// Two names of one file compare equal: Windows paths ignore case and take either slash.
std::u16string samePathKey(std::u16string path) {
    for (char16_t& c : path) {
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
        else if (c == u'/')
            c = u'\\';
    }
    return path;
}

} // namespace

ToneListEditor::ToneListEditor(FileDialogs& ui, SettingsStore& settings, AskValue askText,
                               std::function<bool()> askSave)
    : ui_(ui), settings_(settings), askText_(std::move(askText)), askSave_(std::move(askSave)) {}

void ToneListEditor::open(const std::u16string& list) {
    modified_ = false;
    untitled_ = true;
    rows_.clear();
    path_ = list;
    if (!path_.empty()) {
        import(path_);
        if (fileExtension(path_) == u".tdl") untitled_ = false;
    } else {
        path_ = temporaryPath(u".tmp"); // written only when OK needs it
    }
}

void ToneListEditor::import(const std::u16string& path) {
    std::vector<std::u16string> open;
    toldCycle_ = toldDepth_ = toldSize_ = false;
    importInto(path, open, 0);
}

void ToneListEditor::importInto(const std::u16string& path, std::vector<std::u16string>& open, int depth) {
    if (rows_.size() >= static_cast<std::size_t>(kMaxListEntries)) {
        if (!toldSize_)
            error(u"一覧の行が多すぎるため、" + std::u16string(u"100000") +
                      u"行を超える部分は追加されませんでした。",
                  u"トーン一覧");
        toldSize_ = true;
        return;
    }
    const std::u16string ext = fileExtension(path);
    if (ext != u".tdl" && ext != u".tmp") {
        rows_.push_back(path);
        return;
    }
    const std::u16string key = samePathKey(path);
    bool cycle = false;
    for (const std::u16string& o : open)
        cycle = cycle || o == key;
    if (!cycle && depth >= kMaxListDepth) {
        // Deeper than a list may go when it plays: bounded, and said in its own words.
        if (!toldDepth_)
            error(u"一覧「" + path + u"」は一覧の中に" + utf8ToUtf16(std::to_string(kMaxListDepth)) +
                      u"段より深く入れ子になっているため、その行は追加されませんでした。",
                  u"トーン一覧");
        toldDepth_ = true;
        return;
    }
    if (cycle) {
        // A list that names itself, directly or through others, would never end.
        if (!toldCycle_)
            error(u"一覧「" + path + u"」は自分自身を含んでいるため、その行は追加されませんでした。",
                  u"トーン一覧");
        toldCycle_ = true;
        return;
    }
    File file;
    if (!file.open(path, File::Mode::ReadShared)) return;
    open.push_back(key);
    LineReader reader(file);
    std::u16string line;
    while (reader.readLine(line))
        importInto(line, open, depth + 1);
    open.pop_back();
}

void ToneListEditor::addTone() {
    const auto chosen =
        ui_.openFile({u"ファイルを選択",
                      {{u"トーンファイル", u"*.tdf"}, {u"Waveファイル", u"*.wav"}, {u"トーン一覧", u"*.tdl"}},
                      u"",
                      u"",
                      settings_.readText(keys::kAddToneFolder, u"")});
    if (!chosen) return;
    settings_.writeText(keys::kAddToneFolder, folderOf(*chosen));
    std::u16string path = *chosen;
    const std::u16string ext = fileExtension(path);
    if (ext == u".tdf") {
        ToneData tone = defaultToneData();
        if (!loadToneFile(tone, path)) tone = defaultToneData(); // counts as endless
        if (tone.loop || !(tone.flags & ToneFlagFixedLength)) {
            error(u"無限時間のトーンを一覧に追加することはできません。選択したトーンが継続して再生されるタイ"
                  u"プや繰り返し再生されるタイプのものでないことを確認してください。",
                  u"");
            return;
        }
        if (tone.waveform == FromList) path = listPathOf(tone);
    } else if (ext != u".wav" && ext != u".tdl") {
        return;
    }
    import(path);
    modified_ = true;
}

void ToneListEditor::addSilence() {
    const auto typed = askText_(u"一覧に無音を追加", u"無音の長さをミリ秒単位で入力してください：", u"");
    if (!typed || typed->empty()) return;
    std::u16string entry = *typed;
    for (std::size_t i = 0; i < entry.size() && i < 21; ++i) {
        const char16_t c = entry[i];
        if (!((c >= u'0' && c <= u'9') || c == u'.')) {
            error(u"長さの値は数字で指定する必要があります。", u"");
            return;
        }
    }
    if (LeadingInteger(entry) > static_cast<long long>(kMaxLengthMs)) {
        error(u"正数を入力してください", u"時間");
        entry = u"1000";
    }
    rows_.push_back(entry + std::u16string(kSilenceSuffix));
    modified_ = true;
}

std::vector<int> ToneListEditor::moveUp(const std::vector<int>& selected) {
    if (selected.size() != 1 || selected[0] < 0 || selected[0] >= static_cast<int>(rows_.size()))
        return selected;
    const int from = selected[0];
    const int to = from > 0 ? from - 1 : 0;
    std::u16string text = rows_[from];
    rows_.erase(rows_.begin() + from);
    rows_.insert(rows_.begin() + to, std::move(text));
    modified_ = true;
    return {to};
}

std::vector<int> ToneListEditor::moveDown(const std::vector<int>& selected) {
    if (selected.size() != 1 || selected[0] < 0 || selected[0] >= static_cast<int>(rows_.size()))
        return selected;
    const int from = selected[0];
    const int to = from + 1 < static_cast<int>(rows_.size()) ? from + 1 : from;
    std::u16string text = rows_[from];
    rows_.erase(rows_.begin() + from);
    rows_.insert(rows_.begin() + to, std::move(text));
    modified_ = true;
    return {to};
}

std::vector<int> ToneListEditor::deleteRows(const std::vector<int>& selected) {
    std::vector<bool> gone(rows_.size());
    bool any = false;
    for (int i : selected)
        if (i >= 0 && i < static_cast<int>(rows_.size())) any = gone[i] = true;
    std::vector<std::u16string> kept;
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (!gone[i]) kept.push_back(std::move(rows_[i]));
    rows_ = std::move(kept);
    if (any) modified_ = true;
    return {};
}

bool ToneListEditor::refuseEmpty() {
    if (!rows_.empty()) return false;
    currentNotice().show(u"一覧が空です。データを挿入後再度お試しください。", u"トーン一覧に名前を付けて保存",
                         NoticeIcon::Warning, NoticeButtons::Ok);
    return true;
}

bool ToneListEditor::write(const std::u16string& path) {
    if (writeToneList(path, rows_)) return true;
    // The rows are not in the file: say so, and keep them marked as changed.
    error(u"トーン一覧「" + path +
              u"」を保存できませんでした。\n\nフォルダーに書き込めないか、ディスクがいっぱいの可能性がありま"
              u"す。",
          u"ファイルの保存エラー");
    return false;
}

bool ToneListEditor::saveUnder(bool clearUntitled) {
    std::optional<std::u16string> path = ui_.saveFile({u"トーン一覧に名前を付けて保存",
                                                       {{u"トーン一覧ファイル", u"*.tdl"}},
                                                       u"tdl",
                                                       u"",
                                                       settings_.readText(keys::kListSaveFolder, u"")});
    if (path && fileExists(*path) && !ui_.confirmOverwrite(*path)) path.reset();
    if (!path) return false;
    settings_.writeText(keys::kListSaveFolder, folderOf(*path));
    if (!write(*path)) return false;
    path_ = *path;
    modified_ = false;
    if (clearUntitled) untitled_ = false;
    return true;
}

bool ToneListEditor::saveList() {
    if (refuseEmpty()) return false;
    if (untitled_) return saveUnder(true);
    if (modified_ && !write(path_)) return false;
    modified_ = false;
    return true;
}

bool ToneListEditor::saveListAs() {
    if (refuseEmpty()) return false;
    return saveUnder(false);
}

std::optional<std::u16string> ToneListEditor::ok() {
    if (refuseEmpty()) return std::nullopt;
    if (!modified_) return path_;
    if (askSave_()) {
        if (!saveList()) return std::nullopt;
        return path_;
    }
    const std::u16string temporary = temporaryPath(u".tmp");
    if (!write(temporary)) return std::nullopt;
    return temporary;
}

} // namespace sonimo
