#include "app/SingleInstance.h"

#include "ui/CommandLine.h"
#include "ui/win32/MainWindow.h"

namespace sonimo {

namespace {

constexpr DWORD kMutexWaitMs = 20000;
constexpr DWORD kMutexRetryMs = 50;
constexpr wchar_t kStarterPipe[] = L"\\\\.\\pipe\\QuarloLSISonimo";
constexpr DWORD kPipeWriteWaitMs = 3000;
// The running copy only copies the block and posts; a copy that does not answer in this
// time is hung, and the second start must still end.
constexpr UINT kAnswerWaitMs = 10000;

template <typename F> F lookUp(const wchar_t* module, const char* name) {
    HMODULE m = GetModuleHandleW(module);
    return m ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name))) : nullptr;
}

LRESULT CALLBACK instanceProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND main = reinterpret_cast<HWND>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_COPYDATA) return main ? SendMessageW(main, WM_COPYDATA, wParam, lParam) : 0;
    // a start with no command line at all: treat it as a start without a file
    if (message == kMsgEmptyCommandLine) {
        if (main) PostMessageW(main, kMsgForwardedArguments, 0, 0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A program that started us and waits on the starter pipe learns which process to wait
// for instead. Any failure just skips this.
void tellStarter(HWND instanceWindow) {
    OwnedFile pipe;
    for (int attempt = 0; attempt < 3; ++attempt) {
        pipe.reset(CreateFileW(kStarterPipe, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OVERLAPPED, nullptr));
        if (pipe || GetLastError() != ERROR_PIPE_BUSY) break;
        if (!WaitNamedPipeW(kStarterPipe, NMPWAIT_USE_DEFAULT_WAIT)) break;
    }
    if (!pipe) return;
    DWORD pid = 0;
    if (PeekNamedPipe(pipe.get(), nullptr, 0, nullptr, nullptr, nullptr) &&
        GetWindowThreadProcessId(instanceWindow, &pid) && pid) {
        const OwnedHandle written(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (written) {
            OVERLAPPED ov{};
            ov.hEvent = written.get();
            DWORD bytes = 0;
            if (!WriteFile(pipe.get(), &pid, sizeof pid, &bytes, &ov) && GetLastError() == ERROR_IO_PENDING &&
                WaitForSingleObject(ov.hEvent, kPipeWriteWaitMs) != WAIT_OBJECT_0)
                CancelIo(pipe.get());
            GetOverlappedResult(pipe.get(), &ov, &bytes, TRUE); // the OVERLAPPED must outlive the write
        }
    }
}

} // namespace

StartupMutex::StartupMutex() {
    const DWORD start = GetTickCount();
    // Access denied: another user's session holds the name; it may go away, so retry.
    for (;;) {
        handle_.reset(CreateMutexW(nullptr, FALSE, L"Global\\SonimoStarting"));
        if (handle_ || GetLastError() != ERROR_ACCESS_DENIED || GetTickCount() - start >= kMutexWaitMs) break;
        Sleep(kMutexRetryMs);
    }
    if (!handle_) return;
    const DWORD used = GetTickCount() - start;
    const DWORD r = WaitForSingleObject(handle_.get(), used >= kMutexWaitMs ? 0 : kMutexWaitMs - used);
    owned_ = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
}

void StartupMutex::release() {
    if (owned_) ReleaseMutex(handle_.get());
    owned_ = false;
    handle_.reset();
}

HWND findRunningInstance() {
    return FindWindowW(kInstanceWindowClass, kInstanceWindowTitle);
}

OwnedWindow createInstanceWindow(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = instanceProc;
    wc.cbWndExtra = sizeof(void*);
    wc.hInstance = instance;
    wc.lpszClassName = kInstanceWindowClass;
    RegisterClassExW(&wc);
    OwnedWindow window(CreateWindowExW(0, kInstanceWindowClass, kInstanceWindowTitle, WS_POPUP, 0, 0, 0, 0,
                                       nullptr, nullptr, instance, nullptr));
    // A start from a lower integrity level (a shell running unelevated) may still forward.
    using Filter = BOOL(WINAPI*)(UINT, DWORD);
    if (auto filter = lookUp<Filter>(L"user32.dll", "ChangeWindowMessageFilter")) filter(WM_COPYDATA, 1);
    return window;
}

void setInstanceTarget(HWND instanceWindow, HWND mainWindow) {
    SetWindowLongPtrW(instanceWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(mainWindow));
}

bool forwardArguments(HWND instanceWindow, const std::vector<std::u16string>& arguments) {
    if (arguments.empty()) return PostMessageW(instanceWindow, kMsgEmptyCommandLine, 0, 0) != 0;
    tellStarter(instanceWindow);
    std::vector<std::uint8_t> block = buildForwardedBlock(arguments);
    COPYDATASTRUCT data{0, static_cast<DWORD>(block.size()), block.data()};
    // The running copy may bring a window of ours to the front when it was started bare;
    // letting it take the foreground is ours to give.
    DWORD pid = 0;
    if (GetWindowThreadProcessId(instanceWindow, &pid)) AllowSetForegroundWindow(pid);
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(instanceWindow, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                               SMTO_ABORTIFHUNG, kAnswerWaitMs, &answer) &&
           answer == 1;
}

void enterProgramFolderUnderWine() {
    if (!lookUp<FARPROC>(L"kernel32.dll", "wine_get_unix_file_name")) return;
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    for (DWORD i = n; i-- > 0;)
        if (path[i] == L'\\' || path[i] == L'/') {
            path[i] = 0;
            SetCurrentDirectoryW(path);
            return;
        }
}

void declareDpiAware() {
    using Aware = BOOL(WINAPI*)();
    if (auto aware = lookUp<Aware>(L"user32.dll", "SetProcessDPIAware")) aware();
}

} // namespace sonimo
