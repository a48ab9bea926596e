// Colour conversions through the gamma lane tables cut into bytes, 64 pixel pairs at a time. The
// three lane fields of a pixel are made in bytes: the luma sample (0..127) plus the chroma part
// of the lane (0..255, both looked up by one two-register byte permute), added as the sample plus
// the part's low seven bits, with the part's top bit and the carry out of that byte sum telling
// which 128-entry quarter of the lane's byte plane holds the field. A byte of the pixels is then
// three two-register permutes and two blends a lane, and gives exactly the table's entries.
// Where the tables are windowed (gamma 100 and above), each lane's bytes vary over 128 sums
// only: the sample plus the chroma offset, with signed saturation, indexes that window, and a
// byte of the pixels is one permute a lane.
#include "video/colour_tables.h"
#include "video/dct/colour_rows.h"
#include "video/dct/simd_switch.h"

#if QZ_X86_SIMD

#include "video/dct/packed_bytes_vbmi.h"

namespace {

using qzsimd::packedLimited;
using qzsimd::packedPosition;

// Byte-order constants of the permutes, built once.
struct Orders {
    // Type 4, 2-byte pixels, half a macroblock of 64 pixel pairs (eight rows of eight) in the
    // order the in-lane unpacks (unpack4) turn into pairs of rows: byte 16 L + 4 k + q holds
    // the pair q + 4 (L % 2) of row 2 k + L / 2. The luma sample of the left (0) and right (1)
    // pixel of each pair, from the half's two registers of packed rows.
    alignas(64) std::uint8_t lumaPairs[2][64];
    // The chroma sample of each pair of the upper (0) and lower (1) half, from the register of
    // the macroblock's 64 packed chroma samples.
    alignas(64) std::uint8_t chromaPairs[2][64];
    // Type 4, 4-byte pixels: the chroma sample of each pixel of register g (rows 4 g to 4 g + 3)
    // of half h, in the packed order of its luma samples, [2 h + g].
    alignas(64) std::uint8_t chromaPixels[4][64];
    // DOR: bytes 0 and 1 (0), or 2 and 3 (1), of 32 words in two registers, each byte's 32 in a
    // row.
    alignas(64) std::uint8_t wordBytes[2][64];
    // Bytes of two registers interleaved: a0 b0 a1 b1 ... from the lower and the upper halves.
    alignas(64) std::uint8_t interleaveBytes[2][64];
    // Words of two registers interleaved, from their lower and upper halves.
    alignas(64) std::uint16_t interleaveWords[2][32];
};

constexpr Orders makeOrders() {
    Orders o{};
    for (int n = 0; n < 64; ++n) {
        const int lane = n / 16, k = (n % 16) / 4, q = n % 4;
        const int row = 2 * k + lane / 2, pair = q + 4 * (lane % 2);
        for (int side = 0; side < 2; ++side) {
            // Rows 0-3 of the half in the first register, 4-7 in the second.
            const int column = 2 * pair + side;
            o.lumaPairs[side][n] =
                static_cast<std::uint8_t>(64 * (row / 4) + packedPosition(16 * (row % 4) + column));
        }
        for (int h = 0; h < 2; ++h)
            o.chromaPairs[h][n] =
                static_cast<std::uint8_t>(packedPosition(8 * (4 * h + row / 2) + pair));
        // Byte n of a register of packed luma rows holds row k, column 4 lane + q.
        for (int g = 0; g < 4; ++g) {
            const int macroblockRow = 4 * g + k, column = 4 * lane + q;
            o.chromaPixels[g][n] =
                static_cast<std::uint8_t>(packedPosition(8 * (macroblockRow / 2) + column / 2));
        }
        for (int half = 0; half < 2; ++half) {
            const int word = n % 32, byte = 2 * half + n / 32;
            o.wordBytes[half][n] = static_cast<std::uint8_t>(4 * word + byte);
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

// The mask of the first n bytes of a register (none for n <= 0, all for n >= 64).
QZ_INLINE_VBMI __mmask64 bytesBelow(int n) {
    return n <= 0 ? 0 : (n >= 64 ? ~__mmask64{0} : (__mmask64{1} << n) - 1);
}

// Samples of four registers of sixteen limited to 0..127, packed to bytes (see packedPosition).
QZ_INLINE_VBMI __m512i packedSamples(const LONG* a, const LONG* b, const LONG* c, const LONG* d) {
    return packedLimited(load64(a), load64(b), load64(c), load64(d));
}

// The lower (first) or upper 32 bytes of a and of b, limited to 0..127.
template <bool first> QZ_INLINE_VBMI __m512i limitedHalves(__m512i a, __m512i b) {
    const __m512i halves =
        _mm512_shuffle_i64x2(a, b, first ? _MM_SHUFFLE(1, 0, 1, 0) : _MM_SHUFFLE(3, 2, 3, 2));
    return _mm512_min_epu8(halves, _mm512_set1_epi8(127));
}

// The chroma parts of the three lanes for the chroma samples u and v (0..127): their sums, or
// with windowed tables their window offsets (see ByteLaneTables).
template <bool windowed>
QZ_INLINE_VBMI void chromaParts(const ByteLaneTables& t, __m512i u, __m512i v, __m512i parts[3]) {
#pragma GCC unroll 4
    for (int l = 0; l < 3; ++l) {
        const BYTE* fromU =
            windowed ? reinterpret_cast<const BYTE*>(t.windowChroma[0][l]) : t.chroma[0][l];
        const BYTE* fromV =
            windowed ? reinterpret_cast<const BYTE*>(t.windowChroma[1][l]) : t.chroma[1][l];
        const __m512i a = _mm512_permutex2var_epi8(load64(fromU), u, load64(fromU + 64));
        const __m512i b = _mm512_permutex2var_epi8(load64(fromV), v, load64(fromV + 64));
        parts[l] = windowed ? _mm512_adds_epi8(a, b) : _mm512_add_epi8(a, b);
    }
}

// The fields of one lane for 64 pixels: the byte sum (its low seven bits index a quarter) and
// the masks of the second and third quarters.
struct LaneField {
    __m512i sum;
    __mmask64 second;
    __mmask64 third;
};

QZ_INLINE_VBMI LaneField laneField(__m512i sample, __m512i partLow, __mmask64 partHigh) {
    const __m512i sum = _mm512_add_epi8(sample, partLow);
    const __mmask64 carry = _mm512_movepi8_mask(sum);
    return {sum, _kxor_mask64(partHigh, carry), _kand_mask64(partHigh, carry)};
}

struct PixelFields {
    LaneField lane[3]; // red, green, blue
};

// plane[field] for 64 fields: each quarter by one two-register permute.
QZ_INLINE_VBMI __m512i lookup384(const std::uint8_t* plane, const LaneField& f) {
    const __m512i a = _mm512_permutex2var_epi8(load64(plane), f.sum, load64(plane + 64));
    const __m512i b = _mm512_permutex2var_epi8(load64(plane + 128), f.sum, load64(plane + 192));
    const __m512i c = _mm512_permutex2var_epi8(load64(plane + 256), f.sum, load64(plane + 320));
    return _mm512_mask_blend_epi8(f.second, _mm512_mask_blend_epi8(f.third, a, c), b);
}

// Byte j of the 64 pixels of the fields.
QZ_INLINE_VBMI __m512i pixelByte(const ByteLaneTables& t, const PixelFields& f, int j) {
    __m512i r = _mm512_setzero_si512();
#pragma GCC unroll 4
    for (int l = 0; l < 3; ++l) {
        if ((t.lanesOfByte[j] >> l) & 1)
            r = _mm512_or_si512(r, lookup384(t.plane[l][j], f.lane[l]));
    }
    return r;
}

// The window indices of the three lanes for 64 pixels (windowed tables): negative where the
// lane's bytes are all zero.
struct WindowIndices {
    __m512i index[3];
    __mmask64 inside[3];
};

QZ_INLINE_VBMI WindowIndices windowIndices(__m512i luma, const __m512i offsets[3]) {
    WindowIndices w;
#pragma GCC unroll 4
    for (int l = 0; l < 3; ++l) {
        w.index[l] = _mm512_adds_epi8(luma, offsets[l]);
        w.inside[l] = _mm512_cmpge_epi8_mask(w.index[l], _mm512_setzero_si512());
    }
    return w;
}

// Byte j of the 64 pixels of the window indices: one permute a lane.
QZ_INLINE_VBMI __m512i windowByte(const ByteLaneTables& t, const WindowIndices& w, int j) {
    __m512i r = _mm512_setzero_si512();
#pragma GCC unroll 4
    for (int l = 0; l < 3; ++l) {
        if ((t.lanesOfByte[j] >> l) & 1) {
            const std::uint8_t* window = t.window[l][j];
            r = _mm512_or_si512(r, _mm512_maskz_permutex2var_epi8(w.inside[l], load64(window),
                                                                  w.index[l], load64(window + 64)));
        }
    }
    return r;
}

// Bytes of the table entries of 64 pixels, from their luma samples (0..127) and the chroma parts
// (chromaParts) in the same order: through the windows (windowed tables) or the whole planes.
template <bool windowed> class EntryBytes;

template <> class EntryBytes<true> {
  public:
    QZ_INLINE_VBMI EntryBytes(const ByteLaneTables& t, __m512i luma, const __m512i parts[3])
        : t_(t), window_(windowIndices(luma, parts)) {}
    QZ_INLINE_VBMI __m512i operator()(int j) const { return windowByte(t_, window_, j); }

  private:
    const ByteLaneTables& t_;
    WindowIndices window_;
};

template <> class EntryBytes<false> {
  public:
    QZ_INLINE_VBMI EntryBytes(const ByteLaneTables& t, __m512i luma, const __m512i parts[3])
        : t_(t) {
#pragma GCC unroll 4
        for (int i = 0; i < 3; ++i)
            fields_.lane[i] = laneField(luma, _mm512_and_si512(parts[i], _mm512_set1_epi8(127)),
                                        _mm512_movepi8_mask(parts[i]));
    }
    QZ_INLINE_VBMI __m512i operator()(int j) const {
        return pixelByte(t_, fields_, j);
    }

  private:
    const ByteLaneTables& t_;
    PixelFields fields_;
};

// Four byte registers to dwords by in-lane unpacks: lane L of out[k] holds dwords 16 L + 4 k to
// 16 L + 4 k + 3, byte i of dword n being byte n of x[i].
QZ_INLINE_VBMI void unpack4(const __m512i x[4], __m512i out[4]) {
    const __m512i a0 = _mm512_unpacklo_epi8(x[0], x[1]), a1 = _mm512_unpackhi_epi8(x[0], x[1]);
    const __m512i b0 = _mm512_unpacklo_epi8(x[2], x[3]), b1 = _mm512_unpackhi_epi8(x[2], x[3]);
    out[0] = _mm512_unpacklo_epi16(a0, b0);
    out[1] = _mm512_unpackhi_epi16(a0, b0);
    out[2] = _mm512_unpacklo_epi16(a1, b1);
    out[3] = _mm512_unpackhi_epi16(a1, b1);
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

// The pixels of 64 pixel pairs from the luma samples of their left and right pixels (0..127)
// and the chroma parts of the pairs, in pair order: store(k, v) receives 64 bytes, pairs 16k..
// (2-byte pixels: the left one the low half of its entry, the right one the high half) or
// pairs 8k.. (4-byte pixels).
template <bool windowed, class Store>
QZ_INLINE_VBMI void pairsToPixels(const ByteLaneTables& t, __m512i left, __m512i right,
                                  const __m512i parts[3], int pixelBytes, const Store& store) {
    const EntryBytes<windowed> l(t, left, parts), r(t, right, parts);
    if (pixelBytes == 2) {
        const __m512i x[4] = {l(0), l(1), r(2), r(3)};
        __m512i out[4];
        interleave4(x, out);
#pragma GCC unroll 4
        for (int k = 0; k < 4; ++k) store(k, out[k]);
        return;
    }
    const __m512i xl[4] = {l(0), l(1), l(2), l(3)};
    const __m512i xr[4] = {r(0), r(1), r(2), r(3)};
    __m512i pl[4], pr[4];
    interleave4(xl, pl);
    interleave4(xr, pr);
    const __m512i lowPairs =
        _mm512_setr_epi32(0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
    const __m512i highPairs =
        _mm512_setr_epi32(8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
        store(2 * k, _mm512_permutex2var_epi32(pl[k], lowPairs, pr[k]));
        store(2 * k + 1, _mm512_permutex2var_epi32(pl[k], highPairs, pr[k]));
    }
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

// A run of pixels cut short: of the register for bytes 64k.., only those below end.
struct PartRowStore {
    BYTE* out;
    int end;
    QZ_INLINE_VBMI void operator()(int k, __m512i v) const {
        _mm512_mask_storeu_epi8(out + 64 * k, bytesBelow(end - 64 * k), v);
    }
};

} // namespace

namespace {

template <bool windowed>
QZ_INLINE_VBMI void type4Macroblock(const ByteLaneTables& bytes, const LONG* luma, const LONG* cb,
                                    const LONG* cr, BYTE* dest, LONG pitch, int pixelBytes,
                                    unsigned halves) {
    __m512i parts[3];
    chromaParts<windowed>(bytes, packedSamples(cb, cb + 16, cb + 32, cb + 48),
                          packedSamples(cr, cr + 16, cr + 32, cr + 48), parts);
    const std::ptrdiff_t p = pitch;
#pragma GCC unroll 4
    for (int h = 0; h < 2; ++h) {
        if (((halves >> h) & 1) == 0) continue;
        const LONG* rows = luma + 128 * h;
        const __m512i packed[2] = {packedSamples(rows, rows + 16, rows + 32, rows + 48),
                                   packedSamples(rows + 64, rows + 80, rows + 96, rows + 112)};
        BYTE* out = dest + 8 * h * p;
        // 4-byte pixels take their whole entries: four rows a register of packed samples,
        // whose order the unpacks turn into rows.
        if (pixelBytes == 4) {
#pragma GCC unroll 4
            for (int g = 0; g < 2; ++g) {
                const __m512i order = load64(orders.chromaPixels[2 * h + g]);
                const __m512i pixelParts[3] = {_mm512_permutexvar_epi8(order, parts[0]),
                                               _mm512_permutexvar_epi8(order, parts[1]),
                                               _mm512_permutexvar_epi8(order, parts[2])};
                const EntryBytes<windowed> entry(bytes, packed[g], pixelParts);
                const __m512i x[4] = {entry(0), entry(1), entry(2), entry(3)};
                __m512i rowsOut[4];
                unpack4(x, rowsOut);
#pragma GCC unroll 4
                for (int k = 0; k < 4; ++k) _mm512_storeu_si512(out + (4 * g + k) * p, rowsOut[k]);
            }
            continue;
        }
        // A pair's left pixel takes the low half of its entry, the right one the high half.
        const __m512i left =
            _mm512_permutex2var_epi8(packed[0], load64(orders.lumaPairs[0]), packed[1]);
        const __m512i right =
            _mm512_permutex2var_epi8(packed[0], load64(orders.lumaPairs[1]), packed[1]);
        const __m512i pairs = load64(orders.chromaPairs[h]);
        const __m512i halfParts[3] = {_mm512_permutexvar_epi8(pairs, parts[0]),
                                      _mm512_permutexvar_epi8(pairs, parts[1]),
                                      _mm512_permutexvar_epi8(pairs, parts[2])};
        const EntryBytes<windowed> l(bytes, left, halfParts), r(bytes, right, halfParts);
        const __m512i x[4] = {l(0), l(1), r(2), r(3)};
        __m512i rowPairs[4];
        unpack4(x, rowPairs);
        const TwoRowsStore store{out, p};
#pragma GCC unroll 4
        for (int k = 0; k < 4; ++k) store(k, rowPairs[k]);
    }
}

} // namespace

QZ_TARGET_VBMI void type4MacroblockVbmi(const ByteLaneTables& bytes, const LONG* luma,
                                        const LONG* cb, const LONG* cr, BYTE* dest, LONG pitch,
                                        int pixelBytes, unsigned halves) {
    if (bytes.windowed)
        type4Macroblock<true>(bytes, luma, cb, cr, dest, pitch, pixelBytes, halves);
    else
        type4Macroblock<false>(bytes, luma, cb, cr, dest, pitch, pixelBytes, halves);
}

namespace {

template <bool windowed>
QZ_INLINE_VBMI void dorWordsToPixels(const ByteLaneTables& bytes, const BYTE* words, BYTE* dest,
                                     int pixelBytes, int pixels) {
    // Each word: V, U, right luma, left luma. First the bytes of words 0-31 and of 32-63, then
    // each byte's 64 in one register. Words past a short run read as zeros.
    __m512i w[4];
    const int wordBytes = 4 * ((pixels + 1) / 2);
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k)
        w[k] = pixels == 128
                   ? load64(words + 64 * k)
                   : _mm512_maskz_loadu_epi8(bytesBelow(wordBytes - 64 * k), words + 64 * k);
    const __m512i chromaOrder = load64(orders.wordBytes[0]),
                  lumaOrder = load64(orders.wordBytes[1]);
    const __m512i chromaA = _mm512_permutex2var_epi8(w[0], chromaOrder, w[1]);
    const __m512i chromaB = _mm512_permutex2var_epi8(w[2], chromaOrder, w[3]);
    const __m512i lumaA = _mm512_permutex2var_epi8(w[0], lumaOrder, w[1]);
    const __m512i lumaB = _mm512_permutex2var_epi8(w[2], lumaOrder, w[3]);
    __m512i parts[3];
    chromaParts<windowed>(bytes, limitedHalves<false>(chromaA, chromaB),
                          limitedHalves<true>(chromaA, chromaB), parts);
    const __m512i left = limitedHalves<false>(lumaA, lumaB);
    const __m512i right = limitedHalves<true>(lumaA, lumaB);
    if (pixels == 128)
        pairsToPixels<windowed>(bytes, left, right, parts, pixelBytes, RowStore{dest, 64});
    else
        pairsToPixels<windowed>(bytes, left, right, parts, pixelBytes,
                                PartRowStore{dest, pixels * pixelBytes});
}

} // namespace

QZ_TARGET_VBMI void dorWordsToPixelsVbmi(const ByteLaneTables& bytes, const BYTE* words, BYTE* dest,
                                         int pixelBytes, int pixels) {
    if (bytes.windowed)
        dorWordsToPixels<true>(bytes, words, dest, pixelBytes, pixels);
    else
        dorWordsToPixels<false>(bytes, words, dest, pixelBytes, pixels);
}

#endif
