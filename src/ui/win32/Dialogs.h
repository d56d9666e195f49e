// The program's own small modal dialogs: one typed value, the overwrite question, and the
// progress of a long render with its Cancel. User-interface thread only.
#pragma once
#include <windows.h>

#include <optional>
#include <string>

#include "audio/RenderProgress.h"
#include "audio/SampleSink.h"
#include "platform/win32/Owned.h"
#include "synth/SampleSource.h"
#include "ui/FileCommands.h"

namespace sonimo {

// The text-entry dialog: `title`, a prompt line, the entry preset with `text` and fully
// selected. The typed text, or nothing on Cancel.
std::optional<std::u16string> askText(HWND owner, const std::u16string& title, const std::u16string& prompt,
                                      const std::u16string& text);

// A question with a warning icon; true for `yes` (the default button), false for "キャンセル".
bool askQuestion(HWND owner, const std::u16string& caption, const std::u16string& text,
                 const std::u16string& yes);
// "「%s」ファイルは既に存在しています。上書きしますか？" with "上書きする" and "キャンセル".
bool askOverwrite(HWND owner, const std::u16string& path);

// The common open and save dialogs and the overwrite question, owned (and so modal over)
// one window. The open dialog starts in the initial file's folder with an empty name; the
// save dialog offers the initial file's name. Neither changes the process's current folder.
class OwnedFileDialogs final : public FileDialogs {
public:
    explicit OwnedFileDialogs(HWND owner = nullptr) : owner_(owner) {}
    void setOwner(HWND owner) { owner_ = owner; }
    std::optional<std::u16string> openFile(const FileDialogRequest& request) override;
    std::optional<std::u16string> saveFile(const FileDialogRequest& request) override;
    bool confirmOverwrite(const std::u16string& path) override;

private:
    HWND owner_; // borrowed
};

// A modeless dialog shown modally: the owner is disabled while it runs, and every call of
// cancelled() lets waiting messages through, so the windows keep painting and Cancel (or
// Esc) is seen at once.
class ProgressDialog final : public RenderProgress {
public:
    explicit ProgressDialog(HWND owner);
    ~ProgressDialog() override;
    ProgressDialog(const ProgressDialog&) = delete;
    ProgressDialog& operator=(const ProgressDialog&) = delete;

    void setLines(const std::u16string& first, const std::u16string& second) override;
    void setFraction(double done) override;
    bool cancelled() override;
    HWND hwnd() const { return window_.get(); }

private:
    static INT_PTR CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void pump();

    HWND owner_ = nullptr; // borrowed
    OwnedWindow window_;   // destroyed after the owner is enabled again
    bool ownerWasEnabled_ = false;
    bool cancelled_ = false;
};

// RenderTask under a ProgressDialog.
int renderWithProgress(HWND owner, const std::u16string& message, const SourceRef& source,
                       const SinkRef& sink);

} // namespace sonimo
