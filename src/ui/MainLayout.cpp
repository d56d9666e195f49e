#include "ui/MainLayout.h"

#include <algorithm>

namespace sonimo {

MainLayout layoutMainWindow(const MainLayoutInput& in) {
    MainLayout l;
    const int w = in.clientWidth;
    const int gap = in.units.y(4);
    const int buttonHeight = in.units.y(14);
    const int buttonGap = in.units.x(4);

    int y = 0;
    l.mainToolbar = {0, y, w, y + in.mainToolbarHeight};
    y += in.mainToolbarHeight;
    l.toolbarFrame = {0, y, w, y + in.valueToolbarHeight};
    y += in.valueToolbarHeight;
    const int top = y;

    // From the bottom up: status bar, level meter, note window, gap, buttons, gap.
    int bottom = in.clientHeight;
    l.statusBar = {0, bottom - in.statusBarHeight, w, bottom};
    bottom -= in.statusBarHeight;
    l.levelMeter = {0, bottom - kLevelMeterHeight, w, bottom};
    bottom -= kLevelMeterHeight;
    l.noteWindow = {0, bottom - in.noteWindowHeight, w, bottom};
    bottom -= in.noteWindowHeight + gap;
    const int buttonsTop = bottom - buttonHeight;
    for (int i = 0; i < 3; ++i) {
        const int left = buttonGap + i * (in.buttonWidth + buttonGap);
        l.buttons[i] = {left, buttonsTop, left + in.buttonWidth, bottom};
    }
    bottom = buttonsTop - gap;
    l.grid = {0, top, w, std::max(top, bottom)};

    l.minClientHeight = in.mainToolbarHeight + in.valueToolbarHeight + kMinGridHeight + gap + buttonHeight +
                        gap + in.noteWindowHeight + kLevelMeterHeight + in.statusBarHeight;
    return l;
}

Rect volumeSliderRect(int statusWidth, int statusHeight) {
    const int left = kStatusPartEdges[1] + kVolumeSliderInset;
    const int right = std::max(left, statusWidth - kVolumeSliderInset);
    return {left, 2, right, std::max(2, statusHeight - 2)};
}

NoteBodyLayout layoutNoteBody(int x0, int y0, int width, const DialogUnits& units, int scaleHeight) {
    NoteBodyLayout l;
    const int f = width / 12;
    const int h = units.y(14);
    for (int r = 0; r < 9; ++r) {
        const int y = y0 + 3 + r * (h + 3);
        for (int n = 0; n < 12; ++n) {
            const int x = x0 + f * n + 3;
            l.buttons[r * 12 + n] = {x, y, x + std::max(0, f - 3), y + h};
        }
    }
    l.scale = {x0 + 3, y0 + 9 * h + 30, x0 + 3 + std::max(0, width - 6), y0 + 9 * h + 30 + scaleHeight};
    // 9h + 72 would cut the scale's last 3 pixels; keep the same margin below it as above.
    l.height = std::max(9 * h + 72, 9 * h + 30 + scaleHeight + 3);
    return l;
}

namespace {

bool intersects(const Rect& a, const Rect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// Moves `r` into `area`, cutting it where it is larger.
Rect fitInto(Rect r, const Rect& area) {
    const int w = std::min(r.width(), area.width());
    const int h = std::min(r.height(), area.height());
    const int left = std::clamp(r.left, area.left, area.right - w);
    const int top = std::clamp(r.top, area.top, area.bottom - h);
    return {left, top, left + w, top + h};
}

} // namespace

Placement restorePlacement(const StoredPlacement& stored, int defaultWidth, int defaultHeight,
                           const Rect& workArea, const std::vector<Rect>& monitors) {
    auto size = [](const std::optional<int>& v, int def) {
        if (!v || *v == 0) return def;
        return std::max(*v, def);
    };
    const int w = size(stored.width, defaultWidth);
    const int h = size(stored.height, defaultHeight);
    const int x = stored.x ? *stored.x : workArea.left + (workArea.width() - w) / 2;
    const int y = stored.y ? *stored.y : workArea.top + (workArea.height() - h) / 2;
    Placement p{{x, y, x + w, y + h}, stored.maximized};
    if (!stored.height) p.window = fitInto(p.window, workArea);
    const bool visible =
        std::any_of(monitors.begin(), monitors.end(), [&](const Rect& m) { return intersects(p.window, m); });
    // Off every monitor, or larger than the work area (stored on a larger screen): the
    // window comes back whole onto the work area.
    const bool tooLarge = p.window.width() > workArea.width() || p.window.height() > workArea.height();
    if (!visible || tooLarge) p.window = fitInto(p.window, workArea);
    return p;
}

const MonitorArea* monitorOf(const Rect& r, const std::vector<MonitorArea>& monitors) {
    const MonitorArea* best = nullptr;
    long long bestArea = 0;
    for (const MonitorArea& m : monitors) {
        const long long w = std::min(r.right, m.monitor.right) - std::max(r.left, m.monitor.left);
        const long long h = std::min(r.bottom, m.monitor.bottom) - std::max(r.top, m.monitor.top);
        if (w > 0 && h > 0 && w * h > bestArea) {
            best = &m;
            bestArea = w * h;
        }
    }
    if (best) return best;
    for (const MonitorArea& m : monitors)
        if (m.monitor.left == 0 && m.monitor.top == 0) return &m;
    return monitors.empty() ? nullptr : &monitors.front();
}

namespace {

Rect shifted(const Rect& r, int dx, int dy) {
    return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

} // namespace

Rect screenToWorkspace(const Rect& screen, const std::vector<MonitorArea>& monitors) {
    const MonitorArea* m = monitorOf(screen, monitors);
    if (!m) return screen;
    return shifted(screen, m->monitor.left - m->work.left, m->monitor.top - m->work.top);
}

// The monitor is looked up from the rectangle as the placement gives it, as the system
// does for a placement it hands out.
Rect workspaceToScreen(const Rect& workspace, const std::vector<MonitorArea>& monitors) {
    const MonitorArea* m = monitorOf(workspace, monitors);
    if (!m) return workspace;
    return shifted(workspace, m->work.left - m->monitor.left, m->work.top - m->monitor.top);
}

Placement restoreWorkspacePlacement(const StoredPlacement& stored, int defaultWidth, int defaultHeight,
                                    const Rect& workArea, const std::vector<MonitorArea>& monitors) {
    std::vector<Rect> screens;
    for (const MonitorArea& m : monitors)
        screens.push_back(m.monitor);
    if (screens.empty()) screens.push_back(workArea);
    Placement p = restorePlacement(stored, defaultWidth, defaultHeight, workArea, screens);
    p.window = screenToWorkspace(p.window, monitors);
    return p;
}

} // namespace sonimo
