// Settings kept in memory with the registry's rules, for portable tests and the
// command-line tool: section and value names compare without regard to case (ASCII
// letters, which is all the program uses), a value is stored with its terminating
// zero, a read sees at most 259 units and a value that needs more than the 520-byte
// read buffer reads as the default. Nothing persists past the object.
#pragma once
#include <map>
#include <string>

#include "platform/SettingsStore.h"

namespace sonimo {

class MemorySettingsStore final : public SettingsStore {
public:
    // The by-key forms too, which the overrides below would hide.
    using SettingsStore::deleteValue;
    using SettingsStore::hasValue;
    using SettingsStore::readText;
    using SettingsStore::writeText;

    std::u16string readText(const std::u16string& section, const std::u16string& name,
                            const std::u16string& defaultText) override;
    bool writeText(const std::u16string& section, const std::u16string& name,
                   const std::u16string& text) override;
    void deleteValue(const std::u16string& section, const std::u16string& name) override;
    bool hasValue(const std::u16string& section, const std::u16string& name) override;

    void clear() { sections_.clear(); }

private:
    using Values = std::map<std::u16string, std::u16string>; // folded name -> text without terminator
    std::map<std::u16string, Values> sections_;              // folded section name -> values
};

} // namespace sonimo
