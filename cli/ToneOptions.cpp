// The tone options: the default record, changed option by option.
#include "ToneOptions.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace sonimo::cli {

namespace {

constexpr std::int64_t kMaxLengthMs = 10000000; // what the value grid accepts
constexpr int kMinDb = -127;

// A list of frequencies for `option`, each within 0..22000 Hz; `count` is the number
// of values required, or 0 for 1..16 of them.
bool frequencies(const ArgScanner& a, const std::string& option, std::size_t count,
                 std::vector<double>& out) {
    const std::optional<std::string> text = a.value(option);
    if (!text) return true;
    bool ok = false;
    out = parseDoubleList(*text, ok);
    if (!ok) {
        printError(option + ": \"" + *text + "\" is not a comma-separated list of numbers");
        return false;
    }
    if (count == 0 && (out.empty() || out.size() > static_cast<std::size_t>(kMaxTones))) {
        printError(option + ": 1 to 16 frequencies, one per tone");
        return false;
    }
    if (count != 0 && out.size() != count) {
        printError(option + ": " + std::to_string(out.size()) + " values for " + std::to_string(count) +
                   (count == 1 ? " tone" : " tones") + " (give one per tone)");
        return false;
    }
    for (double f : out) {
        if (!(f >= 0.0 && f <= kMaxFrequencyHz)) {
            printError(option + ": " + std::to_string(f) + " Hz is outside 0..22000 Hz");
            return false;
        }
    }
    return true;
}

} // namespace

const std::vector<std::string> kToneValueOptions = {"--wave",      "--freq", "--end",    "--right",
                                                    "--right-end", "--db",   "--length", "--sweep"};
const std::vector<std::string> kToneFlagOptions = {"--stereo", "--loop"};
const char* const kToneOptionsUsage =
    "[--wave sine|square|triangle|sawtooth|impulse|white|pink|brown|blue|purple|grey]\n"
    "[--freq F[,F...]] [--end F[,F...]] [--right F[,F...]] [--right-end F[,F...]]\n"
    "[--stereo] [--db D[,D...]] [--length MS] [--sweep linear|log] [--loop]";

bool anyToneOption(const ArgScanner& args) {
    return std::any_of(kToneValueOptions.begin(), kToneValueOptions.end(),
                       [&](const std::string& o) { return args.value(o).has_value(); }) ||
           std::any_of(kToneFlagOptions.begin(), kToneFlagOptions.end(),
                       [&](const std::string& o) { return args.flag(o); });
}

std::vector<std::string> withToneOptions(std::vector<std::string> base, bool flags) {
    const auto& add = flags ? kToneFlagOptions : kToneValueOptions;
    base.insert(base.end(), add.begin(), add.end());
    return base;
}

std::optional<ToneData> toneFromOptions(const ArgScanner& args) {
    ToneData tone = defaultToneData();
    int waveform = Sine;
    if (const auto w = args.value("--wave")) {
        const std::optional<int> named = waveformByName(*w);
        waveform = named.value_or(-1);
        if (!named) {
            printError("--wave: \"" + *w +
                       "\" is none of sine, square, triangle, sawtooth, impulse, white, pink, brown, blue, "
                       "purple, grey");
            return std::nullopt;
        }
    }
    if (isNoise(waveform)) {
        // A noise has one mono channel and no frequencies: these would be dropped unseen.
        for (const char* o : {"--freq", "--end", "--right", "--right-end", "--db", "--sweep"}) {
            if (args.value(o)) {
                printError(std::string(o) + ": does not apply to noise");
                return std::nullopt;
            }
        }
        if (args.flag("--stereo")) {
            printError("--stereo: noise is always one channel");
            return std::nullopt;
        }
    }

    std::vector<double> freq, end, right, rightEnd;
    if (!frequencies(args, "--freq", 0, freq)) return std::nullopt;
    const std::size_t count = freq.empty() ? 1 : freq.size();
    if (freq.empty()) freq.assign(1, tone.leftStartHz[0]);
    if (!frequencies(args, "--end", count, end) || !frequencies(args, "--right", count, right) ||
        !frequencies(args, "--right-end", count, rightEnd))
        return std::nullopt;

    std::vector<int> db;
    if (const auto text = args.value("--db")) {
        bool ok = false;
        const std::vector<double> values = parseDoubleList(*text, ok);
        if (!ok || values.size() != count) {
            printError("--db: give " + std::to_string(count) + " whole dB value" + (count == 1 ? "" : "s") +
                       ", one per tone, separated by commas");
            return std::nullopt;
        }
        for (double d : values) {
            if (d != std::trunc(d) || d < kMinDb || d > 0) {
                printError("--db: " + std::to_string(d) + " is not a whole number of dB within -127..0");
                return std::nullopt;
            }
            db.push_back(static_cast<int>(d));
        }
    }

    std::optional<std::int64_t> lengthMs;
    if (const auto text = args.value("--length")) {
        lengthMs = parseInteger(*text);
        if (!lengthMs || *lengthMs < 1 || *lengthMs > kMaxLengthMs) {
            printError("--length: \"" + *text +
                       "\" is not a whole number of milliseconds within 1..10000000");
            return std::nullopt;
        }
    }
    const std::optional<std::string> sweep = args.value("--sweep");
    if (sweep && *sweep != "linear" && *sweep != "log") {
        printError("--sweep: \"" + *sweep + "\" is neither linear nor log");
        return std::nullopt;
    }
    if (sweep && !lengthMs) {
        printError("--sweep needs --length: a sweep runs over the tone's length");
        return std::nullopt;
    }
    if (args.flag("--loop") && !lengthMs) {
        printError("--loop needs --length: a looped tone has a fixed length");
        return std::nullopt;
    }

    setWaveform(tone, waveform);
    tone.toneCount = static_cast<std::uint8_t>(count);
    for (std::size_t i = 0; i < count; ++i) {
        tone.leftStartHz[i] = freq[i];
        tone.leftEndHz[i] = end.empty() ? freq[i] : end[i];
        if (!db.empty()) tone.relativeAmplitudeDb[i] = static_cast<std::int8_t>(db[i]);
    }
    if (args.flag("--stereo") || !right.empty() || !rightEnd.empty()) {
        setStereo(tone); // copies left to right; --right and --right-end then replace
        for (std::size_t i = 0; i < count; ++i) {
            if (!right.empty()) tone.rightStartHz[i] = tone.rightEndHz[i] = right[i];
            if (!rightEnd.empty()) tone.rightEndHz[i] = rightEnd[i];
        }
    }
    if (!db.empty()) tone.flags |= ToneFlagRelativeAmplitude;
    if (lengthMs) {
        tone.lengthMs = static_cast<std::uint32_t>(*lengthMs);
        setKind(tone, !sweep            ? ToneKind::ConstantFixed
                      : *sweep == "log" ? ToneKind::LogSweep
                                        : ToneKind::LinearSweep);
    }
    if (args.flag("--loop")) tone.loop = 1;

    return tone;
}

} // namespace sonimo::cli
