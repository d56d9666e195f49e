// What analyze and response share: reading the recording with its refusals printed,
// writing text files, number formatting for reports and CSV.
#pragma once
#include <string>

#include "CliSupport.h"
#include "measure/Recording.h"

namespace sonimo::cli {

// Reads channel `channel` (0-based) of a WAV recording and refuses, with the reason
// printed, what cannot be measured: unreadable, empty, too long, silent, clipped.
// `what` names the file's role in messages ("REC.wav" itself is named too).
int readRecording(const std::string& command, const std::u16string& path, int channel, Signal& out);
// The --channel option: 1-based on the command line; false when refused (printed).
bool readChannelOption(const std::string& command, const ArgScanner& args, int& channel);
// Prints why a signal could not be read; returns kExitInput.
int refuseSignal(const std::u16string& path, SignalResult result, int channel, int channels);

bool writeTextFile(const std::u16string& path, const std::string& text);
// "%.*f" of a value.
std::string fixed(double v, int decimals);

} // namespace sonimo::cli
