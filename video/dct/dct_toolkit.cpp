#include "video/dct/dct_toolkit.h"

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

// About 2^31/√2: the upper half of a product with it is about the value over 2√2.
constexpr std::int64_t invSqrt2Fixed = 1518500250;
// Single-precision values of cos(3π/8), √2·cos(3π/8) and √2·cos(π/8), written exactly.
constexpr double cos3Pi8 = 0.3826834261417389;
constexpr double sqrt2Cos3Pi8 = 0.5411961078643799;
constexpr double sqrt2CosPi8 = 1.3065630197525024;
// Adding 1.5 × 2^52 leaves the value rounded to an integer (ties to even) in the low mantissa
// bits.
constexpr double roundingBias = 6755399441055744.0;

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

} // namespace

void idct8(const LONG x[8], LONG y[8]) {
    const U32 x0 = static_cast<U32>(x[0]), x1 = static_cast<U32>(x[1]);
    const U32 x2 = static_cast<U32>(x[2]), x3 = static_cast<U32>(x[3]);
    const U32 x4 = static_cast<U32>(x[4]), x5 = static_cast<U32>(x[5]);
    const U32 x6 = static_cast<U32>(x[6]), x7 = static_cast<U32>(x[7]);

    const U32 s17 = x1 + x7, d17 = x1 - x7, s35 = x3 + x5, d53 = x5 - x3;
    const U32 t = s17 + s35;
    const U32 bigT = static_cast<U32>(halfRootTwo(s17 - s35));

    const double z = static_cast<double>(wrap(d17 + d53)) * cos3Pi8;
    const double fa = static_cast<double>(wrap(d53)) * sqrt2Cos3Pi8 + z;
    const double fb = static_cast<double>(wrap(d17)) * sqrt2CosPi8 - z;
    const U32 a = roundToLong(fa), b = roundToLong(fb);

    const U32 s04 = x0 + x4, d04 = x0 - x4, s26 = x2 + x6;
    const U32 u = static_cast<U32>(halfRootTwo(x2 - x6));

    const U32 e0 = s04 + s26 + u, e3 = s04 - s26 - u, e1 = d04 + u, e2 = d04 - u;
    const U32 o0 = b + t, o1 = bigT + b, o2 = a + bigT, o3 = a;

    y[0] = wrap(e0 + o0);
    y[7] = wrap(e0 - o0);
    y[1] = wrap(e1 + o1);
    y[6] = wrap(e1 - o1);
    y[2] = wrap(e2 + o2);
    y[5] = wrap(e2 - o2);
    y[3] = wrap(e3 + o3);
    y[4] = wrap(e3 - o3);
}

void idctBlock(const LONG coeff[dctBlockSize], LONG* dest, int stride, int shift) {
    LONG inter[8][8];
    for (int h = 0; h < 8; ++h) {
        const LONG* line = coeff + 8 * h;
        LONG out[8];
        if ((line[1] | line[2] | line[3] | line[4] | line[5] | line[6] | line[7]) == 0) {
            // A line without AC coefficients transforms to its DC value on every row.
            for (LONG& o : out) o = line[0];
        } else {
            idct8(line, out);
        }
        for (int n = 0; n < 8; ++n) inter[n][h] = out[n];
    }
    for (int n = 0; n < 8; ++n) {
        LONG out[8];
        idct8(inter[n], out);
        LONG* row = dest + n * stride;
        for (int m = 0; m < 8; ++m) row[m] = out[m] >> shift;
    }
}
