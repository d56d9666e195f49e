// The options dialog (template 42, caption "Sonimoのオプション"): autoplay, the playback
// device, the sample rate and the step of the value commands. Modal over its owner.
// User-interface thread only.
#pragma once
#include <windows.h>

#include <optional>

#include "audio/playback/OutputDevice.h"
#include "ui/OptionsModel.h"
#include "ui/win32/MessageBoxNotice.h"

namespace sonimo {

template <class Dialog> struct DialogProcedure;

class OptionsDialog {
public:
    // `settings` and `devices` (the system's, or a test's) are borrowed.
    OptionsDialog(HWND owner, SettingsStore& settings, DeviceSystem& devices = systemDevices());
    // True when it closed with OK (the settings are then stored).
    bool run();
    static HWND current(); // for tests: the dialog's window while it runs

private:
    friend struct DialogProcedure<OptionsDialog>;
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void init();
    void modeChanged();
    bool accept();

    HWND owner_;              // borrowed
    HWND window_ = nullptr;   // borrowed: the dialog manager's, while run() runs
    SettingsStore& settings_; // borrowed
    DeviceCatalogue catalogue_;
    std::optional<NoticeOwner> notices_; // the refusals are owned by the dialog
};

} // namespace sonimo
