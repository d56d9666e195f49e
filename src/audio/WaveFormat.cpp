#include "audio/WaveFormat.h"

#include <cstring>

namespace sonimo {

namespace {

std::uint16_t le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void put16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

bool readExactly(ByteSource& b, void* to, std::int64_t n) { return b.read(to, n) == n; }

// Skips a chunk body of `size` bytes and its pad byte.
bool skip(ByteSource& b, std::int64_t size) {
    const std::int64_t here = b.tell();
    return here >= 0 && b.seek(here + size + (size & 1));
}

// The KSDATAFORMAT_SUBTYPE_* identifiers share everything but their first word.
constexpr unsigned char kSubFormatTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                              0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

} // namespace

WaveLayout parseWave(ByteSource& b) {
    WaveLayout out;
    unsigned char head[12];
    if (!readExactly(b, head, 12)) return out;
    // Other chunk-structured headers in front of the RIFF form are stepped over.
    while (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) {
        const std::int64_t s = (static_cast<std::int64_t>(le32(head + 4)) + 1) & ~std::int64_t{1};
        if (s == 4 || s < 3) return out;
        const std::int64_t here = b.tell();
        if (here < 0 || !b.seek(here + s - 4) || !readExactly(b, head, 12)) return out;
    }

    unsigned char chunk[8];
    for (;;) {
        if (!readExactly(b, chunk, 8)) return out;
        if (std::memcmp(chunk, "fmt ", 4) == 0) break;
        if (!skip(b, le32(chunk + 4))) return out;
    }
    const std::uint32_t fmtSize = le32(chunk + 4);
    if (fmtSize < 16 || fmtSize > 8192) return out;
    std::vector<unsigned char> fmt(fmtSize);
    if (!readExactly(b, fmt.data(), fmtSize)) return out;
    if ((fmtSize & 1) && !b.seek(b.tell() + 1)) return out; // the pad byte after an odd format chunk

    WaveFormat& f = out.format;
    f.tag = le16(&fmt[0]);
    f.channels = le16(&fmt[2]);
    f.sampleRate = le32(&fmt[4]);
    f.bytesPerSecond = le32(&fmt[8]);
    f.blockAlign = le16(&fmt[12]);
    f.bitsPerSample = le16(&fmt[14]);
    f.extraSize = fmtSize >= 18 ? le16(&fmt[16]) : 0;
    if (f.tag == kWaveTagExtensible && f.extraSize >= 22) {
        // The sub-format identifier sits at offset 24..39; a chunk that claims it but
        // stops short is malformed rather than read past its end.
        if (fmtSize < 40) return out;
        if (std::memcmp(&fmt[28], kSubFormatTail, 12) == 0 && fmt[25] == 0 && fmt[26] == 0 && fmt[27] == 0) {
            switch (fmt[24]) {
            case 1: f.tag = kWaveTagPcm; break;
            case 2: f.tag = kWaveTagAdpcm; break;
            case 3: f.tag = kWaveTagFloat; break;
            case 6: f.tag = kWaveTagALaw; break;
            case 7: f.tag = kWaveTagMuLaw; break;
            default: break;
            }
        }
        if (f.tag != kWaveTagExtensible) f.extraSize = 0;
    }
    // Never more extra bytes than the chunk carried.
    if (fmtSize < 18u + f.extraSize) f.extraSize = static_cast<std::uint16_t>(fmtSize >= 18 ? fmtSize - 18 : 0);
    f.image.assign(18 + f.extraSize, 0);
    std::memcpy(f.image.data(), fmt.data(), 16);
    if (f.extraSize) std::memcpy(f.image.data() + 18, fmt.data() + 18, f.extraSize);
    put16(&f.image[0], f.tag);
    put16(&f.image[16], f.extraSize);

    for (;;) {
        if (!readExactly(b, chunk, 8)) return out;
        if (std::memcmp(chunk, "data", 4) == 0) break;
        if (!skip(b, le32(chunk + 4))) return out;
    }
    if (f.channels < 1 || f.channels > 255 || f.sampleRate < 1 || f.sampleRate > kMaxWaveRate) return out;
    out.dataSize = le32(chunk + 4);
    out.dataStart = b.tell();
    if (out.dataStart < 0) return out;
    out.result = WaveParse::Ok;
    return out;
}

} // namespace sonimo
