// The AVX2 form of the row-pair conversion: sixteen pixels of both rows an iteration, the luma
// in 32-bit lanes and the chroma's scaling in doubles with the plain form's operations, so that
// both write the same bytes. The columns left over go through the plain form.
#include "encoder/rgb_to_yuv.h"

#include "video/dct/simd_switch.h"

#if QZ_X86_SIMD
#include <immintrin.h>

namespace {

// Byte shuffles that take channel c of pixels 0 to 7 (byte 3i + c of 24) from the first 16
// bytes (pickLo) and from the last 8 (pickHi); -1 leaves a zero.
struct ChannelPicks {
    alignas(16) std::int8_t lo[3][16];
    alignas(16) std::int8_t hi[3][16];
    constexpr ChannelPicks() : lo{}, hi{} {
        for (int c = 0; c < 3; ++c) {
            for (int i = 0; i < 16; ++i) {
                const int at = 3 * i + c;
                lo[c][i] = static_cast<std::int8_t>(i < 8 && at < 16 ? at : -1);
                hi[c][i] = static_cast<std::int8_t>(i < 8 && at >= 16 ? at - 16 : -1);
            }
        }
    }
};
constexpr ChannelPicks picks;

QZ_INLINE_AVX2 __m256i channel(__m128i lo, __m128i hi, int c) {
    const __m128i bytes = _mm_or_si128(
        _mm_shuffle_epi8(lo, _mm_load_si128(reinterpret_cast<const __m128i*>(picks.lo[c]))),
        _mm_shuffle_epi8(hi, _mm_load_si128(reinterpret_cast<const __m128i*>(picks.hi[c]))));
    return _mm256_cvtepu8_epi32(bytes);
}

// R, G and B of the eight pixels at p (24 bytes) in 32-bit lanes.
QZ_INLINE_AVX2 void loadPixels(const std::uint8_t* p, __m256i& r, __m256i& g, __m256i& b) {
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i hi = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 16));
    r = channel(lo, hi, 0);
    g = channel(lo, hi, 1);
    b = channel(lo, hi, 2);
}

// The unrounded luma of eight pixels (16.16), and their luma bytes stored at y.
QZ_INLINE_AVX2 __m256i lumaOf(__m256i r, __m256i g, __m256i b, std::uint8_t* y) {
    const __m256i luma =
        _mm256_add_epi32(_mm256_add_epi32(_mm256_mullo_epi32(r, _mm256_set1_epi32(19595)),
                                          _mm256_mullo_epi32(g, _mm256_set1_epi32(38470))),
                         _mm256_mullo_epi32(b, _mm256_set1_epi32(7471)));
    const __m256i rounded = _mm256_srai_epi32(_mm256_add_epi32(luma, _mm256_set1_epi32(32768)), 16);
    const __m128i words =
        _mm_packus_epi32(_mm256_castsi256_si128(rounded), _mm256_extracti128_si256(rounded, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(y), _mm_packus_epi16(words, words));
    return luma;
}

// Sums of adjacent lanes of a (pixels 0 to 7) then b (pixels 8 to 15): eight squares in order.
QZ_INLINE_AVX2 __m256i pairSums(__m256i a, __m256i b) {
    return _mm256_permute4x64_epi64(_mm256_hadd_epi32(a, b), 0xD8);
}

// 128.5 + sum × scale, truncated (at least 0) and limited to 255, as eight bytes at out.
QZ_INLINE_AVX2 void chromaBytes(__m256i sums, double scale, std::uint8_t* out) {
    const __m256d k = _mm256_set1_pd(scale), bias = _mm256_set1_pd(128.5);
    const __m256d zero = _mm256_setzero_pd();
    const __m256d vlo =
        _mm256_add_pd(bias, _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(sums)), k));
    const __m256d vhi = _mm256_add_pd(
        bias, _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(sums, 1)), k));
    const __m128i lo = _mm256_cvttpd_epi32(_mm256_max_pd(vlo, zero));
    const __m128i hi = _mm256_cvttpd_epi32(_mm256_max_pd(vhi, zero));
    const __m128i words = _mm_packus_epi32(lo, hi); // 0 to 255 after the limit below
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out),
                     _mm_packus_epi16(_mm_min_epi16(words, _mm_set1_epi16(255)), words));
}

} // namespace

QZ_TARGET_AVX2 void rgbRowPairAvx2(const std::uint8_t* rgb0, const std::uint8_t* rgb1, int width,
                                   int from, const RowPairOut& out) {
    int x = from;
    if (rgb1 != nullptr) {
        const double su = cbScale(4), sv = crScale(4);
        for (; x + 16 <= width; x += 16) {
            __m256i b4[2], r4[2], l4[2]; // per half: sums down the two rows
            for (int h = 0; h < 2; ++h) {
                const int at = x + 8 * h;
                __m256i r0, g0, bl0, r1, g1, bl1;
                loadPixels(rgb0 + 3 * at, r0, g0, bl0);
                loadPixels(rgb1 + 3 * at, r1, g1, bl1);
                const __m256i l0 = lumaOf(r0, g0, bl0, out.y0 + at);
                const __m256i l1 = lumaOf(r1, g1, bl1, out.y1 + at);
                b4[h] = _mm256_add_epi32(bl0, bl1);
                r4[h] = _mm256_add_epi32(r0, r1);
                l4[h] = _mm256_add_epi32(l0, l1);
            }
            // (sum of B) · 65536 - (sum of luma): exact in 32 bits (at most 1020 · 65536).
            const __m256i lumaSums = pairSums(l4[0], l4[1]);
            const __m256i cbSums =
                _mm256_sub_epi32(_mm256_slli_epi32(pairSums(b4[0], b4[1]), 16), lumaSums);
            const __m256i crSums =
                _mm256_sub_epi32(_mm256_slli_epi32(pairSums(r4[0], r4[1]), 16), lumaSums);
            chromaBytes(cbSums, su, out.cb + x / 2);
            chromaBytes(crSums, sv, out.cr + x / 2);
        }
    }
    if (x < width) rgbRowPairPlain(rgb0, rgb1, width, x, out);
}
#endif
