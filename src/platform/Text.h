// UTF-8 <-> UTF-16 conversion for paths and messages. Ill-formed input becomes U+FFFD;
// nothing here reads past the given view.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace sonimo {

std::u16string utf8ToUtf16(std::string_view text);
std::string utf16ToUtf8(std::u16string_view text);

// The leading integer of a text as the C library's atoi reads it: white space skipped,
// an optional sign, then digits up to the first non-digit; 0 without digits, saturated to
// the 32-bit range instead of overflowing.
std::int32_t LeadingInteger(std::u16string_view text);

// The text of a fixed buffer up to its first zero unit, never past `capacity` units.
std::u16string boundedText(const char16_t* buffer, std::size_t capacity);

} // namespace sonimo
