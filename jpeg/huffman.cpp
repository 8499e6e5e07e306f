// Entropy coding: Huffman coding of quantised blocks with the fixed tables
// (DC by difference from the previous block of the same component, AC as
// zero runs and sizes in zig-zag order), and the bit writer with its 0xFF
// byte stuffing and final 1-bit padding.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>

#include "jpeg/internal/encoder.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace jpeg {

// --- JpegStream ---------------------------------------------------------------

bool JpegStream::Reset(std::size_t capacity)
{
    Release();
    // Left uninitialised: every byte is stored whole before it is read, and a
    // large capacity then costs address space rather than memory.
    bytes_.reset(new (std::nothrow) std::uint8_t[capacity]);
    if (!bytes_)
        return false;
    capacity_ = capacity;
    return true;
}

void JpegStream::Release()
{
    bytes_.reset();
    capacity_ = 0;
    pos_ = 0;
    acc_ = 0;
    pending_ = 0;
}

JpegResult JpegStream::Flush(ByteSink& sink)
{
    if (pos_ == 0)
        return JpegResult::Ok;
    const JpegResult result = sink.Put(bytes_.get(), pos_);
    pos_ = 0;
    return result;
}

void JpegStream::PutByte(std::uint8_t byte)
{
    bytes_[pos_++] = byte;
    if (byte == 0xFF)
        bytes_[pos_++] = 0x00;
}

void JpegStream::Drain32()
{
    pending_ -= 32;
    const auto word = static_cast<std::uint32_t>(acc_ >> pending_);
    // A byte equal to 0xFF is a zero byte of the complement.
    const std::uint32_t inverted = ~word;
    const bool hasFF = ((inverted - 0x01010101u) & ~inverted & 0x80808080u) != 0;
    if (!hasFF) {
        bytes_[pos_] = static_cast<std::uint8_t>(word >> 24);
        bytes_[pos_ + 1] = static_cast<std::uint8_t>(word >> 16);
        bytes_[pos_ + 2] = static_cast<std::uint8_t>(word >> 8);
        bytes_[pos_ + 3] = static_cast<std::uint8_t>(word);
        pos_ += 4;
        return;
    }
    PutByte(static_cast<std::uint8_t>(word >> 24));
    PutByte(static_cast<std::uint8_t>(word >> 16));
    PutByte(static_cast<std::uint8_t>(word >> 8));
    PutByte(static_cast<std::uint8_t>(word));
}

void JpegStream::PadLastByte()
{
    const int partial = pending_ % 8;
    if (partial != 0) {
        const int fill = 8 - partial;
        PutRaw((1u << fill) - 1u, fill);
    }
    while (pending_ >= 8) {
        pending_ -= 8;
        PutByte(static_cast<std::uint8_t>(acc_ >> pending_));
    }
}

bool JpegStream::AppendEoi()
{
    if (capacity_ - pos_ < 2)
        return false;
    bytes_[pos_] = 0xFF;
    bytes_[pos_ + 1] = 0xD9;
    return true;
}

// --- Block coding -------------------------------------------------------------

namespace {

// Magnitude category: the bit length of |value|, 0 for 0.
inline int Category(std::int32_t value)
{
    const auto magnitude = static_cast<std::uint32_t>(value < 0 ? -value : value);
    return 32 - std::countl_zero(magnitude);
}

inline std::uint32_t LowBits(std::int32_t value, int count)
{
    return static_cast<std::uint32_t>(value) & ((1u << count) - 1u);
}

// The amplitude bits of a nonzero value: the value itself when positive, the
// low bits of value - 1 (the one's complement of |value|) when negative.
inline std::uint32_t Amplitude(std::int32_t value, int size)
{
    return LowBits(value < 0 ? value - 1 : value, size);
}

// Bit k set where value k is not zero.
inline std::uint64_t NonZero(const std::int32_t* values)
{
#if defined(__SSE2__) || defined(_M_X64)
    std::uint64_t zero = 0;
    const __m128i none = _mm_setzero_si128();
    for (int k = 0; k < 64; k += 16) {
        const auto* at = reinterpret_cast<const __m128i*>(values + k);
        const __m128i low = _mm_packs_epi32(_mm_cmpeq_epi32(_mm_loadu_si128(at), none),
                                            _mm_cmpeq_epi32(_mm_loadu_si128(at + 1), none));
        const __m128i high = _mm_packs_epi32(_mm_cmpeq_epi32(_mm_loadu_si128(at + 2), none),
                                             _mm_cmpeq_epi32(_mm_loadu_si128(at + 3), none));
        zero |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(low, high)))) << k;
    }
    return ~zero;
#else
    std::uint64_t nonzero = 0;
    for (int k = 0; k < 64; ++k)
        nonzero |= static_cast<std::uint64_t>(values[k] != 0) << k;
    return nonzero;
#endif
}

[[noreturn]] void IndexError()
{
    throw std::out_of_range("coefficient outside the Huffman tables");
}

}  // namespace

void EncodeBlock(JpegEncoder& e, int component, const std::int32_t* c)
{
    const CodingTables& t = e.Tables;
    JpegStream& out = e.Stream;
    const int table = component == 0 ? 0 : 1;

    const std::int32_t diff = c[0] - e.PrevDc[component];
    e.PrevDc[component] = c[0];
    const int cat = Category(diff);
    if (cat > 11)
        IndexError();
    const int dcLength = t.DcHuffLen[table][cat];
    // Code and amplitude together: at most 11 + 11 bits.
    out.PutRaw(LowBits(t.DcHuffCode[table][cat], dcLength) << cat | (cat ? Amplitude(diff, cat) : 0u),
               dcLength + cat);

    // Which AC coefficients are not zero, by zig-zag position: the loop
    // below then visits only those, with no branch per zero.
    std::uint64_t nonzero = 0;
    for (std::uint64_t natural = NonZero(c) & ~std::uint64_t{1}; natural != 0; natural &= natural - 1)
        nonzero |= std::uint64_t{1} << t.ZigZagPosition[std::countr_zero(natural)];

    const std::int32_t* acLength = t.AcHuffLen[table];
    const std::int32_t* acCode = t.AcHuffCode[table];
    int last = 0;  // zig-zag position of the last coefficient coded
    for (; nonzero != 0; nonzero &= nonzero - 1) {
        const int k = std::countr_zero(nonzero);
        int run = k - last - 1;
        while (run > 15) {
            out.PutCode(acCode[151], acLength[151]);  // ZRL: sixteen zeros
            run -= 16;
        }
        const std::int32_t v = c[t.ZigZag[k]];
        const int size = Category(v);
        if (size > 10)
            IndexError();
        const int index = AcSymbolIndex(run, size);
        const int length = acLength[index];
        // At most 16 + 10 bits.
        out.PutRaw(LowBits(acCode[index], length) << size | Amplitude(v, size), length + size);
        last = k;
    }
    if (last != 63)
        out.PutCode(acCode[0], acLength[0]);  // EOB: the rest of the block is zero
}

// --- Stream capacity ------------------------------------------------------------

namespace {

// Largest magnitude the transform can give coefficient i of a table: samples
// lie within 128 of zero, so |sum| <= 128 * sum of |weights|; a hair is added
// for the single-precision roundings of the running sum.
std::int32_t CoefficientBound(const CodingTables& t, int table, int i)
{
    double weights = 0;
    for (int n = 0; n < 64; ++n)
        weights += std::fabs(static_cast<double>(t.DctMatrix[i * 64 + n]));
    return static_cast<std::int32_t>(std::ceil(128.0 * weights * (1.0 + 1e-6) * t.QuantFactor[table][i])) + 1;
}

// Worst-case bits of one block of a table: the longest DC code with its
// amplitude, plus 63 times the most bits any AC symbol spends per coefficient
// it accounts for (a symbol with a run of r zeros covers r + 1 coefficients,
// ZRL covers 16, EOB at least one).
double WorstBlockBits(const CodingTables& t, int table)
{
    const int dcCategory = std::min(11, Category(2 * CoefficientBound(t, table, 0)));
    int dcBits = 0;
    for (int cat = 0; cat <= dcCategory; ++cat)
        dcBits = std::max(dcBits, t.DcHuffLen[table][cat] + cat);

    std::int32_t acBound = 0;
    for (int i = 1; i < 64; ++i)
        acBound = std::max(acBound, CoefficientBound(t, table, i));
    const int maxSize = std::min(10, Category(acBound));

    double perCoefficient = t.AcHuffLen[table][0];  // EOB
    perCoefficient = std::max(perCoefficient, t.AcHuffLen[table][151] / 16.0);
    for (int run = 0; run < 16; ++run)
        for (int size = 1; size <= maxSize; ++size)
            perCoefficient = std::max(perCoefficient,
                                      (t.AcHuffLen[table][AcSymbolIndex(run, size)] + size) / (run + 1.0));
    return dcBits + 63 * perCoefficient;
}

}  // namespace

std::size_t WorstCaseMcuBytes(const CodingTables& t)
{
    const double bits = 4 * WorstBlockBits(t, 0) + 2 * WorstBlockBits(t, 1);
    // Every coded byte may be 0xFF and need a stuffed 0x00 after it.
    return 2 * (static_cast<std::size_t>(std::ceil(bits / 8.0)) + 1);
}

}  // namespace jpeg
