// Colour sampling with AVX2 and FMA: eight pixels per register, converted to
// double four at a time; exact arithmetic, as in the portable code.
#include <immintrin.h>

#include "jpeg/internal/colour_constants.h"
#include "jpeg/internal/dct_kernels.h"

namespace jpeg {

void SampleRowsAvx2(const std::uint32_t* const rows[16], std::int32_t* ys, std::int32_t* cb, std::int32_t* cr)
{
    const __m256d yR = _mm256_set1_pd(kYR), yG = _mm256_set1_pd(kYG), yB = _mm256_set1_pd(kYB);
    const __m256d minus128 = _mm256_set1_pd(-128.0), quarter = _mm256_set1_pd(0.25), half = _mm256_set1_pd(0.5);
    const __m256d cbR = _mm256_set1_pd(-kCbR), cbG = _mm256_set1_pd(-kCbG);
    const __m256d crG = _mm256_set1_pd(-kCrG), crB = _mm256_set1_pd(-kCrB);
    const __m256i byte = _mm256_set1_epi32(0xFF);

    for (int i = 0; i < 16; i += 2) {
        __m256i sumR[2], sumG[2], sumB[2];  // columns 0..7 and 8..15
        for (int c = 0; c < 2; ++c)
            sumR[c] = sumG[c] = sumB[c] = _mm256_setzero_si256();
        for (int r = i; r < i + 2; ++r) {
            for (int c = 0; c < 2; ++c) {
                const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[r] + 8 * c));
                const __m256i red = _mm256_and_si256(_mm256_srli_epi32(p, 16), byte);
                const __m256i green = _mm256_and_si256(_mm256_srli_epi32(p, 8), byte);
                const __m256i blue = _mm256_and_si256(p, byte);
                sumR[c] = _mm256_add_epi32(sumR[c], red);
                sumG[c] = _mm256_add_epi32(sumG[c], green);
                sumB[c] = _mm256_add_epi32(sumB[c], blue);
                std::int32_t* out = ys + (r / 8) * 128 + (r % 8) * 8 + 64 * c;
                for (int h = 0; h < 2; ++h) {
                    const __m256d R = _mm256_cvtepi32_pd(h ? _mm256_extracti128_si256(red, 1) : _mm256_castsi256_si128(red));
                    const __m256d G = _mm256_cvtepi32_pd(h ? _mm256_extracti128_si256(green, 1) : _mm256_castsi256_si128(green));
                    const __m256d B = _mm256_cvtepi32_pd(h ? _mm256_extracti128_si256(blue, 1) : _mm256_castsi256_si128(blue));
                    const __m256d y = _mm256_fmadd_pd(yG, G, _mm256_fmadd_pd(yR, R, _mm256_fmadd_pd(yB, B, minus128)));
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * h), _mm256_cvtpd_epi32(y));
                }
            }
        }
        // Adjacent columns: hadd pairs within 128-bit lanes, then restore order.
        auto pairs = [&](const __m256i* sum, int h) {
            const __m256i total = _mm256_permute4x64_epi64(_mm256_hadd_epi32(sum[0], sum[1]), 0xD8);
            const __m128i part = h ? _mm256_extracti128_si256(total, 1) : _mm256_castsi256_si128(total);
            return _mm256_mul_pd(_mm256_cvtepi32_pd(part), quarter);
        };
        for (int h = 0; h < 2; ++h) {
            const __m256d R = pairs(sumR, h), G = pairs(sumG, h), B = pairs(sumB, h);
            const __m256d cbv = _mm256_fmadd_pd(cbR, R, _mm256_fmadd_pd(cbG, G, _mm256_mul_pd(half, B)));
            const __m256d crv = _mm256_fmadd_pd(half, R, _mm256_fmadd_pd(crG, G, _mm256_mul_pd(crB, B)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(cb + (i / 2) * 8 + 4 * h), _mm256_cvtpd_epi32(cbv));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(cr + (i / 2) * 8 + 4 * h), _mm256_cvtpd_epi32(crv));
        }
    }
}

}  // namespace jpeg
