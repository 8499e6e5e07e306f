// The transforms with AVX2 and FMA. The exact one: sixteen coefficients
// (four vectors) of three blocks at a time, twelve accumulators in the
// sixteen registers. The separable one: half a row of frequencies per vector,
// rows then columns, one half at a time.
#include <immintrin.h>

#include <bit>

#include "jpeg/internal/dct_kernels.h"
#include "jpeg/internal/encoder.h"

namespace jpeg {

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

void TransformMcuSeparableAvx2(const CodingTables& t, const std::int32_t* samples, std::int32_t* coefs)
{
    alignas(32) double s[384];
    for (int k = 0; k < 384; k += 4)
        _mm256_store_pd(s + k, _mm256_cvtepi32_pd(_mm_load_si128(reinterpret_cast<const __m128i*>(samples + k))));

    for (int block = 0; block < 6; ++block) {
        const double* b = s + 64 * block;
        const std::int32_t* whole = samples + 64 * block;
        const int table = block < 4 ? 0 : 1;
        __m256i absolute = _mm256_setzero_si256();
        for (int k = 0; k < 64; k += 8)
            absolute = _mm256_add_epi32(absolute, _mm256_abs_epi32(_mm256_load_si256(reinterpret_cast<const __m256i*>(whole + k))));
        alignas(32) std::int32_t parts[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(parts), absolute);
        const __m256d units = _mm256_set1_pd(parts[0] + parts[1] + parts[2] + parts[3] + parts[4] + parts[5] + parts[6] +
                                             parts[7] + 1.0);

        for (int half = 0; half < 8; half += 4) {
            __m256d rows[8];  // row y, frequencies half..half+3 in the lanes
            for (int y = 0; y < 8; ++y) {
                __m256d sum = _mm256_mul_pd(_mm256_broadcast_sd(b + y * 8), _mm256_load_pd(t.CosineByPosition[0] + half));
                for (int x = 1; x < 8; ++x)
                    sum = _mm256_fmadd_pd(_mm256_broadcast_sd(b + y * 8 + x), _mm256_load_pd(t.CosineByPosition[x] + half), sum);
                rows[y] = sum;
            }
            for (int v = 0; v < 8; ++v) {
                __m256d sum = _mm256_mul_pd(_mm256_broadcast_sd(&t.Cosine[v][0]), rows[0]);
                for (int y = 1; y < 8; ++y)
                    sum = _mm256_fmadd_pd(_mm256_broadcast_sd(&t.Cosine[v][y]), rows[y], sum);
                const int first = 8 * v + half;
                const __m256d scaled = _mm256_mul_pd(sum, _mm256_load_pd(t.QuantFactor[table] + first));
                const __m256d slack = _mm256_mul_pd(units, _mm256_load_pd(t.Slack[table] + first));
                const __m128i low = _mm256_cvtpd_epi32(_mm256_sub_pd(scaled, slack));
                const __m128i high = _mm256_cvtpd_epi32(_mm256_add_pd(scaled, slack));
                std::int32_t* out = coefs + 64 * block + first;
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out), low);
                const unsigned near = ~static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(low, high)))) & 0xFu;
                for (unsigned lanes = near; lanes != 0; lanes &= lanes - 1) {
                    const int i = first + std::countr_zero(lanes);
                    coefs[64 * block + i] = ExactCoefficient(t, whole, i, t.QuantFactor[table][i]);
                }
            }
        }
    }
}

}  // namespace jpeg
