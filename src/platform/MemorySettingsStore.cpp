#include "platform/MemorySettingsStore.h"

namespace sonimo {

namespace {

std::u16string folded(const std::u16string& s) {
    std::u16string out = s;
    for (char16_t& c : out)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return out;
}

// What a C-string API stores: the text up to its first zero unit.
std::u16string cut(const std::u16string& s) {
    const std::size_t z = s.find(u'\0');
    return z == std::u16string::npos ? s : s.substr(0, z);
}

} // namespace

std::u16string MemorySettingsStore::readText(const std::u16string& section, const std::u16string& name,
                                             const std::u16string& defaultText) {
    const auto sec = sections_.find(folded(section));
    if (sec == sections_.end()) return defaultText;
    const auto val = sec->second.find(folded(name));
    if (val == sec->second.end()) return defaultText;
    // The registry hands back the text with its terminator; more than 520 bytes do not fit.
    const std::size_t bytes = (val->second.size() + 1) * 2;
    if (bytes > 2 * kSettingsTextUnits) return defaultText;
    const std::size_t units = bytes / 2 < kSettingsTextUnits - 1 ? bytes / 2 : kSettingsTextUnits - 1;
    return val->second.substr(0, units);
}

bool MemorySettingsStore::writeText(const std::u16string& section, const std::u16string& name,
                                    const std::u16string& text) {
    sections_[folded(section)][folded(name)] = cut(text);
    return true;
}

void MemorySettingsStore::deleteValue(const std::u16string& section, const std::u16string& name) {
    const auto sec = sections_.find(folded(section));
    if (sec == sections_.end()) return;
    if (sec->second.erase(folded(name)) == 0) sec->second.erase(folded(u"_" + name));
}

bool MemorySettingsStore::hasValue(const std::u16string& section, const std::u16string& name) {
    const auto sec = sections_.find(folded(section));
    return sec != sections_.end() && sec->second.count(folded(name)) != 0;
}

} // namespace sonimo
