// The commands of sonimo-cli that need the Windows audio output (Windows and Wine only):
//   devices                                   lists the playback devices by the names
//                                             --device (and the "Device" setting) accept
//   play FILE [--device NAME] [--rate HZ] [--seconds N]
//                                             plays a .tdf, .tdl or .wav file until it
//                                             ends, N seconds have passed, or Ctrl+C
// Each takes the arguments after its name, in UTF-8, and returns the tool's exit code
// (0 done, 1 usage, 2 input refused or unreadable, 3 playback could not start).
#pragma once

namespace sonimo::cli {

int runDevicesCommand(int argc, char** argv);
int runPlayCommand(int argc, char** argv);

} // namespace sonimo::cli
