// The tone list dialog without a window: the rows (one list line each), the modified and
// untitled flags, and every button's action. It opens on the list it is given; OK answers
// the list to attach (the saved .tdl, or a temporary .tmp holding unsaved rows).
// User-interface thread only.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "audio/ToneListRenderer.h"
#include "platform/SettingsStore.h"
#include "ui/FileCommands.h"
#include "ui/ValueGrid.h"

namespace sonimo {

// Lists imported into one another go at most as deep, and a dialog holds at most as many
// rows, as a list may when it plays (kMaxListDepth, kMaxListEntries); what lies beyond is
// left out with a message (lists can name each other).

class ToneListEditor {
public:
    // `files` gives the file dialogs and the overwrite question, `settings` the folders the
    // dialogs start in, `askText` the entry dialog, `askSave` the question "保存" /
    // "キャンセル" (true for "保存"). All borrowed.
    ToneListEditor(FileDialogs& files, SettingsStore& settings, AskValue askText,
                   std::function<bool()> askSave);

    // Opens on `list`, or on a new untitled list (to be kept in a temporary file) when empty.
    void open(const std::u16string& list);
    void addTone();
    void addSilence();
    // Each returns the rows to select afterwards.
    std::vector<int> moveUp(const std::vector<int>& selected);
    std::vector<int> moveDown(const std::vector<int>& selected);
    std::vector<int> deleteRows(const std::vector<int>& selected);
    // Each is true when the rows are in the list's file afterwards (or had nothing to save).
    bool saveList();
    bool saveListAs();
    // The list to attach when the dialog may close with OK; nothing keeps it open. A save
    // that is cancelled or fails keeps the dialog open: its rows are nowhere else.
    std::optional<std::u16string> ok();
    // Appends a path: a .tdl or .tmp list flattened into its lines, anything else one row.
    void import(const std::u16string& path);

    const std::vector<std::u16string>& rows() const { return rows_; }
    bool modified() const { return modified_; }
    // The list this dialog saves to: the one it opened on, then what it was saved as.
    const std::u16string& path() const { return path_; }
    bool untitled() const { return untitled_; }

private:
    bool refuseEmpty();
    bool saveUnder(bool clearUntitled);
    bool write(const std::u16string& path);
    void importInto(const std::u16string& path, std::vector<std::u16string>& open, int depth);

    FileDialogs& ui_;         // borrowed
    SettingsStore& settings_; // borrowed
    AskValue askText_;
    std::function<bool()> askSave_;
    std::vector<std::u16string> rows_;
    std::u16string path_;
    bool modified_ = false;
    bool untitled_ = true;
    bool toldCycle_ = false, toldDepth_ = false, toldSize_ = false;
};

} // namespace sonimo
