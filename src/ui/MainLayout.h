// The main window's geometry as arithmetic: dialog units, the stacking of its children,
// the note window body, and where a stored window placement puts the window.
#pragma once
#include <array>
#include <optional>
#include <vector>

namespace sonimo {

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

// Dialog units of the window's font: a horizontal unit is a quarter of the average
// character width, a vertical one an eighth of its height.
struct DialogUnits {
    int baseX = 6;  // average character width in pixels
    int baseY = 13; // character height in pixels
    int x(int units) const { return (units * baseX + 2) / 4; }
    int y(int units) const { return (units * baseY + 4) / 8; }
};

inline constexpr int kDefaultWidthDu = 532;
inline constexpr int kDefaultHeightDu = 344;
inline constexpr int kLevelMeterHeight = 35;
inline constexpr int kStatusPartEdges[2] = {300, 600};
inline constexpr int kVolumeSliderInset = 5;
inline constexpr int kMinGridHeight = 40; // a header and about a row

struct MainLayoutInput {
    int clientWidth = 0, clientHeight = 0;
    int mainToolbarHeight = 0;
    int valueToolbarHeight = 0;
    int buttonWidth = 0;      // the widest of the three captions needs, in pixels
    int noteWindowHeight = 0; // header, plus the body when expanded
    int statusBarHeight = 0;
    DialogUnits units;
};

struct MainLayout {
    Rect mainToolbar, toolbarFrame, grid;
    std::array<Rect, 3> buttons; // 2128, 2129, 2130
    Rect noteWindow, levelMeter, statusBar;
    int minClientHeight = 0; // below this the rows no longer fit
};

MainLayout layoutMainWindow(const MainLayoutInput& in);
// The volume slider inside the status bar's third part.
Rect volumeSliderRect(int statusWidth, int statusHeight);

struct NoteBodyLayout {
    std::array<Rect, 108> buttons;
    Rect scale;
    int height = 0;
};
inline constexpr int kScaleHeight = 45;
// `scaleHeight` is 45 pixels at 96 dpi and grows with the screen's scaling.
NoteBodyLayout layoutNoteBody(int x0, int y0, int width, const DialogUnits& units,
                              int scaleHeight = kScaleHeight);

// The stored values of "MainWindow"; an absent value is empty.
struct StoredPlacement {
    std::optional<int> x, y, width, height;
    bool maximized = false;
};

struct Placement {
    Rect window;
    bool maximized = false;
};

// Default and minimum size are the same (532 x 344 dialog units as a window, in pixels).
// A width or height of 0 or absent is the default, a smaller one the minimum; absent X or
// Y centre the window on the work area; without a stored height the window is moved and
// cut into the work area. A window that would lie on no monitor at all (one unplugged
// since), or that is larger than the work area, comes back onto the work area at its size
// where it fits.
Placement restorePlacement(const StoredPlacement& stored, int defaultWidth, int defaultHeight,
                           const Rect& workArea, const std::vector<Rect>& monitors);

// A monitor's whole rectangle and its work area (the rest once the taskbar is off).
struct MonitorArea {
    Rect monitor, work;
};

// The monitor the system puts a rectangle on: the one it overlaps most, else the primary
// one (the one at 0, 0, else the first). Null for an empty list.
const MonitorArea* monitorOf(const Rect& r, const std::vector<MonitorArea>& monitors);

// The normal rectangle of a window placement is in workspace coordinates: the work
// area's corner is 0, 0, so with the taskbar on the left or at the top they differ from
// the screen's by its size. Ours, and the stored ones, are on the screen.
Rect screenToWorkspace(const Rect& screen, const std::vector<MonitorArea>& monitors);
Rect workspaceToScreen(const Rect& workspace, const std::vector<MonitorArea>& monitors);

// restorePlacement as the window placement wants it: the rectangle in workspace
// coordinates of the monitor it lands on. `workArea` is the primary monitor's.
Placement restoreWorkspacePlacement(const StoredPlacement& stored, int defaultWidth, int defaultHeight,
                                    const Rect& workArea, const std::vector<MonitorArea>& monitors);

} // namespace sonimo
