// The menus, toolbars and keyboard table of the main window as constant data, and the
// pure functions that read them. The windows build themselves from these tables.
#pragma once
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace sonimo {

// One entry of the flat menu table, read recursively:
//   text and id -1: a popup whose items follow up to the matching end entry;
//   no text and id -1: end of the current popup;  no text and id 0: a separator;
//   text and id >= 0: an item;  text and id below -1: an item with the negated id
//   (the two toggle items are marked so; they are built like any other).
struct MenuTableEntry {
    std::int16_t id;
    const char16_t* text;
    std::int32_t image; // -1: none
};

struct MenuNode {
    enum class Kind { Item, Separator, Popup };
    Kind kind = Kind::Item;
    std::uint16_t id = 0;
    std::u16string text;
    std::vector<MenuNode> children; // popups only
};

std::span<const MenuTableEntry> mainMenuTable();
// The context menu of the value grid, in the same form.
std::span<const MenuTableEntry> contextMenuTable();
// The popups and items of a table. An end entry without a popup, or a popup that the
// table does not close, ends the reading there.
std::vector<MenuNode> readMenuTable(std::span<const MenuTableEntry> table);

// Modifier bits of the keyboard table.
enum KeyModifier : std::uint16_t { kModAlt = 1, kModCtrl = 2, kModShift = 4 };

struct KeyTableEntry {
    std::uint16_t key; // virtual-key code
    std::uint16_t modifiers;
    std::uint16_t command;
};

std::span<const KeyTableEntry> keyTable();
// The command of the first entry matching key + modifiers x 65536, or 0. An auto-repeated
// key-down never matches, so holding a key issues its command once.
std::uint16_t matchKey(std::uint32_t keyWithModifiers, bool autoRepeat);
// The first keyboard entry that issues `command`, or null.
const KeyTableEntry* keyForCommand(std::uint16_t command);

// Virtual-key codes the table and the display names use (the system's numbers).
enum VirtualKey : std::uint16_t {
    kVkReturn = 0x0D,
    kVkPause = 0x13,
    kVkEscape = 0x1B,
    kVkSpace = 0x20,
    kVkPrior = 0x21,
    kVkNext = 0x22,
    kVkEnd = 0x23,
    kVkHome = 0x24,
    kVkLeft = 0x25,
    kVkUp = 0x26,
    kVkRight = 0x27,
    kVkDown = 0x28,
    kVkInsert = 0x2D,
    kVkDelete = 0x2E,
    kVkLWin = 0x5B,
    kVkRWin = 0x5C,
    kVkApps = 0x5D,
    kVkAdd = 0x6B,
    kVkSubtract = 0x6D,
};

// Keys whose name the system gives only with the extended-key flag.
bool isExtendedKey(std::uint16_t key);
// "Ctrl+", "Alt+", "Shift+" in that order before the key's name. `systemName` gives the
// system's name of a key (empty when it has none); the left and right arrows are always
// "左矢印" and "右矢印", and the Pause key is "一時停止" when the system has no name.
std::u16string
keyDisplayName(const KeyTableEntry& entry,
               const std::function<std::u16string(std::uint16_t key, bool extended)>& systemName);

// The text of a menu item or tooltip with its key appended: "%s\t%s" or "%s (%s)".
std::u16string withKeyName(const std::u16string& text, std::uint16_t command, bool tooltip,
                           const std::function<std::u16string(std::uint16_t, bool)>& systemName);

// Toolbar button styles.
enum ToolbarStyle : std::uint16_t { kTbPush = 0, kTbSeparator = 1, kTbToggle = 2, kTbRadio = 6 };

struct ToolbarEntry {
    std::uint16_t command;
    std::int16_t image; // the negated bitmap resource number
    const char16_t* label;
    const char16_t* tooltip;
    std::uint16_t style;
};

std::span<const ToolbarEntry> mainToolbarTable();
std::span<const ToolbarEntry> valueToolbarTable();

} // namespace sonimo
