// The vector forms of the chroma limit: eight chroma samples a vector (AVX2) or sixteen
// (AVX-512F), in single precision with the plain form's operations; the plain form's branches
// become masks (a quotient left out counts as 1, which cannot lower the scale). The columns
// left over go through the plain form.
#include "encoder/type3_gamut.h"

#include "video/dct/simd_switch.h"

#if QZ_X86_SIMD
#include "video/dct/avx512_intrinsics.h"

namespace {

// The low bytes of the eight 16-bit lanes of pairs as eight floats.
QZ_INLINE_AVX2 __m256 lowBytesToFloats(__m128i pairs) {
    return _mm256_cvtepi32_ps(_mm256_cvtepu16_epi32(_mm_and_si128(pairs, _mm_set1_epi16(0x00FF))));
}

// The lanes where channel k needs the limit: k > 0 and toHigh < k, or k < 0 and toLow > k.
QZ_INLINE_AVX2 __m256 above(__m256 k, __m256 toHigh) {
    return _mm256_and_ps(_mm256_cmp_ps(k, _mm256_setzero_ps(), _CMP_GT_OQ),
                         _mm256_cmp_ps(toHigh, k, _CMP_LT_OQ));
}
QZ_INLINE_AVX2 __m256 below(__m256 k, __m256 toLow) {
    return _mm256_and_ps(_mm256_cmp_ps(k, _mm256_setzero_ps(), _CMP_LT_OQ),
                         _mm256_cmp_ps(toLow, k, _CMP_GT_OQ));
}

// min(scale, to / k) in the lanes where use is set (std::min's operand order).
QZ_INLINE_AVX2 __m256 lower(__m256 scale, __m256 to, __m256 k, __m256 use) {
    const __m256 q = _mm256_blendv_ps(_mm256_set1_ps(1.0f), _mm256_div_ps(to, k), use);
    return _mm256_min_ps(q, scale); // q < scale ? q : scale, as std::min(scale, q)
}

// x (within 0..255) rounded half away from zero, as eight bytes.
QZ_INLINE_AVX2 __m128i roundToBytes(__m256 x) {
    const __m256i whole = _mm256_cvttps_epi32(x);
    const __m256 rest = _mm256_sub_ps(x, _mm256_cvtepi32_ps(whole));
    // Compare masks are -1 where true: subtracting them adds one.
    const __m256i up = _mm256_castps_si256(_mm256_cmp_ps(rest, _mm256_set1_ps(0.5f), _CMP_GE_OQ));
    const __m256i rounded = _mm256_sub_epi32(whole, up);
    const __m128i words =
        _mm_packus_epi32(_mm256_castsi256_si128(rounded), _mm256_extracti128_si256(rounded, 1));
    return _mm_packus_epi16(words, words);
}

// Eight bytes at p as eight floats less 128.
QZ_INLINE_AVX2 __m256 centred(const std::uint8_t* p) {
    const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm256_sub_ps(_mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(bytes)), _mm256_set1_ps(128.0f));
}

} // namespace

QZ_TARGET_AVX2 void limitChromaRowAvx2(const std::uint8_t* luma0, const std::uint8_t* luma1,
                                       int lumaWidth, int from, int width, std::uint8_t* cb,
                                       std::uint8_t* cr) {
    const __m256 low = _mm256_set1_ps(gamutLow), high = _mm256_set1_ps(gamutHigh);
    int cx = from;
    // Eight samples cover sixteen luma columns, all inside the row.
    for (; 2 * cx + 16 <= lumaWidth && cx + 8 <= width; cx += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(luma0 + 2 * cx));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(luma1 + 2 * cx));
        const __m128i lo = _mm_min_epu8(a, b), hi = _mm_max_epu8(a, b);
        const __m256 y0 = lowBytesToFloats(_mm_min_epu8(lo, _mm_srli_epi16(lo, 8)));
        const __m256 y1 = lowBytesToFloats(_mm_max_epu8(hi, _mm_srli_epi16(hi, 8)));
        const __m256 u = centred(cb + cx), v = centred(cr + cx);
        const __m256 red = _mm256_mul_ps(_mm256_set1_ps(1.402f), v);
        const __m256 green = _mm256_sub_ps(_mm256_mul_ps(_mm256_set1_ps(-0.3441f), u),
                                           _mm256_mul_ps(_mm256_set1_ps(0.7141f), v));
        const __m256 blue = _mm256_mul_ps(_mm256_set1_ps(1.772f), u);
        const __m256 toHigh = _mm256_sub_ps(high, y1), toLow = _mm256_sub_ps(low, y0);
        const __m256 redAbove = above(red, toHigh), greenAbove = above(green, toHigh);
        const __m256 blueAbove = above(blue, toHigh);
        const __m256 redUse = _mm256_or_ps(redAbove, below(red, toLow));
        const __m256 greenUse = _mm256_or_ps(greenAbove, below(green, toLow));
        const __m256 blueUse = _mm256_or_ps(blueAbove, below(blue, toLow));
        // A channel is above zero or below it, so one quotient each. Without a branch for the
        // samples that need no limit (a scale of 1 gives their bytes back): which do is as
        // good as random.
        __m256 scale = _mm256_set1_ps(1.0f);
        scale = lower(scale, _mm256_blendv_ps(toLow, toHigh, redAbove), red, redUse);
        scale = lower(scale, _mm256_blendv_ps(toLow, toHigh, greenAbove), green, greenUse);
        scale = lower(scale, _mm256_blendv_ps(toLow, toHigh, blueAbove), blue, blueUse);
        const __m256 centre = _mm256_set1_ps(128.0f);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(cb + cx),
                         roundToBytes(_mm256_add_ps(centre, _mm256_mul_ps(u, scale))));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(cr + cx),
                         roundToBytes(_mm256_add_ps(centre, _mm256_mul_ps(v, scale))));
    }
    if (cx < width) limitChromaRowPlain(luma0, luma1, lumaWidth, cx, width, cb, cr);
}

namespace {

// The lanes where channel k needs the limit, and the quotient (high or low less y) / k there.
struct Limit {
    __mmask16 use;
    __m512 to;
};
QZ_INLINE_AVX512 Limit limitOf(__m512 k, __m512 toHigh, __m512 toLow) {
    const __m512 zero = _mm512_setzero_ps();
    const __mmask16 above =
        _mm512_cmp_ps_mask(k, zero, _CMP_GT_OQ) & _mm512_cmp_ps_mask(toHigh, k, _CMP_LT_OQ);
    const __mmask16 below =
        _mm512_cmp_ps_mask(k, zero, _CMP_LT_OQ) & _mm512_cmp_ps_mask(toLow, k, _CMP_GT_OQ);
    return {static_cast<__mmask16>(above | below), _mm512_mask_blend_ps(above, toLow, toHigh)};
}

// min(to / k, scale) as std::min(scale, to / k), in the lanes that use it.
QZ_INLINE_AVX512 __m512 lower(__m512 scale, __m512 k, Limit limit) {
    return _mm512_mask_min_ps(scale, limit.use, _mm512_div_ps(limit.to, k), scale);
}

// Sixteen bytes at p as floats less 128.
QZ_INLINE_AVX512 __m512 centred16(const std::uint8_t* p) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return _mm512_sub_ps(_mm512_cvtepi32_ps(_mm512_cvtepu8_epi32(bytes)), _mm512_set1_ps(128.0f));
}

// x (within 0..255) rounded half away from zero, stored as sixteen bytes.
QZ_INLINE_AVX512 void storeRounded(std::uint8_t* p, __m512 x) {
    const __m512i whole = _mm512_cvttps_epi32(x);
    const __m512 rest = _mm512_sub_ps(x, _mm512_cvtepi32_ps(whole));
    const __mmask16 up = _mm512_cmp_ps_mask(rest, _mm512_set1_ps(0.5f), _CMP_GE_OQ);
    const __m512i rounded = _mm512_mask_add_epi32(whole, up, whole, _mm512_set1_epi32(1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm512_cvtepi32_epi8(rounded));
}

// The least and the most of each pair of bytes of the 32 at a and b (two luma rows), as floats.
QZ_INLINE_AVX512 void pairRange(const std::uint8_t* a, const std::uint8_t* b, __m512& least,
                                __m512& most) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a));
    const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b));
    const __m256i lo = _mm256_min_epu8(x, y), hi = _mm256_max_epu8(x, y);
    const __m256i mask = _mm256_set1_epi16(0x00FF);
    const __m256i lo2 = _mm256_and_si256(_mm256_min_epu8(lo, _mm256_srli_epi16(lo, 8)), mask);
    const __m256i hi2 = _mm256_and_si256(_mm256_max_epu8(hi, _mm256_srli_epi16(hi, 8)), mask);
    least = _mm512_cvtepi32_ps(_mm512_cvtepu16_epi32(lo2));
    most = _mm512_cvtepi32_ps(_mm512_cvtepu16_epi32(hi2));
}

} // namespace

QZ_TARGET_AVX512 void limitChromaRowAvx512(const std::uint8_t* luma0, const std::uint8_t* luma1,
                                           int lumaWidth, int from, int width, std::uint8_t* cb,
                                           std::uint8_t* cr) {
    const __m512 low = _mm512_set1_ps(gamutLow), high = _mm512_set1_ps(gamutHigh);
    int cx = from;
    // Sixteen samples cover 32 luma columns, all inside the row.
    for (; 2 * cx + 32 <= lumaWidth && cx + 16 <= width; cx += 16) {
        __m512 y0, y1;
        pairRange(luma0 + 2 * cx, luma1 + 2 * cx, y0, y1);
        const __m512 u = centred16(cb + cx), v = centred16(cr + cx);
        const __m512 red = _mm512_mul_ps(_mm512_set1_ps(1.402f), v);
        const __m512 green = _mm512_sub_ps(_mm512_mul_ps(_mm512_set1_ps(-0.3441f), u),
                                           _mm512_mul_ps(_mm512_set1_ps(0.7141f), v));
        const __m512 blue = _mm512_mul_ps(_mm512_set1_ps(1.772f), u);
        const __m512 toHigh = _mm512_sub_ps(high, y1), toLow = _mm512_sub_ps(low, y0);
        __m512 scale = _mm512_set1_ps(1.0f);
        scale = lower(scale, red, limitOf(red, toHigh, toLow));
        scale = lower(scale, green, limitOf(green, toHigh, toLow));
        scale = lower(scale, blue, limitOf(blue, toHigh, toLow));
        const __m512 centre = _mm512_set1_ps(128.0f);
        storeRounded(cb + cx, _mm512_add_ps(centre, _mm512_mul_ps(u, scale)));
        storeRounded(cr + cx, _mm512_add_ps(centre, _mm512_mul_ps(v, scale)));
    }
    if (cx < width) limitChromaRowAvx2(luma0, luma1, lumaWidth, cx, width, cb, cr);
}
#endif
