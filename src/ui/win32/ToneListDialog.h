// The tone list dialog (template 41, "トーン一覧"): the list's rows in a list view and the
// buttons of ToneListEditor. Modal over its owner; every dialog and box it opens is owned
// by it and modal over it. User-interface thread only.
#pragma once
#include <windows.h>

#include <optional>

#include "ui/ToneListEditor.h"
#include "ui/win32/Dialogs.h"
#include "ui/win32/MessageBoxNotice.h"

namespace sonimo {

template <class Dialog> struct DialogProcedure;

class ToneListDialog {
public:
    // `owner` and `settings` are borrowed.
    ToneListDialog(HWND owner, SettingsStore& settings);
    // Runs on `list` (empty for a new list): the list to attach when it closed with OK,
    // nothing when it was cancelled.
    std::optional<std::u16string> run(const std::u16string& list);
    // For tests: the dialog's window while it runs.
    static HWND current();

private:
    friend struct DialogProcedure<ToneListDialog>;
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void fill(const std::vector<int>& select);
    std::vector<int> selected() const;
    void updateButtons();

    HWND owner_;             // borrowed
    HWND window_ = nullptr;  // borrowed: the dialog manager's, while run() runs
    HWND rows_ = nullptr;    // borrowed: a control of window_
    OwnedFileDialogs files_; // owned by window_ once it exists
    std::optional<NoticeOwner> notices_;
    ToneListEditor editor_;
    std::u16string list_;                  // what run() opens on
    std::optional<std::u16string> chosen_; // what OK answered
};

} // namespace sonimo
