// The AVX2 form of the row-pair conversion: sixteen pixels of both rows an iteration, the luma
// in 32-bit lanes and the chroma's scaling in doubles with the plain form's operations, so that
// both write the same bytes. The columns left over go through the plain form.
#include "encoder/rgb_to_yuv.h"

#include "video/dct/simd_switch.h"

#if QZ_X86_SIMD
#include <immintrin.h>

namespace {

// Byte shuffles of 24 bytes of eight pixels, loaded as bytes 0 to 15 and 8 to 23 (pixels 4 to 7
// at 4 to 15 of the upper lane): pixel i's 32-bit lane gets R alone, B alone, R and G as two
// words, and B and G as two words; -1 leaves a zero.
struct ChannelPicks {
    alignas(32) std::int8_t r[32], b[32], rg[32], bg[32];
    constexpr ChannelPicks() : r{}, b{}, rg{}, bg{} {
        for (int i = 0; i < 8; ++i) {
            const int at = i < 4 ? 3 * i : 3 * i - 8; // R's byte in its lane
            const auto put = [&](std::int8_t* mask, int first, int second) {
                mask[4 * i] = static_cast<std::int8_t>(first);
                mask[4 * i + 1] = -1;
                mask[4 * i + 2] = static_cast<std::int8_t>(second);
                mask[4 * i + 3] = -1;
            };
            put(r, at, -1);
            put(b, at + 2, -1);
            put(rg, at, at + 1);
            put(bg, at + 2, at + 1);
        }
    }
};
constexpr ChannelPicks picks;

QZ_INLINE_AVX2 __m256i pick(__m256i bytes, const std::int8_t* mask) {
    return _mm256_shuffle_epi8(bytes, _mm256_load_si256(reinterpret_cast<const __m256i*>(mask)));
}

// Word pairs (a, b) in every 32-bit lane.
QZ_INLINE_AVX2 __m256i wordPairs(short a, short b) {
    return _mm256_set1_epi32(
        static_cast<int>(static_cast<unsigned short>(a) | (static_cast<unsigned>(b) << 16)));
}

// R and B of the eight pixels at p (24 bytes) in 32-bit lanes, and their unrounded luma
// (16.16) by two multiply-adds (G's factor 38470 in two halves, each within a signed word); the
// luma bytes are stored at y.
QZ_INLINE_AVX2 void loadPixels(const std::uint8_t* p, std::uint8_t* y, __m256i& r, __m256i& b,
                               __m256i& luma) {
    const __m256i bytes = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8)), 1);
    r = pick(bytes, picks.r);
    b = pick(bytes, picks.b);
    luma = _mm256_add_epi32(_mm256_madd_epi16(pick(bytes, picks.rg), wordPairs(19595, 19235)),
                            _mm256_madd_epi16(pick(bytes, picks.bg), wordPairs(7471, 19235)));
    const __m256i rounded = _mm256_srai_epi32(_mm256_add_epi32(luma, _mm256_set1_epi32(32768)), 16);
    const __m128i words =
        _mm_packus_epi32(_mm256_castsi256_si128(rounded), _mm256_extracti128_si256(rounded, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(y), _mm_packus_epi16(words, words));
}

// Sums of adjacent lanes of a (pixels 0 to 7) then b (pixels 8 to 15): eight squares in order.
QZ_INLINE_AVX2 __m256i pairSums(__m256i a, __m256i b) {
    return _mm256_permute4x64_epi64(_mm256_hadd_epi32(a, b), 0xD8);
}

// 128.5 + sum × scale, truncated (at least 0) and limited to 255, as eight bytes at out. The
// values lie within -54 to 311, so the saturating packs do both limits: a negative value
// truncates to at most 0 and packs to 0, one above 255 packs to 255.
QZ_INLINE_AVX2 void chromaBytes(__m256i sums, double scale, std::uint8_t* out) {
    const __m256d k = _mm256_set1_pd(scale), bias = _mm256_set1_pd(128.5);
    const __m256d vlo =
        _mm256_add_pd(bias, _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(sums)), k));
    const __m256d vhi = _mm256_add_pd(
        bias, _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(sums, 1)), k));
    const __m128i words = _mm_packus_epi32(_mm256_cvttpd_epi32(vlo), _mm256_cvttpd_epi32(vhi));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(words, words));
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
                __m256i r0, bl0, l0, r1, bl1, l1;
                loadPixels(rgb0 + 3 * at, out.y0 + at, r0, bl0, l0);
                loadPixels(rgb1 + 3 * at, out.y1 + at, r1, bl1, l1);
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
