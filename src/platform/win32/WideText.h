// Our UTF-16 text as the wchar_t strings the Win32 API takes: on Windows both are the same
// 16-bit units, so this is a view, not a conversion. The one place of that cast.
#pragma once
#include <string>

namespace sonimo {

inline const wchar_t* wide(const std::u16string& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}
inline const wchar_t* wide(const char16_t* s) {
    return reinterpret_cast<const wchar_t*>(s);
}

} // namespace sonimo
