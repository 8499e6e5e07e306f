// Colour sampling with AVX-512: a row of 16 pixels per register, converted to
// double eight at a time. The products and sums are exact in double, so fused
// multiply-adds give the same values as the portable code.
#include <immintrin.h>

#include "jpeg/internal/colour_constants.h"
#include "jpeg/internal/dct_kernels.h"

namespace jpeg {

void SampleRowsAvx512(const std::uint32_t* const rows[16], std::int32_t* ys, std::int32_t* cb, std::int32_t* cr)
{
    const __m512d yR = _mm512_set1_pd(kYR), yG = _mm512_set1_pd(kYG), yB = _mm512_set1_pd(kYB);
    const __m512d minus128 = _mm512_set1_pd(-128.0), quarter = _mm512_set1_pd(0.25), half = _mm512_set1_pd(0.5);
    const __m512d cbR = _mm512_set1_pd(-kCbR), cbG = _mm512_set1_pd(-kCbG);
    const __m512d crG = _mm512_set1_pd(-kCrG), crB = _mm512_set1_pd(-kCrB);
    const __m512i byte = _mm512_set1_epi32(0xFF);
    const __m512i even = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m512i odd = _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 0, 0, 0, 0, 0, 0, 0, 0);

    for (int i = 0; i < 16; i += 2) {
        __m512i sumR = _mm512_setzero_si512(), sumG = sumR, sumB = sumR;
        for (int r = i; r < i + 2; ++r) {
            const __m512i p = _mm512_loadu_si512(rows[r]);
            const __m512i red = _mm512_and_si512(_mm512_srli_epi32(p, 16), byte);
            const __m512i green = _mm512_and_si512(_mm512_srli_epi32(p, 8), byte);
            const __m512i blue = _mm512_and_si512(p, byte);
            sumR = _mm512_add_epi32(sumR, red);
            sumG = _mm512_add_epi32(sumG, green);
            sumB = _mm512_add_epi32(sumB, blue);
            std::int32_t* out = ys + (r / 8) * 128 + (r % 8) * 8;
            for (int h = 0; h < 2; ++h) {
                const __m512d R = _mm512_cvtepi32_pd(h ? _mm512_extracti64x4_epi64(red, 1) : _mm512_castsi512_si256(red));
                const __m512d G = _mm512_cvtepi32_pd(h ? _mm512_extracti64x4_epi64(green, 1) : _mm512_castsi512_si256(green));
                const __m512d B = _mm512_cvtepi32_pd(h ? _mm512_extracti64x4_epi64(blue, 1) : _mm512_castsi512_si256(blue));
                const __m512d y = _mm512_fmadd_pd(yG, G, _mm512_fmadd_pd(yR, R, _mm512_fmadd_pd(yB, B, minus128)));
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 64 * h), _mm512_cvtpd_epi32(y));
            }
        }
        // Sums over 2x2 groups: the two rows were added, now adjacent columns.
        auto pairs = [&](__m512i sum) {
            const __m512i total = _mm512_add_epi32(_mm512_permutexvar_epi32(even, sum), _mm512_permutexvar_epi32(odd, sum));
            return _mm512_mul_pd(_mm512_cvtepi32_pd(_mm512_castsi512_si256(total)), quarter);
        };
        const __m512d R = pairs(sumR), G = pairs(sumG), B = pairs(sumB);
        const __m512d cbv = _mm512_fmadd_pd(cbR, R, _mm512_fmadd_pd(cbG, G, _mm512_mul_pd(half, B)));
        const __m512d crv = _mm512_fmadd_pd(half, R, _mm512_fmadd_pd(crG, G, _mm512_mul_pd(crB, B)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(cb + (i / 2) * 8), _mm512_cvtpd_epi32(cbv));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(cr + (i / 2) * 8), _mm512_cvtpd_epi32(crv));
    }
}

}  // namespace jpeg
