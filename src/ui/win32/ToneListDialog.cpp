#include "ui/win32/ToneListDialog.h"

#include <commctrl.h>

#include "platform/Notice.h"
#include "ui/win32/Dialogs.h"
#include "ui/win32/ModalDialog.h"
#include "ui/win32/Resource.h"
#include "platform/win32/WideText.h"

namespace sonimo {

namespace {
HWND gCurrent = nullptr;
} // namespace

ToneListDialog::ToneListDialog(HWND owner, SettingsStore& settings)
    : owner_(owner),
      editor_(
          files_, settings,
          [this](const std::u16string& title, const std::u16string& prompt, const std::u16string& text) {
              return askText(window_, title, prompt, text);
          },
          [this] {
              return askQuestion(window_, u"", u"トーン一覧が変更されました。保存しますか？", u"保存");
          }) {}

HWND ToneListDialog::current() {
    return gCurrent;
}

std::optional<std::u16string> ToneListDialog::run(const std::u16string& list) {
    list_ = list;
    chosen_.reset();
    const bool ok = runModalDialog(*this, owner_, IDD_TONE_LIST);
    gCurrent = nullptr;
    notices_.reset();
    window_ = rows_ = nullptr;
    return ok ? chosen_ : std::nullopt;
}

std::vector<int> ToneListDialog::selected() const {
    std::vector<int> rows;
    int i = -1;
    while ((i = static_cast<int>(SendMessageW(rows_, LVM_GETNEXTITEM, i, LVNI_SELECTED))) >= 0)
        rows.push_back(i);
    return rows;
}

void ToneListDialog::fill(const std::vector<int>& select) {
    SendMessageW(rows_, WM_SETREDRAW, FALSE, 0);
    SendMessageW(rows_, LVM_DELETEALLITEMS, 0, 0);
    const auto& rows = editor_.rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<wchar_t*>(wide(rows[i]));
        SendMessageW(rows_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    LVITEMW state{};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    for (int r : select)
        if (r >= 0 && r < static_cast<int>(rows.size())) {
            SendMessageW(rows_, LVM_SETITEMSTATE, r, reinterpret_cast<LPARAM>(&state));
            SendMessageW(rows_, LVM_ENSUREVISIBLE, r, FALSE);
        }
    SendMessageW(rows_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(rows_, nullptr, TRUE);
}

void ToneListDialog::updateButtons() {
    const bool any = !selected().empty();
    for (int id : {IDC_LIST_UP, IDC_LIST_DOWN, IDC_LIST_DELETE})
        EnableWindow(GetDlgItem(window_, id), any);
}

INT_PTR ToneListDialog::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        gCurrent = window_;
        files_.setOwner(window_);
        notices_.emplace(window_);
        rows_ = GetDlgItem(window_, IDC_LIST_ROWS);
        SendMessageW(rows_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
        RECT rc;
        GetClientRect(rows_, &rc);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.cx = rc.right - GetSystemMetrics(SM_CXVSCROLL);
        column.pszText = const_cast<wchar_t*>(L"トーン");
        SendMessageW(rows_, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
        editor_.open(list_);
        fill({});
        return TRUE;
    }
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->hwndFrom == rows_ && (header->code == NM_CLICK || header->code == LVN_ITEMCHANGED))
            updateButtons();
        return FALSE;
    }
    case WM_COMMAND: {
        if (HIWORD(wParam) != BN_CLICKED) return FALSE;
        std::vector<int> select = selected();
        switch (LOWORD(wParam)) {
        case IDC_LIST_ADD_TONE:
            editor_.addTone();
            break;
        case IDC_LIST_ADD_SILENCE:
            editor_.addSilence();
            break;
        case IDC_LIST_UP:
            select = editor_.moveUp(select);
            break;
        case IDC_LIST_DOWN:
            select = editor_.moveDown(select);
            break;
        case IDC_LIST_DELETE:
            select = editor_.deleteRows(select);
            break;
        case IDC_LIST_SAVE:
            editor_.saveList();
            return TRUE;
        case IDC_LIST_SAVE_AS:
            editor_.saveListAs();
            return TRUE;
        case IDOK:
            if ((chosen_ = editor_.ok())) {
                gCurrent = nullptr;
                EndDialog(window_, IDOK);
            }
            return TRUE;
        case IDCANCEL:
            gCurrent = nullptr;
            EndDialog(window_, IDCANCEL);
            return TRUE;
        case 9:
            currentNotice().show(
                u"一覧の各行はトーンファイル、Waveファイル、または無音です。上から順に再生されます。\n"
                u"「OK」で一覧を現在のトーンにします。",
                u"トーン一覧のヘルプ", NoticeIcon::Information, NoticeButtons::Ok);
            return TRUE;
        default:
            return FALSE;
        }
        fill(select);
        updateButtons();
        return TRUE;
    }
    default:
        return FALSE;
    }
}

} // namespace sonimo
