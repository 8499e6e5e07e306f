// The transforms with AVX2 and FMA. The exact one: sixteen coefficients
// (four vectors) of three blocks at a time, twelve accumulators in the
// sixteen registers. The separable one folds each eight-point sum over the
// block's middle (half the products): columns first with half a row of
// columns per vector, then rows with the even and the odd frequencies of a
// row in a vector each.
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
    const __m256d cosine[2][4] = {
        {_mm256_load_pd(t.MirrorCosine[0][0]), _mm256_load_pd(t.MirrorCosine[0][1]), _mm256_load_pd(t.MirrorCosine[0][2]),
         _mm256_load_pd(t.MirrorCosine[0][3])},
        {_mm256_load_pd(t.MirrorCosine[1][0]), _mm256_load_pd(t.MirrorCosine[1][1]), _mm256_load_pd(t.MirrorCosine[1][2]),
         _mm256_load_pd(t.MirrorCosine[1][3])}};

    for (int block = 0; block < 6; ++block) {
        const std::int32_t* whole = samples + 64 * block;
        const int table = block < 4 ? 0 : 1;
        __m256i row[8];
        __m256i absolute = _mm256_setzero_si256();
        for (int y = 0; y < 8; ++y) {
            row[y] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(whole + 8 * y));
            absolute = _mm256_add_epi32(absolute, _mm256_abs_epi32(row[y]));
        }
        __m128i folded = _mm_add_epi32(_mm256_castsi256_si128(absolute), _mm256_extracti128_si256(absolute, 1));
        folded = _mm_add_epi32(folded, _mm_shuffle_epi32(folded, 0x4E));
        folded = _mm_add_epi32(folded, _mm_shuffle_epi32(folded, 0xB1));
        const __m256d units = _mm256_set1_pd(_mm_cvtsi128_si32(folded) + 1.0);

        // Rows y and 7 - y added (for even v) and subtracted (odd v), exact
        // in integers, then in double: [parity][y][half of the columns].
        __m256d fold[2][4][2];
        for (int y = 0; y < 4; ++y) {
            const __m256i sum = _mm256_add_epi32(row[y], row[7 - y]);
            const __m256i difference = _mm256_sub_epi32(row[y], row[7 - y]);
            fold[0][y][0] = _mm256_cvtepi32_pd(_mm256_castsi256_si128(sum));
            fold[0][y][1] = _mm256_cvtepi32_pd(_mm256_extracti128_si256(sum, 1));
            fold[1][y][0] = _mm256_cvtepi32_pd(_mm256_castsi256_si128(difference));
            fold[1][y][1] = _mm256_cvtepi32_pd(_mm256_extracti128_si256(difference, 1));
        }

        // Columns: frequency v by column x. Each result is folded at once
        // over its middle, columns x and 7 - x added and subtracted, for the
        // rows' pass below.
        alignas(32) double even[8][4], odd[8][4];
        for (int v = 0; v < 8; ++v) {
            const __m256d(&f)[4][2] = fold[v % 2];
            __m256d left = _mm256_mul_pd(_mm256_broadcast_sd(&t.Cosine[v][0]), f[0][0]);
            __m256d right = _mm256_mul_pd(_mm256_broadcast_sd(&t.Cosine[v][0]), f[0][1]);
            for (int y = 1; y < 4; ++y) {
                const __m256d c = _mm256_broadcast_sd(&t.Cosine[v][y]);
                left = _mm256_fmadd_pd(c, f[y][0], left);
                right = _mm256_fmadd_pd(c, f[y][1], right);
            }
            const __m256d reversed = _mm256_permute4x64_pd(right, 0x1B);  // columns 7, 6, 5, 4
            _mm256_store_pd(even[v], _mm256_add_pd(left, reversed));
            _mm256_store_pd(odd[v], _mm256_sub_pd(left, reversed));
        }

        // Rows: the even frequencies u of row v in one vector, the odd ones
        // in another; quantised, then interleaved into natural order.
        std::int32_t* out = coefs + 64 * block;
        for (int v = 0; v < 8; ++v) {
            __m256d sumEven = _mm256_mul_pd(_mm256_broadcast_sd(&even[v][0]), cosine[0][0]);
            __m256d sumOdd = _mm256_mul_pd(_mm256_broadcast_sd(&odd[v][0]), cosine[1][0]);
            for (int x = 1; x < 4; ++x) {
                sumEven = _mm256_fmadd_pd(_mm256_broadcast_sd(&even[v][x]), cosine[0][x], sumEven);
                sumOdd = _mm256_fmadd_pd(_mm256_broadcast_sd(&odd[v][x]), cosine[1][x], sumOdd);
            }
            const double* factor = t.MirrorQuant[table] + 8 * v;
            const double* slackFactor = t.MirrorSlack[table] + 8 * v;
            const __m256d scaledEven = _mm256_mul_pd(sumEven, _mm256_load_pd(factor));
            const __m256d scaledOdd = _mm256_mul_pd(sumOdd, _mm256_load_pd(factor + 4));
            const __m256d slackEven = _mm256_mul_pd(units, _mm256_load_pd(slackFactor));
            const __m256d slackOdd = _mm256_mul_pd(units, _mm256_load_pd(slackFactor + 4));
            const __m128i lowEven = _mm256_cvtpd_epi32(_mm256_sub_pd(scaledEven, slackEven));
            const __m128i lowOdd = _mm256_cvtpd_epi32(_mm256_sub_pd(scaledOdd, slackOdd));
            const __m128i highEven = _mm256_cvtpd_epi32(_mm256_add_pd(scaledEven, slackEven));
            const __m128i highOdd = _mm256_cvtpd_epi32(_mm256_add_pd(scaledOdd, slackOdd));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * v), _mm_unpacklo_epi32(lowEven, lowOdd));
            _mm_store_si128(reinterpret_cast<__m128i*>(out + 8 * v + 4), _mm_unpackhi_epi32(lowEven, lowOdd));
            // Bit j for even frequency 2j, bit 4 + j for odd frequency 2j + 1.
            const unsigned near =
                ~static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(lowEven, highEven))) |
                                       _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(lowOdd, highOdd))) << 4) &
                0xFFu;
            for (unsigned lanes = near; lanes != 0; lanes &= lanes - 1) {
                const int j = std::countr_zero(lanes);
                const int i = 8 * v + (j < 4 ? 2 * j : 2 * (j - 4) + 1);
                out[i] = ExactCoefficient(t, whole, i, t.QuantFactor[table][i]);
            }
        }
    }
}

}  // namespace jpeg
