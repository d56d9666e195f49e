#include "platform/Notice.h"

#include <cstdio>

#include "platform/Text.h"

namespace sonimo {

NoticeAnswer StderrNotice::present(std::u16string_view text, std::u16string_view caption, NoticeIcon,
                                   NoticeButtons buttons, NoticeModality) {
    const std::string line = utf16ToUtf8(caption) + ": " + utf16ToUtf8(text) + "\n";
    std::fputs(line.c_str(), stderr);
    return buttons == NoticeButtons::YesNo || buttons == NoticeButtons::YesNoCancel ? NoticeAnswer::Yes
                                                                                    : NoticeAnswer::Ok;
}

namespace {
StderrNotice gStderrNotice;
Notice* gNotice = &gStderrNotice;
} // namespace

Notice& currentNotice() {
    return *gNotice;
}
void setCurrentNotice(Notice* notice) {
    gNotice = notice ? notice : &gStderrNotice;
}

} // namespace sonimo
