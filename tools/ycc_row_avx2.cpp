// The AVX2 forms of the Y4M writer's conversion, from R, G, B bytes and from xrgb8888 pixels:
// eight pixels an iteration, each sum of the plain form's integers in a 32-bit lane and divided
// by 255000 through a 64-bit product, so both write the same bytes. A group of eight holding an
// exact half (where the plain form takes the doubles' way) and the pixels left over go through
// the plain form.
#include "tools/image_writers.h"
#include "video/dct/simd_switch.h"

#if QZ_X86_SIMD
#include <immintrin.h>

namespace qztool {

namespace {

constexpr int scale = 255 * 1000, half = scale / 2;
// ⌈2^49 / 255000⌉: for every sum below 2^27, (sum × it) >> 49 is the sum over 255000 rounded
// down (the product's excess, below 2^-22, never reaches the next whole number).
constexpr long long reciprocal = ((1LL << 49) + scale - 1) / scale;

// Byte shuffles of 24 bytes of eight pixels loaded as bytes 0 to 15 and 8 to 23 (pixels 4 to 7
// at 4 to 15 of the upper lane): channel c of pixel i alone in its 32-bit lane.
struct ChannelPicks {
    alignas(32) std::int8_t channel[3][32];
    constexpr ChannelPicks() : channel{} {
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < 8; ++i) {
                channel[c][4 * i] = static_cast<std::int8_t>((i < 4 ? 3 * i : 3 * i - 8) + c);
                for (int k = 1; k < 4; ++k) channel[c][4 * i + k] = -1;
            }
    }
};
constexpr ChannelPicks picks;

QZ_INLINE_AVX2 __m256i pick(__m256i bytes, int c) {
    return _mm256_shuffle_epi8(
        bytes, _mm256_load_si256(reinterpret_cast<const __m256i*>(picks.channel[c])));
}

// The sum of the channels times the factors (thousandths over 255) plus offset × 255000 and a
// half, as the plain form makes it.
QZ_INLINE_AVX2 __m256i weighted(const __m256i rgb[3], int fr, int fg, int fb, int offset) {
    const __m256i r = _mm256_mullo_epi32(rgb[0], _mm256_set1_epi32(fr));
    const __m256i g = _mm256_mullo_epi32(rgb[1], _mm256_set1_epi32(fg));
    const __m256i b = _mm256_mullo_epi32(rgb[2], _mm256_set1_epi32(fb));
    return _mm256_add_epi32(_mm256_add_epi32(r, g),
                            _mm256_add_epi32(b, _mm256_set1_epi32(offset * scale + half)));
}

// The sums over 255000, rounded down, in the same lanes.
QZ_INLINE_AVX2 __m256i quotients(__m256i sums) {
    const __m256i factor = _mm256_set1_epi64x(reciprocal);
    const __m256i even = _mm256_srli_epi64(_mm256_mul_epu32(sums, factor), 49);
    const __m256i odd =
        _mm256_srli_epi64(_mm256_mul_epu32(_mm256_srli_epi64(sums, 32), factor), 49);
    return _mm256_or_si256(even, _mm256_slli_epi64(odd, 32));
}

// Lanes whose sum is a whole multiple of 255000: an exact half before the rounding.
QZ_INLINE_AVX2 __m256i exact(__m256i sums, __m256i q) {
    return _mm256_cmpeq_epi32(_mm256_mullo_epi32(q, _mm256_set1_epi32(scale)), sums);
}

// The eight quotients (0 to 255) as bytes at out.
QZ_INLINE_AVX2 void storeBytes(__m256i q, BYTE* out) {
    const __m256i words = _mm256_packus_epi32(q, q);
    const __m256i bytes = _mm256_packus_epi16(words, words);
    const __m128i both =
        _mm_unpacklo_epi32(_mm256_castsi256_si128(bytes), _mm256_extracti128_si256(bytes, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), both);
}

// Eight pixels whose R, G and B are each alone in the 32-bit lanes of channels, into the planes;
// false (nothing stored) when one of their sums is an exact half.
QZ_INLINE_AVX2 bool convertEight(const __m256i channels[3], BYTE* y, BYTE* cb, BYTE* cr) {
    const __m256i sy = weighted(channels, 65481, 128553, 24966, 16);
    const __m256i scb = weighted(channels, -37797, -74203, 112000, 128);
    const __m256i scr = weighted(channels, 112000, -93786, -18214, 128);
    const __m256i qy = quotients(sy), qcb = quotients(scb), qcr = quotients(scr);
    const __m256i halves =
        _mm256_or_si256(exact(sy, qy), _mm256_or_si256(exact(scb, qcb), exact(scr, qcr)));
    if (!_mm256_testz_si256(halves, halves)) return false;
    storeBytes(qy, y);
    storeBytes(qcb, cb);
    storeBytes(qcr, cr);
    return true;
}

} // namespace

QZ_TARGET_AVX2 void limitedYccRowAvx2(const std::uint8_t* rgb, int n, BYTE* y, BYTE* cb, BYTE* cr) {
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const std::uint8_t* p = rgb + 3 * i;
        const __m256i bytes = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8)), 1);
        const __m256i channels[3] = {pick(bytes, 0), pick(bytes, 1), pick(bytes, 2)};
        if (!convertEight(channels, y + i, cb + i, cr + i))
            limitedYccRowPlain(p, 8, y + i, cb + i, cr + i);
    }
    limitedYccRowPlain(rgb + 3 * i, n - i, y + i, cb + i, cr + i);
}

QZ_TARGET_AVX2 void limitedYccXrgbRowAvx2(const BYTE* bgrx, int n, BYTE* y, BYTE* cb, BYTE* cr) {
    const __m256i low = _mm256_set1_epi32(0xFF);
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i pixels = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bgrx + 4 * i));
        const __m256i channels[3] = {_mm256_and_si256(_mm256_srli_epi32(pixels, 16), low),
                                     _mm256_and_si256(_mm256_srli_epi32(pixels, 8), low),
                                     _mm256_and_si256(pixels, low)};
        if (!convertEight(channels, y + i, cb + i, cr + i))
            limitedYccXrgbRowPlain(bgrx + 4 * i, 8, y + i, cb + i, cr + i);
    }
    limitedYccXrgbRowPlain(bgrx + 4 * i, n - i, y + i, cb + i, cr + i);
}

} // namespace qztool

#endif
