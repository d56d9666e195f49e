// Every value the program keeps in its settings store, by section and name. The registry
// compares names without regard to case, so the one section is spelt one way here.
#pragma once

#include "platform/SettingsStore.h"

namespace sonimo::keys {

inline constexpr char16_t kSettings[] = u"Settings";
inline constexpr char16_t kToneList[] = u"tonelist";
inline constexpr char16_t kPlayer[] = u"Player";
inline constexpr char16_t kMainWindow[] = u"MainWindow";

// The options.
inline constexpr SettingKey kSampleRate{kSettings, u"SampleRate"}; // index into the rate list
inline constexpr SettingKey kAutoplay{kSettings, u"autoplay"};
inline constexpr SettingKey kFrequencyStep{kSettings, u"frequency increment step"};
inline constexpr SettingKey kFrequencyStepValue{kSettings, u"frequencyval"};
inline constexpr SettingKey kSemitoneStep{kSettings, u"semitone increment"};
inline constexpr SettingKey kSemitoneStepValue{kSettings, u"semitoneval"};
inline constexpr SettingKey kShowNoteWindow{kSettings, u"ShowNoteWindow"};
inline constexpr SettingKey kDevice{kPlayer, u"Device"};

// The file commands' last file and folder.
inline constexpr SettingKey kToneFile{kSettings, u"file"};
inline constexpr SettingKey kToneFolder{kSettings, u"filedir"};

// The tone list dialog. "readfolder" is where Open list looks, "read folder" where the
// dialog's Add tone looks: two values, both intended.
inline constexpr SettingKey kEditList{kToneList, u"editlist"};
inline constexpr SettingKey kListFolder{kToneList, u"readfolder"};
inline constexpr SettingKey kAddToneFolder{kToneList, u"read folder"};
inline constexpr SettingKey kListSaveFolder{kToneList, u"savefolder"};

// The main window's normal place, in screen coordinates.
inline constexpr SettingKey kWindowX{kMainWindow, u"X"};
inline constexpr SettingKey kWindowY{kMainWindow, u"Y"};
inline constexpr SettingKey kWindowWidth{kMainWindow, u"Width"};
inline constexpr SettingKey kWindowHeight{kMainWindow, u"Height"};
inline constexpr SettingKey kWindowMaximized{kMainWindow, u"Maximized"};

} // namespace sonimo::keys
