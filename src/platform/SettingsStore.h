// Text values in named sections, kept per user: the registry under the product key on
// Windows, memory for portable tests and the command-line tool. No cache: every call
// goes to the backend. Reads never fail; a missing value gives the default.
// User-interface thread only.
#pragma once
#include <string>

namespace sonimo {

// A value's place: its section and its name (the program's keys are in platform/SettingsKeys.h).
struct SettingKey {
    const char16_t* section;
    const char16_t* name;
};

inline constexpr int kSettingsTextUnits = 260; // read buffer; at most 259 units come back

class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    virtual std::u16string readText(const std::u16string& section, const std::u16string& name,
                                    const std::u16string& defaultText) = 0;
    virtual bool writeText(const std::u16string& section, const std::u16string& name,
                           const std::u16string& text) = 0;
    // Removes the value, or "_" + name when the value itself does not exist.
    virtual void deleteValue(const std::u16string& section, const std::u16string& name) = 0;
    virtual bool hasValue(const std::u16string& section, const std::u16string& name) = 0;

    // Built on readText/writeText: an empty text counts as missing; an integer is the
    // leading decimal number (0 when there is none); a boolean is true unless it starts with "0".
    int readInt(const std::u16string& section, const std::u16string& name, int defaultValue);
    bool readBool(const std::u16string& section, const std::u16string& name, bool defaultValue);
    // The default also for a text without a leading number and for a number outside lo..hi.
    int readIntInRange(const std::u16string& section, const std::u16string& name, int defaultValue, int lo,
                       int hi);
    bool writeInt(const std::u16string& section, const std::u16string& name, int value);
    bool writeBool(const std::u16string& section, const std::u16string& name, bool value);

    // The same, by key.
    std::u16string readText(SettingKey k, const std::u16string& defaultText) {
        return readText(k.section, k.name, defaultText);
    }
    bool writeText(SettingKey k, const std::u16string& text) { return writeText(k.section, k.name, text); }
    void deleteValue(SettingKey k) { deleteValue(k.section, k.name); }
    bool hasValue(SettingKey k) { return hasValue(k.section, k.name); }
    int readInt(SettingKey k, int defaultValue) { return readInt(k.section, k.name, defaultValue); }
    bool readBool(SettingKey k, bool defaultValue) { return readBool(k.section, k.name, defaultValue); }
    int readIntInRange(SettingKey k, int defaultValue, int lo, int hi) {
        return readIntInRange(k.section, k.name, defaultValue, lo, hi);
    }
    bool writeInt(SettingKey k, int value) { return writeInt(k.section, k.name, value); }
    bool writeBool(SettingKey k, bool value) { return writeBool(k.section, k.name, value); }
};

} // namespace sonimo
