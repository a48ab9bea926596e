// Lookups in 128-entry tables of 32-bit entries (the YUV tables, and the component tables over
// the samples they tell apart) by register permutes, sixteen lanes at a time, for the AVX-512
// colour conversions.
#pragma once

#include "video/dct/simd_switch.h"

#if QZ_X86_SIMD

#include "video/dct/avx512_intrinsics.h"

#include "platform/win32.h"

namespace qzsimd {

// A table of 128 entries held in eight registers.
struct Table128 {
    __m512i part[8];
};

QZ_INLINE_AVX512 Table128 loadTable(const LONG* table) {
    Table128 t;
    for (int i = 0; i < 8; ++i) t.part[i] = _mm512_loadu_si512(table + 16 * i);
    return t;
}

// t[index] in every lane, index 0 to 127: four two-register permutes on the low five bits,
// merged by bits 5 and 6.
QZ_INLINE_AVX512 __m512i lookup(const Table128& t, __m512i index) {
    const __m512i a = _mm512_permutex2var_epi32(t.part[0], index, t.part[1]);
    const __m512i b = _mm512_permutex2var_epi32(t.part[2], index, t.part[3]);
    const __m512i c = _mm512_permutex2var_epi32(t.part[4], index, t.part[5]);
    const __m512i d = _mm512_permutex2var_epi32(t.part[6], index, t.part[7]);
    const __mmask16 bit5 = _mm512_test_epi32_mask(index, _mm512_set1_epi32(32));
    const __mmask16 bit6 = _mm512_test_epi32_mask(index, _mm512_set1_epi32(64));
    return _mm512_mask_blend_epi32(bit6, _mm512_mask_blend_epi32(bit5, a, b),
                                   _mm512_mask_blend_epi32(bit5, c, d));
}

QZ_INLINE_AVX512 __m512i load16(const LONG* p) {
    return _mm512_loadu_si512(p);
}

// Entry 256 + s of a component table for s limited to 0..127: the tables are constant beyond
// that range on both sides, so this is the entry of the clamped sample. (A DOR picture byte b
// picks entry 256 + b, so it is such an s.)
QZ_INLINE_AVX512 __m512i componentIndex(__m512i sample) {
    return _mm512_min_epi32(_mm512_max_epi32(sample, _mm512_setzero_si512()),
                            _mm512_set1_epi32(127));
}

} // namespace qzsimd

#endif
