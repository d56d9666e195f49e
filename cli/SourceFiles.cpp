#include "SourceFiles.h"

#include "audio/AudioFileReader.h"
#include "audio/ToneListRenderer.h"
#include "audio/ToneRenderer.h"

namespace sonimo::cli {

std::string listTooLargeReason() {
    return "it nests lists deeper than " + std::to_string(kMaxListDepth) + " levels, reads more than " +
           std::to_string(kMaxListEntries) + " lines or builds more than " + std::to_string(kMaxListEntries) +
           " sounds in all (nested lists included), or plays 2147483647 frames or more";
}

OpenedFile openSourceFile(const std::u16string& path, int rate) {
    OpenedFile f;
    f.kind = fileKindOf(path);
    switch (f.kind) {
    case FileKind::Tone:
        f.tone = defaultToneData();
        if (!loadToneFile(f.tone, path)) {
            printError(
                displayPath(path) +
                " is not a valid tone file (1057 bytes, at most 16 tones, frequencies within 0..22000 Hz)");
            f.exitCode = kExitInput;
            break;
        }
        f.source = RenderToneAtPlaybackRate(f.tone, rate);
        break;
    case FileKind::List: {
        ListOutcome outcome;
        f.source = renderToneListFile(path, rate, &outcome);
        if (outcome == ListOutcome::TooLarge) {
            printError(displayPath(path) + " is refused: " + listTooLargeReason());
            f.exitCode = kExitInput;
        }
        break;
    }
    case FileKind::Wave:
        f.source = OpenAudioFile(path);
        break;
    case FileKind::Other:
        printError(displayPath(path) +
                   ": the type is taken from the extension, which must be exactly .tdf, .tdl or .wav");
        f.exitCode = kExitInput;
        break;
    }
    return f;
}

bool readRateOption(const ArgScanner& args, std::int64_t& rate) {
    const auto text = args.value("--rate");
    if (!text) return true;
    const auto r = parseInteger(*text);
    if (!r || *r < kMinRate || *r > kMaxRate) {
        printError("--rate: \"" + *text + "\" is not a whole number of hertz within " +
                   std::to_string(kMinRate) + ".." + std::to_string(kMaxRate));
        return false;
    }
    rate = *r;
    return true;
}

} // namespace sonimo::cli
