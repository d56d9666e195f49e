#include "ui/CommandState.h"

#include "ui/CommandIds.h"
#include "ui/CommandTables.h"

namespace sonimo {

namespace {

void addItems(const std::vector<MenuNode>& nodes, std::map<std::uint16_t, ItemState>& out) {
    for (const MenuNode& n : nodes) {
        if (n.kind == MenuNode::Kind::Item)
            out[n.id] = {};
        else if (n.kind == MenuNode::Kind::Popup)
            addItems(n.children, out);
    }
}

void addToolbar(std::span<const ToolbarEntry> table, std::map<std::uint16_t, ItemState>& out) {
    for (const ToolbarEntry& e : table)
        if (e.style != kTbSeparator) out[e.command] = {};
}

bool fixedLength(const ToneData& t) {
    return t.flags & ToneFlagFixedLength;
}
bool listTone(const ToneData& t) {
    return t.waveform == FromList;
}

// The radio mark of the kind items 2104..2107, from the option bits.
std::uint16_t kindCommand(const ToneData& t) {
    if (!(t.flags & ToneFlagFixedLength)) return kCmdKindContinuous;
    if (!(t.flags & ToneFlagSweep)) return kCmdKindFixed;
    return (t.flags & ToneFlagLogSweep) ? kCmdKindLogSweep : kCmdKindLinearSweep;
}

void setRange(std::map<std::uint16_t, ItemState>& m, int first, int last, bool enabled) {
    for (int id = first; id <= last; ++id)
        m[static_cast<std::uint16_t>(id)].enabled = enabled;
}

void markKindAndWaveform(const ToneData& t, std::map<std::uint16_t, ItemState>& m) {
    m[kindCommand(t)].checked = true;
    if (t.waveform <= GreyNoise) m[static_cast<std::uint16_t>(kCmdWaveformFirst + t.waveform)].checked = true;
}

} // namespace

ItemState CommandStates::of(const std::map<std::uint16_t, ItemState>& surface, std::uint16_t id) {
    auto it = surface.find(id);
    return it == surface.end() ? ItemState{false, false} : it->second;
}

bool isPeriodic(int waveform) {
    return waveform >= Sine && waveform <= Impulse;
}

bool canDeleteTones(const ToneData& tone, const GridSelection& selection) {
    return isPeriodic(tone.waveform) && selection.count > 0 && tone.toneCount >= 2 &&
           !(fixedLength(tone) && selection.firstIsLastRow);
}

bool valueCommandsApply(const ToneData& tone, const GridSelection& selection) {
    if (selection.count == 0) return false;
    return isPeriodic(tone.waveform) || (fixedLength(tone) && !listTone(tone));
}

CommandStates updateCommands(const ToneData& tone, const GridSelection& selection, bool playing) {
    CommandStates s;
    const bool periodic = isPeriodic(tone.waveform);
    const bool selected = selection.count > 0;
    const bool list = listTone(tone);
    const bool differs = differsFromDefault(tone);
    const int count = tone.toneCount >= 1 && tone.toneCount <= kMaxTones ? tone.toneCount : 1;
    const auto monoOrStereo = static_cast<std::uint16_t>(kCmdMono + ((tone.flags & ToneFlagStereo) ? 1 : 0));

    // --- menu bar
    auto& menu = s.menu;
    addItems(readMenuTable(mainMenuTable()), menu);
    for (std::uint16_t id : {kCmdRaise, kCmdLower, kCmdEditValue})
        menu[id].enabled = selected;
    for (std::uint16_t id : {kCmdKindContinuous, kCmdKindFixed, kCmdMono, kCmdStereo})
        menu[id].enabled = !list;
    if (periodic) {
        setRange(menu, kCmdToneCountFirst, kCmdToneCountLast, true);
        menu[kCmdSaveList].enabled = false;
        menu[static_cast<std::uint16_t>(3000 + count)].checked = true;
    } else {
        setRange(menu, kCmdToneCountFirst, kCmdToneCountLast, false);
        menu[kCmdSaveList].enabled = true;
        for (std::uint16_t id : {kCmdKindLinearSweep, kCmdKindLogSweep, kCmdStereo, kCmdRelativeAmplitude})
            menu[id].enabled = false;
        menu[kCmdToneCountFirst].checked = true;
        if (!fixedLength(tone) || list)
            for (std::uint16_t id : {kCmdRaise, kCmdLower, kCmdEditValue})
                menu[id].enabled = false;
    }
    menu[kCmdStop].enabled = playing;
    menu[monoOrStereo].checked = true;
    menu[kCmdRelativeAmplitude].checked = tone.flags & ToneFlagRelativeAmplitude;
    markKindAndWaveform(tone, menu);
    menu[kCmdLoop].checked = tone.loop == 1;

    // --- context menu
    auto& ctx = s.context;
    addItems(readMenuTable(contextMenuTable()), ctx);
    ctx[kCmdClear].enabled = differs;
    for (std::uint16_t id : {kCmdRaise, kCmdLower, kCmdEditValue})
        ctx[id].enabled = selected;
    if (!periodic) {
        setRange(ctx, kCmdToneCountFirst, kCmdToneCountLast, false);
        for (std::uint16_t id :
             {kCmdKindLinearSweep, kCmdKindLogSweep, kCmdMono, kCmdStereo, kCmdRelativeAmplitude})
            ctx[id].enabled = false;
        ctx[kCmdToneCountFirst].checked = true;
        if (!fixedLength(tone) || list)
            for (std::uint16_t id : {kCmdRaise, kCmdLower, kCmdEditValue})
                ctx[id].enabled = false;
        if (list)
            for (std::uint16_t id : {kCmdKindContinuous, kCmdKindFixed})
                ctx[id].enabled = false;
    } else {
        ctx[static_cast<std::uint16_t>(3000 + count)].checked = true;
        ctx[monoOrStereo].checked = true;
        ctx[kCmdRelativeAmplitude].checked = tone.flags & ToneFlagRelativeAmplitude;
    }
    markKindAndWaveform(tone, ctx);

    // --- buttons
    s.buttons[kCmdDeleteTone].enabled = canDeleteTones(tone, selection);
    s.buttons[kCmdAddTone].enabled = periodic;
    s.buttons[kCmdClearButton].enabled = differs;

    // --- main toolbar
    addToolbar(mainToolbarTable(), s.mainToolbar);
    s.mainToolbar[kCmdClear].enabled = differs;
    s.mainToolbar[kCmdStop].enabled = playing;

    // --- value toolbar
    auto& vt = s.valueToolbar;
    addToolbar(valueToolbarTable(), vt);
    vt[kCmdLoop] = {fixedLength(tone), tone.loop == 1};
    const bool steps = selected && (periodic || (fixedLength(tone) && !list));
    vt[kCmdRaise].enabled = steps;
    vt[kCmdLower].enabled = steps;
    vt[kCmdFixedLength] = {!list, fixedLength(tone)};
    vt[kCmdToggleStereo] = {periodic, (tone.flags & ToneFlagStereo) != 0};
    const bool sweep = fixedLength(tone) && (tone.flags & ToneFlagSweep);
    vt[kCmdKindLinearSweep] = {periodic, sweep && !(tone.flags & ToneFlagLogSweep)};
    vt[kCmdKindLogSweep] = {periodic, sweep && (tone.flags & ToneFlagLogSweep)};
    vt[kCmdRelativeAmplitude] = {periodic, (tone.flags & ToneFlagRelativeAmplitude) != 0};
    if (tone.waveform <= GreyNoise)
        vt[static_cast<std::uint16_t>(kCmdWaveformFirst + tone.waveform)].checked = true;
    vt[kCmdOpenListToolbar].checked = list;

    s.noteWindowEnabled = periodic;
    return s;
}

} // namespace sonimo
