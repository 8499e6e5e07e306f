// Forward DCT and quantisation of one MCU's six blocks, as a product with the
// 64x64 cosine matrix. Each coefficient's sum runs over the block's eight rows
// in turn; within a row the eight products (each exact in double precision)
// are added in double, and at the end of each row the running sum is rounded
// to single precision. The result times its factor (exact in double) is
// rounded to the nearest integer, halves to even.
//
// Because the sums inside a row are exact, any order of those eight additions
// gives the same bits; only the eight roundings per coefficient matter. The
// vector versions use that freedom and nothing more.
#include <cmath>

#include "jpeg/internal/dct_kernels.h"
#include "jpeg/internal/encoder.h"

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <intrin.h>
#endif

namespace ModuleJPEG {

void TransformMcuReference(const CodingTables& t, const std::int32_t* samples, std::int32_t* coefs)
{
    for (int i = 0; i < 64; ++i) {
        for (int block = 0; block < 6; ++block) {
            const std::int32_t* s = samples + 64 * block;
            float sum = 0.0f;
            for (int row = 0; row < 8; ++row) {
                double running = sum;
                for (int x = 0; x < 8; ++x) {
                    const int n = row * 8 + x;
                    running += static_cast<double>(t.DctMatrix[i * 64 + n]) * s[n];
                }
                sum = static_cast<float>(running);
            }
            const double factor = t.QuantFactor[block < 4 ? 0 : 1][i];
            coefs[64 * block + i] = static_cast<std::int32_t>(std::lrint(static_cast<double>(sum) * factor));
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
    if (CpuHasAvx512())
        kernels.push_back({"avx512", TransformMcuAvx512});
#endif
    return kernels;
}

}  // namespace ModuleJPEG
