// Crafted RIFF/WAVE images for the reader tests: chunks built byte by byte so that a
// test can break exactly the field it is about.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "audio/WaveFormat.h"

namespace sonimo::wavetest {

using Bytes = std::vector<unsigned char>;

inline void put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<unsigned char>(v));
    b.push_back(static_cast<unsigned char>(v >> 8));
}
inline void put32(Bytes& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
inline void putId(Bytes& b, const char* id) {
    // byte by byte: GCC 12 at -O3 takes a range insert into an empty vector for an overflow
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<unsigned char>(id[i]));
}
inline void append(Bytes& to, const Bytes& from) {
    to.insert(to.end(), from.begin(), from.end());
}

// A chunk: id, size (the body's, unless given), body, and the pad byte after an odd body.
inline Bytes chunk(const char* id, const Bytes& body, std::int64_t sizeField = -1, bool pad = true) {
    Bytes b;
    putId(b, id);
    put32(b, sizeField < 0 ? static_cast<std::uint32_t>(body.size()) : static_cast<std::uint32_t>(sizeField));
    append(b, body);
    if (pad && (body.size() & 1)) b.push_back(0);
    return b;
}

// A format body: 16 bytes, then the extra-size word and `extra` when `withExtraSize`.
inline Bytes fmtBody(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                     bool withExtraSize = true, const Bytes& extra = {}, std::uint16_t blockAlign = 0,
                     std::uint32_t bytesPerSecond = 0) {
    Bytes b;
    const std::uint16_t align =
        blockAlign ? blockAlign : static_cast<std::uint16_t>(channels * ((bits + 7) / 8));
    put16(b, tag);
    put16(b, channels);
    put32(b, rate);
    put32(b, bytesPerSecond ? bytesPerSecond : rate * align);
    put16(b, align);
    put16(b, bits);
    if (withExtraSize) {
        put16(b, static_cast<std::uint16_t>(extra.size()));
        append(b, extra);
    }
    return b;
}

// WAVEFORMATEXTENSIBLE extra bytes: valid bits, channel mask, sub-format
// {xxxxxxxx-0000-0010-8000-00AA00389B71}.
inline Bytes extensibleExtra(std::uint16_t validBits, std::uint32_t mask, std::uint32_t subFormat) {
    Bytes b;
    put16(b, validBits);
    put32(b, mask);
    put32(b, subFormat);
    for (unsigned char c : {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71})
        b.push_back(c);
    return b;
}

inline Bytes riff(std::initializer_list<Bytes> chunks, std::int64_t sizeField = -1) {
    Bytes body;
    putId(body, "WAVE");
    for (const Bytes& c : chunks)
        append(body, c);
    Bytes b;
    putId(b, "RIFF");
    put32(b, sizeField < 0 ? static_cast<std::uint32_t>(body.size()) : static_cast<std::uint32_t>(sizeField));
    append(b, body);
    return b;
}

inline Bytes samples16(std::initializer_list<int> values) {
    Bytes b;
    for (int v : values)
        put16(b, static_cast<std::uint16_t>(static_cast<std::int16_t>(v)));
    return b;
}

// A plain 16-bit PCM file holding `data`.
inline Bytes pcm16(std::uint16_t channels, std::uint32_t rate, const Bytes& data) {
    return riff({chunk("fmt ", fmtBody(1, channels, rate, 16)), chunk("data", data)});
}

// MPEG Layer III data in a WAV file (format 0x55), as a converter-less reader is handed it.
inline Bytes mpegWave(const Bytes& mp3, int rate, int channels) {
    Bytes extra;
    put16(extra, 1);    // ID_MPEG
    put32(extra, 2);    // no padding flags
    put16(extra, 418);  // block size
    put16(extra, 1);    // frames per block
    put16(extra, 1393); // codec delay
    return riff({chunk("fmt ", fmtBody(kWaveTagMpegLayer3, static_cast<std::uint16_t>(channels),
                                       static_cast<std::uint32_t>(rate), 0, true, extra, 1, 16000)),
                 chunk("data", mp3)});
}

} // namespace sonimo::wavetest
