// The tone list dialog (template 41, "トーン一覧"): the list's rows in a list view and the
// buttons of ToneListEditor. Modal over its owner. User-interface thread only.
#pragma once
#include <windows.h>

#include "ui/ToneListEditor.h"

namespace sonimo {

class ToneListDialog {
public:
    // `ui` gives the file dialogs; borrowed.
    ToneListDialog(HWND owner, FileCommandUi& ui);
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
    ToneListEditor editor_;
};

} // namespace sonimo
