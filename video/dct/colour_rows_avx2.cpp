// AVX2 row conversions: table entries fetched eight at a time with gathers, sums in 32-bit lanes
// (wrapping as the scalar sums do), pixels reordered with shuffles.
#include "video/colour_tables.h"
#include "video/dct/colour_rows.h"
#include "video/dct/dsp_constants.h"

#if QZ_X86_SIMD

#include <immintrin.h>

namespace {

QZ_INLINE_AVX2 __m256i load8(const LONG* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

QZ_INLINE_AVX2 void store8(BYTE* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// table[index] in every lane.
template <class T> QZ_INLINE_AVX2 __m256i gather(const T* table, __m256i index) {
    return _mm256_i32gather_epi32(reinterpret_cast<const int*>(table), index, 4);
}

// The pixel of a component sum in every lane: the three gamma lane entries ORed.
QZ_INLINE_AVX2 __m256i lanePixels(const GammaLaneTables& lanes, __m256i sum) {
    const __m256i field = _mm256_set1_epi32(dsp::laneFieldMask);
    const __m256i red = gather(lanes.red, _mm256_srli_epi32(sum, dsp::redLaneShift));
    const __m256i green =
        gather(lanes.green, _mm256_and_si256(_mm256_srli_epi32(sum, dsp::greenLaneShift), field));
    const __m256i blue = gather(lanes.blue, _mm256_and_si256(sum, field));
    return _mm256_or_si256(_mm256_or_si256(red, green), blue);
}

// Writes 16 pixels given as the left (even) and right (odd) pixels of 8 pairs: 32-bit pixels in
// order, or for 16-bit pixels the low half of each left and the high half of each right one.
QZ_INLINE_AVX2 void storePairs(__m256i left, __m256i right, BYTE* dest, int pixelBytes) {
    if (pixelBytes == 2) {
        store8(dest, _mm256_blend_epi16(left, right, 0xAA));
        return;
    }
    const __m256i low = _mm256_unpacklo_epi32(left, right);  // pairs 0, 1 | 4, 5
    const __m256i high = _mm256_unpackhi_epi32(left, right); // pairs 2, 3 | 6, 7
    store8(dest, _mm256_permute2x128_si256(low, high, 0x20));
    store8(dest + 32, _mm256_permute2x128_si256(low, high, 0x31));
}

// The even and the odd samples of a row of 16.
QZ_INLINE_AVX2 void splitPairs(const LONG* row, __m256i& even, __m256i& odd) {
    const __m256i order = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
    const __m256i a = _mm256_permutevar8x32_epi32(load8(row), order);
    const __m256i b = _mm256_permutevar8x32_epi32(load8(row + 8), order);
    even = _mm256_permute2x128_si256(a, b, 0x20);
    odd = _mm256_permute2x128_si256(a, b, 0x31);
}

// Entry 256 + s of a component table with s limited to the clamp's range.
QZ_INLINE_AVX2 __m256i componentIndex(__m256i sample) {
    const __m256i limited =
        _mm256_min_epi32(_mm256_max_epi32(sample, _mm256_set1_epi32(clampSampleMin)),
                         _mm256_set1_epi32(clampSampleMax));
    return _mm256_add_epi32(limited, _mm256_set1_epi32(dsp::componentOffset));
}

QZ_INLINE_AVX2 void type4Row(const GammaLaneTables& lanes, const LONG* luma, const LONG* cb,
                             const LONG* cr, BYTE* dest, int pixelBytes) {
    const __m256i chroma = _mm256_add_epi32(gather(uComponent, componentIndex(load8(cb))),
                                            gather(vComponent, componentIndex(load8(cr))));
    __m256i even, odd;
    splitPairs(luma, even, odd);
    const __m256i left = _mm256_add_epi32(gather(yComponent, componentIndex(even)), chroma);
    const __m256i right = _mm256_add_epi32(gather(yComponent, componentIndex(odd)), chroma);
    storePairs(lanePixels(lanes, left), lanePixels(lanes, right), dest, pixelBytes);
}

// Index of a type-3 sample in the 128-entry tables: bits 17 to 23.
QZ_INLINE_AVX2 __m256i type3Index(__m256i sample) {
    return _mm256_and_si256(_mm256_srai_epi32(sample, dsp::packedIndexShift),
                            _mm256_set1_epi32(dsp::packedIndexMask));
}

// 2 × sample limited to 0..255 as bytes: the sample narrowed with saturation to 0..255 (packs
// keep the order within each 128-bit half), then added to itself with unsigned saturation.
QZ_INLINE_AVX2 __m256i twiceBytes(__m256i words) {
    const __m256i bytes = _mm256_packus_epi16(words, words);
    return _mm256_adds_epu8(bytes, bytes);
}

} // namespace

QZ_TARGET_AVX2 void type4Yuy2MacroblockAvx2(const LONG* luma, const LONG* cb, const LONG* cr,
                                            BYTE* dest, LONG pitch) {
    const std::ptrdiff_t p = pitch;
    for (int i = 0; i < 8; ++i) { // rows 2 i and 2 i + 1, which share chroma row i
        // Cb then Cr of the row as words, then as bytes in the low half of each 128-bit half.
        const __m256i chromaWords = _mm256_permute4x64_epi64(
            _mm256_packs_epi32(load8(cb + 8 * i), load8(cr + 8 * i)), 0xD8);
        const __m256i chroma = twiceBytes(chromaWords);
        const __m128i uv =
            _mm_unpacklo_epi8(_mm256_castsi256_si128(chroma), _mm256_extracti128_si256(chroma, 1));
        const __m256i pairs = _mm256_broadcastsi128_si256(uv); // U0 V0 U1 V1 ... in both halves
        // The luma of both rows: the first in the lower halves, the second in the upper ones.
        const LONG* rows = luma + 32 * i;
        const __m256i a =
            _mm256_permute4x64_epi64(_mm256_packs_epi32(load8(rows), load8(rows + 8)), 0xD8);
        const __m256i b =
            _mm256_permute4x64_epi64(_mm256_packs_epi32(load8(rows + 16), load8(rows + 24)), 0xD8);
        const __m256i bytes = _mm256_packus_epi16(a, b);
        const __m256i y = _mm256_permute4x64_epi64(_mm256_adds_epu8(bytes, bytes), 0xD8);
        const __m256i first = _mm256_unpacklo_epi8(y, pairs);  // pixels 0-7 of both rows
        const __m256i second = _mm256_unpackhi_epi8(y, pairs); // pixels 8-15
        BYTE* out = dest + 2 * i * p;
        store8(out, _mm256_permute2x128_si256(first, second, 0x20));
        store8(out + p, _mm256_permute2x128_si256(first, second, 0x31));
    }
}

QZ_TARGET_AVX2 void type3MacroblockAvx2(const LONG* luma, const LONG* cb, const LONG* cr,
                                        BYTE* dest, LONG pitch, int pixelBytes) {
    for (int i = 0; i < 8; ++i) {
        const __m256i chroma = _mm256_add_epi32(gather(uTable, type3Index(load8(cb + 8 * i))),
                                                gather(vTable, type3Index(load8(cr + 8 * i))));
        for (int r = 2 * i; r < 2 * i + 2; ++r) {
            __m256i even, odd;
            splitPairs(luma + 16 * r, even, odd);
            const __m256i left = _mm256_add_epi32(gather(yTable, type3Index(even)), chroma);
            const __m256i right = _mm256_add_epi32(gather(yTable, type3Index(odd)), chroma);
            BYTE* row = dest + r * static_cast<std::ptrdiff_t>(pitch);
            if (pixelBytes == 4) {
                storePairs(left, right, row, 4);
            } else {
                // Each pixel's low 16 bits, in order.
                const __m256i low = _mm256_and_si256(left, _mm256_set1_epi32(0xFFFF));
                store8(row, _mm256_or_si256(low, _mm256_slli_epi32(right, 16)));
            }
        }
    }
}

namespace {

// The 8-bit luma y = (2n + 1) ^ 128 of a sample's table index n (its bits 17 to 23), from its
// bits 16 to 23: those bits with bit 16 cleared (keep), then ^ 0x81 (flip).
QZ_INLINE_AVX2 __m256i type3LumaBytes(__m256i bits, __m256i keep, __m256i flip) {
    return _mm256_xor_si256(_mm256_and_si256(bits, keep), flip);
}

// 16 luma entries (low halves) of a row of 2-byte pixels, in pixel order.
QZ_INLINE_AVX2 __m256i type3Luma16(const Type3Luma& type3, const __m256i ramps[3][4],
                                   const LONG* row) {
    const __m256i words =
        _mm256_permute4x64_epi64(_mm256_packs_epi32(_mm256_srai_epi32(load8(row), 16),
                                                    _mm256_srai_epi32(load8(row + 8), 16)),
                                 0xD8);
    const __m256i y = type3LumaBytes(words, _mm256_set1_epi16(0xFE), _mm256_set1_epi16(0x81));
    __m256i sum = _mm256_set1_epi16(static_cast<short>(type3.base));
    for (int c = 0; c < 3; ++c) {
        const __m256i part = _mm256_min_epu16(
            _mm256_srl_epi16(_mm256_add_epi16(y, ramps[c][0]), _mm256_castsi256_si128(ramps[c][1])),
            ramps[c][2]);
        sum = _mm256_add_epi16(sum, _mm256_sll_epi16(part, _mm256_castsi256_si128(ramps[c][3])));
    }
    return sum;
}

} // namespace

QZ_TARGET_AVX2 void type3MacroblockComputedAvx2(const Type3Colour& colour, const LONG* luma,
                                                const LONG* cb, const LONG* cr, BYTE* dest,
                                                LONG pitch, int pixelBytes) {
    const Type3Luma& type3 = colour.luma;
    // Each ramp's add, shift count, top and position, for the 2-byte form.
    __m256i ramps[3][4];
    for (int c = 0; c < 3; ++c) {
        const ByteRamp& r = type3.ramp[c];
        ramps[c][0] = _mm256_set1_epi16(r.add);
        ramps[c][1] = _mm256_castsi128_si256(_mm_cvtsi32_si128(r.shift));
        ramps[c][2] = _mm256_set1_epi16(r.top);
        ramps[c][3] = _mm256_castsi128_si256(_mm_cvtsi32_si128(r.position));
    }
    // 4-byte pixels: bits 16 to 23 of a sample copied into bytes 0 to 2 of its lane.
    const __m256i spread =
        _mm256_setr_epi8(2, 2, 2, -1, 6, 6, 6, -1, 10, 10, 10, -1, 14, 14, 14, -1, 2, 2, 2, -1, 6,
                         6, 6, -1, 10, 10, 10, -1, 14, 14, 14, -1);
    const __m256i base = _mm256_set1_epi32(static_cast<int>(type3.base));
    for (int i = 0; i < 8; ++i) {
        // The chroma parts of pairs 0 to 7.
        const __m256i chroma =
            gather(colour.chroma.data(),
                   _mm256_add_epi32(_mm256_slli_epi32(type3Index(load8(cb + 8 * i)), 7),
                                    type3Index(load8(cr + 8 * i))));
        if (pixelBytes == 4) {
            // Pixels 0 to 7 and 8 to 15: the entries of pairs 0 to 3 and 4 to 7, each twice,
            // with the base added.
            const __m256i lo = _mm256_unpacklo_epi32(chroma, chroma); // pairs 0, 1 | 4, 5
            const __m256i hi = _mm256_unpackhi_epi32(chroma, chroma); // pairs 2, 3 | 6, 7
            const __m256i pairs[2] = {
                _mm256_add_epi32(_mm256_permute2x128_si256(lo, hi, 0x20), base),
                _mm256_add_epi32(_mm256_permute2x128_si256(lo, hi, 0x31), base)};
            for (int r = 2 * i; r < 2 * i + 2; ++r) {
                BYTE* row = dest + r * static_cast<std::ptrdiff_t>(pitch);
                for (int h = 0; h < 2; ++h) {
                    const __m256i bits = _mm256_shuffle_epi8(load8(luma + 16 * r + 8 * h), spread);
                    const __m256i y = type3LumaBytes(bits, _mm256_set1_epi32(0x00FEFEFE),
                                                     _mm256_set1_epi32(0x00818181));
                    store8(row + 32 * h, _mm256_add_epi32(y, pairs[h]));
                }
            }
        } else {
            // Each pair's low half in both of its words.
            const __m256i pairs =
                _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(chroma, 0xA0), 0xA0);
            for (int r = 2 * i; r < 2 * i + 2; ++r)
                store8(dest + r * static_cast<std::ptrdiff_t>(pitch),
                       _mm256_add_epi16(type3Luma16(type3, ramps, luma + 16 * r), pairs));
        }
    }
}

QZ_TARGET_AVX2 void type4Rgb32RowAvx2(const GammaLaneTables& lanes, const LONG* luma,
                                      const LONG* cb, const LONG* cr, BYTE* dest) {
    type4Row(lanes, luma, cb, cr, dest, 4);
}

QZ_TARGET_AVX2 void type4Rgb16RowAvx2(const GammaLaneTables& lanes, const LONG* luma,
                                      const LONG* cb, const LONG* cr, BYTE* dest) {
    type4Row(lanes, luma, cb, cr, dest, 2);
}

QZ_TARGET_AVX2 void dorWordsToPixelsAvx2(const GammaLaneTables& lanes, const BYTE* words,
                                         BYTE* dest, int pixelBytes) {
    const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words));
    const __m256i byte = _mm256_set1_epi32(255);
    // A picture byte b picks entry 256 + b.
    const LONG* y = yComponent + dsp::componentOffset;
    const __m256i chroma = _mm256_add_epi32(
        gather(uComponent + dsp::componentOffset, _mm256_and_si256(_mm256_srli_epi32(w, 8), byte)),
        gather(vComponent + dsp::componentOffset, _mm256_and_si256(w, byte)));
    const __m256i left = _mm256_add_epi32(gather(y, _mm256_srli_epi32(w, 24)), chroma);
    const __m256i right =
        _mm256_add_epi32(gather(y, _mm256_and_si256(_mm256_srli_epi32(w, 16), byte)), chroma);
    storePairs(lanePixels(lanes, left), lanePixels(lanes, right), dest, pixelBytes);
}

#endif
