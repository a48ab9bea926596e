// The inverse transform of two blocks at once in AVX-512F registers: sixteen lanes hold eight
// lines of each block, so every integer step and every transpose serves both blocks. The steps
// are those of the scalar form (wrapping integer sums, upper-half products, double products and
// sums each rounded on its own, no fused multiply-add), so every output equals the scalar one.
#include "video/dct/dct_toolkit.h"
#include "video/dct/dsp_constants.h"
#include "video/dct/simd_switch.h"

#if QZ_X86_SIMD

#include "video/dct/avx512_intrinsics.h"

namespace {

using V = __m512i;

// The lanes of a register, in 128-bit quarters: lines 0-3 of block A, lines 0-3 of block B,
// lines 4-7 of A, lines 4-7 of B. Keeping each block's halves a quarter apart lets the
// transposes finish with one immediate shuffle per register.
struct Lines {
    V x0, x1, x2, x3, x4, x5, x6, x7;
};

QZ_INLINE_AVX512 V add(V a, V b) {
    return _mm512_add_epi32(a, b);
}

QZ_INLINE_AVX512 V sub(V a, V b) {
    return _mm512_sub_epi32(a, b);
}

// 2 × ⌊v × 1518500250 / 2^32⌋ in every lane, wrapped: the signed 64-bit products of the even
// and of the odd lanes, their upper halves merged.
QZ_INLINE_AVX512 V halfRootTwo(V v) {
    const V factor = _mm512_set1_epi32(dsp::invSqrt2Fixed);
    const V even = _mm512_srli_epi64(_mm512_mul_epi32(v, factor), 32);
    const V odd = _mm512_mul_epi32(_mm512_srli_epi64(v, 32), factor);
    const V upper = _mm512_mask_blend_epi32(0xAAAA, even, odd);
    return add(upper, upper);
}

// The doubles of lanes 0-7 and of lanes 8-15.
QZ_INLINE_AVX512 __m512d lowDoubles(V v) {
    return _mm512_cvtepi32_pd(_mm512_castsi512_si256(v));
}

QZ_INLINE_AVX512 __m512d highDoubles(V v) {
    return _mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(v, 1));
}

// Adds 1.5 × 2^52 to both halves, which leaves each value rounded to an integer (ties to even)
// in the low 32 bits of its 64-bit lane, and gathers those words back into sixteen lanes.
QZ_INLINE_AVX512 V roundToLong(__m512d low, __m512d high) {
    const __m512d bias = _mm512_set1_pd(dsp::roundingBias);
    const V lowWords = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    return _mm512_permutex2var_epi32(_mm512_castpd_si512(_mm512_add_pd(low, bias)), lowWords,
                                     _mm512_castpd_si512(_mm512_add_pd(high, bias)));
}

// idct8 on sixteen lines: x.xk holds input k of every line and receives output k.
QZ_INLINE_AVX512 void idct8Lines(Lines& x) {
    const V s04 = add(x.x0, x.x4), d04 = sub(x.x0, x.x4), s26 = add(x.x2, x.x6);
    const V u = halfRootTwo(sub(x.x2, x.x6));
    const V e0 = add(add(s04, s26), u), e3 = sub(sub(s04, s26), u);
    const V e1 = add(d04, u), e2 = sub(d04, u);

    const V odd = _mm512_or_si512(_mm512_or_si512(x.x1, x.x3), _mm512_or_si512(x.x5, x.x7));
    if (_mm512_test_epi32_mask(odd, odd) == 0) {
        // No line has an odd input: the odd half is zero.
        x = {e0, e1, e2, e3, e3, e2, e1, e0};
        return;
    }
    const V s17 = add(x.x1, x.x7), d17 = sub(x.x1, x.x7);
    const V s35 = add(x.x3, x.x5), d53 = sub(x.x5, x.x3);
    const V t = add(s17, s35), bigT = halfRootTwo(sub(s17, s35));

    const __m512d c1 = _mm512_set1_pd(dsp::cos3Pi8);
    const __m512d c2 = _mm512_set1_pd(dsp::sqrt2Cos3Pi8);
    const __m512d c3 = _mm512_set1_pd(dsp::sqrt2CosPi8);
    const V sum = add(d17, d53);
    const __m512d zLow = _mm512_mul_pd(lowDoubles(sum), c1);
    const __m512d zHigh = _mm512_mul_pd(highDoubles(sum), c1);
    const V a = roundToLong(_mm512_add_pd(_mm512_mul_pd(lowDoubles(d53), c2), zLow),
                            _mm512_add_pd(_mm512_mul_pd(highDoubles(d53), c2), zHigh));
    const V b = roundToLong(_mm512_sub_pd(_mm512_mul_pd(lowDoubles(d17), c3), zLow),
                            _mm512_sub_pd(_mm512_mul_pd(highDoubles(d17), c3), zHigh));

    const V o0 = add(b, t), o1 = add(bigT, b), o2 = add(a, bigT);
    x = {add(e0, o0), add(e1, o1), add(e2, o2), add(e3, a),
         sub(e3, a),  sub(e2, o2), sub(e1, o1), sub(e0, o0)};
}

// Transposes the 4×4 tile in every 128-bit quarter of r0..r3: afterwards rj holds element j of
// each of the four registers.
QZ_INLINE_AVX512 void transposeQuarters(V& r0, V& r1, V& r2, V& r3) {
    const V a0 = _mm512_unpacklo_epi32(r0, r1), a1 = _mm512_unpackhi_epi32(r0, r1);
    const V a2 = _mm512_unpacklo_epi32(r2, r3), a3 = _mm512_unpackhi_epi32(r2, r3);
    r0 = _mm512_unpacklo_epi64(a0, a2);
    r1 = _mm512_unpackhi_epi64(a0, a2);
    r2 = _mm512_unpacklo_epi64(a1, a3);
    r3 = _mm512_unpackhi_epi64(a1, a3);
}

// Quarters picked from two registers: two from lo, then two from hi.
template <int pick> QZ_INLINE_AVX512 V quarters(V lo, V hi) {
    return _mm512_shuffle_i64x2(lo, hi, pick);
}

// Transposes the 4x4 quarters of both halves, then pairs quarters of x0-x3 with those of
// x4-x7 as first and second pick.
template <int first, int second> QZ_INLINE_AVX512 void transposeWith(Lines& r) {
    transposeQuarters(r.x0, r.x1, r.x2, r.x3);
    transposeQuarters(r.x4, r.x5, r.x6, r.x7);
    r = {quarters<first>(r.x0, r.x4),  quarters<first>(r.x1, r.x5),  quarters<first>(r.x2, r.x6),
         quarters<first>(r.x3, r.x7),  quarters<second>(r.x0, r.x4), quarters<second>(r.x1, r.x5),
         quarters<second>(r.x2, r.x6), quarters<second>(r.x3, r.x7)};
}

// From rows as loaded (A's row in the lower half, B's in the upper) to the lane order of Lines.
QZ_INLINE_AVX512 void transposeLoaded(Lines& r) {
    transposeWith<_MM_SHUFFLE(2, 0, 2, 0), _MM_SHUFFLE(3, 1, 3, 1)>(r);
}

// Transposes both blocks, keeping the lane order of Lines.
QZ_INLINE_AVX512 void transposeLines(Lines& r) {
    transposeWith<_MM_SHUFFLE(1, 0, 1, 0), _MM_SHUFFLE(3, 2, 3, 2)>(r);
}

QZ_INLINE_AVX512 V loadRows(const LONG* a, const LONG* b) {
    const __m256i rowA = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a));
    const __m256i rowB = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b));
    return _mm512_inserti64x4(_mm512_castsi256_si512(rowA), rowB, 1);
}

QZ_INLINE_AVX512 void storeRows(V v, LONG* a, LONG* b) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(a), _mm512_castsi512_si256(v));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(b), _mm512_extracti64x4_epi64(v, 1));
}

// lo holds columns 0-3 and hi columns 4-7 of rows j and 4 + j of both blocks, a quarter each in
// the order row j of A, row j of B, row 4 + j of A, row 4 + j of B. Stores the four rows, destA
// and destB pointing to row j.
QZ_INLINE_AVX512 void storeRowPairs(V lo, V hi, LONG* destA, LONG* destB, int strideA,
                                    int strideB) {
    const V upperRows = _mm512_setr_epi64(0, 1, 8, 9, 2, 3, 10, 11);
    const V lowerRows = _mm512_setr_epi64(4, 5, 12, 13, 6, 7, 14, 15);
    storeRows(_mm512_permutex2var_epi64(lo, upperRows, hi), destA, destB);
    storeRows(_mm512_permutex2var_epi64(lo, lowerRows, hi), destA + 4 * strideA,
              destB + 4 * strideB);
}

} // namespace

// Loaded, transposed and put through the first pass, x.xn holds row n of both intermediate
// blocks; transposed again and put through the second pass, x.xm holds sample column m. The
// last transpose gathers each row of A into the lower half of a register and the same row of B
// into the upper half.
QZ_TARGET_AVX512 void idctBlockPairAvx512(const LONG coeffA[dctBlockSize],
                                          const LONG coeffB[dctBlockSize], LONG* destA, LONG* destB,
                                          int strideA, int strideB, int shift) {
    Lines x = {loadRows(coeffA, coeffB),           loadRows(coeffA + 8, coeffB + 8),
               loadRows(coeffA + 16, coeffB + 16), loadRows(coeffA + 24, coeffB + 24),
               loadRows(coeffA + 32, coeffB + 32), loadRows(coeffA + 40, coeffB + 40),
               loadRows(coeffA + 48, coeffB + 48), loadRows(coeffA + 56, coeffB + 56)};
    // A pair with a block of only a DC coefficient goes one block at a time, which fills such a
    // block without transforming it.
    const V ac =
        _mm512_or_si512(_mm512_or_si512(_mm512_or_si512(_mm512_maskz_mov_epi32(0xFEFE, x.x0), x.x1),
                                        _mm512_or_si512(x.x2, x.x3)),
                        _mm512_or_si512(_mm512_or_si512(x.x4, x.x5), _mm512_or_si512(x.x6, x.x7)));
    const unsigned withAc = _mm512_test_epi32_mask(ac, ac);
    if ((withAc & 0xFF) == 0 || (withAc & 0xFF00) == 0) {
        idctBlockAvx512(coeffA, destA, strideA, shift);
        idctBlockAvx512(coeffB, destB, strideB, shift);
        return;
    }
    transposeLoaded(x);
    idct8Lines(x);
    transposeLines(x);
    idct8Lines(x);

    const __m128i count = _mm_cvtsi32_si128(shift);
    x = {_mm512_sra_epi32(x.x0, count), _mm512_sra_epi32(x.x1, count),
         _mm512_sra_epi32(x.x2, count), _mm512_sra_epi32(x.x3, count),
         _mm512_sra_epi32(x.x4, count), _mm512_sra_epi32(x.x5, count),
         _mm512_sra_epi32(x.x6, count), _mm512_sra_epi32(x.x7, count)};
    transposeQuarters(x.x0, x.x1, x.x2, x.x3);
    transposeQuarters(x.x4, x.x5, x.x6, x.x7);
    storeRowPairs(x.x0, x.x4, destA, destB, strideA, strideB);
    storeRowPairs(x.x1, x.x5, destA + strideA, destB + strideB, strideA, strideB);
    storeRowPairs(x.x2, x.x6, destA + 2 * strideA, destB + 2 * strideB, strideA, strideB);
    storeRowPairs(x.x3, x.x7, destA + 3 * strideA, destB + 3 * strideB, strideA, strideB);
}

#endif
