// The process entry of Sonimo.exe: the command line, the single-instance check (a second
// start hands its arguments to the running copy and ends), then the file readers, COM
// and the common controls, the instance window, the main window with its stored
// placement, and the loop.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <optional>
#include <string>
#include <vector>

#include "ui/CommandLine.h"
#include "app/RegistrySettingsStore.h"
#include "app/SettingsFolder.h"
#include "app/SingleInstance.h"
#include "audio/win32/FileReaders.h"
#include "platform/Notice.h"
#include "platform/SettingsStore.h"
#include "ui/win32/LpcControl.h"
#include "ui/win32/MainWindow.h"
#include "ui/win32/MessageBoxNotice.h"
#include "ui/win32/ProgramHost.h"

namespace {

// The program's host, with the reading of forwarded blocks, which is the entry's business.
class EntryHost final : public sonimo::ProgramHost {
public:
    std::optional<std::vector<std::u16string>> forwardedArguments(const void* data,
                                                                  std::size_t size) override {
        return sonimo::readForwardedBlock(data, size);
    }
};

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    using namespace sonimo;
    const std::vector<std::u16string> arguments =
        splitCommandLine(reinterpret_cast<const char16_t*>(GetCommandLineW()));
    enterProgramFolderUnderWine();
    // The installer framework's switches are not ours: such a start has nothing to do.
    if (arguments.size() > 1 && isMaintenanceOption(arguments[1])) return 0;
    declareDpiAware();

    StartupMutex starting;
    if (HWND running = findRunningInstance()) {
        forwardArguments(running, arguments);
        return 0;
    }

    // The WAV files sonimo-cli reads (ADPCM and GSM through the ACM included), before the
    // window can open any.
    installFileReaders();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    registerLpcClass(instance);

    RegistrySettingsStore settings;
    MessageBoxNotice notice;
    setCurrentNotice(&notice);
    std::u16string folder;
    settingsFolder(folder);

    OwnedWindow instanceWindow = createInstanceWindow(instance);
    int result = 1;
    {
        EntryHost host;
        MainWindow window(host, settings, folder);
        if (window.create(instance)) {
            setInstanceTarget(instanceWindow.get(), window.hwnd());
            notice.setOwner(window.hwnd());
            window.restorePlacement();
            // A second start may forward now (its file waits for any dialog we open), so the
            // mutex goes before anything modal: a .tdl keeps the list dialog open here.
            starting.release();
            host.openArguments(window, arguments);
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
                if (window.preTranslateMessage(msg)) continue;
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            result = static_cast<int>(msg.wParam);
        }
        setInstanceTarget(instanceWindow.get(), nullptr);
    }
    instanceWindow.reset();
    setCurrentNotice(nullptr);
    CoUninitialize();
    return result;
}
