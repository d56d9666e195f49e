// response: the impulse and frequency response between what was played (a tone file or a
// list rendered as render renders it at the recording's rate, or a WAV file) and what was
// recorded; see measure/ResponseMeasurement.h for how.
#include <cmath>
#include <string>

#include "Commands.h"
#include "Json.h"
#include "MeasureSupport.h"
#include "SourceFiles.h"
#include "measure/FloatWaveFile.h"
#include "measure/ResponseMeasurement.h"
#include "measure/SvgPlot.h"
#include "measure/ToneAnalysis.h"
#include "synth/NoiseRandom.h"

namespace sonimo::cli {

namespace {

constexpr char16_t kEndlessText[] =
    u"一定の長さに指定されているトーンはWavファイルでのみ保存できます。 \n\n長さが指定されていません。"
    u"トーンメニューから定数（一定時間）または掃引アイテムを選択してください。";

struct Smoothing {
    const char* name;
    double octaves;
};
constexpr Smoothing kSmoothings[] = {
    {"1/3", 1.0 / 3}, {"1/6", 1.0 / 6}, {"1/12", 1.0 / 12}, {"1/24", 1.0 / 24}};

// The reference at the recording's rate, or a refusal (printed).
int readReference(const ArgScanner& a, const std::u16string& path, int rate, Signal& out) {
    const FileKind kind = fileKindOf(path);
    if (kind == FileKind::Wave) {
        const SignalResult r = ReadAudioFile(path, 0, out);
        if (r.status != SignalStatus::Ok) return refuseSignal(path, r, 0, out.channels);
        if (out.rate != rate) {
            printError(
                "response: the reference " + displayPath(path) + " is at " + std::to_string(out.rate) +
                " Hz and the recording at " + std::to_string(rate) +
                " Hz: refused, not converted (a conversion would change what is measured); give the "
                "tone or list itself, which is rendered at the recording's rate, or convert one of them");
            return kExitInput;
        }
        return kExitDone;
    }
    if (kind == FileKind::Other) {
        printError(displayPath(path) +
                   ": the type is taken from the extension, which must be exactly .tdf, .tdl or .wav");
        return kExitInput;
    }
    if (const auto seed = a.value("--seed")) FixSeeds(static_cast<std::uint32_t>(*parseInteger(*seed)));
    const OpenedFile opened = openSourceFile(path, rate);
    if (opened.exitCode != kExitDone) return opened.exitCode;
    if (opened.kind == FileKind::Tone) {
        if (!(opened.tone.flags & ToneFlagFixedLength) || opened.tone.loop != 0) {
            if (!(opened.tone.flags & ToneFlagFixedLength)) printMessage(kEndlessText);
            printError("response: the reference " + displayPath(path) + " is " +
                       (opened.tone.loop ? "looped" : "endless") +
                       ": it must end, as the tone that was played and recorded did");
            return kExitInput;
        }
        if (isNoise(opened.tone.waveform) && !a.value("--seed")) {
            printError("response: the reference " + displayPath(path) +
                       " is noise, which differs from render to render: give the WAV file that was played, "
                       "or --seed N as it was rendered with (render --seed N)");
            return kExitInput;
        }
    }
    if (opened.source->state != StateOk) {
        printError(displayPath(path) + ": nothing that can be rendered");
        return kExitInput;
    }
    if (opened.source->sampleRate != rate) {
        printError("response: the list " + displayPath(path) + " renders at " +
                   std::to_string(opened.source->sampleRate) +
                   " Hz (a WAV entry sets its rate), the recording is at " + std::to_string(rate) +
                   " Hz: refused, not converted");
        return kExitInput;
    }
    const SignalResult r = RenderFirstChannel(opened.source, out);
    if (r.status != SignalStatus::Ok) return refuseSignal(path, r, 0, out.channels);
    return kExitDone;
}

std::string ordinal(int k) {
    return std::to_string(k) + (k == 2 ? "nd" : k == 3 ? "rd" : "th");
}

std::string method(const ResponseResult& r) {
    if (!r.sweep.found) return "regularised spectral division (the reference is not a log sweep)";
    return "log sweep " + fixed(r.sweep.startHz, 1) + " Hz to " + fixed(r.sweep.endHz, 1) + " Hz over " +
           fixed(r.sweep.seconds, 3) + " s, deconvolved by its inverse filter; harmonics separated";
}

std::string report(const ResponseResult& r, const std::string& irName, const std::string& smooth) {
    std::string t;
    t += "method       " + method(r) + "\n";
    t += "delay        " + std::to_string(r.delaySamples) + " samples (" +
         fixed(1000.0 * static_cast<double>(r.delaySamples) / r.rate, 3) + " ms at " +
         std::to_string(r.rate) + " Hz)\n";
    t += "gain         " + fixed(r.gainDb, 3) + " dB (the magnitude's mean from 20 Hz to 0.9 of Nyquist)\n";
    t += "band         " + fixed(r.bandLowHz, 1) + " Hz to " + fixed(r.bandHighHz, 1) + " Hz" +
         (smooth.empty() ? "" : ", smoothed over " + smooth + " octave") + "\n";
    t += "impulse      " + irName + ": " + std::to_string(r.impulse.size()) +
         " samples of 32-bit float from the recording's start\n";
    if (r.sweep.found) {
        t += "harmonics   ";
        bool any = false;
        for (const HarmonicResponse& h : r.harmonics) {
            if (h.measuredPoints == 0) continue;
            t += std::string(any ? "             " : " ") + ordinal(h.order) + "  " + fixed(h.medianDb, 2) +
                 " dB re the fundamental (" + fixed(100 * std::pow(10.0, h.medianDb / 20), 4) +
                 " %, median), " + fixed(1000 * h.offsetSeconds, 1) + " ms before the linear response\n";
            any = true;
        }
        if (!any) t += " none within the band\n";
    }
    return t;
}

std::string json(const ResponseResult& r, const std::string& irName, const std::string& smooth) {
    JsonWriter j;
    j.beginObject();
    j.key("method").string(r.sweep.found ? "log_sweep" : "spectral_division");
    j.key("rate").integer(r.rate);
    j.key("delay_samples").integer(r.delaySamples);
    j.key("delay_ms").number(1000.0 * static_cast<double>(r.delaySamples) / r.rate);
    j.key("gain_db").number(r.gainDb);
    j.key("band_hz").beginArray().number(r.bandLowHz).number(r.bandHighHz).endArray();
    j.key("smoothing_octaves");
    if (smooth.empty())
        j.null();
    else
        j.string(smooth);
    if (r.sweep.found) {
        j.key("sweep")
            .beginObject()
            .key("start_hz")
            .number(r.sweep.startHz)
            .key("end_hz")
            .number(r.sweep.endHz);
        j.key("seconds").number(r.sweep.seconds).endObject();
    }
    j.key("impulse").beginObject().key("file").string(irName);
    j.key("samples").integer(static_cast<std::int64_t>(r.impulse.size())).endObject();
    j.key("fft_size").integer(r.fftSize);
    j.key("harmonics").beginArray();
    for (const HarmonicResponse& h : r.harmonics) {
        j.beginObject().key("order").integer(h.order).key("offset_ms").number(-1000 * h.offsetSeconds);
        j.key("median_db");
        if (h.measuredPoints)
            j.number(h.medianDb);
        else
            j.null();
        j.key("points").integer(h.measuredPoints).endObject();
    }
    j.endArray();
    j.endObject();
    return j.text() + "\n";
}

std::string csv(const ResponseResult& r) {
    std::string t = "frequency_hz,magnitude_db,phase_deg";
    for (const HarmonicResponse& h : r.harmonics)
        t += ",h" + std::to_string(h.order) + "_db";
    t += "\n";
    for (std::size_t i = 0; i < r.hz.size(); ++i) {
        t += fixed(r.hz[i], 4) + "," + fixed(r.magnitudeDb[i], 4) + "," + fixed(r.phaseDeg[i], 3);
        for (const HarmonicResponse& h : r.harmonics) {
            // appended in two steps: GCC 12 takes "," + string for an overlapping copy
            t += ',';
            if (std::isfinite(h.levelDb[i])) t += fixed(h.levelDb[i], 3);
        }
        t += "\n";
    }
    return t;
}

std::string plot(const ResponseResult& r, const std::string& recName, const std::string& smooth) {
    static const char* const kColours[] = {"#c0392b", "#27ae60", "#8e44ad", "#d68910", "#17a589"};
    LogPlot p;
    p.title = "Response of " + recName + "  -  " + utcNow();
    p.note = std::string(r.sweep.found ? "log sweep" : "spectral division") + ", delay " +
             std::to_string(r.delaySamples) + " samples (" +
             fixed(1000.0 * static_cast<double>(r.delaySamples) / r.rate, 2) + " ms), gain " +
             fixed(r.gainDb, 2) + " dB" +
             (smooth.empty() ? ", unsmoothed" : ", " + smooth + " octave smoothing");
    p.xMin = std::pow(10.0, std::floor(std::log10(std::max(r.bandLowHz, 1.0))));
    if (p.xMin < 10 && r.bandLowHz >= 10) p.xMin = 10;
    p.xMax = r.rate / 2.0;
    PlotPanel mag;
    mag.yLabel = "Magnitude (dB)";
    mag.legendBelow = true; // the response runs along the top
    mag.series.push_back({"magnitude", "#1f5fbf", r.hz, r.magnitudeDb, 2.0, false});
    double top = -400, bottom = 400;
    for (std::size_t i = 0; i < r.hz.size(); ++i) {
        if (r.hz[i] < 20 || r.hz[i] > 0.9 * r.rate / 2) continue;
        top = std::max(top, r.magnitudeDb[i]);
        bottom = std::min(bottom, r.magnitudeDb[i]);
    }
    if (top < bottom) top = 0, bottom = -40;
    top += 5;
    for (std::size_t k = 0; k < r.harmonics.size(); ++k) {
        const HarmonicResponse& h = r.harmonics[k];
        if (!h.measuredPoints) continue;
        PlotSeries s{
            ordinal(h.order) + " harmonic (dB re fundamental)", kColours[k % 5], r.hz, h.levelDb, 1.2, true};
        mag.series.push_back(s);
        bottom = std::min(bottom, h.medianDb - 10);
    }
    niceRange(std::max(bottom - 5, top - 150), top, 30, 10, mag.yMin, mag.yMax);
    if (mag.yMax - mag.yMin > 100) mag.yStep = 20;
    PlotPanel phase;
    phase.yLabel = "Phase (degrees, delay removed)";
    phase.yMin = -180, phase.yMax = 180, phase.yStep = 45;
    phase.height = 220;
    phase.series.push_back({"phase", "#1f5fbf", r.hz, r.phaseDeg, 1.5, false});
    p.panels = {mag, phase};
    return RenderSvg(p);
}

} // namespace

int runResponse(const Args& args) {
    const ArgScanner a(args, {"-o", "--plot", "--csv", "--smooth", "--channel", "--seed"}, {"--json"});
    if (!a.ok()) {
        printError("response: " + a.error());
        return kExitUsage;
    }
    if (a.positional().size() != 2 || !a.value("-o")) {
        printError("response: give the reference and the recording, REF REC.wav, and -o IR.wav");
        return kExitUsage;
    }
    int channel = 0;
    if (!readChannelOption("response", a, channel)) return kExitUsage;
    ResponseOptions options;
    std::string smooth;
    if (const auto s = a.value("--smooth")) {
        for (const Smoothing& m : kSmoothings) {
            if (*s == m.name) options.smoothOctaves = m.octaves, smooth = m.name;
        }
        if (smooth.empty()) {
            printError("response: --smooth: \"" + *s + "\" is not 1/3, 1/6, 1/12 or 1/24");
            return kExitUsage;
        }
    }
    if (const auto seed = a.value("--seed")) {
        const auto v = parseInteger(*seed);
        if (!v || *v < 0 || *v > 0xFFFFFFFFll) {
            printError("--seed: \"" + *seed + "\" is not a whole number within 0..4294967295");
            return kExitUsage;
        }
    }
    const std::u16string refPath = pathArg(a.positional()[0]), recPath = pathArg(a.positional()[1]);
    const std::u16string irPath = pathArg(*a.value("-o"));
    for (const char* option : {"-o", "--plot", "--csv"}) {
        const auto v = a.value(option);
        if (v && (pathArg(*v) == refPath || pathArg(*v) == recPath)) {
            printError(std::string("response: ") + option + " would replace an input, " + *v);
            return kExitUsage;
        }
    }
    Signal rec, ref;
    if (const int refused = readRecording("response", recPath, channel, rec)) return refused;
    if (const int refused = readReference(a, refPath, rec.rate, ref)) return refused;

    ResponseResult result;
    switch (MeasureResponse(ref.samples, rec.samples, rec.rate, options, result)) {
    case ResponseStatus::Ok:
        break;
    case ResponseStatus::RecordingShorter:
        printError("response: the recording " + displayPath(recPath) + " (" +
                   std::to_string(rec.samples.size()) + " frames) is shorter than the reference " +
                   displayPath(refPath) + " (" + std::to_string(ref.samples.size()) +
                   " frames): record until the reference has ended");
        return kExitInput;
    case ResponseStatus::SilentReference:
        printError("response: the reference " + displayPath(refPath) + " is silent: nothing was played");
        return kExitInput;
    case ResponseStatus::SilentRecording:
        printError("response: the recording " + displayPath(recPath) + " is silent");
        return kExitInput;
    case ResponseStatus::TooLong:
        printError("response: " + displayPath(recPath) + " is too long to measure against " +
                   displayPath(refPath) + ": the recording and what lies before the response must fit in " +
                   std::to_string(kMaxResponseFft) + " frames; cut the recording shorter");
        return kExitInput;
    case ResponseStatus::NoBand:
        printError("response: the reference " + displayPath(refPath) +
                   " has no band of frequencies to measure");
        return kExitInput;
    }
    const std::string irName = *a.value("-o");
    if (!WriteFloatWave(irPath, result.rate, result.impulse)) {
        printError("cannot write " + irName);
        return kExitOutput;
    }
    if (const auto c = a.value("--csv"); c && !writeTextFile(pathArg(*c), csv(result))) {
        printError("cannot write " + *c);
        return kExitOutput;
    }
    if (const auto p = a.value("--plot");
        p && !writeTextFile(pathArg(*p), plot(result, displayPath(recPath), smooth))) {
        printError("cannot write " + *p);
        return kExitOutput;
    }
    printOut(a.flag("--json") ? json(result, irName, smooth) : report(result, irName, smooth));
    return kExitDone;
}

} // namespace sonimo::cli
