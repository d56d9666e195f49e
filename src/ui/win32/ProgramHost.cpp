#include "ui/win32/ProgramHost.h"

#include <vector>

#include "platform/File.h"
#include "ui/CommandIds.h"
#include "ui/win32/Dialogs.h"
#include "ui/win32/OptionsDialog.h"
#include "ui/win32/ToneListDialog.h"
#include "platform/win32/Owned.h"
#include "platform/win32/WideText.h"

namespace sonimo {

namespace {

std::u16string readAppPath(HKEY root) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Cantrel.exe", 0,
                      KEY_READ, &opened) != ERROR_SUCCESS)
        return {};
    const OwnedKey key(opened);
    wchar_t path[MAX_PATH + 1] = {};
    DWORD bytes = sizeof(path) - sizeof(wchar_t);
    DWORD type = 0;
    std::u16string result;
    if (RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path), &bytes) ==
            ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        path[bytes / sizeof(wchar_t) < MAX_PATH ? bytes / sizeof(wchar_t) : MAX_PATH] = 0;
        std::u16string text = reinterpret_cast<const char16_t*>(path);
        if (text.size() >= 2 && text.front() == u'"' && text.back() == u'"')
            text = text.substr(1, text.size() - 2);
        result = text;
    }
    return result;
}

} // namespace

FileCommands ProgramHost::commandsFor(MainWindow& window) {
    owner_ = window.hwnd();
    settings_ = &window.settings();
    return FileCommands(window.tone(), *this, window.settings(), [&window] { window.applyToneChange(); });
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
    if (window.controller().editTarget() == EditTarget::List) {
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

std::optional<std::u16string> ProgramHost::openFile(const FileDialogRequest& request) {
    return OwnedFileDialogs(owner_).openFile(request);
}

std::optional<std::u16string> ProgramHost::saveFile(const FileDialogRequest& request) {
    return OwnedFileDialogs(owner_).saveFile(request);
}

bool ProgramHost::confirmOverwrite(const std::u16string& path) {
    return OwnedFileDialogs(owner_).confirmOverwrite(path);
}

int ProgramHost::render(const std::u16string& message, const SourceRef& source, const SinkRef& sink) {
    return renderWithProgress(owner_, message, source, sink);
}

std::optional<std::u16string> ProgramHost::editList(const std::u16string& list) {
    return ToneListDialog(owner_, *settings_).run(list);
}

bool ProgramHost::showOptions(MainWindow& window) {
    return OptionsDialog(window.hwnd(), window.settings()).run();
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
    if (!CreateProcessW(wide(program), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    OwnedHandle thread(pi.hThread), process(pi.hProcess); // the companion runs on its own
    return true;
}

} // namespace sonimo
