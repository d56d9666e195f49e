// The readers OpenAudioFile has on Windows beyond its own: the Audio Compression
// Manager's converting reader (ADPCM, GSM 6.10 and whatever else the system's codecs
// take). Every process entry (Sonimo.exe and sonimo-cli.exe) installs them through this
// one call, first thing and before any file is opened, so that the program plays and
// saves exactly the WAV files the tool reads. Not thread-safe.
#pragma once

namespace sonimo {

void installFileReaders();

} // namespace sonimo
