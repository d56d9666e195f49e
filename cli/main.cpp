// sonimo-cli: the engine on the command line. The entry converts the arguments to UTF-8
// (on Windows from the UTF-16 command line) and dispatches on the command name.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"
#include "platform/Text.h"

#ifdef _WIN32
#include <windows.h>

#include "audio/win32/FileReaders.h"
#endif

namespace sonimo::cli {

namespace {

constexpr Command kPortable[] = {
    {"make", runMake,
     "make OUT.tdf [--wave sine|square|triangle|sawtooth|impulse|white|pink|brown|blue|purple|grey]\n"
     "     [--freq F[,F...]] [--end F[,F...]] [--right F[,F...]] [--right-end F[,F...]]\n"
     "     [--stereo] [--db D[,D...]] [--length MS] [--sweep linear|log] [--loop]",
     "writes a tone file, starting from the default tone (one 440 Hz sine, endless).\n"
     "--freq sets the start (or constant) frequencies, one per tone (1 to 16 tones,\n"
     "0..22000 Hz); --end the sweep end frequencies; --right and --right-end those of\n"
     "the right channel (they imply --stereo; --right-end defaults to --right);\n"
     "--stereo alone copies left to right; --db sets whole-dB relative amplitudes\n"
     "(-127..0) per tone; --length makes the tone last MS milliseconds (1..10000000);\n"
     "--sweep (needs --length) sweeps linearly or logarithmically; --loop (needs\n"
     "--length) turns loop playback on."},
    {"render", runRender,
     "render IN.tdf|IN.tdl|IN.wav -o OUT.wav|- [--rate HZ] [--seed N]\n"
     "render TONE-OPTIONS -o OUT.wav|- [--rate HZ] [--seed N]",
     "writes what the program's \"save as WAV\" writes for the tone or list, byte for\n"
     "byte, at --rate HZ (1000..192000, default 44100). Instead of a file, the options\n"
     "of make describe the tone (render --freq 1000 --length 5000 -o tone.wav): the\n"
     "same bytes as make and then render. -o - writes the WAV file to standard output\n"
     "(sonimo-cli render ... -o - | aplay). Noise differs from render to render, as\n"
     "in the program; --seed N (0..4294967295) makes it the same for the same N.\n"
     "Endless or looped tones are refused. A progress bar goes to standard error\n"
     "when it is a terminal; Ctrl+C cancels."},
    {"info", runInfo, "info FILE.tdf|FILE.tdl|FILE.wav [--json]",
     "describes a tone file (its fields and whether it is valid), a tone list (its\n"
     "entries and rendered length) or a WAV file as the reader sees it. For a tone or\n"
     "a list it also gives the peak of the mix before the limiter in dBFS, the crest\n"
     "factor and whether the limiter will act: exact over the tones' common period\n"
     "where that is short, else measured over the first 10 s. --json prints one JSON\n"
     "object, with the mix's predicted peak and crest factor under \"peak\"."},
    {"series", runSeries,
     "series OUT.tdl (--iso 1|1/2|1/3|1/6|1/12|1/24 --from HZ --to HZ | --notes C4..C5 | --column FILE|-)\n"
     "       [--length MS] [--gap MS] [--db D] [--wave sine|square|triangle|sawtooth|impulse] [--stereo]",
     "writes a tone list OUT.tdl and, in the folder OUT next to it, one tone file per\n"
     "frequency (\"001 1000 Hz.tdf\", ...), each a constant tone of --length MS (default\n"
     "1000) with --gap MS of silence between tones (default 0). The frequencies are the\n"
     "preferred ones of acoustics (ISO 266: the R10 series for 1/3 octave, every third of\n"
     "it for octaves, R20 for 1/6 and every third of R20 for 1/2, R40 for 1/12, R80 for\n"
     "1/24; from 0.1 Hz) within --from..--to; the notes of the note table between two\n"
     "names; or a column read from FILE or standard input (-): one number of hertz per\n"
     "line, blank lines and \"#\" comments ignored, at most 10000. The list names its tone\n"
     "files by full path, as the program opens them: move the pair and make it again.\n"
     "An existing list, or a folder that is not empty, is not replaced; a series\n"
     "longer than 48695 s (what a list's length can count at 44100 Hz) is refused."},
    {"analyze", runAnalyze,
     "analyze REC.wav [--channel N] [--window bh7|bh4|flattop|hann] [--average K] [--json]\n"
     "        [--plot SPECTRUM.svg]",
     "measures a recorded steady tone: the fundamental's frequency and level, THD from\n"
     "every harmonic below Nyquist, THD+N, SINAD, the noise and its floor, and the\n"
     "largest spurs; levels in dBFS after AES17 (a full-scale sine reads 0 dBFS).\n"
     "--channel picks the channel (default 1). The window defaults to bh7, the 7-term\n"
     "Blackman-Harris, whose side lobes lie below -160 dB: harmonics far below the tone\n"
     "are not hidden by its leakage, and its frequency is found exactly, so no flat top\n"
     "is needed. --average K cuts a long recording into K blocks whose harmonics are\n"
     "averaged coherently and whose spectra are averaged in power. --plot writes the\n"
     "spectrum as SVG."},
    {"response", runResponse,
     "response REF REC.wav -o IR.wav [--plot RESPONSE.svg] [--csv RESPONSE.csv]\n"
     "         [--smooth 1/3|1/6|1/12|1/24] [--channel N] [--seed N] [--json]",
     "measures what lies between REF, what was played (a tone file or a list, rendered as\n"
     "render renders it at REC's rate, or a WAV file at REC's rate), and REC, what was\n"
     "recorded: the delay, the gain, the impulse response (written to IR.wav as 32-bit\n"
     "float from the recording's start) and its magnitude and phase over log frequency\n"
     "(CSV and SVG, smoothed when asked). A log sweep is deconvolved by its inverse\n"
     "filter, which puts its harmonic distortion before the linear response: each\n"
     "harmonic is cut out and reported. Noise or anything else is divided out with\n"
     "regularisation. A reference of noise needs --seed N as it was rendered with.\n"
     "Refused: a recording shorter than the reference, silent or clipped, a WAV\n"
     "reference at another rate (not converted), an endless or looped tone."},
};

const char* const kExitCodes =
    "Exit codes: 0 done, 1 usage, 2 input refused or unreadable, 3 output could not be written.\n";

// Lines of `text`, the first after `first`, the others after as many spaces, except
// those that begin with `again` (another form of a command), which get `first` too.
std::string indented(const std::string& first, const char* text, const std::string& again = {}) {
    std::string out;
    const std::string t = text, blank(first.size(), ' ');
    bool firstLine = true;
    for (std::size_t at = 0;;) {
        const std::size_t nl = t.find('\n', at);
        const std::string line = t.substr(at, nl == std::string::npos ? std::string::npos : nl - at);
        const bool full = firstLine || (!again.empty() && line.rfind(again + " ", 0) == 0);
        out += (full ? first : blank) + line + "\n";
        firstLine = false;
        if (nl == std::string::npos) return out;
        at = nl + 1;
    }
}

std::string usageText() {
    std::string text = "usage:\n";
    for (std::span<const Command> group : {portableCommands(), platformCommands()}) {
        for (const Command& c : group)
            text += indented("  sonimo-cli ", c.usage, c.name);
    }
    text += "  sonimo-cli --version\n  sonimo-cli COMMAND --help\n\n";
    for (std::span<const Command> group : {portableCommands(), platformCommands()}) {
        for (const Command& c : group) {
            std::string name = c.name;
            name.resize(std::max<std::size_t>(name.size() + 1, 9), ' ');
            text += indented(name, c.details);
        }
    }
    return text + "\n" + kExitCodes;
}

std::string commandHelp(const Command& c) {
    return "usage:\n" + indented("  sonimo-cli ", c.usage, c.name) + "\n" + c.details + "\n\n" + kExitCodes;
}

bool asksForHelp(const Args& rest) {
    for (const std::string& a : rest) {
        if (a == "--help" || a == "-h") return true;
    }
    return false;
}

} // namespace

std::span<const Command> portableCommands() {
    return kPortable;
}

int run(const Args& all) {
    if (all.empty()) {
        std::fputs(usageText().c_str(), stderr);
        return kExitUsage;
    }
    if (all[0] == "--help" || all[0] == "-h" || all[0] == "help") {
        printOut(usageText());
        return kExitDone;
    }
    if (all[0] == "--version" || all[0] == "-V") {
        printOut("sonimo-cli " SONIMO_VERSION "\n");
        return kExitDone;
    }
    const Args rest(all.begin() + 1, all.end());
    std::vector<std::string> names;
    for (std::span<const Command> group : {portableCommands(), platformCommands()}) {
        for (const Command& c : group) {
            if (all[0] != c.name) {
                names.push_back(c.name);
                continue;
            }
            if (asksForHelp(rest)) {
                printOut(commandHelp(c));
                return kExitDone;
            }
            return c.run(rest);
        }
    }
    std::string text = "unknown command \"" + all[0] + "\"";
    if (const std::string guess = closest(all[0], names); !guess.empty())
        text += " (did you mean " + guess + "?)";
    printError(text + "; sonimo-cli --help lists the commands");
    return kExitUsage;
}

} // namespace sonimo::cli

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    // Messages are UTF-8 (Japanese ones included); let the console show them as such.
    SetConsoleOutputCP(CP_UTF8);
    // The WAV files the program reads, read the same way.
    sonimo::installFileReaders();
    sonimo::cli::Args args;
    for (int i = 1; i < argc; ++i) {
        const std::wstring w(argv[i]);
        args.push_back(sonimo::utf16ToUtf8(std::u16string(w.begin(), w.end())));
    }
    return sonimo::cli::run(args);
}
#else
int main(int argc, char** argv) {
    sonimo::cli::Args args(argv + 1, argv + argc);
    return sonimo::cli::run(args);
}
#endif
