// Forward DCT and quantisation of one MCU's six blocks, as a product with the
// 64x64 cosine matrix. Each coefficient's sum runs over the block's eight rows
// in turn; within a row the eight products (each exact in double precision)
// are added in double, and at the end of each row the running sum is rounded
// to single precision. The result times its factor (exact in double) is
// rounded to the nearest integer, halves to even.
//
// Because the sums inside a row are exact, any order of those eight additions
// gives the same bits; only the eight roundings per coefficient matter. The
// plain vector versions use that freedom and nothing more.
//
// The separable versions take a shorter road to the same integers. The matrix
// entries are single-precision roundings of products of two cosines, so the
// transform is nearly two passes of eight-point sums (a quarter of the work),
// and the estimate they give differs from the exact sum by at most
// 9 x 2^-24 x (the block's sum of absolute samples): 2^-24 for each entry's
// rounding, the same for each of the eight roundings of the running sum, with
// every partial sum bounded by the samples' absolute sum (the cosines are at
// most 1); the estimate's own double-precision error is some 2^-29 times
// smaller. Where the scaled estimate plus or minus a slack beyond that bound
// rounds to one integer, the exact value rounds to it too; a coefficient
// where it does not (one near a half) is computed the exact way. DC needs no
// slack: its entries are all 1 and every one of its sums is an exact integer.
//
// The AVX2 separable version halves the products again by folding each sum
// of eight over the middle (positions p and 7 - p added for an even
// frequency, subtracted for an odd one), as if the single-precision cosines
// were symmetric, and works in single precision, eight lanes to a vector.
// The cosines are symmetric only to within a few units in their last place;
// that gap, measured from the table, and the single-precision roundings
// widen its slack (DeriveTables says by how much), and its DC is computed
// apart, exactly.
#include <algorithm>
#include <cmath>

#include "jpeg/internal/dct_kernels.h"
#include "jpeg/internal/encoder.h"

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <intrin.h>
#endif

namespace jpeg {

std::int32_t ExactCoefficient(const CodingTables& t, const std::int32_t* s, int i, double factor)
{
    float sum = 0.0f;
    for (int row = 0; row < 8; ++row) {
        double running = sum;
        for (int x = 0; x < 8; ++x) {
            const int n = row * 8 + x;
            running += static_cast<double>(t.DctMatrix[i * 64 + n]) * s[n];
        }
        sum = static_cast<float>(running);
    }
    return static_cast<std::int32_t>(std::lrint(static_cast<double>(sum) * factor));
}

void TransformMcuReference(const CodingTables& t, const std::int32_t* samples, std::int32_t* coefs)
{
    for (int i = 0; i < 64; ++i) {
        for (int block = 0; block < 6; ++block)
            coefs[64 * block + i] = ExactCoefficient(t, samples + 64 * block, i, t.QuantFactor[block < 4 ? 0 : 1][i]);
    }
}

void DeriveTables(CodingTables& t)
{
    for (int k = 0; k < 8; ++k) {
        for (int p = 0; p < 8; ++p) {
            // The entry for (k, 0) at (p, 0) is cosine(k, p) times cosine(0, 0),
            // which is 1: the cosine itself.
            t.Cosine[k][p] = t.DctMatrix[k * 8 * 64 + p * 8];
            t.CosineByPosition[p][k] = t.Cosine[k][p];
        }
    }
    // 16 rather than 9: ample room for the bound's own roundings, and the
    // slack for one unit (added to every block's sum) covers the double
    // roundings of the scaled estimate.
    constexpr double kSlack = 16.0 / (1 << 24);
    for (int table = 0; table < 2; ++table)
        for (int i = 0; i < 64; ++i)
            t.Slack[table][i] = i == 0 ? 0.0 : kSlack * t.QuantFactor[table][i];
    for (int k = 0; k < 64; ++k)
        t.ZigZagPosition[t.ZigZag[k]] = k;

    // The folded sums use the cosines of positions 0..3 for 7..4 too (with
    // the sign of an odd frequency): each of the two passes may then be off
    // by the largest gap times the block's sum of absolute samples A, the
    // estimate by twice that. In single precision (unit roundoff 2^-24) the
    // eight roundings of each pass, the fold between them and the scaling
    // move the scaled estimate by at most 10 x 2^-24 x A x factor, and the
    // bound above adds 9 x 2^-24; the low and high ends' own roundings, one
    // more. The slack is twice that sum (DC, exact as above, is computed
    // apart).
    t.MirrorGap = 0;
    for (int k = 0; k < 8; ++k) {
        const double sign = k % 2 ? -1.0 : 1.0;
        for (int p = 0; p < 4; ++p)
            t.MirrorGap = std::max(t.MirrorGap, std::fabs(t.Cosine[k][7 - p] - sign * t.Cosine[k][p]));
    }
    const double foldedSlack = 2 * (20.0 / (1 << 24) + 2 * t.MirrorGap);
    for (int k = 0; k < 8; ++k)
        for (int p = 0; p < 8; ++p)
            t.CosineSingle[k][p] = static_cast<float>(t.Cosine[k][p]);  // exact: they are floats
    for (int p = 0; p < 4; ++p)
        for (int j = 0; j < 8; ++j)
            t.FoldedCosine[p][j] = t.CosineSingle[j < 4 ? 2 * j : 2 * (j - 4) + 1][p];
    for (int table = 0; table < 2; ++table) {
        for (int v = 0; v < 8; ++v) {
            for (int j = 0; j < 8; ++j) {
                const int i = v * 8 + (j < 4 ? 2 * j : 2 * (j - 4) + 1);
                t.FoldedQuant[table][v * 8 + j] = static_cast<float>(t.QuantFactor[table][i]);  // exact too
                t.FoldedSlack[table][v * 8 + j] =
                    i == 0 ? 0.0f : static_cast<float>(foldedSlack * t.QuantFactor[table][i]);
            }
        }
    }
}

namespace {

// The transform in plain C++ laid out as the vector versions are: the
// coefficients of a block are the inner loop, so a compiler can vectorise it
// for any processor; products and sums inside a row stay exact.
void TransformMcuPortable(const CodingTables& t, const std::int32_t* samples, std::int32_t* coefs)
{
    for (int block = 0; block < 6; ++block) {
        const std::int32_t* s = samples + 64 * block;
        double sum[64] = {};
        for (int row = 0; row < 8; ++row) {
            for (int x = 0; x < 8; ++x) {
                const int n = row * 8 + x;
                const double sample = s[n];
                const double* weights = t.MatrixBySample + n * 64;
                for (int i = 0; i < 64; ++i)
                    sum[i] += weights[i] * sample;
            }
            for (int i = 0; i < 64; ++i)
                sum[i] = static_cast<float>(sum[i]);
        }
        const double* factor = t.QuantFactor[block < 4 ? 0 : 1];
        for (int i = 0; i < 64; ++i)
            coefs[64 * block + i] = static_cast<std::int32_t>(std::lrint(sum[i] * factor[i]));
    }
}

// The separable transform in plain C++.
void TransformMcuSeparablePortable(const CodingTables& t, const std::int32_t* samples, std::int32_t* coefs)
{
    for (int block = 0; block < 6; ++block) {
        const std::int32_t* s = samples + 64 * block;
        const int table = block < 4 ? 0 : 1;
        double rows[64];  // row y, frequency u
        std::int32_t absolute = 0;
        for (int y = 0; y < 8; ++y) {
            for (int u = 0; u < 8; ++u) {
                double sum = 0;
                for (int x = 0; x < 8; ++x)
                    sum += t.Cosine[u][x] * s[y * 8 + x];
                rows[y * 8 + u] = sum;
            }
        }
        for (int n = 0; n < 64; ++n)
            absolute += s[n] < 0 ? -s[n] : s[n];
        const double units = absolute + 1.0;
        for (int v = 0; v < 8; ++v) {
            for (int u = 0; u < 8; ++u) {
                double sum = 0;
                for (int y = 0; y < 8; ++y)
                    sum += t.Cosine[v][y] * rows[y * 8 + u];
                const int i = v * 8 + u;
                const double scaled = sum * t.QuantFactor[table][i];
                const double slack = units * t.Slack[table][i];
                const long low = std::lrint(scaled - slack);
                coefs[64 * block + i] = low == std::lrint(scaled + slack)
                                            ? static_cast<std::int32_t>(low)
                                            : ExactCoefficient(t, s, i, t.QuantFactor[table][i]);
            }
        }
    }
}

}  // namespace

#if defined(ZEMBRIK_X86_KERNELS)
namespace {

enum class VectorUnit { Avx2, Avx512 };

// Whether the processor has the unit and the system saves its registers.
bool Detect(VectorUnit unit)
{
#if defined(__GNUC__) || defined(__clang__)
    __builtin_cpu_init();
    if (unit == VectorUnit::Avx512)
        return __builtin_cpu_supports("avx512f");
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#elif defined(_MSC_VER)
    int info[4];
    __cpuid(info, 0);
    if (info[0] < 7)
        return false;
    __cpuid(info, 1);
    const bool osxsave = (info[2] & (1 << 27)) != 0;
    const bool fma = (info[2] & (1 << 12)) != 0;
    if (!osxsave)
        return false;
    const unsigned long long xcr0 = _xgetbv(0);
    __cpuidex(info, 7, 0);
    if (unit == VectorUnit::Avx512)
        return (info[1] & (1 << 16)) != 0 && (xcr0 & 0xE6) == 0xE6;
    return (info[1] & (1 << 5)) != 0 && fma && (xcr0 & 0x6) == 0x6;
#else
    (void)unit;
    return false;
#endif
}

}  // namespace

bool CpuHasAvx512()
{
    static const bool has = Detect(VectorUnit::Avx512);
    return has;
}

bool CpuHasAvx2()
{
    static const bool has = Detect(VectorUnit::Avx2);
    return has;
}
#endif

namespace {

const TransformKernel& Chosen()
{
    static const TransformKernel kernel = AvailableTransforms().back();
    return kernel;
}

}  // namespace

void TransformMcu(JpegEncoder& e)
{
    Chosen().run(e.Tables, e.Samples, e.Coefs);
}

const char* TransformName()
{
    return Chosen().name;
}

std::vector<TransformKernel> AvailableTransforms()
{
    std::vector<TransformKernel> kernels{{"portable", TransformMcuPortable}};
#if defined(ZEMBRIK_X86_KERNELS)
    if (CpuHasAvx2())
        kernels.push_back({"avx2", TransformMcuAvx2});
#if defined(ZEMBRIK_AVX512_KERNELS)
    if (CpuHasAvx512())
        kernels.push_back({"avx512", TransformMcuAvx512});
#endif
#endif
    kernels.push_back({"separable", TransformMcuSeparablePortable});
#if defined(ZEMBRIK_X86_KERNELS)
    if (CpuHasAvx2())
        kernels.push_back({"separable avx2", TransformMcuSeparableAvx2});
#if defined(ZEMBRIK_AVX512_KERNELS)
    if (CpuHasAvx512())
        kernels.push_back({"separable avx512", TransformMcuSeparableAvx512});
#endif
#endif
    return kernels;
}

}  // namespace jpeg
