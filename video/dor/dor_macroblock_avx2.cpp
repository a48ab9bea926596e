// The DOR macroblock writer and whole-macroblock prediction with AVX2: each picture row's eight
// words built in 32-bit lanes.
#include "video/dor/dor_macroblock.h"

#if QZ_X86_SIMD

#include <immintrin.h>

#include <cstdint>

namespace {

QZ_INLINE_AVX2 __m256i load8(const LONG* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// The picture byte of each slot: its integer part plus 64, limited to 0..127.
QZ_INLINE_AVX2 __m256i pictureBytes(__m256i slots) {
    const __m256i biased = _mm256_add_epi32(_mm256_srai_epi32(slots, 16), _mm256_set1_epi32(64));
    return _mm256_min_epi32(_mm256_max_epi32(biased, _mm256_setzero_si256()),
                            _mm256_set1_epi32(127));
}

// Per byte of a picture word: V's offset, U's, then the luma block's twice, each less 64,
// mod 256.
std::uint32_t wordOffsets(const LONG offsets[6], LONG luma) {
    auto byte = [](LONG v) { return static_cast<std::uint32_t>(v - 64) & 0xFF; };
    return byte(offsets[5]) | byte(offsets[4]) << 8 | byte(luma) << 16 | byte(luma) << 24;
}

// The offsets of a row of eight words: words 0 to 3 in luma block left, 4 to 7 in the next one.
QZ_INLINE_AVX2 __m256i rowOffsets(const LONG offsets[6], int left) {
    const auto l = static_cast<int>(wordOffsets(offsets, offsets[left]));
    const auto r = static_cast<int>(wordOffsets(offsets, offsets[left + 1]));
    return _mm256_setr_epi32(l, l, l, l, r, r, r, r);
}

} // namespace

QZ_TARGET_AVX2 void writeDorMacroblockAvx2(const LONG* luma, const LONG* u, const LONG* v,
                                           BYTE* dest, std::ptrdiff_t stride) {
    const __m256i order = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
    for (int r = 0; r < 16; ++r) {
        // Lane k: byte 0 V, byte 1 U, byte 2 the luma of pixel 2k + 1, byte 3 that of pixel 2k.
        const __m256i chroma =
            _mm256_or_si256(pictureBytes(load8(v + 8 * (r >> 1))),
                            _mm256_slli_epi32(pictureBytes(load8(u + 8 * (r >> 1))), 8));
        const __m256i a = _mm256_permutevar8x32_epi32(pictureBytes(load8(luma + 16 * r)), order);
        const __m256i b =
            _mm256_permutevar8x32_epi32(pictureBytes(load8(luma + 16 * r + 8)), order);
        const __m256i even = _mm256_permute2x128_si256(a, b, 0x20);
        const __m256i odd = _mm256_permute2x128_si256(a, b, 0x31);
        const __m256i words = _mm256_or_si256(
            chroma, _mm256_or_si256(_mm256_slli_epi32(odd, 16), _mm256_slli_epi32(even, 24)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dest + r * stride), words);
    }
}

QZ_TARGET_AVX2 void predictDorMacroblockAvx2(const BYTE* source, std::ptrdiff_t sourceStride,
                                             bool oddX, const LONG offsets[6], BYTE* dest,
                                             std::ptrdiff_t stride) {
    const __m256i top = rowOffsets(offsets, 0);
    const __m256i bottom = rowOffsets(offsets, 2);
    for (int r = 0; r < 16; ++r) {
        const BYTE* lumaRow = source + r * sourceStride;
        const __m256i chroma =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + (r & ~1) * sourceStride));
        __m256i luma = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lumaRow));
        if (oddX) {
            // Byte 3 from byte 2 of the same word, byte 2 from byte 3 of the next word.
            const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lumaRow + 4));
            luma = _mm256_or_si256(
                _mm256_and_si256(_mm256_slli_epi32(luma, 8), _mm256_set1_epi32(int(0xFF000000u))),
                _mm256_and_si256(_mm256_srli_epi32(next, 8), _mm256_set1_epi32(0x00FF0000)));
        }
        const __m256i words = _mm256_blend_epi16(chroma, luma, 0xAA); // luma in bytes 2, 3
        // (b + v - 64) mod 256 as a signed byte, plus 64, limited to 0..127.
        const __m256i sample = _mm256_add_epi8(words, r < 8 ? top : bottom);
        const __m256i picture =
            _mm256_max_epi8(_mm256_adds_epi8(sample, _mm256_set1_epi8(64)), _mm256_setzero_si256());
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dest + r * stride), picture);
    }
}

#endif
