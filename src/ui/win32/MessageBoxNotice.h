// The program's notices: MessageBoxW owned by the program's dialog in front (or the main
// window), task-modal where asked. kSystemCaption gives the system's default caption; an
// empty one stays empty. User-interface thread only.
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

// While it lives, the program's boxes are owned by `dialog` (a modal dialog of ours), so
// they stay modal over it and give the focus back to it.
class NoticeOwner {
public:
    explicit NoticeOwner(HWND dialog);
    ~NoticeOwner();
    NoticeOwner(const NoticeOwner&) = delete;
    NoticeOwner& operator=(const NoticeOwner&) = delete;

private:
    HWND previous_;
};

} // namespace sonimo
