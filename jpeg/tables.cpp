// The coding tables: the example quantisation tables of ITU-T T.81 Annex K
// scaled by the quality as libjpeg scales them (quality 50 gives them as
// printed), the typical Huffman tables of Annex K, the zig-zag order, the DCT
// cosine products and normalisation factors. Every save builds them afresh;
// nothing depends on the picture.
#include <algorithm>
#include <array>
#include <cmath>

#include "jpeg/internal/encoder.h"

namespace jpeg {
namespace {

// T.81 Table K.1 (luminance) and K.2 (chrominance), natural order: the
// tables at quality 50.
constexpr std::int32_t kQuant[2][64] = {
    {16, 11, 10, 16, 24,  40,  51,  61,   //
     12, 12, 14, 19, 26,  58,  60,  55,   //
     14, 13, 16, 24, 40,  57,  69,  56,   //
     14, 17, 22, 29, 51,  87,  80,  62,   //
     18, 22, 37, 56, 68,  109, 103, 77,   //
     24, 35, 55, 64, 81,  104, 113, 92,   //
     49, 64, 78, 87, 103, 121, 120, 101,  //
     72, 92, 95, 98, 112, 100, 103, 99},
    {17, 18, 24, 47, 99, 99, 99, 99,  //
     18, 21, 26, 66, 99, 99, 99, 99,  //
     24, 26, 56, 99, 99, 99, 99, 99,  //
     47, 66, 99, 99, 99, 99, 99, 99,  //
     99, 99, 99, 99, 99, 99, 99, 99,  //
     99, 99, 99, 99, 99, 99, 99, 99,  //
     99, 99, 99, 99, 99, 99, 99, 99,  //
     99, 99, 99, 99, 99, 99, 99, 99},
};

// T.81 Figure A.6.
constexpr std::int32_t kZigZag[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,   //
    12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,  //
    35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,  //
    58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

// T.81 K.3.3: code counts by length 1..16 (BITS) and symbols (HUFFVAL).
constexpr std::uint8_t kDcValues[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};

constexpr std::uint8_t kAcLuminanceValues[162] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
    0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52,
    0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25,
    0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45,
    0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64,
    0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
    0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
    0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6,
    0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3,
    0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8,
    0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa,
};

constexpr std::uint8_t kAcChrominanceValues[162] = {
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61,
    0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33,
    0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18,
    0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44,
    0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63,
    0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
    0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97,
    0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4,
    0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca,
    0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7,
    0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa,
};

constexpr HuffmanLists kDcLuminance{{0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}, kDcValues, 12};
constexpr HuffmanLists kDcChrominance{{0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0}, kDcValues, 12};
constexpr HuffmanLists kAcLuminance{{0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d},
                                   kAcLuminanceValues, 162};
constexpr HuffmanLists kAcChrominance{{0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77},
                                     kAcChrominanceValues, 162};

// A code table by symbol, as code lengths and code words (T.81 C.1, C.2).
struct CodeTable {
    std::array<std::int32_t, 256> length{};
    std::array<std::int32_t, 256> code{};
};

// Evaluated by the compiler: the tables are constants of the program, yet
// they cannot disagree with the lists the DHT segment carries.
constexpr CodeTable CodesFrom(const HuffmanLists& lists)
{
    CodeTable table;
    int code = 0;
    int k = 0;
    for (int length = 1; length <= 16; ++length) {
        for (int i = 0; i < lists.bits[length - 1]; ++i, ++k) {
            const int symbol = lists.values[k];
            table.length[symbol] = length;
            // A 16-bit word with its top bit set is held as its signed reading.
            table.code[symbol] = (length == 16 && code >= 0x8000) ? code - 0x10000 : code;
            ++code;
        }
        code <<= 1;
    }
    return table;
}

constexpr CodeTable kCodes[4] = {CodesFrom(kDcLuminance), CodesFrom(kDcChrominance),
                                 CodesFrom(kAcLuminance), CodesFrom(kAcChrominance)};

// A quantiser step of a quality, as libjpeg's jpeg_set_quality with
// force_baseline makes it, so that a quality means what other tools make it
// mean: 1 to 100 (outside clamped), 50 the table as printed, steps 1 to 255.
std::int32_t QuantStep(std::int32_t quality, std::int32_t base)
{
    quality = std::clamp(quality, 1, 100);
    const std::int32_t scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    return std::clamp((base * scale + 50) / 100, 1, 255);
}

// The single-precision value of pi/16, as the cosine table is defined with it.
constexpr double kPiOver16Single = 0.19634954631328583;
// The single-precision value of the square root of 2.
constexpr double kSqrt2Single = 1.4142135381698608;

}  // namespace

const HuffmanLists& DcLuminanceLists() { return kDcLuminance; }
const HuffmanLists& DcChrominanceLists() { return kDcChrominance; }
const HuffmanLists& AcLuminanceLists() { return kAcLuminance; }
const HuffmanLists& AcChrominanceLists() { return kAcChrominance; }

void InitTables(std::int32_t quality, CodingTables& t)
{
    for (int table = 0; table < 2; ++table) {
        for (int i = 0; i < 64; ++i)
            t.QuantTable[table][i] = QuantStep(quality, kQuant[table][i]);
        const CodeTable& dc = kCodes[table];
        for (int cat = 0; cat < 12; ++cat) {
            t.DcHuffLen[table][cat] = dc.length[cat];
            t.DcHuffCode[table][cat] = dc.code[cat];
        }
        const CodeTable& ac = kCodes[2 + table];
        for (int run = 0; run < 16; ++run) {
            for (int size = 0; size <= 10; ++size) {
                if (size == 0 && run != 0 && run != 15)
                    continue;  // only EOB (0,0) and ZRL (15,0) have size 0
                const int symbol = run << 4 | size;
                const int index = AcSymbolIndex(run, size);
                t.AcHuffLen[table][index] = ac.length[symbol];
                t.AcHuffCode[table][index] = ac.code[symbol];
            }
        }
    }
    for (int k = 0; k < 64; ++k)
        t.ZigZag[k] = kZigZag[k];
    for (int n = 0; n < 8; ++n)
        t.BitMask[n] = static_cast<std::uint8_t>((2u << n) - 1u);

    // Cosines of (2p+1)*k*pi/16 with pi/16 taken at single precision, each
    // rounded to single; their products rounded to single again.
    float cosTable[8][8];
    for (int k = 0; k < 8; ++k)
        for (int p = 0; p < 8; ++p)
            cosTable[k][p] = static_cast<float>(std::cos(static_cast<double>((2 * p + 1) * k) * kPiOver16Single));
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u)
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    t.DctMatrix[(v * 8 + u) * 64 + (y * 8 + x)] = static_cast<float>(
                        static_cast<double>(cosTable[v][y]) * static_cast<double>(cosTable[u][x]));

    const float invSqrt2 = static_cast<float>(1.0 / kSqrt2Single);
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u)
            t.DctScale[v * 8 + u] = (u == 0 && v == 0) ? 0.5f : (u == 0 || v == 0) ? invSqrt2 : 1.0f;

    for (int i = 0; i < 64; ++i)
        for (int n = 0; n < 64; ++n)
            t.MatrixBySample[n * 64 + i] = t.DctMatrix[i * 64 + n];
    for (int table = 0; table < 2; ++table)
        for (int i = 0; i < 64; ++i)
            t.QuantFactor[table][i] = static_cast<float>(
                (static_cast<double>(t.DctScale[i]) / 4.0) / static_cast<double>(t.QuantTable[table][i]));
}

}  // namespace jpeg
