// The process entry of Sonimo.exe: COM and the common controls, the instance window, the
// main window with its stored placement, the command line, and the message loop.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/RegistrySettingsStore.h"
#include "app/SettingsFolder.h"
#include "platform/Notice.h"
#include "platform/SettingsStore.h"
#include "ui/win32/LpcControl.h"
#include "ui/win32/MainWindow.h"
#include "ui/win32/MessageBoxNotice.h"
#include "ui/win32/ProgramHost.h"

namespace {

constexpr wchar_t kInstanceClass[] = L"QuarloSoftware_InstanceWindow";

LRESULT CALLBACK instanceProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

// The hidden window a second start looks for; its user data points to the main window.
HWND createInstanceWindow(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = instanceProc;
    wc.hInstance = instance;
    wc.lpszClassName = kInstanceClass;
    RegisterClassExW(&wc);
    return CreateWindowExW(0, kInstanceClass, L"Sonimo", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance,
                           nullptr);
}

std::vector<std::u16string> commandLineArguments() {
    std::vector<std::u16string> args;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 0; argv && i < count; ++i)
        args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
    LocalFree(argv);
    return args;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    using namespace sonimo;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    registerLpcClass(instance);

    RegistrySettingsStore settings;
    setCurrentSettings(&settings);
    MessageBoxNotice notice;
    setCurrentNotice(&notice);
    std::u16string folder;
    settingsFolder(folder);

    HWND instanceWindow = createInstanceWindow(instance);
    int result = 1;
    {
        ProgramHost host;
        MainWindow window(host, folder);
        if (window.create(instance)) {
            SetWindowLongPtrW(instanceWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&window));
            notice.setOwner(window.hwnd());
            window.restorePlacement();
            host.openArguments(window, commandLineArguments());
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
                if (window.preTranslateMessage(msg)) continue;
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            result = static_cast<int>(msg.wParam);
        }
        SetWindowLongPtrW(instanceWindow, GWLP_USERDATA, 0);
    }
    DestroyWindow(instanceWindow);
    setCurrentNotice(nullptr);
    setCurrentSettings(nullptr);
    CoUninitialize();
    return result;
}
