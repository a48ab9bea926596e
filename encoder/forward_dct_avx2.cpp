// The AVX2 form of the forward transform: four rows (then four columns) a vector, in doubles,
// with the plain form's operations in its order, so that both give the same bits.
#include "encoder/forward_dct.h"

#include "video/dct/simd_switch.h"

#if QZ_X86_SIMD
#include <immintrin.h>

#include <array>

namespace {

// The transposition of the 4×4 doubles r[0..3] (rows) into columns, in place.
QZ_INLINE_AVX2 void transpose4(__m256d& r0, __m256d& r1, __m256d& r2, __m256d& r3) {
    const __m256d t0 = _mm256_unpacklo_pd(r0, r1), t1 = _mm256_unpackhi_pd(r0, r1);
    const __m256d t2 = _mm256_unpacklo_pd(r2, r3), t3 = _mm256_unpackhi_pd(r2, r3);
    r0 = _mm256_permute2f128_pd(t0, t2, 0x20);
    r1 = _mm256_permute2f128_pd(t1, t3, 0x20);
    r2 = _mm256_permute2f128_pd(t0, t2, 0x31);
    r3 = _mm256_permute2f128_pd(t1, t3, 0x31);
}

// The plain form's 8-point step on four lanes at once: in[k] to out[k].
QZ_INLINE_AVX2 void scaledDct8x4(const __m256d* in, __m256d* out) {
    const __m256d c707 = _mm256_set1_pd(0.70710678118654752);
    const __m256d c383 = _mm256_set1_pd(0.38268343236508977);
    const __m256d c541 = _mm256_set1_pd(0.54119610014619698);
    const __m256d c1306 = _mm256_set1_pd(1.30656296487637652);
    const __m256d t0 = _mm256_add_pd(in[0], in[7]), t7 = _mm256_sub_pd(in[0], in[7]);
    const __m256d t1 = _mm256_add_pd(in[1], in[6]), t6 = _mm256_sub_pd(in[1], in[6]);
    const __m256d t2 = _mm256_add_pd(in[2], in[5]), t5 = _mm256_sub_pd(in[2], in[5]);
    const __m256d t3 = _mm256_add_pd(in[3], in[4]), t4 = _mm256_sub_pd(in[3], in[4]);
    const __m256d e10 = _mm256_add_pd(t0, t3), e13 = _mm256_sub_pd(t0, t3);
    const __m256d e11 = _mm256_add_pd(t1, t2), e12 = _mm256_sub_pd(t1, t2);
    out[0] = _mm256_add_pd(e10, e11);
    out[4] = _mm256_sub_pd(e10, e11);
    const __m256d z1 = _mm256_mul_pd(_mm256_add_pd(e12, e13), c707);
    out[2] = _mm256_add_pd(e13, z1);
    out[6] = _mm256_sub_pd(e13, z1);
    const __m256d o10 = _mm256_add_pd(t4, t5), o11 = _mm256_add_pd(t5, t6);
    const __m256d o12 = _mm256_add_pd(t6, t7);
    const __m256d z5 = _mm256_mul_pd(_mm256_sub_pd(o10, o12), c383);
    const __m256d z2 = _mm256_add_pd(_mm256_mul_pd(c541, o10), z5);
    const __m256d z4 = _mm256_add_pd(_mm256_mul_pd(c1306, o12), z5);
    const __m256d z3 = _mm256_mul_pd(o11, c707);
    const __m256d z11 = _mm256_add_pd(t7, z3), z13 = _mm256_sub_pd(t7, z3);
    out[5] = _mm256_add_pd(z13, z2);
    out[3] = _mm256_sub_pd(z13, z2);
    out[1] = _mm256_add_pd(z11, z4);
    out[7] = _mm256_sub_pd(z11, z4);
}

// The descale factors in the output order (8v + h).
const double* transposedDescale() {
    static const auto table = [] {
        std::array<double, 64> t{};
        const double* d = forwardDctDescale();
        for (int i = 0; i < 64; ++i) t[transposedIndex(i)] = d[i];
        return t;
    }();
    return table.data();
}

} // namespace

QZ_TARGET_AVX2 void forwardDctBytesAvx2(const std::uint8_t* rows, std::ptrdiff_t stride, int offset,
                                        double* out) {
    // x[n][g]: row n, columns 4g to 4g + 3.
    __m256d x[8][2];
    const __m256i add = _mm256_set1_epi32(offset);
    for (int n = 0; n < 8; ++n) {
        const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows + n * stride));
        const __m256i v = _mm256_add_epi32(_mm256_cvtepu8_epi32(bytes), add);
        x[n][0] = _mm256_cvtepi32_pd(_mm256_castsi256_si128(v));
        x[n][1] = _mm256_cvtepi32_pd(_mm256_extracti128_si256(v, 1));
    }
    // Columns of four rows a vector: col[m] for rows 4a to 4a + 3.
    __m256d passed[2][8]; // passed[a][h]: the row pass of rows 4a to 4a + 3
    for (int a = 0; a < 2; ++a) {
        __m256d col[8];
        for (int g = 0; g < 2; ++g) {
            col[4 * g] = x[4 * a][g], col[4 * g + 1] = x[4 * a + 1][g];
            col[4 * g + 2] = x[4 * a + 2][g], col[4 * g + 3] = x[4 * a + 3][g];
            transpose4(col[4 * g], col[4 * g + 1], col[4 * g + 2], col[4 * g + 3]);
        }
        scaledDct8x4(col, passed[a]);
    }
    // Back to rows of the row pass, four frequencies h a vector, then down the columns.
    const double* d = transposedDescale();
    for (int c = 0; c < 2; ++c) {
        __m256d in[8];
        for (int a = 0; a < 2; ++a) {
            in[4 * a] = passed[a][4 * c], in[4 * a + 1] = passed[a][4 * c + 1];
            in[4 * a + 2] = passed[a][4 * c + 2], in[4 * a + 3] = passed[a][4 * c + 3];
            transpose4(in[4 * a], in[4 * a + 1], in[4 * a + 2], in[4 * a + 3]);
        }
        __m256d result[8];
        scaledDct8x4(in, result);
        for (int v = 0; v < 8; ++v)
            _mm256_storeu_pd(out + 8 * v + 4 * c,
                             _mm256_mul_pd(result[v], _mm256_loadu_pd(d + 8 * v + 4 * c)));
    }
}

QZ_TARGET_AVX2 std::uint64_t divideCoefficientsAvx2(const double* coefficients, double factor,
                                                    const double* divisors, double* quotients) {
    const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF));
    const __m256d half = _mm256_set1_pd(0.5), f = _mm256_set1_pd(factor);
    std::uint64_t nonzero = 0;
    for (int i = 0; i < 64; i += 4) {
        const __m256d q = _mm256_div_pd(_mm256_mul_pd(_mm256_loadu_pd(coefficients + i), f),
                                        _mm256_loadu_pd(divisors + i));
        _mm256_storeu_pd(quotients + i, q);
        const __m256d big = _mm256_cmp_pd(_mm256_and_pd(q, magnitude), half, _CMP_GE_OQ);
        nonzero |= std::uint64_t(_mm256_movemask_pd(big)) << i;
    }
    return nonzero;
}
#endif
