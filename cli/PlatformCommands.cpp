// The commands that need the platform's audio output. They are the Windows build's
// (devices, play); a build without an output back-end offers none.
#include "Commands.h"

#ifdef _WIN32
#include "PlayCommands.h"
#endif

namespace sonimo::cli {

#ifdef _WIN32
namespace {

template <int (*F)(int, char**)> int withArgv(const Args& args) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return F(static_cast<int>(args.size()), argv.data());
}

constexpr Command kPlatform[] = {
    {"devices", withArgv<runDevicesCommand>, "devices",
     "lists the output devices, waveOut and DirectSound, by the names play takes."},
    {"play", withArgv<runPlayCommand>,
     "play FILE.tdf|FILE.tdl|FILE.wav [--device NAME] [--rate HZ] [--seconds N]",
     "plays a tone, a list or a WAV file through a device, as the program does, for\n"
     "its length or N seconds (an endless tone needs --seconds)."},
};

} // namespace

std::span<const Command> platformCommands() {
    return kPlatform;
}
#else
std::span<const Command> platformCommands() {
    return {};
}
#endif

} // namespace sonimo::cli
