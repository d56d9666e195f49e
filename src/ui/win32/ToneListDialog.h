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

class ToneListDialog {
public:
    explicit ToneListDialog(HWND owner);
    // True when it closed with OK.
    bool run();
    // For tests: the dialog's window while it runs.
    static HWND current();

private:
    static INT_PTR CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void fill(const std::vector<int>& select);
    std::vector<int> selected() const;
    void updateButtons();

    HWND owner_;
    HWND window_ = nullptr;
    HWND rows_ = nullptr;
    OwnedFileDialogs files_; // owned by window_ once it exists
    std::optional<NoticeOwner> notices_;
    ToneListEditor editor_;
};

} // namespace sonimo
