// Opening the files the commands play and render, as the program opens them: the kind is
// taken from the exact extension, a tone file becomes its graph at the given rate, a list
// its sequence, a WAV file the audio file reader's source. Refusals are printed here.
#pragma once
#include <string>

#include "CliSupport.h"
#include "synth/SampleSource.h"
#include "tone/ToneData.h"
#include "tone/ToneList.h"

namespace sonimo::cli {

struct OpenedFile {
    FileKind kind = FileKind::Other;
    SourceRef source;
    ToneData tone{};          // the loaded record, for a tone file
    int exitCode = kExitDone; // anything else: refused, with the reason printed
};

OpenedFile openSourceFile(const std::u16string& path, int rate);
// Why a list beyond the renderer's bounds is refused.
std::string listTooLargeReason();

// The sample rates --rate takes, and the option read with them (false: refused, printed).
inline constexpr std::int64_t kMinRate = 1000, kMaxRate = 192000, kDefaultRate = 44100;
bool readRateOption(const ArgScanner& args, std::int64_t& rate);

} // namespace sonimo::cli
