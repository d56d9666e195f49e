// Writes a 16-bit PCM RIFF/WAVE file: a 46-byte header (an 18-byte format chunk, no
// other chunk), then interleaved little-endian samples, each source sample x becoming
// ToPcm16 (audio/Pcm16.h), the conversion playback uses too.
//
// While the writer lives the header carries the placeholder sizes 0xFFFFFFFF (RIFF) and
// 0xFFFFFFD9 (data), which a reader takes as "data up to the end of the file"; the last
// release writes the real sizes. The file is opened (or created) at construction and cut
// down to the header, so nothing of an earlier file survives. Whatever stops a render
// (cancel, a short write, the size limit), the finished file describes exactly the whole
// frames it holds.
//
// The 32-bit size fields describe at most kMaxDataBytes of data: a Write that would pass
// it keeps the whole frames that fit and sets kSinkError. Owns its file and its
// conversion buffer. User-interface thread (or whichever one thread renders).
#pragma once
#include <string>
#include <vector>

#include "audio/Pcm16.h"
#include "audio/SampleSink.h"
#include "platform/File.h"

namespace sonimo {

class WaveFileWriter final : public SampleSink {
public:
    static constexpr int kHeaderBytes = 46;
    static constexpr std::uint32_t kPlaceholderDataBytes = 0xFFFFFFD9u; // RIFF size reads 0xFFFFFFFF
    static constexpr std::uint32_t kMaxDataBytes = 0xFFFFFFFFu - 38;    // RIFF size = data + 38
    static constexpr int kBlockFrames = 8192;                           // frames converted at a time

    // Failures (the file cannot be opened, its header cannot be written, a channel count
    // of 0) show only in kSinkError. `maxDataBytes` lowers the size limit, for tests.
    WaveFileWriter(const std::u16string& path, std::int32_t sampleRate, int channels,
                   std::uint32_t maxDataBytes = kMaxDataBytes);
    ~WaveFileWriter() override;

    // Any count is accepted (converted 8192 frames at a time).
    std::int32_t Write(const std::int32_t* frames, int count) override;
    void Truncate(std::int32_t frames) override;

    std::int32_t bytesPerSample = 2;
    std::int32_t bytesPerFrame;

    // The 46 header bytes for `dataBytes` of data (RIFF size = dataBytes + 38, wrapping
    // as the 32-bit field does: the placeholder gives 0xFFFFFFFF).
    static void BuildHeader(unsigned char* out, std::int32_t sampleRate, int channels,
                            std::uint32_t dataBytes);
    // How many of `count` frames still fit after `written` frames under `maxDataBytes`.
    static std::int32_t FramesThatFit(std::int64_t written, std::int64_t count, int bytesPerFrame,
                                      std::uint32_t maxDataBytes = kMaxDataBytes);

private:
    std::uint32_t dataBytes() const { return static_cast<std::uint32_t>(framesWritten) * bytesPerFrame; }

    File file_;
    std::vector<unsigned char> conversion_; // channels * 8192 samples of 2 bytes
    std::uint32_t maxDataBytes_;
};

// The writer as the render and file commands use it.
SinkRef CreateWaveFileWriter(const std::u16string& path, std::int32_t sampleRate, int channels);

} // namespace sonimo
