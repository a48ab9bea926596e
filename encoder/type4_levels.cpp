#include "encoder/type4_levels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "encoder/forward_dct.h"
#include "video/dct/dct_toolkit.h"
#include "video/dct/simd_switch.h"

namespace {

// The factors carry 13 fraction bits; the row pass keeps 2 more bits than the samples, which
// the column pass takes off again.
constexpr int factorBits = 13, passBits = 2;
// √2·cos((2m + 1)kπ/16) · 2^13 rounded, for the odd frequencies k = 1, 3, 5, 7 and m = 0..3
// (the factor of x[m] - x[7 - m]); the even ones are ±2^13 (k = 4) and these two (k = 2, 6).
constexpr int oddFactors[4][4] = {{11363, 9633, 6436, 2260},
                                  {9633, -2260, -11363, -6436},
                                  {6436, -11363, 2260, 9633},
                                  {2260, -6436, 9633, -11363}};
constexpr int cos2 = 10703, cos6 = 4433;

int descale(int x, int bits) {
    return (x + (1 << (bits - 1))) >> bits;
}

// One 8-point transform of x[0], x[step], .., x[7·step] into out[0], out[step], ..: √8 times
// the orthonormal one, the row pass (first) with passBits more bits.
void transform8(const int* x, int step, int* out, bool first) {
    int t[4], d[4];
    for (int m = 0; m < 4; ++m) {
        t[m] = x[m * step] + x[(7 - m) * step];
        d[m] = x[m * step] - x[(7 - m) * step];
    }
    const int tmp10 = t[0] + t[3], tmp13 = t[0] - t[3];
    const int tmp11 = t[1] + t[2], tmp12 = t[1] - t[2];
    const int down = first ? factorBits - passBits : factorBits + passBits;
    out[0] = first ? (tmp10 + tmp11) * (1 << passBits) : descale(tmp10 + tmp11, passBits);
    out[4 * step] = first ? (tmp10 - tmp11) * (1 << passBits) : descale(tmp10 - tmp11, passBits);
    out[2 * step] = descale(cos2 * tmp13 + cos6 * tmp12, down);
    out[6 * step] = descale(cos6 * tmp13 - cos2 * tmp12, down);
    for (int k = 0; k < 4; ++k) {
        int sum = 0;
        for (int m = 0; m < 4; ++m) sum += oddFactors[k][m] * d[m];
        out[(2 * k + 1) * step] = descale(sum, down);
    }
}

// The natural index of each scan position.
struct ScanOrder {
    int natural[64];
    ScanOrder() {
        for (int k = 0; k < 64; ++k) natural[k] = transposedIndex(zigzag[k]);
    }
};

} // namespace

Type4LevelTables::Type4LevelTables(const double* scale) {
    // Per unit of the transform's coefficient (8 times the orthonormal one).
    double per[64];
    double most = 0;
    for (int i = 0; i < 64; ++i) {
        per[transposedIndex(i)] = scale[i] / 8;
        most = std::max(most, scale[i] / 8);
    }
    // The largest shift (at most 8) that keeps every multiplier within 16 bits.
    shift = 0;
    while (shift < 8 && std::ldexp(most, 17 + shift) < 65535.5) ++shift;
    for (int i = 0; i < 64; ++i) {
        const double m = std::round(std::ldexp(per[i], 16 + shift));
        natural[i] = static_cast<std::uint16_t>(std::clamp(m, 0.0, 65535.0));
        packed[type4PackedIndex(i)] = natural[i];
    }
}

std::uint64_t type4LevelsPlain(const std::uint8_t* rows, std::ptrdiff_t stride,
                               const Type4LevelTables& tables, std::int16_t* levels) {
    static const ScanOrder order;
    int samples[64], passed[64], coefficients[64];
    for (int n = 0; n < 8; ++n)
        for (int m = 0; m < 8; ++m) samples[8 * n + m] = rows[n * stride + m] - 128;
    for (int n = 0; n < 8; ++n) transform8(&samples[8 * n], 1, &passed[8 * n], true);
    for (int h = 0; h < 8; ++h) transform8(&passed[h], 8, &coefficients[h], false);
    levels[0] = static_cast<std::int16_t>(coefficients[0]);
    std::uint64_t nonzero = 0;
    for (int k = 1; k < 64; ++k) {
        const int i = order.natural[k];
        const std::uint32_t size = 2 * static_cast<std::uint32_t>(std::abs(coefficients[i]));
        const int magnitude = static_cast<int>(
            (((size * tables.natural[i]) >> 16) + (1u << tables.shift)) >> (tables.shift + 1));
        const int level = std::clamp(coefficients[i] < 0 ? -magnitude : magnitude, -256, 255);
        levels[k] = static_cast<std::int16_t>(level);
        nonzero |= std::uint64_t{level != 0} << k;
    }
    return nonzero;
}

const std::uint8_t* type4ScanOrder() {
    static const auto order = [] {
        std::array<std::uint8_t, 64> o{};
        for (int k = 0; k < 64; ++k) o[k] = static_cast<std::uint8_t>(k);
        return o;
    }();
    return order.data();
}

const std::uint8_t* type4PackedOrder() {
    static const auto order = [] {
        std::array<std::uint8_t, 64> o{};
        for (int k = 0; k < 64; ++k)
            o[k] = static_cast<std::uint8_t>(type4PackedIndex(transposedIndex(zigzag[k])));
        return o;
    }();
    return order.data();
}

Type4Levels type4Levels() {
#if QZ_X86_SIMD
    switch (simdLevel()) {
    case SimdLevel::avx512vbmi:
        return {type4LevelsAvx512, type4ScanOrder()};
    case SimdLevel::avx2:
    case SimdLevel::avx512:
        return {type4LevelsAvx2, type4PackedOrder()};
    case SimdLevel::none:
        break;
    }
#endif
    return {type4LevelsPlain, type4ScanOrder()};
}

void mapBlockPlain(const std::uint8_t* rows, std::ptrdiff_t stride, const std::uint8_t* table,
                   std::uint8_t* out) {
    for (int n = 0; n < 8; ++n)
        for (int m = 0; m < 8; ++m) out[8 * n + m] = table[rows[n * stride + m]];
}

ByteMapForm mapBlock() {
#if QZ_X86_SIMD
    if (simdLevel() == SimdLevel::avx512vbmi) return mapBlockVbmi;
#endif
    return mapBlockPlain;
}

#if !QZ_X86_SIMD
void mapBlockVbmi(const std::uint8_t* rows, std::ptrdiff_t stride, const std::uint8_t* table,
                  std::uint8_t* out) {
    mapBlockPlain(rows, stride, table, out);
}
int type4PackedIndex(int natural) {
    return natural;
}
std::uint64_t type4LevelsAvx2(const std::uint8_t* rows, std::ptrdiff_t stride,
                              const Type4LevelTables& tables, std::int16_t* levels) {
    return type4LevelsPlain(rows, stride, tables, levels);
}
std::uint64_t type4LevelsAvx512(const std::uint8_t* rows, std::ptrdiff_t stride,
                                const Type4LevelTables& tables, std::int16_t* levels) {
    return type4LevelsPlain(rows, stride, tables, levels);
}
#endif
