// Playback devices given in code, for the catalogue and the options dialog: counts,
// names and the platform's age as a test sets them.
#pragma once
#include <string>
#include <vector>

#include "audio/playback/OutputDevice.h"

namespace sonimo {

inline GUID guidWith(unsigned long first) {
    GUID g{};
    g.Data1 = first;
    g.Data4[7] = 0x5A;
    return g;
}

class FakeDevices final : public DeviceSystem {
public:
    std::vector<std::u16string> waveOut;
    std::vector<DirectSoundEntry> directSound;
    bool modern = true;
    bool directSoundPresent = true;

    int waveOutCount() override { return static_cast<int>(waveOut.size()); }
    std::u16string waveOutName(int id) override { return waveOut.at(static_cast<std::size_t>(id)); }
    int directSoundCount() override { return directSoundPresent ? static_cast<int>(directSound.size()) : 0; }
    std::vector<DirectSoundEntry> directSoundEntries() override {
        return directSoundPresent ? directSound : std::vector<DirectSoundEntry>{};
    }
    bool isModernPlatform() override { return modern; }
};

// Two waveOut devices and three DirectSound entries, as a machine with a USB headset shows them.
inline FakeDevices twoAndThree() {
    FakeDevices f;
    f.waveOut = {u"Speakers (Realtek)", u"Headset (USB)"};
    f.directSound = {{u"Primary Sound Driver", false, {}},
                     {u"Speakers (Realtek)", true, guidWith(0x11111111)},
                     {u"Headset (USB)", true, guidWith(0x22222222)}};
    return f;
}

} // namespace sonimo
