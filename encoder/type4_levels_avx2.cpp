// The vector forms of type4Levels(). The block lives in four vectors of sixteen words, each
// holding two 8-lane rows of the transform; the lanes follow the order the transpositions leave
// (which the transform does not care about, being the same in every lane), and the quantiser's
// multipliers come in that order.
#include "encoder/type4_levels.h"

#include "encoder/forward_dct.h"
#include "video/dct/dct_toolkit.h"
#include "video/dct/simd_switch.h"

#if QZ_X86_SIMD
#include "video/dct/avx512_intrinsics.h"

#include <bit>
#include <cstring>

namespace {

// Frequencies of the words: vector z holds frequencies packedFrequency[z][0] (lanes 0 to 7) and
// [z][1] (lanes 8 to 15) of the second pass, and lane l of each half the frequency
// laneFrequency[l] of the first.
constexpr int packedFrequency[4][2] = {{0, 4}, {2, 6}, {1, 3}, {5, 7}};
constexpr int laneFrequency[8] = {0, 2, 1, 5, 4, 6, 3, 7};

QZ_INLINE_AVX2 __m256i swapHalves(__m256i v) {
    return _mm256_permute4x64_epi64(v, 0x4E);
}

// Lanes 0 to 7 pair (a, b), lanes 8 to 15 pair (c, d), for the multiply-adds.
QZ_INLINE_AVX2 __m256i pairs(short a, short b, short c, short d) {
    return _mm256_setr_epi16(a, b, a, b, a, b, a, b, c, d, c, d, c, d, c, d);
}

// Two 8-lane rows x and y as [x | y], less 128.
QZ_INLINE_AVX2 __m256i loadRows(const std::uint8_t* x, const std::uint8_t* y) {
    const __m128i bytes = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(x)),
                                             _mm_loadl_epi64(reinterpret_cast<const __m128i*>(y)));
    return _mm256_sub_epi16(_mm256_cvtepu8_epi16(bytes), _mm256_set1_epi16(128));
}

// The 8×8 transposition of rows [r0|r1], [r2|r3], [r4|r5], [r6|r7] into the columns c0..c7,
// their lanes in the order r0, r2, r4, r6, r1, r3, r5, r7: returns [c0|c1], [c7|c6], [c3|c2] and
// [c4|c5], the pairs the butterflies take.
QZ_INLINE_AVX2 void transpose(const __m256i* in, __m256i* out) {
    const __m256i u0 = _mm256_unpacklo_epi16(in[0], in[1]),
                  u1 = _mm256_unpackhi_epi16(in[0], in[1]);
    const __m256i u2 = _mm256_unpacklo_epi16(in[2], in[3]),
                  u3 = _mm256_unpackhi_epi16(in[2], in[3]);
    // Quadwords: the even rows of column 2j, of 2j + 1, the odd rows of 2j, of 2j + 1.
    const __m256i v0 = _mm256_unpacklo_epi32(u0, u2), v1 = _mm256_unpackhi_epi32(u0, u2);
    const __m256i v2 = _mm256_unpacklo_epi32(u1, u3), v3 = _mm256_unpackhi_epi32(u1, u3);
    out[0] = _mm256_permute4x64_epi64(v0, 0xD8);
    out[1] = _mm256_permute4x64_epi64(v3, 0x8D);
    out[2] = _mm256_permute4x64_epi64(v1, 0x8D);
    out[3] = _mm256_permute4x64_epi64(v2, 0xD8);
}

// (lo, hi) of 32-bit sums descaled by bits, packed back to words.
template <int bits> QZ_INLINE_AVX2 __m256i descalePack(__m256i lo, __m256i hi) {
    const __m256i round = _mm256_set1_epi32(1 << (bits - 1));
    return _mm256_packs_epi32(_mm256_srai_epi32(_mm256_add_epi32(lo, round), bits),
                              _mm256_srai_epi32(_mm256_add_epi32(hi, round), bits));
}

// Each lane's pair (a lane of x, the same lane of x's other half) multiplied by kx and added, the
// same for y with ky, the sums descaled by bits and packed back to words.
template <int bits> QZ_INLINE_AVX2 __m256i rotate(__m256i x, __m256i kx, __m256i y, __m256i ky) {
    const __m256i sx = swapHalves(x), sy = swapHalves(y);
    const __m256i lo = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(x, sx), kx),
                                        _mm256_madd_epi16(_mm256_unpacklo_epi16(y, sy), ky));
    const __m256i hi = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(x, sx), kx),
                                        _mm256_madd_epi16(_mm256_unpackhi_epi16(y, sy), ky));
    return descalePack<bits>(lo, hi);
}

template <int bits> QZ_INLINE_AVX2 __m256i rotate(__m256i x, __m256i kx) {
    const __m256i sx = swapHalves(x);
    return descalePack<bits>(_mm256_madd_epi16(_mm256_unpacklo_epi16(x, sx), kx),
                             _mm256_madd_epi16(_mm256_unpackhi_epi16(x, sx), kx));
}

// The coefficients of the block in the packed order (see packedFrequency).
QZ_INLINE_AVX2 void transformBlock(const std::uint8_t* rows, std::ptrdiff_t stride, __m256i* z) {
    __m256i r[4], c[4];
    // Written out: as a loop the compiler keeps the vectors in memory.
    r[0] = loadRows(rows, rows + stride);
    r[1] = loadRows(rows + 2 * stride, rows + 3 * stride);
    r[2] = loadRows(rows + 4 * stride, rows + 5 * stride);
    r[3] = loadRows(rows + 6 * stride, rows + 7 * stride);
    transpose(r, c);
    // Along the rows: c = [x0|x1], [x7|x6], [x3|x2], [x4|x5] (x the columns).
    {
        const __m256i s1 = _mm256_add_epi16(c[0], c[1]), d1 = _mm256_sub_epi16(c[0], c[1]);
        const __m256i s2 = _mm256_add_epi16(c[2], c[3]), d2 = _mm256_sub_epi16(c[2], c[3]);
        // [tmp10|tmp11] and [tmp13|tmp12]; [d0|d1] and [d3|d2].
        const __m256i e = _mm256_add_epi16(s1, s2), g = _mm256_sub_epi16(s1, s2);
        const __m256i e04 =
            _mm256_add_epi16(_mm256_sign_epi16(e, _mm256_setr_epi16(1, 1, 1, 1, 1, 1, 1, 1, -1, -1,
                                                                    -1, -1, -1, -1, -1, -1)),
                             swapHalves(e));
        r[0] = _mm256_slli_epi16(e04, 2);
        r[1] = rotate<11>(g, pairs(10703, 4433, -10703, 4433));
        r[2] =
            rotate<11>(d1, pairs(11363, 9633, -2260, 9633), d2, pairs(2260, 6436, -11363, -6436));
        r[3] =
            rotate<11>(d1, pairs(6436, -11363, -6436, 2260), d2, pairs(9633, 2260, 9633, -11363));
    }
    // r = frequencies [0|4], [2|6], [1|3], [5|7]; down the columns (y the rows of the first
    // pass, lanes now over its frequencies): c = [y0|y2], [y7|y5], [y6|y4], [y1|y3].
    transpose(r, c);
    {
        const __m256i s1 = _mm256_add_epi16(c[0], c[1]), d1 = _mm256_sub_epi16(c[0], c[1]);
        const __m256i s2 = swapHalves(_mm256_add_epi16(c[2], c[3]));
        const __m256i d2 = _mm256_sub_epi16(c[3], c[2]);
        // [tmp10|tmp11] and [tmp13|-tmp12]; [d0|d2] and [d1|d3].
        const __m256i e = _mm256_add_epi16(s1, s2), g = _mm256_sub_epi16(s1, s2);
        // The DC and frequency 4 in 32 bits: with the row pass's bits the sums pass 16.
        z[0] = rotate<2>(e, pairs(1, 1, -1, 1));
        z[1] = rotate<15>(g, pairs(10703, -4433, 10703, 4433));
        z[2] =
            rotate<15>(d1, pairs(11363, 6436, -11363, 9633), d2, pairs(9633, 2260, -6436, -2260));
        z[3] =
            rotate<15>(d1, pairs(6436, 2260, 9633, 2260), d2, pairs(-11363, 9633, -11363, -6436));
    }
}

// The level of each coefficient in z with the multipliers m.
QZ_INLINE_AVX2 __m256i level(__m256i z, const std::uint16_t* m, __m256i round, __m128i shift) {
    const __m256i size = _mm256_slli_epi16(_mm256_abs_epi16(z), 1);
    const __m256i product =
        _mm256_mulhi_epu16(size, _mm256_load_si256(reinterpret_cast<const __m256i*>(m)));
    const __m256i magnitude = _mm256_srl_epi16(_mm256_add_epi16(product, round), shift);
    return _mm256_min_epi16(
        _mm256_max_epi16(_mm256_sign_epi16(magnitude, z), _mm256_set1_epi16(-256)),
        _mm256_set1_epi16(255));
}

// The levels of the packed coefficients z (in place), with the DC coefficient returned before.
QZ_INLINE_AVX2 int quantise(__m256i* z, const Type4LevelTables& tables) {
    const int dc = static_cast<std::int16_t>(_mm_extract_epi16(_mm256_castsi256_si128(z[0]), 0));
    const __m128i shift = _mm_cvtsi32_si128(tables.shift + 1);
    const __m256i round = _mm256_set1_epi16(static_cast<short>(1 << tables.shift));
    z[0] = level(z[0], tables.packed, round, shift);
    z[1] = level(z[1], tables.packed + 16, round, shift);
    z[2] = level(z[2], tables.packed + 32, round, shift);
    z[3] = level(z[3], tables.packed + 48, round, shift);
    return dc;
}

// Byte shuffles that put 64 bytes in packed order (two vectors, each also with its halves
// swapped) into scan order: scan byte 32o + p is the OR of the four shuffles of output o.
struct ScanShuffles {
    // [o][0]: the first 32 bytes, [o][1]: those swapped, [o][2], [o][3]: the last 32.
    alignas(32) std::int8_t pick[2][4][32];
    ScanShuffles() {
        for (int o = 0; o < 2; ++o) {
            for (int p = 0; p < 32; ++p) {
                for (int s = 0; s < 4; ++s) pick[o][s][p] = -128; // a zero byte
                const int j = type4PackedOrder()[32 * o + p];
                const int within = j & 31;
                const bool swapped = (within >> 4) != (p >> 4);
                pick[o][(j >> 5) * 2 + (swapped ? 1 : 0)][p] =
                    static_cast<std::int8_t>(within & 15);
            }
        }
    }
};

} // namespace

int type4PackedIndex(int natural) {
    const int v = natural >> 3, h = natural & 7;
    for (int z = 0; z < 4; ++z)
        for (int half = 0; half < 2; ++half)
            for (int l = 0; l < 8; ++l)
                if (packedFrequency[z][half] == v && laneFrequency[l] == h)
                    return 16 * z + 8 * half + l;
    return -1; // not reached: every frequency pair has its place
}

QZ_TARGET_AVX2 std::uint64_t type4LevelsAvx2(const std::uint8_t* rows, std::ptrdiff_t stride,
                                             const Type4LevelTables& tables, std::int16_t* levels) {
    static const ScanShuffles shuffles;
    __m256i z[4];
    transformBlock(rows, stride, z);
    const int dc = quantise(z, tables);
    for (int i = 0; i < 4; ++i) _mm256_storeu_si256(reinterpret_cast<__m256i*>(levels) + i, z[i]);
    levels[0] = static_cast<std::int16_t>(dc);
    // A byte a level, all ones where it is not zero, in packed order; then in scan order.
    const __m256i zero = _mm256_setzero_si256(), ones = _mm256_set1_epi8(-1);
    const __m256i bytes[2] = {
        _mm256_xor_si256(
            _mm256_cmpeq_epi8(_mm256_permute4x64_epi64(_mm256_packs_epi16(z[0], z[1]), 0xD8), zero),
            ones),
        _mm256_xor_si256(
            _mm256_cmpeq_epi8(_mm256_permute4x64_epi64(_mm256_packs_epi16(z[2], z[3]), 0xD8), zero),
            ones)};
    const __m256i sources[4] = {bytes[0], swapHalves(bytes[0]), bytes[1], swapHalves(bytes[1])};
    std::uint64_t nonzero = 0;
    for (int o = 0; o < 2; ++o) {
        __m256i inScan = zero;
        for (int s = 0; s < 4; ++s)
            inScan = _mm256_or_si256(
                inScan,
                _mm256_shuffle_epi8(sources[s], _mm256_load_si256(reinterpret_cast<const __m256i*>(
                                                    shuffles.pick[o][s]))));
        nonzero |= std::uint64_t(std::uint32_t(_mm256_movemask_epi8(inScan))) << (32 * o);
    }
    return nonzero & ~std::uint64_t{1};
}

QZ_TARGET_VBMI std::uint64_t type4LevelsAvx512(const std::uint8_t* rows, std::ptrdiff_t stride,
                                               const Type4LevelTables& tables,
                                               std::int16_t* levels) {
    // The packed index of each scan position, for the two halves of the scan.
    static const auto indices = [] {
        struct {
            alignas(64) std::int16_t first[32];
            alignas(64) std::int16_t second[32];
        } t;
        const std::uint8_t* packed = type4PackedOrder();
        for (int k = 0; k < 32; ++k) t.first[k] = packed[k], t.second[k] = packed[32 + k];
        return t;
    }();
    __m256i z[4];
    transformBlock(rows, stride, z);
    const int dc = quantise(z, tables);
    const __m512i a = _mm512_inserti64x4(_mm512_castsi256_si512(z[0]), z[1], 1);
    const __m512i b = _mm512_inserti64x4(_mm512_castsi256_si512(z[2]), z[3], 1);
    const __m512i first = _mm512_permutex2var_epi16(a, _mm512_load_si512(indices.first), b);
    const __m512i second = _mm512_permutex2var_epi16(a, _mm512_load_si512(indices.second), b);
    _mm512_storeu_si512(levels, first);
    _mm512_storeu_si512(levels + 32, second);
    levels[0] = static_cast<std::int16_t>(dc);
    return (std::uint64_t(_mm512_test_epi16_mask(first, first)) |
            std::uint64_t(_mm512_test_epi16_mask(second, second)) << 32) &
           ~std::uint64_t{1};
}

QZ_TARGET_VBMI void mapBlockVbmi(const std::uint8_t* rows, std::ptrdiff_t stride,
                                 const std::uint8_t* table, std::uint8_t* out) {
    std::uint64_t r[8];
    for (int n = 0; n < 8; ++n) std::memcpy(&r[n], rows + n * stride, 8);
    const __m512i index = _mm512_loadu_si512(r);
    // Entries 0 to 127 and 128 to 255 by the index's low seven bits, then by its top bit.
    const __m512i low =
        _mm512_permutex2var_epi8(_mm512_loadu_si512(table), index, _mm512_loadu_si512(table + 64));
    const __m512i high = _mm512_permutex2var_epi8(_mm512_loadu_si512(table + 128), index,
                                                  _mm512_loadu_si512(table + 192));
    _mm512_storeu_si512(out, _mm512_mask_blend_epi8(_mm512_movepi8_mask(index), low, high));
}
#endif
