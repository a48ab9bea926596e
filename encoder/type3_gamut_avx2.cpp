// The AVX2 form of the chroma limit: eight chroma samples a vector, in single precision with the
// plain form's operations; the plain form's branches become masks (a quotient left out counts
// as 1, which cannot lower the scale). The columns left over go through the plain form.
#include "encoder/type3_gamut.h"

#include "video/dct/simd_switch.h"

#if QZ_X86_SIMD
#include <immintrin.h>

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
#endif
