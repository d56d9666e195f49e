// analyze: the distortion of a recorded steady tone (see measure/ToneAnalysis.h for how),
// as text, JSON, and a spectrum plot.
#include <cmath>
#include <string>
#include <vector>

#include "Commands.h"
#include "Json.h"
#include "MeasureSupport.h"
#include "measure/SvgPlot.h"
#include "measure/ToneAnalysis.h"

namespace sonimo::cli {

namespace {

std::string ordinal(int k) {
    const char* suffix = (k % 100 >= 11 && k % 100 <= 13) ? "th"
                         : k % 10 == 1                    ? "st"
                         : k % 10 == 2                    ? "nd"
                         : k % 10 == 3                    ? "rd"
                                                          : "th";
    return std::to_string(k) + suffix;
}

std::string report(const std::u16string& path, const Signal& s, int channel, const ToneAnalysisOptions& o,
                   const ToneAnalysisResult& a) {
    std::string t;
    t += displayPath(path) + ": " + std::to_string(s.rate) + " Hz, channel " + std::to_string(channel + 1) +
         " of " + std::to_string(s.channels) + ", " +
         fixed(static_cast<double>(s.samples.size()) / s.rate, 3) + " s\n";
    if (a.frames != static_cast<std::int64_t>(s.samples.size()))
        t += "tone         from " + fixed(static_cast<double>(a.firstFrame) / s.rate, 3) + " s to " +
             fixed(static_cast<double>(a.firstFrame + a.frames) / s.rate, 3) +
             " s (the silence around it left out)\n";
    t += "window       " + std::string(windowName(o.window)) + ", " + std::to_string(o.averages) + " block" +
         (o.averages == 1 ? "" : "s") + " of " + std::to_string(a.blockFrames) + " frames (" +
         fixed(a.resolutionHz, 3) + " Hz resolution)" +
         (o.averages > 1 ? ", harmonics averaged coherently" : "") + "\n";
    t +=
        "fundamental  " + fixed(a.fundamentalHz, 4) + " Hz at " + fixed(a.fundamentalDbfs, 2) + " dBFS rms\n";
    t += "recording    peak " + fixed(a.peakDbfs, 2) + " dBFS, rms " + fixed(a.rmsDbfs, 2) + " dBFS\n";
    t += "THD          " + fixed(a.thdDb, 2) + " dB (" + fixed(a.thdPercent, 5) + " %) from " +
         std::to_string(a.harmonics.size()) + " harmonics " +
         (a.harmonicsCut ? "(up to the " + ordinal(kMaxHarmonic) + ", short of Nyquist)\n"
                         : "up to Nyquist\n");
    t += "THD+N        " + fixed(a.thdnDb, 2) + " dB (" + fixed(a.thdnPercent, 5) + " %)\n";
    t += "SINAD        " + fixed(a.sinadDb, 2) + " dB\n";
    t += "noise        " + fixed(a.noiseDbfs, 2) + " dBFS rms without the harmonics; floor " +
         fixed(a.noiseFloorDbfs, 1) + " dBFS per " + fixed(a.binHz, 3) + " Hz bin (median)\n";
    t += "harmonics   ";
    const std::size_t shown = std::min<std::size_t>(a.harmonics.size(), 9);
    for (std::size_t i = 0; i < shown; ++i) {
        const SpectralLine& h = a.harmonics[i];
        t += (i ? "             " : " ") + ordinal(h.order) + "  " + fixed(h.hz, 2) + " Hz  " +
             fixed(h.dbfs, 2) + " dBFS  " + fixed(h.dbfs - a.fundamentalDbfs, 2) + " dBc\n";
    }
    if (a.harmonics.empty()) t += " none below Nyquist\n";
    if (a.harmonics.size() > shown)
        t += "             (" + std::to_string(a.harmonics.size() - shown) + " more in --json)\n";
    t += "spurs       ";
    for (std::size_t i = 0; i < a.spurs.size(); ++i)
        t += (i ? "             " : " ") + fixed(a.spurs[i].hz, 2) + " Hz  " + fixed(a.spurs[i].dbfs, 2) +
             " dBFS  " + fixed(a.spurs[i].dbfs - a.fundamentalDbfs, 2) + " dBc\n";
    if (a.spurs.empty()) t += " none 20 dB above the floor\n";
    return t;
}

std::string json(const std::u16string& path, const Signal& s, int channel, const ToneAnalysisOptions& o,
                 const ToneAnalysisResult& a) {
    JsonWriter j;
    j.beginObject();
    j.key("file").string(displayPath(path));
    j.key("rate").integer(s.rate);
    j.key("channel").integer(channel + 1);
    j.key("frames").integer(static_cast<std::int64_t>(s.samples.size()));
    j.key("window").string(windowName(o.window));
    j.key("averages").integer(o.averages);
    j.key("block_frames").integer(a.blockFrames);
    j.key("tone_frames").beginArray().integer(a.firstFrame).integer(a.firstFrame + a.frames).endArray();
    j.key("fundamental")
        .beginObject()
        .key("hz")
        .number(a.fundamentalHz)
        .key("dbfs_rms")
        .number(a.fundamentalDbfs);
    j.endObject();
    j.key("peak_dbfs").number(a.peakDbfs);
    j.key("rms_dbfs").number(a.rmsDbfs);
    j.key("thd").beginObject().key("db").number(a.thdDb).key("percent").number(a.thdPercent).endObject();
    j.key("thd_n").beginObject().key("db").number(a.thdnDb).key("percent").number(a.thdnPercent).endObject();
    j.key("sinad_db").number(a.sinadDb);
    j.key("noise_dbfs").number(a.noiseDbfs);
    j.key("noise_floor_dbfs").number(a.noiseFloorDbfs);
    j.key("bin_hz").number(a.binHz);
    j.key("harmonics").beginArray();
    for (const SpectralLine& h : a.harmonics) {
        j.beginObject().key("order").integer(h.order).key("hz").number(h.hz).key("dbfs").number(h.dbfs);
        j.key("dbc").number(h.dbfs - a.fundamentalDbfs).endObject();
    }
    j.endArray();
    j.key("spurs").beginArray();
    for (const SpectralLine& sp : a.spurs) {
        j.beginObject().key("hz").number(sp.hz).key("dbfs").number(sp.dbfs);
        j.key("dbc").number(sp.dbfs - a.fundamentalDbfs).endObject();
    }
    j.endArray();
    j.endObject();
    return j.text() + "\n";
}

std::string plot(const std::u16string& path, const Signal& s, const ToneAnalysisOptions& o,
                 const ToneAnalysisResult& a) {
    LogPlot p;
    p.title = "Spectrum of " + displayPath(path) + "  -  " + utcNow();
    p.note = fixed(a.fundamentalHz, 3) + " Hz at " + fixed(a.fundamentalDbfs, 2) + " dBFS   THD " +
             fixed(a.thdDb, 1) + " dB (" + fixed(a.thdPercent, 4) + " %)   THD+N " + fixed(a.thdnDb, 1) +
             " dB   window " + windowName(o.window) + ", " + std::to_string(o.averages) + " block" +
             (o.averages == 1 ? "" : "s");
    p.xMin = std::max(10.0, std::pow(10.0, std::floor(std::log10(std::max(a.resolutionHz * 4, 1.0)))));
    p.xMax = s.rate / 2.0;
    PlotPanel panel;
    panel.yLabel = "Level (dBFS, sine)";
    PlotSeries spectrum{"spectrum (peak per pixel)", "#1f5fbf", {}, {}, 1.0, false};
    std::vector<double> hz(a.spectrumDbfs.size());
    for (std::size_t b = 0; b < hz.size(); ++b)
        hz[b] = b * a.binHz;
    peakEnvelope(hz, a.spectrumDbfs, p.xMin, p.xMax, 1800, spectrum);
    PlotSeries floor{
        "noise floor (median)", "#c0392b", {p.xMin, p.xMax}, {a.noiseFloorDbfs, a.noiseFloorDbfs}, 1.2, true};
    double top = std::max(0.0, a.fundamentalDbfs + 5);
    double bottom = std::max(-220.0, a.noiseFloorDbfs - 15);
    niceRange(bottom, top, 60, 10, panel.yMin, panel.yMax);
    if (panel.yMax - panel.yMin > 120) panel.yStep = 20;
    panel.height = 460;
    panel.series = {spectrum, floor};
    p.panels.push_back(panel);
    return RenderSvg(p);
}

} // namespace

int runAnalyze(const Args& args) {
    const ArgScanner a(args, {"--channel", "--plot", "--window", "--average"}, {"--json"});
    if (!a.ok()) {
        printError("analyze: " + a.error());
        return kExitUsage;
    }
    if (a.positional().size() != 1) {
        printError("analyze: give one recording, REC.wav");
        return kExitUsage;
    }
    int channel = 0;
    if (!readChannelOption("analyze", a, channel)) return kExitUsage;
    ToneAnalysisOptions options;
    if (const auto w = a.value("--window")) {
        const auto kind = windowByName(*w);
        if (!kind) {
            const std::string guess = closest(*w, {"bh7", "bh4", "flattop", "hann"});
            printError("analyze: --window: \"" + *w + "\" is not bh7, bh4, flattop or hann" +
                       (guess.empty() ? "" : " (did you mean " + guess + "?)"));
            return kExitUsage;
        }
        options.window = *kind;
    }
    if (const auto n = a.value("--average")) {
        const auto v = parseInteger(*n);
        if (!v || *v < 1 || *v > 1000) {
            printError("analyze: --average: \"" + *n + "\" is not a number of blocks within 1..1000");
            return kExitUsage;
        }
        options.averages = static_cast<int>(*v);
    }
    const std::u16string path = pathArg(a.positional()[0]);
    const auto plotPath = a.value("--plot");
    if (plotPath && pathArg(*plotPath) == path) {
        printError("analyze: the plot would replace the recording " + displayPath(path));
        return kExitUsage;
    }
    Signal s;
    if (const int refused = readRecording("analyze", path, channel, s)) return refused;
    ToneAnalysisResult result;
    switch (AnalyzeTone(s.samples, s.rate, options, result)) {
    case ToneAnalysisStatus::Ok:
        break;
    case ToneAnalysisStatus::TooShort:
        printError("analyze: " + displayPath(path) + " is too short: each of the " +
                   std::to_string(options.averages) + " blocks needs at least 256 samples and 1/16 s");
        return kExitInput;
    case ToneAnalysisStatus::NoTone:
        printError("analyze: " + displayPath(path) + " holds no tone to measure below Nyquist");
        return kExitInput;
    }
    if (plotPath && !writeTextFile(pathArg(*plotPath), plot(path, s, options, result))) {
        printError("cannot write " + *plotPath);
        return kExitOutput;
    }
    printOut(a.flag("--json") ? json(path, s, channel, options, result)
                              : report(path, s, channel, options, result));
    return kExitDone;
}

} // namespace sonimo::cli
