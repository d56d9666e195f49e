#include "ui/win32/PlayerPlayback.h"

#include "audio/playback/OutputDevice.h"

namespace sonimo {

void PlayerPlayback::selectStoredDevice() {
    DeviceCatalogue catalogue;
    player_.SelectDevice(catalogue.LoadSelection(settings_));
}

bool PlayerPlayback::deviceHasOwnGuid() {
    if (player_.outputKind() == OutputWaveOut) return hasOwnGuid(player_.waveOut().device());
    if (player_.outputKind() == OutputDirectSound) return hasOwnGuid(player_.directSound().device());
    return false; // any other kind has no device record: the default one has no GUID
}

} // namespace sonimo
