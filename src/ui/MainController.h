// What the main window decides, without a window: the current tone and the grid's rows
// and selection, what each command does to them, when a change restarts playback and
// when it goes to the playing buffer, the note window's visibility, and the stored
// window placement. The window translates its messages into these calls and copies the
// results onto its controls through MainView; playback goes through PlaybackControl.
// User-interface thread only.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/SettingsStore.h"
#include "synth/SampleSource.h"
#include "tone/ToneData.h"
#include "ui/CommandState.h"
#include "ui/MainLayout.h"
#include "ui/ValueGrid.h"

namespace sonimo {

// The player as the window drives it.
class PlaybackControl {
public:
    virtual ~PlaybackControl() = default;
    // Opens the device the settings name (playback stops).
    virtual void selectStoredDevice() = 0;
    // False when playback could not start; then nothing plays.
    virtual bool start(const SourceRef& source) = 0;
    virtual void stop() = 0;
    // Hands a new source to the playing buffer without stopping it.
    virtual void changeLive(const SourceRef& source) = 0;
    virtual void setVolume(int step) = 0;
    virtual int volume() = 0;
    virtual bool playing() = 0;
    // The open device has a GUID of its own: only such a device takes a live change.
    virtual bool deviceHasOwnGuid() = 0;
};

// What the controller asks of the window and its host.
class MainView {
public:
    virtual ~MainView() = default;
    // The rows were rebuilt: refill the grid and keep its selection.
    virtual void showRows() = 0;
    // One row's value text changed.
    virtual void showRowText(int row) = 0;
    // The level meter shows silence on this many channels.
    virtual void showSilence(int channels) = 0;
    virtual void showStatusTexts() = 0;
    virtual int sliderPosition() = 0;
    virtual void help() = 0;
    virtual void fileCommand(std::uint16_t command) = 0;
    // The host asks for values (or edits the list); it calls editSelected or changes the tone.
    virtual void editValues() = 0;
    // True when the options dialog closed with OK.
    virtual bool showOptions() = 0;
};

// What "edit value" edits: nothing, the list of a list tone, or the selected rows.
enum class EditTarget { None, List, Rows };

// The menu items that carry a radio mark instead of a tick: tone counts, kinds, mono and
// stereo, waveforms.
bool isRadioItem(std::uint16_t id);

class MainController {
public:
    // `settings`, `playback` and `view` are borrowed and outlive the controller.
    MainController(SettingsStore& settings, PlaybackControl& playback, MainView& view);

    ToneData& tone() { return tone_; }
    SettingsStore& settings() { return settings_; }
    const std::vector<GridRow>& rows() const { return rows_; }
    // The grid's selected rows, ascending, as the grid reports them.
    void select(std::vector<int> rows) { selection_ = std::move(rows); }
    const std::vector<int>& selection() const { return selection_; }
    GridSelection gridSelection() const;
    CommandStates states();

    // Restores current.tdf from `folder` (the default tone when it is broken) and builds
    // the rows; storeTone writes it back. An empty folder keeps nothing.
    void restoreTone(const std::u16string& folder);
    void storeTone(const std::u16string& folder) const;
    void rebuildRows();

    void command(std::uint16_t id);
    EditTarget editTarget() const;
    // Typing values into the selected rows; the live change follows when any was stored.
    void editSelected(const AskValue& ask);
    // A frequency from the scale or a note button into the first selected row.
    void setFrequency(double hz);
    // After any edit of the tone: a list tone's length, the rows, the live change.
    void applyToneChange();

    void play();
    void stop();
    void liveChange();
    bool playing() { return playback_.playing(); }
    int volume() const { return volume_; }
    void setVolumeFromSlider(int position);
    // The stored device, opened once: at start-up with autoplay, else when the window is
    // up or at the first play. The slider position of the device's volume.
    void selectStoredDevice();
    bool deviceSelected() const { return deviceSelected_; }
    int sliderPosition() const;
    bool autoplay();
    int silenceChannels() const { return (tone_.flags & ToneFlagStereo) ? 2 : 1; }
    std::u16string sampleRateStatus();

    // The note window: enabled for a periodic tone, expanded when enabled and the user
    // left it shown. A toggle of a disabled one changes nothing; else it is stored.
    bool noteWindowEnabled() const;
    bool noteWindowExpanded() const;
    bool toggleNoteWindow();

    // The placement to give the window (workspace coordinates), from the stored values.
    Placement placementToRestore(int defaultWidth, int defaultHeight, const Rect& workArea,
                                 const std::vector<MonitorArea>& monitors);
    // Stores a placement's normal rectangle (workspace coordinates) on the screen.
    void storePlacement(const Rect& normal, bool maximized, const std::vector<MonitorArea>& monitors);

private:
    SourceRef render() const;
    // Starts playback of `source` at the slider's volume; false when the device refused.
    bool start(const SourceRef& source);
    void stepSelected(bool up, StepSize size, const CommandStates& states);
    void deleteTones(const CommandStates& states);
    void changeTone(void (*edit)(ToneData&));
    bool rangeCommand(std::uint16_t id);

    SettingsStore& settings_;   // borrowed
    PlaybackControl& playback_; // borrowed
    MainView& view_;            // borrowed
    ToneData tone_;
    std::vector<GridRow> rows_;
    std::vector<int> selection_;
    int volume_ = 0;
    bool showNoteWindow_ = true;
    bool deviceSelected_ = false;
};

} // namespace sonimo
