// The commands of sonimo-cli. Each takes the arguments after its name and returns an
// exit code; none of them writes anything when it refuses.
#pragma once
#include <span>

#include "CliSupport.h"

namespace sonimo::cli {

struct Command {
    const char* name;
    int (*run)(const Args& args);
    const char* usage;   // one or more lines, each starting with the command name
    const char* details; // what it does, lines of at most 80 columns
};

int runMake(const Args& args);
int runRender(const Args& args);
int runInfo(const Args& args);
int runSeries(const Args& args);
int runAnalyze(const Args& args);
int runResponse(const Args& args);

// make, render, info, series, analyze and response: every build.
std::span<const Command> portableCommands();
// The commands that need the platform's audio output (devices, play): the Windows build's.
std::span<const Command> platformCommands();

} // namespace sonimo::cli
