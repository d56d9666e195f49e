// MPEG audio Layer III frame decoder (MPEG-1, MPEG-2 and MPEG-2.5; mono, stereo, dual
// channel, joint stereo with mid/side and intensity; CRC; the bit reservoir; long, short
// and mixed blocks). Written from ISO/IEC 11172-3 and 13818-3.
//
// It knows nothing about files: Mp3FileSource finds the frames and hands each one over
// whole. All buffers are sized at construction; decoding allocates nothing. A frame that
// cannot be decoded (bad CRC, main data that reaches back past the reservoir, side
// information that runs past its data) gives silence for its samples and leaves the
// decoder ready for the next one.
#pragma once
#include <cstdint>
#include <vector>

namespace sonimo::mp3 {

inline constexpr int kMaxFrameBytes = 4096;   // free format at its highest rate fits
inline constexpr int kMaxFrameSamples = 1152; // per channel
inline constexpr int kDecoderDelay = 529;     // the synthesis filter bank's lag, in samples

struct FrameHeader {
    int family = 0;    // 0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5
    int rateIndex = 0; // 0..2 within the family
    int sampleRate = 0;
    int bitrateIndex = 0; // 0 = free format
    bool crc = false;     // a 16-bit CRC follows the header
    bool padding = false;
    int mode = 0; // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
    int modeExtension = 0;
    int channels = 0;
    int samplesPerFrame = 0;
    int sideInfoBytes = 0;

    // The frame length in bytes; a free-format frame needs the stream's length without
    // padding, `freeBytes` (0 gives 0).
    int frameBytes(int freeBytes = 0) const;
    // Whether another header belongs to the same stream (layer, family, rate, free format
    // or not). The mode may change from frame to frame.
    bool sameStream(const FrameHeader& o) const {
        return family == o.family && rateIndex == o.rateIndex && (bitrateIndex == 0) == (o.bitrateIndex == 0);
    }
};

// Parses four header bytes; false when they are not a valid Layer III header.
bool parseHeader(const unsigned char* bytes, FrameHeader& header);

// CRC-16 of the MPEG audio frame check (polynomial 0x8005, start 0xFFFF).
std::uint16_t frameCrc(const unsigned char* bytes, int count, std::uint16_t crc = 0xFFFF);

class Mp3Decoder {
public:
    Mp3Decoder();

    // Forgets the reservoir and the filter bank states (before a seek's priming).
    void reset();
    // Decodes one whole frame (header included) into header.samplesPerFrame interleaved
    // frames of the frame's own channel count at `out`, scaled so that full scale is +-1.
    // False when the frame could not be decoded; `out` then holds silence (and what the
    // overlap still carried). When a two-channel frame follows a one-channel one, the
    // second channel starts again from silence.
    bool decodeFrame(const unsigned char* frame, int bytes, float* out);
    // Only keeps the frame's main data in the reservoir (priming before a seek target).
    void feedFrame(const unsigned char* frame, int bytes);

private:
    struct Granule {
        int part23 = 0, bigValues = 0, globalGain = 0, sfCompress = 0;
        bool windowSwitching = false, mixed = false;
        int blockType = 0;
        int tableSelect[3] = {0, 0, 0};
        int subblockGain[3] = {0, 0, 0};
        int region0 = 0, region1 = 0;
        bool preflag = false;
        int sfScale = 0, count1Table = 0;
    };
    struct Channel {
        std::uint8_t sfLong[22];
        std::uint8_t sfShort[13][3];
        std::uint8_t maxLong[22]; // MPEG-2 intensity: the illegal position per band
        std::uint8_t maxShort[13][3];
        int values[576]; // Huffman-decoded quantized lines
        int nonzero = 0; // lines past this are zero
        float xr[576];
        float overlap[32][18];
        // The synthesis filter bank's last 16 vectors, each kept as the two halves of the
        // DCT that its 64 values mirror: x[16..31] and x[16..1] (with x[0] beside them).
        float ringP[16][16];
        float ringQ[16][16];
        float ringQ16[16];
        int slot = 0;
    };

    static void clearHistory(Channel& c);
    bool parseSideInfo(const FrameHeader& h, const unsigned char* side);
    bool appendMainData(const unsigned char* data, int bytes, int mainDataBegin);
    void readScaleFactors(const FrameHeader& h, int gr, int ch);
    bool readSpectrum(const FrameHeader& h, const Granule& g, Channel& c, long long end);
    void requantize(const FrameHeader& h, const Granule& g, Channel& c);
    void stereo(const FrameHeader& h, int gr);
    void reorderAndAlias(const FrameHeader& h, const Granule& g, Channel& c);
    void hybrid(const Granule& g, Channel& c, float (*subbands)[32]);
    void synthesize(Channel& c, float (*subbands)[32], float* out, int stride);

    // bits of the main data
    std::uint32_t bits(int n);
    std::uint32_t peek32() const;
    std::uint64_t peek64() const; // the next 57 bits (at least) at the top

    std::vector<unsigned char> reservoir_;
    int reservoirBytes_ = 0;
    long long bitPos_ = 0;
    long long bitEnd_ = 0;

    int mainDataBegin_ = 0;
    int scfsi_[2][4] = {};
    Granule granules_[2][2];
    bool intensityScale_ = false; // MPEG-2 intensity: the right channel's scale bit
    Channel channels_[2];
    float subbands_[18][32];
    bool granuleOk_[2][2] = {};
    int lastChannels_ = 0; // of the frame decoded last; 0 after a reset
};

} // namespace sonimo::mp3
