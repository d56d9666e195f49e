#include "MeasureSupport.h"

#include <cstdio>

#include "platform/File.h"
#include "tone/ToneList.h"

namespace sonimo::cli {

std::string fixed(double v, int decimals) {
    char b[64];
    std::snprintf(b, sizeof b, "%.*f", decimals, v);
    return b;
}

bool readChannelOption(const std::string& command, const ArgScanner& args, int& channel) {
    channel = 0;
    const auto text = args.value("--channel");
    if (!text) return true;
    const auto v = parseInteger(*text);
    if (!v || *v < 1 || *v > 255) {
        printError(command + ": --channel: \"" + *text + "\" is not a channel number within 1..255");
        return false;
    }
    channel = static_cast<int>(*v - 1);
    return true;
}

int refuseSignal(const std::u16string& path, SignalResult result, int channel, int channels) {
    const std::string name = displayPath(path);
    switch (result.status) {
    case SignalStatus::Ok:
        return kExitDone;
    case SignalStatus::CannotOpen:
        printError("cannot read " + name);
        break;
    case SignalStatus::Undecodable:
        printError(name + ": cannot be decoded (reader state " + std::to_string(result.readerState) + ")");
        break;
    case SignalStatus::NoSuchChannel:
        printError(name + " has " + std::to_string(channels) + " channel" + (channels == 1 ? "" : "s") +
                   ": there is no channel " + std::to_string(channel + 1));
        break;
    case SignalStatus::TooLong:
        printError(name + " is longer than " + std::to_string(kMaxMeasureFrames) +
                   " frames, the most that is measured: cut it first");
        break;
    case SignalStatus::Empty:
        printError(name + " holds no samples");
        break;
    case SignalStatus::RenderFailed:
        printError(name + ": the render did not complete");
        break;
    }
    return kExitInput;
}

int readRecording(const std::string& command, const std::u16string& path, int channel, Signal& out) {
    if (fileKindOf(path) != FileKind::Wave) {
        printError(command + ": the recording " + displayPath(path) + " must be a .wav file");
        return kExitInput;
    }
    const SignalResult r = ReadAudioFile(path, channel, out);
    if (r.status != SignalStatus::Ok) return refuseSignal(path, r, channel, out.channels);
    const SignalCheck c = CheckSignal(out);
    if (c.silent) {
        printError(command + ": " + displayPath(path) + " is silent (channel " + std::to_string(channel + 1) +
                   " never reaches -120 dBFS): nothing to measure");
        return kExitInput;
    }
    if (c.clippedRuns > 0) {
        printError(command + ": " + displayPath(path) + " is clipped: " + std::to_string(c.clippedRuns) +
                   " run" + (c.clippedRuns == 1 ? "" : "s") +
                   " of samples held at full scale, the first at " + fixed(c.firstClipSeconds, 3) +
                   " s; lower the level and record again");
        return kExitInput;
    }
    return kExitDone;
}

bool writeTextFile(const std::u16string& path, const std::string& text) {
    File f;
    if (!f.open(path, File::Mode::CreateExclusive)) return false;
    return f.write(text.data(), static_cast<std::int64_t>(text.size())) ==
           static_cast<std::int64_t>(text.size());
}

} // namespace sonimo::cli
