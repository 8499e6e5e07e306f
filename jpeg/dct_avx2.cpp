// The transforms with AVX2 and FMA. The exact one: sixteen coefficients
// (four vectors) of three blocks at a time, twelve accumulators in the
// sixteen registers. The separable one folds each eight-point sum over the
// block's middle (half the products) and works in single precision, eight
// lanes: columns first with a row of columns per vector, then rows with the
// even and the odd frequencies of a row in one vector.
#include <immintrin.h>

#include <bit>
#include <cmath>

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
    const __m256 cosine[4] = {_mm256_load_ps(t.FoldedCosine[0]), _mm256_load_ps(t.FoldedCosine[1]),
                              _mm256_load_ps(t.FoldedCosine[2]), _mm256_load_ps(t.FoldedCosine[3])};
    const __m256i left = _mm256_setr_epi32(0, 1, 2, 3, 0, 1, 2, 3);
    const __m256i right = _mm256_setr_epi32(7, 6, 5, 4, 7, 6, 5, 4);
    const __m256 sign = _mm256_setr_ps(1, 1, 1, 1, -1, -1, -1, -1);
    // From u = 0, 2, 4, 6, 1, 3, 5, 7 to natural order.
    const __m256i natural = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);

    for (int block = 0; block < 6; ++block) {
        const std::int32_t* whole = samples + 64 * block;
        const int table = block < 4 ? 0 : 1;
        __m256i row[8];
        __m256i absolute = _mm256_setzero_si256();
        __m256i total = _mm256_setzero_si256();
        for (int y = 0; y < 8; ++y) {
            row[y] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(whole + 8 * y));
            absolute = _mm256_add_epi32(absolute, _mm256_abs_epi32(row[y]));
            total = _mm256_add_epi32(total, row[y]);
        }
        // Both sums at once: the absolute one in the low lanes, the plain one in the high.
        __m256i sums = _mm256_permute2x128_si256(absolute, total, 0x20);
        sums = _mm256_add_epi32(sums, _mm256_permute2x128_si256(absolute, total, 0x31));
        sums = _mm256_add_epi32(sums, _mm256_shuffle_epi32(sums, 0x4E));
        sums = _mm256_add_epi32(sums, _mm256_shuffle_epi32(sums, 0xB1));
        const __m256 units = _mm256_set1_ps(static_cast<float>(_mm256_cvtsi256_si32(sums) + 1));
        const std::int32_t dc = _mm256_extract_epi32(sums, 4);

        // Rows y and 7 - y added (for even v) and subtracted (odd v), exact
        // in integers and in single precision: [parity][y], columns in the lanes.
        __m256 fold[2][4];
        for (int y = 0; y < 4; ++y) {
            fold[0][y] = _mm256_cvtepi32_ps(_mm256_add_epi32(row[y], row[7 - y]));
            fold[1][y] = _mm256_cvtepi32_ps(_mm256_sub_epi32(row[y], row[7 - y]));
        }

        // Columns: frequency v by column x, folded at once over the middle
        // into columns 0..3 added (lanes 0..3) and subtracted (4..7).
        __m256 folded[8];
        for (int v = 0; v < 8; ++v) {
            const __m256(&f)[4] = fold[v % 2];
            __m256 sum = _mm256_mul_ps(_mm256_broadcast_ss(&t.CosineSingle[v][0]), f[0]);
            for (int y = 1; y < 4; ++y)
                sum = _mm256_fmadd_ps(_mm256_broadcast_ss(&t.CosineSingle[v][y]), f[y], sum);
            folded[v] = _mm256_fmadd_ps(sign, _mm256_permutevar8x32_ps(sum, right), _mm256_permutevar8x32_ps(sum, left));
        }

        // Rows: the even frequencies u of row v in the low lanes, the odd
        // ones in the high; quantised, then put in natural order.
        std::int32_t* out = coefs + 64 * block;
        for (int v = 0; v < 8; ++v) {
            __m256 sum = _mm256_mul_ps(_mm256_permute_ps(folded[v], 0x00), cosine[0]);
            sum = _mm256_fmadd_ps(_mm256_permute_ps(folded[v], 0x55), cosine[1], sum);
            sum = _mm256_fmadd_ps(_mm256_permute_ps(folded[v], 0xAA), cosine[2], sum);
            sum = _mm256_fmadd_ps(_mm256_permute_ps(folded[v], 0xFF), cosine[3], sum);
            const __m256 scaled = _mm256_mul_ps(sum, _mm256_load_ps(t.FoldedQuant[table] + 8 * v));
            const __m256 slack = _mm256_mul_ps(units, _mm256_load_ps(t.FoldedSlack[table] + 8 * v));
            const __m256i low = _mm256_cvtps_epi32(_mm256_sub_ps(scaled, slack));
            const __m256i high = _mm256_cvtps_epi32(_mm256_add_ps(scaled, slack));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 8 * v), _mm256_permutevar8x32_epi32(low, natural));
            // Bit j for even frequency 2j, bit 4 + j for odd frequency 2j + 1.
            const unsigned near = ~static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(low, high)))) & 0xFFu;
            for (unsigned lanes = near; lanes != 0; lanes &= lanes - 1) {
                const int j = std::countr_zero(lanes);
                const int i = 8 * v + (j < 4 ? 2 * j : 2 * (j - 4) + 1);
                out[i] = ExactCoefficient(t, whole, i, t.QuantFactor[table][i]);
            }
        }
        // DC: the samples' sum, an integer, times its factor; exact in double.
        out[0] = static_cast<std::int32_t>(std::lrint(dc * t.QuantFactor[table][0]));
    }
}

}  // namespace jpeg
