// The transforms with AVX-512. The exact one: the 64 coefficients of a block
// are eight vectors of doubles, three blocks at a time (24 accumulators), the
// matrix read sample by sample and shared by the three blocks. The separable
// one: a row of eight frequencies per vector, rows then columns.
#include <immintrin.h>

#include <bit>

#include "jpeg/internal/dct_kernels.h"
#include "jpeg/internal/encoder.h"

namespace jpeg {

void TransformMcuAvx512(const CodingTables& t, const std::int32_t* samples, std::int32_t* coefs)
{
    alignas(64) double s[384];
    for (int k = 0; k < 384; k += 8)
        _mm512_store_pd(s + k, _mm512_cvtepi32_pd(_mm256_load_si256(reinterpret_cast<const __m256i*>(samples + k))));

    for (int first = 0; first < 6; first += 3) {
        const double* s0 = s + 64 * first;
        const double* s1 = s0 + 64;
        const double* s2 = s0 + 128;
        __m512d a0[8], a1[8], a2[8];
        for (int v = 0; v < 8; ++v)
            a0[v] = a1[v] = a2[v] = _mm512_setzero_pd();
        for (int row = 0; row < 8; ++row) {
            for (int x = 0; x < 8; ++x) {
                const int n = row * 8 + x;
                const __m512d b0 = _mm512_set1_pd(s0[n]);
                const __m512d b1 = _mm512_set1_pd(s1[n]);
                const __m512d b2 = _mm512_set1_pd(s2[n]);
                const double* m = t.MatrixBySample + n * 64;
                for (int v = 0; v < 8; ++v) {
                    const __m512d w = _mm512_load_pd(m + 8 * v);
                    a0[v] = _mm512_fmadd_pd(w, b0, a0[v]);
                    a1[v] = _mm512_fmadd_pd(w, b1, a1[v]);
                    a2[v] = _mm512_fmadd_pd(w, b2, a2[v]);
                }
            }
            // End of a row of the block: round the running sums to single.
            for (int v = 0; v < 8; ++v) {
                a0[v] = _mm512_cvtps_pd(_mm512_cvtpd_ps(a0[v]));
                a1[v] = _mm512_cvtps_pd(_mm512_cvtpd_ps(a1[v]));
                a2[v] = _mm512_cvtps_pd(_mm512_cvtpd_ps(a2[v]));
            }
        }
        __m512d* acc[3] = {a0, a1, a2};
        for (int b = 0; b < 3; ++b) {
            const int block = first + b;
            const double* factor = t.QuantFactor[block < 4 ? 0 : 1];
            std::int32_t* out = coefs + 64 * block;
            for (int v = 0; v < 8; ++v) {
                const __m512d q = _mm512_mul_pd(acc[b][v], _mm512_load_pd(factor + 8 * v));
                _mm256_store_si256(reinterpret_cast<__m256i*>(out + 8 * v), _mm512_cvtpd_epi32(q));
            }
        }
    }
}

void TransformMcuSeparableAvx512(const CodingTables& t, const std::int32_t* samples, std::int32_t* coefs)
{
    alignas(64) double s[384];
    for (int k = 0; k < 384; k += 8)
        _mm512_store_pd(s + k, _mm512_cvtepi32_pd(_mm256_load_si256(reinterpret_cast<const __m256i*>(samples + k))));
    __m512d byPosition[8];
    for (int x = 0; x < 8; ++x)
        byPosition[x] = _mm512_load_pd(t.CosineByPosition[x]);

    for (int block = 0; block < 6; ++block) {
        const double* b = s + 64 * block;
        const std::int32_t* whole = samples + 64 * block;
        const int table = block < 4 ? 0 : 1;
        __m512i absolute = _mm512_abs_epi32(_mm512_load_si512(whole));
        for (int k = 16; k < 64; k += 16)
            absolute = _mm512_add_epi32(absolute, _mm512_abs_epi32(_mm512_load_si512(whole + k)));
        const __m512d units = _mm512_set1_pd(_mm512_reduce_add_epi32(absolute) + 1.0);

        __m512d rows[8];  // row y, frequencies u in the lanes
        for (int y = 0; y < 8; ++y) {
            __m512d sum = _mm512_mul_pd(_mm512_set1_pd(b[y * 8]), byPosition[0]);
            for (int x = 1; x < 8; ++x)
                sum = _mm512_fmadd_pd(_mm512_set1_pd(b[y * 8 + x]), byPosition[x], sum);
            rows[y] = sum;
        }
        for (int v = 0; v < 8; ++v) {
            __m512d sum = _mm512_mul_pd(_mm512_set1_pd(t.Cosine[v][0]), rows[0]);
            for (int y = 1; y < 8; ++y)
                sum = _mm512_fmadd_pd(_mm512_set1_pd(t.Cosine[v][y]), rows[y], sum);
            const __m512d scaled = _mm512_mul_pd(sum, _mm512_load_pd(t.QuantFactor[table] + 8 * v));
            const __m512d slack = _mm512_mul_pd(units, _mm512_load_pd(t.Slack[table] + 8 * v));
            const __m256i low = _mm512_cvtpd_epi32(_mm512_sub_pd(scaled, slack));
            const __m256i high = _mm512_cvtpd_epi32(_mm512_add_pd(scaled, slack));
            std::int32_t* out = coefs + 64 * block + 8 * v;
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), low);
            const unsigned near = ~static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(low, high)))) & 0xFFu;
            for (unsigned lanes = near; lanes != 0; lanes &= lanes - 1) {
                const int i = 8 * v + std::countr_zero(lanes);
                coefs[64 * block + i] = ExactCoefficient(t, whole, i, t.QuantFactor[table][i]);
            }
        }
    }
}

}  // namespace jpeg
