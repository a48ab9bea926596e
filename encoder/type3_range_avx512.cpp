// The AVX-512 forms of the type-3 range check: the coefficient block by word permutes, and a
// filter that runs the decoder's inverse transform in single precision on two blocks at once,
// sixteen lines a vector, to settle most blocks without the exact transform.
#include "encoder/type3_range.h"

#include "video/dct/dsp_constants.h"
#include "video/dct/simd_switch.h"

#if QZ_X86_SIMD
#include "video/dct/avx512_intrinsics.h"

namespace {

// Coefficients 32·half to 32·half + 31 from the 64 levels in a and b.
QZ_INLINE_VBMI void dequantiseHalf(__m512i a, __m512i b, const Type3Places& places, int half,
                                   const LONG* quant, LONG* coeff) {
    const __m512i order = _mm512_load_si512(places.place + 32 * half);
    const __m512i words = _mm512_max_epi16(
        _mm512_min_epi16(_mm512_permutex2var_epi16(a, order, b), _mm512_set1_epi16(127)),
        _mm512_set1_epi16(-128));
    const __m512i low = _mm512_cvtepi16_epi32(_mm512_castsi512_si256(words));
    const __m512i high = _mm512_cvtepi16_epi32(_mm512_extracti64x4_epi64(words, 1));
    LONG* at = coeff + 32 * half;
    const LONG* step = quant + 32 * half;
    _mm512_storeu_si512(at, _mm512_mullo_epi32(low, _mm512_loadu_si512(step)));
    _mm512_storeu_si512(at + 16, _mm512_mullo_epi32(high, _mm512_loadu_si512(step + 16)));
}

using F = __m512;

// The loops over the eight vectors are unrolled so that the vectors stay in registers.

// Eight vectors of sixteen lines: xk holds input (or output) k of every line.
struct Lines {
    F x[8];
};

// The decoder's upper-half product with about 2^31/√2, doubled: v/√2.
constexpr float halfRootTwo = static_cast<float>(2.0 * dsp::invSqrt2Fixed / 4294967296.0);

// The decoder's 8-point transform (its even and odd halves) on every line, in floats.
QZ_INLINE_AVX512 void idct8(Lines& l) {
    const F* x = l.x;
    const F s04 = _mm512_add_ps(x[0], x[4]), d04 = _mm512_sub_ps(x[0], x[4]);
    const F s26 = _mm512_add_ps(x[2], x[6]);
    const F u = _mm512_mul_ps(_mm512_sub_ps(x[2], x[6]), _mm512_set1_ps(halfRootTwo));
    const F e0 = _mm512_add_ps(_mm512_add_ps(s04, s26), u), e1 = _mm512_add_ps(d04, u);
    const F e2 = _mm512_sub_ps(d04, u), e3 = _mm512_sub_ps(_mm512_sub_ps(s04, s26), u);
    const F s17 = _mm512_add_ps(x[1], x[7]), s35 = _mm512_add_ps(x[3], x[5]);
    const F t = _mm512_add_ps(s17, s35);
    const F bigT = _mm512_mul_ps(_mm512_sub_ps(s17, s35), _mm512_set1_ps(halfRootTwo));
    const F d17 = _mm512_sub_ps(x[1], x[7]), d53 = _mm512_sub_ps(x[5], x[3]);
    const F z = _mm512_mul_ps(_mm512_add_ps(d17, d53), _mm512_set1_ps(float(dsp::cos3Pi8)));
    const F a = _mm512_add_ps(_mm512_mul_ps(d53, _mm512_set1_ps(float(dsp::sqrt2Cos3Pi8))), z);
    const F b = _mm512_sub_ps(_mm512_mul_ps(d17, _mm512_set1_ps(float(dsp::sqrt2CosPi8))), z);
    const F o0 = _mm512_add_ps(b, t), o1 = _mm512_add_ps(bigT, b), o2 = _mm512_add_ps(a, bigT);
    l = {{_mm512_add_ps(e0, o0), _mm512_add_ps(e1, o1), _mm512_add_ps(e2, o2), _mm512_add_ps(e3, a),
          _mm512_sub_ps(e3, a), _mm512_sub_ps(e2, o2), _mm512_sub_ps(e1, o1),
          _mm512_sub_ps(e0, o0)}};
}

// Transposes each half (eight lines of one block) as an 8×8 matrix: lane j of output k is
// lane k of input j, within the half.
QZ_INLINE_AVX512 void transpose(Lines& l) {
    F t[8], u[8];
#pragma GCC unroll 8
    for (int i = 0; i < 4; ++i) {
        t[2 * i] = _mm512_unpacklo_ps(l.x[2 * i], l.x[2 * i + 1]);
        t[2 * i + 1] = _mm512_unpackhi_ps(l.x[2 * i], l.x[2 * i + 1]);
    }
// u[c + 4·r] holds columns c and c + 4 of rows 4r to 4r + 3.
#pragma GCC unroll 8
    for (int r = 0; r < 2; ++r) {
        u[4 * r] = _mm512_shuffle_ps(t[4 * r], t[4 * r + 2], 0x44);
        u[4 * r + 1] = _mm512_shuffle_ps(t[4 * r], t[4 * r + 2], 0xEE);
        u[4 * r + 2] = _mm512_shuffle_ps(t[4 * r + 1], t[4 * r + 3], 0x44);
        u[4 * r + 3] = _mm512_shuffle_ps(t[4 * r + 1], t[4 * r + 3], 0xEE);
    }
    const __m512i low = _mm512_setr_epi32(0, 1, 2, 3, 16, 17, 18, 19, 8, 9, 10, 11, 24, 25, 26, 27);
    const __m512i high =
        _mm512_setr_epi32(4, 5, 6, 7, 20, 21, 22, 23, 12, 13, 14, 15, 28, 29, 30, 31);
#pragma GCC unroll 8
    for (int c = 0; c < 4; ++c) {
        l.x[c] = _mm512_permutex2var_ps(u[c], low, u[c + 4]);
        l.x[c + 4] = _mm512_permutex2var_ps(u[c], high, u[c + 4]);
    }
}

// The largest size in any lane of the eight vectors.
QZ_INLINE_AVX512 F largest(const Lines& l) {
    F most = _mm512_abs_ps(l.x[0]);
#pragma GCC unroll 8
    for (int k = 1; k < 8; ++k) most = _mm512_max_ps(most, _mm512_abs_ps(l.x[k]));
    return most;
}

} // namespace

QZ_TARGET_VBMI void type3DequantiseAvx512(const std::int16_t* levels, const Type3Places& places,
                                          int dc, const LONG* quant, LONG* coeff) {
    const __m512i a = _mm512_loadu_si512(levels), b = _mm512_loadu_si512(levels + 32);
    dequantiseHalf(a, b, places, 0, quant, coeff);
    dequantiseHalf(a, b, places, 1, quant, coeff);
    coeff[0] = dc * quant[0];
}

QZ_TARGET_AVX512 int type3RangeFilterAvx512(const LONG* a, const LONG* b) {
    // Row k of each block is input k of its eight lines: block a in lanes 0 to 7, b in 8 to 15.
    Lines l;
#pragma GCC unroll 8
    for (int k = 0; k < 8; ++k) {
        const __m256i rowA = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + 8 * k));
        const __m256i rowB = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + 8 * k));
        l.x[k] = _mm512_cvtepi32_ps(_mm512_inserti64x4(_mm512_castsi256_si512(rowA), rowB, 1));
    }
    // Within these sizes no step of the decoder's transform leaves 32 bits, so its integers do
    // not wrap, and the floats stay within type3FilterError of its samples.
    const F inputLimit = _mm512_set1_ps(67108864.0f), passLimit = _mm512_set1_ps(134217728.0f);
    if (_mm512_cmp_ps_mask(largest(l), inputLimit, _CMP_GT_OQ) != 0) return -1;
    idct8(l);
    if (_mm512_cmp_ps_mask(largest(l), passLimit, _CMP_GT_OQ) != 0) return -1;
    transpose(l);
    idct8(l);
    F least = l.x[0], most = l.x[0];
#pragma GCC unroll 8
    for (int k = 1; k < 8; ++k)
        least = _mm512_min_ps(least, l.x[k]), most = _mm512_max_ps(most, l.x[k]);
    // The samples index the tables when they lie in -2^23 .. 2^23 - 1 before the shift.
    constexpr float low = -8388608.0f, high = 8388607.0f, error = float(type3FilterError);
    const __mmask16 surelyIn = _mm512_cmp_ps_mask(least, _mm512_set1_ps(low + error), _CMP_GE_OQ) &
                               _mm512_cmp_ps_mask(most, _mm512_set1_ps(high - error), _CMP_LE_OQ);
    if (surelyIn == 0xFFFF) return 1;
    const __mmask16 surelyOut = _mm512_cmp_ps_mask(least, _mm512_set1_ps(low - error), _CMP_LT_OQ) |
                                _mm512_cmp_ps_mask(most, _mm512_set1_ps(high + error), _CMP_GT_OQ);
    return surelyOut != 0 ? 0 : -1;
}
#endif
