// Drives a running Sonimo.exe from outside for the end-to-end tests: finds its main
// window, reads its value grid across the process boundary, sends commands, closes it,
// and judges the captured audio. Texts come out as hex of their UTF-8 bytes, because
// Wine converts console output with the Unix locale's codeset, which is missing here.
//
//   sonimo_driver wait [MS]          exit 0 once the main window exists
//   sonimo_driver grid               one line per row: hex(label) hex(value) selected(0/1)
//   sonimo_driver command ID         posts WM_COMMAND ID to the main window
//   sonimo_driver playing            exit 0 when the stop button is enabled (playing)
//   sonimo_driver rect               the window's rectangle on the screen: left top width height
//   sonimo_driver close [MS]         closes the window and waits for the process to end
//   sonimo_driver control-rect ID    a descendant control's rectangle on the screen
//   sonimo_driver wait-title HEX [MS] exit 0 once a dialog titled so (hex of UTF-8) is shown
//   sonimo_driver wait-text HEX [MS] exit 0 once a shown dialog holds a control with this text
//   sonimo_driver dlg-click HEX ID   posts a click of button ID to the dialog titled so
//   sonimo_driver dlg-select HEX ID N selects entry N of combo box ID of that dialog
//   sonimo_driver pressed ID         exit 0 when value-toolbar button ID is pressed
//   sonimo_driver status PART        hex(UTF-8) of a status bar part's text
//   sonimo_driver capture HZ[,HZ...] exit 0 when the capture holds those sines, about equally
//                                    loud, and nothing else of weight; one tone must also
//                                    have the rms/peak of a sine (neither clipped nor pulsing)
//   sonimo_driver instances          the number of instance windows, then of main windows
//   sonimo_driver send-block KIND    sends a crafted WM_COPYDATA to the instance window and
//                                    prints the answer (KIND: see craftedBlock)
//   sonimo_driver hold-front MS      shows a window of its own in front for MS milliseconds
//   sonimo_driver front              exit 0 when the main window is the foreground window
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "AudioCapture.h"
#include "ui/CommandLine.h"

namespace {

const wchar_t kTitle[] = L"Sonimoテスト信号生成ソフト";

HWND findMain() {
    return FindWindowW(L"#32770", kTitle);
}

HWND waitMain(DWORD ms) {
    const DWORD end = GetTickCount() + ms;
    HWND w;
    // created hidden, then placed and shown: only a shown window has its place
    while (!((w = findMain()) && IsWindowVisible(w)) && static_cast<int>(end - GetTickCount()) > 0)
        Sleep(50);
    if (w) Sleep(300); // the first layout comes from a 10 ms timer
    return w;
}

std::string hex(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string utf8(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), n, nullptr,
                        nullptr);
    std::string out = utf8.empty() ? "-" : "";
    char b[3];
    for (unsigned char c : utf8) {
        std::snprintf(b, sizeof b, "%02x", c);
        out += b;
    }
    return out;
}

// List-view messages carry pointers: their buffers must live in the target process.
int printGrid(HWND main) {
    HWND grid = GetDlgItem(main, 120);
    DWORD pid = 0;
    GetWindowThreadProcessId(grid, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process) return 2;
    const SIZE_T textBytes = 520;
    auto* remote = static_cast<char*>(
        VirtualAllocEx(process, nullptr, sizeof(LVITEMW) + textBytes, MEM_COMMIT, PAGE_READWRITE));
    const int count = static_cast<int>(SendMessageW(grid, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::wstring texts[2];
        for (int column = 0; column < 2; ++column) {
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
            item.cchTextMax = textBytes / 2;
            WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
            const int n =
                static_cast<int>(SendMessageW(grid, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(remote)));
            wchar_t text[260] = {};
            ReadProcessMemory(process, remote + sizeof(LVITEMW), text, textBytes, nullptr);
            texts[column].assign(text, n > 0 && n < 260 ? n : 0);
        }
        const bool selected = SendMessageW(grid, LVM_GETITEMSTATE, i, LVIS_SELECTED) & LVIS_SELECTED;
        std::printf("%s %s %d\n", hex(texts[0]).c_str(), hex(texts[1]).c_str(), selected ? 1 : 0);
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return 0;
}

// The share of the signal's power at `hz`, from a direct DFT at that frequency.
double powerShare(const sonimo::test::Capture& c, std::size_t begin, std::size_t end, double hz) {
    double re = 0, im = 0, total = 0;
    const double step = 2 * 3.14159265358979323846 * hz / c.rate;
    for (std::size_t i = begin; i < end; ++i) {
        const double v = c.samples[i * c.channels];
        re += v * std::cos(step * static_cast<double>(i));
        im += v * std::sin(step * static_cast<double>(i));
        total += v * v;
    }
    const double n = static_cast<double>(end - begin);
    return total > 0 ? 2 * (re * re + im * im) / (n * total) : 0;
}

int checkCapture(const std::wstring& list) {
    using namespace sonimo::test;
    std::vector<double> tones;
    for (std::size_t pos = 0; pos < list.size();) {
        std::size_t comma = list.find(L',', pos);
        if (comma == std::wstring::npos) comma = list.size();
        tones.push_back(_wtof(list.substr(pos, comma - pos).c_str()));
        pos = comma + 1;
    }
    std::size_t removed = 0;
    const Capture c = withoutSilentRuns(readCapture(), 64, removed);
    if (!c.ok || c.frames() < static_cast<std::size_t>(c.rate / 2) || tones.empty()) {
        std::printf("capture: %s, %zu frames\n", c.ok ? "too short" : "unreadable", c.frames());
        return 1;
    }
    const std::size_t begin = c.rate / 20, end = c.frames() - c.rate / 20;
    double sum = 0;
    bool each = true;
    for (double hz : tones) {
        const double share = powerShare(c, begin, end, hz);
        std::printf("capture: %.2f Hz holds %.3f of the power\n", hz, share);
        sum += share;
        each = each && share > 0.5 / static_cast<double>(tones.size());
    }
    std::printf("capture: %zu frames at %d Hz, %zu silent frames left out\n", c.frames(), c.rate, removed);
    bool shaped = true;
    if (tones.size() == 1) {
        double power = 0, peak = 0;
        for (std::size_t i = begin; i < end; ++i) {
            const double v = c.samples[i * c.channels];
            power += v * v;
            peak = std::max(peak, std::abs(v));
        }
        const double crest = peak > 0 ? std::sqrt(power / static_cast<double>(end - begin)) / peak : 0;
        std::printf("capture: rms/peak %.3f (a sine has 0.707)\n", crest);
        shaped = std::abs(crest - std::sqrt(0.5)) < 0.02;
    }
    return each && sum > 0.9 && shaped ? 0 : 1;
}

struct Search {
    int id;
    HWND found;
};

BOOL CALLBACK findId(HWND child, LPARAM p) {
    auto* s = reinterpret_cast<Search*>(p);
    if (GetDlgCtrlID(child) == s->id) {
        s->found = child;
        return FALSE;
    }
    return TRUE;
}

struct TextSearch {
    std::wstring text;
    bool found = false;
};

BOOL CALLBACK childHasText(HWND child, LPARAM p) {
    auto* s = reinterpret_cast<TextSearch*>(p);
    wchar_t text[512] = {};
    GetWindowTextW(child, text, 512);
    if (s->text == text) {
        s->found = true;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK dialogHasText(HWND window, LPARAM p) {
    wchar_t cls[16] = {};
    GetClassNameW(window, cls, 16);
    if (IsWindowVisible(window) && std::wstring(cls) == L"#32770") EnumChildWindows(window, childHasText, p);
    return !reinterpret_cast<TextSearch*>(p)->found;
}

BOOL CALLBACK countWindows(HWND window, LPARAM p) {
    auto* counts = reinterpret_cast<int*>(p);
    wchar_t cls[64], title[64];
    GetClassNameW(window, cls, 64);
    GetWindowTextW(window, title, 64);
    if (std::wstring(cls) == L"QuarloSoftware_InstanceWindow" && std::wstring(title) == L"Sonimo")
        ++counts[0];
    if (std::wstring(cls) == L"#32770" && std::wstring(title) == kTitle) ++counts[1];
    return TRUE;
}

// Blocks another process could send the running copy: each must be answered with 0 and
// open nothing, or (the last two) read no slot past its end.
//   short, long    one byte less or more than the block
//   negative, huge count -1 and 1000 with full slots behind
//   id             a good block with data identifier 1
//   brim           count 128, every slot 260 units without a zero (answered 1, count 128)
int sendCraftedBlock(const std::wstring& kind) {
    HWND instance = FindWindowW(L"QuarloSoftware_InstanceWindow", L"Sonimo");
    if (!instance) return 1;
    std::vector<std::uint8_t> block = sonimo::buildForwardedBlock({u"x.exe", u"a.tdf"});
    auto count = [&](std::int32_t n) { std::memcpy(block.data(), &n, 4); };
    ULONG_PTR id = 0;
    if (kind == L"short")
        block.pop_back();
    else if (kind == L"long")
        block.push_back(0);
    else if (kind == L"negative" || kind == L"huge" || kind == L"brim") {
        count(kind == L"negative" ? -1 : kind == L"huge" ? 1000 : 128);
        for (std::size_t i = 4; i < block.size(); i += 2) {
            block[i] = 'A';
            block[i + 1] = 0x30;
        }
    } else if (kind == L"id")
        id = 1;
    else
        return 64;
    COPYDATASTRUCT data{id, static_cast<DWORD>(block.size()), block.data()};
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(instance, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                             10000, &answer))
        return 2;
    std::printf("%lu\n", static_cast<unsigned long>(answer));
    return 0;
}

std::wstring unhex(const wchar_t* hexText) {
    std::string bytes;
    for (const wchar_t* p = hexText; p[0] && p[1]; p += 2) {
        const wchar_t pair[3] = {p[0], p[1], 0};
        bytes.push_back(static_cast<char>(wcstol(pair, nullptr, 16)));
    }
    const int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
    return text;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 64;
    const std::wstring verb = argv[1];
    const DWORD ms = argc > 2 ? static_cast<DWORD>(_wtoi(argv[2])) : 20000;
    if (verb == L"wait-title" && argc > 2) {
        const std::wstring title = unhex(argv[2]);
        const DWORD end = GetTickCount() + (argc > 3 ? static_cast<DWORD>(_wtoi(argv[3])) : 10000);
        do {
            if (HWND d = FindWindowW(L"#32770", title.c_str()); d && IsWindowVisible(d)) return 0;
            Sleep(50);
        } while (static_cast<int>(end - GetTickCount()) > 0);
        return 1;
    }
    if ((verb == L"dlg-click" || verb == L"dlg-select") && argc > 3) {
        HWND d = FindWindowW(L"#32770", unhex(argv[2]).c_str());
        if (!d) return 1;
        const int id = _wtoi(argv[3]);
        if (verb == L"dlg-click")
            PostMessageW(d, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(d, id)));
        else
            SendDlgItemMessageW(d, id, CB_SETCURSEL, argc > 4 ? _wtoi(argv[4]) : 0, 0);
        return 0;
    }
    if (verb == L"wait-text" && argc > 2) {
        TextSearch search{unhex(argv[2])};
        const DWORD end = GetTickCount() + (argc > 3 ? static_cast<DWORD>(_wtoi(argv[3])) : 10000);
        do {
            EnumWindows(dialogHasText, reinterpret_cast<LPARAM>(&search));
            if (search.found) return 0;
            Sleep(50);
        } while (static_cast<int>(end - GetTickCount()) > 0);
        return 1;
    }
    if (verb == L"capture") return checkCapture(argc > 2 ? argv[2] : L"");
    if (verb == L"instances") {
        int counts[2] = {};
        EnumWindows(countWindows, reinterpret_cast<LPARAM>(counts));
        std::printf("%d %d\n", counts[0], counts[1]);
        return 0;
    }
    if (verb == L"send-block" && argc > 2) return sendCraftedBlock(argv[2]);
    if (verb == L"hold-front") {
        // Wine carries ShowWindow of another process's window nowhere, so the driver takes
        // the front with a window of its own instead of moving the program's.
        HWND own = CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"sonimo-driver-front", WS_POPUP | WS_VISIBLE, 0,
                                   0, 200, 100, nullptr, nullptr, nullptr, nullptr);
        SetForegroundWindow(own);
        const DWORD end = GetTickCount() + ms;
        MSG msg;
        while (static_cast<int>(end - GetTickCount()) > 0) {
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
            Sleep(20);
        }
        DestroyWindow(own);
        return 0;
    }
    HWND main = verb == L"wait" ? waitMain(ms) : findMain();
    if (!main) {
        std::printf("no main window\n");
        return 1;
    }
    if (verb == L"wait") return 0;
    if (verb == L"grid") return printGrid(main);
    if (verb == L"command" && argc > 2) {
        PostMessageW(main, WM_COMMAND, static_cast<WPARAM>(_wtoi(argv[2])), 0);
        return 0;
    }
    if (verb == L"control-rect" && argc > 2) {
        Search search{_wtoi(argv[2]), nullptr};
        EnumChildWindows(main, findId, reinterpret_cast<LPARAM>(&search));
        if (!search.found) return 1;
        RECT r;
        GetWindowRect(search.found, &r);
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        return 0;
    }
    if (verb == L"rect") {
        RECT r;
        GetWindowRect(main, &r);
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        return 0;
    }
    if (verb == L"pressed" && argc > 2) {
        Search search{90, nullptr};
        EnumChildWindows(main, findId, reinterpret_cast<LPARAM>(&search));
        return search.found && SendMessageW(search.found, TB_ISBUTTONCHECKED, _wtoi(argv[2]), 0) ? 0 : 1;
    }
    if (verb == L"status" && argc > 2) {
        HWND bar = FindWindowExW(main, nullptr, STATUSCLASSNAMEW, nullptr);
        DWORD pid = 0;
        GetWindowThreadProcessId(bar, &pid);
        HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (!bar || !process) return 1;
        auto* remote =
            static_cast<wchar_t*>(VirtualAllocEx(process, nullptr, 2048, MEM_COMMIT, PAGE_READWRITE));
        const int n =
            LOWORD(SendMessageW(bar, SB_GETTEXTW, _wtoi(argv[2]), reinterpret_cast<LPARAM>(remote)));
        wchar_t text[1024] = {};
        ReadProcessMemory(process, remote, text, 2046, nullptr);
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
        CloseHandle(process);
        std::printf("%s\n", hex(std::wstring(text, n > 0 && n < 1024 ? n : 0)).c_str());
        return 0;
    }
    if (verb == L"front") { // prints the foreground window's title
        wchar_t title[128] = {};
        GetWindowTextW(GetForegroundWindow(), title, 128);
        std::printf("%s\n", hex(title).c_str());
        return GetForegroundWindow() == main ? 0 : 1;
    }
    if (verb == L"playing") {
        HWND toolbar = GetDlgItem(main, 89);
        return SendMessageW(toolbar, TB_ISBUTTONENABLED, 102, 0) ? 0 : 1;
    }
    if (verb == L"close") {
        DWORD pid = 0;
        GetWindowThreadProcessId(main, &pid);
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
        PostMessageW(main, WM_CLOSE, 0, 0);
        const DWORD r = process ? WaitForSingleObject(process, ms) : WAIT_FAILED;
        if (process) CloseHandle(process);
        return r == WAIT_OBJECT_0 ? 0 : 1;
    }
    return 64;
}
