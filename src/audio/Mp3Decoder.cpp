#include "audio/Mp3Decoder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "audio/Mp3Tables.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sonimo::mp3 {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kReservoirLimit = 511;                                 // main_data_begin reaches this far back
constexpr int kReservoirCapacity = kReservoirLimit + kMaxFrameBytes; // plus one frame's main data
constexpr int kPadding = 64; // zeros past the data: reads that overrun a damaged part land here

// Multi-level look-up tables for the Huffman codes: the first level resolves up to
// kFirstBits bits, longer codes continue in a sub-table.
constexpr int kFirstBits = 8;
struct HuffEntry {
    std::int16_t value;  // symbol, or the sub-table's offset
    std::uint8_t length; // bits of this level the symbol uses; 0 = sub-table
    std::uint8_t subBits;
};
struct HuffTable {
    std::vector<HuffEntry> entries;
    int firstBits = 0;
    int maxLength = 0;
};

struct Code {
    std::uint32_t word;
    int length;
    int symbol;
};

int buildLevel(std::vector<HuffEntry>& out, const std::vector<Code>& codes, int consumed) {
    int width = 0;
    for (const Code& c : codes)
        width = std::max(width, c.length - consumed);
    width = std::min(width, kFirstBits);
    const int base = static_cast<int>(out.size());
    out.resize(base + (std::size_t{1} << width), HuffEntry{0, 0, 0});
    std::vector<std::vector<Code>> buckets(std::size_t{1} << width);
    for (const Code& c : codes) {
        const int rest = c.length - consumed;
        const std::uint32_t tail = c.word & ((1u << rest) - 1);
        if (rest <= width) {
            const int first = static_cast<int>(tail << (width - rest));
            for (int i = 0; i < (1 << (width - rest)); ++i)
                out[base + first + i] =
                    HuffEntry{static_cast<std::int16_t>(c.symbol), static_cast<std::uint8_t>(rest), 0};
        } else {
            buckets[tail >> (rest - width)].push_back(c);
        }
    }
    for (std::size_t p = 0; p < buckets.size(); ++p) {
        if (buckets[p].empty()) continue;
        const int sub = buildLevel(out, buckets[p], consumed + width);
        int subWidth = 0;
        for (const Code& c : buckets[p])
            subWidth = std::max(subWidth, c.length - consumed - width);
        subWidth = std::min(subWidth, kFirstBits);
        out[base + p] = HuffEntry{static_cast<std::int16_t>(sub), 0, static_cast<std::uint8_t>(subWidth)};
    }
    return base;
}

HuffTable buildTable(const HuffmanCode& code) {
    std::vector<Code> codes;
    HuffTable t;
    for (int i = 0; i < code.count; ++i) {
        const int x = i / code.width, y = i % code.width;
        // big values: x in the high nibble, y in the low one; quadruples: the 4-bit value
        const int symbol = code.width == 16 && code.count == 16 ? i : (x << 4) | y;
        codes.push_back(Code{code.codes[i], code.lengths[i], symbol});
        t.maxLength = std::max(t.maxLength, static_cast<int>(code.lengths[i]));
    }
    buildLevel(t.entries, codes, 0);
    t.firstBits = std::min(t.maxLength, kFirstBits);
    return t;
}

// 2^(quarters / 4), exact in the power of two.
float quarterPower(int quarters) {
    static const float kQuarter[4] = {1.0f, 1.18920712f, 1.41421356f, 1.68179283f};
    return std::ldexp(kQuarter[quarters & 3], quarters >> 2);
}
// Requantization gains reach from global_gain 0 less the largest scale factors and
// sub-block gain (-326 quarter steps) to global_gain 255 (+45).
constexpr int kGainOffset = 352;
constexpr int kGainCount = 416;

struct Tables {
    HuffTable big[kHuffmanCodeCount];
    const HuffTable* bySelect[32];
    // sign(q) |q|^(4/3) for q = -8206..8206 (15 plus 13 escape bits), at [q + 8206]
    float pow43[2 * 8206 + 1];
    float gain[kGainCount]; // quarterPower(i - kGainOffset)
    float window[512];      // D, as floats
    // D for the kept halves of V (see synthesize), row m: the first 16 taps for x[16 + j],
    // the next 16 for x[16 - j]; "high" for outputs 32 - j; "middle" for output 16.
    float synthesisLow[8][32];
    float synthesisHigh[8][32];
    float synthesisMiddle[8];
    // The long inverse MDCT as a DCT-IV of 18 by a 9-point FFT (see imdctLong4): the
    // twiddles before and after, the 3 x 3 ones inside, and the 3-point DFT's constant.
    float preCos[9], preSin[9], postCos[9], postSin[9];
    float twiddleCos[3][3], twiddleSin[3][3];
    float root3Half = 0.0f;
    float windowLong[4][36]; // by block type (2 unused)
    float imdctShort[12][6];
    float windowShort[12];
    float cs[8], ca[8];
    float dctCoef[32];         // 1 / (2 cos(pi (2i+1) / 2N)) for N = 32, 16, 8, 4, 2, packed
    float isRatio[7][2];       // MPEG-1 intensity: left and right factors by position
    float lsfIntensity[2][32]; // MPEG-2 intensity: io^k by scale bit

    Tables() {
        for (int i = 0; i < kHuffmanCodeCount; ++i)
            big[i] = buildTable(huffmanCodeByIndex(i));
        for (int s = 0; s < 32; ++s) {
            const HuffmanCode* c = bigValueCode(s);
            bySelect[s] = nullptr;
            for (int i = 0; c && i < kHuffmanCodeCount; ++i)
                if (&huffmanCodeByIndex(i) == c) bySelect[s] = &big[i];
        }
        for (int i = 0; i < kGainCount; ++i)
            gain[i] = quarterPower(i - kGainOffset);
        for (int i = 0; i < 8207; ++i)
            pow43[8206 + i] = static_cast<float>(std::pow(static_cast<double>(i), 4.0 / 3.0));
        for (int i = 1; i < 8207; ++i)
            pow43[8206 - i] = -pow43[8206 + i];
        for (int i = 0; i < 512; ++i) {
            int v;
            if (i <= 256)
                v = kSynthesisWindowHalf[i];
            else if (i % 64 == 0)
                v = kSynthesisWindowHalf[512 - i];
            else
                v = -kSynthesisWindowHalf[512 - i];
            window[i] = static_cast<float>(v / 65536.0);
        }
        for (int m = 0; m < 8; ++m) {
            const float* da = window + 64 * m;
            const float* db = da + 32;
            for (int j = 0; j < 16; ++j) {
                synthesisLow[m][j] = da[j];
                synthesisLow[m][16 + j] = -db[j];
                synthesisHigh[m][j] = j ? -da[32 - j] : 0.0f;
                synthesisHigh[m][16 + j] = j ? -db[32 - j] : 0.0f;
            }
            synthesisMiddle[m] = -db[16];
        }
        for (int n = 0; n < 9; ++n) {
            preCos[n] = static_cast<float>(std::cos(kPi * (n + 0.25) / 18));
            preSin[n] = static_cast<float>(-std::sin(kPi * (n + 0.25) / 18));
            postCos[n] = static_cast<float>(std::cos(kPi * n / 18));
            postSin[n] = static_cast<float>(-std::sin(kPi * n / 18));
        }
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b) {
                twiddleCos[a][b] = static_cast<float>(std::cos(2 * kPi * a * b / 9));
                twiddleSin[a][b] = static_cast<float>(-std::sin(2 * kPi * a * b / 9));
            }
        root3Half = static_cast<float>(std::sqrt(3.0) / 2);
        for (int i = 0; i < 36; ++i) {
            const double sine = std::sin(kPi / 36 * (i + 0.5));
            windowLong[0][i] = static_cast<float>(sine);
            windowLong[2][i] = 0;
            // start block
            windowLong[1][i] = static_cast<float>(i < 18   ? sine
                                                  : i < 24 ? 1.0
                                                  : i < 30 ? std::sin(kPi / 12 * (i - 18 + 0.5))
                                                           : 0.0);
            // stop block
            windowLong[3][i] = static_cast<float>(i < 6    ? 0.0
                                                  : i < 12 ? std::sin(kPi / 12 * (i - 6 + 0.5))
                                                  : i < 18 ? 1.0
                                                           : sine);
        }
        for (int i = 0; i < 12; ++i) {
            windowShort[i] = static_cast<float>(std::sin(kPi / 12 * (i + 0.5)));
            for (int k = 0; k < 6; ++k)
                imdctShort[i][k] = static_cast<float>(std::cos(kPi / 24 * (2 * i + 7) * (2 * k + 1)));
        }
        for (int i = 0; i < 8; ++i) {
            const double c = kAliasCoefficients[i];
            cs[i] = static_cast<float>(1.0 / std::sqrt(1.0 + c * c));
            ca[i] = static_cast<float>(c / std::sqrt(1.0 + c * c));
        }
        int at = 0;
        for (int n = 32; n >= 2; n /= 2)
            for (int i = 0; i < n / 2; ++i)
                dctCoef[at++] = static_cast<float>(1.0 / (2.0 * std::cos(kPi * (2 * i + 1) / (2.0 * n))));
        for (int p = 0; p < 7; ++p) {
            if (p == 6) {
                isRatio[p][0] = 1.0f;
                isRatio[p][1] = 0.0f;
            } else {
                const double t = std::tan(p * kPi / 12);
                isRatio[p][0] = static_cast<float>(t / (1 + t));
                isRatio[p][1] = static_cast<float>(1 / (1 + t));
            }
        }
        for (int s = 0; s < 2; ++s)
            for (int k = 0; k < 32; ++k)
                lsfIntensity[s][k] = static_cast<float>(std::pow(2.0, -(s ? 0.5 : 0.25) * k));
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

// Four floats taken as one: with SSE2 a register, else an array. Each operation is one
// IEEE operation per lane either way, so both give the same bits.
#if defined(__SSE2__)
struct V4 {
    __m128 m;
};
inline V4 load4(const float* p) {
    return {_mm_loadu_ps(p)};
}
inline void store4(float* p, V4 a) {
    _mm_storeu_ps(p, a.m);
}
inline V4 splat(float f) {
    return {_mm_set1_ps(f)};
}
inline V4 operator+(V4 a, V4 b) {
    return {_mm_add_ps(a.m, b.m)};
}
inline V4 operator-(V4 a, V4 b) {
    return {_mm_sub_ps(a.m, b.m)};
}
inline V4 operator*(V4 a, V4 b) {
    return {_mm_mul_ps(a.m, b.m)};
}
inline V4 operator-(V4 a) {
    return {_mm_xor_ps(a.m, _mm_set1_ps(-0.0f))};
}
#else
struct V4 {
    float v[4];
};
inline V4 load4(const float* p) {
    return {{p[0], p[1], p[2], p[3]}};
}
inline void store4(float* p, V4 a) {
    for (int l = 0; l < 4; ++l)
        p[l] = a.v[l];
}
inline V4 splat(float f) {
    return {{f, f, f, f}};
}
#define SONIMO_V4_OP(op)                                                                                     \
    inline V4 operator op(V4 a, V4 b) {                                                                      \
        return {{a.v[0] op b.v[0], a.v[1] op b.v[1], a.v[2] op b.v[2], a.v[3] op b.v[3]}};                   \
    }
SONIMO_V4_OP(+)
SONIMO_V4_OP(-)
SONIMO_V4_OP(*)
#undef SONIMO_V4_OP
inline V4 operator-(V4 a) {
    return {{-a.v[0], -a.v[1], -a.v[2], -a.v[3]}};
}
#endif

// The type-II DCT X[k] = sum x[n] cos(pi (2n+1) k / 2N), by halving (B. G. Lee, 1984), of
// four sequences side by side (x[n] holds element n of each).
template <int N> [[gnu::always_inline]] inline void dct4(V4* x, const float* coef) {
    if constexpr (N == 1) {
        (void)x;
        (void)coef;
    } else {
        constexpr int H = N / 2;
        V4 g[H], h[H];
        for (int i = 0; i < H; ++i) {
            const V4 a = x[i], b = x[N - 1 - i];
            g[i] = a + b;
            h[i] = (a - b) * splat(coef[i]);
        }
        dct4<H>(g, coef + H);
        dct4<H>(h, coef + H);
        for (int k = 0; k < H - 1; ++k) {
            x[2 * k] = g[k];
            x[2 * k + 1] = h[k] + h[k + 1];
        }
        x[N - 2] = g[H - 1];
        x[N - 1] = h[H - 1];
    }
}

struct C4 { // four complex numbers
    V4 re, im;
};
// a * (c + i s)
inline C4 rotate(C4 a, float c, float s) {
    const V4 vc = splat(c), vs = splat(s);
    return {a.re * vc - a.im * vs, a.re * vs + a.im * vc};
}
// The 3-point DFT: X0 = a0 + a1 + a2, X1,2 = a0 - (a1 + a2) / 2 -+ i sqrt(3)/2 (a1 - a2).
inline void dft3(C4 a0, C4 a1, C4 a2, float root3Half, C4* x) {
    const V4 half = splat(0.5f), r = splat(root3Half);
    const V4 tr = a1.re + a2.re, ti = a1.im + a2.im;
    const V4 sr = (a1.re - a2.re) * r, si = (a1.im - a2.im) * r;
    const V4 mr = a0.re - half * tr, mi = a0.im - half * ti;
    x[0] = {a0.re + tr, a0.im + ti};
    x[1] = {mr + si, mi - sr};
    x[2] = {mr - si, mi + sr};
}

// The 18 distinct sums of the long inverse MDCT, out[r] = sum_k x[k] cos(pi/72 (2i + 19)(2k + 1))
// with i = r for r < 9 and r + 9 above, of four subbands side by side (x[k] holds line k
// of each). They are the DCT-IV C[n] = sum_k x[k] cos(pi/72 (2n + 1)(2k + 1)) at
// n = r + 9, and -C at 17 - r; C comes from a 9-point complex FFT (3 x 3) of
// (x[2m] + i x[17 - 2m]) e^(-i pi (m + 1/4)/18), whose output k, times e^(-i pi k/18),
// is C[2k] - i C[17 - 2k].
void imdctLong4(const Tables& t, const V4* x, V4* out) {
    C4 v[9];
    for (int n = 0; n < 9; ++n)
        v[n] = rotate({x[2 * n], x[17 - 2 * n]}, t.preCos[n], t.preSin[n]);
    C4 b[3][3]; // [n2][k1]: the first DFTs, twiddled
    for (int n2 = 0; n2 < 3; ++n2) {
        C4 d[3];
        dft3(v[n2], v[n2 + 3], v[n2 + 6], t.root3Half, d);
        for (int k1 = 0; k1 < 3; ++k1)
            b[n2][k1] = rotate(d[k1], t.twiddleCos[n2][k1], t.twiddleSin[n2][k1]);
    }
    for (int k1 = 0; k1 < 3; ++k1) {
        C4 d[3];
        dft3(b[0][k1], b[1][k1], b[2][k1], t.root3Half, d);
        for (int k2 = 0; k2 < 3; ++k2) {
            const int k = k1 + 3 * k2;
            const C4 u = rotate(d[k2], t.postCos[k], t.postSin[k]);
            const int even = 2 * k, odd = 17 - 2 * k;
            if (even >= 9)
                out[even - 9] = u.re;
            else
                out[17 - even] = -u.re;
            if (odd >= 9)
                out[odd - 9] = -u.im;
            else
                out[17 - odd] = u.im;
        }
    }
}

} // namespace

int FrameHeader::frameBytes(int freeBytes) const {
    const int pad = padding ? 1 : 0;
    if (bitrateIndex == 0) return freeBytes > 0 ? freeBytes + pad : 0;
    const int kbps = kBitratesKbps[family == 0 ? 0 : 1][bitrateIndex];
    return (family == 0 ? 144 : 72) * kbps * 1000 / sampleRate + pad;
}

bool parseHeader(const unsigned char* b, FrameHeader& h) {
    if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0) return false;
    const int version = (b[1] >> 3) & 3;
    if (version == 1 || ((b[1] >> 1) & 3) != 1) return false; // reserved, or not Layer III
    const int bitrate = b[2] >> 4, rate = (b[2] >> 2) & 3;
    if (bitrate == 15 || rate == 3) return false;
    h.family = version == 3 ? 0 : version == 2 ? 1 : 2;
    h.rateIndex = rate;
    h.sampleRate = kSampleRates[h.family * 3 + rate];
    h.bitrateIndex = bitrate;
    h.crc = (b[1] & 1) == 0;
    h.padding = (b[2] >> 1) & 1;
    h.mode = b[3] >> 6;
    h.modeExtension = (b[3] >> 4) & 3;
    h.channels = h.mode == 3 ? 1 : 2;
    h.samplesPerFrame = h.family == 0 ? 1152 : 576;
    h.sideInfoBytes = h.family == 0 ? (h.channels == 1 ? 17 : 32) : (h.channels == 1 ? 9 : 17);
    return true;
}

std::uint16_t frameCrc(const unsigned char* bytes, int count, std::uint16_t crc) {
    for (int i = 0; i < count; ++i) {
        crc ^= static_cast<std::uint16_t>(bytes[i] << 8);
        for (int b = 0; b < 8; ++b)
            crc = static_cast<std::uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x8005 : crc << 1);
    }
    return crc;
}

Mp3Decoder::Mp3Decoder() : reservoir_(kReservoirCapacity + kPadding, 0) {
    tables();
    for (Channel& c : channels_)
        c = Channel{};
    reset();
}

void Mp3Decoder::reset() {
    reservoirBytes_ = 0;
    lastChannels_ = 0;
    for (Channel& c : channels_)
        clearHistory(c);
}

void Mp3Decoder::clearHistory(Channel& c) {
    std::memset(c.overlap, 0, sizeof c.overlap);
    std::memset(c.ringP, 0, sizeof c.ringP);
    std::memset(c.ringQ, 0, sizeof c.ringQ);
    std::memset(c.ringQ16, 0, sizeof c.ringQ16);
    c.slot = 0;
}

std::uint32_t Mp3Decoder::peek32() const {
    const unsigned char* p = reservoir_.data() + (bitPos_ >> 3);
    const std::uint32_t hi =
        (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
    return (hi << (bitPos_ & 7)) | static_cast<std::uint32_t>(p[4] >> (8 - (bitPos_ & 7)));
}

std::uint64_t Mp3Decoder::peek64() const {
    const unsigned char* p = reservoir_.data() + (bitPos_ >> 3);
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v); // one load, then into the stream's big-endian order
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
    return v << (bitPos_ & 7);
}

std::uint32_t Mp3Decoder::bits(int n) {
    if (n == 0) return 0;
    const std::uint32_t v = peek32() >> (32 - n);
    bitPos_ += n;
    return v;
}

bool Mp3Decoder::appendMainData(const unsigned char* data, int bytes, int mainDataBegin) {
    if (reservoirBytes_ > kReservoirLimit) {
        std::memmove(reservoir_.data(), reservoir_.data() + reservoirBytes_ - kReservoirLimit,
                     kReservoirLimit);
        reservoirBytes_ = kReservoirLimit;
    }
    const bool reachable = mainDataBegin <= reservoirBytes_;
    const int start = reservoirBytes_ - mainDataBegin;
    bytes = std::clamp(bytes, 0, kMaxFrameBytes);
    std::memcpy(reservoir_.data() + reservoirBytes_, data, static_cast<std::size_t>(bytes));
    reservoirBytes_ += bytes;
    std::memset(reservoir_.data() + reservoirBytes_, 0, kPadding);
    bitPos_ = static_cast<long long>(std::max(start, 0)) * 8;
    bitEnd_ = static_cast<long long>(reservoirBytes_) * 8;
    return reachable;
}

void Mp3Decoder::feedFrame(const unsigned char* frame, int bytes) {
    FrameHeader h;
    if (bytes < 4 || !parseHeader(frame, h)) return;
    const int sideStart = 4 + (h.crc ? 2 : 0);
    const int mainStart = sideStart + h.sideInfoBytes;
    if (bytes <= mainStart) return;
    appendMainData(frame + mainStart, bytes - mainStart, 0);
}

bool Mp3Decoder::parseSideInfo(const FrameHeader& h, const unsigned char* side) {
    unsigned char copy[32 + kPadding] = {};
    std::memcpy(copy, side, static_cast<std::size_t>(h.sideInfoBytes));
    const unsigned char* p = copy;
    long long pos = 0;
    auto get = [&](int n) -> int {
        int v = 0;
        for (int i = 0; i < n; ++i, ++pos)
            v = (v << 1) | ((p[pos >> 3] >> (7 - (pos & 7))) & 1);
        return v;
    };
    const int nch = h.channels;
    const bool mpeg1 = h.family == 0;
    mainDataBegin_ = get(mpeg1 ? 9 : 8);
    get(mpeg1 ? (nch == 1 ? 5 : 3) : (nch == 1 ? 1 : 2));
    if (mpeg1)
        for (int ch = 0; ch < nch; ++ch)
            for (int b = 0; b < 4; ++b)
                scfsi_[ch][b] = get(1);
    bool ok = true;
    for (int gr = 0; gr < (mpeg1 ? 2 : 1); ++gr)
        for (int ch = 0; ch < nch; ++ch) {
            Granule& g = granules_[gr][ch];
            g.part23 = get(12);
            g.bigValues = get(9);
            g.globalGain = get(8);
            g.sfCompress = get(mpeg1 ? 4 : 9);
            g.windowSwitching = get(1);
            if (g.windowSwitching) {
                g.blockType = get(2);
                g.mixed = get(1);
                for (int i = 0; i < 2; ++i)
                    g.tableSelect[i] = get(5);
                g.tableSelect[2] = 0;
                for (int i = 0; i < 3; ++i)
                    g.subblockGain[i] = get(3);
                if (g.blockType == 0) ok = false; // forbidden with window switching
                g.region0 = g.blockType == 2 && !g.mixed ? 8 : 7;
                g.region1 = 36;
            } else {
                g.blockType = 0;
                g.mixed = false;
                for (int i = 0; i < 3; ++i)
                    g.tableSelect[i] = get(5);
                g.subblockGain[0] = g.subblockGain[1] = g.subblockGain[2] = 0;
                g.region0 = get(4);
                g.region1 = get(3);
            }
            g.preflag = mpeg1 ? get(1) : false;
            g.sfScale = get(1);
            g.count1Table = get(1);
            if (g.bigValues > 288) ok = false;
        }
    return ok;
}

void Mp3Decoder::readScaleFactors(const FrameHeader& h, int gr, int ch) {
    Granule& g = granules_[gr][ch];
    Channel& c = channels_[ch];
    const bool shortBlocks = g.windowSwitching && g.blockType == 2;
    if (h.family == 0) {
        const int slen1 = kSlen[0][g.sfCompress], slen2 = kSlen[1][g.sfCompress];
        if (shortBlocks) {
            int first = 0;
            if (g.mixed) {
                for (int sfb = 0; sfb < 8; ++sfb)
                    c.sfLong[sfb] = static_cast<std::uint8_t>(bits(slen1));
                first = 3;
            }
            for (int sfb = first; sfb < 12; ++sfb)
                for (int w = 0; w < 3; ++w)
                    c.sfShort[sfb][w] = static_cast<std::uint8_t>(bits(sfb < 6 ? slen1 : slen2));
            for (int w = 0; w < 3; ++w)
                c.sfShort[12][w] = 0;
        } else {
            static const int kGroups[5] = {0, 6, 11, 16, 21};
            for (int b = 0; b < 4; ++b) {
                if (gr == 1 && scfsi_[ch][b]) continue; // kept from granule 0
                for (int sfb = kGroups[b]; sfb < kGroups[b + 1]; ++sfb)
                    c.sfLong[sfb] = static_cast<std::uint8_t>(bits(b < 2 ? slen1 : slen2));
            }
            c.sfLong[21] = 0;
        }
        return;
    }
    // MPEG-2: scalefac_compress splits into four bit lengths, by its range and by whether
    // this is the right channel of an intensity-stereo frame.
    int slen[4] = {0, 0, 0, 0};
    int row;
    const bool intensity = ch == 1 && h.mode == 1 && (h.modeExtension & 1);
    int sfc = g.sfCompress;
    g.preflag = false;
    if (!intensity) {
        if (sfc < 400) {
            slen[0] = (sfc >> 4) / 5;
            slen[1] = (sfc >> 4) % 5;
            slen[2] = (sfc & 15) >> 2;
            slen[3] = sfc & 3;
            row = 0;
        } else if (sfc < 500) {
            sfc -= 400;
            slen[0] = (sfc >> 2) / 5;
            slen[1] = (sfc >> 2) % 5;
            slen[2] = sfc & 3;
            row = 1;
        } else {
            sfc -= 500;
            slen[0] = sfc / 3;
            slen[1] = sfc % 3;
            row = 2;
            g.preflag = true;
        }
    } else {
        intensityScale_ = sfc & 1;
        sfc >>= 1;
        if (sfc < 180) {
            slen[0] = sfc / 36;
            slen[1] = (sfc % 36) / 6;
            slen[2] = (sfc % 36) % 6;
            row = 3;
        } else if (sfc < 244) {
            sfc -= 180;
            slen[0] = (sfc % 64) >> 4;
            slen[1] = (sfc % 16) >> 2;
            slen[2] = sfc % 4;
            row = 4;
        } else {
            sfc -= 244;
            slen[0] = sfc / 3;
            slen[1] = sfc % 3;
            row = 5;
        }
    }
    const int column = shortBlocks ? (g.mixed ? 2 : 1) : 0;
    std::uint8_t value[40], maxValue[40];
    int n = 0;
    for (int p = 0; p < 4; ++p)
        for (int k = 0; k < kLsfPartitions[row][column][p] && n < 40; ++k, ++n) {
            value[n] = static_cast<std::uint8_t>(bits(slen[p]));
            maxValue[n] = static_cast<std::uint8_t>((1 << slen[p]) - 1);
        }
    int k = 0;
    if (column == 0) {
        for (int sfb = 0; sfb < 21; ++sfb, ++k) {
            c.sfLong[sfb] = k < n ? value[k] : 0;
            c.maxLong[sfb] = k < n ? maxValue[k] : 0;
        }
        c.sfLong[21] = 0;
        c.maxLong[21] = c.maxLong[20];
    } else {
        int first = 0;
        if (column == 2) {
            for (int sfb = 0; sfb < 6; ++sfb, ++k) {
                c.sfLong[sfb] = k < n ? value[k] : 0;
                c.maxLong[sfb] = k < n ? maxValue[k] : 0;
            }
            first = 3;
        }
        for (int sfb = first; sfb < 12; ++sfb)
            for (int w = 0; w < 3; ++w, ++k) {
                c.sfShort[sfb][w] = k < n ? value[k] : 0;
                c.maxShort[sfb][w] = k < n ? maxValue[k] : 0;
            }
        for (int w = 0; w < 3; ++w) {
            c.sfShort[12][w] = 0;
            c.maxShort[12][w] = c.maxShort[11][w];
        }
    }
}

bool Mp3Decoder::readSpectrum(const FrameHeader& h, const Granule& g, Channel& c, long long end) {
    const Tables& t = tables();
    const BandEdges& bands = kBandEdges[h.family * 3 + h.rateIndex];
    const int bigEnd = std::min(g.bigValues * 2, 576);
    int region1, region2;
    if (g.windowSwitching && g.blockType == 2) {
        region1 = 3 * bands.shortEdges[3];
        region2 = 576;
    } else if (g.windowSwitching) {
        region1 = bands.longEdges[8];
        region2 = 576;
    } else {
        region1 = bands.longEdges[std::min(g.region0 + 1, 22)];
        region2 = bands.longEdges[std::min(g.region0 + g.region1 + 2, 22)];
    }
    region1 = std::min(region1, bigEnd);
    region2 = std::clamp(region2, region1, bigEnd);

    int* v = c.values;
    int i = 0;
    bool ok = true;
    for (int r = 0; r < 3; ++r) {
        const int stop = r == 0 ? region1 : r == 1 ? region2 : bigEnd;
        const int select = g.tableSelect[r];
        const HuffTable* table = t.bySelect[select];
        const int linbits = bigValueLinbits(select);
        if (!table) {
            if (select == 4 || select == 14) ok = false; // not a table
            for (; i < stop; ++i)
                v[i] = 0;
            continue;
        }
        const HuffEntry* e0 = table->entries.data();
        for (; i < stop; i += 2) {
            if (bitPos_ >= end) {
                ok = false;
                for (; i < stop; ++i)
                    v[i] = 0;
                break;
            }
            // One look at the next 57 bits serves the whole pair: a code word of at most
            // 19 bits, then up to 13 escape bits and a sign per value.
            std::uint64_t window = peek64();
            int used = table->firstBits;
            const HuffEntry* e = e0 + (window >> (64 - used));
            int taken = 0;
            while (e->length == 0) {
                taken += used;
                used = e->subBits;
                e = e0 + e->value + ((window << taken) >> (64 - used));
            }
            taken += e->length;
            window <<= taken;
            int x = e->value >> 4, y = e->value & 15;
            auto take = [&](int n) {
                const int got = static_cast<int>(window >> (64 - n));
                window <<= n;
                taken += n;
                return got;
            };
            if (x == 15 && linbits) x += take(linbits);
            if (x && take(1)) x = -x;
            if (y == 15 && linbits) y += take(linbits);
            if (y && take(1)) y = -y;
            bitPos_ += taken;
            v[i] = x;
            v[i + 1] = y;
        }
    }
    // count1: quadruples of -1, 0, 1 until the part's bits run out
    const HuffTable& quad = t.big[kHuffmanCodeCount - 1];
    while (i + 4 <= 576 && bitPos_ < end) {
        std::uint64_t window = peek64(); // a code of at most 6 bits and 4 signs
        int taken, q;
        if (g.count1Table) {
            q = static_cast<int>(window >> 60) ^ 15;
            taken = 4;
        } else {
            const HuffEntry& e = quad.entries[window >> (64 - quad.firstBits)];
            taken = e.length;
            q = e.value;
        }
        window <<= taken;
        int quadValues[4];
        for (int k = 0; k < 4; ++k) {
            if ((q >> (3 - k)) & 1) {
                quadValues[k] = window >> 63 ? -1 : 1;
                window <<= 1;
                ++taken;
            } else {
                quadValues[k] = 0;
            }
        }
        if (bitPos_ + taken > end) break; // the last code ran past the part: it was stuffing
        bitPos_ += taken;
        for (int k = 0; k < 4; ++k)
            v[i + k] = quadValues[k];
        i += 4;
    }
    c.nonzero = i;
    for (; i < 576; ++i)
        v[i] = 0;
    return ok;
}

void Mp3Decoder::requantize(const FrameHeader& h, const Granule& g, Channel& c) {
    const Tables& t = tables();
    const BandEdges& bands = kBandEdges[h.family * 3 + h.rateIndex];
    auto gainOf = [&](int quarters) { // 2^(quarters / 4)
        const int i = quarters + kGainOffset;
        return i >= 0 && i < kGainCount ? t.gain[i] : quarterPower(quarters);
    };
    const int shift = g.sfScale ? 4 : 2; // quarter steps per scale-factor step
    const int base = g.globalGain - 210;
    const int* v = c.values;
    float* xr = c.xr;
    const int limit = c.nonzero;
    auto scaleLines = [&](int from, int to, float gain) {
        const float* p = t.pow43 + 8206;
        for (int i = from; i < to; ++i)
            xr[i] = p[v[i]] * gain;
    };
    std::fill(xr + limit, xr + 576, 0.0f);
    const bool shortBlocks = g.windowSwitching && g.blockType == 2;
    int longBands = 22, shortFirst = 13;
    if (shortBlocks) {
        longBands = 0;
        shortFirst = 0;
        if (g.mixed) {
            longBands = h.family == 0 ? 8 : 6;
            shortFirst = 3;
        }
    }
    for (int sfb = 0; sfb < longBands; ++sfb) {
        const int from = bands.longEdges[sfb];
        if (from >= limit) break;
        const int pre = g.preflag ? kPretab[sfb] : 0;
        const float gain = gainOf(base - shift * (c.sfLong[sfb] + pre));
        scaleLines(from, std::min<int>(bands.longEdges[sfb + 1], limit), gain);
    }
    for (int sfb = shortFirst; sfb < 13; ++sfb) {
        const int width = bands.shortEdges[sfb + 1] - bands.shortEdges[sfb];
        for (int w = 0; w < 3; ++w) {
            const int from = bands.shortEdges[sfb] * 3 + w * width;
            if (from >= limit) break;
            const float gain = gainOf(base - 8 * g.subblockGain[w] - shift * c.sfShort[sfb][w]);
            scaleLines(from, std::min(from + width, limit), gain);
        }
    }
}

void Mp3Decoder::stereo(const FrameHeader& h, int gr) {
    if (h.channels != 2 || h.mode != 1) return;
    const bool ms = h.modeExtension & 2;
    const bool intensity = h.modeExtension & 1;
    if (!ms && !intensity) return;
    const Tables& t = tables();
    Channel& left = channels_[0];
    Channel& right = channels_[1];
    const Granule& g = granules_[gr][1];
    const BandEdges& bands = kBandEdges[h.family * 3 + h.rateIndex];
    float* l = left.xr;
    float* r = right.xr;
    const int lines = std::max(left.nonzero, right.nonzero);
    constexpr float kInvSqrt2 = 0.70710678118654752f;

    auto midSide = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            const float m = l[i], s = r[i];
            l[i] = (m + s) * kInvSqrt2;
            r[i] = (m - s) * kInvSqrt2;
        }
    };
    // Intensity of one band from the left (sum) values; false when the position is the
    // illegal one, which leaves the band to mid/side or plain stereo.
    auto intensityBand = [&](int from, int to, int pos, int maxPos) {
        float kl, kr;
        if (h.family == 0) {
            if (pos >= 7) return false;
            kl = t.isRatio[pos][0];
            kr = t.isRatio[pos][1];
        } else {
            if (pos == maxPos) return false;
            const float* io = t.lsfIntensity[intensityScale_ ? 1 : 0];
            kl = 1.0f;
            kr = 1.0f;
            if (pos & 1)
                kl = io[(pos + 1) >> 1];
            else if (pos)
                kr = io[pos >> 1];
        }
        for (int i = from; i < to; ++i) {
            const float s = l[i];
            l[i] = s * kl;
            r[i] = s * kr;
        }
        return true;
    };
    // The highest band has no scale factor and so no position of its own: it carries on
    // the band below it. At the half rates, when that band is still stereo (the right
    // channel's last line is in it), the highest band is intensity-coded at position 0.
    auto lastBandPosition = [&](bool belowIsStereo, int belowPos, int belowMax, int& pos, int& maxPos) {
        pos = belowPos;
        maxPos = belowMax;
        if (belowIsStereo && h.family != 0) {
            pos = 0;
            maxPos = -1; // never the illegal one
        }
    };
    auto lastNonzero = [&](int from, int to) { // within [from, to), -1 if none
        for (int i = to - 1; i >= from; --i)
            if (r[i] != 0.0f) return i;
        return -1;
    };

    if (!intensity) {
        midSide(0, lines);
        left.nonzero = right.nonzero = lines;
        return;
    }
    const bool shortBlocks = g.windowSwitching && g.blockType == 2;
    if (!shortBlocks) {
        const int last = lastNonzero(0, 576);
        int sfb = 0;
        while (sfb < 22 && bands.longEdges[sfb + 1] <= last)
            ++sfb;
        if (last >= 0) ++sfb; // the band holding the last line stays stereo
        const int first = sfb;
        const int start = bands.longEdges[sfb];
        if (ms) midSide(0, start);
        for (; sfb < 22; ++sfb) {
            const int from = bands.longEdges[sfb], to = bands.longEdges[sfb + 1];
            int pos = right.sfLong[sfb], maxPos = right.maxLong[sfb];
            if (sfb == 21) lastBandPosition(first == 21, right.sfLong[20], right.maxLong[20], pos, maxPos);
            if (!intensityBand(from, to, pos, maxPos) && ms) midSide(from, to);
        }
        left.nonzero = right.nonzero = 576;
        return;
    }
    // short blocks: each window has its own boundary
    const int longBands = g.mixed ? (h.family == 0 ? 8 : 6) : 0;
    const int shortFirst = g.mixed ? 3 : 0;
    bool shortData = false;
    for (int w = 0; w < 3; ++w) {
        int last = -1;
        for (int sfb = shortFirst; sfb < 13; ++sfb) {
            const int width = bands.shortEdges[sfb + 1] - bands.shortEdges[sfb];
            const int from = bands.shortEdges[sfb] * 3 + w * width;
            if (lastNonzero(from, from + width) >= 0) last = sfb;
        }
        if (last >= 0) shortData = true;
        for (int sfb = shortFirst; sfb < 13; ++sfb) {
            const int width = bands.shortEdges[sfb + 1] - bands.shortEdges[sfb];
            const int from = bands.shortEdges[sfb] * 3 + w * width;
            int pos = right.sfShort[sfb][w], maxPos = right.maxShort[sfb][w];
            if (sfb == 12)
                lastBandPosition(last == 11, right.sfShort[11][w], right.maxShort[11][w], pos, maxPos);
            const bool inIntensity = sfb > last;
            if (!(inIntensity && intensityBand(from, from + width, pos, maxPos)) && ms)
                midSide(from, from + width);
        }
    }
    if (longBands > 0) {
        const int longEnd = bands.longEdges[longBands];
        const int last = shortData ? longEnd : lastNonzero(0, longEnd);
        for (int sfb = 0; sfb < longBands; ++sfb) {
            const int from = bands.longEdges[sfb], to = bands.longEdges[sfb + 1];
            const bool inIntensity = !shortData && from > last;
            if (!(inIntensity && intensityBand(from, to, right.sfLong[sfb], right.maxLong[sfb])) && ms)
                midSide(from, to);
        }
    }
    left.nonzero = right.nonzero = 576;
}

void Mp3Decoder::reorderAndAlias(const FrameHeader& h, const Granule& g, Channel& c) {
    const Tables& t = tables();
    float* xr = c.xr;
    const bool shortBlocks = g.windowSwitching && g.blockType == 2;
    if (shortBlocks) {
        // Short windows are coded band by band, window after window; the inverse MDCT
        // wants the three windows of each line side by side.
        const BandEdges& bands = kBandEdges[h.family * 3 + h.rateIndex];
        float tmp[576];
        const int first = g.mixed ? 3 : 0;
        const int start = bands.shortEdges[first] * 3;
        for (int sfb = first; sfb < 13; ++sfb) {
            const int width = bands.shortEdges[sfb + 1] - bands.shortEdges[sfb];
            const int base = bands.shortEdges[sfb] * 3;
            for (int w = 0; w < 3; ++w)
                for (int i = 0; i < width; ++i)
                    tmp[base + i * 3 + w] = xr[base + w * width + i];
        }
        std::memcpy(xr + start, tmp + start, sizeof(float) * static_cast<std::size_t>(576 - start));
        c.nonzero = 576;
        if (!g.mixed) return;
    }
    const int sbLimit = shortBlocks ? 2 : std::min(32, (c.nonzero + 17) / 18 + 1);
    for (int sb = 1; sb < sbLimit; ++sb) {
        float* lo = xr + 18 * sb - 1; // the last line of the lower subband
        float* hi = xr + 18 * sb;
        for (int i = 0; i < 8; ++i) {
            const float a = lo[-i], b = hi[i];
            lo[-i] = a * t.cs[i] - b * t.ca[i];
            hi[i] = b * t.cs[i] + a * t.ca[i];
        }
    }
    c.nonzero = std::min(576, std::max(c.nonzero, 18 * sbLimit));
}

void Mp3Decoder::hybrid(const Granule& g, Channel& c, float (*subbands)[32]) {
    const Tables& t = tables();
    const int active = std::min(32, (c.nonzero + 17) / 18);
    const bool shortBlocks = g.windowSwitching && g.blockType == 2;
    const int longEnd = shortBlocks ? (g.mixed ? std::min(2, active) : 0) : active;
    float halves[32][18]; // of the long-block subbands, four at a time
    for (int sb0 = 0; sb0 < longEnd; sb0 += 4) {
        float x[18][4], h[18][4];
        for (int k = 0; k < 18; ++k)
            for (int l = 0; l < 4; ++l)
                x[k][l] = sb0 + l < longEnd ? c.xr[18 * (sb0 + l) + k] : 0.0f;
        V4 in4[18], out4[18];
        for (int k = 0; k < 18; ++k)
            in4[k] = load4(x[k]);
        imdctLong4(t, in4, out4);
        for (int r = 0; r < 18; ++r)
            store4(h[r], out4[r]);
        for (int l = 0; l < 4 && sb0 + l < longEnd; ++l)
            for (int r = 0; r < 18; ++r)
                halves[sb0 + l][r] = h[r][l];
    }
    for (int sb = 0; sb < 32; ++sb) {
        float* overlap = c.overlap[sb];
        if (sb >= active) {
            for (int i = 0; i < 18; ++i) {
                subbands[i][sb] = overlap[i];
                overlap[i] = 0.0f;
            }
            continue;
        }
        const float* in = c.xr + 18 * sb;
        const bool longBlock = !(g.windowSwitching && g.blockType == 2) || (g.mixed && sb < 2);
        float out[36];
        if (longBlock) {
            const int type = g.windowSwitching && !(g.mixed && sb < 2) ? g.blockType : 0;
            // the 36 outputs have x[17 - i] = -x[i] and x[35 - i] = x[18 + i]
            const float* half = halves[sb];
            for (int i = 0; i < 9; ++i) {
                out[i] = half[i];
                out[17 - i] = -half[i];
                out[18 + i] = half[9 + i];
                out[35 - i] = half[9 + i];
            }
            const float* w = t.windowLong[type];
            for (int i = 0; i < 36; ++i)
                out[i] *= w[i];
        } else {
            std::fill(out, out + 36, 0.0f);
            for (int w = 0; w < 3; ++w)
                for (int i = 0; i < 12; ++i) {
                    float s = 0.0f;
                    for (int k = 0; k < 6; ++k)
                        s += in[3 * k + w] * t.imdctShort[i][k];
                    out[6 + 6 * w + i] += s * t.windowShort[i];
                }
        }
        for (int i = 0; i < 18; ++i) {
            subbands[i][sb] = out[i] + overlap[i];
            overlap[i] = out[18 + i];
        }
    }
    // frequency inversion: odd subbands at odd times change sign
    for (int i = 1; i < 18; i += 2)
        for (int sb = 1; sb < 32; sb += 2)
            subbands[i][sb] = -subbands[i][sb];
}

void Mp3Decoder::synthesize(Channel& c, float (*subbands)[32], float* out, int stride) {
    const Tables& t = tables();
    for (int t0 = 0; t0 < 18; t0 += 4) {
        const int n = std::min(4, 18 - t0);
        float x[32][4];
        for (int k = 0; k < 32; ++k)
            for (int l = 0; l < 4; ++l)
                x[k][l] = l < n ? subbands[t0 + l][k] : 0.0f;
        V4 x4[32];
        for (int k = 0; k < 32; ++k)
            x4[k] = load4(x[k]);
        dct4<32>(x4, t.dctCoef);
        for (int k = 0; k < 32; ++k)
            store4(x[k], x4[k]);
        for (int l = 0; l < n; ++l) {
            // V[i] = sum_k cos((16 + i)(2k + 1) pi / 64) S[k] follows from the DCT by its
            // symmetries: V[0..15] = x[16..31], V[16] = 0, V[17..48] = -x[31..0], V[49..63]
            // = -x[1..15]. Output j and 32 - j take the same values, so only the halves are
            // kept and the signs sit in the window tables.
            c.slot = (c.slot + 15) & 15;
            float* p = c.ringP[c.slot];
            float* q = c.ringQ[c.slot];
            for (int j = 0; j < 16; ++j) {
                p[j] = x[16 + j][l];
                q[j] = x[16 - j][l];
            }
            c.ringQ16[c.slot] = x[0][l];
            float lo[16] = {}, hi[16] = {};
            float mid = 0.0f;
            for (int m = 0; m < 8; ++m) {
                const float* a = c.ringP[(c.slot + 2 * m) & 15];
                const float* b = c.ringQ[(c.slot + 2 * m + 1) & 15];
                const float* wl = t.synthesisLow[m];
                const float* wh = t.synthesisHigh[m];
                for (int j = 0; j < 16; ++j) {
                    lo[j] += a[j] * wl[j] + b[j] * wl[16 + j];
                    hi[j] += a[j] * wh[j] + b[j] * wh[16 + j];
                }
                mid += c.ringQ16[(c.slot + 2 * m + 1) & 15] * t.synthesisMiddle[m];
            }
            float* o = out + (t0 + l) * 32 * stride;
            for (int j = 0; j < 16; ++j)
                o[j * stride] = lo[j];
            o[16 * stride] = mid;
            for (int j = 1; j < 16; ++j)
                o[(32 - j) * stride] = hi[j];
        }
    }
}

bool Mp3Decoder::decodeFrame(const unsigned char* frame, int bytes, float* out) {
    FrameHeader h;
    if (bytes < 4 || !parseHeader(frame, h)) return false;
    const int nch = h.channels;
    const int granules = h.family == 0 ? 2 : 1;
    const int sideStart = 4 + (h.crc ? 2 : 0);
    const int mainStart = sideStart + h.sideInfoBytes;
    bool ok = bytes > mainStart && bytes <= kMaxFrameBytes;
    if (ok && h.crc) {
        std::uint16_t crc = frameCrc(frame + 2, 2);
        crc = frameCrc(frame + sideStart, h.sideInfoBytes, crc);
        ok = crc == ((frame[4] << 8) | frame[5]);
    }
    if (ok) ok = parseSideInfo(h, frame + sideStart);
    if (bytes > mainStart) {
        const bool reachable = appendMainData(frame + mainStart, std::min(bytes, kMaxFrameBytes) - mainStart,
                                              ok ? mainDataBegin_ : 0);
        ok = ok && reachable;
    }

    // What the second channel last held belongs to an earlier stretch of the stream.
    if (nch == 2 && lastChannels_ == 1) clearHistory(channels_[1]);
    lastChannels_ = nch;

    for (int gr = 0; gr < granules; ++gr) {
        for (int ch = 0; ch < nch; ++ch) {
            Channel& c = channels_[ch];
            const Granule& g = granules_[gr][ch];
            bool good = ok;
            if (good) {
                const long long start = bitPos_;
                const long long end = start + g.part23;
                if (end > bitEnd_) good = false;
                if (good) {
                    readScaleFactors(h, gr, ch);
                    good = bitPos_ <= end && readSpectrum(h, g, c, end);
                }
                bitPos_ = std::min(end, bitEnd_);
            }
            if (!good) {
                std::fill(c.values, c.values + 576, 0);
                c.nonzero = 0;
            }
            granuleOk_[gr][ch] = good;
            requantize(h, g, c);
        }
        stereo(h, gr);
        for (int ch = 0; ch < nch; ++ch) {
            Channel& c = channels_[ch];
            const Granule& g = granules_[gr][ch];
            reorderAndAlias(h, g, c);
            hybrid(g, c, subbands_);
            synthesize(c, subbands_, out + gr * 576 * nch + ch, nch);
        }
    }
    for (int gr = 0; gr < granules; ++gr)
        for (int ch = 0; ch < nch; ++ch)
            ok = ok && granuleOk_[gr][ch];
    return ok;
}

} // namespace sonimo::mp3
