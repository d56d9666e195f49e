// The built-in reader of MPEG Layer III data in a WAV file's data chunk, for when the
// system's converter cannot take it. Owns its ByteSource (positioned at the first data
// byte when built) and its decoder; reports the stream's own rate, and the format chunk's
// channel count (the first frame's when the format gives neither 1 nor 2).
//
// The mode may change from frame to frame while the channel count of the WAV stays
// fixed: a single-channel frame in a two-channel stream plays on both channels, and a
// two-channel frame in a one-channel stream is mixed down (the mean of its two channels).
// The second channel of the first two-channel frame after one-channel frames starts from
// silence, as in the standard's reference decoder.
//
// Read writes all the frames asked for (at most kMaxReadFrames): decoded samples, zeros
// past the end and before the start (a negative Seek gives leading silence).
// GetLength is exact for a stream with a Xing or Info frame and the LAME encoder's delay
// and padding (what lame made from N frames reads as N frames); without them it is
// every frame's samples, less the frames at the start whose main data lies before the
// stream (a stream cut from a longer one), which cannot be decoded and are left out.
// Samples are clipped at full scale (kPeak). Seek may go anywhere: the frames before the
// target are decoded again from far enough back that the result equals a read from the
// start.
// Damaged data is skipped: frames are found again by their headers, and a frame that
// cannot be decoded plays as silence.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/ByteSource.h"
#include "audio/Mp3Decoder.h"
#include "audio/WaveFormat.h"
#include "synth/SampleSource.h"

namespace sonimo {

class Mp3FileSource final : public SampleSource {
public:
    // MPEG audio may overshoot full scale; like the reference decoder's 16-bit output, ours
    // is clipped there (a limiter would lower the level of the whole block around it).
    static constexpr std::int32_t kPeak = kNominalFullScale;

    // Takes `bytes` only when it finds MPEG audio frames (StateOk); otherwise the state is
    // StateNoConverter and `bytes` is left as it was. `dataSize` of kUnknownDataSize or
    // more means the data runs to the end of the file. `formatChannels` is the format
    // chunk's channel count (0: the stream's own).
    Mp3FileSource(std::unique_ptr<ByteSource>& bytes, std::uint32_t dataSize, int formatChannels = 0);

    void Read(std::int32_t* buffer, int frames) override;
    int GetPosition() override { return position_; }
    int GetLength() override { return length_; }
    void Seek(int frame) override { position_ = frame; }

    // Decoded samples (full scale 1.0) to ours, rounded to the nearest and clipped at kPeak;
    // with SSE2 four at a time, giving what the portable loop gives.
    static void toSourceSamples(const float* in, std::int32_t* out, int count);
    static void toSourceSamplesPortable(const float* in, std::int32_t* out, int count);

    // What the stream told (for `info` and the tests).
    int frameCount() const { return static_cast<int>(offsets_.size()) - audioFirst_; }
    bool gapless() const { return gapless_; }
    int encoderDelay() const { return delay_; }
    int encoderPadding() const { return padding_; }

private:
    bool scan();
    void readTag();
    int fetch(std::int64_t offset, unsigned char* dst, int count); // bytes copied
    void skipUnreachableStart();
    int frameSize(int index); // bytes of frame `index`, 0 if none
    int mainBytes(int index); // of those, the main data's
    void decodeAudioFrame(int audioFrame, bool keep);
    void matchChannels(int frameChannels);
    void prime(int audioFrame);

    std::unique_ptr<ByteSource> bytes_;
    std::int64_t dataStart_ = 0;
    std::int64_t dataBytes_ = 0;
    std::vector<std::uint32_t> offsets_; // of every frame found, from the data start
    mp3::FrameHeader first_;
    int freeBytes_ = 0; // free format: frame length without padding
    int samplesPerFrame_ = 1152;
    int feedFirst_ = 0;  // the first frame with main data: 1 after a Xing, Info or VBRI frame
    int audioFirst_ = 0; // the first frame played: later when the first cannot be decoded
    bool gapless_ = false;
    int delay_ = 0, padding_ = 0;
    std::int64_t skip_ = 0; // decoded samples before the first output frame
    std::int32_t length_ = 0;
    std::int32_t position_ = 0;

    mp3::Mp3Decoder decoder_;
    std::vector<unsigned char> frame_;  // one frame's bytes
    std::vector<float> pcm_;            // one frame's decoded samples
    int pcmFrame_ = -1;                 // the audio frame in pcm_
    std::vector<unsigned char> window_; // file bytes around the frames being read
    std::int64_t windowStart_ = 0;
    int windowBytes_ = 0;
};

// The reader installed for MPEG Layer III (see setMpegReader); StateNoConverter when the
// data holds no MPEG audio frame.
SourceRef OpenMpegLayer3(std::unique_ptr<ByteSource>& bytes, const WaveFormat& format,
                         std::uint32_t dataSize);

} // namespace sonimo
