// The main controller's playback through the real player: the device the settings name,
// start, stop, the one-call live change and the volume. User-interface thread only.
#pragma once
#include "audio/playback/LSoundPlayer.h"
#include "platform/SettingsStore.h"
#include "ui/MainController.h"

namespace sonimo {

class PlayerPlayback final : public PlaybackControl {
public:
    // Both borrowed.
    PlayerPlayback(LSoundPlayer& player, SettingsStore& settings) : player_(player), settings_(settings) {}

    void selectStoredDevice() override;
    bool start(const SourceRef& source) override { return player_.Start(source); }
    void stop() override { player_.Stop(); }
    void changeLive(const SourceRef& source) override { player_.ChangeSourceLive(source); }
    void setVolume(int step) override { player_.SetVolume(static_cast<std::int8_t>(step)); }
    int volume() override { return player_.GetVolume(); }
    bool playing() override { return !player_.IsStopped(); }
    bool deviceHasOwnGuid() override;

private:
    LSoundPlayer& player_;    // borrowed
    SettingsStore& settings_; // borrowed
};

} // namespace sonimo
