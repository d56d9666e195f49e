// What the program hands the main window: the file commands with the system's common
// dialogs, the program's own entry, overwrite and progress dialogs, and the companion
// editor started from its installed place. User-interface thread only.
#pragma once
#include <windows.h>

#include <string>

#include "ui/FileCommands.h"
#include "ui/win32/MainWindow.h"

namespace sonimo {

class ProgramHost : public MainWindowHost, public FileCommandUi {
public:
    void fileCommand(MainWindow& window, std::uint16_t command) override;
    void editValues(MainWindow& window) override;
    void openArguments(MainWindow& window, const std::vector<std::u16string>& arguments) override;
    bool showOptions(MainWindow& window) override;

    std::optional<std::u16string> openFile(const FileDialogRequest& request) override;
    std::optional<std::u16string> saveFile(const FileDialogRequest& request) override;
    bool confirmOverwrite(const std::u16string& path) override;
    int render(const std::u16string& message, const SourceRef& source, const SinkRef& sink) override;
    std::optional<std::u16string> editList(const std::u16string& list) override;
    bool startCompanion(const std::u16string& path) override;

    // Where the companion editor is installed: its App Paths entry, else next to this
    // program. Empty when neither exists.
    static std::u16string companionPath();

protected:
    FileCommands commandsFor(MainWindow& window);
    HWND owner_ = nullptr;              // borrowed: the main window while a command runs
    SettingsStore* settings_ = nullptr; // borrowed: the main window's store, set with owner_
};

} // namespace sonimo
