#include "ui/OptionsModel.h"

#include "audio/ToneRenderer.h"
#include "platform/Notice.h"
#include "platform/Text.h"
#include "platform/SettingsKeys.h"
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

int sampleRateOfIndex(int index) {
    return index >= 0 && index < kSampleRateChoiceCount ? kSampleRateChoices[index] : 44100;
}

int settingsSampleRateIndex(SettingsStore& settings) {
    return settings.readIntInRange(keys::kSampleRate, kDefaultSampleRateIndex, 0, kSampleRateChoiceCount - 1);
}

int settingsSampleRate(SettingsStore& settings) {
    // The stored value is an index into the list the options show, not a rate.
    return sampleRateOfIndex(settingsSampleRateIndex(settings));
}

SourceRef RenderToneAtSettingsRate(const ToneData& tone, SettingsStore& settings) {
    return RenderToneAtPlaybackRate(tone, settingsSampleRate(settings));
}

OptionsState loadOptions(SettingsStore& s) {
    OptionsState o;
    o.autoplay = s.readBool(keys::kAutoplay, false);
    o.sampleRateIndex = settingsSampleRateIndex(s);
    o.hertzText = s.readText(keys::kFrequencyStepValue, u"1.0");
    if (o.hertzText.empty()) o.hertzText = u"1.0";
    o.semitones = s.readIntInRange(keys::kSemitoneStepValue, 1, 1, 12);
    o.semitoneMode = s.readBool(keys::kSemitoneStep, true);
    if (o.semitoneMode) {
        o.semitones = s.readIntInRange(keys::kFrequencyStep, 1, 1, 12);
    } else {
        o.hertzText = s.readText(keys::kFrequencyStep, u"1.0");
        if (o.hertzText.empty()) o.hertzText = u"1.0";
    }
    o.semitoneText = number(o.semitones);
    return o;
}

OptionsResult storeOptions(const OptionsState& o, const std::u16string& device, SettingsStore& s) {
    s.writeBool(keys::kAutoplay, o.autoplay);
    s.writeText(keys::kDevice, device);
    s.writeInt(keys::kSampleRate, o.sampleRateIndex);
    const std::u16string semitoneText = trimmed(o.semitoneText);
    const std::u16string hertzText = trimmed(o.hertzText);
    if (o.semitoneMode) {
        const long long n = LeadingInteger(semitoneText);
        if (n < 1 || n > 12) {
            currentNotice().show(u"正しい半音の値を入力してください。1～12の間の数字でなければなりません。",
                                 u"再生設定", NoticeIcon::Error, NoticeButtons::Ok);
            return OptionsResult::SemitoneRefused;
        }
        s.writeText(keys::kSemitoneStep, u"1");
        s.writeInt(keys::kFrequencyStep, static_cast<int>(n));
    } else {
        const double x = leadingDecimal(hertzText);
        if (!(x >= 1.0 && x <= 22000.0)) {
            currentNotice().show(u"0～22000の間の周波数をヘルツで入力してください", u"再生設定",
                                 NoticeIcon::Error, NoticeButtons::Ok);
            return OptionsResult::HertzRefused;
        }
        s.writeText(keys::kSemitoneStep, u"0");
        s.writeText(keys::kFrequencyStep, o.hertzText);
    }
    s.writeText(keys::kSemitoneStepValue, o.semitoneText);
    s.writeText(keys::kFrequencyStepValue, o.hertzText);
    return OptionsResult::Stored;
}

} // namespace sonimo
