// Converting reader: WAV data of any format the system's Audio Compression Manager
// can turn into 16-bit PCM of the same rate and channel count (ADPCM, GSM 6.10,
// 24/32-bit PCM, IEEE float, MPEG Layer III, ...). Owns its ByteSource, the ACM stream
// and its buffers. Read writes all the frames asked for (at most kMaxReadFrames):
// converted data, then zeros once the stream stops producing. GetLength estimates the
// total from the bytes left and becomes exact once the end has been reached. A data
// size of kUnknownDataSize or more (a file still being written) makes IsGrowing true.
#pragma once
#include <windows.h>

#include <mmreg.h>
#include <mmsystem.h>
#include <msacm.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "audio/ByteSource.h"
#include "audio/WaveFormat.h"
#include "platform/win32/Owned.h"
#include "synth/SampleSource.h"

namespace sonimo {

namespace traits {
struct AcmStream {
    using Handle = HACMSTREAM;
    static Handle none() noexcept { return nullptr; }
    static void close(Handle h) noexcept { acmStreamClose(h, 0); }
};
} // namespace traits

class AcmFileSource final : public SampleSource {
public:
    // Takes `bytes` (positioned at the first data byte) only when it ends up StateOk;
    // otherwise its state is StateNoConverter and `bytes` is untouched.
    AcmFileSource(std::unique_ptr<ByteSource>& bytes, const WaveFormat& format, std::uint32_t dataSize);
    ~AcmFileSource() override;

    void Read(std::int32_t* buffer, int frames) override;
    int GetPosition() override { return position_; }
    int GetLength() override;
    void Seek(int frame) override;
    bool IsGrowing() override { return dataSize_ < 0; }

private:
    std::int64_t framesOfBytes(std::int64_t bytes) const;
    std::int64_t bytesOfFrames(std::int64_t frames) const;
    std::int64_t dataBytes() const; // the data size, or what the file holds when it is unknown
    void rereadDataSize();
    bool fillAndConvert(); // one conversion step; false once the end is known
    void resetStream();

    std::unique_ptr<ByteSource> bytes_;
    std::int64_t dataSize_; // -1 while unknown
    std::int64_t dataStart_ = 0;
    std::uint32_t consumed_ = 0; // data bytes read from the file
    Owned<traits::AcmStream> stream_;
    ACMSTREAMHEADER header_{}; // prepared on stream_ while prepared_ (unprepared before it closes)
    bool prepared_ = false;
    std::vector<unsigned char> source_; // ACM-chosen size for kMaxReadFrames output frames
    std::uint32_t sourceHave_ = 0;
    std::vector<unsigned char> output_; // kMaxReadFrames frames of 16-bit PCM
    std::uint32_t outputUsed_ = 0;      // handed out from the front of output_
    std::uint32_t leftover_ = 0;        // converted bytes not handed out yet
    std::uint32_t flagsNext_ = ACM_STREAMCONVERTF_START;
    std::int64_t rate_, bytesPerSecond_, blockAlign_;
    std::int64_t framesPerBlock_ = 0; // from the block codecs' own header; 0 = map by bytes per second
    std::int32_t position_ = 0;
    std::int32_t end_ = -1;
    std::vector<std::int32_t> discard_; // Seek reads forward into this
};

// The converting reader as OpenAudioFile takes it (a FormatReaderFactory): an
// AcmFileSource, which takes `bytes` only when the ACM converts the format.
SourceRef OpenAcmFileSource(std::unique_ptr<ByteSource>& bytes, const WaveFormat& format,
                            std::uint32_t dataSize);

} // namespace sonimo
