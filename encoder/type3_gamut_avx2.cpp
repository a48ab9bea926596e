// The AVX2 form of the chroma limit: four chroma samples a vector, in doubles with the plain
// form's operations; the plain form's branches become masks (a quotient left out counts as 1,
// which cannot lower the scale). The columns left over go through the plain form.
#include "encoder/type3_gamut.h"

#include "video/dct/simd_switch.h"

#if QZ_X86_SIMD
#include <immintrin.h>

namespace {

// Bytes 2i and 2i + 1 of the eight at a and b, combined by op, as four doubles.
QZ_INLINE_AVX2 __m256d pairsToDoubles(__m128i pairs) {
    return _mm256_cvtepi32_pd(_mm_cvtepu16_epi32(_mm_and_si128(pairs, _mm_set1_epi16(0x00FF))));
}

// The least quotient a / k over the lanes where use is set, else 1; then min with scale.
QZ_INLINE_AVX2 __m256d lower(__m256d scale, __m256d a, __m256d k, __m256d use) {
    const __m256d q = _mm256_blendv_pd(_mm256_set1_pd(1.0), _mm256_div_pd(a, k), use);
    return _mm256_min_pd(q, scale); // q < scale ? q : scale, as std::min(scale, q)
}

// x rounded half away from zero (x within 0..255), as 32-bit integers.
QZ_INLINE_AVX2 __m128i roundHalfAway4(__m256d x) {
    const __m128i whole = _mm256_cvttpd_epi32(x);
    const __m256d rest = _mm256_sub_pd(x, _mm256_cvtepi32_pd(whole));
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d up = _mm256_and_pd(_mm256_cmp_pd(rest, _mm256_set1_pd(0.5), _CMP_GE_OQ), one);
    const __m256d down = _mm256_and_pd(_mm256_cmp_pd(rest, _mm256_set1_pd(-0.5), _CMP_LE_OQ), one);
    return _mm_sub_epi32(_mm_add_epi32(whole, _mm256_cvttpd_epi32(up)), _mm256_cvttpd_epi32(down));
}

// Four 32-bit lanes (0 to 255) stored as four bytes.
QZ_INLINE_AVX2 void storeBytes4(std::uint8_t* at, __m128i v) {
    const __m128i words = _mm_packus_epi32(v, v);
    const int bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
    __builtin_memcpy(at, &bytes, 4);
}

} // namespace

QZ_TARGET_AVX2 void limitChromaRowAvx2(const std::uint8_t* luma0, const std::uint8_t* luma1,
                                       int lumaWidth, int from, int width, std::uint8_t* cb,
                                       std::uint8_t* cr) {
    const __m256d zero = _mm256_setzero_pd();
    const __m256d low = _mm256_set1_pd(gamutLow), high = _mm256_set1_pd(gamutHigh);
    const __m256d centre = _mm256_set1_pd(128.0);
    int cx = from;
    // Four samples cover eight luma columns, all inside the row.
    for (; 2 * cx + 8 <= lumaWidth && cx + 4 <= width; cx += 4) {
        const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(luma0 + 2 * cx));
        const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(luma1 + 2 * cx));
        const __m128i lo = _mm_min_epu8(a, b), hi = _mm_max_epu8(a, b);
        const __m256d y0 = pairsToDoubles(_mm_min_epu8(lo, _mm_srli_epi16(lo, 8)));
        const __m256d y1 = pairsToDoubles(_mm_max_epu8(hi, _mm_srli_epi16(hi, 8)));
        int cbBytes = 0, crBytes = 0;
        __builtin_memcpy(&cbBytes, cb + cx, 4);
        __builtin_memcpy(&crBytes, cr + cx, 4);
        const __m256d u = _mm256_sub_pd(
            _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(cbBytes))), centre);
        const __m256d v = _mm256_sub_pd(
            _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(crBytes))), centre);
        const __m256d channel[3] = {_mm256_mul_pd(_mm256_set1_pd(1.402), v),
                                    _mm256_sub_pd(_mm256_mul_pd(_mm256_set1_pd(-0.3441), u),
                                                  _mm256_mul_pd(_mm256_set1_pd(0.7141), v)),
                                    _mm256_mul_pd(_mm256_set1_pd(1.772), u)};
        const __m256d toHigh = _mm256_sub_pd(high, y1), toLow = _mm256_sub_pd(low, y0);
        __m256d scale = _mm256_set1_pd(1.0);
        for (const __m256d& k : channel) {
            const __m256d above = _mm256_and_pd(_mm256_cmp_pd(k, zero, _CMP_GT_OQ),
                                                _mm256_cmp_pd(toHigh, k, _CMP_LT_OQ));
            scale = lower(scale, toHigh, k, above);
            const __m256d below = _mm256_and_pd(_mm256_cmp_pd(k, zero, _CMP_LT_OQ),
                                                _mm256_cmp_pd(toLow, k, _CMP_GT_OQ));
            scale = lower(scale, toLow, k, below);
        }
        storeBytes4(cb + cx, roundHalfAway4(_mm256_add_pd(centre, _mm256_mul_pd(u, scale))));
        storeBytes4(cr + cx, roundHalfAway4(_mm256_add_pd(centre, _mm256_mul_pd(v, scale))));
    }
    if (cx < width) limitChromaRowPlain(luma0, luma1, lumaWidth, cx, width, cb, cr);
}
#endif
