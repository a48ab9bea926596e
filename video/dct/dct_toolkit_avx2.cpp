// The inverse transform with eight lines at a time in AVX2 registers: the same integer steps
// (wrapping), the same upper-half products and the same double-precision products and sums,
// each rounded separately (no fused multiply-add), so every output equals the scalar one.
#include "video/dct/dct_toolkit.h"
#include "video/dct/simd_switch.h"

#if QZ_X86_SIMD

#include <immintrin.h>

namespace {

// Loads and stores of LONG rows (int on some platforms, long on others, 32 bits on all).
QZ_INLINE_AVX2 __m256i loadRow(const LONG* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

QZ_INLINE_AVX2 void storeRow(LONG* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// Row k of the result holds lane k of every input row.
QZ_INLINE_AVX2 void transpose(__m256i r[8]) {
    const __m256i a0 = _mm256_unpacklo_epi32(r[0], r[1]), a1 = _mm256_unpackhi_epi32(r[0], r[1]);
    const __m256i a2 = _mm256_unpacklo_epi32(r[2], r[3]), a3 = _mm256_unpackhi_epi32(r[2], r[3]);
    const __m256i a4 = _mm256_unpacklo_epi32(r[4], r[5]), a5 = _mm256_unpackhi_epi32(r[4], r[5]);
    const __m256i a6 = _mm256_unpacklo_epi32(r[6], r[7]), a7 = _mm256_unpackhi_epi32(r[6], r[7]);
    const __m256i b0 = _mm256_unpacklo_epi64(a0, a2), b1 = _mm256_unpackhi_epi64(a0, a2);
    const __m256i b2 = _mm256_unpacklo_epi64(a1, a3), b3 = _mm256_unpackhi_epi64(a1, a3);
    const __m256i b4 = _mm256_unpacklo_epi64(a4, a6), b5 = _mm256_unpackhi_epi64(a4, a6);
    const __m256i b6 = _mm256_unpacklo_epi64(a5, a7), b7 = _mm256_unpackhi_epi64(a5, a7);
    r[0] = _mm256_permute2x128_si256(b0, b4, 0x20);
    r[1] = _mm256_permute2x128_si256(b1, b5, 0x20);
    r[2] = _mm256_permute2x128_si256(b2, b6, 0x20);
    r[3] = _mm256_permute2x128_si256(b3, b7, 0x20);
    r[4] = _mm256_permute2x128_si256(b0, b4, 0x31);
    r[5] = _mm256_permute2x128_si256(b1, b5, 0x31);
    r[6] = _mm256_permute2x128_si256(b2, b6, 0x31);
    r[7] = _mm256_permute2x128_si256(b3, b7, 0x31);
}

// 2 × ⌊v × 1518500250 / 2^32⌋ in every lane, wrapped: the signed 64-bit products of the even
// and of the odd lanes, their upper halves merged.
QZ_INLINE_AVX2 __m256i halfRootTwo(__m256i v) {
    const __m256i factor = _mm256_set1_epi32(1518500250);
    const __m256i even = _mm256_srli_epi64(_mm256_mul_epi32(v, factor), 32);
    const __m256i odd = _mm256_mul_epi32(_mm256_srli_epi64(v, 32), factor);
    const __m256i upper = _mm256_blend_epi32(even, odd, 0xAA);
    return _mm256_add_epi32(upper, upper);
}

// The low 32 bits of each double after adding 1.5 × 2^52: the value rounded to an integer, ties
// to even, modulo 2^32. low holds lanes 0 to 3, high lanes 4 to 7.
QZ_INLINE_AVX2 __m256i roundToLong(__m256d low, __m256d high) {
    const __m256d bias = _mm256_set1_pd(6755399441055744.0);
    const __m256 a = _mm256_castpd_ps(_mm256_add_pd(low, bias));
    const __m256 b = _mm256_castpd_ps(_mm256_add_pd(high, bias));
    // Per 128-bit half: the low words of a, then of b; then the quarters put in lane order.
    const __m256 mixed = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
    return _mm256_permute4x64_epi64(_mm256_castps_si256(mixed), _MM_SHUFFLE(3, 1, 2, 0));
}

// a (fa) and b (fb) of the odd half, for four lanes in double precision.
QZ_INLINE_AVX2 void oddProducts(__m128i d17, __m128i d53, __m256d& fa, __m256d& fb) {
    const __m256d z = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm_add_epi32(d17, d53)),
                                    _mm256_set1_pd(0.3826834261417389));
    fa = _mm256_add_pd(_mm256_mul_pd(_mm256_cvtepi32_pd(d53), _mm256_set1_pd(0.5411961078643799)),
                       z);
    fb = _mm256_sub_pd(_mm256_mul_pd(_mm256_cvtepi32_pd(d17), _mm256_set1_pd(1.3065630197525024)),
                       z);
}

// The even half of eight lines: e[k] from inputs 0, 2, 4 and 6.
QZ_INLINE_AVX2 void evenHalf(const __m256i x[8], __m256i e[4]) {
    const __m256i s04 = _mm256_add_epi32(x[0], x[4]), d04 = _mm256_sub_epi32(x[0], x[4]);
    const __m256i s26 = _mm256_add_epi32(x[2], x[6]);
    const __m256i u = halfRootTwo(_mm256_sub_epi32(x[2], x[6]));
    e[0] = _mm256_add_epi32(_mm256_add_epi32(s04, s26), u);
    e[3] = _mm256_sub_epi32(_mm256_sub_epi32(s04, s26), u);
    e[1] = _mm256_add_epi32(d04, u);
    e[2] = _mm256_sub_epi32(d04, u);
}

// True when no line has an odd input: the odd half is then zero and every output pair is e[k].
QZ_INLINE_AVX2 bool evenOnly(__m256i x[8], const __m256i e[4]) {
    const __m256i odd = _mm256_or_si256(_mm256_or_si256(x[1], x[3]), _mm256_or_si256(x[5], x[7]));
    if (!_mm256_testz_si256(odd, odd)) return false;
    for (int k = 0; k < 4; ++k) x[k] = x[7 - k] = e[k];
    return true;
}

// The outputs from the even half, the odd inputs and the rounded a and b.
QZ_INLINE_AVX2 void combine(__m256i x[8], const __m256i e[4], __m256i a, __m256i b) {
    const __m256i s17 = _mm256_add_epi32(x[1], x[7]), s35 = _mm256_add_epi32(x[3], x[5]);
    const __m256i t = _mm256_add_epi32(s17, s35);
    const __m256i bigT = halfRootTwo(_mm256_sub_epi32(s17, s35));
    const __m256i o[4] = {_mm256_add_epi32(b, t), _mm256_add_epi32(bigT, b),
                          _mm256_add_epi32(a, bigT), a};
    for (int k = 0; k < 4; ++k) {
        x[k] = _mm256_add_epi32(e[k], o[k]);
        x[7 - k] = _mm256_sub_epi32(e[k], o[k]);
    }
}

// idct8 on eight lines at once: x[k] holds input k of every line, and receives output k. The
// odd half's doubles four at a time.
QZ_INLINE_AVX2 void idct8Lines(__m256i x[8]) {
    __m256i e[4];
    evenHalf(x, e);
    if (evenOnly(x, e)) return;
    const __m256i d17 = _mm256_sub_epi32(x[1], x[7]), d53 = _mm256_sub_epi32(x[5], x[3]);
    __m256d faLow, fbLow, faHigh, fbHigh;
    oddProducts(_mm256_castsi256_si128(d17), _mm256_castsi256_si128(d53), faLow, fbLow);
    oddProducts(_mm256_extracti128_si256(d17, 1), _mm256_extracti128_si256(d53, 1), faHigh, fbHigh);
    combine(x, e, roundToLong(faLow, faHigh), roundToLong(fbLow, fbHigh));
}

// The conversions in their zero-masked forms, which GCC 12 compiles without a false warning of
// an uninitialised value.
QZ_INLINE_AVX512 __m512d toDoubles(__m256i v) {
    return _mm512_maskz_cvtepi32_pd(0xFF, v);
}

QZ_INLINE_AVX512 __m256i lowWords(__m512i v) {
    return _mm512_maskz_cvtepi64_epi32(0xFF, v);
}

// The same with the doubles eight at a time in AVX-512F registers.
QZ_INLINE_AVX512 void idct8LinesWide(__m256i x[8]) {
    __m256i e[4];
    evenHalf(x, e);
    if (evenOnly(x, e)) return;
    const __m256i d17 = _mm256_sub_epi32(x[1], x[7]), d53 = _mm256_sub_epi32(x[5], x[3]);
    const __m512d z =
        _mm512_mul_pd(toDoubles(_mm256_add_epi32(d17, d53)), _mm512_set1_pd(0.3826834261417389));
    const __m512d fa =
        _mm512_add_pd(_mm512_mul_pd(toDoubles(d53), _mm512_set1_pd(0.5411961078643799)), z);
    const __m512d fb =
        _mm512_sub_pd(_mm512_mul_pd(toDoubles(d17), _mm512_set1_pd(1.3065630197525024)), z);
    // Adding 1.5 × 2^52 leaves the rounded value in the low 32 bits of each 64-bit lane.
    const __m512d bias = _mm512_set1_pd(6755399441055744.0);
    combine(x, e, lowWords(_mm512_castpd_si512(_mm512_add_pd(fa, bias))),
            lowWords(_mm512_castpd_si512(_mm512_add_pd(fb, bias))));
}

// Loads the block; when only its DC coefficient is set, stores that throughout and returns
// false.
QZ_INLINE_AVX2 bool loadBlock(const LONG* coeff, __m256i r[8], LONG* dest, int stride,
                              __m128i count) {
    for (int h = 0; h < 8; ++h) r[h] = loadRow(coeff + 8 * h);
    __m256i ac = _mm256_blend_epi32(r[0], _mm256_setzero_si256(), 0x01);
    for (int h = 1; h < 8; ++h) ac = _mm256_or_si256(ac, r[h]);
    if (!_mm256_testz_si256(ac, ac)) return true;
    const __m256i dc = _mm256_sra_epi32(_mm256_set1_epi32(coeff[0]), count);
    for (int n = 0; n < 8; ++n) storeRow(dest + n * stride, dc);
    return false;
}

// r[m] holds sample column m of every row: transposed, shifted and stored by rows.
QZ_INLINE_AVX2 void storeBlock(__m256i r[8], LONG* dest, int stride, __m128i count) {
    transpose(r);
    for (int n = 0; n < 8; ++n) storeRow(dest + n * stride, _mm256_sra_epi32(r[n], count));
}

} // namespace

// Line h of the block holds the vertical frequencies of horizontal frequency h. Transposed,
// r[k] holds input k of every line; the first pass leaves r[n][h], the intermediate block;
// transposed again, the second pass leaves sample (n, m) in r[m][n].
QZ_TARGET_AVX2 void idctBlockAvx2(const LONG coeff[dctBlockSize], LONG* dest, int stride,
                                  int shift) {
    __m256i r[8];
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
    __m256i r[8];
    const __m128i count = _mm_cvtsi32_si128(shift);
    if (!loadBlock(coeff, r, dest, stride, count)) return;
    transpose(r);
    idct8LinesWide(r);
    transpose(r);
    idct8LinesWide(r);
    storeBlock(r, dest, stride, count);
}

#endif
