#include "ui/win32/Dialogs.h"

#include <commctrl.h>
#include <commdlg.h>

#include <vector>

#include "audio/RenderTask.h"
#include "ui/win32/ModalDialog.h"
#include "ui/win32/Resource.h"
#include "platform/win32/WideText.h"

namespace sonimo {

namespace {

struct EntryState {
    const std::u16string* title;  // borrowed
    const std::u16string* prompt; // borrowed
    const std::u16string* text;   // borrowed
    std::u16string result;
};

INT_PTR CALLBACK entryProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        auto* state = reinterpret_cast<EntryState*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        SetWindowTextW(dialog, wide(*state->title));
        SetDlgItemTextW(dialog, IDC_ENTRY_PROMPT, wide(*state->prompt));
        HWND edit = GetDlgItem(dialog, IDC_ENTRY_TEXT);
        SendMessageW(edit, EM_LIMITTEXT, 259, 0);
        SetWindowTextW(edit, wide(*state->text));
        SetFocus(edit);
        SendMessageW(edit, EM_SETSEL, 0, -1);
        return FALSE; // the focus is set
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            auto* state = reinterpret_cast<EntryState*>(GetWindowLongPtrW(dialog, DWLP_USER));
            wchar_t text[260] = {};
            GetDlgItemTextW(dialog, IDC_ENTRY_TEXT, text, 260);
            state->result = reinterpret_cast<const char16_t*>(text);
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

struct Question {
    const std::u16string* caption; // borrowed
    const std::u16string* text;    // borrowed
    const std::u16string* yes;     // borrowed
};

INT_PTR CALLBACK questionProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        const auto* q = reinterpret_cast<const Question*>(lParam);
        SetWindowTextW(dialog, wide(*q->caption));
        SetDlgItemTextW(dialog, IDC_QUESTION_TEXT, wide(*q->text));
        SetDlgItemTextW(dialog, IDOK, wide(*q->yes));
        SendDlgItemMessageW(
            dialog, IDC_QUESTION_ICON, STM_SETICON,
            reinterpret_cast<WPARAM>(LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_WARNING))), 0);
        MessageBeep(MB_ICONWARNING);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

std::wstring filterText(const std::vector<FileFilter>& filters) {
    std::wstring text;
    for (const FileFilter& f : filters) {
        text.append(f.name.begin(), f.name.end());
        text.push_back(L'\0');
        text.append(f.pattern.begin(), f.pattern.end());
        text.push_back(L'\0');
    }
    text.push_back(L'\0');
    return text;
}

std::optional<std::u16string> fileDialog(HWND owner, const FileDialogRequest& request, bool save) {
    wchar_t file[MAX_PATH] = {};
    if (save) {
        const std::u16string name = request.initialFile.substr(request.initialFile.find_last_of(u"\\/") + 1);
        if (name.size() < MAX_PATH) std::copy(name.begin(), name.end(), file);
    }
    const std::wstring filter = filterText(request.filters);
    const std::u16string folder =
        request.initialFile.empty() ? request.initialFolder : folderOf(request.initialFile);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrInitialDir = folder.empty() ? nullptr : wide(folder);
    ofn.lpstrTitle = wide(request.title);
    ofn.lpstrDefExt = wide(request.defaultExtension);
    ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!save) ofn.Flags |= OFN_FILEMUSTEXIST;
    if (!(save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn))) return std::nullopt;
    return std::u16string(reinterpret_cast<const char16_t*>(file));
}

} // namespace

std::optional<std::u16string> askText(HWND owner, const std::u16string& title, const std::u16string& prompt,
                                      const std::u16string& text) {
    EntryState state{&title, &prompt, &text, {}};
    const INT_PTR r = DialogBoxParamW(moduleOfOwner(owner), MAKEINTRESOURCEW(IDD_TEXT_ENTRY), owner,
                                      entryProc, reinterpret_cast<LPARAM>(&state));
    if (r != IDOK) return std::nullopt;
    return state.result;
}

bool askQuestion(HWND owner, const std::u16string& caption, const std::u16string& text,
                 const std::u16string& yes) {
    Question q{&caption, &text, &yes};
    return DialogBoxParamW(moduleOfOwner(owner), MAKEINTRESOURCEW(IDD_QUESTION), owner, questionProc,
                           reinterpret_cast<LPARAM>(&q)) == IDOK;
}

bool askOverwrite(HWND owner, const std::u16string& path) {
    return askQuestion(owner, u"ファイルが既に存在します",
                       u"「" + path + u"」ファイルは既に存在しています。上書きしますか？", u"上書きする");
}

std::optional<std::u16string> OwnedFileDialogs::openFile(const FileDialogRequest& request) {
    return fileDialog(owner_, request, false);
}

std::optional<std::u16string> OwnedFileDialogs::saveFile(const FileDialogRequest& request) {
    return fileDialog(owner_, request, true);
}

bool OwnedFileDialogs::confirmOverwrite(const std::u16string& path) {
    return askOverwrite(owner_, path);
}

ProgressDialog::ProgressDialog(HWND owner)
    : owner_(owner), window_(CreateDialogParamW(moduleOfOwner(owner), MAKEINTRESOURCEW(IDD_PROGRESS), owner,
                                                procedure, reinterpret_cast<LPARAM>(this))) {
    SendDlgItemMessageW(window_.get(), IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, 1000);
    if (owner_) {
        ownerWasEnabled_ = IsWindowEnabled(owner_);
        EnableWindow(owner_, FALSE);
    }
    ShowWindow(window_.get(), SW_SHOW);
    UpdateWindow(window_.get());
}

ProgressDialog::~ProgressDialog() {
    // The owner comes back before the dialog goes (window_, after this body), so the
    // activation returns to it.
    if (owner_ && ownerWasEnabled_) EnableWindow(owner_, TRUE);
}

INT_PTR CALLBACK ProgressDialog::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        return TRUE;
    }
    auto* self = reinterpret_cast<ProgressDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self && message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        self->cancelled_ = true;
        EnableWindow(GetDlgItem(window, IDCANCEL), FALSE);
        return TRUE;
    }
    return FALSE;
}

void ProgressDialog::setLines(const std::u16string& first, const std::u16string& second) {
    SetDlgItemTextW(window_.get(), IDC_PROGRESS_FIRST, wide(first));
    SetDlgItemTextW(window_.get(), IDC_PROGRESS_SECOND, wide(second));
    pump();
}

void ProgressDialog::setFraction(double done) {
    SendDlgItemMessageW(window_.get(), IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(done * 1000 + 0.5),
                        0);
}

void ProgressDialog::pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // someone wants the loop to end: stop here and hand the request on
            cancelled_ = true;
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (IsDialogMessageW(window_.get(), &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool ProgressDialog::cancelled() {
    // Asked after every block (a fraction of a millisecond of work): a look at the queue
    // each time keeps Cancel prompt for a few microseconds a block.
    pump();
    return cancelled_;
}

int renderWithProgress(HWND owner, const std::u16string& message, const SourceRef& source,
                       const SinkRef& sink) {
    ProgressDialog dialog(owner);
    return RenderTask(message, source, sink, dialog);
}

} // namespace sonimo
