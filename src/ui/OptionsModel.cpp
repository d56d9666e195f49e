#include "ui/OptionsModel.h"

#include "audio/ToneRenderer.h"
#include "platform/Notice.h"
#include "platform/Text.h"
#include "ui/ValueGrid.h"

namespace sonimo {

namespace {

std::u16string trimmed(const std::u16string& s) {
    const std::size_t b = s.find_first_not_of(u" \t\r\n");
    if (b == std::u16string::npos) return {};
    return s.substr(b, s.find_last_not_of(u" \t\r\n") - b + 1);
}

std::u16string number(int v) {
    std::u16string out;
    for (char c : std::to_string(v))
        out.push_back(static_cast<char16_t>(c));
    return out;
}

} // namespace

OptionsState loadOptions(SettingsStore& s) {
    OptionsState o;
    o.autoplay = s.readBool(u"settings", u"autoplay", false);
    o.sampleRateIndex =
        s.readIntInRange(u"Settings", u"SampleRate", kDefaultSampleRateIndex, 0, kSampleRateChoiceCount - 1);
    o.hertzText = s.readText(u"settings", u"frequencyval", u"1.0");
    if (o.hertzText.empty()) o.hertzText = u"1.0";
    o.semitones = s.readIntInRange(u"settings", u"semitoneval", 1, 1, 12);
    o.semitoneMode = s.readBool(u"settings", u"semitone increment", true);
    if (o.semitoneMode) {
        o.semitones = s.readIntInRange(u"settings", u"frequency increment step", 1, 1, 12);
    } else {
        o.hertzText = s.readText(u"settings", u"frequency increment step", u"1.0");
        if (o.hertzText.empty()) o.hertzText = u"1.0";
    }
    o.semitoneText = number(o.semitones);
    return o;
}

OptionsResult storeOptions(const OptionsState& o, const std::u16string& device, SettingsStore& s) {
    s.writeBool(u"settings", u"autoplay", o.autoplay);
    s.writeText(u"Player", u"Device", device);
    s.writeInt(u"Settings", u"SampleRate", o.sampleRateIndex);
    const std::u16string semitoneText = trimmed(o.semitoneText);
    const std::u16string hertzText = trimmed(o.hertzText);
    if (o.semitoneMode) {
        const long long n = LeadingInteger(semitoneText);
        if (n < 1 || n > 12) {
            currentNotice().show(u"正しい半音の値を入力してください。1～12の間の数字でなければなりません。",
                                 u"再生設定", NoticeIcon::Error, NoticeButtons::Ok);
            return OptionsResult::SemitoneRefused;
        }
        s.writeText(u"settings", u"semitone increment", u"1");
        s.writeInt(u"settings", u"frequency increment step", static_cast<int>(n));
    } else {
        const double x = leadingDecimal(hertzText);
        if (!(x >= 1.0 && x <= 22000.0)) {
            currentNotice().show(u"0～22000の間の周波数をヘルツで入力してください", u"再生設定",
                                 NoticeIcon::Error, NoticeButtons::Ok);
            return OptionsResult::HertzRefused;
        }
        s.writeText(u"settings", u"semitone increment", u"0");
        s.writeText(u"settings", u"frequency increment step", o.hertzText);
    }
    s.writeText(u"settings", u"semitoneval", o.semitoneText);
    s.writeText(u"settings", u"frequencyval", o.hertzText);
    return OptionsResult::Stored;
}

} // namespace sonimo
