#include "ui/ValueGrid.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/File.h"
#include "platform/SettingsKeys.h"
#include "platform/Text.h"
#include "tone/ToneList.h"
#include "ui/CommandState.h"

namespace sonimo {

namespace {

std::u16string ascii(const char* s) {
    std::u16string out;
    while (*s)
        out.push_back(static_cast<char16_t>(*s++));
    return out;
}

std::u16string number(long long v) {
    return ascii(std::to_string(v).c_str());
}

double& frequencySlot(ToneData& t, std::uint32_t code) {
    const int i = code & 15;
    switch ((code - kRowLeftStart) / 256) {
    case 0:
        return t.leftStartHz[i];
    case 1:
        return t.rightStartHz[i];
    case 2:
        return t.leftEndHz[i];
    default:
        return t.rightEndHz[i];
    }
}

void error(std::u16string_view text, std::u16string_view caption) {
    currentNotice().show(text, caption, NoticeIcon::Error, NoticeButtons::Ok);
}

constexpr std::u16string_view kLengthMessage = u"正数を入力してください";
constexpr std::u16string_view kAmplitudeMessage = u"以下の間の負の数字を入力してください： [-127 ..0]";
constexpr std::u16string_view kFrequencyMessage = u"0～22000の間の周波数をヘルツで入力してください";

bool isBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f';
}

} // namespace

std::u16string rowLabel(const ToneData& tone, std::uint32_t code) {
    const std::u16string name = waveformName(tone);
    const std::u16string n = number((code & 15) + 1);
    const bool stereo = tone.flags & ToneFlagStereo;
    const bool swept = isSwept(tone);
    if (code == kRowLength) return name + u"長さ";
    if (code == kRowNameOnly) return name;
    if (isAmplitudeRow(code)) return name + u" " + n + u" 相対振幅";
    if (!isFrequencyRow(code)) return {};
    const char16_t* what = u"";
    switch ((code - kRowLeftStart) / 256) {
    case 0:
        what = stereo ? (swept ? u"左開始周波数" : u"左周波数") : (swept ? u"開始周波数" : u"周波数");
        break;
    case 1:
        what = swept ? u"右開始周波数" : u"右周波数";
        break;
    case 2:
        what = stereo ? u"左終了周波数" : u"終了周波数";
        break;
    default:
        what = u"右終了周波数";
        break;
    }
    return name + u" " + n + u" " + what;
}

std::u16string rowValueText(const ToneData& tone, std::uint32_t code) {
    char buf[64];
    if (code == kRowLength) {
        std::snprintf(buf, sizeof buf, "%lums", static_cast<unsigned long>(tone.lengthMs));
        return ascii(buf);
    }
    if (isAmplitudeRow(code)) {
        std::snprintf(buf, sizeof buf, "%ddB", tone.relativeAmplitudeDb[code & 15]);
        return ascii(buf);
    }
    if (!isFrequencyRow(code)) return {};
    const bool rightRow = (code >= kRowRightStart && code < kRowLeftEnd) || code >= kRowRightEnd;
    if (rightRow && !(tone.flags & ToneFlagStereo)) return {};
    std::snprintf(buf, sizeof buf, "%.2fHz", frequencySlot(const_cast<ToneData&>(tone), code));
    return ascii(buf);
}

std::vector<GridRow> gridRows(const ToneData& tone,
                              const std::function<bool(const std::u16string&)>& fileExists) {
    std::vector<GridRow> rows;
    const std::uint32_t lengthOrName = (tone.flags & ToneFlagFixedLength) ? kRowLength : kRowNameOnly;
    if (isNoise(tone.waveform)) {
        rows.push_back({lengthOrName, rowLabel(tone, lengthOrName), rowValueText(tone, lengthOrName)});
        return rows;
    }
    if (tone.waveform == FromList) {
        const std::u16string path = listPathOf(tone);
        File file;
        if (file.open(path, File::Mode::ReadShared)) {
            LineReader reader(file);
            std::u16string line;
            while (reader.readLine(line)) {
                if (line.find(kSilenceSuffix) == std::u16string::npos && !fileExists(line))
                    currentNotice().show(u"ファイル「" + line + u"」がありません", kSystemCaption,
                                         NoticeIcon::Error, NoticeButtons::Ok);
                rows.push_back({lengthOrName, u"", line});
            }
        }
        if (rows.empty())
            rows.push_back({lengthOrName, path, u""});
        else
            rows.front().label = fileExtension(path) == u".tdl" ? path : u"保存されていない一覧";
        return rows;
    }
    if (!isPeriodic(tone.waveform)) return rows;
    // What plays: a tone of no tones (a valid file) is silent and shows no frequency rows.
    const int count = tone.toneCount <= kMaxTones ? tone.toneCount : kMaxTones;
    const bool swept = isSwept(tone);
    const bool stereo = tone.flags & ToneFlagStereo;
    auto add = [&](std::uint32_t code) {
        rows.push_back({code, rowLabel(tone, code), rowValueText(tone, code)});
    };
    for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(count); ++i) {
        add(kRowLeftStart + i);
        if (swept) add(kRowLeftEnd + i);
        if (stereo) {
            add(kRowRightStart + i);
            if (swept) add(kRowRightEnd + i);
        }
        if (tone.flags & ToneFlagRelativeAmplitude) add(kRowAmplitude + i);
    }
    if (tone.flags & ToneFlagFixedLength) add(kRowLength);
    return rows;
}

double semitoneFactor(int n) {
    double base = 1.0594630943592953;
    double result = 1.0;
    unsigned long long e = n < 0 ? -static_cast<long long>(n) : n;
    while (e) {
        if (e & 1) result *= base;
        base *= base;
        e >>= 1;
    }
    return n < 0 ? 1.0 / result : result;
}

bool stepValue(ToneData& tone, std::uint32_t code, bool up, StepSize size, SettingsStore& settings) {
    const bool large = size == StepSize::Large;
    if (code == kRowLength) {
        const std::uint32_t v = tone.lengthMs;
        if (up) {
            const std::uint64_t next =
                std::uint64_t(v) + (large ? (v < 1000 ? 500 : 5000) : (v < 1000 ? 100 : 1000));
            if (!large && next > kMaxLengthMs) {
                error(kLengthMessage, u"時間");
                return false;
            }
            // the large step has no limit of its own; only the field's range stops it
            tone.lengthMs = static_cast<std::uint32_t>(std::min<std::uint64_t>(next, 0xFFFFFFFFu));
        } else {
            if (large) {
                if (v <= 500) return false;
                tone.lengthMs = v - (v < 5000 ? 500 : 5000);
            } else {
                if (v <= 100) return false;
                tone.lengthMs = v - (v < 2000 ? 100 : 1000);
            }
        }
        return tone.lengthMs != v;
    }
    if (isAmplitudeRow(code)) {
        std::int8_t& a = tone.relativeAmplitudeDb[code & 15];
        if (up && a < 0) {
            ++a;
            return true;
        }
        if (!up && a > -90) {
            --a;
            return true;
        }
        return false;
    }
    if (!isFrequencyRow(code)) return false;
    double& f = frequencySlot(tone, code);
    const double old = f;
    if (large) {
        if (up)
            f = std::min(f * 2.0, kMaxFrequencyHz);
        else
            f *= 0.5;
        return f != old;
    }
    const bool semitones = settings.readBool(keys::kSemitoneStep, true);
    if (up) {
        if (!(f < kMaxFrequencyHz)) return false;
        if (semitones) {
            const int n = settings.readInt(keys::kFrequencyStep, 1);
            f = std::max(f, 0.01) * semitoneFactor(n);
        } else {
            f += leadingDecimal(settings.readText(keys::kFrequencyStep, u"1.0"));
        }
        f = std::min(f, kMaxFrequencyHz);
    } else {
        if (!(f > 0.0)) return false;
        if (semitones)
            f /= semitoneFactor(settings.readInt(keys::kFrequencyStep, 1));
        else
            f -= leadingDecimal(settings.readText(keys::kFrequencyStep, u"1.0"));
        if (f < 0.0) f = 0.0;
    }
    return f != old;
}

double leadingDecimal(std::u16string_view text) {
    // Only the digits that form a number are handed to strtod, in ASCII.
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    std::string s;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) s.push_back(static_cast<char>(text[i++]));
    auto digits = [&] {
        std::size_t n = 0;
        for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9' && s.size() < 400; ++i, ++n)
            s.push_back(static_cast<char>(text[i]));
        return n;
    };
    std::size_t n = digits();
    if (i < text.size() && text[i] == u'.') {
        s.push_back('.');
        ++i;
        n += digits();
    }
    if (n == 0) return 0.0;
    if (i + 1 < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        std::size_t j = i + 1;
        std::string e = "e";
        if (j < text.size() && (text[j] == u'-' || text[j] == u'+'))
            e.push_back(static_cast<char>(text[j++]));
        std::size_t k = j;
        while (k < text.size() && text[k] >= u'0' && text[k] <= u'9' && k - j < 6)
            e.push_back(static_cast<char>(text[k++]));
        if (k > j) s += e;
    }
    return std::strtod(s.c_str(), nullptr);
}

bool storeTypedValue(ToneData& tone, std::uint32_t code, std::u16string_view text) {
    if (code == kRowLength) {
        const long long v = LeadingInteger(text);
        if (v <= 0 || v > kMaxLengthMs) {
            error(kLengthMessage, u"時間");
            tone.lengthMs = 1000;
        } else {
            tone.lengthMs = static_cast<std::uint32_t>(v);
        }
        return true;
    }
    if (isAmplitudeRow(code)) {
        const long long a = LeadingInteger(text);
        std::int8_t stored = 0;
        if (a < -127) {
            error(kAmplitudeMessage, u"振幅");
            stored = -127;
        } else if (a > 0) {
            error(kAmplitudeMessage, u"振幅");
        } else if (a == 0) {
            if (text.empty() || (text[0] != u'0' && text[0] != u'-')) error(kAmplitudeMessage, u"振幅");
        } else {
            stored = static_cast<std::int8_t>(a);
        }
        tone.relativeAmplitudeDb[code & 15] = stored;
        return true;
    }
    if (!isFrequencyRow(code)) return false;
    double v = leadingDecimal(text);
    if (v > kMaxFrequencyHz) {
        error(kFrequencyMessage, u"周波数");
        v = kMaxFrequencyHz;
    } else if (!(v >= 1.0)) {
        error(kFrequencyMessage, u"周波数");
        v = 1.0;
    }
    frequencySlot(tone, code) = v;
    return true;
}

bool removeSelectedTones(ToneData& tone, const std::vector<std::uint32_t>& selectedCodes,
                         bool firstIsLastRow) {
    if (!canDeleteTones(tone, {static_cast<int>(selectedCodes.size()), firstIsLastRow})) return false;
    bool named[kMaxTones] = {};
    for (std::uint32_t code : selectedCodes)
        if (isFrequencyRow(code)) named[code & 15] = true;
    bool removed = false;
    for (int t = kMaxTones - 1; t >= 0 && tone.toneCount > 1; --t) {
        if (!named[t] || t >= tone.toneCount) continue;
        for (int k = t; k < kMaxTones - 1; ++k) {
            tone.leftStartHz[k] = tone.leftStartHz[k + 1];
            tone.rightStartHz[k] = tone.rightStartHz[k + 1];
            tone.leftEndHz[k] = tone.leftEndHz[k + 1];
            tone.rightEndHz[k] = tone.rightEndHz[k + 1];
            tone.relativeAmplitudeDb[k] = tone.relativeAmplitudeDb[k + 1];
        }
        --tone.toneCount;
        removed = true;
    }
    return removed;
}

std::vector<int> editRows(ToneData& tone, std::vector<GridRow>& rows, const std::vector<int>& selected,
                          const AskValue& ask) {
    std::vector<int> stored;
    if (tone.waveform == FromList || (isNoise(tone.waveform) && !(tone.flags & ToneFlagFixedLength)))
        return stored;
    for (int index : selected) {
        if (index < 0 || index >= static_cast<int>(rows.size())) continue;
        GridRow& row = rows[index];
        if (row.code == kRowNameOnly ||
            !(isFrequencyRow(row.code) || isAmplitudeRow(row.code) || row.code == kRowLength))
            continue;
        const auto typed = ask(row.label, row.label + u":", row.value);
        if (!typed) break;
        if (storeTypedValue(tone, row.code, *typed)) {
            row.value = rowValueText(tone, row.code);
            stored.push_back(index);
        }
    }
    return stored;
}

void setFrequencyFromValue(ToneData& tone, double hz, std::uint32_t firstSelected) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%5.2f", hz < 1.0 || std::isnan(hz) ? 1.0 : std::min(hz, 1e9));
    const std::u16string text = ascii(buf);
    if (isFrequencyRow(firstSelected)) {
        storeTypedValue(tone, firstSelected, text);
    } else if (isAmplitudeRow(firstSelected)) {
        storeTypedValue(tone, kRowLeftStart + (firstSelected & 15), text);
        storeTypedValue(tone, kRowRightStart + (firstSelected & 15), text);
    } else {
        storeTypedValue(tone, kRowLeftStart, text);
        storeTypedValue(tone, kRowRightStart, text);
    }
}

} // namespace sonimo
