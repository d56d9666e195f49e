// The file commands of the main window without a window: open and save tone files, save
// the tone as a WAV file, create, open and save tone lists, hand the tone to the companion
// editor, open a file named on the command line. Everything modal (file dialogs, the
// overwrite question, the progress dialog, the tone list dialog, starting the companion
// program) goes through FileCommandUi, which the program implements with real dialogs and
// tests with scripted answers. User-interface thread only.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "audio/SampleSink.h"
#include "platform/SettingsStore.h"
#include "synth/SampleSource.h"
#include "tone/ToneData.h"

namespace sonimo {

struct FileFilter {
    std::u16string name;
    std::u16string pattern;
    bool operator==(const FileFilter&) const = default;
};

struct FileDialogRequest {
    std::u16string title;
    std::vector<FileFilter> filters;
    std::u16string defaultExtension;
    std::u16string initialFile;   // the dialog starts in its folder, with an empty name field
    std::u16string initialFolder; // used when there is no initial file
};

// The open and save dialogs and the overwrite question: all the tone list dialog asks.
class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // The chosen path, or nothing when cancelled.
    virtual std::optional<std::u16string> openFile(const FileDialogRequest& request) = 0;
    virtual std::optional<std::u16string> saveFile(const FileDialogRequest& request) = 0;
    // "「%s」ファイルは既に存在しています。上書きしますか？" with "上書きする" / "キャンセル".
    virtual bool confirmOverwrite(const std::u16string& path) = 0;
};

class FileCommandUi : public FileDialogs {
public:
    // Runs the render under the modal progress dialog; the RenderTask result.
    virtual int render(const std::u16string& message, const SourceRef& source, const SinkRef& sink) = 0;
    // The tone list dialog on `list` (empty for a new list): the list to attach when it
    // closed with OK, nothing when it was cancelled.
    virtual std::optional<std::u16string> editList(const std::u16string& list) = 0;
    // Starts the companion editor on a file; false when it is not installed or did not start.
    virtual bool startCompanion(const std::u16string& path) = 0;
};

// The folder part of a path: up to its last "\" or "/", without it.
std::u16string folderOf(const std::u16string& path);
// A name in the temporary folder: "pid-tid-n" and `extension`, n (one counter for the
// process) counting up until the name is free.
std::u16string temporaryPath(const std::u16string& extension);

class FileCommands {
public:
    // `tone`, `ui` and `settings` are borrowed; `refresh` applies a changed tone (grid and
    // playback).
    FileCommands(ToneData& tone, FileCommandUi& ui, SettingsStore& settings, std::function<void()> refresh);

    void openTone();
    void saveToneAs();
    void saveTone();
    void saveWav();
    // Writes the current tone as a WAV file under the progress dialog; false when the WAV
    // test refused it or the file could not be written completely (the user was told).
    bool writeWav(const std::u16string& path);
    void newList();
    void openList();
    // The list dialog on `list`, a ".tdl" file (the message otherwise).
    void editAttachedList(const std::u16string& list);
    void saveList();
    void editInCompanion();
    void openPath(const std::u16string& path);
    // The list edit of the value grid: the attached list in the list dialog.
    void editListOfTone();

    // Shows its message and answers false for an endless or looped tone.
    bool wavTest();
    const std::u16string& lastTemporaryFile() const { return lastTemporaryFile_; }

private:
    void loadToneFile(const std::u16string& path);
    void storeToneFile(const std::u16string& path);
    std::optional<std::u16string> askSavePath(const FileDialogRequest& request);
    std::optional<std::u16string> listDialog(const std::u16string& list);
    void attachList(const std::u16string& list);

    ToneData& tone_;          // borrowed
    FileCommandUi& ui_;       // borrowed
    SettingsStore& settings_; // borrowed
    std::function<void()> refresh_;
    std::u16string lastTemporaryFile_;
};

} // namespace sonimo
