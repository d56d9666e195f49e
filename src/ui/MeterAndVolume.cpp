#include "ui/MeterAndVolume.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "ui/OptionsModel.h"

namespace sonimo {

namespace {
std::u16string number(long long v) {
    std::u16string out;
    for (char c : std::to_string(v))
        out.push_back(static_cast<char16_t>(c));
    return out;
}
} // namespace

int meterFill(int levelDb, int length) {
    const long long filled = std::clamp(levelDb + 48, 0, 60);
    return static_cast<int>(filled * std::max(length, 0) / 60);
}

std::u16string meterTooltip(const int* levels, int channels) {
    int loudest = levels[0];
    if (channels > 1) loudest = std::max(levels[0], levels[1]);
    return u"現在のレベル：" + (loudest == kLevelNone ? std::u16string(u"--") : number(loudest)) + u"dB";
}

int meterLevel(int reportedDb, int volume) {
    const int s = reportedDb + volume;
    return s > kLevelSilence ? std::min(s, 127) : kLevelSilence;
}

int volumeFromSlider(int position) {
    const double v = -48.0 + position * 48 * 0.01;
    const double rounded = v < 0 ? -std::floor(-v + 0.5) : std::floor(v + 0.5);
    return std::clamp(static_cast<int>(rounded), kVolumeMin, kVolumeMax);
}

int sliderFromVolume(int volume) {
    return (std::clamp(volume, kVolumeMin, kVolumeMax) + 48) * 100 / 48;
}

std::u16string statusProgramText() {
    return u"Sonimoテスト信号生成ソフト v4.00 (Quarlo)";
}

std::u16string statusSampleRateText(SettingsStore& settings) {
    const int index = settingsSampleRateIndex(settings);
    const std::u16string rate = number(kSampleRateChoices[index]);
    if (index >= kDefaultSampleRateIndex) return u" サンプルレート " + rate + u" Hz";
    return u" サンプルレート " + rate + u" Hz（*値を上げてエイリアシングを防ぐ）";
}

} // namespace sonimo
