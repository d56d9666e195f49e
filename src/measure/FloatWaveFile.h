// Writes one channel of 32-bit IEEE float samples as a WAV file: RIFF, an 18-byte format
// chunk (tag 3), a fact chunk with the frame count, the data. Readers that know only the
// PCM tags refuse it rather than misread it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace sonimo {

// False when the file cannot be written or the data is too large for the size fields.
bool WriteFloatWave(const std::u16string& path, int rate, const std::vector<float>& samples);

} // namespace sonimo
