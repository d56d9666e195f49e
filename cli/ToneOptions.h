// The options that describe a tone directly (those of make), shared by make and render:
// the record they give is the default tone changed as they say.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "CliSupport.h"
#include "tone/ToneData.h"

namespace sonimo::cli {

extern const std::vector<std::string> kToneValueOptions; // --wave, --freq, ...
extern const std::vector<std::string> kToneFlagOptions;  // --stereo, --loop
extern const char* const kToneOptionsUsage;              // their usage lines

// Whether any of them was given.
bool anyToneOption(const ArgScanner& args);
// The tone they describe; nothing when they are refused (the reason is printed).
std::optional<ToneData> toneFromOptions(const ArgScanner& args);

// The options of `base` followed by those of the tone.
std::vector<std::string> withToneOptions(std::vector<std::string> base, bool flags);

} // namespace sonimo::cli
