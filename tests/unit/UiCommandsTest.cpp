// The command tables, key matching and display names, and Update commands as a function.
#include <gtest/gtest.h>

#include <set>

#include "tone/ToneData.h"
#include "ui/CommandIds.h"
#include "ui/CommandState.h"
#include "ui/CommandTables.h"

namespace sonimo {
namespace {

std::u16string fakeSystemName(std::uint16_t key, bool extended) {
    switch (key) {
    case kVkSpace:
        return u"Space";
    case kVkDelete:
        return extended ? u"Delete" : u"Num Del";
    case kVkAdd:
        return u"Num +";
    case 'O':
        return u"O";
    default:
        return {};
    }
}

const MenuNode* findItem(const std::vector<MenuNode>& nodes, std::uint16_t id) {
    for (const MenuNode& n : nodes) {
        if (n.kind == MenuNode::Kind::Item && n.id == id) return &n;
        if (const MenuNode* inner = findItem(n.children, id)) return inner;
    }
    return nullptr;
}

TEST(MenuTable, ReadsThreePopupsWithTheToneCountSubmenuAndToggleItems) {
    const auto menu = readMenuTable(mainMenuTable());
    ASSERT_EQ(menu.size(), 3u);
    EXPECT_EQ(menu[0].text, u"ファイル");
    EXPECT_EQ(menu[1].text, u"トーン");
    EXPECT_EQ(menu[2].text, u"再生");
    // The negated ids of the two toggles come out as ordinary items.
    ASSERT_NE(findItem(menu, kCmdRelativeAmplitude), nullptr);
    EXPECT_EQ(findItem(menu, kCmdLoop)->text, u"ループ再生");
    const MenuNode& count = menu[1].children[4];
    ASSERT_EQ(count.kind, MenuNode::Kind::Popup);
    EXPECT_EQ(count.text, u"トーンの数");
    ASSERT_EQ(count.children.size(), 16u);
    EXPECT_EQ(count.children[15].id, 3016);
    EXPECT_EQ(count.children[15].text, u"16");
    // The play popup holds exactly its three items.
    ASSERT_EQ(menu[2].children.size(), 3u);
    EXPECT_EQ(menu[2].children[0].id, kCmdPlayStop);
}

TEST(MenuTable, ABrokenTableEndsWhereItBreaks) {
    const MenuTableEntry unclosed[] = {{-1, u"A", -1}, {5, u"x", -1},  {-1, nullptr, -1}, {-1, nullptr, -1},
                                       {7, u"y", -1},  {-1, u"B", -1}, {8, u"z", -1}};
    const auto nodes = readMenuTable(unclosed);
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_EQ(nodes[0].children.size(), 1u);
    EXPECT_EQ(nodes[1].id, 7);
    EXPECT_EQ(nodes[2].children.size(), 1u); // the unclosed popup keeps what it had
}

TEST(ContextMenu, HoldsTheValueKindAndWaveformItemsWithoutFileCommands) {
    const auto menu = readMenuTable(contextMenuTable());
    EXPECT_EQ(findItem(menu, kCmdEditValue)->text, u"値を編集する...");
    EXPECT_NE(findItem(menu, kCmdClear), nullptr);
    EXPECT_NE(findItem(menu, 3007), nullptr);
    EXPECT_NE(findItem(menu, 2121), nullptr);
    EXPECT_EQ(findItem(menu, kCmdOpenTone), nullptr);
    EXPECT_EQ(findItem(menu, kCmdPlayStop), nullptr);
}

TEST(KeyTable, MatchesKeyWithModifiersAndIgnoresAutoRepeat) {
    EXPECT_EQ(matchKey(kVkSpace, false), kCmdPlayStop);
    EXPECT_EQ(matchKey(kVkAdd, false), kCmdRaise);
    EXPECT_EQ(matchKey(kVkAdd, true), 0); // held down: once only
    EXPECT_EQ(matchKey('A' + (kModCtrl << 16), false), kCmdAddTone);
    EXPECT_EQ(matchKey('A', false), 0);
    EXPECT_EQ(matchKey('A' + ((kModCtrl | kModShift) << 16), false), 0);
    EXPECT_EQ(matchKey('C' + (kModCtrl << 16), false), kCmdClear); // the first of the two C entries
    EXPECT_EQ(matchKey(kVkPrior, false), kCmdRaiseLarge);
    EXPECT_EQ(matchKey(kVkReturn, false), kCmdEditValue);
    EXPECT_EQ(keyTable().size(), 14u);
}

TEST(KeyNames, ComposeModifiersAndUseTheFixedArrowAndPauseNames) {
    EXPECT_EQ(keyDisplayName({'O', kModCtrl, 0}, fakeSystemName), u"Ctrl+O");
    EXPECT_EQ(keyDisplayName({'O', kModCtrl | kModAlt | kModShift, 0}, fakeSystemName), u"Ctrl+Alt+Shift+O");
    EXPECT_EQ(keyDisplayName({kVkLeft, 0, 0}, fakeSystemName), u"左矢印");
    EXPECT_EQ(keyDisplayName({kVkRight, kModShift, 0}, fakeSystemName), u"Shift+右矢印");
    EXPECT_EQ(keyDisplayName({kVkPause, 0, 0}, fakeSystemName), u"一時停止");
    EXPECT_EQ(keyDisplayName({kVkDelete, 0, 0}, fakeSystemName), u"Delete"); // asked with the extended flag
    EXPECT_EQ(withKeyName(u"オプション...", kCmdOptions, false, fakeSystemName), u"オプション...\tCtrl+O");
    EXPECT_EQ(withKeyName(u"再生/停止", kCmdPlayStop, false, fakeSystemName), u"再生/停止\tSpace");
    EXPECT_EQ(withKeyName(u"トーンを削除", kCmdDeleteTone, true, fakeSystemName), u"トーンを削除 (Delete)");
    EXPECT_EQ(withKeyName(u"正弦波", 2111, true, fakeSystemName), u"正弦波");
}

TEST(Toolbars, CarryTheirBitmapsAndStyles) {
    std::set<int> bitmaps;
    for (const auto& e : mainToolbarTable())
        if (e.style != kTbSeparator) {
            ASSERT_NE(e.label, nullptr);
            bitmaps.insert(-e.image);
        }
    EXPECT_EQ(mainToolbarTable().size(), 7u);
    EXPECT_EQ(valueToolbarTable().size(), 22u);
    for (const auto& e : valueToolbarTable())
        if (e.style != kTbSeparator) bitmaps.insert(-e.image);
    EXPECT_EQ(bitmaps.size(), 26u); // every button has its own picture
    EXPECT_TRUE(bitmaps.count(322) && bitmaps.count(353));
}

ToneData tone() {
    return defaultToneData();
}

TEST(UpdateCommands, ValueCommandsFollowTheSelectionForPeriodicTones) {
    ToneData t = tone();
    auto s = updateCommands(t, {0, false}, false);
    EXPECT_FALSE(s.menu[kCmdRaise].enabled);
    EXPECT_FALSE(s.valueToolbar[kCmdRaise].enabled);
    EXPECT_FALSE(s.context[kCmdEditValue].enabled);
    s = updateCommands(t, {1, false}, false);
    EXPECT_TRUE(s.menu[kCmdRaise].enabled);
    EXPECT_TRUE(s.menu[kCmdEditValue].enabled);
    EXPECT_TRUE(s.valueToolbar[kCmdLower].enabled);
    EXPECT_TRUE(s.context[kCmdLower].enabled);
}

TEST(UpdateCommands, StopIsEnabledOnlyWhilePlaying) {
    ToneData t = tone();
    EXPECT_FALSE(updateCommands(t, {}, false).menu[kCmdStop].enabled);
    EXPECT_FALSE(updateCommands(t, {}, false).mainToolbar[kCmdStop].enabled);
    EXPECT_TRUE(updateCommands(t, {}, true).menu[kCmdStop].enabled);
    EXPECT_TRUE(updateCommands(t, {}, true).mainToolbar[kCmdStop].enabled);
    EXPECT_TRUE(updateCommands(t, {}, false).menu[kCmdPlayStop].enabled);
}

TEST(UpdateCommands, PinkNoiseDisablesToneCountsAndMarksOne) {
    ToneData t = tone();
    setToneCount(t, 3);
    setStereo(t);
    setWaveform(t, PinkNoise);
    auto s = updateCommands(t, {1, false}, false);
    for (int id = 3001; id <= 3016; ++id) {
        EXPECT_FALSE(s.menu[id].enabled) << id;
        EXPECT_FALSE(s.context[id].enabled) << id;
    }
    EXPECT_TRUE(s.menu[3001].checked);
    EXPECT_FALSE(s.menu[3003].checked);
    EXPECT_TRUE(s.context[3001].checked);
    EXPECT_TRUE(s.menu[kCmdSaveList].enabled);
    for (std::uint16_t id : {kCmdKindLinearSweep, kCmdKindLogSweep, kCmdStereo, kCmdRelativeAmplitude})
        EXPECT_FALSE(s.menu[id].enabled) << id;
    EXPECT_TRUE(s.menu[kCmdKindContinuous].enabled);
    EXPECT_TRUE(s.menu[kCmdMono].enabled);
    EXPECT_TRUE(s.menu[2117].checked);
    EXPECT_TRUE(s.valueToolbar[2117].checked);
    // an endless noise has no value to step
    EXPECT_FALSE(s.menu[kCmdRaise].enabled);
    EXPECT_FALSE(s.valueToolbar[kCmdRaise].enabled);
    EXPECT_FALSE(s.valueToolbar[kCmdToggleStereo].enabled);
    EXPECT_FALSE(s.buttons[kCmdAddTone].enabled);
    EXPECT_FALSE(s.noteWindowEnabled);
    // with a fixed length its length row can be stepped
    toggleFixedLength(t);
    s = updateCommands(t, {1, true}, false);
    EXPECT_TRUE(s.menu[kCmdRaise].enabled);
    EXPECT_TRUE(s.valueToolbar[kCmdRaise].enabled);
    EXPECT_TRUE(s.context[kCmdRaise].enabled);
}

TEST(UpdateCommands, PeriodicTonesEnableCountsAndMarkTheirCountKindAndChannels) {
    ToneData t = tone();
    setToneCount(t, 4);
    setKind(t, ToneKind::LogSweep);
    setStereo(t);
    toggleRelativeAmplitude(t);
    auto s = updateCommands(t, {1, false}, false);
    EXPECT_TRUE(s.menu[3004].checked);
    EXPECT_FALSE(s.menu[3001].checked);
    EXPECT_TRUE(s.menu[3016].enabled);
    EXPECT_FALSE(s.menu[kCmdSaveList].enabled);
    EXPECT_TRUE(s.menu[kCmdKindLogSweep].checked);
    EXPECT_FALSE(s.menu[kCmdKindLinearSweep].checked);
    EXPECT_TRUE(s.menu[kCmdStereo].checked);
    EXPECT_FALSE(s.menu[kCmdMono].checked);
    EXPECT_TRUE(s.menu[kCmdRelativeAmplitude].checked);
    EXPECT_TRUE(s.context[3004].checked);
    EXPECT_TRUE(s.context[kCmdStereo].checked);
    EXPECT_TRUE(s.context[kCmdKindLogSweep].checked);
    EXPECT_TRUE(s.valueToolbar[kCmdKindLogSweep].checked);
    EXPECT_FALSE(s.valueToolbar[kCmdKindLinearSweep].checked);
    EXPECT_TRUE(s.valueToolbar[kCmdToggleStereo].checked);
    EXPECT_TRUE(s.valueToolbar[kCmdFixedLength].checked);
    EXPECT_TRUE(s.valueToolbar[kCmdRelativeAmplitude].checked);
    EXPECT_TRUE(s.valueToolbar[2111].checked);
    setKind(t, ToneKind::LinearSweep);
    s = updateCommands(t, {1, false}, false);
    EXPECT_TRUE(s.menu[kCmdKindLinearSweep].checked);
    EXPECT_TRUE(s.valueToolbar[kCmdKindLinearSweep].checked);
    setKind(t, ToneKind::ConstantFixed);
    s = updateCommands(t, {1, false}, false);
    EXPECT_TRUE(s.menu[kCmdKindFixed].checked);
    EXPECT_FALSE(s.valueToolbar[kCmdKindLinearSweep].checked);
    EXPECT_FALSE(s.valueToolbar[kCmdKindLogSweep].checked);
}

TEST(UpdateCommands, LoopOnAContinuousToneMovesTheKindToFixedLength) {
    ToneData t = tone();
    auto s = updateCommands(t, {}, false);
    EXPECT_TRUE(s.menu[kCmdKindContinuous].checked);
    EXPECT_FALSE(s.valueToolbar[kCmdLoop].enabled);
    toggleLoop(t);
    s = updateCommands(t, {}, false);
    EXPECT_TRUE(s.menu[kCmdKindFixed].checked);
    EXPECT_TRUE(s.menu[kCmdLoop].checked);
    EXPECT_TRUE(s.valueToolbar[kCmdLoop].enabled);
    EXPECT_TRUE(s.valueToolbar[kCmdLoop].checked);
}

TEST(UpdateCommands, ListTonesDisableKindChannelAndValueCommands) {
    ToneData t = tone();
    t.waveform = FromList;
    t.flags = ToneFlagFixedLength;
    auto s = updateCommands(t, {1, false}, false);
    for (std::uint16_t id :
         {kCmdKindContinuous, kCmdKindFixed, kCmdMono, kCmdStereo, kCmdRaise, kCmdLower, kCmdEditValue})
        EXPECT_FALSE(s.menu[id].enabled) << id;
    for (std::uint16_t id : {kCmdKindContinuous, kCmdKindFixed, kCmdRaise, kCmdEditValue})
        EXPECT_FALSE(s.context[id].enabled) << id;
    EXPECT_FALSE(s.valueToolbar[kCmdFixedLength].enabled);
    EXPECT_TRUE(s.valueToolbar[kCmdOpenListToolbar].checked);
    for (int id = 2111; id <= 2121; ++id) {
        EXPECT_FALSE(s.menu[id].checked) << id; // no waveform mark for a list
        EXPECT_FALSE(s.valueToolbar[id].checked) << id;
    }
    EXPECT_TRUE(s.buttons[kCmdClearButton].enabled); // a list always differs from the default
}

TEST(UpdateCommands, ClearFollowsTheDefaultTone) {
    ToneData t = tone();
    auto s = updateCommands(t, {}, false);
    EXPECT_FALSE(s.buttons[kCmdClearButton].enabled);
    EXPECT_FALSE(s.mainToolbar[kCmdClear].enabled);
    EXPECT_FALSE(s.context[kCmdClear].enabled);
    t.leftStartHz[0] = 441;
    s = updateCommands(t, {}, false);
    EXPECT_TRUE(s.buttons[kCmdClearButton].enabled);
    EXPECT_TRUE(s.mainToolbar[kCmdClear].enabled);
    EXPECT_TRUE(s.context[kCmdClear].enabled);
}

TEST(UpdateCommands, DeleteToneNeedsTwoTonesASelectionAndNotTheLengthRowFirst) {
    ToneData t = tone();
    EXPECT_FALSE(updateCommands(t, {1, false}, false).buttons[kCmdDeleteTone].enabled); // one tone
    setToneCount(t, 2);
    EXPECT_FALSE(updateCommands(t, {0, false}, false).buttons[kCmdDeleteTone].enabled);
    EXPECT_TRUE(updateCommands(t, {1, false}, false).buttons[kCmdDeleteTone].enabled);
    EXPECT_TRUE(updateCommands(t, {1, true}, false).buttons[kCmdDeleteTone].enabled); // no length row
    toggleFixedLength(t);
    EXPECT_FALSE(updateCommands(t, {1, true}, false).buttons[kCmdDeleteTone].enabled);
    EXPECT_TRUE(updateCommands(t, {2, false}, false).buttons[kCmdDeleteTone].enabled);
    setWaveform(t, WhiteNoise);
    EXPECT_FALSE(updateCommands(t, {1, false}, false).buttons[kCmdDeleteTone].enabled);
}

TEST(UpdateCommands, UnknownIdsAreDisabledOnEverySurface) {
    const auto s = updateCommands(tone(), {}, false);
    EXPECT_FALSE(CommandStates::of(s.menu, 4242).enabled);
    EXPECT_TRUE(CommandStates::of(s.menu, kCmdOptions).enabled);
    EXPECT_FALSE(CommandStates::of(s.mainToolbar, kCmdRaise).enabled);
}

} // namespace
} // namespace sonimo
