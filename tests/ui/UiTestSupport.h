// The in-process window tests: a fixture that creates the real main window with an
// in-memory settings store, a recording notice, a scripted host and a temporary settings
// folder, and a message pump that runs what the program's loop runs.
#pragma once
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/MemorySettingsStore.h"
#include "ui/win32/MainWindow.h"
#include "ui/win32/ProgramHost.h"

namespace sonimo::test {

class ScriptedHost final : public MainWindowHost {
public:
    std::vector<std::uint16_t> fileCommands;
    int optionsShown = 0, edits = 0, helps = 0;
    bool optionsAnswer = false;
    std::vector<std::u16string> arguments;

    void fileCommand(MainWindow&, std::uint16_t command) override { fileCommands.push_back(command); }
    bool showOptions(MainWindow&) override {
        ++optionsShown;
        return optionsAnswer;
    }
    void editValues(MainWindow&) override { ++edits; }
    void openArguments(MainWindow&, const std::vector<std::u16string>& args) override { arguments = args; }
    void help(MainWindow&) override { ++helps; }
};

// Runs every waiting message through the window's key table and dispatch, `ms` long.
void pump(MainWindow* window, int ms = 0);
// A key press as the loop sees it: WM_KEYDOWN to the focused control with the given
// modifiers held (through the thread's keyboard state); `repeat` marks an auto-repeat.
bool pressKey(MainWindow& window, UINT key, bool ctrl = false, bool repeat = false);

// Waits up to 10 s (from another thread) for a shown top-level dialog of this title.
HWND waitForDialog(const wchar_t* title);

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Creates the window (hidden) as the program does; a current.tdf may be written first.
    void start();
    // The same with the program's own host: real dialogs, driven from a helper thread.
    void startWithProgramHost();
    std::u16string currentTdf() const { return dir.root() + u"\\current.tdf"; }
    void writeCurrentTone(const ToneData& tone);
    HMENU menu() const { return GetMenu(window->hwnd()); }
    std::u16string menuText(UINT id) const;
    bool menuEnabled(UINT id) const;
    bool menuChecked(UINT id) const;
    HWND valueToolbar() const;
    HWND mainToolbar() const { return window->control(89); }
    bool toolbarEnabled(HWND toolbar, UINT id) const;
    bool toolbarPressed(HWND toolbar, UINT id) const;
    std::vector<std::u16string> gridTexts(int column) const;
    std::u16string statusText(int part) const;
    RECT childRect(HWND child) const; // in the main window's client coordinates

    MemorySettingsStore settings;
    RecordingNotice notice;
    TempDir dir;
    ScriptedHost host;
    ProgramHost program;
    std::unique_ptr<MainWindow> window;
};

} // namespace sonimo::test
