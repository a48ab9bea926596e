// The encoders' AVX2 forms held bit for bit to their plain forms over random and extreme
// inputs (the encoded files must not depend on the processor).
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "encoder/dct_encoder.h"
#include "encoder/forward_dct.h"
#include "encoder/rgb_to_yuv.h"
#include "encoder/rounding.h"
#include "encoder/type3_gamut.h"
#include "video/dct/simd_switch.h"

namespace {

bool haveAvx2() {
    return simdAvailable() != SimdLevel::none;
}

TEST(EncoderSimdForms, TransformAndQuantiserMatchThePlainForms) {
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

        // Scales from none to large, products near halves and beyond the level range.
        double scale[64];
        for (double& s : scale)
            s = rng() % 8 == 0 ? 0.0 : std::ldexp(double(rng() % 4096), -int(rng() % 16));
        if (kind == 2)
            for (int i = 0; i < 64; ++i) plain[i] = (i - 32) + 0.5, scale[i] = 1.0;
        double productsPlain[64], productsAvx2[64];
        const std::uint64_t nonzero = scaleCoefficientsPlain(plain, scale, productsPlain);
        ASSERT_EQ(nonzero, scaleCoefficientsAvx2(plain, scale, productsAvx2));
        ASSERT_EQ(std::memcmp(productsPlain, productsAvx2, sizeof productsPlain), 0) << round;
        // The mask marks exactly the levels that round away from zero.
        for (int i = 0; i < 64; ++i)
            ASSERT_EQ(roundHalfAway(productsPlain[i]) != 0, ((nonzero >> i) & 1) != 0) << i;
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
        const int lumaWidth = 1 + round % 41, width = (lumaWidth + 1) / 2;
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
        limitChromaRowAvx2(luma.data(), luma.data() + lumaWidth, lumaWidth, 0, width, cb.data(),
                           cr.data());
        ASSERT_EQ(cbPlain, cb) << "width " << lumaWidth;
        ASSERT_EQ(crPlain, cr) << "width " << lumaWidth;
    }
}

} // namespace
