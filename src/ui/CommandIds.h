// The numeric commands shared by menus, toolbars, buttons and the keyboard table. The
// numbers are the program's own and stay fixed: stored nowhere, but other windows and
// tests send them.
#pragma once
#include <cstdint>

namespace sonimo {

enum CommandId : std::uint16_t {
    kCmdHelp = 9,
    kCmdPlayStop = 101,
    kCmdStop = 102,
    kCmdVolume = 103,
    kCmdLoop = 105,
    kCmdFixedLength = 117,
    kCmdUpdateOnly = 121,
    kCmdToggleStereo = 122,
    kCmdSaveTone = 1110,
    kCmdOpenTone = 1111,
    kCmdSaveToneAs = 1112,
    kCmdNewList = 1113,
    kCmdOpenList = 1114,
    kCmdSaveList = 1115,
    kCmdSaveWav = 1116,
    kCmdEditInCantrel = 1117,
    kCmdOptions = 1118,
    kCmdRaise = 2101,
    kCmdLower = 2102,
    kCmdEditValue = 2103,
    kCmdKindContinuous = 2104,
    kCmdKindFixed = 2105,
    kCmdKindLinearSweep = 2106,
    kCmdKindLogSweep = 2107,
    kCmdMono = 2108,
    kCmdStereo = 2109,
    kCmdRelativeAmplitude = 2110,
    kCmdWaveformFirst = 2111, // sine; 2111 + waveform up to 2121 (grey noise)
    kCmdWaveformLast = 2121,
    kCmdOpenListToolbar = 2122,
    kCmdClear = 2123,
    kCmdDeleteTone = 2128,
    kCmdAddTone = 2129,
    kCmdClearButton = 2130,
    kCmdToneCountFirst = 3001, // 3000 + tone count
    kCmdToneCountLast = 3016,
    kCmdRaiseLarge = 5101,
    kCmdLowerLarge = 5102,
    kCmdGridEdit = 6111,
    kCmdGridContextMenu = 6112,
};

// Control ids of the main window and its children.
enum ControlId : std::uint16_t {
    kIdMainToolbar = 89,
    kIdValueToolbar = 90,
    kIdVolumeTrackbar = 100,
    kIdVolumeSlider = 103,
    kIdLevelMeter = 104,
    kIdValueGrid = 120,
    kIdToolbarFrame = 200,
    kIdFrequencyScale = 2124,
    kIdNoteButtonFirst = 2200, // 2200 + note index, up to 2307
    kIdNoteButtonLast = 2307,
};

// A custom control reports to its parent with WM_APP + 200 + code, (control id, value).
enum ChildNotification : unsigned {
    kNotifyNoteWindowToggle = 100,
    kNotifyScaleValue = 400,
    kNotifyNoteButton = 401,
};
inline constexpr unsigned kChildNotifyBase = 0x8000 + 200; // WM_APP + 200

} // namespace sonimo
