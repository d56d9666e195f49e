// series: a tone list and a folder of fixed-length tone files, one per frequency of a
// series: preferred frequencies in fractional-octave steps, the notes between two names,
// or a column of numbers read from a file or standard input.
//
// The list names each tone file by its full path: the list renderer and the program open
// an entry's name as it stands, so a relative name would be looked up in whatever folder
// the program happens to run in (under Wine, its own), not next to the list.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "Commands.h"
#include "FrequencySeries.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "tone/ToneData.h"
#include "tone/ToneList.h"
#include "ui/NoteTable.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace sonimo::cli {

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kMaxLengthMs = 10000000; // what the value grid accepts, as for make
constexpr int kMinDb = -127;

struct SeriesTone {
    double hz;
    std::string label; // what the file name shows after its number
};

struct ToneOptions {
    int waveform = Sine;
    std::uint32_t lengthMs = 1000;
    std::int32_t gapMs = 0;
    std::optional<int> db;
    bool stereo = false;
};

std::string hertzLabel(double hz) {
    return hertzText(hz) + " Hz";
}

// --iso STEP --from HZ --to HZ. False when refused (printed).
bool isoSeries(const ArgScanner& a, std::vector<SeriesTone>& out) {
    const std::string name = *a.value("--iso");
    const std::optional<OctaveStep> step = octaveStepByName(name);
    if (!step) {
        printError("--iso: \"" + name + "\" is none of 1, 1/2, 1/3, 1/6, 1/12, 1/24 (octave steps)");
        return false;
    }
    if (!a.value("--from") || !a.value("--to")) {
        printError("--iso needs --from HZ and --to HZ, the limits of the series");
        return false;
    }
    double limits[2];
    const char* options[2] = {"--from", "--to"};
    for (int i = 0; i < 2; ++i) {
        const std::string text = *a.value(options[i]);
        const std::optional<double> hz = parseDouble(text);
        if (!hz || *hz < 0.0 || *hz > kMaxFrequencyHz) {
            printError(std::string(options[i]) + ": \"" + text + "\" is not a frequency within 0..22000 Hz");
            return false;
        }
        limits[i] = *hz;
    }
    if (limits[0] > limits[1]) {
        printError("--from " + *a.value("--from") + " Hz is above --to " + *a.value("--to") +
                   " Hz: the limits are in the wrong order");
        return false;
    }
    for (double hz : nominalFrequencies(*step, limits[0], limits[1]))
        out.push_back({hz, hertzLabel(hz)});
    if (out.empty()) {
        printError("--iso " + name + ": no preferred frequency lies within " + *a.value("--from") + ".." +
                   *a.value("--to") + " Hz");
        return false;
    }
    return true;
}

// --notes FROM..TO, both included.
bool noteSeries(const std::string& text, std::vector<SeriesTone>& out) {
    const std::size_t dots = text.find("..");
    if (dots == std::string::npos) {
        printError("--notes: \"" + text + "\" is not two note names joined by .. (such as A4..A5)");
        return false;
    }
    const std::string names[2] = {text.substr(0, dots), text.substr(dots + 2)};
    int index[2];
    for (int i = 0; i < 2; ++i) {
        const std::optional<int> n = noteIndexByName(names[i]);
        if (!n) {
            printError("--notes: \"" + names[i] +
                       "\" is no note of the note table (C0 to B8, sharps as C4# or C#4)");
            return false;
        }
        index[i] = *n;
    }
    if (index[0] > index[1]) {
        printError("--notes: " + names[0] + " is above " + names[1] + ": the notes are in the wrong order");
        return false;
    }
    for (int i = index[0]; i <= index[1]; ++i)
        out.push_back({noteFrequency(i), utf16ToUtf8(noteName(i)) + " " + hertzLabel(noteFrequency(i))});
    return true;
}

// At most kMaxColumnBytes + 1 bytes: one more than the parser takes is enough to refuse.
bool readBounded(std::FILE* in, std::string& text) {
    char buffer[64 * 1024];
    while (text.size() <= kMaxColumnBytes) {
        const std::size_t want = std::min(sizeof buffer, kMaxColumnBytes + 1 - text.size());
        const std::size_t got = std::fread(buffer, 1, want, in);
        text.append(buffer, got);
        if (got < want) return !std::ferror(in);
    }
    return true;
}

bool readBounded(const std::u16string& path, std::string& text) {
    File f;
    if (!f.open(path, File::Mode::ReadShared)) return false;
    char buffer[64 * 1024];
    while (text.size() <= kMaxColumnBytes) {
        const std::size_t want = std::min(sizeof buffer, kMaxColumnBytes + 1 - text.size());
        const std::int64_t got = f.read(buffer, static_cast<std::int64_t>(want));
        if (got < 0) return false;
        text.append(buffer, static_cast<std::size_t>(got));
        if (static_cast<std::size_t>(got) < want) break;
    }
    return true;
}

// --column FILE, or - for standard input.
int columnSeries(const std::string& source, std::vector<SeriesTone>& out) {
    std::string text;
    std::string shownName;
    if (source == "-") {
        shownName = "standard input";
#ifdef _WIN32
        _setmode(_fileno(stdin), _O_BINARY); // the bytes as they come, a Ctrl+Z included
#endif
        if (!readBounded(stdin, text)) {
            printError("cannot read standard input");
            return kExitInput;
        }
    } else {
        const std::u16string path = pathArg(source);
        shownName = displayPath(path);
        if (!readBounded(path, text)) {
            printError("cannot read " + shownName);
            return kExitInput;
        }
    }
    const ColumnResult column = parseFrequencyColumn(text);
    if (!column.error.empty()) {
        printError(shownName + ", " + column.error + "; nothing was written");
        return kExitInput;
    }
    if (column.hz.empty()) {
        printError(shownName + " holds no frequency");
        return kExitInput;
    }
    for (double hz : column.hz)
        out.push_back({hz, hertzLabel(hz)});
    return kExitDone;
}

bool wholeMs(const ArgScanner& a, const char* option, std::int64_t low, std::int64_t& value) {
    const std::optional<std::string> text = a.value(option);
    if (!text) return true;
    const std::optional<std::int64_t> v = parseInteger(*text);
    if (!v || *v < low || *v > kMaxLengthMs) {
        printError(std::string(option) + ": \"" + *text + "\" is not a whole number of milliseconds within " +
                   std::to_string(low) + "..10000000");
        return false;
    }
    value = *v;
    return true;
}

bool readToneOptions(const ArgScanner& a, ToneOptions& o) {
    if (const auto w = a.value("--wave")) {
        const std::optional<int> named = waveformByName(*w);
        if (!named || isNoise(*named)) {
            printError("--wave: \"" + *w + "\" is none of sine, square, triangle, sawtooth, impulse" +
                       (named ? " (a noise has no frequency)" : ""));
            return false;
        }
        o.waveform = *named;
    }
    std::int64_t length = o.lengthMs, gap = o.gapMs;
    if (!wholeMs(a, "--length", 1, length) || !wholeMs(a, "--gap", 0, gap)) return false;
    o.lengthMs = static_cast<std::uint32_t>(length);
    o.gapMs = static_cast<std::int32_t>(gap);
    if (const auto text = a.value("--db")) {
        const std::optional<double> d = parseDouble(*text);
        if (!d || *d != std::trunc(*d) || *d < kMinDb || *d > 0) {
            printError("--db: \"" + *text + "\" is not a whole number of dB within -127..0");
            return false;
        }
        o.db = static_cast<int>(*d);
    }
    o.stereo = a.flag("--stereo");
    return true;
}

// One constant tone of fixed length, from the default record as make builds it.
ToneData seriesTone(double hz, const ToneOptions& o) {
    ToneData t = defaultToneData();
    setWaveform(t, o.waveform);
    t.toneCount = 1;
    t.leftStartHz[0] = t.leftEndHz[0] = hz;
    if (o.db) {
        t.relativeAmplitudeDb[0] = static_cast<std::int8_t>(*o.db);
        t.flags |= ToneFlagRelativeAmplitude;
    }
    if (o.stereo) setStereo(t);
    t.lengthMs = o.lengthMs;
    setKind(t, ToneKind::ConstantFixed);
    return t;
}

// The full path with "." steps left out, so that the list's lines read plainly.
fs::path fullPath(const fs::path& p, std::error_code& ec) {
    const fs::path whole = fs::absolute(p, ec);
    fs::path out;
    for (const fs::path& part : whole) {
        if (part != ".") out /= part;
    }
    return out;
}

// What has been written so far, taken back when a later write fails.
struct Written {
    std::vector<std::u16string> files;
    fs::path createdFolder;
    void undo() {
        for (const std::u16string& f : files)
            removeFile(f);
        std::error_code ec;
        if (!createdFolder.empty()) fs::remove(createdFolder, ec); // only if left empty
    }
};

int writeSeries(const std::u16string& out, const std::vector<SeriesTone>& tones, const ToneOptions& o) {
    std::error_code ec;
    const fs::path list = fullPath(toFsPath(out), ec);
    if (ec || !list.has_filename()) {
        printError("series: cannot make a full path of " + displayPath(out));
        return kExitUsage;
    }
    // The folder is the list's name without ".tdl" (which the caller has checked is there).
    const std::u16string listName = fromFsPath(list.filename());
    if (listName.size() <= 4) {
        printError("series: the list's name needs some text before .tdl, to name the folder of tones");
        return kExitUsage;
    }
    const fs::path folder = list.parent_path() / toFsPath(listName.substr(0, listName.size() - 4));

    // Every name first: a row the list cannot hold refuses the whole series.
    const std::size_t digits = std::max<std::size_t>(3, std::to_string(tones.size()).size());
    std::vector<std::u16string> paths, rows;
    for (std::size_t i = 0; i < tones.size(); ++i) {
        std::string number = std::to_string(i + 1);
        number.insert(0, digits - number.size(), '0');
        const std::u16string path =
            fromFsPath(folder / toFsPath(utf8ToUtf16(number + " " + tones[i].label + ".tdf")));
        if (path.size() > kLineUnits || path.find_first_of(u"\r\n") != std::u16string::npos) {
            printError("series: the list cannot name " + displayPath(path) + ": a line holds at most " +
                       std::to_string(kLineUnits) + " characters and no line break; choose a shorter folder");
            return kExitOutput;
        }
        if (i > 0 && o.gapMs > 0) rows.push_back(toneListRow({o.gapMs, u""}));
        rows.push_back(path);
        paths.push_back(path);
    }

    // Nothing is replaced: an existing list, or a folder holding anything, refuses the series.
    if (fs::exists(fs::symlink_status(list, ec))) {
        printError("series: " + displayPath(fromFsPath(list)) + " exists already; nothing was written");
        return kExitOutput;
    }
    Written written;
    const fs::file_status folderStatus = fs::status(folder, ec);
    if (fs::exists(folderStatus)) {
        if (!fs::is_directory(folderStatus) || !fs::is_empty(folder, ec) || ec) {
            printError("series: " + displayPath(fromFsPath(folder)) +
                       " exists and is not an empty folder; nothing was written");
            return kExitOutput;
        }
    } else if (fs::create_directory(folder, ec); ec) {
        printError("series: cannot create the folder " + displayPath(fromFsPath(folder)));
        return kExitOutput;
    } else {
        written.createdFolder = folder;
    }

    for (std::size_t i = 0; i < tones.size(); ++i) {
        if (!saveToneFile(seriesTone(tones[i].hz, o), paths[i])) {
            written.files.push_back(paths[i]); // a partial file goes too
            written.undo();
            printError("series: could not write " + displayPath(paths[i]) + "; nothing was kept");
            return kExitOutput;
        }
        written.files.push_back(paths[i]);
    }
    const std::u16string listPath = fromFsPath(list);
    if (!writeToneList(listPath, rows)) {
        written.files.push_back(listPath);
        written.undo();
        printError("series: could not write " + displayPath(listPath) + "; nothing was kept");
        return kExitOutput;
    }
    return kExitDone;
}

} // namespace

int runSeries(const Args& args) {
    const ArgScanner a(
        args, {"--iso", "--from", "--to", "--notes", "--column", "--length", "--gap", "--db", "--wave"},
        {"--stereo"});
    if (!a.ok()) {
        printError("series: " + a.error());
        return kExitUsage;
    }
    if (a.positional().size() != 1) {
        printError("series: name one output list (OUT.tdl)");
        return kExitUsage;
    }
    const std::u16string out = pathArg(a.positional()[0]);
    if (fileExtension(out) != u".tdl") {
        printError("series: the output list must end in .tdl");
        return kExitUsage;
    }
    const int sources =
        (a.value("--iso") ? 1 : 0) + (a.value("--notes") ? 1 : 0) + (a.value("--column") ? 1 : 0);
    if (sources != 1) {
        printError("series: give one of --iso, --notes or --column");
        return kExitUsage;
    }
    if (!a.value("--iso") && (a.value("--from") || a.value("--to"))) {
        printError("series: --from and --to are the limits of an --iso series");
        return kExitUsage;
    }
    ToneOptions options;
    if (!readToneOptions(a, options)) return kExitUsage;

    std::vector<SeriesTone> tones;
    if (a.value("--iso")) {
        if (!isoSeries(a, tones)) return kExitUsage;
    } else if (const auto notes = a.value("--notes")) {
        if (!noteSeries(*notes, tones)) return kExitUsage;
    } else if (const int code = columnSeries(*a.value("--column"), tones); code != kExitDone) {
        return code;
    }
    if (tones.size() > kMaxSeriesTones) {
        printError("series: " + std::to_string(tones.size()) + " tones, more than " +
                   std::to_string(kMaxSeriesTones) + "; nothing was written");
        return kExitUsage;
    }
    // The program counts a list's length in frames of 32 bits: at 44100 Hz, 13.5 hours.
    const std::int64_t totalMs =
        static_cast<std::int64_t>(tones.size()) * options.lengthMs +
        static_cast<std::int64_t>(tones.empty() ? 0 : tones.size() - 1) * options.gapMs;
    constexpr std::int64_t kMaxTotalMs = INT32_MAX / 44100 * 1000;
    if (totalMs > kMaxTotalMs) {
        printError("series: " + std::to_string(tones.size()) + " tones would last " +
                   std::to_string(totalMs / 1000) + " s, more than the " +
                   std::to_string(kMaxTotalMs / 1000) +
                   " s a list can count at 44100 Hz; nothing was written");
        return kExitUsage;
    }
    return writeSeries(out, tones, options);
}

} // namespace sonimo::cli
