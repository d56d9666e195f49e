// Every message box of the engine and the user interface goes through a Notice, so
// that the program shows MessageBoxW, the command-line tool prints, and tests record.
#pragma once
#include <string>
#include <string_view>

namespace sonimo {

enum class NoticeIcon { None, Information, Warning, Error, Question };
enum class NoticeButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class NoticeAnswer { Ok, Cancel, Yes, No };
// Task-modal boxes disable every top-level window of the thread, not only the owner.
enum class NoticeModality { Window, Task };

// The caption the system gives a box that names none ("エラー" on a Japanese system), as
// opposed to an empty caption. Told apart by its null data: u"" is never null.
inline constexpr std::u16string_view kSystemCaption{};
inline bool isSystemCaption(std::u16string_view caption) {
    return caption.data() == nullptr;
}

class Notice {
public:
    virtual ~Notice() = default;
    NoticeAnswer show(std::u16string_view text, std::u16string_view caption, NoticeIcon icon,
                      NoticeButtons buttons, NoticeModality modality = NoticeModality::Window) {
        return present(text, caption, icon, buttons, modality);
    }

protected:
    virtual NoticeAnswer present(std::u16string_view text, std::u16string_view caption, NoticeIcon icon,
                                 NoticeButtons buttons, NoticeModality modality) = 0;
};

// Writes "caption: text" in UTF-8 to standard error and gives the first button's answer.
class StderrNotice final : public Notice {
protected:
    NoticeAnswer present(std::u16string_view text, std::u16string_view caption, NoticeIcon icon,
                         NoticeButtons buttons, NoticeModality modality) override;
};

// The process-wide notice; a StderrNotice until someone installs another. The pointer is
// borrowed: the installer keeps the object alive while it is installed.
Notice& currentNotice();
void setCurrentNotice(Notice* notice);

} // namespace sonimo
