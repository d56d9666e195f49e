// Update commands as a pure function: from the tone, the grid's selection and whether the
// player runs, the enabled, ticked (or radio-marked) and pressed state of every command on
// every surface. The windows only copy these states onto their menus and buttons.
#pragma once
#include <cstdint>
#include <map>

#include "tone/ToneData.h"

namespace sonimo {

struct ItemState {
    bool enabled = true;
    bool checked = false; // a tick or radio mark in a menu, pressed on a toolbar
    bool operator==(const ItemState&) const = default;
};

// What the grid's selection tells the commands.
struct GridSelection {
    int count = 0;               // selected rows
    bool firstIsLastRow = false; // the first selected row is the grid's last row
};

struct CommandStates {
    std::map<std::uint16_t, ItemState> menu;         // the menu bar's items
    std::map<std::uint16_t, ItemState> context;      // the grid's right-click menu
    std::map<std::uint16_t, ItemState> mainToolbar;  // toolbar 89
    std::map<std::uint16_t, ItemState> valueToolbar; // toolbar 90
    std::map<std::uint16_t, ItemState> buttons;      // 2128, 2129, 2130
    bool noteWindowEnabled = true;                   // periodic waveforms only
    // The state of an id on a surface; an id the surface does not hold is disabled.
    static ItemState of(const std::map<std::uint16_t, ItemState>& surface, std::uint16_t id);
};

CommandStates updateCommands(const ToneData& tone, const GridSelection& selection, bool playing);

bool isPeriodic(int waveform);
// Delete tones applies: periodic waveform, a row selected, two tones or more, and not the
// length row first on a fixed-length tone.
bool canDeleteTones(const ToneData& tone, const GridSelection& selection);
// The value commands (steps, edit) reach a value: for a noise only its length row.
bool valueCommandsApply(const ToneData& tone, const GridSelection& selection);

} // namespace sonimo
