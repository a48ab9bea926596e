// The vector forms of the type-3 range check: the coefficient block by word permutes (AVX-512BW),
// and the filter that runs the decoder's inverse transform in single precision, on two blocks
// at once in sixteen lanes (AVX-512F) or on one block in eight (AVX2).
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

// The loops over the eight vectors are unrolled so that the vectors stay in registers.

// The decoder's upper-half product with about 2^31/√2, doubled: v/√2.
constexpr float halfRootTwo = static_cast<float>(2.0 * dsp::invSqrt2Fixed / 4294967296.0);

// The decoder's 8-point transform (its even and odd halves) on every lane, in floats: x[k]
// holds input k, then output k, of each line. V is __m256 or __m512, whose operators GCC and
// Clang give lane by lane.
template <class V> __attribute__((always_inline)) inline void idct8(V* x) {
    const V s04 = x[0] + x[4], d04 = x[0] - x[4], s26 = x[2] + x[6];
    const V u = (x[2] - x[6]) * halfRootTwo;
    const V e0 = (s04 + s26) + u, e1 = d04 + u, e2 = d04 - u, e3 = (s04 - s26) - u;
    const V s17 = x[1] + x[7], s35 = x[3] + x[5], t = s17 + s35;
    const V bigT = (s17 - s35) * halfRootTwo;
    const V d17 = x[1] - x[7], d53 = x[5] - x[3];
    const V z = (d17 + d53) * float(dsp::cos3Pi8);
    const V a = d53 * float(dsp::sqrt2Cos3Pi8) + z, b = d17 * float(dsp::sqrt2CosPi8) - z;
    const V o0 = b + t, o1 = bigT + b, o2 = a + bigT;
    x[0] = e0 + o0, x[1] = e1 + o1, x[2] = e2 + o2, x[3] = e3 + a;
    x[4] = e3 - a, x[5] = e2 - o2, x[6] = e1 - o1, x[7] = e0 - o0;
}

// The samples index the tables when they lie in -2^23 .. 2^23 - 1 before the shift. Within
// these input and first-pass sizes no step of the decoder's transform leaves 32 bits, so its
// integers do not wrap, and the floats stay within type3FilterError of its samples.
constexpr float sampleLow = -8388608.0f, sampleHigh = 8388607.0f;
constexpr float inputLimit = 67108864.0f, passLimit = 134217728.0f;
constexpr float filterError = float(type3FilterError);

// Transposes each half (eight lines of one block) as an 8×8 matrix: lane j of output k is
// lane k of input j, within the half.
QZ_INLINE_AVX512 void transpose(__m512* x) {
    __m512 t[8], u[8];
#pragma GCC unroll 8
    for (int i = 0; i < 4; ++i) {
        t[2 * i] = _mm512_unpacklo_ps(x[2 * i], x[2 * i + 1]);
        t[2 * i + 1] = _mm512_unpackhi_ps(x[2 * i], x[2 * i + 1]);
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
        x[c] = _mm512_permutex2var_ps(u[c], low, u[c + 4]);
        x[c + 4] = _mm512_permutex2var_ps(u[c], high, u[c + 4]);
    }
}

// The largest size in any lane of the eight vectors.
QZ_INLINE_AVX512 __m512 largest(const __m512* x) {
    __m512 most = _mm512_abs_ps(x[0]);
#pragma GCC unroll 8
    for (int k = 1; k < 8; ++k) most = _mm512_max_ps(most, _mm512_abs_ps(x[k]));
    return most;
}

// The AVX2 counterparts, for the eight lines of one block.
QZ_INLINE_AVX2 void transpose(__m256* x) {
    __m256 t[8], u[8];
#pragma GCC unroll 8
    for (int i = 0; i < 4; ++i) {
        t[2 * i] = _mm256_unpacklo_ps(x[2 * i], x[2 * i + 1]);
        t[2 * i + 1] = _mm256_unpackhi_ps(x[2 * i], x[2 * i + 1]);
    }
#pragma GCC unroll 8
    for (int r = 0; r < 2; ++r) {
        u[4 * r] = _mm256_shuffle_ps(t[4 * r], t[4 * r + 2], 0x44);
        u[4 * r + 1] = _mm256_shuffle_ps(t[4 * r], t[4 * r + 2], 0xEE);
        u[4 * r + 2] = _mm256_shuffle_ps(t[4 * r + 1], t[4 * r + 3], 0x44);
        u[4 * r + 3] = _mm256_shuffle_ps(t[4 * r + 1], t[4 * r + 3], 0xEE);
    }
#pragma GCC unroll 8
    for (int c = 0; c < 4; ++c) {
        x[c] = _mm256_permute2f128_ps(u[c], u[c + 4], 0x20);
        x[c + 4] = _mm256_permute2f128_ps(u[c], u[c + 4], 0x31);
    }
}

QZ_INLINE_AVX2 __m256 largest(const __m256* x) {
    const __m256 sizeMask = _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF));
    __m256 most = _mm256_and_ps(x[0], sizeMask);
#pragma GCC unroll 8
    for (int k = 1; k < 8; ++k) most = _mm256_max_ps(most, _mm256_and_ps(x[k], sizeMask));
    return most;
}

// True when a lane of v is above limit.
QZ_INLINE_AVX2 bool over(__m256 v, float limit) {
    return _mm256_movemask_ps(_mm256_cmp_ps(v, _mm256_set1_ps(limit), _CMP_GT_OQ)) != 0;
}

// The filter on one block of transposed coefficients (AVX2).
QZ_INLINE_AVX2 int filterBlock(const LONG* block) {
    __m256 x[8];
#pragma GCC unroll 8
    for (int k = 0; k < 8; ++k)
        x[k] =
            _mm256_cvtepi32_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 8 * k)));
    if (over(largest(x), inputLimit)) return -1;
    idct8(x);
    if (over(largest(x), passLimit)) return -1;
    transpose(x);
    idct8(x);
    __m256 least = x[0], most = x[0];
#pragma GCC unroll 8
    for (int k = 1; k < 8; ++k)
        least = _mm256_min_ps(least, x[k]), most = _mm256_max_ps(most, x[k]);
    const int in = _mm256_movemask_ps(
        _mm256_and_ps(_mm256_cmp_ps(least, _mm256_set1_ps(sampleLow + filterError), _CMP_GE_OQ),
                      _mm256_cmp_ps(most, _mm256_set1_ps(sampleHigh - filterError), _CMP_LE_OQ)));
    if (in == 0xFF) return 1;
    const int out = _mm256_movemask_ps(
        _mm256_or_ps(_mm256_cmp_ps(least, _mm256_set1_ps(sampleLow - filterError), _CMP_LT_OQ),
                     _mm256_cmp_ps(most, _mm256_set1_ps(sampleHigh + filterError), _CMP_GT_OQ)));
    return out != 0 ? 0 : -1;
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
    __m512 x[8];
#pragma GCC unroll 8
    for (int k = 0; k < 8; ++k) {
        const __m256i rowA = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + 8 * k));
        const __m256i rowB = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + 8 * k));
        x[k] = _mm512_cvtepi32_ps(_mm512_inserti64x4(_mm512_castsi256_si512(rowA), rowB, 1));
    }
    if (_mm512_cmp_ps_mask(largest(x), _mm512_set1_ps(inputLimit), _CMP_GT_OQ) != 0) return -1;
    idct8(x);
    if (_mm512_cmp_ps_mask(largest(x), _mm512_set1_ps(passLimit), _CMP_GT_OQ) != 0) return -1;
    transpose(x);
    idct8(x);
    __m512 least = x[0], most = x[0];
#pragma GCC unroll 8
    for (int k = 1; k < 8; ++k)
        least = _mm512_min_ps(least, x[k]), most = _mm512_max_ps(most, x[k]);
    const __mmask16 surelyIn =
        _mm512_cmp_ps_mask(least, _mm512_set1_ps(sampleLow + filterError), _CMP_GE_OQ) &
        _mm512_cmp_ps_mask(most, _mm512_set1_ps(sampleHigh - filterError), _CMP_LE_OQ);
    if (surelyIn == 0xFFFF) return 1;
    const __mmask16 surelyOut =
        _mm512_cmp_ps_mask(least, _mm512_set1_ps(sampleLow - filterError), _CMP_LT_OQ) |
        _mm512_cmp_ps_mask(most, _mm512_set1_ps(sampleHigh + filterError), _CMP_GT_OQ);
    return surelyOut != 0 ? 0 : -1;
}

QZ_TARGET_AVX2 void type3DequantiseAvx2(const std::int16_t* levels, const Type3Places& places,
                                        int dc, const LONG* quant, LONG* coeff) {
    const int* words = reinterpret_cast<const int*>(levels);
#pragma GCC unroll 8
    for (int i = 0; i < 64; i += 8) {
        // The 32 bits at the even place at or below each place (inside the 64 levels), then
        // the level's half of them, sign-extended.
        const __m256i place = _mm256_cvtepu16_epi32(
            _mm_load_si128(reinterpret_cast<const __m128i*>(places.place + i)));
        const __m256i pair = _mm256_i32gather_epi32(words, _mm256_srli_epi32(place, 1), 4);
        const __m256i up = _mm256_slli_epi32(_mm256_andnot_si256(place, _mm256_set1_epi32(1)),
                                             4); // 16 for the low half
        const __m256i level = _mm256_srai_epi32(_mm256_sllv_epi32(pair, up), 16);
        const __m256i limited = _mm256_max_epi32(_mm256_min_epi32(level, _mm256_set1_epi32(127)),
                                                 _mm256_set1_epi32(-128));
        _mm256_storeu_si256(
            reinterpret_cast<__m256i*>(coeff + i),
            _mm256_mullo_epi32(limited,
                               _mm256_loadu_si256(reinterpret_cast<const __m256i*>(quant + i))));
    }
    coeff[0] = dc * quant[0];
}

QZ_TARGET_AVX2 int type3RangeFilterAvx2(const LONG* a, const LONG* b) {
    const int first = filterBlock(a);
    if (first == 0 || a == b) return first;
    const int second = filterBlock(b);
    return second == 0 ? 0 : (first == 1 && second == 1 ? 1 : -1);
}
#endif
