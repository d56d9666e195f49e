#include "ui/win32/MessageBoxNotice.h"

#include <string>

namespace sonimo {

namespace {
HWND gDialogOwner = nullptr; // the innermost NoticeOwner's dialog
} // namespace

NoticeOwner::NoticeOwner(HWND dialog) : previous_(gDialogOwner) {
    gDialogOwner = dialog;
}

NoticeOwner::~NoticeOwner() {
    gDialogOwner = previous_;
}

NoticeAnswer MessageBoxNotice::present(std::u16string_view text, std::u16string_view caption, NoticeIcon icon,
                                       NoticeButtons buttons, NoticeModality modality) {
    UINT flags = 0;
    switch (icon) {
    case NoticeIcon::Information:
        flags |= MB_ICONINFORMATION;
        break;
    case NoticeIcon::Warning:
        flags |= MB_ICONWARNING;
        break;
    case NoticeIcon::Error:
        flags |= MB_ICONERROR;
        break;
    case NoticeIcon::Question:
        flags |= MB_ICONQUESTION;
        break;
    case NoticeIcon::None:
        break;
    }
    switch (buttons) {
    case NoticeButtons::Ok:
        flags |= MB_OK;
        break;
    case NoticeButtons::OkCancel:
        flags |= MB_OKCANCEL;
        break;
    case NoticeButtons::YesNo:
        flags |= MB_YESNO;
        break;
    case NoticeButtons::YesNoCancel:
        flags |= MB_YESNOCANCEL;
        break;
    }
    if (modality == NoticeModality::Task) flags |= MB_TASKMODAL;
    const std::wstring t(text.begin(), text.end());
    const std::wstring c(caption.begin(), caption.end());
    // Owned by our dialog in front, else by the window in front, so it stays modal to it.
    HWND owner = gDialogOwner && IsWindow(gDialogOwner) ? gDialogOwner : GetActiveWindow();
    if (!owner) owner = owner_ && IsWindow(owner_) ? owner_ : nullptr;
    switch (MessageBoxW(modality == NoticeModality::Task ? nullptr : owner, t.c_str(),
                        isSystemCaption(caption) ? nullptr : c.c_str(), flags)) {
    case IDCANCEL:
        return NoticeAnswer::Cancel;
    case IDYES:
        return NoticeAnswer::Yes;
    case IDNO:
        return NoticeAnswer::No;
    default:
        return NoticeAnswer::Ok;
    }
}

} // namespace sonimo
