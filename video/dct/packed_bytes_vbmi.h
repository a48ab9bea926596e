// Four registers of sixteen 32-bit values packed to one register of bytes limited to 0..127, by
// two saturating packs to words and one to unsigned bytes, for the byte-permute forms; and where
// each value lands, for the byte orders of their permutes.
#pragma once

#include "video/dct/simd_switch.h"

#if QZ_X86_SIMD

#include "video/dct/avx512_intrinsics.h"

namespace qzsimd {

// The byte that value n (16 j + 4 k + i: lane i of quarter k of register j) lands in.
constexpr int packedPosition(int n) {
    return 16 * ((n % 16) / 4) + 4 * (n / 16) + n % 4;
}

QZ_INLINE_VBMI __m512i packedLimited(__m512i a, __m512i b, __m512i c, __m512i d) {
    const __m512i ab = _mm512_packs_epi32(a, b), cd = _mm512_packs_epi32(c, d);
    return _mm512_min_epu8(_mm512_packus_epi16(ab, cd), _mm512_set1_epi8(127));
}

} // namespace qzsimd

#endif
