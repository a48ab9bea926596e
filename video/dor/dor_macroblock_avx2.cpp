// The DOR macroblock writer with AVX2: each picture row's eight words built in 32-bit lanes.
#include "video/dor/dor_macroblock.h"

#if QZ_X86_SIMD

#include <immintrin.h>

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

#endif
