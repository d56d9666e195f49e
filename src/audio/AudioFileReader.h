// Open audio file: a WAV file as a SampleSource. Never fails; an unusable file gives a
// NullSource whose state says why (the sequence plays it as silence):
//   StateOk, StateBadFormat (not RIFF/WAVE, malformed chunks, no data chunk, channels
//   or rate out of range), StateCannotOpen, StateNoConverter, StateRefusedFormat.
// 8/16-bit PCM, A-law and µ-law are read directly (WaveFileSource); every other format
// goes to the converting reader installed with setConvertingReader (the Audio
// Compression Manager on Windows; none in the portable build, hence StateNoConverter),
// and MPEG Layer III data that it refuses to the built-in decoder (Mp3FileSource).
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "audio/ByteSource.h"
#include "audio/WaveFormat.h"
#include "synth/SampleSource.h"

namespace sonimo {

enum AudioFileState : std::uint8_t {
    StateCannotOpen = 4,    // the file cannot be opened
    StateNoConverter = 5,   // the format needs a conversion nobody provides
    StateRefusedFormat = 7, // tags 0x22, 0x45 and 0x270, refused without trying
};

SourceRef OpenAudioFile(const std::u16string& path);
// The same on bytes already at hand (tests and fuzzers feed memory this way).
SourceRef OpenAudioStream(std::unique_ptr<ByteSource> bytes);

// A reader for data the direct reader cannot take. It is given the source positioned
// at the first data byte, and takes it over (moves from `bytes`) only when the source
// it returns is StateOk; otherwise `bytes` is left as it was.
using FormatReaderFactory = SourceRef (*)(std::unique_ptr<ByteSource>& bytes, const WaveFormat& format,
                                          std::uint32_t dataSize);
// Installed once at start-up; nullptr removes it. Not thread-safe.
void setConvertingReader(FormatReaderFactory factory);
// The decoder for MPEG Layer III data that the converting reader refuses: the built-in
// Mp3FileSource unless replaced here; nullptr puts the built-in one back.
void setMpegReader(FormatReaderFactory factory);

} // namespace sonimo
