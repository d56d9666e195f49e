#include "ui/win32/ProgramHost.h"

#include <commdlg.h>

#include <vector>

#include "platform/File.h"
#include "ui/CommandIds.h"
#include "ui/win32/Dialogs.h"
#include "ui/win32/OptionsDialog.h"
#include "ui/win32/ToneListDialog.h"

namespace sonimo {

namespace {

const wchar_t* w(const std::u16string& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

std::wstring filterText(const std::vector<FileFilter>& filters) {
    std::wstring text;
    for (const FileFilter& f : filters) {
        text.append(f.name.begin(), f.name.end());
        text.push_back(L'\0');
        text.append(f.pattern.begin(), f.pattern.end());
        text.push_back(L'\0');
    }
    text.push_back(L'\0');
    return text;
}

std::u16string readAppPath(HKEY root) {
    HKEY key;
    if (RegOpenKeyExW(root, L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Cantrel.exe", 0,
                      KEY_READ, &key) != ERROR_SUCCESS)
        return {};
    wchar_t path[MAX_PATH + 1] = {};
    DWORD bytes = sizeof(path) - sizeof(wchar_t);
    DWORD type = 0;
    std::u16string result;
    if (RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path), &bytes) ==
            ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        path[bytes / sizeof(wchar_t) < MAX_PATH ? bytes / sizeof(wchar_t) : MAX_PATH] = 0;
        std::u16string text = reinterpret_cast<const char16_t*>(path);
        if (text.size() >= 2 && text.front() == u'"' && text.back() == u'"')
            text = text.substr(1, text.size() - 2);
        result = text;
    }
    RegCloseKey(key);
    return result;
}

} // namespace

FileCommands ProgramHost::commandsFor(MainWindow& window) {
    owner_ = window.hwnd();
    return FileCommands(window.tone(), *this, [&window] { window.applyToneChange(); });
}

void ProgramHost::fileCommand(MainWindow& window, std::uint16_t command) {
    FileCommands commands = commandsFor(window);
    switch (command) {
    case kCmdSaveTone:
        commands.saveTone();
        break;
    case kCmdOpenTone:
        commands.openTone();
        break;
    case kCmdSaveToneAs:
        commands.saveToneAs();
        break;
    case kCmdNewList:
        commands.newList();
        break;
    case kCmdOpenList:
    case kCmdOpenListToolbar:
        commands.openList();
        break;
    case kCmdSaveList:
        commands.saveList();
        break;
    case kCmdSaveWav:
        commands.saveWav();
        break;
    case kCmdEditInCantrel:
        commands.editInCompanion();
        break;
    default:
        break;
    }
}

void ProgramHost::editValues(MainWindow& window) {
    if (window.tone().waveform == FromList) {
        commandsFor(window).editListOfTone();
        return;
    }
    HWND owner = window.hwnd();
    window.editSelected([owner](const std::u16string& title, const std::u16string& prompt,
                                const std::u16string& text) { return askText(owner, title, prompt, text); });
}

void ProgramHost::openArguments(MainWindow& window, const std::vector<std::u16string>& arguments) {
    if (arguments.size() == 2 && !arguments[1].empty()) commandsFor(window).openPath(arguments[1]);
}

namespace {

// The common open or save dialog. The open dialog starts in the initial file's folder with
// an empty name; the save dialog offers the initial file's name. Neither changes the
// process's current folder, and the overwrite question is the program's own.
std::optional<std::u16string> fileDialog(HWND owner, const FileDialogRequest& request, bool save) {
    wchar_t file[MAX_PATH] = {};
    if (save) {
        const std::u16string name = request.initialFile.substr(request.initialFile.find_last_of(u"\\/") + 1);
        if (name.size() < MAX_PATH) std::copy(name.begin(), name.end(), file);
    }
    const std::wstring filter = filterText(request.filters);
    const std::u16string folder =
        request.initialFile.empty() ? request.initialFolder : folderOf(request.initialFile);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrInitialDir = folder.empty() ? nullptr : w(folder);
    ofn.lpstrTitle = w(request.title);
    ofn.lpstrDefExt = w(request.defaultExtension);
    ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!save) ofn.Flags |= OFN_FILEMUSTEXIST;
    if (!(save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn))) return std::nullopt;
    return std::u16string(reinterpret_cast<const char16_t*>(file));
}

} // namespace

std::optional<std::u16string> ProgramHost::openFile(const FileDialogRequest& request) {
    return fileDialog(owner_, request, false);
}

std::optional<std::u16string> ProgramHost::saveFile(const FileDialogRequest& request) {
    return fileDialog(owner_, request, true);
}

bool ProgramHost::confirmOverwrite(const std::u16string& path) {
    return askOverwrite(owner_, path);
}

int ProgramHost::render(const std::u16string& message, const SourceRef& source, const SinkRef& sink) {
    return renderWithProgress(owner_, message, source, sink);
}

bool ProgramHost::editList() {
    return ToneListDialog(owner_, *this).run();
}

bool ProgramHost::showOptions(MainWindow& window) {
    return OptionsDialog(window.hwnd()).run();
}

std::u16string ProgramHost::companionPath() {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        const std::u16string path = readAppPath(root);
        if (!path.empty() && fileExists(path)) return path;
    }
    wchar_t self[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    const std::u16string next = folderOf(reinterpret_cast<const char16_t*>(self)) + u"\\Cantrel.exe";
    return fileExists(next) ? next : std::u16string();
}

bool ProgramHost::startCompanion(const std::u16string& path) {
    const std::u16string program = companionPath();
    if (program.empty()) return false;
    std::u16string line = u"\"" + program + u"\" \"" + path + u"\"";
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(w(program), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

} // namespace sonimo
