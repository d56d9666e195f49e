#include "platform/SettingsStore.h"

#include <limits>
#include <string>

#include "platform/Text.h"

namespace sonimo {

int SettingsStore::readInt(const std::u16string& section, const std::u16string& name, int defaultValue) {
    const std::u16string text = readText(section, name, u"");
    return text.empty() ? defaultValue : LeadingInteger(text);
}

int SettingsStore::readIntInRange(const std::u16string& section, const std::u16string& name, int defaultValue,
                                  int lo, int hi) {
    const std::u16string text = readText(section, name, u"");
    std::size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r')))
        ++i;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) ++i;
    if (i >= text.size() || text[i] < u'0' || text[i] > u'9') return defaultValue;
    const int v = LeadingInteger(text);
    return v >= lo && v <= hi ? v : defaultValue;
}

bool SettingsStore::readBool(const std::u16string& section, const std::u16string& name, bool defaultValue) {
    const std::u16string text = readText(section, name, u"");
    return text.empty() ? defaultValue : text[0] != u'0';
}

bool SettingsStore::writeInt(const std::u16string& section, const std::u16string& name, int value) {
    return writeText(section, name, utf8ToUtf16(std::to_string(value)));
}

bool SettingsStore::writeBool(const std::u16string& section, const std::u16string& name, bool value) {
    return writeText(section, name, value ? u"1" : u"0");
}

} // namespace sonimo
