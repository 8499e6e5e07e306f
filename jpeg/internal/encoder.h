// The encoder's internals: its state, coding tables and per-stage routines.
// Only the encoder's own files and its tests include this header.
//
// Output layout (all lengths big-endian, as in ITU-T T.81):
//   SOI + APP0 (JFIF 1.02, 72 dpi)      20 bytes
//   COM  "Marnosk SampleVersion\0"      26 bytes
//   DQT  two 8-bit tables               134 bytes
//   DHT  DC0, DC1, AC0, AC1 in one      420 bytes
//   SOF0 3 components, ids 0,1,2        19 bytes
//   SOS                                 14 bytes  -> 633 header bytes
//   entropy-coded scan, then EOI (FF D9).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "jpeg/jpeg.h"

namespace jpeg {

inline constexpr int kHeaderBytes = 633;

// --- Coding tables (tables.cpp) ---------------------------------------------

// Table 0 serves luminance (Y), table 1 both chrominance components.
struct CodingTables {
    std::int32_t QuantTable[2][64];  // natural order: entry v*8+u
    std::int32_t DcHuffLen[2][12];   // by DC magnitude category 0..11
    std::int32_t DcHuffCode[2][12];
    // By AC symbol index: run*10+size, plus 1 when run is 15 (EOB 0, ZRL 151).
    // Codes with the top bit of 16 set are held as their 16-bit signed reading.
    std::int32_t AcHuffLen[2][162];
    std::int32_t AcHuffCode[2][162];
    std::int32_t ZigZag[64];  // natural index of the k-th coefficient in zig-zag order
    float DctMatrix[4096];    // weight of sample n in coefficient i at i*64+n
    float DctScale[64];       // C(u)*C(v): 0.5, 1/sqrt2 or 1
    std::uint8_t BitMask[8];  // 2^(n+1)-1

    // Derived for the transform: DctMatrix transposed (sample-major) in double,
    // and the per-coefficient factors (DctScale/4)/Quant rounded to single.
    alignas(64) double MatrixBySample[64 * 64];
    alignas(64) double QuantFactor[2][64];

    // Derived by DeriveTables. For the separable transforms: the cosines, by
    // frequency then position and by position then frequency, and for each
    // coefficient the slack its estimate is checked with, per unit of the
    // block's sum of absolute samples (0 for DC, whose estimate is exact).
    alignas(64) double Cosine[8][8];
    alignas(64) double CosineByPosition[8][8];
    alignas(64) double Slack[2][64];
    // For the folded separable transform (AVX2), which folds each sum of
    // eight over the block's middle as if every cosine row were symmetric
    // about it (it is only to within MirrorGap) and works in single
    // precision: the cosines as floats, by frequency then position; for the
    // rows' pass the cosines of positions 0..3, each a vector of the even
    // frequencies then the odd ones (u = 0, 2, 4, 6, 1, 3, 5, 7); and in
    // that order too the factors of each row of coefficients and their
    // slacks, widened by what the folding and single precision may add.
    double MirrorGap;
    alignas(32) float CosineSingle[8][8];
    alignas(32) float FoldedCosine[4][8];
    alignas(32) float FoldedQuant[2][64];
    alignas(32) float FoldedSlack[2][64];
    // For block coding: the zig-zag position of each natural index.
    std::int32_t ZigZagPosition[64];
};

// Quality on libjpeg's scale, 1 to 100 (outside clamped): 50 gives the
// quantisation tables of T.81 as printed.
void InitTables(std::int32_t quality, CodingTables& tables);
// The tables derived from those InitTables makes; to be called after it.
void DeriveTables(CodingTables& tables);

// The standard Huffman tables as a DHT segment lists them (BITS, HUFFVAL).
struct HuffmanLists {
    std::uint8_t bits[16];
    const std::uint8_t* values;
    int count;
};
const HuffmanLists& DcLuminanceLists();
const HuffmanLists& DcChrominanceLists();
const HuffmanLists& AcLuminanceLists();
const HuffmanLists& AcChrominanceLists();

// Index of an AC symbol (run, size) in AcHuffLen/AcHuffCode.
constexpr int AcSymbolIndex(int run, int size)
{
    return run * 10 + size + (run == 15 ? 1 : 0);
}

// --- The scan-data stream and bit writer (huffman.cpp) -----------------------

// Collects entropy-coded bytes, most significant bit first, with a 0x00 stuffed
// after every 0xFF. Bits are gathered in a 64-bit word and leave it in whole
// bytes; the byte sequence is the same as writing them one at a time. The
// buffer is small: the complete bytes are handed on (Flush) whenever it may
// not hold the next MCU.
class JpegStream {
public:
    static constexpr std::size_t kBufferBytes = 64 * 1024;

    // Allocates room for `capacity` bytes; false when memory is short.
    bool Reset(std::size_t capacity);
    void Release();
    // Hands the complete bytes to the sink and empties the buffer; the bits
    // still gathered stay.
    JpegResult Flush(ByteSink& sink);

    // Appends the low `length` (0..16) bits of the value's 16-bit pattern.
    void PutCode(std::int32_t value, int length)
    {
        if (length > 0)
            PutRaw(static_cast<std::uint32_t>(value) & ((1u << length) - 1u), length);
    }
    // Appends up to 32 bits at once (hot path: a code and its amplitude together).
    void PutRaw(std::uint32_t bits, int length)
    {
        acc_ = (acc_ << length) | bits;
        pending_ += length;
        if (pending_ >= 32)
            Drain32();
    }
    // Completes a partly written byte with 1-bits and writes out every whole byte.
    void PadLastByte();

    // Bytes complete so far (call PadLastByte first to include the last one).
    const std::uint8_t* Data() const { return bytes_.get(); }
    std::size_t Size() const { return pos_; }
    // Room left after the complete bytes (the bits still gathered take at
    // most eight more with stuffing), for a capacity check.
    std::size_t Remaining() const { return capacity_ - pos_; }
    // Stores the two EOI bytes after the data without counting them in Size().
    bool AppendEoi();

private:
    void Drain32();
    void PutByte(std::uint8_t byte);

    std::unique_ptr<std::uint8_t[]> bytes_;
    std::size_t capacity_ = 0;
    std::size_t pos_ = 0;
    std::uint64_t acc_ = 0;
    int pending_ = 0;
};

// --- Encoder state ------------------------------------------------------------

struct JpegEncoder {
    std::int32_t ImageWidth = 0;
    std::int32_t ImageHeight = 0;
    std::int32_t McuX = 0;
    std::int32_t McuY = 0;
    JpegStream Stream;
    std::int32_t PrevDc[3] = {0, 0, 0};
    CodingTables Tables;

    // The current MCU: four luminance blocks (top-left, top-right, bottom-left,
    // bottom-right), then Cb, then Cr; samples centred on 0, natural order.
    alignas(64) std::int32_t Samples[384];
    // Quantised coefficients of the same six blocks, natural order.
    alignas(64) std::int32_t Coefs[384];

    std::int32_t* YSamples() { return Samples; }
    std::int32_t* CbSamples() { return Samples + 256; }
    std::int32_t* CrSamples() { return Samples + 320; }
    std::int32_t* CoefY(int n) { return Coefs + 64 * n; }  // n = 0..3
    std::int32_t* CoefCb() { return Coefs + 256; }
    std::int32_t* CoefCr() { return Coefs + 320; }
};

// --- Stages ---------------------------------------------------------------------

// Reads the 16x16 MCU at (mcuX, mcuY) of the picture, as if it were padded to
// whole MCUs by repeating its last column and row, into e.Samples.
void SampleMcu(JpegEncoder& e, const PixelRows& picture, std::int32_t mcuX, std::int32_t mcuY);

// Every colour sampler this processor can run, the portable one first and the
// fastest last (the one the encoder uses); each
// reads an MCU's 16 rows of 16 pixels into luminance, Cb and Cr blocks.
struct SampleKernelInfo {
    const char* name;
    void (*run)(const std::uint32_t* const rows[16], std::int32_t* ys, std::int32_t* cb, std::int32_t* cr);
};
std::vector<SampleKernelInfo> AvailableSamplers();

// Forward DCT and quantisation of the six sample blocks into e.Coefs.
void TransformMcu(JpegEncoder& e);
// The transform sum by sum in its defining order, kept as the yardstick every
// faster version must match.
void TransformMcuReference(const CodingTables& t, const std::int32_t* samples, std::int32_t* coefs);
// Name of the transform in use ("avx512", "avx2" or "portable").
const char* TransformName();
// Every transform this processor can run, the portable one first and the
// fastest last (the one the encoder uses).
struct TransformKernel {
    const char* name;
    void (*run)(const CodingTables&, const std::int32_t*, std::int32_t*);
};
std::vector<TransformKernel> AvailableTransforms();

// Huffman-codes one block of component 0, 1 or 2 into the stream.
void EncodeBlock(JpegEncoder& e, int component, const std::int32_t* coefficients);

// Header segments, each as one Put of exactly the segment's bytes.
JpegResult WriteJfifHeader(ByteSink& sink);
JpegResult WriteComment(ByteSink& sink);
JpegResult WriteDqt(ByteSink& sink, const CodingTables& tables);
JpegResult WriteDht(ByteSink& sink);
JpegResult WriteSof0(ByteSink& sink, std::int32_t width, std::int32_t height);
JpegResult WriteSos(ByteSink& sink);
// Pads the last scan byte, appends FF D9 and hands the rest of the scan to
// the sink.
JpegResult WriteEoi(ByteSink& sink, JpegStream& stream);

// Worst-case coded size of one MCU (six blocks, stuffing included): the room
// the stream must have before an MCU is coded.
std::size_t WorstCaseMcuBytes(const CodingTables& tables);

}  // namespace jpeg
