#include "video/dct/dct_toolkit.h"

#include "video/dct/dsp_constants.h"
#include "video/dsp_table.h"

#include <bit>
#include <cstdint>

const BYTE zigzag[dctBlockSize] = {
    0,  8,  1,  2,  9,  16, 24, 17, 10, 3,  4,  11, 18, 25, 32, 40, 33, 26, 19, 12, 5,  6,
    13, 20, 27, 34, 41, 48, 56, 49, 42, 35, 28, 21, 14, 7,  15, 22, 29, 36, 43, 50, 57, 58,
    51, 44, 37, 30, 23, 31, 38, 45, 52, 59, 60, 53, 46, 39, 47, 54, 61, 62, 55, 63,
};

const LONG prescale[dctBlockSize] = {
    8192,  5906,  6270,  6967,  8192,  10426, 15137, 29692,  //
    5906,  4258,  4520,  5023,  5906,  7517,  10913, 21407,  //
    6270,  4520,  4799,  5332,  6270,  7980,  11585, 22725,  //
    6967,  5023,  5332,  5925,  6967,  8867,  12873, 25251,  //
    8192,  5906,  6270,  6967,  8192,  10426, 15137, 29692,  //
    10426, 7517,  7980,  8867,  10426, 13270, 19266, 37791,  //
    15137, 10913, 11585, 12873, 15137, 19266, 27969, 54864,  //
    29692, 21407, 22725, 25251, 29692, 37791, 54864, 107619, //
};

const LONG intraWeights[dctBlockSize] = {
    8,  16, 19, 22, 26, 27, 29, 34, //
    16, 16, 22, 24, 27, 29, 34, 37, //
    19, 22, 26, 27, 29, 34, 34, 38, //
    22, 22, 26, 27, 29, 34, 37, 40, //
    22, 26, 27, 29, 32, 35, 40, 48, //
    26, 27, 29, 32, 35, 40, 48, 58, //
    26, 27, 29, 34, 38, 46, 56, 69, //
    27, 29, 35, 38, 46, 56, 69, 83, //
};

namespace {

using U32 = std::uint32_t;

using dsp::cos3Pi8;
using dsp::invSqrt2Fixed;
using dsp::roundingBias;
using dsp::sqrt2Cos3Pi8;
using dsp::sqrt2CosPi8;

LONG wrap(U32 v) {
    return static_cast<LONG>(v);
}

// 2 × ⌊v × invSqrt2Fixed / 2^32⌋, wrapped.
LONG halfRootTwo(U32 v) {
    const std::int64_t product = static_cast<std::int64_t>(static_cast<LONG>(v)) * invSqrt2Fixed;
    return wrap(static_cast<U32>(product >> 32) * 2u);
}

// d rounded to the nearest integer, ties to even, modulo 2^32.
U32 roundToLong(double d) {
    return static_cast<U32>(std::bit_cast<std::uint64_t>(d + roundingBias));
}

// The even half of idct8: e0..e3 from x0, x2, x4, x6.
inline void evenPart(U32 x0, U32 x2, U32 x4, U32 x6, U32 e[4]) {
    const U32 s04 = x0 + x4, d04 = x0 - x4, s26 = x2 + x6;
    const U32 u = static_cast<U32>(halfRootTwo(x2 - x6));
    e[0] = s04 + s26 + u;
    e[3] = s04 - s26 - u;
    e[1] = d04 + u;
    e[2] = d04 - u;
}

// The odd half of idct8: o0..o3 from x1, x3, x5, x7.
inline void oddPart(U32 x1, U32 x3, U32 x5, U32 x7, U32 o[4]) {
    const U32 s17 = x1 + x7, d17 = x1 - x7, s35 = x3 + x5, d53 = x5 - x3;
    const U32 t = s17 + s35;
    const U32 bigT = static_cast<U32>(halfRootTwo(s17 - s35));

    const double z = static_cast<double>(wrap(d17 + d53)) * cos3Pi8;
    const double fa = static_cast<double>(wrap(d53)) * sqrt2Cos3Pi8 + z;
    const double fb = static_cast<double>(wrap(d17)) * sqrt2CosPi8 - z;
    const U32 a = roundToLong(fa), b = roundToLong(fb);
    o[0] = b + t;
    o[1] = bigT + b;
    o[2] = a + bigT;
    o[3] = a;
}

// idct8 with shortcuts that give the same numbers: a line whose odd inputs are all zero has an
// odd half of zeros, and one with only x0 set is x0 throughout.
inline void idct8Fast(const LONG* x, LONG* y, int outStride) {
    const U32 x1 = static_cast<U32>(x[1]), x3 = static_cast<U32>(x[3]);
    const U32 x5 = static_cast<U32>(x[5]), x7 = static_cast<U32>(x[7]);
    const U32 x2 = static_cast<U32>(x[2]), x6 = static_cast<U32>(x[6]);
    const U32 x4 = static_cast<U32>(x[4]);
    if ((x1 | x2 | x3 | x4 | x5 | x6 | x7) == 0) {
        for (int n = 0; n < 8; ++n) y[n * outStride] = x[0];
        return;
    }
    U32 e[4], o[4] = {0, 0, 0, 0};
    evenPart(static_cast<U32>(x[0]), x2, x4, x6, e);
    if ((x1 | x3 | x5 | x7) != 0) oddPart(x1, x3, x5, x7, o);
    for (int k = 0; k < 4; ++k) {
        y[k * outStride] = wrap(e[k] + o[k]);
        y[(7 - k) * outStride] = wrap(e[k] - o[k]);
    }
}

// idct8 of the line (x0, x1, 0, ..., 0) less x0 (the even half is x0 throughout): the odd
// half of x1, added on the first four outputs and taken off the last four.
inline void firstOddLine(U32 x1, U32 y[8]) {
    U32 o[4];
    oddPart(x1, 0, 0, 0, o);
    for (int k = 0; k < 4; ++k) {
        y[k] = o[k];
        y[7 - k] = 0u - o[k];
    }
}

} // namespace

void idct8(const LONG x[8], LONG y[8]) {
    U32 e[4], o[4];
    evenPart(static_cast<U32>(x[0]), static_cast<U32>(x[2]), static_cast<U32>(x[4]),
             static_cast<U32>(x[6]), e);
    oddPart(static_cast<U32>(x[1]), static_cast<U32>(x[3]), static_cast<U32>(x[5]),
            static_cast<U32>(x[7]), o);
    for (int k = 0; k < 4; ++k) {
        y[k] = wrap(e[k] + o[k]);
        y[7 - k] = wrap(e[k] - o[k]);
    }
}

void idctBlock(const LONG coeff[dctBlockSize], LONG* dest, int stride, int shift) {
    videoDsp().idctBlock(coeff, dest, stride, shift);
}

void idctBlockPair(const LONG coeffA[dctBlockSize], const LONG coeffB[dctBlockSize], LONG* destA,
                   LONG* destB, int strideA, int strideB, int shift) {
    videoDsp().idctBlockPair(coeffA, coeffB, destA, destB, strideA, strideB, shift);
}

namespace {

// The pair as two single blocks, where no form takes two at once.
template <void (*single)(const LONG*, LONG*, int, int)>
void pairOfSingles(const LONG* coeffA, const LONG* coeffB, LONG* destA, LONG* destB, int strideA,
                   int strideB, int shift) {
    single(coeffA, destA, strideA, shift);
    single(coeffB, destB, strideB, shift);
}

} // namespace

void addIdctForms(VideoDsp& dsp, SimdLevel step) {
    switch (step) {
    case SimdLevel::none:
        dsp.idctBlock = idctBlockScalar;
        dsp.idctBlockPair = pairOfSingles<idctBlockScalar>;
        break;
#if QZ_X86_SIMD
    case SimdLevel::avx2:
        dsp.idctBlock = idctBlockAvx2;
        dsp.idctBlockPair = pairOfSingles<idctBlockAvx2>;
        break;
    case SimdLevel::avx512:
        dsp.idctBlock = idctBlockAvx512;
        dsp.idctBlockPair = idctBlockPairAvx512;
        break;
#endif
    default:
        break;
    }
}

void idctBlockScalar(const LONG coeff[dctBlockSize], LONG* dest, int stride, int shift) {
    // First pass straight into the transposed intermediate block: inter[n][h].
    LONG inter[8][8];
    for (int h = 0; h < 8; ++h) idct8Fast(coeff + 8 * h, &inter[0][h], 8);
    for (int n = 0; n < 8; ++n) {
        LONG out[8];
        idct8Fast(inter[n], out, 1);
        LONG* row = dest + n * stride;
        for (int m = 0; m < 8; ++m) row[m] = out[m] >> shift;
    }
}

void idctLowBlock(const LONG coeff[dctBlockSize], LONG* dest, int stride, int shift) {
    U32 rowPart[8], columnPart[8];
    firstOddLine(static_cast<U32>(coeff[1]), rowPart);
    firstOddLine(static_cast<U32>(coeff[8]), columnPart);
    for (int n = 0; n < 8; ++n) {
        const U32 base = static_cast<U32>(coeff[0]) + rowPart[n];
        LONG* row = dest + n * stride;
        for (int m = 0; m < 8; ++m) row[m] = wrap(base + columnPart[m]) >> shift;
    }
}

void idctBlockPlain(const LONG coeff[dctBlockSize], LONG* dest, int stride, int shift) {
    LONG inter[8][8];
    for (int h = 0; h < 8; ++h) {
        LONG out[8];
        idct8(coeff + 8 * h, out);
        for (int n = 0; n < 8; ++n) inter[n][h] = out[n];
    }
    for (int n = 0; n < 8; ++n) {
        LONG out[8];
        idct8(inter[n], out);
        LONG* row = dest + n * stride;
        for (int m = 0; m < 8; ++m) row[m] = out[m] >> shift;
    }
}
