#include "ui/MainController.h"

#include <algorithm>

#include "audio/ToneRenderer.h"
#include "platform/File.h"
#include "platform/Notice.h"
#include "platform/SettingsKeys.h"
#include "ui/CommandIds.h"
#include "ui/MeterAndVolume.h"
#include "ui/OptionsModel.h"
#include "ui/WindowTexts.h"

namespace sonimo {

bool isRadioItem(std::uint16_t id) {
    return (id >= kCmdToneCountFirst && id <= kCmdToneCountLast) ||
           (id >= kCmdKindContinuous && id <= kCmdStereo) ||
           (id >= kCmdWaveformFirst && id <= kCmdWaveformLast);
}

MainController::MainController(SettingsStore& settings, PlaybackControl& playback, MainView& view)
    : settings_(settings), playback_(playback), view_(view), tone_(defaultToneData()),
      showNoteWindow_(settings.readBool(keys::kShowNoteWindow, true)) {}

GridSelection MainController::gridSelection() const {
    GridSelection s;
    s.count = static_cast<int>(selection_.size());
    s.firstIsLastRow = !selection_.empty() && selection_.front() == static_cast<int>(rows_.size()) - 1;
    return s;
}

CommandStates MainController::states() {
    return updateCommands(tone_, gridSelection(), playback_.playing());
}

void MainController::restoreTone(const std::u16string& folder) {
    const std::u16string path = folder + u"\\current.tdf";
    if (!folder.empty() && fileExists(path) && !loadToneFile(tone_, path)) tone_ = defaultToneData();
    rebuildRows();
}

void MainController::storeTone(const std::u16string& folder) const {
    if (!folder.empty()) saveToneFile(tone_, folder + u"\\current.tdf");
}

void MainController::rebuildRows() {
    rows_ = gridRows(tone_, [](const std::u16string& p) { return fileExists(p); });
}

// --- commands ----------------------------------------------------------------------------

namespace {

// The commands that only edit the tone, each through its one edit.
struct ToneEdit {
    std::uint16_t id;
    void (*edit)(ToneData&);
};
constexpr ToneEdit kToneEdits[] = {
    {kCmdLoop, toggleLoop},           {kCmdFixedLength, toggleFixedLength},
    {kCmdToggleStereo, toggleStereo}, {kCmdMono, setMono},
    {kCmdStereo, setStereo},          {kCmdRelativeAmplitude, toggleRelativeAmplitude},
};

bool isFileCommand(std::uint16_t id) {
    return (id >= kCmdSaveTone && id <= kCmdEditInCantrel) || id == kCmdOpenListToolbar;
}

} // namespace

void MainController::changeTone(void (*edit)(ToneData&)) {
    edit(tone_);
    applyToneChange();
}

// The kinds, waveforms and tone counts: one command per value of a range.
bool MainController::rangeCommand(std::uint16_t id) {
    if (id >= kCmdKindContinuous && id <= kCmdKindLogSweep)
        setKind(tone_, static_cast<ToneKind>(id - kCmdKindContinuous));
    else if (id >= kCmdWaveformFirst && id <= kCmdWaveformLast)
        setWaveform(tone_, id - kCmdWaveformFirst);
    else if (id >= kCmdToneCountFirst && id <= kCmdToneCountLast)
        setToneCount(tone_, id - kCmdToneCountFirst + 1);
    else
        return false;
    applyToneChange();
    return true;
}

// The guards are the states update-commands gives: a disabled command does nothing.
void MainController::command(std::uint16_t id) {
    for (const ToneEdit& e : kToneEdits)
        if (e.id == id) return changeTone(e.edit);
    if (isFileCommand(id)) return view_.fileCommand(id);
    if (rangeCommand(id)) return;
    const CommandStates s = states();
    switch (id) {
    case kCmdHelp:
        return view_.help();
    case kCmdPlayStop:
        return playback_.playing() ? stop() : play();
    case kCmdStop:
        return stop();
    case kCmdVolume:
        return setVolumeFromSlider(view_.sliderPosition());
    case kCmdOptions:
        if (view_.showOptions()) stop();
        return view_.showStatusTexts();
    case kCmdRaise:
    case kCmdLower:
        return stepSelected(id == kCmdRaise, StepSize::Small, s);
    case kCmdRaiseLarge:
    case kCmdLowerLarge:
        return stepSelected(id == kCmdRaiseLarge, StepSize::Large, s);
    case kCmdEditValue:
    case kCmdGridEdit:
        if (editTarget() != EditTarget::None) view_.editValues();
        return;
    case kCmdClear:
    case kCmdClearButton:
        if (CommandStates::of(s.buttons, kCmdClearButton).enabled) changeTone(resetToDefaults);
        return;
    case kCmdDeleteTone:
        return deleteTones(s);
    case kCmdAddTone:
        if (CommandStates::of(s.buttons, kCmdAddTone).enabled) changeTone(addTone);
        return;
    default:
        return; // kCmdUpdateOnly and ids of no command
    }
}

// A list tone edits its list whatever is selected; an endless noise has nothing to type;
// anything else types into the rows selected.
EditTarget MainController::editTarget() const {
    if (tone_.waveform == FromList) return EditTarget::List;
    if (isNoise(tone_.waveform) && !(tone_.flags & ToneFlagFixedLength)) return EditTarget::None;
    return selection_.empty() ? EditTarget::None : EditTarget::Rows;
}

void MainController::stepSelected(bool up, StepSize size, const CommandStates& states) {
    // the value toolbar's steps are enabled exactly where a step reaches a value
    if (!CommandStates::of(states.valueToolbar, kCmdRaise).enabled) return;
    bool changed = false;
    const std::vector<int> selection = selection_; // the view may report a new one meanwhile
    for (int row : selection) {
        if (row < 0 || row >= static_cast<int>(rows_.size())) continue;
        if (stepValue(tone_, rows_[row].code, up, size, settings_)) {
            changed = true;
            rows_[row].value = rowValueText(tone_, rows_[row].code);
            view_.showRowText(row);
        }
    }
    if (changed) liveChange();
}

void MainController::editSelected(const AskValue& ask) {
    const std::vector<int> selection = selection_; // the questions are modal: messages run
    const std::vector<int> changed = editRows(tone_, rows_, selection, ask);
    for (int row : changed)
        view_.showRowText(row);
    if (!changed.empty()) liveChange();
}

void MainController::deleteTones(const CommandStates& states) {
    if (!CommandStates::of(states.buttons, kCmdDeleteTone).enabled) return;
    std::vector<std::uint32_t> codes;
    for (int row : selection_)
        if (row >= 0 && row < static_cast<int>(rows_.size())) codes.push_back(rows_[row].code);
    if (removeSelectedTones(tone_, codes, gridSelection().firstIsLastRow)) applyToneChange();
}

void MainController::setFrequency(double hz) {
    const std::uint32_t first =
        !selection_.empty() && selection_[0] >= 0 && selection_[0] < static_cast<int>(rows_.size())
            ? rows_[selection_[0]].code
            : 0;
    setFrequencyFromValue(tone_, hz, first);
    applyToneChange();
}

// A list tone's length is what its list plays once: rendered with the loop cleared.
void MainController::applyToneChange() {
    if (tone_.waveform == FromList) {
        const std::uint8_t loop = tone_.loop;
        tone_.loop = 0;
        SourceRef source = render();
        const std::int64_t ms = FramesToMs(source->GetLength(), source->sampleRate);
        tone_.lengthMs = static_cast<std::uint32_t>(std::clamp<std::int64_t>(ms, 0, 0xFFFFFFFFLL));
        tone_.loop = loop;
    }
    rebuildRows();
    view_.showRows();
    liveChange();
}

// --- playback ------------------------------------------------------------------------------

SourceRef MainController::render() const {
    return RenderToneAtSettingsRate(tone_, settings_);
}

void MainController::play() {
    deviceSelected_ = true;
    playback_.selectStoredDevice();
    if (!start(render()))
        currentNotice().show(texts::kStartFailed, texts::kStartFailedCaption, NoticeIcon::Information,
                             NoticeButtons::Ok);
}

bool MainController::start(const SourceRef& source) {
    if (!playback_.start(source)) return false;
    // a new DirectSound buffer starts at full volume: keep the slider's
    playback_.setVolume(volume_);
    return true;
}

void MainController::stop() {
    playback_.stop();
    view_.showSilence(silenceChannels());
}

// Only a device with a GUID of its own takes a new source while playing; on any other
// the change restarts playback.
void MainController::liveChange() {
    if (!playback_.playing()) return;
    SourceRef source = render();
    if (playback_.deviceHasOwnGuid()) {
        playback_.changeLive(source);
        return;
    }
    playback_.stop();
    if (!start(source)) view_.showSilence(silenceChannels());
}

void MainController::setVolumeFromSlider(int position) {
    volume_ = volumeFromSlider(position);
    playback_.setVolume(volume_);
}

void MainController::selectStoredDevice() {
    deviceSelected_ = true;
    playback_.selectStoredDevice();
    volume_ = std::clamp(playback_.volume(), kVolumeMin, kVolumeMax);
}

int MainController::sliderPosition() const {
    return sliderFromVolume(volume_);
}

bool MainController::autoplay() {
    return settings_.readBool(keys::kAutoplay, false);
}

std::u16string MainController::sampleRateStatus() {
    return statusSampleRateText(settings_);
}

// --- the note window ---------------------------------------------------------------------------

bool MainController::noteWindowEnabled() const {
    return isPeriodic(tone_.waveform);
}

bool MainController::noteWindowExpanded() const {
    return noteWindowEnabled() && showNoteWindow_;
}

// A noise or a list: the setting stays as the user left it.
bool MainController::toggleNoteWindow() {
    if (!noteWindowEnabled()) return false;
    showNoteWindow_ = !showNoteWindow_;
    settings_.writeBool(keys::kShowNoteWindow, showNoteWindow_);
    return true;
}

// --- placement ----------------------------------------------------------------------------------

Placement MainController::placementToRestore(int defaultWidth, int defaultHeight, const Rect& workArea,
                                             const std::vector<MonitorArea>& monitors) {
    StoredPlacement stored;
    auto value = [&](SettingKey key) -> std::optional<int> {
        if (!settings_.hasValue(key)) return std::nullopt;
        return settings_.readInt(key, 0);
    };
    stored.x = value(keys::kWindowX);
    stored.y = value(keys::kWindowY);
    stored.width = value(keys::kWindowWidth);
    stored.height = value(keys::kWindowHeight);
    stored.maximized = settings_.readBool(keys::kWindowMaximized, false);
    return restoreWorkspacePlacement(stored, defaultWidth, defaultHeight, workArea, monitors);
}

void MainController::storePlacement(const Rect& normal, bool maximized,
                                    const std::vector<MonitorArea>& monitors) {
    const Rect r = workspaceToScreen(normal, monitors);
    settings_.writeInt(keys::kWindowX, r.left);
    settings_.writeInt(keys::kWindowY, r.top);
    settings_.writeInt(keys::kWindowWidth, r.width());
    settings_.writeInt(keys::kWindowHeight, r.height());
    settings_.writeBool(keys::kWindowMaximized, maximized);
}

} // namespace sonimo
