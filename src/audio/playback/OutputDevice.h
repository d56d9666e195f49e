// The playback device catalogue: the waveOut and DirectSound devices under their display
// names, and the way back from a stored name to a device record the player can open.
// Names, not indexes, survive between runs; indexes are recomputed from what is present.
// User-interface thread only.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/SettingsStore.h"

namespace sonimo {

enum OutputKind : std::int32_t { OutputWaveOut = 0, OutputDirectSound = 1, OutputAsio = 2 };

inline constexpr std::size_t kDeviceNameUnits = 259; // what the 260-unit record fields hold

// A resolved playback device, copied by value.
struct OutputDevice {
    std::int32_t kind = OutputWaveOut;
    GUID deviceGuid{}; // all zero: the default DirectSound device
    std::u16string
        displayName; // "[MME] %s" / "[DirectSound] %s"; empty when a DirectSound name was not found
    // 0 = wave mapper; 1..M = waveOut device + 1; M+1..M+D = DirectSound entries (M+1 the primary one)
    std::int32_t catalogueIndex = 0;
    std::int32_t spareIndex = 0;
    std::int32_t flag = 1;
    std::u16string shortName; // the device's own name, without prefix
};

bool hasOwnGuid(const OutputDevice& device); // the first 32 bits of the GUID are nonzero

struct DirectSoundEntry {
    std::u16string description;
    bool hasGuid = false; // the primary driver is enumerated without one
    GUID guid{};
};

// What the catalogue asks of the system; the real one is winmm and "dSound.dll", tests
// give their own devices.
class DeviceSystem {
public:
    virtual ~DeviceSystem() = default;
    virtual int waveOutCount() = 0;
    virtual std::u16string waveOutName(int id) = 0; // at most 31 units; empty when the query fails
    virtual int directSoundCount() = 0;             // 0 without the library or its entry point
    virtual std::vector<DirectSoundEntry> directSoundEntries() = 0; // in enumeration order
    virtual bool isModernPlatform() = 0;                            // Windows 7 or later
};

DeviceSystem& systemDevices(); // winmm and "dSound.dll" (process-wide, stateless)

extern const char16_t kDefaultDeviceName[];         // "デフォルトの再生デバイス"
extern const char16_t kDefaultWaveOutDisplay[];     // "[MME] デフォルトの再生デバイス"
extern const char16_t kDefaultDirectSoundDisplay[]; // "[DirectSound] デフォルトの再生デバイス"

class DeviceCatalogue {
public:
    explicit DeviceCatalogue(DeviceSystem& system = systemDevices()) : system_(system) {}

    int RefreshCounts(); // refreshes M and D, returns D
    int waveOutCount() const { return waveOutCount_; }
    int directSoundCount() const { return directSoundCount_; }

    // The texts the options dialog adds to its device list, in order.
    std::vector<std::u16string> WaveOutList();
    std::vector<std::u16string> DirectSoundList();
    // D slots of descriptions ("Primary Sound Driver" shown as the default device name).
    std::vector<std::u16string> DirectSoundNames();
    GUID DirectSoundGuidOf(const std::u16string& name); // all zero when nothing matches

    int KindOf(const std::u16string& storedName);
    static std::u16string StripPrefix(const std::u16string& storedName);
    OutputDevice FindDevice(const std::u16string& shortName, int kind);
    OutputDevice DefaultDevice();
    // Reads "Device" under "Player" and resolves it.
    OutputDevice LoadSelection(SettingsStore& settings);
    // A stored name as LoadSelection resolves it: prefix, the old default alias, the
    // platform's default kind, the default device for an empty name on a modern platform.
    OutputDevice Resolve(const std::u16string& storedName);

private:
    DeviceSystem& system_; // borrowed
    int waveOutCount_ = 0;
    int directSoundCount_ = 0;
};

} // namespace sonimo
