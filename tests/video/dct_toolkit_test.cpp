// The transform toolkit's exact values: tables, scan order and the rounding of idct8/idctBlock.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

#include "video/dct/dct_toolkit.h"

namespace {

std::array<LONG, 8> idct8Of(std::array<LONG, 8> x) {
    std::array<LONG, 8> y{};
    idct8(x.data(), y.data());
    return y;
}

TEST(DctToolkit, Idct8ExactLines) {
    using L = std::array<LONG, 8>;
    EXPECT_EQ(idct8Of({65536, 0, 0, 0, 0, 0, 0, 0}),
              (L{65536, 65536, 65536, 65536, 65536, 65536, 65536, 65536}));
    EXPECT_EQ(idct8Of({0, 65536, 0, 0, 0, 0, 0, 0}),
              (L{126083, 106887, 71420, 25080, -25080, -71420, -106887, -126083}));
    EXPECT_EQ(idct8Of({0, 0, 65536, 0, 0, 0, 0, 0}),
              (L{111876, 46340, -46340, -111876, -111876, -46340, 46340, 111876}));
    EXPECT_EQ(idct8Of({0, 0, 0, 0, 0, 0, 0, 65536}),
              (L{4989, -14207, 21260, -25080, 25080, -21260, 14207, -4989}));
    EXPECT_EQ(idct8Of({1000, -3, 5, 7, -11, 13, 0, 2}),
              (L{1008, 990, 997, 986, 978, 1021, 1036, 984}));
}

TEST(DctToolkit, Idct8RoundsItsFloatingStepsAndWraps) {
    // d17 = 2, d53 = -2: Z = 0, a = round(-1.082...) = -1, b = round(2.613...) = 3.
    const auto y = idct8Of({0, 1, 0, 1, 0, -1, 0, -1});
    EXPECT_EQ(y[3], -1);
    EXPECT_EQ(y[0], 3);
    // Sums beyond 32 bits wrap instead of trapping.
    const auto big = idct8Of({0x7FFFFFFF, 0, 0, 0, 0x7FFFFFFF, 0, 0, 0});
    EXPECT_EQ(big[0], -2);
}

TEST(DctToolkit, TablesMatchTheirDefinitions) {
    for (int h = 0; h < 8; ++h) {
        for (int v = 0; v < 8; ++v) {
            auto s = [](int k) { return k == 0 ? 1.0 : std::sqrt(2.0) * std::cos(k * M_PI / 16); };
            EXPECT_EQ(prescale[8 * h + v], std::lround(8192 / (s(h) * s(v)))) << h << "," << v;
        }
    }
    EXPECT_EQ(intraWeights[0], 8);
    EXPECT_EQ(intraWeights[1], 16); // first row runs along the vertical frequencies
    EXPECT_EQ(intraWeights[8], 16);
    EXPECT_EQ(intraWeights[63], 83);
    std::array<int, 64> seen{};
    for (int k = 0; k < 64; ++k) ++seen[zigzag[k]];
    for (int n : seen) EXPECT_EQ(n, 1);
    EXPECT_EQ(zigzag[1], 8); // horizontal frequency 1
    EXPECT_EQ(zigzag[2], 1); // vertical frequency 1
}

TEST(DctToolkit, DcOnlyBlockIsFlatAtAnyShift) {
    LONG coeff[64] = {};
    coeff[0] = 12345678;
    LONG out[8 * 9];
    idctBlock(coeff, out, 9, 0); // rows may lie 9 apart
    for (int n = 0; n < 8; ++n)
        for (int m = 0; m < 8; ++m) EXPECT_EQ(out[9 * n + m], 12345678);
    coeff[0] = -255 * 65536;
    idctBlock(coeff, out, 8, 17);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(out[i], -128);
}

// The plain two-pass definition without the first-pass shortcut.
void referenceBlock(const LONG* coeff, LONG* out) {
    LONG inter[8][8];
    for (int h = 0; h < 8; ++h) {
        LONG line[8];
        idct8(coeff + 8 * h, line);
        for (int n = 0; n < 8; ++n) inter[n][h] = line[n];
    }
    for (int n = 0; n < 8; ++n) idct8(inter[n], out + 8 * n);
}

TEST(DctToolkit, ShortcutMatchesFullTransformAndScaledDct) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 2000; ++trial) {
        LONG levels[64] = {};
        LONG coeff[64] = {};
        const int nonzero = trial % 10;
        for (int i = 0; i < nonzero; ++i) levels[rng() % (trial % 2 ? 64 : 16)] = rng() % 61 - 30;
        levels[0] = rng() % 255;
        for (int i = 0; i < 64; ++i) coeff[i] = levels[i] * prescale[i] * 8;
        LONG fast[64], plain[64];
        idctBlock(coeff, fast, 8, 0);
        referenceBlock(coeff, plain);
        for (int i = 0; i < 64; ++i) ASSERT_EQ(fast[i], plain[i]) << trial;
        // 65536 × the standard inverse transform of levels × 8, within the integer rounding.
        for (int n = 0; n < 8; ++n) {
            for (int m = 0; m < 8; ++m) {
                double sum = 0;
                for (int h = 0; h < 8; ++h) {
                    for (int v = 0; v < 8; ++v) {
                        const double ch = h ? 1 : M_SQRT1_2, cv = v ? 1 : M_SQRT1_2;
                        sum += ch * cv * levels[8 * h + v] * 8 *
                               std::cos((2 * m + 1) * h * M_PI / 16) *
                               std::cos((2 * n + 1) * v * M_PI / 16);
                    }
                }
                EXPECT_NEAR(fast[8 * n + m] / 65536.0, sum / 4, 0.05) << trial;
            }
        }
    }
}

} // namespace
