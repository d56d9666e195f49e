#include "ui/CommandTables.h"

#include <algorithm>
#include <array>

#include "ui/CommandIds.h"

namespace sonimo {

namespace {

// Runs of entries both menus hold.
constexpr MenuTableEntry kSeparator{0, nullptr, -1};
constexpr MenuTableEntry kEnd{-1, nullptr, -1};

template <std::size_t... N> constexpr auto join(const std::array<MenuTableEntry, N>&... parts) {
    std::array<MenuTableEntry, (N + ...)> all{};
    std::size_t at = 0;
    ((std::copy(parts.begin(), parts.end(), all.begin() + at), at += N), ...);
    return all;
}

constexpr std::array<MenuTableEntry, 18> kToneCountPopup = {{
    {-1, u"トーンの数", -1},
    {3001, u"1", -1},
    {3002, u"2", -1},
    {3003, u"3", -1},
    {3004, u"4", -1},
    {3005, u"5", -1},
    {3006, u"6", -1},
    {3007, u"7", -1},
    {3008, u"8", -1},
    {3009, u"9", -1},
    {3010, u"10", -1},
    {3011, u"11", -1},
    {3012, u"12", -1},
    {3013, u"13", -1},
    {3014, u"14", -1},
    {3015, u"15", -1},
    {3016, u"16", -1},
    kEnd,
}};

// The kinds, the channels, the relative amplitudes and the waveforms, with their separators.
constexpr std::array<MenuTableEntry, 23> kToneItems = {{
    kSeparator,
    {kCmdKindContinuous, u"定数（継続）", -1},
    {kCmdKindFixed, u"定数（一定時間）", -1},
    {kCmdKindLinearSweep, u"掃引（線形）", -1},
    {kCmdKindLogSweep, u"掃引（対数）", -1},
    kSeparator,
    {kCmdMono, u"モノラル", -1},
    {kCmdStereo, u"ステレオ", -1},
    kSeparator,
    {-kCmdRelativeAmplitude, u"変動振幅", -1},
    kSeparator,
    {2111, u"正弦波", -1},
    {2112, u"矩形波", -1},
    {2113, u"三角波", -1},
    {2114, u"ノコギリ波", -1},
    {2115, u"インパルス", -1},
    {2116, u"ホワイトノイズ", -1},
    {2117, u"ピンクノイズ", -1},
    {2118, u"ブラウンノイズ", -1},
    {2119, u"ブルーノイズ", -1},
    {2120, u"パープルノイズ", -1},
    {2121, u"グレイノイズ", -1},
    kEnd, // closes the tone popup; the context menu drops it
}};

constexpr auto kMainMenu = join(std::array<MenuTableEntry, 17>{{
                                    {-1, u"ファイル", -1},
                                    {kCmdOpenTone, u"トーンを読み込む...", -1},
                                    {kCmdSaveToneAs, u"トーンファイルとして保存...", -1},
                                    {kCmdSaveWav, u"Waveファイルとして保存...", -1},
                                    kSeparator,
                                    {kCmdNewList, u"新規一覧", -1},
                                    {kCmdOpenList, u"一覧を読み込む...", -1},
                                    {kCmdSaveList, u"一覧を保存...", -1},
                                    kSeparator,
                                    {kCmdEditInCantrel, u"Cantrelで編集...", -1},
                                    {kCmdOptions, u"オプション...", -1},
                                    kEnd,
                                    {-1, u"トーン", -1},
                                    {kCmdRaise, u"値を上げる", -1},
                                    {kCmdLower, u"値を下げる", -1},
                                    {kCmdEditValue, u"値を編集する", -1},
                                    kSeparator,
                                }},
                                kToneCountPopup, kToneItems,
                                std::array<MenuTableEntry, 5>{{
                                    {-1, u"再生", -1},
                                    {kCmdPlayStop, u"再生/停止", -1},
                                    {kCmdStop, u"停止", -1},
                                    {-kCmdLoop, u"ループ再生", -1},
                                    kEnd,
                                }});

constexpr auto kContextMenu = join(std::array<MenuTableEntry, 5>{{
                                       {kCmdRaise, u"値を上げる", -1},
                                       {kCmdLower, u"値を下げる", -1},
                                       {kCmdEditValue, u"値を編集する...", -1},
                                       kSeparator,
                                       {kCmdClear, u"一覧をクリア", -1},
                                   }},
                                   kToneCountPopup, kToneItems);

constexpr KeyTableEntry kKeys[] = {
    {kVkSpace, 0, kCmdPlayStop},      {kVkEscape, 0, kCmdStop},           {'S', kModCtrl, kCmdSaveTone},
    {kVkDelete, 0, kCmdDeleteTone},   {'A', kModCtrl, kCmdAddTone},       {'C', kModCtrl, kCmdClear},
    {'C', kModCtrl, kCmdClearButton}, // never reached: the entry above matches first
    {'O', kModCtrl, kCmdOptions},     {'E', kModCtrl, kCmdEditInCantrel}, {kVkAdd, 0, kCmdRaise},
    {kVkSubtract, 0, kCmdLower},      {kVkPrior, 0, kCmdRaiseLarge},      {kVkNext, 0, kCmdLowerLarge},
    {kVkReturn, 0, kCmdEditValue},
};

constexpr ToolbarEntry kMainToolbar[] = {
    {kCmdPlayStop, -324, u"再生", u"開始トーン", kTbPush},
    {kCmdStop, -325, u"停止", u"停止トーン", kTbPush},
    {0, 0, nullptr, nullptr, kTbSeparator},
    {kCmdSaveTone, -328, u"保存", u"トーンを保存", kTbPush},
    {kCmdClear, -327, u"消去", u"トーンデータ一覧を消去", kTbPush},
    {kCmdEditInCantrel, -329, u"編集", u"Cantrelで編集", kTbPush},
    {kCmdOptions, -322, u"オプション", u"オプション", kTbPush},
};

constexpr ToolbarEntry kValueToolbar[] = {
    {kCmdRaise, -333, nullptr, u"選択したトーンの値を上げる", kTbPush},
    {kCmdLower, -334, nullptr, u"選択したトーンの値を下げる", kTbPush},
    {0, 0, nullptr, nullptr, kTbSeparator},
    {2111, -335, nullptr, u"正弦波", kTbRadio},
    {2112, -336, nullptr, u"矩形波", kTbRadio},
    {2113, -337, nullptr, u"三角波", kTbRadio},
    {2114, -338, nullptr, u"ノコギリ波", kTbRadio},
    {2115, -339, nullptr, u"インパルス列", kTbRadio},
    {2116, -340, nullptr, u"ホワイトノイズ", kTbRadio},
    {2117, -341, nullptr, u"ピンクノイズ", kTbRadio},
    {2118, -350, nullptr, u"ブラウンノイズ", kTbRadio},
    {2119, -351, nullptr, u"ブルーノイズ", kTbRadio},
    {2120, -352, nullptr, u"パープルノイズ", kTbRadio},
    {2121, -353, nullptr, u"グレイノイズ", kTbRadio},
    {kCmdOpenListToolbar, -342, nullptr, u"一覧を読み込む", kTbPush},
    {kCmdToggleStereo, -349, nullptr, u"ステレオ", kTbToggle},
    {0, 0, nullptr, nullptr, kTbSeparator},
    {kCmdFixedLength, -344, nullptr, u"有限時間", kTbToggle},
    {kCmdLoop, -345, nullptr, u"ループ再生", kTbToggle},
    {kCmdKindLinearSweep, -346, nullptr, u"線形掃引", kTbRadio},
    {kCmdKindLogSweep, -347, nullptr, u"対数掃引", kTbRadio},
    {kCmdRelativeAmplitude, -326, nullptr, u"変動振幅", kTbToggle},
};

// Reads the entries of one popup level starting at `pos`; stops after its end entry.
void readLevel(std::span<const MenuTableEntry> table, std::size_t& pos, std::vector<MenuNode>& out,
               int depth) {
    while (pos < table.size()) {
        const MenuTableEntry& e = table[pos++];
        if (e.id == -1 && !e.text) {
            if (depth > 0) return;
            continue; // an end entry at the top closes nothing
        }
        MenuNode node;
        if (e.id == -1) {
            node.kind = MenuNode::Kind::Popup;
            node.text = e.text;
            readLevel(table, pos, node.children, depth + 1);
        } else if (!e.text) {
            if (e.id != 0) continue; // an item without text is not in the table's grammar
            node.kind = MenuNode::Kind::Separator;
        } else {
            node.id = static_cast<std::uint16_t>(e.id < -1 ? -e.id : e.id);
            node.text = e.text;
        }
        out.push_back(std::move(node));
    }
}

} // namespace

std::span<const MenuTableEntry> mainMenuTable() {
    return kMainMenu;
}
std::span<const MenuTableEntry> contextMenuTable() {
    return kContextMenu;
}

std::vector<MenuNode> readMenuTable(std::span<const MenuTableEntry> table) {
    std::vector<MenuNode> nodes;
    std::size_t pos = 0;
    readLevel(table, pos, nodes, 0);
    return nodes;
}

std::span<const KeyTableEntry> keyTable() {
    return kKeys;
}

std::uint16_t matchKey(std::uint32_t keyWithModifiers, bool autoRepeat) {
    if (autoRepeat) return 0;
    for (const KeyTableEntry& e : kKeys)
        if (e.key + (std::uint32_t(e.modifiers) << 16) == keyWithModifiers) return e.command;
    return 0;
}

const KeyTableEntry* keyForCommand(std::uint16_t command) {
    for (const KeyTableEntry& e : kKeys)
        if (e.command == command) return &e;
    return nullptr;
}

bool isExtendedKey(std::uint16_t key) {
    switch (key) {
    case kVkPrior:
    case kVkNext:
    case kVkEnd:
    case kVkHome:
    case kVkLeft:
    case kVkUp:
    case kVkRight:
    case kVkDown:
    case kVkInsert:
    case kVkDelete:
    case kVkLWin:
    case kVkRWin:
    case kVkApps:
        return true;
    default:
        return false;
    }
}

std::u16string keyDisplayName(const KeyTableEntry& entry,
                              const std::function<std::u16string(std::uint16_t, bool)>& systemName) {
    std::u16string name;
    if (entry.key == kVkLeft)
        name = u"左矢印";
    else if (entry.key == kVkRight)
        name = u"右矢印";
    else {
        name = systemName(entry.key, isExtendedKey(entry.key));
        if (name.empty() && entry.key == kVkPause) name = u"一時停止";
    }
    std::u16string text;
    if (entry.modifiers & kModCtrl) text += u"Ctrl+";
    if (entry.modifiers & kModAlt) text += u"Alt+";
    if (entry.modifiers & kModShift) text += u"Shift+";
    return text + name;
}

std::u16string withKeyName(const std::u16string& text, std::uint16_t command, bool tooltip,
                           const std::function<std::u16string(std::uint16_t, bool)>& systemName) {
    const KeyTableEntry* key = keyForCommand(command);
    if (!key) return text;
    const std::u16string name = keyDisplayName(*key, systemName);
    return tooltip ? text + u" (" + name + u")" : text + u"\t" + name;
}

std::span<const ToolbarEntry> mainToolbarTable() {
    return kMainToolbar;
}
std::span<const ToolbarEntry> valueToolbarTable() {
    return kValueToolbar;
}

} // namespace sonimo
