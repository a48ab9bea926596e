// Colour conversions through the gamma lane tables cut into bytes: a 9-bit lane field looks up
// one byte of its entry in a 512-entry byte table with four two-register byte permutes, 64
// pixels at a time, merged by the field's bits 7 and 8. This replaces three sixteen-lane gathers
// a sixteen pixels by a few register operations, and gives exactly the gathered entries.
#include "video/colour_tables.h"
#include "video/dct/colour_rows.h"
#include "video/dct/dsp_constants.h"
#include "video/dct/table128_avx512.h"

#if QZ_X86_SIMD

namespace {

using namespace qzsimd;

// Byte-order constants of the permutes, built once.
struct Orders {
    // Byte 0 (first) or byte 2 (second) of each dword of two registers a and b: a's sixteen,
    // then b's; then byte 1 or byte 3 the same way.
    alignas(64) std::uint8_t dwordBytes[2][64];
    // Bytes of two registers interleaved: a0 b0 a1 b1 ... from the lower and the upper halves.
    alignas(64) std::uint8_t interleaveBytes[2][64];
    // Words of two registers interleaved, from their lower and upper halves.
    alignas(64) std::uint16_t interleaveWords[2][32];
};

constexpr Orders makeOrders() {
    Orders o{};
    for (int k = 0; k < 16; ++k) {
        for (int second = 0; second < 2; ++second) {
            const int b = 2 * second;
            o.dwordBytes[second][k] = static_cast<std::uint8_t>(4 * k + b);
            o.dwordBytes[second][16 + k] = static_cast<std::uint8_t>(64 + 4 * k + b);
            o.dwordBytes[second][32 + k] = static_cast<std::uint8_t>(4 * k + b + 1);
            o.dwordBytes[second][48 + k] = static_cast<std::uint8_t>(64 + 4 * k + b + 1);
        }
    }
    for (int h = 0; h < 2; ++h) {
        for (int k = 0; k < 32; ++k) {
            o.interleaveBytes[h][2 * k] = static_cast<std::uint8_t>(32 * h + k);
            o.interleaveBytes[h][2 * k + 1] = static_cast<std::uint8_t>(64 + 32 * h + k);
        }
        for (int k = 0; k < 16; ++k) {
            o.interleaveWords[h][2 * k] = static_cast<std::uint16_t>(16 * h + k);
            o.interleaveWords[h][2 * k + 1] = static_cast<std::uint16_t>(32 + 16 * h + k);
        }
    }
    return o;
}

constexpr Orders orders = makeOrders();

QZ_INLINE_VBMI __m512i load64(const void* p) {
    return _mm512_loadu_si512(p);
}

// The three lane fields of 64 component sums (sixteen in each of four registers, in register
// order): the low eight bits of each field as a byte, and the field's bits 7 and 8 as masks.
struct LaneFields {
    __m512i low[3]; // red, green, blue
    __mmask64 bit7[3];
    __mmask64 bit8[3];
};

QZ_INLINE_VBMI LaneFields laneFields(const __m512i sums[4]) {
    // Per dword: blue bits 0-7, green 11-18, red 23-30 and blue 1-8; then green 12-19 and red
    // 24-31, whose top bits are the fields' bits 8.
    const __m512i lowShifts = _mm512_set1_epi64(0x2137'2B20'0117'0B00);
    const __m512i highShifts = _mm512_set1_epi64(0x2020'382C'0000'180C);
    __m512i low[4], high[4];
    for (int i = 0; i < 4; ++i) {
        low[i] = _mm512_multishift_epi64_epi8(lowShifts, sums[i]);
        high[i] = _mm512_multishift_epi64_epi8(highShifts, sums[i]);
    }
    const __m512i first = load64(orders.dwordBytes[0]), second = load64(orders.dwordBytes[1]);
    // Each gather of one byte a dword: sums 0-15, 16-31 of the pair, then the next byte.
    const __m512i lowA = _mm512_permutex2var_epi8(low[0], first, low[1]);
    const __m512i lowB = _mm512_permutex2var_epi8(low[2], first, low[3]);
    const __m512i lowC = _mm512_permutex2var_epi8(low[0], second, low[1]);
    const __m512i lowD = _mm512_permutex2var_epi8(low[2], second, low[3]);
    const __m512i highA = _mm512_permutex2var_epi8(high[0], first, high[1]);
    const __m512i highB = _mm512_permutex2var_epi8(high[2], first, high[3]);
    LaneFields f;
    f.low[2] = _mm512_shuffle_i64x2(lowA, lowB, _MM_SHUFFLE(1, 0, 1, 0));
    f.low[1] = _mm512_shuffle_i64x2(lowA, lowB, _MM_SHUFFLE(3, 2, 3, 2));
    f.low[0] = _mm512_shuffle_i64x2(lowC, lowD, _MM_SHUFFLE(1, 0, 1, 0));
    const __m512i blueHigh = _mm512_shuffle_i64x2(lowC, lowD, _MM_SHUFFLE(3, 2, 3, 2));
    const __m512i greenHigh = _mm512_shuffle_i64x2(highA, highB, _MM_SHUFFLE(1, 0, 1, 0));
    const __m512i redHigh = _mm512_shuffle_i64x2(highA, highB, _MM_SHUFFLE(3, 2, 3, 2));
    for (int l = 0; l < 3; ++l) f.bit7[l] = _mm512_movepi8_mask(f.low[l]);
    f.bit8[0] = _mm512_movepi8_mask(redHigh);
    f.bit8[1] = _mm512_movepi8_mask(greenHigh);
    f.bit8[2] = _mm512_movepi8_mask(blueHigh);
    return f;
}

// plane[field] for 64 fields: each quarter of the plane by one two-register permute on the
// field's low seven bits.
QZ_INLINE_VBMI __m512i lookup512(const std::uint8_t* plane, __m512i low, __mmask64 bit7,
                                 __mmask64 bit8) {
    const __m512i a = _mm512_permutex2var_epi8(load64(plane), low, load64(plane + 64));
    const __m512i b = _mm512_permutex2var_epi8(load64(plane + 128), low, load64(plane + 192));
    const __m512i c = _mm512_permutex2var_epi8(load64(plane + 256), low, load64(plane + 320));
    const __m512i d = _mm512_permutex2var_epi8(load64(plane + 384), low, load64(plane + 448));
    return _mm512_mask_blend_epi8(bit8, _mm512_mask_blend_epi8(bit7, a, b),
                                  _mm512_mask_blend_epi8(bit7, c, d));
}

// Byte j of the 64 pixels of the fields.
QZ_INLINE_VBMI __m512i pixelByte(const ByteLaneTables& t, const LaneFields& f, int j) {
    __m512i r = _mm512_setzero_si512();
    for (int l = 0; l < 3; ++l) {
        if ((t.lanesOfByte[j] >> l) & 1)
            r = _mm512_or_si512(r, lookup512(t.plane[l][j], f.low[l], f.bit7[l], f.bit8[l]));
    }
    return r;
}

// Four byte registers to 64 dwords: out[k] holds dwords 16k to 16k + 15, byte i of dword n being
// byte n of x[i].
QZ_INLINE_VBMI void interleave4(const __m512i x[4], __m512i out[4]) {
    const __m512i lowBytes = load64(orders.interleaveBytes[0]);
    const __m512i highBytes = load64(orders.interleaveBytes[1]);
    const __m512i lowWords = load64(orders.interleaveWords[0]);
    const __m512i highWords = load64(orders.interleaveWords[1]);
    const __m512i a0 = _mm512_permutex2var_epi8(x[0], lowBytes, x[1]);
    const __m512i a1 = _mm512_permutex2var_epi8(x[0], highBytes, x[1]);
    const __m512i b0 = _mm512_permutex2var_epi8(x[2], lowBytes, x[3]);
    const __m512i b1 = _mm512_permutex2var_epi8(x[2], highBytes, x[3]);
    out[0] = _mm512_permutex2var_epi16(a0, lowWords, b0);
    out[1] = _mm512_permutex2var_epi16(a0, highWords, b0);
    out[2] = _mm512_permutex2var_epi16(a1, lowWords, b1);
    out[3] = _mm512_permutex2var_epi16(a1, highWords, b1);
}

// The pixels of 64 pixel pairs from the sums of their left and right pixels, in pair order:
// store(k, v) receives 64 bytes, pairs 16k.. (2-byte pixels: the left one the low half of its
// entry, the right one the high half) or pairs 8k.. (4-byte pixels).
template <class Store>
QZ_INLINE_VBMI void pairsToPixels(const ByteLaneTables& t, const __m512i left[4],
                                  const __m512i right[4], int pixelBytes, const Store& store) {
    const LaneFields l = laneFields(left), r = laneFields(right);
    if (pixelBytes == 2) {
        const __m512i x[4] = {pixelByte(t, l, 0), pixelByte(t, l, 1), pixelByte(t, r, 2),
                              pixelByte(t, r, 3)};
        __m512i out[4];
        interleave4(x, out);
        for (int k = 0; k < 4; ++k) store(k, out[k]);
        return;
    }
    const __m512i xl[4] = {pixelByte(t, l, 0), pixelByte(t, l, 1), pixelByte(t, l, 2),
                           pixelByte(t, l, 3)};
    const __m512i xr[4] = {pixelByte(t, r, 0), pixelByte(t, r, 1), pixelByte(t, r, 2),
                           pixelByte(t, r, 3)};
    __m512i pl[4], pr[4];
    interleave4(xl, pl);
    interleave4(xr, pr);
    const __m512i lowPairs =
        _mm512_setr_epi32(0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
    const __m512i highPairs =
        _mm512_setr_epi32(8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
    for (int k = 0; k < 4; ++k) {
        store(2 * k, _mm512_permutex2var_epi32(pl[k], lowPairs, pr[k]));
        store(2 * k + 1, _mm512_permutex2var_epi32(pl[k], highPairs, pr[k]));
    }
}

// The luma component of samples limited to 0..127, from its line.
QZ_INLINE_VBMI __m512i lumaComponent(const ByteLaneTables& t, __m512i sample) {
    return _mm512_add_epi32(
        _mm512_set1_epi32(static_cast<int>(t.yBase)),
        _mm512_mullo_epi32(componentIndex(sample), _mm512_set1_epi32(static_cast<int>(t.yStep))));
}

// Stores of the pixel registers: 2-byte pixels two rows of 16 a register, 4-byte pixels one row
// a register, or one run of pixels.
struct TwoRowsStore {
    BYTE* out;
    std::ptrdiff_t pitch;
    QZ_INLINE_VBMI void operator()(int k, __m512i v) const {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 2 * k * pitch),
                            _mm512_castsi512_si256(v));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + (2 * k + 1) * pitch),
                            _mm512_extracti64x4_epi64(v, 1));
    }
};

struct RowStore {
    BYTE* out;
    std::ptrdiff_t pitch;
    QZ_INLINE_VBMI void operator()(int k, __m512i v) const {
        _mm512_storeu_si512(out + k * pitch, v);
    }
};

} // namespace

QZ_TARGET_VBMI void type4MacroblockVbmi(const ByteLaneTables& bytes, const LONG* luma,
                                        const LONG* cb, const LONG* cr, BYTE* dest, LONG pitch,
                                        int pixelBytes, unsigned halves) {
    const Table128 u = loadTable(uComponent + dsp::componentOffset),
                   v = loadTable(vComponent + dsp::componentOffset);
    const __m512i evens =
        _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    const __m512i odds = _mm512_add_epi32(evens, _mm512_set1_epi32(1));
    const __m512i chromaRows[2] = {
        _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7),
        _mm512_setr_epi32(8, 9, 10, 11, 12, 13, 14, 15, 8, 9, 10, 11, 12, 13, 14, 15)};
    const std::ptrdiff_t p = pitch;
    // Each half: luma rows 8h to 8h + 7 over chroma rows 4h to 4h + 3; register j of the sums
    // holds the eight pairs of luma rows 2j and 2j + 1 of the half.
    for (int h = 0; h < 2; ++h) {
        if (((halves >> h) & 1) == 0) continue;
        __m512i left[4], right[4];
        for (int i = 0; i < 2; ++i) {
            const int c = 8 * (4 * h + 2 * i);
            const __m512i chroma = _mm512_add_epi32(lookup(u, componentIndex(load16(cb + c))),
                                                    lookup(v, componentIndex(load16(cr + c))));
            for (int k = 0; k < 2; ++k) {
                const LONG* rows = luma + 16 * (8 * h + 4 * i + 2 * k);
                const __m512i a = load16(rows), b = load16(rows + 16);
                const __m512i spread = _mm512_permutexvar_epi32(chromaRows[k], chroma);
                left[2 * i + k] = _mm512_add_epi32(
                    lumaComponent(bytes, _mm512_permutex2var_epi32(a, evens, b)), spread);
                right[2 * i + k] = _mm512_add_epi32(
                    lumaComponent(bytes, _mm512_permutex2var_epi32(a, odds, b)), spread);
            }
        }
        BYTE* out = dest + 8 * h * p;
        if (pixelBytes == 2)
            pairsToPixels(bytes, left, right, 2, TwoRowsStore{out, p});
        else
            pairsToPixels(bytes, left, right, 4, RowStore{out, p});
    }
}

QZ_TARGET_VBMI void dorWordsToPixelsVbmi(const ByteLaneTables& bytes, const BYTE* words, BYTE* dest,
                                         int pixelBytes) {
    const Table128 u = loadTable(uComponent + dsp::componentOffset),
                   v = loadTable(vComponent + dsp::componentOffset);
    const __m512i byte = _mm512_set1_epi32(255);
    __m512i left[4], right[4];
    for (int k = 0; k < 4; ++k) {
        // Each word: V, U, right luma, left luma.
        const __m512i w = load64(words + 64 * k);
        const __m512i chroma = _mm512_add_epi32(
            lookup(u, componentIndex(_mm512_and_si512(_mm512_srli_epi32(w, 8), byte))),
            lookup(v, componentIndex(_mm512_and_si512(w, byte))));
        left[k] = _mm512_add_epi32(lumaComponent(bytes, _mm512_srli_epi32(w, 24)), chroma);
        right[k] = _mm512_add_epi32(
            lumaComponent(bytes, _mm512_and_si512(_mm512_srli_epi32(w, 16), byte)), chroma);
    }
    pairsToPixels(bytes, left, right, pixelBytes, RowStore{dest, 64});
}

#endif
