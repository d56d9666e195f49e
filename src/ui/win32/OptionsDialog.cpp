#include "ui/win32/OptionsDialog.h"

#include <commctrl.h>

#include <string>

#include "platform/Notice.h"
#include "platform/win32/WideText.h"
#include "ui/win32/ModalDialog.h"
#include "ui/win32/Resource.h"

namespace sonimo {

namespace {

HWND gCurrent = nullptr;
std::u16string textOf(HWND window, int id) {
    wchar_t text[260] = {};
    GetDlgItemTextW(window, id, text, 260);
    return reinterpret_cast<const char16_t*>(text);
}

} // namespace

OptionsDialog::OptionsDialog(HWND owner, SettingsStore& settings, DeviceSystem& devices)
    : owner_(owner), settings_(settings), catalogue_(devices) {}

HWND OptionsDialog::current() {
    return gCurrent;
}

bool OptionsDialog::run() {
    const bool ok = runModalDialog(*this, owner_, IDD_OPTIONS);
    gCurrent = nullptr;
    notices_.reset();
    window_ = nullptr;
    return ok;
}

void OptionsDialog::init() {
    gCurrent = window_;
    notices_.emplace(window_);
    SetWindowTextW(window_, L"Sonimoのオプション");
    const OptionsState o = loadOptions(settings_);
    CheckDlgButton(window_, IDC_OPT_AUTOPLAY, o.autoplay ? BST_CHECKED : BST_UNCHECKED);

    // Devices in two groups: on Windows 7 and later DirectSound first with plain names.
    HWND devices = GetDlgItem(window_, IDC_OPT_DEVICE);
    catalogue_.RefreshCounts();
    // An unprefixed name is of the platform's own kind: that group comes first, plain.
    const bool modern = catalogue_.KindOf(u"") == OutputDirectSound;
    const std::vector<std::u16string> waveOut = catalogue_.WaveOutList();
    const std::vector<std::u16string> directSound = catalogue_.DirectSoundList();
    std::vector<std::u16string> names = modern ? directSound : waveOut;
    const std::vector<std::u16string>& second = modern ? waveOut : directSound;
    names.insert(names.end(), second.begin(), second.end());
    for (const std::u16string& n : names)
        SendMessageW(devices, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(n)));
    // The device is looked for in its own back-end's group, in the form that group lists
    // names: a DirectSound entry may carry the very name of a waveOut one.
    const OutputDevice current = catalogue_.LoadSelection(settings_);
    // the first group lists plain names, the second prefixed ones
    const bool firstGroup = (current.kind == OutputDirectSound) == modern;
    const std::size_t from = firstGroup ? 0 : names.size() - second.size();
    const std::size_t to = firstGroup ? names.size() - second.size() : names.size();
    const std::u16string& wanted = firstGroup ? current.shortName : current.displayName;
    int select = 0;
    for (std::size_t i = from; i < to; ++i)
        if (!wanted.empty() && names[i] == wanted) {
            select = static_cast<int>(i);
            break;
        }
    SendMessageW(devices, CB_SETCURSEL, select, 0);

    HWND rates = GetDlgItem(window_, IDC_OPT_RATE);
    for (int i = 0; i < kSampleRateChoiceCount; ++i) {
        const std::wstring text = std::to_wstring(kSampleRateChoices[i]);
        SendMessageW(rates, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    SendMessageW(rates, CB_SETCURSEL, o.sampleRateIndex, 0);

    HWND updown = GetDlgItem(window_, IDC_OPT_SEMITONE_UPDOWN);
    SendMessageW(updown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(GetDlgItem(window_, IDC_OPT_SEMITONE)), 0);
    SendMessageW(updown, UDM_SETRANGE32, 1, 12);
    UDACCEL accel[3] = {{0, 1}, {3, 10}, {5, 100}};
    SendMessageW(updown, UDM_SETACCEL, 3, reinterpret_cast<LPARAM>(accel));
    SetDlgItemTextW(window_, IDC_OPT_HERTZ, wide(o.hertzText));
    SendMessageW(updown, UDM_SETPOS32, 0, o.semitones);
    CheckRadioButton(window_, IDC_OPT_HERTZ_MODE, IDC_OPT_SEMITONE_MODE,
                     o.semitoneMode ? IDC_OPT_SEMITONE_MODE : IDC_OPT_HERTZ_MODE);
    modeChanged();
}

void OptionsDialog::modeChanged() {
    const bool semitones = IsDlgButtonChecked(window_, IDC_OPT_SEMITONE_MODE) == BST_CHECKED;
    HWND focus = GetFocus();
    const int ids[3] = {IDC_OPT_HERTZ, IDC_OPT_SEMITONE_UPDOWN, IDC_OPT_SEMITONE};
    const bool enable[3] = {!semitones, semitones, semitones};
    for (int i = 0; i < 3; ++i) {
        HWND control = GetDlgItem(window_, ids[i]);
        if (!enable[i] && control == focus) // a disabled control passes the focus on
            SendMessageW(window_, WM_NEXTDLGCTL, 0, FALSE);
        EnableWindow(control, enable[i]);
    }
}

bool OptionsDialog::accept() {
    OptionsState o;
    o.autoplay = IsDlgButtonChecked(window_, IDC_OPT_AUTOPLAY) == BST_CHECKED;
    const int rate = static_cast<int>(SendDlgItemMessageW(window_, IDC_OPT_RATE, CB_GETCURSEL, 0, 0));
    o.sampleRateIndex = rate >= 0 ? rate : kDefaultSampleRateIndex;
    o.semitoneMode = IsDlgButtonChecked(window_, IDC_OPT_SEMITONE_MODE) == BST_CHECKED;
    o.semitoneText = textOf(window_, IDC_OPT_SEMITONE);
    o.hertzText = textOf(window_, IDC_OPT_HERTZ);
    const std::u16string device = catalogue_.Resolve(textOf(window_, IDC_OPT_DEVICE)).displayName;
    return storeOptions(o, device, settings_) == OptionsResult::Stored;
}

INT_PTR OptionsDialog::handle(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        init();
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_OPT_HERTZ_MODE:
        case IDC_OPT_SEMITONE_MODE:
            if (HIWORD(wParam) == BN_CLICKED) modeChanged();
            return TRUE;
        case IDOK:
            if (accept()) EndDialog(window_, IDOK);
            return TRUE;
        case IDCANCEL:
            EndDialog(window_, IDCANCEL);
            return TRUE;
        case 9:
            currentNotice().show(u"再生デバイス、サンプルレート、値を上げる・下げるときの周波数の幅（ヘルツま"
                                 u"たは半音）を設定します。\n"
                                 u"サンプルレートが44100 Hzより低いと高い周波数が正しく再生されません。",
                                 u"オプションのヘルプ", NoticeIcon::Information, NoticeButtons::Ok);
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

} // namespace sonimo
