// AVX-512F row conversions: lookups in the 128-entry tables (the YUV tables, and the component
// tables over the samples they tell apart) by register permutes, sixteen at a time, instead of
// gathers; the gamma lane tables, of 512 entries, by sixteen-lane gathers.
#include <cstring>

#include "video/colour_tables.h"
#include "video/dct/colour_rows.h"
#include "video/dct/dsp_constants.h"
#include "video/dct/table128_avx512.h"

#if QZ_X86_SIMD

namespace {

using namespace qzsimd;

// Index of a type-3 sample in the 128-entry tables: bits 17 to 23.
QZ_INLINE_AVX512 __m512i type3Index(__m512i sample) {
    return _mm512_and_si512(_mm512_srai_epi32(sample, dsp::packedIndexShift),
                            _mm512_set1_epi32(dsp::packedIndexMask));
}

// Stores 16 pixels: whole words, or the low 16 bits of each.
QZ_INLINE_AVX512 void storePixels(BYTE* dest, __m512i pixels, int pixelBytes) {
    if (pixelBytes == 4)
        _mm512_storeu_si512(dest, pixels);
    else
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dest), _mm512_cvtepi32_epi16(pixels));
}

// Eight values in both halves of a register.
QZ_INLINE_AVX512 __m512i bothHalves(const LONG* p) {
    return _mm512_broadcast_i64x4(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
}

// The pixel of a component sum in every lane: the three gamma lane entries ORed.
QZ_INLINE_AVX512 __m512i lanePixels(const GammaLaneTables& lanes, __m512i sum) {
    const __m512i field = _mm512_set1_epi32(dsp::laneFieldMask);
    const __m512i red =
        _mm512_i32gather_epi32(_mm512_srli_epi32(sum, dsp::redLaneShift), lanes.red, 4);
    const __m512i green = _mm512_i32gather_epi32(
        _mm512_and_si512(_mm512_srli_epi32(sum, dsp::greenLaneShift), field), lanes.green, 4);
    const __m512i blue = _mm512_i32gather_epi32(_mm512_and_si512(sum, field), lanes.blue, 4);
    return _mm512_or_si512(_mm512_or_si512(red, green), blue);
}

// Writes 32 pixels given as the left and the right pixels of 16 pairs: 32-bit pixels in order,
// or for 16-bit pixels the low half of each left and the high half of each right one.
QZ_INLINE_AVX512 void storePairs(__m512i left, __m512i right, BYTE* dest, int pixelBytes) {
    if (pixelBytes == 2) {
        const __m512i low = _mm512_set1_epi32(0xFFFF);
        _mm512_storeu_si512(
            dest, _mm512_or_si512(_mm512_and_si512(left, low), _mm512_andnot_si512(low, right)));
        return;
    }
    const __m512i a = _mm512_unpacklo_epi32(left, right); // pairs 0, 1 | 4, 5 | 8, 9 | 12, 13
    const __m512i b = _mm512_unpackhi_epi32(left, right); // pairs 2, 3 | 6, 7 | ...
    _mm512_storeu_si512(
        dest, _mm512_permutex2var_epi64(a, _mm512_setr_epi64(0, 1, 8, 9, 2, 3, 10, 11), b));
    _mm512_storeu_si512(
        dest + 64, _mm512_permutex2var_epi64(a, _mm512_setr_epi64(4, 5, 12, 13, 6, 7, 14, 15), b));
}

// 2 × sample limited to 0..255 as bytes: the sample limited to 0..128, doubled, narrowed with
// unsigned saturation.
QZ_INLINE_AVX512 __m128i clampTwice(__m512i s) {
    const __m512i limited =
        _mm512_min_epi32(_mm512_max_epi32(s, _mm512_setzero_si512()), _mm512_set1_epi32(128));
    return _mm512_cvtusepi32_epi8(_mm512_add_epi32(limited, limited));
}

} // namespace

QZ_TARGET_AVX512 void dorWordsToPixelsAvx512(const GammaLaneTables& lanes, const BYTE* words,
                                             BYTE* dest, int pixelBytes) {
    const Table128 y = loadTable(yComponent + dsp::componentOffset),
                   u = loadTable(uComponent + dsp::componentOffset),
                   v = loadTable(vComponent + dsp::componentOffset);
    const __m512i w = _mm512_loadu_si512(words);
    const __m512i byte = _mm512_set1_epi32(255);
    const __m512i chroma =
        _mm512_add_epi32(lookup(u, componentIndex(_mm512_and_si512(_mm512_srli_epi32(w, 8), byte))),
                         lookup(v, componentIndex(_mm512_and_si512(w, byte))));
    const __m512i left =
        _mm512_add_epi32(lookup(y, componentIndex(_mm512_srli_epi32(w, 24))), chroma);
    const __m512i right = _mm512_add_epi32(
        lookup(y, componentIndex(_mm512_and_si512(_mm512_srli_epi32(w, 16), byte))), chroma);
    storePairs(lanePixels(lanes, left), lanePixels(lanes, right), dest, pixelBytes);
}

QZ_INLINE_AVX512 void type4Row(const GammaLaneTables& lanes, const Table128& y, const Table128& u,
                               const Table128& v, const LONG* luma, const LONG* cb, const LONG* cr,
                               BYTE* dest, int pixelBytes) {
    // Lanes 0 to 7 the left pixels of the 8 pairs, lanes 8 to 15 the right ones.
    const __m512i split = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15);
    const __m512i samples = _mm512_permutexvar_epi32(split, load16(luma));
    const __m512i chroma = _mm512_add_epi32(lookup(u, componentIndex(bothHalves(cb))),
                                            lookup(v, componentIndex(bothHalves(cr))));
    const __m512i pixels =
        lanePixels(lanes, _mm512_add_epi32(lookup(y, componentIndex(samples)), chroma));
    const __m256i left = _mm512_castsi512_si256(pixels);
    const __m256i right = _mm512_extracti64x4_epi64(pixels, 1);
    if (pixelBytes == 2) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dest),
                            _mm256_blend_epi16(left, right, 0xAA));
        return;
    }
    const __m256i a = _mm256_unpacklo_epi32(left, right), b = _mm256_unpackhi_epi32(left, right);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dest), _mm256_permute2x128_si256(a, b, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dest + 32),
                        _mm256_permute2x128_si256(a, b, 0x31));
}

QZ_TARGET_AVX512 void type4MacroblockAvx512(const GammaLaneTables& lanes, const LONG* luma,
                                            const LONG* cb, const LONG* cr, BYTE* dest, LONG pitch,
                                            int pixelBytes, unsigned copiedRows) {
    const Table128 y = loadTable(yComponent + dsp::componentOffset),
                   u = loadTable(uComponent + dsp::componentOffset),
                   v = loadTable(vComponent + dsp::componentOffset);
    for (int r = 0; r < 16; ++r) {
        BYTE* out = dest + r * static_cast<std::ptrdiff_t>(pitch);
        if (copiedRows & (1u << r)) {
            std::memcpy(out, out - static_cast<std::ptrdiff_t>(pitch),
                        static_cast<std::size_t>(16 * pixelBytes));
            continue;
        }
        type4Row(lanes, y, u, v, luma + 16 * r, cb + 8 * (r >> 1), cr + 8 * (r >> 1), out,
                 pixelBytes);
    }
}

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

QZ_TARGET_AVX512 void type4Yuy2MacroblockAvx512(const LONG* luma, const LONG* cb, const LONG* cr,
                                                BYTE* dest, LONG pitch) {
    // Y0 U0 Y1 V0 ... from the row's luma (0-15) and its chroma row, Cb (16-23) then Cr (24-31).
    const __m512i firstHalf =
        _mm512_setr_epi32(0, 16, 1, 24, 2, 17, 3, 25, 4, 18, 5, 26, 6, 19, 7, 27);
    const __m512i secondHalf =
        _mm512_setr_epi32(8, 20, 9, 28, 10, 21, 11, 29, 12, 22, 13, 30, 14, 23, 15, 31);
    for (int r = 0; r < 16; ++r) {
        const __m512i y = load16(luma + 16 * r);
        const __m512i chroma = _mm512_inserti64x4(
            _mm512_castsi256_si512(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cb + 8 * (r >> 1)))),
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cr + 8 * (r >> 1))), 1);
        BYTE* out = dest + r * static_cast<std::ptrdiff_t>(pitch);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                         clampTwice(_mm512_permutex2var_epi32(y, firstHalf, chroma)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16),
                         clampTwice(_mm512_permutex2var_epi32(y, secondHalf, chroma)));
    }
}

#endif
