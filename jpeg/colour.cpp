// MCU sampling: one 16x16 MCU of the picture becomes four 8x8 luminance
// blocks and one Cb and one Cr block, each chrominance sample the average of a
// 2x2 group of pixels (4:2:0). Pixels beyond the picture's right and bottom
// edges repeat its last column and row, as if it were padded to whole MCUs.
#include <cmath>

#include "jpeg/internal/colour_constants.h"
#include "jpeg/internal/dct_kernels.h"
#include "jpeg/internal/encoder.h"

namespace jpeg {
namespace {

// Rounds to the nearest integer, halves to even (the default rounding mode).
inline std::int32_t RoundEven(double value)
{
    return static_cast<std::int32_t>(std::lrint(value));
}

inline std::int32_t Red(std::uint32_t p) { return static_cast<std::int32_t>((p >> 16) & 0xFF); }
inline std::int32_t Green(std::uint32_t p) { return static_cast<std::int32_t>((p >> 8) & 0xFF); }
inline std::int32_t Blue(std::uint32_t p) { return static_cast<std::int32_t>(p & 0xFF); }

inline std::int32_t Luma(std::uint32_t p)
{
    return RoundEven((kYG * Green(p) + kYR * Red(p)) + kYB * Blue(p) - 128.0);
}

}  // namespace

void SampleRowsPortable(const std::uint32_t* const rows[16], std::int32_t* ys, std::int32_t* cb, std::int32_t* cr)
{
    for (int i = 0; i < 16; i += 2) {
        const std::uint32_t* top = rows[i];
        const std::uint32_t* bottom = rows[i + 1];
        for (int k = 0; k < 16; k += 2) {
            const std::uint32_t p1 = top[k], p2 = top[k + 1], p3 = bottom[k], p4 = bottom[k + 1];
            const int idx = (i / 8) * 128 + (i % 8) * 8 + (k / 8) * 64 + (k % 8);
            ys[idx] = Luma(p1);
            ys[idx + 1] = Luma(p2);
            ys[idx + 8] = Luma(p3);
            ys[idx + 9] = Luma(p4);
            // Channel averages in quarters, exact.
            const double r = (Red(p1) + Red(p2) + Red(p3) + Red(p4)) / 4.0;
            const double g = (Green(p1) + Green(p2) + Green(p3) + Green(p4)) / 4.0;
            const double b = (Blue(p1) + Blue(p2) + Blue(p3) + Blue(p4)) / 4.0;
            const int j = (i / 2) * 8 + k / 2;
            cb[j] = RoundEven(-(kCbR * r) - kCbG * g + 0.5 * b);
            cr[j] = RoundEven(0.5 * r - kCrG * g - kCrB * b);
        }
    }
}

std::vector<SampleKernelInfo> AvailableSamplers()
{
    std::vector<SampleKernelInfo> kernels{{"portable", SampleRowsPortable}};
#if defined(ZEMBRIK_X86_KERNELS)
    if (CpuHasAvx2())
        kernels.push_back({"avx2", SampleRowsAvx2});
#if defined(ZEMBRIK_AVX512_KERNELS)
    if (CpuHasAvx512())
        kernels.push_back({"avx512", SampleRowsAvx512});
#endif
#endif
    return kernels;
}

void SampleMcu(JpegEncoder& e, const PixelRows& picture, std::int32_t mcuX, std::int32_t mcuY)
{
    static const auto sample = AvailableSamplers().back().run;
    // The 16 rows of the MCU, each 16 pixels wide; edge rows are padded copies.
    alignas(64) std::uint32_t padded[16][16];
    const std::uint32_t* rows[16];
    const bool inside = mcuX + 16 <= picture.width;
    for (int i = 0; i < 16; ++i) {
        const std::int32_t y = mcuY + i < picture.height ? mcuY + i : picture.height - 1;
        const std::uint32_t* row = picture.first + y * picture.stride;
        if (inside) {
            rows[i] = row + mcuX;
        } else {
            for (int k = 0; k < 16; ++k)
                padded[i][k] = row[mcuX + k < picture.width ? mcuX + k : picture.width - 1];
            rows[i] = padded[i];
        }
    }
    sample(rows, e.YSamples(), e.CbSamples(), e.CrSamples());
}

}  // namespace jpeg
