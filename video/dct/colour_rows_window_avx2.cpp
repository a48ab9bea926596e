// Colour conversions through the windowed byte tables (gamma 100 and above) with AVX2, for
// processors without the byte permutes of AVX-512 VBMI. As in those forms, a lane's window index
// is the luma sample (0..127) plus the chroma offset, with signed saturation, and a byte of the
// pixels is the OR of the window bytes of its lanes. A 128-entry window is looked up as eight
// 16-entry byte shuffles, one for each value of the index's bits 4 to 6, merged by three rounds of
// blends on those bits; a negative index makes every shuffle give zero, which is the window's
// byte there. Each gives exactly the table's entries, where the gathers of the AVX2 rows fetched
// every pixel's three entries one 32-bit lane at a time.
#include "video/dct/colour_rows.h"

#if QZ_X86_SIMD

#include <immintrin.h>

namespace {

QZ_INLINE_AVX2 void store32(BYTE* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// What the lookups of one index share: the index and its bits 4, 5 and 6 each moved to bit 7
// of its byte, where the blends read them (a 16-bit shift carries the low byte's bits into the
// high byte's bits 0 to 2 only, which the blends ignore).
struct WindowIndex {
    __m256i index, bit4, bit5, bit6;
};

QZ_INLINE_AVX2 WindowIndex windowIndex(__m256i index) {
    return {index, _mm256_slli_epi16(index, 3), _mm256_slli_epi16(index, 2),
            _mm256_slli_epi16(index, 1)};
}

// window[index] for 32 bytes (zero where the index is negative).
QZ_INLINE_AVX2 __m256i lookup128(const void* window, const WindowIndex& w) {
    const auto* p = static_cast<const __m128i*>(window);
    __m256i part[8];
#pragma GCC unroll 8
    for (int k = 0; k < 8; ++k)
        part[k] = _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(_mm_loadu_si128(p + k)), w.index);
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) part[k] = _mm256_blendv_epi8(part[2 * k], part[2 * k + 1], w.bit4);
    part[0] = _mm256_blendv_epi8(part[0], part[1], w.bit5);
    part[1] = _mm256_blendv_epi8(part[2], part[3], w.bit5);
    return _mm256_blendv_epi8(part[0], part[1], w.bit6);
}

// The window offset of lane l: the parts of both chroma samples (u and v) added with signed
// saturation; a part that is the same for every sample is not looked up.
QZ_INLINE_AVX2 __m256i windowOffset(const ByteLaneTables& t, int l, const WindowIndex& u,
                                    const WindowIndex& v) {
    __m256i parts[2];
#pragma GCC unroll 2
    for (int c = 0; c < 2; ++c)
        parts[c] = ((t.chromaVaries[c] >> l) & 1)
                       ? lookup128(t.windowChroma[c][l], c == 0 ? u : v)
                       : _mm256_set1_epi8(static_cast<char>(t.windowChroma[c][l][0]));
    return _mm256_adds_epi8(parts[0], parts[1]);
}

// Byte j of the pixels of the lanes' window indices; with oddLines, 2 index + 1 where the index
// is not negative.
template <bool oddLines>
QZ_INLINE_AVX2 __m256i windowByte(const ByteLaneTables& t, const WindowIndex index[3], int j) {
    if constexpr (oddLines) {
#pragma GCC unroll 4
        for (int l = 0; l < 3; ++l) {
            if (((t.lanesOfByte[j] >> l) & 1) == 0) continue;
            const __m256i i = index[l].index;
            const __m256i odd = _mm256_add_epi8(_mm256_add_epi8(i, i), _mm256_set1_epi8(1));
            return _mm256_andnot_si256(_mm256_cmpgt_epi8(_mm256_setzero_si256(), i), odd);
        }
        return _mm256_setzero_si256();
    }
    __m256i r = _mm256_setzero_si256();
#pragma GCC unroll 4
    for (int l = 0; l < 3; ++l)
        if ((t.lanesOfByte[j] >> l) & 1)
            r = _mm256_or_si256(r, lookup128(t.window[l][j], index[l]));
    return r;
}

// Bytes j and j + 1 of the entries of the window indices as words: out[0] from the first eight
// bytes of each 128-bit half, out[1] from the last eight.
QZ_INLINE_AVX2 void entryWords(const ByteLaneTables& t, const WindowIndex index[3], int j,
                               __m256i out[2]) {
    const __m256i low = windowByte<false>(t, index, j), high = windowByte<false>(t, index, j + 1);
    out[0] = _mm256_unpacklo_epi8(low, high);
    out[1] = _mm256_unpackhi_epi8(low, high);
}

// The ramps of the tables as vectors, made once for many pixels: for each half and lane, the
// add, the shift and its byte mask, the top and the position.
struct RampLane {
    __m256i add, mask, top;
    __m128i shift, position;
    bool used;
};
struct RampVectors {
    RampLane lane[2][3];
};

QZ_INLINE_AVX2 void rampVectors(const ByteLaneTables& t, RampVectors& out) {
    for (int h = 0; h < 2; ++h)
        for (int l = 0; l < 3; ++l) {
            const ByteRamp& r = t.ramp[h][l];
            out.lane[h][l] = {_mm256_set1_epi8(r.add),
                              _mm256_set1_epi8(static_cast<char>(0xFF >> r.shift)),
                              _mm256_set1_epi8(static_cast<char>(r.top)),
                              _mm_cvtsi32_si128(r.shift),
                              _mm_cvtsi32_si128(r.position),
                              r.top != 0};
        }
}

// The same words as entryWords where the tables are ramps: each lane's part computed from its
// index in bytes (a 16-bit shift right, its carries from the byte above masked off), then
// widened and moved to its place.
QZ_INLINE_AVX2 void rampWords(const RampVectors& ramps, const WindowIndex index[3], int j,
                              __m256i out[2]) {
    const __m256i zero = _mm256_setzero_si256();
    out[0] = out[1] = zero;
#pragma GCC unroll 4
    for (int l = 0; l < 3; ++l) {
        const RampLane& r = ramps.lane[j / 2][l];
        if (!r.used) continue;
        const __m256i sum = _mm256_max_epi8(_mm256_adds_epi8(index[l].index, r.add), zero);
        const __m256i part =
            _mm256_min_epu8(_mm256_and_si256(_mm256_srl_epi16(sum, r.shift), r.mask), r.top);
        out[0] =
            _mm256_or_si256(out[0], _mm256_sll_epi16(_mm256_unpacklo_epi8(part, zero), r.position));
        out[1] =
            _mm256_or_si256(out[1], _mm256_sll_epi16(_mm256_unpackhi_epi8(part, zero), r.position));
    }
}

// Whether the bytes of pixels of pixelBytes are computed from the window indices (oddLines for
// 4-byte pixels, ramps for 2-byte ones) rather than looked up.
inline bool computedBytes(const ByteLaneTables& t, int pixelBytes) {
    return pixelBytes == 4 ? t.oddLines : t.ramps;
}

// The halves of the entries as words, computed (ramps set) or looked up.
template <bool computed>
QZ_INLINE_AVX2 void halfWords(const ByteLaneTables& t, const RampVectors* ramps,
                              const WindowIndex index[3], int j, __m256i out[2]) {
    if constexpr (computed)
        rampWords(*ramps, index, j, out);
    else
        entryWords(t, index, j, out);
}

// The whole entries of the window indices as dwords: out[k] from bytes 4 k to 4 k + 3 of each
// 128-bit half.
template <bool oddLines>
QZ_INLINE_AVX2 void entryDwords(const ByteLaneTables& t, const WindowIndex index[3],
                                __m256i out[4]) {
    const __m256i b0 = windowByte<oddLines>(t, index, 0), b1 = windowByte<oddLines>(t, index, 1);
    const __m256i b2 = windowByte<oddLines>(t, index, 2), b3 = windowByte<oddLines>(t, index, 3);
    const __m256i a0 = _mm256_unpacklo_epi8(b0, b1), a1 = _mm256_unpackhi_epi8(b0, b1);
    const __m256i c0 = _mm256_unpacklo_epi8(b2, b3), c1 = _mm256_unpackhi_epi8(b2, b3);
    out[0] = _mm256_unpacklo_epi16(a0, c0);
    out[1] = _mm256_unpackhi_epi16(a0, c0);
    out[2] = _mm256_unpacklo_epi16(a1, c1);
    out[3] = _mm256_unpackhi_epi16(a1, c1);
}

// 32 samples (a[0..7], b, c, d in a row) limited to 0..127, as bytes in the same order.
QZ_INLINE_AVX2 __m256i limitedBytes(const LONG* a, const LONG* b, const LONG* c, const LONG* d) {
    const __m256i ab = _mm256_packs_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(a)),
                                          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b)));
    const __m256i cd = _mm256_packs_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(c)),
                                          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d)));
    // The packs work within each 128-bit half: four samples of a, b, c, d in turn in each.
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(ab, cd), order);
    return _mm256_min_epu8(bytes, _mm256_set1_epi8(127));
}

// The window offsets (the two chroma parts added with signed saturation) of the macroblock's 64
// chroma samples, for each lane.
struct ChromaOffsets {
    alignas(32) std::int8_t lane[3][64];
};

QZ_INLINE_AVX2 void chromaOffsets(const ByteLaneTables& t, const LONG* cb, const LONG* cr,
                                  ChromaOffsets& out) {
#pragma GCC unroll 2
    for (int h = 0; h < 2; ++h) {
        const LONG* u = cb + 32 * h;
        const LONG* v = cr + 32 * h;
        const WindowIndex ui = windowIndex(limitedBytes(u, u + 8, u + 16, u + 24));
        const WindowIndex vi = windowIndex(limitedBytes(v, v + 8, v + 16, v + 24));
#pragma GCC unroll 4
        for (int l = 0; l < 3; ++l) {
            const __m256i sum = windowOffset(t, l, ui, vi);
            store32(reinterpret_cast<BYTE*>(out.lane[l] + 32 * h), sum);
        }
    }
}

// 2-byte pixels, four rows from row 4 q (chroma rows 2 q and 2 q + 1): a pair's left pixel takes
// bytes 0 and 1 of its entry, the right one bytes 2 and 3, so the left pixels of the four rows
// are looked up in one register and the right ones in another, each for the two bytes it takes.
template <bool computed>
QZ_INLINE_AVX2 void type4Rows16(const ByteLaneTables& t, const RampVectors* ramps, const LONG* luma,
                                const ChromaOffsets& offsets, int q, BYTE* out,
                                std::ptrdiff_t pitch) {
    const LONG* rows = luma + 64 * q;
    // Each row's left pixels, then its right ones, within each 128-bit half.
    const __m256i sides = _mm256_setr_epi8(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15, 0,
                                           2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15);
    const __m256i a =
        _mm256_shuffle_epi8(limitedBytes(rows, rows + 8, rows + 16, rows + 24), sides);
    const __m256i b =
        _mm256_shuffle_epi8(limitedBytes(rows + 32, rows + 40, rows + 48, rows + 56), sides);
    // Rows 0 and 2 in the lower half, 1 and 3 in the upper one: chroma rows 2 q and 2 q + 1 in
    // both halves.
    const __m256i samples[2] = {_mm256_unpacklo_epi64(a, b), _mm256_unpackhi_epi64(a, b)};
    WindowIndex index[2][3];
#pragma GCC unroll 4
    for (int l = 0; l < 3; ++l) {
        const __m256i chroma = _mm256_broadcastsi128_si256(
            _mm_load_si128(reinterpret_cast<const __m128i*>(offsets.lane[l] + 16 * q)));
        index[0][l] = windowIndex(_mm256_adds_epi8(samples[0], chroma));
        index[1][l] = windowIndex(_mm256_adds_epi8(samples[1], chroma));
    }
    // Words of the left pixels of rows 0 and 1 (lower and upper half), and of rows 2 and 3; the
    // same of the right pixels.
    __m256i left[2], right[2];
    halfWords<computed>(t, ramps, index[0], 0, left);
    halfWords<computed>(t, ramps, index[1], 2, right);
#pragma GCC unroll 2
    for (int k = 0; k < 2; ++k) {
        const __m256i first = _mm256_unpacklo_epi16(left[k], right[k]); // pixels 0-7
        const __m256i second = _mm256_unpackhi_epi16(left[k], right[k]);
        store32(out + 2 * k * pitch, _mm256_permute2x128_si256(first, second, 0x20));
        store32(out + (2 * k + 1) * pitch, _mm256_permute2x128_si256(first, second, 0x31));
    }
}

// 4-byte pixels, rows 2 i and 2 i + 1 (chroma row i), each pixel's whole entry.
template <bool oddLines>
QZ_INLINE_AVX2 void type4Rows32(const ByteLaneTables& t, const LONG* luma,
                                const ChromaOffsets& offsets, int i, BYTE* out,
                                std::ptrdiff_t pitch) {
    const LONG* rows = luma + 32 * i;
    const __m256i samples = limitedBytes(rows, rows + 8, rows + 16, rows + 24);
    // Each chroma offset twice, for the two pixels of its pair, in both halves.
    const __m256i twice = _mm256_setr_epi8(0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 0, 0, 1,
                                           1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7);
    WindowIndex index[3];
#pragma GCC unroll 4
    for (int l = 0; l < 3; ++l) {
        const __m128i row =
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(offsets.lane[l] + 8 * i));
        const __m256i chroma = _mm256_shuffle_epi8(_mm256_broadcastq_epi64(row), twice);
        index[l] = windowIndex(_mm256_adds_epi8(samples, chroma));
    }
    // Pixels 0-3, 4-7, 8-11 and 12-15 of the first row in the lower halves, of the second in the
    // upper ones.
    __m256i q[4];
    entryDwords<oddLines>(t, index, q);
    store32(out, _mm256_permute2x128_si256(q[0], q[1], 0x20));
    store32(out + 32, _mm256_permute2x128_si256(q[2], q[3], 0x20));
    store32(out + pitch, _mm256_permute2x128_si256(q[0], q[1], 0x31));
    store32(out + pitch + 32, _mm256_permute2x128_si256(q[2], q[3], 0x31));
}

} // namespace

QZ_TARGET_AVX2 void type4MacroblockWindowAvx2(const ByteLaneTables& bytes, const LONG* luma,
                                              const LONG* cb, const LONG* cr, BYTE* dest,
                                              LONG pitch, int pixelBytes, unsigned halves) {
    ChromaOffsets offsets;
    chromaOffsets(bytes, cb, cr, offsets);
    const std::ptrdiff_t p = pitch;
    const bool computed = computedBytes(bytes, pixelBytes);
    if (pixelBytes == 2) {
        RampVectors ramps;
        if (computed) rampVectors(bytes, ramps);
        for (int q = 0; q < 4; ++q) {
            if (((halves >> (q / 2)) & 1) == 0) continue;
            if (computed)
                type4Rows16<true>(bytes, &ramps, luma, offsets, q, dest + 4 * q * p, p);
            else
                type4Rows16<false>(bytes, &ramps, luma, offsets, q, dest + 4 * q * p, p);
        }
        return;
    }
    for (int i = 0; i < 8; ++i) {
        if (((halves >> (i / 4)) & 1) == 0) continue;
        if (computed)
            type4Rows32<true>(bytes, luma, offsets, i, dest + 2 * i * p, p);
        else
            type4Rows32<false>(bytes, luma, offsets, i, dest + 2 * i * p, p);
    }
}

namespace {

// computed: the bytes are computed from the indices (oddLines for 4-byte pixels, ramps for
// 2-byte ones), not looked up.
template <bool computed>
QZ_INLINE_AVX2 void dorWindows(const ByteLaneTables& bytes, const RampVectors* ramps,
                               const BYTE* words, BYTE* dest, int pixelBytes) {
    // Each word: V, U, right luma, left luma. Within each 128-bit half, the four words' bytes
    // grouped by kind; then the kinds of the four registers gathered: byte 16 h + 4 g + k of
    // each kind's register is of word 8 g + 4 h + k.
    const __m256i kinds = _mm256_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 0,
                                           4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    __m256i w[4];
#pragma GCC unroll 4
    for (int g = 0; g < 4; ++g)
        w[g] = _mm256_shuffle_epi8(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words + 32 * g)), kinds);
    const __m256i t0 = _mm256_unpacklo_epi32(w[0], w[1]), t1 = _mm256_unpackhi_epi32(w[0], w[1]);
    const __m256i t2 = _mm256_unpacklo_epi32(w[2], w[3]), t3 = _mm256_unpackhi_epi32(w[2], w[3]);
    const __m256i limit = _mm256_set1_epi8(127);
    const WindowIndex v = windowIndex(_mm256_min_epu8(_mm256_unpacklo_epi64(t0, t2), limit));
    const WindowIndex u = windowIndex(_mm256_min_epu8(_mm256_unpackhi_epi64(t0, t2), limit));
    const __m256i right = _mm256_min_epu8(_mm256_unpacklo_epi64(t1, t3), limit);
    const __m256i left = _mm256_min_epu8(_mm256_unpackhi_epi64(t1, t3), limit);
    WindowIndex leftIndex[3], rightIndex[3];
#pragma GCC unroll 4
    for (int l = 0; l < 3; ++l) {
        const __m256i offset = windowOffset(bytes, l, u, v);
        leftIndex[l] = windowIndex(_mm256_adds_epi8(left, offset));
        rightIndex[l] = windowIndex(_mm256_adds_epi8(right, offset));
    }
    if (pixelBytes == 2) {
        // The left pixel takes bytes 0 and 1 of its entry, the right one bytes 2 and 3.
        __m256i leftWords[2], rightWords[2];
        halfWords<computed>(bytes, ramps, leftIndex, 0, leftWords);
        halfWords<computed>(bytes, ramps, rightIndex, 2, rightWords);
        // Pairs of words 8 g to 8 g + 7, in order.
#pragma GCC unroll 2
        for (int k = 0; k < 2; ++k) {
            store32(dest + 64 * k, _mm256_unpacklo_epi16(leftWords[k], rightWords[k]));
            store32(dest + 64 * k + 32, _mm256_unpackhi_epi16(leftWords[k], rightWords[k]));
        }
        return;
    }
    __m256i pixels[2][4]; // left, right: the pixels of words 8 g to 8 g + 7 (halves as above)
    entryDwords<computed>(bytes, leftIndex, pixels[0]);
    entryDwords<computed>(bytes, rightIndex, pixels[1]);
#pragma GCC unroll 4
    for (int g = 0; g < 4; ++g) {
        // Words 8 g, 8 g + 1 (lower half) and 8 g + 4, 8 g + 5 (upper half); then + 2 and + 3.
        const __m256i first = _mm256_unpacklo_epi32(pixels[0][g], pixels[1][g]);
        const __m256i second = _mm256_unpackhi_epi32(pixels[0][g], pixels[1][g]);
        store32(dest + 64 * g, _mm256_permute2x128_si256(first, second, 0x20));
        store32(dest + 64 * g + 32, _mm256_permute2x128_si256(first, second, 0x31));
    }
}

// Steps of 32 picture words to 64 pixels, with the ramps' vectors made once for them all.
template <bool computed, int pixelBytes>
QZ_INLINE_AVX2 void dorSteps(const ByteLaneTables& bytes, const BYTE* words, BYTE* dest,
                             int steps) {
    RampVectors ramps;
    if constexpr (computed && pixelBytes == 2) rampVectors(bytes, ramps);
    for (int i = 0; i < steps; ++i)
        dorWindows<computed>(bytes, &ramps, words + 128 * i, dest + 64 * pixelBytes * i,
                             pixelBytes);
}

} // namespace

QZ_TARGET_AVX2 void dorWordsToPixelsWindowAvx2(const ByteLaneTables& bytes, const BYTE* words,
                                               BYTE* dest, int pixelBytes, int steps) {
    const bool computed = computedBytes(bytes, pixelBytes);
    if (pixelBytes == 4 && computed)
        dorSteps<true, 4>(bytes, words, dest, steps);
    else if (pixelBytes == 4)
        dorSteps<false, 4>(bytes, words, dest, steps);
    else if (computed)
        dorSteps<true, 2>(bytes, words, dest, steps);
    else
        dorSteps<false, 2>(bytes, words, dest, steps);
}

#endif
