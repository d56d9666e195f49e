#include "audio/playback/OutputDevice.h"
#include "platform/SettingsKeys.h"
#include "platform/win32/Owned.h"
#include "platform/win32/WideText.h"

#include <mmsystem.h>
#include <mmreg.h>
#include <dsound.h>

#include <algorithm>

namespace sonimo {

const char16_t kDefaultDeviceName[] = u"デフォルトの再生デバイス";
const char16_t kDefaultWaveOutDisplay[] = u"[MME] デフォルトの再生デバイス";
const char16_t kDefaultDirectSoundDisplay[] = u"[DirectSound] デフォルトの再生デバイス";

namespace {

const char16_t kPrimaryDriver[] = u"Primary Sound Driver";
const char16_t kDefaultAlias[] = u"[デフォルトの音声出力]";

bool equalsIgnoringCase(const std::u16string& a, const std::u16string& b) {
    return CompareStringOrdinal(wide(a), static_cast<int>(a.size()), wide(b), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

std::u16string cut(std::u16string s) {
    if (s.size() > kDeviceNameUnits) s.resize(kDeviceNameUnits);
    return s;
}

// The library is loaded around each enumeration only; nothing stays loaded.
OwnedModule loadDirectSound() {
    return OwnedModule(LoadLibraryW(L"dSound.dll"));
}

template <class F> F entry(const OwnedModule& module, const char* name) {
    return module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module.get(), name)))
                  : nullptr;
}

BOOL CALLBACK countEntry(LPGUID, LPCSTR, LPCSTR, LPVOID context) {
    ++*static_cast<int*>(context);
    return TRUE;
}

BOOL CALLBACK collectEntry(LPGUID guid, LPCWSTR description, LPCWSTR, LPVOID context) {
    DirectSoundEntry e;
    if (description) e.description = cut(reinterpret_cast<const char16_t*>(description));
    if (guid) {
        e.hasGuid = true;
        e.guid = *guid;
    }
    static_cast<std::vector<DirectSoundEntry>*>(context)->push_back(std::move(e));
    return TRUE;
}

class Win32DeviceSystem final : public DeviceSystem {
public:
    int waveOutCount() override { return static_cast<int>(waveOutGetNumDevs()); }
    std::u16string waveOutName(int id) override {
        WAVEOUTCAPSW caps{};
        if (waveOutGetDevCapsW(static_cast<UINT_PTR>(id), &caps, sizeof caps) != MMSYSERR_NOERROR) return {};
        caps.szPname[MAXPNAMELEN - 1] = 0;
        return reinterpret_cast<const char16_t*>(caps.szPname);
    }
    int directSoundCount() override {
        const OwnedModule lib = loadDirectSound();
        auto enumerate = entry<HRESULT(WINAPI*)(LPDSENUMCALLBACKA, LPVOID)>(lib, "DirectSoundEnumerateA");
        if (!enumerate) return 0;
        int n = 0;
        enumerate(countEntry, &n);
        return n;
    }
    std::vector<DirectSoundEntry> directSoundEntries() override {
        std::vector<DirectSoundEntry> entries;
        const OwnedModule lib = loadDirectSound();
        auto enumerate = entry<HRESULT(WINAPI*)(LPDSENUMCALLBACKW, LPVOID)>(lib, "DirectSoundEnumerateW");
        if (enumerate) enumerate(collectEntry, &entries);
        return entries;
    }
    bool isModernPlatform() override {
        // GetVersionEx answers what the manifest allows; the kernel's own call does not lie.
        using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
        OSVERSIONINFOW v{};
        v.dwOSVersionInfoSize = sizeof v;
        auto get = reinterpret_cast<RtlGetVersionFn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
        if (!get || get(&v) != 0) return true;
        return v.dwMajorVersion > 6 || (v.dwMajorVersion == 6 && v.dwMinorVersion > 0);
    }
};

} // namespace

bool hasOwnGuid(const OutputDevice& device) {
    return device.deviceGuid.Data1 != 0;
}

DeviceSystem& systemDevices() {
    static Win32DeviceSystem system;
    return system;
}

int DeviceCatalogue::RefreshCounts() {
    waveOutCount_ = std::max(0, system_.waveOutCount());
    directSoundCount_ = std::max(0, system_.directSoundCount());
    return directSoundCount_;
}

std::vector<std::u16string> DeviceCatalogue::WaveOutList() {
    RefreshCounts();
    const bool modern = system_.isModernPlatform();
    std::vector<std::u16string> list;
    list.push_back(modern ? kDefaultWaveOutDisplay : kDefaultDeviceName);
    for (int id = 0; id < waveOutCount_; ++id) {
        const std::u16string name = system_.waveOutName(id);
        list.push_back(modern ? u"[MME] " + name : name);
    }
    return list;
}

std::vector<std::u16string> DeviceCatalogue::DirectSoundNames() {
    RefreshCounts();
    std::vector<std::u16string> slots(static_cast<std::size_t>(directSoundCount_));
    std::size_t filled = 0;
    for (const DirectSoundEntry& e : system_.directSoundEntries()) {
        if (filled == slots.size()) break; // more entries than counted: no empty slot left
        slots[filled++] =
            e.description == kPrimaryDriver ? std::u16string(kDefaultDeviceName) : e.description;
    }
    return slots;
}

std::vector<std::u16string> DeviceCatalogue::DirectSoundList() {
    const bool modern = system_.isModernPlatform();
    std::vector<std::u16string> list;
    for (const std::u16string& name : DirectSoundNames())
        list.push_back(modern ? name : u"[DirectSound] " + name);
    return list;
}

GUID DeviceCatalogue::DirectSoundGuidOf(const std::u16string& name) {
    GUID found{};
    for (const DirectSoundEntry& e : system_.directSoundEntries()) {
        if (!equalsIgnoringCase(e.description, name)) continue;
        if (e.hasGuid) return e.guid;
        found = GUID{}; // the primary driver: keep looking for an entry with its own GUID
    }
    return found;
}

int DeviceCatalogue::KindOf(const std::u16string& storedName) {
    std::size_t end = 0;
    while (end < storedName.size() && end < kDeviceNameUnits && storedName[end] > u' ')
        ++end;
    const std::u16string token = storedName.substr(0, end);
    if (equalsIgnoringCase(token, u"[MME]")) return OutputWaveOut;
    if (equalsIgnoringCase(token, u"[DirectSound]")) return OutputDirectSound;
    if (equalsIgnoringCase(token, u"[ASIO]")) return OutputAsio;
    return system_.isModernPlatform() ? OutputDirectSound : OutputWaveOut;
}

std::u16string DeviceCatalogue::StripPrefix(const std::u16string& storedName) {
    if (storedName.empty() || storedName[0] != u'[') return cut(storedName);
    std::size_t i = storedName.find(u']');
    if (i == std::u16string::npos) return {}; // a prefix that never closes leaves nothing
    ++i;
    while (i < storedName.size() && storedName[i] <= u' ')
        ++i;
    return cut(storedName.substr(i));
}

OutputDevice DeviceCatalogue::FindDevice(const std::u16string& name, int kind) {
    RefreshCounts();
    OutputDevice d;
    d.shortName = cut(name);
    bool found = false;
    if (kind == OutputWaveOut) {
        if (name.empty() || name == kDefaultDeviceName) {
            d.shortName = kDefaultDeviceName;
            d.displayName = kDefaultWaveOutDisplay;
            found = true;
        } else {
            for (int id = 0; id < waveOutCount_; ++id) {
                const std::u16string devName = system_.waveOutName(id);
                if (!devName.empty() && devName == name) {
                    d.catalogueIndex = id + 1;
                    d.displayName = u"[MME] " + devName;
                    found = true;
                    break;
                }
            }
        }
        // A waveOut device that has disappeared plays on the wave mapper (catalogue index 0)
        // rather than on whichever device now has its old index; the empty display name
        // tells the options dialog that the stored one was not found.
    }
    if (kind == OutputDirectSound || kind == OutputAsio) d.catalogueIndex = waveOutCount_ + 1;
    if (kind == OutputDirectSound) {
        d.kind = OutputDirectSound;
        const std::vector<std::u16string> names = DirectSoundNames();
        for (std::size_t j = 0; j < names.size(); ++j) {
            if (names[j] == name || (name.empty() && j == 0)) {
                d.catalogueIndex = waveOutCount_ + static_cast<int>(j) + 1;
                d.displayName = cut(u"[DirectSound] " + names[j]);
                d.shortName = names[j];
                const bool primaryAlias = equalsIgnoringCase(names[j], u"Default Playback Device");
                d.deviceGuid = DirectSoundGuidOf(primaryAlias ? std::u16string(kPrimaryDriver) : names[j]);
                found = true;
                break;
            }
        }
    }
    if (kind == OutputAsio && !found) d.catalogueIndex = waveOutCount_ + 1 + directSoundCount_;
    return d;
}

OutputDevice DeviceCatalogue::DefaultDevice() {
    RefreshCounts();
    OutputDevice d;
    d.shortName = kDefaultDeviceName;
    if (directSoundCount_ > 0) {
        d.kind = OutputDirectSound;
        d.catalogueIndex = waveOutCount_ + 1;
        d.displayName = kDefaultDirectSoundDisplay;
    } else {
        d.displayName = kDefaultWaveOutDisplay;
    }
    return d;
}

OutputDevice DeviceCatalogue::LoadSelection(SettingsStore& settings) {
    return Resolve(settings.readText(keys::kDevice, u""));
}

OutputDevice DeviceCatalogue::Resolve(const std::u16string& stored) {
    std::u16string shortName = StripPrefix(stored);
    if (shortName == kDefaultAlias) shortName = kDefaultDeviceName;
    const int kind = KindOf(stored);
    if (shortName.empty() && system_.isModernPlatform()) return DefaultDevice();
    return FindDevice(shortName, kind);
}

} // namespace sonimo
