// The main window: a modeless dialog (template 1) that owns the player and the
// controller with the current tone, shows the tone in the value grid, and turns every
// menu item, toolbar button, key and child notification into a command. The decisions
// live in MainController; this class only translates messages into calls on it and
// copies their results onto the controls. User-interface thread only.
#pragma once
#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "audio/playback/LSoundPlayer.h"
#include "platform/SettingsStore.h"
#include "platform/win32/Owned.h"
#include "tone/ToneData.h"
#include "ui/CommandState.h"
#include "ui/CommandTables.h"
#include "ui/MainController.h"
#include "ui/MainLayout.h"
#include "ui/ValueGrid.h"
#include "ui/win32/LevelMeter.h"
#include "ui/win32/NoteWindow.h"
#include "ui/win32/PlayerPlayback.h"
#include "ui/win32/VolumeSlider.h"

namespace sonimo {

class MainWindow;

// Posted by the main window to itself with a forwarded command line: wParam the count,
// lParam an owned std::vector<std::u16string>* (null: only come to the front).
inline constexpr UINT kMsgForwardedArguments = WM_USER + 6;
// Sent or posted from outside (an installer, an uninstaller): the window closes.
inline constexpr UINT kMsgCloseFromOutside = WM_USER + 102;

// What the main window hands on: the file commands, the dialogs and typed values. The
// defaults do nothing; the program and the tests give their own.
class MainWindowHost {
public:
    virtual ~MainWindowHost() = default;
    // 1110 to 1117 and 2122: the file commands; the host applies what it changes.
    virtual void fileCommand(MainWindow& window, std::uint16_t command);
    // 1118: true when the options dialog closed with OK.
    virtual bool showOptions(MainWindow& window);
    // 2103 and 6111 for a tone whose values can be typed (or a list tone).
    virtual void editValues(MainWindow& window);
    // The process's command line after start-up, or one forwarded by a second start.
    virtual void openArguments(MainWindow& window, const std::vector<std::u16string>& arguments);
    // The arguments in a WM_COPYDATA block from a second start, or nothing when the block
    // is not one (then it is not answered). The data may come from any process.
    virtual std::optional<std::vector<std::u16string>> forwardedArguments(const void* data, std::size_t size);
    // 9: help on the main window.
    virtual void help(MainWindow& window);
};

namespace traits {
struct ImageList {
    using Handle = HIMAGELIST;
    static Handle none() noexcept { return nullptr; }
    static void close(Handle h) noexcept { ImageList_Destroy(h); }
};
} // namespace traits
using OwnedImageList = Owned<traits::ImageList>;

class MainWindow final : public PlayerListener, private MainView {
public:
    // `host` and `settings` are borrowed; `settingsFolder` holds current.tdf.
    MainWindow(MainWindowHost& host, SettingsStore& settings, std::u16string settingsFolder);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the dialog and its children (the tone restored, autoplay honoured); hidden.
    bool create(HINSTANCE instance);
    // Restores the stored placement and shows the window.
    void restorePlacement();
    HWND hwnd() const { return hwnd_; }
    // Offers a message of the loop to the keyboard table, then to dialog navigation.
    // True when it was handled and must not be dispatched.
    bool preTranslateMessage(MSG& message);

    void command(std::uint16_t id);
    void updateCommands();
    void play();
    void stop();
    // After any edit of the tone: refresh the grid and its selection, then the live change.
    void applyToneChange();
    void liveChange();
    void setFrequency(double hz);
    // Typing values into the selected rows (each asked through `ask`); the live change
    // follows when any was stored.
    void editSelected(const AskValue& ask);

    MainController& controller() { return controller_; }
    SettingsStore& settings() { return controller_.settings(); }
    ToneData& tone() { return controller_.tone(); }
    LSoundPlayer& player() { return player_; }
    int volume() const { return controller_.volume(); }
    const std::vector<GridRow>& rows() const { return controller_.rows(); }
    std::vector<int> selectedRows() const;
    void selectRows(const std::vector<int>& rows);
    // Fills the grid with the controller's rows.
    void fillGrid();
    const CommandStates& states() const { return states_; }
    HWND grid() const { return grid_; }
    HWND control(int id) const;
    HWND statusBar() const { return status_; }
    HWND tooltips() const { return tooltips_; }
    LevelMeter& levelMeter() { return meter_; }
    NoteWindow& noteWindow() { return notes_; }
    VolumeSlider& volumeSlider() { return slider_; }
    HMENU buildContextMenu();
    void storeCurrentTone();
    void setStatusTexts();
    const DialogUnits& units() const { return units_; }

    // PlayerListener
    void started(int cookie) override;
    void stopped(int cookie) override;
    void levels(const LevelRecord& levels, int cookie) override;

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void createChildren();
    void loadIcons(HINSTANCE instance);
    void loadToolbarImages(HINSTANCE instance);
    void createGrid(HINSTANCE instance);
    void createToolbars(HINSTANCE instance);
    void createToneButtons(HINSTANCE instance);
    void addGridColumns(HINSTANCE instance);
    void createStatusBar(HINSTANCE instance);
    void createTooltips(HINSTANCE instance);
    HWND createToolbar(HWND parent, int id, std::span<const ToolbarEntry> table, bool labels);
    void buildMenuBar();
    void layout();
    int toneButtonWidth();
    void onNotify(NMHDR* header);
    void onToolTip(NMHDR* header);
    void onChildNotification(unsigned code, int id, LPARAM value);
    void onTimer(UINT_PTR timer);
    void onDestroy();
    bool onCopyData(const COPYDATASTRUCT* data);
    void onForwarded(WPARAM count, LPARAM arguments);
    void openWaitingArguments();
    void comeToFront();
    void savePlacement();
    void restoreCurrentTone();
    void selectStoredDevice();
    void showContextMenu();
    void syncSelection() { controller_.select(selectedRows()); }
    void setRowText(int row);
    void followSelection();
    std::u16string tooltipOf(std::uint16_t command) const;

    // MainView
    void showRows() override;
    void showRowText(int row) override { setRowText(row); }
    void showSilence(int channels) override { meter_.setSilence(channels); }
    void showStatusTexts() override { setStatusTexts(); }
    int sliderPosition() override { return slider_.position(); }
    void help() override { host_.help(*this); }
    void fileCommand(std::uint16_t command) override { host_.fileCommand(*this, command); }
    void editValues() override { host_.editValues(*this); }
    bool showOptions() override { return host_.showOptions(*this); }

    MainWindowHost& host_; // borrowed
    std::u16string settingsFolder_;
    HWND hwnd_ = nullptr; // the dialog; destroyed by the destructor or on close
    // Children, destroyed with the dialog: borrowed.
    HWND grid_ = nullptr, frame_ = nullptr, mainToolbar_ = nullptr, valueToolbar_ = nullptr;
    HWND buttons_[3] = {};
    HWND status_ = nullptr, tooltips_ = nullptr;
    OwnedImageList images_;
    OwnedBitmap watermark_; // until the list view takes it
    HFONT font_ = nullptr;  // the dialog's, borrowed
    DialogUnits units_;
    int defaultWidth_ = 0, defaultHeight_ = 0, minClientHeight_ = 0;
    CommandStates states_;
    LSoundPlayer player_;
    PlayerPlayback playback_;
    MainController controller_;
    bool filling_ = false; // item-change notifications of our own refill are not selections
    // Command lines handed over while a modal dialog of ours was open, in their order.
    std::vector<std::vector<std::u16string>> waitingArguments_;
    LevelMeter meter_;
    VolumeSlider slider_;
    NoteWindow notes_;
};

// The system's name of a key, as the keyboard table shows it.
std::u16string systemKeyName(std::uint16_t key, bool extended);

} // namespace sonimo
