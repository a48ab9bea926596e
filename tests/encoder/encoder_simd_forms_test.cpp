// The encoders' AVX2 forms held bit for bit to their plain forms over random and extreme
// inputs (the encoded files must not depend on the processor).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

#include "encoder/dct_encoder.h"
#include "encoder/forward_dct.h"
#include "encoder/rgb_to_yuv.h"
#include "encoder/type3_gamut.h"
#include "encoder/type4_levels.h"
#include "video/dct/dct_toolkit.h"
#include "video/type4/type4_decoder.h"
#include "video/dct/simd_switch.h"

namespace {

bool haveAvx2() {
    return simdAvailable() != SimdLevel::none;
}

TEST(EncoderSimdForms, TransformMatchesThePlainForm) {
    if (!haveAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
    std::mt19937 rng(7);
    std::uint8_t rows[12 * 16];
    for (int round = 0; round < 3000; ++round) {
        const int kind = round % 4; // random, flat extremes, stripes, random with stride 12
        for (auto& b : rows)
            b = kind == 1   ? (round & 4 ? 255 : 0)
                : kind == 2 ? ((&b - rows) % 2 ? 255 : 0)
                            : static_cast<std::uint8_t>(rng());
        const std::ptrdiff_t stride = kind == 3 ? 12 : 8;
        const int offset = static_cast<int>(rng() % 300) - 150;
        double plain[64], avx2[64];
        forwardDctBytesPlain(rows, stride, offset, plain);
        forwardDctBytesAvx2(rows, stride, offset, avx2);
        ASSERT_EQ(std::memcmp(plain, avx2, sizeof plain), 0) << "round " << round;

        // The same as the older transform of DctBlock, transposed.
        DctBlock samples;
        for (int i = 0; i < 64; ++i) samples[i] = rows[(i >> 3) * stride + (i & 7)] + offset;
        const DctBlock reference = forwardDct(samples);
        for (int i = 0; i < 64; ++i) ASSERT_EQ(reference[i], plain[transposedIndex(i)]);
    }
}

// The type-4 levels and chroma map: every vector form against the plain one over random and extreme
// blocks and every quality's quantiser, and the plain form's transform against the transform in
// doubles.
TEST(EncoderSimdForms, Type4LevelsMatchThePlainFormAndTheTransform) {
    std::vector<Type4Levels> forms;
    if (haveAvx2()) forms.push_back({type4LevelsAvx2, type4PackedOrder()});
    if (simdAvailable() == SimdLevel::avx512vbmi)
        forms.push_back({type4LevelsAvx512, type4ScanOrder()});
    // The same levels at every scan position, each form in its order.
    const auto expectSame = [](const std::int16_t* plain, const std::int16_t* vector,
                               const std::uint8_t* order) {
        for (int k = 0; k < 64; ++k)
            if (plain[k] != vector[order[k]]) return false;
        return true;
    };
    std::mt19937 rng(3);
    std::uint8_t rows[12 * 16];
    for (int round = 0; round < 4000; ++round) {
        const int kind = round % 5; // random, flat extremes, stripes, checks, stride 12
        for (int i = 0; i < int(sizeof rows); ++i)
            rows[i] = kind == 1   ? (round & 8 ? 255 : 0)
                      : kind == 2 ? (i % 2 ? 255 : 0)
                      : kind == 3 ? ((i / 12 + i) % 2 ? 255 : 0)
                                  : static_cast<std::uint8_t>(rng());
        const std::ptrdiff_t stride = kind >= 3 ? 12 : 8;
        if (round < 128) {
            // The largest coefficients there are: 255 where a basis function is positive, 0
            // where it is negative (or the other way), for each of the 64.
            const int u = round & 7, v = (round >> 3) & 7;
            for (int n = 0; n < 8; ++n)
                for (int m = 0; m < 8; ++m) {
                    const double b = std::cos((2 * m + 1) * u * std::numbers::pi / 16) *
                                     std::cos((2 * n + 1) * v * std::numbers::pi / 16);
                    rows[n * stride + m] = (b >= 0) != (round >= 64) ? 255 : 0;
                }
        }
        LONG quant[64];
        setupType4Quant(quant, round % 101);
        double scale[64];
        for (int i = 0; i < 64; ++i) scale[i] = double(prescale[i]) / quant[i];
        const Type4LevelTables tables(scale);
        alignas(64) std::int16_t plain[64], vector[64];
        const std::uint64_t mask = type4LevelsPlain(rows, stride, tables, plain);
        for (int k = 1; k < 64; ++k) ASSERT_EQ(plain[k] != 0, ((mask >> k) & 1) != 0);
        for (const Type4Levels& form : forms) {
            ASSERT_EQ(mask, form.form(rows, stride, tables, vector)) << "round " << round;
            ASSERT_TRUE(expectSame(plain, vector, form.order)) << "round " << round;
        }
        // The chroma map through a random table.
        if (simdAvailable() == SimdLevel::avx512vbmi && round % 10 == 0) {
            std::uint8_t table[256], mappedPlain[64], mappedVbmi[64];
            for (auto& t : table) t = static_cast<std::uint8_t>(rng());
            mapBlockPlain(rows, stride, table, mappedPlain);
            mapBlockVbmi(rows, stride, table, mappedVbmi);
            ASSERT_EQ(std::memcmp(mappedPlain, mappedVbmi, 64), 0) << "round " << round;
        }
    }
    // With a level per unit of the orthonormal coefficient, the levels are the coefficients in
    // doubles rounded, give or take one (the samples near grey, so that none is clamped). With
    // a level per two units of the transform's own coefficients the forms must agree on every
    // coefficient's last bit, which catches a factor a little off in a vector form.
    double unit[64], fine[64];
    std::fill(unit, unit + 64, 1.0);
    std::fill(fine, fine + 64, 4.0);
    const Type4LevelTables tables(unit), fineTables(fine);
    for (int round = 0; round < 2000; ++round) {
        for (auto& b : rows) b = static_cast<std::uint8_t>(128 + int(rng() % 61) - 30);
        alignas(64) std::int16_t levels[64], plain[64], vector[64];
        const std::uint64_t mask = type4LevelsPlain(rows, 8, fineTables, plain);
        for (const Type4Levels& form : forms) {
            ASSERT_EQ(mask, form.form(rows, 8, fineTables, vector)) << "round " << round;
            ASSERT_TRUE(expectSame(plain, vector, form.order)) << "round " << round;
        }
        type4LevelsPlain(rows, 8, tables, levels);
        DctBlock samples;
        for (int i = 0; i < 64; ++i) samples[i] = rows[i] - 128;
        const DctBlock reference = forwardDct(samples);
        EXPECT_NEAR(levels[0], 8 * reference[0], 0.5);
        for (int k = 1; k < 64; ++k)
            ASSERT_NEAR(levels[k], std::round(reference[zigzag[k]]), 1.0) << k;
    }
}

TEST(EncoderSimdForms, ColourConversionMatchesThePlainForm) {
    if (!haveAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
    std::mt19937 rng(11);
    for (int round = 0; round < 400; ++round) {
        const int width = 1 + round % 70;
        const bool pair = round % 5 != 0;
        std::vector<std::uint8_t> rgb(std::size_t(width) * 6);
        // Random, or only the extremes (sums at the ends of the chroma range).
        for (auto& b : rgb) b = round % 3 == 0 ? (rng() % 2 ? 255 : 0) : std::uint8_t(rng());
        std::vector<std::uint8_t> plain(std::size_t(width) * 2 + width + 1, 7);
        std::vector<std::uint8_t> avx2 = plain;
        const int cw = (width + 1) / 2;
        const auto out = [&](std::vector<std::uint8_t>& v) {
            return RowPairOut{v.data(), pair ? v.data() + width : nullptr, v.data() + 2 * width,
                              v.data() + 2 * width + cw};
        };
        const std::uint8_t* second = pair ? rgb.data() + 3 * width : nullptr;
        rgbRowPairPlain(rgb.data(), second, width, 0, out(plain));
        rgbRowPairAvx2(rgb.data(), second, width, 0, out(avx2));
        ASSERT_EQ(plain, avx2) << "width " << width;
    }
}

TEST(EncoderSimdForms, GamutLimitMatchesThePlainForm) {
    if (!haveAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
    std::mt19937 rng(5);
    for (int round = 0; round < 400; ++round) {
        const int lumaWidth = 1 + round % 81, width = (lumaWidth + 1) / 2;
        std::vector<std::uint8_t> luma(std::size_t(lumaWidth) * 2), cb(width), cr(width);
        // Luma inside the band, at its ends or anywhere in it; chroma anywhere or neutral.
        for (auto& y : luma)
            y = round % 3 == 0 ? (rng() % 2 ? gamutHigh : gamutLow)
                               : std::uint8_t(gamutLow + rng() % (gamutHigh - gamutLow + 1));
        for (int i = 0; i < width; ++i) {
            cb[i] = round % 4 == 0 && i % 2 ? 128 : std::uint8_t(rng());
            cr[i] = round % 4 == 0 && i % 2 ? 128 : std::uint8_t(rng());
        }
        auto cbPlain = cb, crPlain = cr;
        limitChromaRowPlain(luma.data(), luma.data() + lumaWidth, lumaWidth, 0, width,
                            cbPlain.data(), crPlain.data());
        for (ChromaRowForm form : {limitChromaRowAvx2, limitChromaRowAvx512}) {
            if (form == limitChromaRowAvx512 && simdAvailable() < SimdLevel::avx512) continue;
            auto cbVector = cb, crVector = cr;
            form(luma.data(), luma.data() + lumaWidth, lumaWidth, 0, width, cbVector.data(),
                 crVector.data());
            ASSERT_EQ(cbPlain, cbVector) << "width " << lumaWidth;
            ASSERT_EQ(crPlain, crVector) << "width " << lumaWidth;
        }
    }
}

} // namespace
