// The inverse transform with eight lines at a time in AVX2 registers: the same integer steps
// (wrapping), the same upper-half products and the same double-precision products and sums,
// each rounded separately (no fused multiply-add), so every output equals the scalar one.
#include "video/dct/dct_toolkit.h"
#include "video/dct/dsp_constants.h"
#include "video/dct/simd_switch.h"

#if QZ_X86_SIMD

#include <immintrin.h>

namespace {

using V = __m256i;

// Eight lines of a block: xk holds input k (or output k) of every line.
struct Lines {
    V x0, x1, x2, x3, x4, x5, x6, x7;
};

QZ_INLINE_AVX2 V add(V a, V b) {
    return _mm256_add_epi32(a, b);
}

QZ_INLINE_AVX2 V sub(V a, V b) {
    return _mm256_sub_epi32(a, b);
}

QZ_INLINE_AVX2 V loadRow(const LONG* p) {
    return _mm256_loadu_si256(reinterpret_cast<const V*>(p));
}

QZ_INLINE_AVX2 void storeRow(LONG* p, V v) {
    _mm256_storeu_si256(reinterpret_cast<V*>(p), v);
}

// Row k of the result holds lane k of every input row.
QZ_INLINE_AVX2 void transpose(Lines& r) {
    const V a0 = _mm256_unpacklo_epi32(r.x0, r.x1), a1 = _mm256_unpackhi_epi32(r.x0, r.x1);
    const V a2 = _mm256_unpacklo_epi32(r.x2, r.x3), a3 = _mm256_unpackhi_epi32(r.x2, r.x3);
    const V a4 = _mm256_unpacklo_epi32(r.x4, r.x5), a5 = _mm256_unpackhi_epi32(r.x4, r.x5);
    const V a6 = _mm256_unpacklo_epi32(r.x6, r.x7), a7 = _mm256_unpackhi_epi32(r.x6, r.x7);
    const V b0 = _mm256_unpacklo_epi64(a0, a2), b1 = _mm256_unpackhi_epi64(a0, a2);
    const V b2 = _mm256_unpacklo_epi64(a1, a3), b3 = _mm256_unpackhi_epi64(a1, a3);
    const V b4 = _mm256_unpacklo_epi64(a4, a6), b5 = _mm256_unpackhi_epi64(a4, a6);
    const V b6 = _mm256_unpacklo_epi64(a5, a7), b7 = _mm256_unpackhi_epi64(a5, a7);
    r = {_mm256_permute2x128_si256(b0, b4, 0x20), _mm256_permute2x128_si256(b1, b5, 0x20),
         _mm256_permute2x128_si256(b2, b6, 0x20), _mm256_permute2x128_si256(b3, b7, 0x20),
         _mm256_permute2x128_si256(b0, b4, 0x31), _mm256_permute2x128_si256(b1, b5, 0x31),
         _mm256_permute2x128_si256(b2, b6, 0x31), _mm256_permute2x128_si256(b3, b7, 0x31)};
}

// 2 × ⌊v × 1518500250 / 2^32⌋ in every lane, wrapped: the signed 64-bit products of the even
// and of the odd lanes, their upper halves merged.
QZ_INLINE_AVX2 V halfRootTwo(V v) {
    const V factor = _mm256_set1_epi32(dsp::invSqrt2Fixed);
    const V even = _mm256_srli_epi64(_mm256_mul_epi32(v, factor), 32);
    const V odd = _mm256_mul_epi32(_mm256_srli_epi64(v, 32), factor);
    const V upper = _mm256_blend_epi32(even, odd, 0xAA);
    return add(upper, upper);
}

// The low 32 bits of each double after adding 1.5 × 2^52: the value rounded to an integer, ties
// to even, modulo 2^32. low holds lanes 0 to 3, high lanes 4 to 7.
QZ_INLINE_AVX2 V roundToLong(__m256d low, __m256d high) {
    const __m256d bias = _mm256_set1_pd(dsp::roundingBias);
    const __m256 a = _mm256_castpd_ps(_mm256_add_pd(low, bias));
    const __m256 b = _mm256_castpd_ps(_mm256_add_pd(high, bias));
    // Per 128-bit half: the low words of a, then of b; then the quarters put in lane order.
    const __m256 mixed = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
    return _mm256_permute4x64_epi64(_mm256_castps_si256(mixed), _MM_SHUFFLE(3, 1, 2, 0));
}

// a (fa) and b (fb) of the odd half, for four lanes in double precision.
QZ_INLINE_AVX2 void oddProducts(__m128i d17, __m128i d53, __m256d& fa, __m256d& fb) {
    const __m256d z =
        _mm256_mul_pd(_mm256_cvtepi32_pd(_mm_add_epi32(d17, d53)), _mm256_set1_pd(dsp::cos3Pi8));
    fa =
        _mm256_add_pd(_mm256_mul_pd(_mm256_cvtepi32_pd(d53), _mm256_set1_pd(dsp::sqrt2Cos3Pi8)), z);
    fb = _mm256_sub_pd(_mm256_mul_pd(_mm256_cvtepi32_pd(d17), _mm256_set1_pd(dsp::sqrt2CosPi8)), z);
}

// The even half of eight lines, e0 to e3, from inputs 0, 2, 4 and 6.
struct Even {
    V e0, e1, e2, e3;
};

QZ_INLINE_AVX2 Even evenHalf(const Lines& x) {
    const V s04 = add(x.x0, x.x4), d04 = sub(x.x0, x.x4), s26 = add(x.x2, x.x6);
    const V u = halfRootTwo(sub(x.x2, x.x6));
    return {add(add(s04, s26), u), add(d04, u), sub(d04, u), sub(sub(s04, s26), u)};
}

// True when no line has an odd input; the odd half is then zero and the outputs are set from
// the even half alone.
QZ_INLINE_AVX2 bool evenOnly(Lines& x, const Even& e) {
    const V odd = _mm256_or_si256(_mm256_or_si256(x.x1, x.x3), _mm256_or_si256(x.x5, x.x7));
    if (!_mm256_testz_si256(odd, odd)) return false;
    x = {e.e0, e.e1, e.e2, e.e3, e.e3, e.e2, e.e1, e.e0};
    return true;
}

// The outputs from the even half, the odd inputs and the rounded a and b.
QZ_INLINE_AVX2 void combine(Lines& x, const Even& e, V a, V b) {
    const V s17 = add(x.x1, x.x7), s35 = add(x.x3, x.x5);
    const V t = add(s17, s35), bigT = halfRootTwo(sub(s17, s35));
    const V o0 = add(b, t), o1 = add(bigT, b), o2 = add(a, bigT);
    x = {add(e.e0, o0), add(e.e1, o1), add(e.e2, o2), add(e.e3, a),
         sub(e.e3, a),  sub(e.e2, o2), sub(e.e1, o1), sub(e.e0, o0)};
}

// idct8 on eight lines at once, the odd half's doubles four at a time.
QZ_INLINE_AVX2 void idct8Lines(Lines& x) {
    const Even e = evenHalf(x);
    if (evenOnly(x, e)) return;
    const V d17 = sub(x.x1, x.x7), d53 = sub(x.x5, x.x3);
    __m256d faLow, fbLow, faHigh, fbHigh;
    oddProducts(_mm256_castsi256_si128(d17), _mm256_castsi256_si128(d53), faLow, fbLow);
    oddProducts(_mm256_extracti128_si256(d17, 1), _mm256_extracti128_si256(d53, 1), faHigh, fbHigh);
    combine(x, e, roundToLong(faLow, faHigh), roundToLong(fbLow, fbHigh));
}

// The conversions in their zero-masked forms, which GCC 12 compiles without a false warning of
// an uninitialised value.
QZ_INLINE_AVX512 __m512d toDoubles(V v) {
    return _mm512_maskz_cvtepi32_pd(0xFF, v);
}

QZ_INLINE_AVX512 V lowWords(__m512i v) {
    return _mm512_maskz_cvtepi64_epi32(0xFF, v);
}

// The same with the doubles eight at a time in AVX-512F registers.
QZ_INLINE_AVX512 void idct8LinesWide(Lines& x) {
    const Even e = evenHalf(x);
    if (evenOnly(x, e)) return;
    const V d17 = sub(x.x1, x.x7), d53 = sub(x.x5, x.x3);
    const __m512d z = _mm512_mul_pd(toDoubles(add(d17, d53)), _mm512_set1_pd(dsp::cos3Pi8));
    const __m512d fa =
        _mm512_add_pd(_mm512_mul_pd(toDoubles(d53), _mm512_set1_pd(dsp::sqrt2Cos3Pi8)), z);
    const __m512d fb =
        _mm512_sub_pd(_mm512_mul_pd(toDoubles(d17), _mm512_set1_pd(dsp::sqrt2CosPi8)), z);
    // Adding 1.5 × 2^52 leaves the rounded value in the low 32 bits of each 64-bit lane.
    const __m512d bias = _mm512_set1_pd(dsp::roundingBias);
    combine(x, e, lowWords(_mm512_castpd_si512(_mm512_add_pd(fa, bias))),
            lowWords(_mm512_castpd_si512(_mm512_add_pd(fb, bias))));
}

// Loads the block; when only its DC coefficient is set, stores that throughout and returns
// false.
QZ_INLINE_AVX2 bool loadBlock(const LONG* coeff, Lines& r, LONG* dest, int stride, __m128i count) {
    r = {loadRow(coeff),      loadRow(coeff + 8),  loadRow(coeff + 16), loadRow(coeff + 24),
         loadRow(coeff + 32), loadRow(coeff + 40), loadRow(coeff + 48), loadRow(coeff + 56)};
    const V ac = _mm256_or_si256(
        _mm256_or_si256(
            _mm256_or_si256(_mm256_blend_epi32(r.x0, _mm256_setzero_si256(), 0x01), r.x1),
            _mm256_or_si256(r.x2, r.x3)),
        _mm256_or_si256(_mm256_or_si256(r.x4, r.x5), _mm256_or_si256(r.x6, r.x7)));
    if (!_mm256_testz_si256(ac, ac)) return true;
    const V dc = _mm256_sra_epi32(_mm256_set1_epi32(coeff[0]), count);
    for (int n = 0; n < 8; ++n) storeRow(dest + n * stride, dc);
    return false;
}

// r.xm holds sample column m of every row: transposed, shifted and stored by rows.
QZ_INLINE_AVX2 void storeBlock(Lines& r, LONG* dest, int stride, __m128i count) {
    transpose(r);
    const V rows[8] = {r.x0, r.x1, r.x2, r.x3, r.x4, r.x5, r.x6, r.x7};
    for (int n = 0; n < 8; ++n) storeRow(dest + n * stride, _mm256_sra_epi32(rows[n], count));
}

} // namespace

// Line h of the block holds the vertical frequencies of horizontal frequency h. Transposed,
// r.xk holds input k of every line; the first pass leaves r.xn[h], the intermediate block;
// transposed again, the second pass leaves sample (n, m) in r.xm[n].
QZ_TARGET_AVX2 void idctBlockAvx2(const LONG coeff[dctBlockSize], LONG* dest, int stride,
                                  int shift) {
    Lines r;
    const __m128i count = _mm_cvtsi32_si128(shift);
    if (!loadBlock(coeff, r, dest, stride, count)) return;
    transpose(r);
    idct8Lines(r);
    transpose(r);
    idct8Lines(r);
    storeBlock(r, dest, stride, count);
}

QZ_TARGET_AVX512 void idctBlockAvx512(const LONG coeff[dctBlockSize], LONG* dest, int stride,
                                      int shift) {
    Lines r;
    const __m128i count = _mm_cvtsi32_si128(shift);
    if (!loadBlock(coeff, r, dest, stride, count)) return;
    transpose(r);
    idct8LinesWide(r);
    transpose(r);
    idct8LinesWide(r);
    storeBlock(r, dest, stride, count);
}

#endif
