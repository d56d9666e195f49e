// info: what the engine sees in a tone file, a tone list or a WAV file.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "Commands.h"
#include "Json.h"
#include "SourceFiles.h"
#include "audio/AudioFileReader.h"
#include "audio/Mp3FileSource.h"
#include "audio/PeakPrediction.h"
#include "audio/ToneListRenderer.h"
#include "audio/ToneRenderer.h"
#include "audio/WaveFileSource.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "tone/ToneData.h"
#include "tone/ToneList.h"
#include "ui/OptionsModel.h"

namespace sonimo::cli {

namespace {

// The tool keeps no settings of its own: tones render at the rate the options start with.
const int kToneRate = sampleRateOfIndex(kDefaultSampleRateIndex);

std::string num(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string flagNames(std::uint16_t f) {
    static const struct {
        std::uint16_t bit;
        const char* name;
    } names[] = {{ToneFlagSweep, "sweep"},
                 {ToneFlagLogSweep, "log sweep"},
                 {ToneFlagStereo, "stereo"},
                 {ToneFlagFixedLength, "fixed length"},
                 {ToneFlagRelativeAmplitude, "relative amplitudes"}};
    std::string s;
    for (const auto& n : names) {
        if (f & n.bit) s += (s.empty() ? "" : ", ") + std::string(n.name);
    }
    if (f & 0xFFE0) s += (s.empty() ? "" : ", ") + std::string("unknown bits");
    return s.empty() ? "none" : s;
}

std::string fixed2(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", std::abs(v) < 0.005 ? 0.0 : v); // no "-0.00"
    return buf;
}

const char* methodName(PeakMethod m) {
    switch (m) {
    case PeakMethod::CommonPeriod:
        return "common period";
    case PeakMethod::WholeTone:
        return "whole";
    case PeakMethod::FirstSeconds:
        break;
    }
    return "first seconds";
}

// The lines on the mix's level; `what` names the thing measured ("tone", "list").
std::string peakLines(const PeakPrediction& p, bool random, const char* what) {
    const std::string window = fixed2(p.windowSeconds * (p.method == PeakMethod::CommonPeriod ? 1000 : 1));
    std::string how;
    if (random)
        how = "measured over " + window + " s; noise differs from render to render";
    else if (p.method == PeakMethod::CommonPeriod)
        how = "exact: the tones' common period is " + window + " ms";
    else if (p.method == PeakMethod::WholeTone)
        how = std::string("exact over the whole ") + what + ", " + window + " s";
    else
        how = "measured over the first " + window + " s";
    if (p.peakDbfs <= -1000) return "peak         silent (" + how + ")\n";
    std::string s = "peak         " + fixed2(p.peakDbfs) + " dBFS before the limiter (" + how + ")\n";
    s += "crest factor " + fixed2(p.crestFactorDb) + " dB\n";
    if (p.limiterActs) {
        // the ceiling is 16-bit full scale, 32767
        const double over = p.peakDbfs - 20 * std::log10(32767.0 / 32768.0);
        s += "limiter      acts: the mix passes full scale by " +
             (over < 0.005 ? std::string("less than 0.01") : fixed2(over)) + " dB\n";
    } else {
        s += "limiter      does not act\n";
    }
    return s;
}

double hundredths(double v) {
    const double r = std::round(v * 100) / 100;
    return r == 0 ? 0.0 : r; // no "-0"
}

void peakJson(JsonWriter& j, const PeakPrediction& p, bool random) {
    j.key("peak").beginObject();
    if (p.peakDbfs <= -1000)
        j.key("dbfs").null();
    else
        j.key("dbfs").number(hundredths(p.peakDbfs));
    j.key("crestFactorDb").number(hundredths(p.crestFactorDb));
    j.key("limiterActs").boolean(p.limiterActs);
    j.key("method").string(random ? "measured" : methodName(p.method));
    j.key("windowSeconds").number(p.windowSeconds);
    j.endObject();
}

// Through the record, element by element: its fields are packed.
template <class Get> void jsonArray(JsonWriter& j, const char* key, Get get) {
    j.key(key).beginArray();
    for (int i = 0; i < kMaxTones; ++i)
        j.number(get(i));
    j.endArray();
}

int infoTone(const std::u16string& path, bool json) {
    ToneData t;
    std::memset(&t, 0, sizeof t);
    std::int64_t got = -1;
    {
        File f;
        if (f.open(path, File::Mode::ReadShared)) got = f.read(&t, kToneFileSize);
    }
    if (got < 0) {
        printError("cannot read " + displayPath(path));
        return kExitInput;
    }
    if (got != static_cast<std::int64_t>(kToneFileSize)) {
        printError(displayPath(path) + " is not a tone file: " + std::to_string(got) +
                   " bytes, a tone file has 1057");
        return kExitInput;
    }
    // Only the first 1057 bytes count, as when the program loads the file.
    const bool valid = isValid(t);
    const std::string listPath = utf16ToUtf8(listPathOf(t));
    // The mix as the settings' rate renders it; a record the program refuses plays nothing.
    PeakPrediction peak;
    if (valid) peak = predictPeak(t, kToneRate);
    const bool random = isNoise(t.waveform);
    if (json) {
        JsonWriter j;
        j.beginObject();
        j.key("flags")
            .integer(t.flags)
            .key("waveform")
            .integer(t.waveform)
            .key("toneCount")
            .integer(t.toneCount);
        j.key("lengthMs").integer(t.lengthMs);
        jsonArray(j, "leftStartHz", [&t](int i) { return t.leftStartHz[i]; });
        jsonArray(j, "leftEndHz", [&t](int i) { return t.leftEndHz[i]; });
        jsonArray(j, "rightStartHz", [&t](int i) { return t.rightStartHz[i]; });
        jsonArray(j, "rightEndHz", [&t](int i) { return t.rightEndHz[i]; });
        j.key("relativeAmplitudeDb").beginArray();
        for (int i = 0; i < kMaxTones; ++i)
            j.integer(t.relativeAmplitudeDb[i]);
        j.endArray();
        j.key("loop").integer(t.loop).key("listPath").string(listPath).key("valid").boolean(valid);
        if (valid) peakJson(j, peak, random);
        j.endObject();
        printOut(j.text() + "\n");
    } else {
        char flags[8];
        std::snprintf(flags, sizeof flags, "0x%04X", t.flags);
        std::string s = "tone file " + displayPath(path) +
                        (valid ? ": valid\n" : ": NOT valid (the program refuses it)\n");
        s += "flags        " + std::string(flags) + " (" + flagNames(t.flags) + ")\n";
        s += "waveform     " + std::to_string(t.waveform) + " " + utf16ToUtf8(waveformName(t)) + "\n";
        s += "kind         " + utf16ToUtf8(toneKindName(toneKind(t))) + "\n";
        s += "toneCount    " + std::to_string(t.toneCount) + "\n";
        s += "lengthMs     " + std::to_string(t.lengthMs) +
             ((t.flags & ToneFlagFixedLength) ? "\n" : " (not used: endless)\n");
        s += "loop         " + std::to_string(t.loop) + "\n";
        if (t.waveform == FromList) s += "listPath     \"" + listPath + "\"\n";
        if (t.waveform < WhiteNoise) {
            for (int i = 0; i < t.toneCount && i < kMaxTones; ++i) {
                s += "tone " + std::to_string(i + 1) + (i < 9 ? "       " : "      ");
                s += "left " + num(t.leftStartHz[i]) + " Hz";
                if (isSwept(t)) s += " -> " + num(t.leftEndHz[i]) + " Hz";
                if (t.flags & ToneFlagStereo) {
                    s += ", right " + num(t.rightStartHz[i]) + " Hz";
                    if (isSwept(t)) s += " -> " + num(t.rightEndHz[i]) + " Hz";
                }
                if (t.flags & ToneFlagRelativeAmplitude)
                    s += ", " + std::to_string(t.relativeAmplitudeDb[i]) + " dB";
                s += "\n";
            }
        }
        if (valid) s += peakLines(peak, random, "tone");
        printOut(s);
    }
    return valid ? kExitDone : kExitInput;
}

int infoList(const std::u16string& path, bool json) {
    {
        File f;
        if (!f.open(path, File::Mode::ReadShared)) {
            printError("cannot read " + displayPath(path));
            return kExitInput;
        }
    }
    const ToneList list = readToneList(path);
    // The length the program gives the list when it is attached: rendered once, at the
    // rate the settings give (44100 Hz here).
    ListOutcome outcome;
    SourceRef seq = renderToneListFile(path, kToneRate, &outcome);
    if (outcome == ListOutcome::TooLarge) {
        printError(displayPath(path) + " is refused: " + listTooLargeReason());
        return kExitInput;
    }
    const std::int64_t lengthMs = FramesToMs(seq->GetLength(), seq->sampleRate);
    const PeakPrediction peak = measurePeak(*seq, kPeakWindowSeconds);
    if (json) {
        JsonWriter j;
        j.beginObject().key("entries").beginArray();
        for (const ToneListEntry& e : list.entries) {
            j.beginObject()
                .key("silenceMs")
                .integer(e.silenceMs)
                .key("fileName")
                .string(utf16ToUtf8(e.fileName))
                .endObject();
        }
        j.endArray().key("lengthMs").integer(lengthMs);
        peakJson(j, peak, false);
        j.endObject();
        printOut(j.text() + "\n");
    } else {
        std::string s = "tone list " + displayPath(path) + ": " + std::to_string(list.entries.size()) +
                        " entries, " + std::to_string(lengthMs) + " ms, " + std::to_string(seq->sampleRate) +
                        " Hz, " + std::to_string(seq->channels) +
                        (seq->channels == 1 ? " channel\n" : " channels\n");
        int i = 0;
        for (const ToneListEntry& e : list.entries) {
            s += std::to_string(++i) + "\t";
            s += e.isSilence() ? "silence " + std::to_string(e.silenceMs) + " ms\n"
                               : utf16ToUtf8(e.fileName) + "\n";
        }
        s += peakLines(peak, false, "list");
        printOut(s);
    }
    return kExitDone;
}

// Which reader took the file: the direct one, the system's converter or the built-in
// MPEG decoder ("none" for a file nothing can read).
const char* readerName(SampleSource& s) {
    if (s.state != StateOk) return "none";
    if (dynamic_cast<WaveFileSource*>(&s)) return "direct";
    if (dynamic_cast<Mp3FileSource*>(&s)) return "built-in MPEG";
    return "converter";
}

int infoWave(const std::u16string& path, bool json) {
    SourceRef src = OpenAudioFile(path);
    const int length = src->GetLength();
    const char* reader = readerName(*src);
    if (json) {
        JsonWriter j;
        j.beginObject().key("state").integer(src->state).key("sampleRate").integer(src->sampleRate);
        j.key("channels").integer(src->channels).key("length").integer(length);
        j.key("reader").string(reader).endObject();
        printOut(j.text() + "\n");
    } else {
        std::string s = "audio file " + displayPath(path) + ": state " + std::to_string(src->state) +
                        (src->state == StateOk ? " (usable)\n" : " (not usable: plays as no sound)\n");
        s += "reader       " + std::string(reader) + "\n";
        s += "sampleRate   " + std::to_string(src->sampleRate) + "\n";
        s += "channels     " + std::to_string(src->channels) + "\n";
        s += "length       " + std::to_string(length) + " frames (" +
             std::to_string(FramesToMs(length, src->sampleRate)) + " ms)\n";
        printOut(s);
    }
    return src->state == StateOk ? kExitDone : kExitInput;
}

} // namespace

int runInfo(const Args& args) {
    const ArgScanner a(args, {}, {"--json"});
    if (!a.ok()) {
        printError("info: " + a.error());
        return kExitUsage;
    }
    if (a.positional().size() != 1) {
        printError("info: name one file");
        return kExitUsage;
    }
    const std::u16string path = pathArg(a.positional()[0]);
    const bool json = a.flag("--json");
    switch (fileKindOf(path)) {
    case FileKind::Tone:
        return infoTone(path, json);
    case FileKind::List:
        return infoList(path, json);
    case FileKind::Wave:
        return infoWave(path, json);
    case FileKind::Other:
        break;
    }
    printError(displayPath(path) +
               ": the type is taken from the extension, which must be exactly .tdf, .tdl or .wav");
    return kExitInput;
}

} // namespace sonimo::cli
