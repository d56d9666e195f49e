#include "tone/ToneData.h"

#include <cstring>

#include "platform/File.h"
#include "platform/Notice.h"

namespace sonimo {

namespace {
constexpr std::uint16_t kSweepBits = ToneFlagSweep | ToneFlagLogSweep;
constexpr std::uint16_t kNoiseClearedBits =
    ToneFlagSweep | ToneFlagLogSweep | ToneFlagStereo | ToneFlagRelativeAmplitude;

bool inRange(double hz) {
    return hz >= 0.0 && hz <= kMaxFrequencyHz;
} // false for NaN
} // namespace

ToneData defaultToneData() {
    ToneData t;
    std::memset(&t, 0, sizeof t);
    resetToDefaults(t);
    return t;
}

void resetToDefaults(ToneData& t) {
    t.flags = 0;
    t.waveform = Sine;
    t.toneCount = 1;
    t.lengthMs = 1000;
    for (int i = 0; i < kMaxTones; ++i) {
        t.leftStartHz[i] = t.leftEndHz[i] = t.rightStartHz[i] = t.rightEndHz[i] = 440.0;
        t.relativeAmplitudeDb[i] = 0;
    }
    t.loop = 0;
    t.listPath[0] = 0;
}

bool isValid(const ToneData& t) {
    if (t.toneCount > kMaxTones) return false;
    for (int i = 0; i < t.toneCount; ++i) {
        if (!inRange(t.leftStartHz[i]) || !inRange(t.leftEndHz[i]) || !inRange(t.rightStartHz[i]) ||
            !inRange(t.rightEndHz[i]))
            return false;
    }
    return true;
}

bool differsFromDefault(const ToneData& t) {
    return t.waveform == FromList || t.toneCount >= 2 || t.leftStartHz[0] != 440.0;
}

bool loadToneFile(ToneData& t, const std::u16string& path) {
    unsigned char image[kToneFileSize];
    std::int64_t got = -1;
    {
        File f;
        if (f.open(path, File::Mode::ReadShared)) got = f.read(image, kToneFileSize);
    }
    return loadToneImage(t, image, got > 0 ? static_cast<std::size_t>(got) : 0);
}

bool loadToneImage(ToneData& t, const void* bytes, std::size_t size) {
    if (bytes && size >= kToneFileSize) {
        std::memcpy(&t, bytes, kToneFileSize);
        if (isValid(t)) return true;
    }
    resetToDefaults(t);
    return false;
}

bool saveToneFile(const ToneData& t, const std::u16string& path) {
    File f;
    if (!f.open(path, File::Mode::CreateExclusive)) return false;
    return f.write(&t, kToneFileSize) == static_cast<std::int64_t>(kToneFileSize);
}

std::u16string waveformName(int w) {
    static const char16_t* const names[] = {
        u"正弦波",       u"矩形波",         u"三角波",       u"ノコギリ波",
        u"インパルス",   u"ホワイトノイズ", u"ピンクノイズ", u"ブラウンノイズ",
        u"ブルーノイズ", u"パープルノイズ", u"グレイノイズ", u"一覧から",
    };
    return w >= 0 && w <= FromList ? names[w] : u"";
}

std::u16string waveformName(const ToneData& t) {
    return waveformName(t.waveform);
}

// The path field sits at an odd offset of the packed record: it is read and written unit
// by unit through the member, never through a pointer to it.
std::u16string listPathOf(const ToneData& t) {
    std::u16string s;
    for (std::size_t i = 0; i < kPathUnits && t.listPath[i] != 0; ++i)
        s.push_back(t.listPath[i]);
    return s;
}

void setListPath(ToneData& t, std::u16string_view path) {
    const std::size_t n = path.size() < kPathUnits - 1 ? path.size() : kPathUnits - 1;
    for (std::size_t i = 0; i < n; ++i)
        t.listPath[i] = path[i];
    t.listPath[n] = 0;
}

ToneKind toneKind(const ToneData& t) {
    if (!(t.flags & ToneFlagFixedLength)) return ToneKind::ConstantContinuous;
    if (t.flags & ToneFlagSweep)
        return t.flags & ToneFlagLogSweep ? ToneKind::LogSweep : ToneKind::LinearSweep;
    return ToneKind::ConstantFixed;
}

std::u16string toneKindName(ToneKind k) {
    switch (k) {
    case ToneKind::ConstantContinuous:
        return u"定数（継続）";
    case ToneKind::ConstantFixed:
        return u"定数（一定時間）";
    case ToneKind::LinearSweep:
        return u"掃引（線形）";
    case ToneKind::LogSweep:
        return u"掃引（対数）";
    }
    return u"";
}

bool isNoise(int w) {
    return w >= WhiteNoise && w <= GreyNoise;
}
bool isSwept(const ToneData& t) {
    return (t.flags & kSweepBits) != 0;
}

void setKind(ToneData& t, ToneKind k) {
    switch (k) {
    case ToneKind::ConstantContinuous:
        t.flags &= ~(kSweepBits | ToneFlagFixedLength);
        t.loop = 0;
        break;
    case ToneKind::ConstantFixed:
        t.flags = (t.flags & ~kSweepBits) | ToneFlagFixedLength;
        break;
    case ToneKind::LinearSweep:
        t.flags = (t.flags & ~ToneFlagLogSweep) | ToneFlagSweep | ToneFlagFixedLength;
        break;
    case ToneKind::LogSweep:
        t.flags |= ToneFlagSweep | ToneFlagLogSweep | ToneFlagFixedLength;
        break;
    }
}

void toggleFixedLength(ToneData& t) {
    if (t.flags & ToneFlagFixedLength) {
        setKind(t, ToneKind::ConstantContinuous);
    } else {
        setKind(t, ToneKind::ConstantFixed);
    }
}

void toggleLoop(ToneData& t) {
    t.loop = t.loop ? 0 : 1;
    // a looped tone is always of fixed length
    if (t.loop == 1 && !(t.flags & ToneFlagFixedLength)) setKind(t, ToneKind::ConstantFixed);
}

void setMono(ToneData& t) {
    t.flags &= ~ToneFlagStereo;
}

void setStereo(ToneData& t) {
    t.flags |= ToneFlagStereo;
    for (int i = 0; i < t.toneCount && i < kMaxTones; ++i) {
        t.rightStartHz[i] = t.leftStartHz[i];
        t.rightEndHz[i] = t.leftEndHz[i];
    }
}

void toggleStereo(ToneData& t) {
    if (t.flags & ToneFlagStereo) {
        setMono(t);
    } else {
        setStereo(t);
    }
}

void toggleRelativeAmplitude(ToneData& t) {
    t.flags ^= ToneFlagRelativeAmplitude;
}

void setWaveform(ToneData& t, int w) {
    if (w < Sine || w > GreyNoise) return;
    t.waveform = static_cast<std::uint8_t>(w);
    if (isNoise(w)) t.flags &= ~kNoiseClearedBits;
}

void setToneCount(ToneData& t, int n) {
    if (n >= 1 && n <= kMaxTones) t.toneCount = static_cast<std::uint8_t>(n);
}

void addTone(ToneData& t) {
    if (t.toneCount < kMaxTones) {
        ++t.toneCount;
        return;
    }
    std::u16string text = u"これ以上トーンを追加できません。追加できるトーンの数は%d個までです。";
    text.replace(text.find(u"%d"), 2, u"16");
    currentNotice().show(text, u"トーンを追加", NoticeIcon::Warning, NoticeButtons::Ok);
}

} // namespace sonimo
