// Settings in the registry: one key per section under "Software\Quarlo Software\Sonimo"
// on the per-user root (the machine root holds the framework's installation data only).
// Every value is a REG_SZ written with its terminator and read through a 260-unit
// buffer, so a read sees at most 259 units and a longer value reads as the default.
// No cache: each call opens, uses and closes its key. User-interface thread only.
#pragma once
#include <string>

#include "platform/SettingsStore.h"

namespace sonimo {

enum class RegistryRoot { User, Machine };

class RegistrySettingsStore final : public SettingsStore {
public:
    explicit RegistrySettingsStore(RegistryRoot root = RegistryRoot::User) : root_(root) {}

    std::u16string readText(const std::u16string& section, const std::u16string& name,
                            const std::u16string& defaultText) override;
    // False when the section key cannot be created or the value cannot be set.
    bool writeText(const std::u16string& section, const std::u16string& name, const std::u16string& text) override;
    void deleteValue(const std::u16string& section, const std::u16string& name) override;
    // True for any existing value, even one too long to be read.
    bool hasValue(const std::u16string& section, const std::u16string& name) override;

    // "Software\Quarlo Software\Sonimo\" + section.
    static std::u16string keyPath(const std::u16string& section);

private:
    RegistryRoot root_;
};

} // namespace sonimo
