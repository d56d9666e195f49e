// The program's notices: MessageBoxW owned by the main window, task-modal where asked.
// An empty caption gives the system's default caption. User-interface thread only.
#pragma once
#include <windows.h>

#include "platform/Notice.h"

namespace sonimo {

class MessageBoxNotice final : public Notice {
public:
    void setOwner(HWND owner) { owner_ = owner; }

protected:
    NoticeAnswer present(std::u16string_view text, std::u16string_view caption, NoticeIcon icon,
                         NoticeButtons buttons, NoticeModality modality) override;

private:
    HWND owner_ = nullptr; // borrowed
};

} // namespace sonimo
