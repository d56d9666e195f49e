// The catalogue against devices given in code (counts, names, platform age) and against
// the devices Wine lists.
#include <gtest/gtest.h>

#include <map>

#include "DeviceRequired.h"
#include "FakeDevices.h"
#include "audio/playback/OutputDevice.h"

namespace sonimo {
namespace {

class MemorySettings final : public SettingsStore {
public:
    std::map<std::u16string, std::u16string> values;
    std::u16string readText(const std::u16string& section, const std::u16string& name,
                            const std::u16string& def) override {
        auto it = values.find(section + u"\\" + name);
        return it == values.end() ? def : it->second;
    }
    bool writeText(const std::u16string& section, const std::u16string& name,
                   const std::u16string& text) override {
        values[section + u"\\" + name] = text;
        return true;
    }
    void deleteValue(const std::u16string& section, const std::u16string& name) override {
        values.erase(section + u"\\" + name);
    }
    bool hasValue(const std::u16string& section, const std::u16string& name) override {
        return values.count(section + u"\\" + name) != 0;
    }
};

TEST(DeviceCatalogueIndexes, DirectSoundEntriesFollowTheWaveOutDevicesAndTheWaveMapper) {
    FakeDevices f = twoAndThree();
    DeviceCatalogue c(f);
    EXPECT_EQ(c.RefreshCounts(), 3);
    EXPECT_EQ(c.FindDevice(u"デフォルトの再生デバイス", OutputDirectSound).catalogueIndex, 3);
    const OutputDevice headset = c.FindDevice(u"Headset (USB)", OutputDirectSound);
    EXPECT_EQ(headset.catalogueIndex, 5);
    EXPECT_EQ(headset.kind, OutputDirectSound);
    EXPECT_EQ(headset.displayName, u"[DirectSound] Headset (USB)");
    EXPECT_EQ(headset.deviceGuid.Data1, 0x22222222u);
    EXPECT_TRUE(hasOwnGuid(headset));
    EXPECT_EQ(c.FindDevice(u"Headset (USB)", OutputWaveOut).catalogueIndex, 2);
    EXPECT_EQ(c.FindDevice(u"Speakers (Realtek)", OutputWaveOut).catalogueIndex, 1);
    EXPECT_EQ(c.FindDevice(u"", OutputWaveOut).catalogueIndex, 0);
}

TEST(DeviceCatalogueIndexes, AnAsioNameDesignatesNoDevice) {
    FakeDevices f = twoAndThree();
    DeviceCatalogue c(f);
    const OutputDevice d = c.FindDevice(u"Some ASIO driver", OutputAsio);
    EXPECT_EQ(d.kind, OutputWaveOut);
    EXPECT_EQ(d.catalogueIndex, 2 + 1 + 3);
    EXPECT_TRUE(d.displayName.empty());
}

TEST(DeviceCatalogueLists, ModernPlatformsPrefixWaveOutNamesAndShowDirectSoundPlain) {
    FakeDevices f = twoAndThree();
    DeviceCatalogue c(f);
    EXPECT_EQ(c.WaveOutList(),
              (std::vector<std::u16string>{u"[MME] デフォルトの再生デバイス", u"[MME] Speakers (Realtek)",
                                           u"[MME] Headset (USB)"}));
    EXPECT_EQ(c.DirectSoundList(), (std::vector<std::u16string>{u"デフォルトの再生デバイス",
                                                                u"Speakers (Realtek)", u"Headset (USB)"}));
    f.modern = false;
    EXPECT_EQ(c.WaveOutList()[0], u"デフォルトの再生デバイス");
    EXPECT_EQ(c.WaveOutList()[2], u"Headset (USB)");
    EXPECT_EQ(c.DirectSoundList()[0], u"[DirectSound] デフォルトの再生デバイス");
}

TEST(DeviceCatalogueLists, MoreEnumeratedEntriesThanCountedAreIgnored) {
    FakeDevices f = twoAndThree();
    struct Growing final : DeviceSystem {
        FakeDevices& inner;
        explicit Growing(FakeDevices& i) : inner(i) {}
        int waveOutCount() override { return inner.waveOutCount(); }
        std::u16string waveOutName(int id) override { return inner.waveOutName(id); }
        int directSoundCount() override { return 2; } // a device arrives between count and names
        std::vector<DirectSoundEntry> directSoundEntries() override { return inner.directSoundEntries(); }
        bool isModernPlatform() override { return true; }
    } g(f);
    DeviceCatalogue c(g);
    EXPECT_EQ(c.DirectSoundNames().size(), 2u);
}

TEST(DeviceCataloguePrefixes, PrefixesAreRecognisedInAnyCaseButNamesMatchExactly) {
    FakeDevices f = twoAndThree();
    DeviceCatalogue c(f);
    EXPECT_EQ(c.KindOf(u"[mme] Headset (USB)"), OutputWaveOut);
    EXPECT_EQ(c.KindOf(u"[DIRECTSOUND] Headset (USB)"), OutputDirectSound);
    EXPECT_EQ(c.KindOf(u"[asio] x"), OutputAsio);
    EXPECT_EQ(DeviceCatalogue::StripPrefix(u"[mme] \t Headset (USB)"), u"Headset (USB)");
    EXPECT_EQ(DeviceCatalogue::StripPrefix(u"Headset (USB)"), u"Headset (USB)");
    EXPECT_EQ(c.FindDevice(u"headset (usb)", OutputWaveOut).displayName, u"");
    EXPECT_EQ(c.FindDevice(u"headset (usb)", OutputDirectSound).displayName, u"");
    MemorySettings s;
    s.values[u"Player\\Device"] = u"[mme] Headset (USB)";
    const OutputDevice d = c.LoadSelection(s);
    EXPECT_EQ(d.kind, OutputWaveOut);
    EXPECT_EQ(d.catalogueIndex, 2);
    EXPECT_EQ(d.displayName, u"[MME] Headset (USB)");
}

TEST(DeviceCataloguePrefixes, AnUnprefixedNameBelongsToThePlatformsDefaultKind) {
    FakeDevices f = twoAndThree();
    DeviceCatalogue c(f);
    MemorySettings s;
    s.values[u"Player\\Device"] = u"Headset (USB)";
    OutputDevice d = c.LoadSelection(s);
    EXPECT_EQ(d.kind, OutputDirectSound);
    EXPECT_EQ(d.catalogueIndex, 5);
    f.modern = false;
    d = c.LoadSelection(s);
    EXPECT_EQ(d.kind, OutputWaveOut);
    EXPECT_EQ(d.catalogueIndex, 2);
}

TEST(DeviceCatalogueDefaults, AnEmptyStoredNameGivesTheDefaultDirectSoundDeviceWhenThereIsOne) {
    FakeDevices f = twoAndThree();
    DeviceCatalogue c(f);
    MemorySettings s;
    OutputDevice d = c.LoadSelection(s);
    EXPECT_EQ(d.kind, OutputDirectSound);
    EXPECT_EQ(d.catalogueIndex, 3);
    EXPECT_EQ(d.displayName, u"[DirectSound] デフォルトの再生デバイス");
    EXPECT_FALSE(hasOwnGuid(d));
    f.directSoundPresent = false;
    d = c.LoadSelection(s);
    EXPECT_EQ(d.kind, OutputWaveOut);
    EXPECT_EQ(d.catalogueIndex, 0);
    EXPECT_EQ(d.displayName, u"[MME] デフォルトの再生デバイス");
    f.directSoundPresent = true;
    f.modern = false; // before Windows 7 an empty name is the default waveOut device
    d = c.LoadSelection(s);
    EXPECT_EQ(d.kind, OutputWaveOut);
    EXPECT_EQ(d.displayName, u"[MME] デフォルトの再生デバイス");
}

TEST(DeviceCatalogueDefaults, TheOldDefaultAliasResolvesToTheDefaultWaveOutDevice) {
    FakeDevices f = twoAndThree();
    DeviceCatalogue c(f);
    MemorySettings s;
    s.values[u"Player\\Device"] = u"[MME] [デフォルトの音声出力]";
    const OutputDevice d = c.LoadSelection(s);
    EXPECT_EQ(d.kind, OutputWaveOut);
    EXPECT_EQ(d.catalogueIndex, 0);
    EXPECT_EQ(d.shortName, u"デフォルトの再生デバイス");
    EXPECT_EQ(d.displayName, u"[MME] デフォルトの再生デバイス");
}

TEST(DeviceCatalogueDefaults, ThePrimaryDriverIsListedAsTheDefaultDeviceWithAZeroGuid) {
    FakeDevices f = twoAndThree();
    DeviceCatalogue c(f);
    const OutputDevice d = c.FindDevice(u"デフォルトの再生デバイス", OutputDirectSound);
    EXPECT_EQ(d.displayName, u"[DirectSound] デフォルトの再生デバイス");
    EXPECT_FALSE(hasOwnGuid(d));
    // An entry named like the alias takes the primary driver's GUID.
    f.directSound.push_back({u"Default Playback Device", true, guidWith(0x33333333)});
    EXPECT_FALSE(hasOwnGuid(c.FindDevice(u"Default Playback Device", OutputDirectSound)));
}

TEST(DeviceCatalogueMissing, AStoredDirectSoundNameThatHasGoneResolvesToThePrimaryDevice) {
    FakeDevices f = twoAndThree();
    DeviceCatalogue c(f);
    MemorySettings s;
    s.values[u"Player\\Device"] = u"[DirectSound] Bluetooth (gone)";
    const OutputDevice d = c.LoadSelection(s);
    EXPECT_EQ(d.kind, OutputDirectSound);
    EXPECT_EQ(d.catalogueIndex, 3);
    EXPECT_TRUE(d.displayName.empty());
    EXPECT_FALSE(hasOwnGuid(d));
}

TEST(DeviceCatalogueMissing, AStoredWaveOutNameThatHasGoneResolvesToTheWaveMapper) {
    FakeDevices f = twoAndThree();
    DeviceCatalogue c(f);
    const OutputDevice d = c.FindDevice(u"Bluetooth (gone)", OutputWaveOut);
    EXPECT_EQ(d.kind, OutputWaveOut);
    EXPECT_EQ(d.catalogueIndex, 0);
    EXPECT_TRUE(d.displayName.empty());
}

TEST(DeviceCatalogueMissing, WithoutDirectSoundTheListIsEmptyAndTheDefaultIsWaveOut) {
    FakeDevices f = twoAndThree();
    f.directSoundPresent = false;
    DeviceCatalogue c(f);
    EXPECT_TRUE(c.DirectSoundList().empty());
    EXPECT_EQ(c.DefaultDevice().kind, OutputWaveOut);
    EXPECT_EQ(c.FindDevice(u"Headset (USB)", OutputDirectSound).catalogueIndex, 3);
}

TEST(DeviceCatalogueOnThisSystem, WineListsOneWaveOutDeviceAndTwoDirectSoundEntries) {
    DeviceCatalogue c;
    c.RefreshCounts();
    if (c.waveOutCount() == 0)
        SONIMO_SKIP_WITHOUT_DEVICE("no waveOut device is listed (no ALSA default device?)");
    const std::vector<std::u16string> wave = c.WaveOutList();
    ASSERT_EQ(wave.size(), static_cast<std::size_t>(c.waveOutCount()) + 1);
    EXPECT_EQ(wave[1], u"[MME] Out: default");
    ASSERT_EQ(c.directSoundCount(), 2);
    EXPECT_EQ(c.DirectSoundList(),
              (std::vector<std::u16string>{u"デフォルトの再生デバイス", u"Out: default"}));
    const OutputDevice own = c.FindDevice(u"Out: default", OutputDirectSound);
    EXPECT_EQ(own.catalogueIndex, c.waveOutCount() + 2);
    EXPECT_TRUE(hasOwnGuid(own));
    const OutputDevice primary = c.FindDevice(u"", OutputDirectSound);
    EXPECT_EQ(primary.catalogueIndex, c.waveOutCount() + 1);
    EXPECT_FALSE(hasOwnGuid(primary));
    EXPECT_EQ(c.FindDevice(u"Out: default", OutputWaveOut).catalogueIndex, 1);
    EXPECT_EQ(c.FindDevice(u"out: default", OutputWaveOut).displayName, u"");
}

} // namespace
} // namespace sonimo
