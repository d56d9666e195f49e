// The fixed numbers of MPEG audio Layer III (ISO/IEC 11172-3 and, for the half and
// quarter sampling rates, ISO/IEC 13818-3), each table with where its numbers come from.
// Only data lives here; Mp3Decoder builds its look-up tables from it once.
#pragma once
#include <cstdint>

namespace sonimo::mp3 {

// A Huffman code of Annex B Table B.7: code words and their lengths for every value,
// listed row by row (x-major: index = x * width + y; for the quadruple code A the index
// is the 4-bit value v w x y).
struct HuffmanCode {
    const std::uint16_t* codes;
    const std::uint8_t* lengths;
    int count;
    int width;
};

// The code of big-values table 0..31, or nullptr for table 0 (all zero) and the unused
// tables 4 and 14.
const HuffmanCode* bigValueCode(int table);
// The escape bits (linbits) of big-values table 0..31.
int bigValueLinbits(int table);
// Quadruple code A of Table B.7 (code B is the 4 bits inverted and needs no table).
const HuffmanCode& quadCodeA();
// Every code that has a table, for the tests that check they are complete prefix codes.
inline constexpr int kHuffmanCodeCount = 16;
const HuffmanCode& huffmanCodeByIndex(int i);

// The first 257 coefficients of the synthesis window D (Table B.3), in units of 2^-16
// (every printed coefficient is such a multiple). The rest follow from
// D[512 - i] = -D[i], except at multiples of 64 where D[512 - i] = D[i].
extern const std::int32_t kSynthesisWindowHalf[257];

// Scale-factor band edges (Table B.8, and Table B.2 of 13818-3 for the lower rates), in
// frequency lines: 22 long bands and 13 short bands (per window).
struct BandEdges {
    std::uint16_t longEdges[23];
    std::uint16_t shortEdges[14];
};
// Index: family * 3 + rate index, family 0 = MPEG-1, 1 = MPEG-2, 2 = MPEG-2.5.
extern const BandEdges kBandEdges[9];
extern const int kSampleRates[9];
// Bit rates in kbit/s by bit-rate index 1..14 (0 = free format); [0] MPEG-1, [1] MPEG-2/2.5.
extern const int kBitratesKbps[2][15];

// Pre-emphasis added to the long-block scale factors when preflag is set (Table B.6).
extern const std::uint8_t kPretab[22];
// Scale-factor bit lengths slen1, slen2 by scalefac_compress (MPEG-1, 2.4.2.7).
extern const std::uint8_t kSlen[2][16];
// Scale factors per partition for MPEG-2 (13818-3, 2.4.3.2, nr_of_sfb_block):
// [row of scalefac_compress][0 long, 1 short, 2 mixed][partition].
extern const std::uint8_t kLsfPartitions[6][3][4];
// The alias-reduction coefficients c[i] (Table B.9).
extern const double kAliasCoefficients[8];

} // namespace sonimo::mp3
