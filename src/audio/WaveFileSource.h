// Direct reader of uncompressed WAV data: 8-bit and 16-bit PCM, A-law and µ-law; and, when
// no converter takes them, 24- and 32-bit PCM and 32- and 64-bit IEEE float.
// Owns its ByteSource, which is positioned at the first data byte when it is built.
// Read writes all the frames asked for (at most kMaxReadFrames): data first, zeros
// past the end and before the start (a negative Seek gives leading silence).
// GetLength is the frames of the data chunk; a data size of kUnknownDataSize or more
// (a file whose writer is still busy) makes the length follow the file: PCM then
// reports IsGrowing and picks up the real size once the writer has put it in.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/ByteSource.h"
#include "synth/SampleSource.h"

namespace sonimo {

class WaveFileSource final : public SampleSource {
public:
    enum class Encoding : std::uint8_t { Pcm8, Pcm16, ALaw, MuLaw, Pcm24, Pcm32, Float32, Float64 };

    WaveFileSource(std::unique_ptr<ByteSource> bytes, Encoding encoding, int sampleRate, int channels,
                   std::uint32_t dataSize);

    void Read(std::int32_t* buffer, int frames) override;
    int GetPosition() override { return position_; }
    int GetLength() override;
    void Seek(int frame) override;
    bool IsGrowing() override;

    Encoding encoding() const { return encoding_; }

private:
    bool isPcm() const { return encoding_ != Encoding::ALaw && encoding_ != Encoding::MuLaw; }
    int framesInFile() const;                  // what the file holds now
    int decode(std::int32_t* out, int frames); // reads and converts up to `frames`, returns whole frames read
    int decodePiece(std::int32_t* out, int frames); // the same for what one buffer holds

    std::unique_ptr<ByteSource> bytes_;
    Encoding encoding_;
    std::int64_t dataStart_;
    std::int32_t bytesPerFrame_;
    std::int32_t position_ = 0;
    std::int32_t length_;                   // -1 while unknown
    std::vector<unsigned char> fileBuffer_; // file data of one piece, empty until the first read
};

// ITU-T G.711 expansion to 16-bit linear (A-law peak 32256, µ-law peak 32124).
std::int16_t alawToLinear(std::uint8_t code);
std::int16_t mulawToLinear(std::uint8_t code);

// A float sample (1.0 = 16-bit full scale) at the source scale, rounded; NaN gives 0 and
// anything beyond four times full scale is held there.
std::int32_t floatToSample(double x);

} // namespace sonimo
