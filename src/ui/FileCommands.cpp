#include "ui/FileCommands.h"

#include <cstdio>

#include "audio/RenderTask.h"
#include "audio/ToneRenderer.h"
#include "audio/WaveFileWriter.h"
#include "platform/File.h"
#include "platform/Notice.h"
#include "platform/Process.h"
#include "platform/Text.h"
#include "tone/ToneList.h"
#include "ui/OptionsModel.h"
#include "platform/SettingsKeys.h"

namespace sonimo {

namespace {

std::u16string lowerAscii(std::u16string s) {
    for (char16_t& c : s)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return s;
}

void error(const std::u16string& text, std::u16string_view caption,
           NoticeModality modality = NoticeModality::Window) {
    currentNotice().show(text, caption, NoticeIcon::Error, NoticeButtons::Ok, modality);
}

constexpr std::u16string_view kWavErrorCaption = u"Wavファイルへの保存エラー";

// Copies a file, replacing the target; false when anything of it failed.
bool copyFile(const std::u16string& from, const std::u16string& to) {
    File in, out;
    if (!in.open(from, File::Mode::ReadShared) || !out.open(to, File::Mode::CreateExclusive)) return false;
    char buffer[65536];
    for (;;) {
        const std::int64_t got = in.read(buffer, sizeof buffer);
        if (got < 0) return false;
        if (got == 0) return true;
        if (out.write(buffer, got) != got) return false;
    }
}

} // namespace

std::u16string folderOf(const std::u16string& path) {
    const std::size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

std::u16string temporaryPath(const std::u16string& extension) {
    static std::uint32_t counter = 0; // process-wide, as the names are
    const std::u16string folder = temporaryFolder();
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "%u-%u-", currentProcessId(), currentThreadId());
    for (;;) {
        const std::u16string path = folder + utf8ToUtf16(prefix + std::to_string(counter++)) + extension;
        if (!fileExists(path)) return path;
    }
}

FileCommands::FileCommands(ToneData& tone, FileCommandUi& ui, SettingsStore& settings,
                           std::function<void()> refresh)
    : tone_(tone), ui_(ui), settings_(settings), refresh_(std::move(refresh)) {}

std::optional<std::u16string> FileCommands::askSavePath(const FileDialogRequest& request) {
    std::optional<std::u16string> path = ui_.saveFile(request);
    if (path && fileExists(*path) && !ui_.confirmOverwrite(*path)) return std::nullopt;
    return path;
}

// --- tone files --------------------------------------------------------------------------

void FileCommands::openTone() {
    const auto path = ui_.openFile({u"トーンを選択して開く",
                                    {{u"トーンデータファイル", u"*.tdf"}},
                                    u"tdf",
                                    settings_.readText(keys::kToneFile, u""),
                                    settings_.readText(keys::kToneFolder, u"")});
    if (path) loadToneFile(*path);
}

void FileCommands::loadToneFile(const std::u16string& path) {
    settings_.writeText(keys::kToneFile, path);
    settings_.writeText(keys::kToneFolder, folderOf(path));
    if (fileExtension(path) != u".tdf") {
        error(u"トーンファイルのタイプが認識されません。", u"ファイルのタイプが認識されません",
              NoticeModality::Task);
        return;
    }
    if (!sonimo::loadToneFile(tone_, path)) {
        tone_ = defaultToneData();
        error(u"ファイルの読み込みエラー： \n " + path +
                  u"。 \n 破損したファイルまたはSonimoでは非対応のファイルの可能性があります。",
              u"エラー");
    }
    refresh_();
}

void FileCommands::storeToneFile(const std::u16string& path) {
    settings_.writeText(keys::kToneFile, path);
    settings_.writeText(keys::kToneFolder, folderOf(path));
    // A failed write must not pass for a saved tone.
    if (!saveToneFile(tone_, path))
        error(u"トーンファイル「" + path +
                  u"」を保存できませんでした。\n\nフォルダーに書き込めないか、ディスクがいっぱいの可能性があ"
                  u"ります。",
              u"ファイルの保存エラー");
}

void FileCommands::saveToneAs() {
    if (tone_.waveform == FromList) {
        error(u"一覧タイプのトーンはトーンファイルとして保存することができません。「一覧を保存」をメニューか"
              u"ら選択し、トーン一覧ファイルとして保存します。",
              kSystemCaption);
        return;
    }
    const auto path = askSavePath({u"トーンファイルとして保存",
                                   {{u"トーンデータのファイル", u"*.tdf"}},
                                   u"tdf",
                                   settings_.readText(keys::kToneFile, u""),
                                   settings_.readText(keys::kToneFolder, u"")});
    if (path) storeToneFile(*path);
}

void FileCommands::saveTone() {
    if (tone_.waveform == FromList) {
        saveList();
        return;
    }
    const auto path = askSavePath({u"トーンに名前を付けて保存",
                                   {{u"トーンファイル", u"*.tdf"}, {u"Waveファイル", u"*.wav"}},
                                   u"tdf",
                                   settings_.readText(keys::kToneFile, u""),
                                   settings_.readText(keys::kToneFolder, u"")});
    if (!path) return;
    if (fileExtension(*path) == u".tdf")
        storeToneFile(*path);
    else
        writeWav(*path);
}

// --- WAV files ---------------------------------------------------------------------------

bool FileCommands::wavTest() {
    if (!(tone_.flags & ToneFlagFixedLength)) {
        error(u"一定の長さに指定されているトーンはWavファイルでのみ保存できます。 "
              u"\n\n長さが指定されていません。トーンメニューから定数（一定時間）または掃引アイテムを選択して"
              u"ください。",
              kWavErrorCaption);
        return false;
    }
    if (tone_.loop == 1) {
        error(u"ループ再生が設定されているトーンはWavファイルでは保存できません。 "
              u"\n\nループ再生をオフにしてください。",
              kWavErrorCaption);
        return false;
    }
    return true;
}

void FileCommands::saveWav() {
    if (!wavTest()) return;
    const auto path = askSavePath({u"Waveファイルとして保存...",
                                   {{u"Wave ファイル", u"*.wav"}},
                                   u"wav",
                                   u"",
                                   settings_.readText(keys::kToneFolder, u"")});
    if (path) writeWav(*path);
}

bool FileCommands::writeWav(const std::u16string& path) {
    if (!wavTest()) return false;
    settings_.writeText(keys::kToneFolder, folderOf(path));
    SourceRef source = RenderToneAtSettingsRate(tone_, settings_);
    SinkRef wav = CreateWaveFileWriter(path, source->sampleRate, source->channels);
    const bool created = !wav->failed();
    const int result = created ? ui_.render(u"ファイルを保存しています", source, wav) : RenderFailed;
    wav.release(); // completes the file: whatever it holds is a valid WAV
    source.release();
    // A file that could not be written must not pass for a saved one.
    if (result == RenderFailed) {
        error(u"Wavファイル「" + path +
                  u"」を保存できませんでした。\n\nフォルダーに書き込めないか、ディスクがいっぱいの可能性があ"
                  u"ります。",
              kWavErrorCaption);
        return false;
    }
    return result == RenderCompleted;
}

// --- lists -------------------------------------------------------------------------------

// The one place the list dialog's answer arrives: the list to attach, which is also the one
// kept as "editlist" (the next Open list starts there).
std::optional<std::u16string> FileCommands::listDialog(const std::u16string& list) {
    std::optional<std::u16string> chosen = ui_.editList(list);
    if (!chosen || chosen->empty()) return std::nullopt;
    settings_.writeText(keys::kEditList, *chosen);
    return chosen;
}

void FileCommands::attachList(const std::u16string& list) {
    tone_.waveform = FromList;
    setListPath(tone_, list);
    tone_.flags =
        static_cast<std::uint16_t>((tone_.flags & ~(ToneFlagSweep | ToneFlagLogSweep)) | ToneFlagFixedLength);
}

void FileCommands::newList() {
    const std::optional<std::u16string> list = listDialog(u"");
    if (!list) return;
    attachList(*list);
    refresh_(); // measures the list into lengthMs
}

void FileCommands::openList() {
    const auto path = ui_.openFile({u"トーン一覧を選択して開く",
                                    {{u"トーン一覧ファイル", u"*.tdl"}},
                                    u"tdl",
                                    settings_.readText(keys::kEditList, u""),
                                    settings_.readText(keys::kListFolder, u"")});
    if (!path) return;
    settings_.writeText(keys::kListFolder, folderOf(*path));
    editAttachedList(*path);
}

void FileCommands::editAttachedList(const std::u16string& list) {
    if (fileExtension(list) != u".tdl") {
        error(u"トーン一覧ファイルではありません", u"ファイルのタイプが認識されません", NoticeModality::Task);
        refresh_();
        return;
    }
    if (const std::optional<std::u16string> edited = listDialog(list)) attachList(*edited);
    refresh_();
}

void FileCommands::editListOfTone() {
    // The dialog opens on the list the tone holds, whatever "editlist" names.
    if (const std::optional<std::u16string> edited = listDialog(listPathOf(tone_))) {
        attachList(*edited);
        refresh_();
    }
}

void FileCommands::saveList() {
    const auto path = askSavePath({u"トーン一覧をファイルに保存",
                                   {{u"トーン一覧", u"*.tdl;"}, {u"Waveファイル", u"*.wav"}},
                                   u"tdl",
                                   listPathOf(tone_),
                                   settings_.readText(keys::kListSaveFolder, u"")});
    if (!path) return;
    settings_.writeText(keys::kListSaveFolder, folderOf(*path));
    if (fileExtension(*path) == u".wav") {
        writeWav(*path);
        return;
    }
    const std::u16string from = listPathOf(tone_);
    if (from == *path) return; // already there: copying a file onto itself would empty it
    if (!copyFile(from, *path)) {
        error(u"トーン一覧「" + *path + u"」を保存できませんでした。", u"ファイルの保存エラー");
        return;
    }
    setListPath(tone_, *path);
    refresh_();
}

// --- the companion editor and the command line -------------------------------------------------

void FileCommands::editInCompanion() {
    lastTemporaryFile_ = temporaryPath(u".wav");
    SourceRef source = RenderToneAtSettingsRate(tone_, settings_);
    SinkRef wav = CreateWaveFileWriter(lastTemporaryFile_, source->sampleRate, source->channels);
    if (!wav->failed()) ui_.render(u"一時Waveファイルを保存しています", source, wav);
    wav.release();
    source.release();
    if (!ui_.startCompanion(lastTemporaryFile_))
        currentNotice().show(
            u"Cantrelが見つからないため、起動できませんでした。\n\nトーンは一時Waveファイル「" +
                lastTemporaryFile_ + u"」に保存されています。",
            u"Cantrelで編集", NoticeIcon::Information, NoticeButtons::Ok);
}

void FileCommands::openPath(const std::u16string& path) {
    const std::u16string ext = lowerAscii(fileExtension(path));
    if (ext.empty()) return;
    if (ext == u".tdf") {
        loadToneFile(path);
    } else if (ext == u".tdl") {
        setListPath(tone_, path);
        editAttachedList(path);
    } else {
        error(u"ファイルのタイプが認識されません。", u"Sonimoでは処理できないタイプのファイルです。",
              NoticeModality::Task);
    }
}

} // namespace sonimo
