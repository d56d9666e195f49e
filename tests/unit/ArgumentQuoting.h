// One argument quoted the way the Windows shell's splitter (and ours, for arguments after
// the program) undoes it: in quotes, with the backslashes before a quote doubled and the
// quote escaped. Shared by the tool runner of the tests and the command-line fuzz target.
#pragma once
#include <string>

namespace sonimo {

inline std::u16string quotedArgument(const std::u16string& a) {
    std::u16string q = u"\"";
    std::size_t slashes = 0;
    for (char16_t c : a) {
        if (c == u'\\') {
            ++slashes;
            continue;
        }
        q.append(c == u'"' ? slashes * 2 + 1 : slashes, u'\\');
        slashes = 0;
        q.push_back(c);
    }
    q.append(slashes * 2, u'\\');
    q.push_back(u'"');
    return q;
}

} // namespace sonimo
