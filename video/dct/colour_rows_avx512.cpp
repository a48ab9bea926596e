// AVX-512F row conversions: lookups in the 128-entry tables (the YUV tables, and the component
// tables over the samples they tell apart) by register permutes, sixteen at a time, instead of
// gathers; the gamma lane tables, of 512 entries, by sixteen-lane gathers.
#include "display/colour_tables.h"
#include "video/dct/colour_rows.h"

#if QZ_X86_SIMD

// GCC 12 warns of an uninitialised value inside its own AVX-512 intrinsics (their unused
// merge operand); the warning is off for them.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#define QZ_TARGET_AVX512 __attribute__((target("avx2,avx512f")))
#define QZ_INLINE_AVX512 __attribute__((target("avx2,avx512f"), always_inline)) inline

namespace {

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

// Index of a type-3 sample in the 128-entry tables: bits 17 to 23.
QZ_INLINE_AVX512 __m512i type3Index(__m512i sample) {
    return _mm512_and_si512(_mm512_srai_epi32(sample, 17), _mm512_set1_epi32(127));
}

// Stores 16 pixels: whole words, or the low 16 bits of each.
QZ_INLINE_AVX512 void storePixels(BYTE* dest, __m512i pixels, int pixelBytes) {
    if (pixelBytes == 4)
        _mm512_storeu_si512(dest, pixels);
    else
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dest), _mm512_cvtepi32_epi16(pixels));
}

} // namespace

QZ_TARGET_AVX512 void type3MacroblockAvx512(const LONG* luma, const LONG* cb, const LONG* cr,
                                            BYTE* dest, LONG pitch, int pixelBytes) {
    const Table128 y = loadTable(yTable), u = loadTable(uTable), v = loadTable(vTable);
    // Chroma entry j of a row spread over the pixel pair 2j, 2j + 1; the upper half of the
    // register holds the next chroma row.
    const __m512i firstRow = _mm512_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7);
    const __m512i secondRow = _mm512_add_epi32(firstRow, _mm512_set1_epi32(8));
    for (int i = 0; i < 8; i += 2) {
        // Chroma rows i and i + 1, for luma rows 2i to 2i + 3.
        const __m512i chroma = _mm512_add_epi32(lookup(u, type3Index(load16(cb + 8 * i))),
                                                lookup(v, type3Index(load16(cr + 8 * i))));
        for (int k = 0; k < 4; ++k) {
            const int r = 2 * i + k;
            const __m512i spread = _mm512_permutexvar_epi32(k < 2 ? firstRow : secondRow, chroma);
            const __m512i pixels =
                _mm512_add_epi32(lookup(y, type3Index(load16(luma + 16 * r))), spread);
            storePixels(dest + r * static_cast<std::ptrdiff_t>(pitch), pixels, pixelBytes);
        }
    }
}

#endif
