#ifdef _WIN32
#include "PlayCommands.h"

#include <windows.h>

#include <atomic>
#include <csignal>

#include "CliSupport.h"
#include "SourceFiles.h"
#include "audio/AudioFileReader.h"
#include "audio/ToneListRenderer.h"
#include "audio/ToneRenderer.h"
#include "audio/playback/LSoundPlayer.h"
#include "audio/playback/OutputDevice.h"
#include "platform/MemorySettingsStore.h"
#include "platform/Text.h"
#include "tone/ToneData.h"
#include "tone/ToneList.h"

namespace sonimo::cli {

namespace {

constexpr char16_t kCannotPlay[] =
    u"再生を開始できません。\r\n\r\nサウンドカードが他のプログラムで使われているか、正しい再生設定の正しい音"
    u"声再生デバイスが選択されていないことが原因と思われます。";

std::atomic<bool> gInterrupted{false};
extern "C" void onPlayInterrupt(int) {
    gInterrupted = true;
}

Args argsOf(int argc, char** argv) {
    Args a;
    for (int i = 0; i < argc; ++i)
        a.emplace_back(argv[i]);
    return a;
}

class EndListener final : public PlayerListener {
public:
    bool ended = false;
    void stopped(int) override { ended = true; }
};

} // namespace

int runDevicesCommand(int argc, char** argv) {
    const Args args = argsOf(argc, argv);
    if (!args.empty()) {
        printError("devices: takes no arguments");
        return kExitUsage;
    }
    // The options dialog's list, in its order; "*" marks what the stored selection resolves to.
    DeviceCatalogue catalogue;
    std::vector<std::u16string> names = catalogue.WaveOutList();
    const std::vector<std::u16string> ds = catalogue.DirectSoundList();
    names.insert(names.end(), ds.begin(), ds.end());
    // The tool keeps no settings of its own: an empty store gives the default device.
    MemorySettingsStore noSettings;
    const OutputDevice selected = catalogue.LoadSelection(noSettings);
    const int firstDirectSound = static_cast<int>(names.size() - ds.size());
    for (int i = 0; i < static_cast<int>(names.size()); ++i) {
        std::string line = i == selected.catalogueIndex ? "* " : "  ";
        line += utf16ToUtf8(names[i]);
        if (i >= firstDirectSound) {
            const OutputDevice d =
                catalogue.FindDevice(DeviceCatalogue::StripPrefix(names[i]), OutputDirectSound);
            if (hasOwnGuid(d)) line += "\t(changes tones live)";
        }
        printOut(line + "\n");
    }
    return kExitDone;
}

int runPlayCommand(int argc, char** argv) {
    const ArgScanner a(argsOf(argc, argv), {"--device", "--rate", "--seconds"}, {});
    if (!a.ok()) {
        printError("play: " + a.error());
        return kExitUsage;
    }
    if (a.positional().size() != 1) {
        printError("play: usage: play FILE [--device NAME] [--rate HZ] [--seconds N]");
        return kExitUsage;
    }
    std::int64_t rate = kDefaultRate;
    if (!readRateOption(a, rate)) return kExitUsage;
    double seconds = -1;
    if (const auto text = a.value("--seconds")) {
        const auto s = parseDouble(*text);
        if (!s || *s < 0 || *s > 86400) {
            printError("--seconds: \"" + *text + "\" is not a number of seconds within 0..86400");
            return kExitUsage;
        }
        seconds = *s;
    }

    DeviceCatalogue catalogue;
    const std::u16string wanted = a.value("--device") ? utf8ToUtf16(*a.value("--device")) : std::u16string();
    const OutputDevice device = catalogue.Resolve(wanted);
    if (!wanted.empty() && device.displayName.empty()) {
        printError("play: no playback device is named \"" + *a.value("--device") +
                   "\" (see sonimo-cli devices)");
        return kExitUsage;
    }

    const std::u16string path = pathArg(a.positional()[0]);
    const OpenedFile opened = openSourceFile(path, static_cast<int>(rate));
    if (opened.exitCode != kExitDone) return opened.exitCode;
    const SourceRef& source = opened.source;
    if (source->state != StateOk) {
        printError(displayPath(path) + ": nothing that can be played");
        return kExitInput;
    }

    EndListener listener;
    LSoundPlayer player;
    player.SetListener(&listener, 0);
    player.SelectDevice(device);
    if (!player.Start(source)) {
        printMessage(kCannotPlay);
        return kExitOutput;
    }
    gInterrupted = false;
    void (*previous)(int) = std::signal(SIGINT, onPlayInterrupt);
    const ULONGLONG until = seconds < 0 ? 0 : GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000.0);
    MSG m;
    // The player reports through its window: this thread pumps until it has ended.
    while (!listener.ended && !gInterrupted && (until == 0 || GetTickCount64() < until)) {
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&m);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    player.Stop();
    std::signal(SIGINT, previous == SIG_ERR ? SIG_DFL : previous);
    return kExitDone;
}

} // namespace sonimo::cli
#endif
