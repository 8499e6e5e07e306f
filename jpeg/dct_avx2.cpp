// The transform with AVX2 and FMA: sixteen coefficients (four vectors) of
// three blocks at a time, twelve accumulators in the sixteen registers.
#include <immintrin.h>

#include "jpeg/internal/dct_kernels.h"
#include "jpeg/internal/encoder.h"

namespace ModuleJPEG {

void TransformMcuAvx2(const CodingTables& t, const std::int32_t* samples, std::int32_t* coefs)
{
    alignas(32) double s[384];
    for (int k = 0; k < 384; k += 4)
        _mm256_store_pd(s + k, _mm256_cvtepi32_pd(_mm_load_si128(reinterpret_cast<const __m128i*>(samples + k))));

    for (int first = 0; first < 6; first += 3) {
        const double* s0 = s + 64 * first;
        const double* s1 = s0 + 64;
        const double* s2 = s0 + 128;
        for (int chunk = 0; chunk < 64; chunk += 16) {
            __m256d a0[4], a1[4], a2[4];
            for (int v = 0; v < 4; ++v)
                a0[v] = a1[v] = a2[v] = _mm256_setzero_pd();
            for (int row = 0; row < 8; ++row) {
                for (int x = 0; x < 8; ++x) {
                    const int n = row * 8 + x;
                    const __m256d b0 = _mm256_broadcast_sd(s0 + n);
                    const __m256d b1 = _mm256_broadcast_sd(s1 + n);
                    const __m256d b2 = _mm256_broadcast_sd(s2 + n);
                    const double* m = t.MatrixBySample + n * 64 + chunk;
                    for (int v = 0; v < 4; ++v) {
                        const __m256d w = _mm256_load_pd(m + 4 * v);
                        a0[v] = _mm256_fmadd_pd(w, b0, a0[v]);
                        a1[v] = _mm256_fmadd_pd(w, b1, a1[v]);
                        a2[v] = _mm256_fmadd_pd(w, b2, a2[v]);
                    }
                }
                for (int v = 0; v < 4; ++v) {
                    a0[v] = _mm256_cvtps_pd(_mm256_cvtpd_ps(a0[v]));
                    a1[v] = _mm256_cvtps_pd(_mm256_cvtpd_ps(a1[v]));
                    a2[v] = _mm256_cvtps_pd(_mm256_cvtpd_ps(a2[v]));
                }
            }
            __m256d* acc[3] = {a0, a1, a2};
            for (int b = 0; b < 3; ++b) {
                const int block = first + b;
                const double* factor = t.QuantFactor[block < 4 ? 0 : 1] + chunk;
                std::int32_t* out = coefs + 64 * block + chunk;
                for (int v = 0; v < 4; ++v) {
                    const __m256d q = _mm256_mul_pd(acc[b][v], _mm256_load_pd(factor + 4 * v));
                    _mm_store_si128(reinterpret_cast<__m128i*>(out + 4 * v), _mm256_cvtpd_epi32(q));
                }
            }
        }
    }
}

}  // namespace ModuleJPEG
