// Type-3 frames built by hand: quantiser values, flat, skipped and DCT macroblocks, the token
// code and its bounds.
#include "tests/video/dct_test_support.h"

#include "video/dct/dct_toolkit.h"

namespace {

using namespace dcttest;

std::uint32_t tablePixel(int y, int cb, int cr) {
    return static_cast<std::uint32_t>(yTable[y]) + static_cast<std::uint32_t>(uTable[cb]) +
           static_cast<std::uint32_t>(vTable[cr]);
}

TEST(Type3Quant, FactorsGrowWithFrequency) {
    LONG quant[64];
    const int expected[3][15] = {
        {10, 10, 10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 15},
        {19, 20, 21, 22, 23, 24, 25, 27, 28, 29, 30, 31, 32, 33, 35},
        {30, 32, 34, 36, 38, 40, 42, 45, 47, 49, 51, 53, 55, 57, 60},
    };
    const int qualities[3] = {90, 50, 0};
    for (int q = 0; q < 3; ++q) {
        buildType3Quant(quant, qualities[q]);
        for (int h = 0; h < 8; ++h)
            for (int v = 0; v < 8; ++v)
                EXPECT_EQ(quant[8 * h + v], prescale[8 * h + v] * expected[q][h + v]);
    }
    buildType3Quant(quant, 100);
    EXPECT_EQ(quant[0], 65536);
    EXPECT_EQ(quant[63], prescale[63] * 10);
    LONG same[64];
    buildType3Quant(same, 101);
    EXPECT_TRUE(std::equal(quant, quant + 64, same));
    buildType3Quant(quant, 255);
    EXPECT_LT(quant[0], 0);
}

TEST(Type3Frame, SkippedMacroblocksLeaveTheTarget) {
    Decoder d(xrgb8888);
    Target t(48 * 4, 32);
    d.clip(0, 0, 48, 32);
    // Length bytes 0, 1, 2, 4, 5 and 7 to 11 skip their bytes.
    d.decode(framePayload(48, 32, 100, 0, {0, 1, 9, 2, 9, 9, 4, 1, 2, 3, 4, 0, 5,
                                           1, 2, 3, 4, 5, 7, 0, 0, 0, 0, 0, 0, 0}),
             Variant::type3Rgb32, t);
    for (std::size_t i = 0; i < t.bytes.size(); ++i) ASSERT_EQ(t.bytes[i], Target::fill);
}

TEST(Type3Frame, FlatMacroblocksAtQuality100) {
    Decoder d(xrgb8888);
    Target t(48 * 4, 16);
    d.clip(0, 0, 48, 16);
    // b = 3: one luma for all quadrants; b = 6: four; b = 12: the even bytes of twelve.
    d.decode(framePayload(48, 16, 100, 0,
                          {3, 0xFF, 0,   127,  6,    0,    127, 0xFF, 20,   0x80, 4, 12,
                           0, 0x55, 127, 0x55, 0xFF, 0x55, 20,  0x55, 0x80, 0x55, 4, 0x55}),
             Variant::type3Rgb32, t);
    // Q0 = 65536: n(v) = (v >> 1) & 127, so -1 is 127, 0 is 0 and 127 is 63.
    EXPECT_EQ(t.pixel(0, 0, 4), tablePixel(127, 0, 63));
    EXPECT_EQ(t.pixel(15, 15, 4), tablePixel(127, 0, 63));
    const std::uint32_t quadrants[4] = {tablePixel(0, 64, 2), tablePixel(63, 64, 2),
                                        tablePixel(127, 64, 2), tablePixel(10, 64, 2)};
    for (int mb = 1; mb < 3; ++mb) {
        EXPECT_EQ(t.pixel(16 * mb + 7, 7, 4), quadrants[0]);
        EXPECT_EQ(t.pixel(16 * mb + 8, 0, 4), quadrants[1]);
        EXPECT_EQ(t.pixel(16 * mb, 8, 4), quadrants[2]);
        EXPECT_EQ(t.pixel(16 * mb + 15, 15, 4), quadrants[3]);
    }
    // The 2-byte variant stores the low half of the same sums.
    Decoder d16(rgb565);
    Target t16(16 * 2, 16);
    d16.clip(0, 0, 16, 16);
    d16.decode(framePayload(16, 16, 100, 0, {3, 0xFF, 0, 127}), Variant::type3Rgb16, t16);
    EXPECT_EQ(t16.pixel(3, 9, 2), tablePixel(127, 0, 63) & 0xFFFF);
}

TEST(Type3Block, TokensFromHandBuiltBytes) {
    LONG quant[64], coeff[64];
    buildType3Quant(quant, 100);
    // 05 AA 07: DC 5; c = 2 (+1 at position 1); c = 5, n = 30 (61 zeros); c = 0 (one zero).
    const BYTE bytes[] = {0x05, 0xAA, 0x07, 0x00};
    Type3BitReader bits = startType3Reader(bytes, sizeof bytes, 0);
    readType3Block(bits, quant, coeff);
    EXPECT_EQ(coeff[0], 5 * quant[0]);
    EXPECT_EQ(coeff[8], quant[8]);
    for (int i = 1; i < 64; ++i) EXPECT_EQ(coeff[i], i == 8 ? quant[8] : 0) << i;
    EXPECT_EQ(bits.next * 8 - bits.count, 22); // the next block starts at bit 6 of byte 2

    // DC 7, c = 5 with n = 31: 63 zeros, 64 equal samples.
    const BYTE flat[] = {0x07, 0xFD};
    bits = startType3Reader(flat, sizeof flat, 0);
    readType3Block(bits, quant, coeff);
    LONG samples[64];
    idctBlock(coeff, samples, 8, 0);
    for (LONG s : samples) EXPECT_EQ(s, 7 * 65536);

    // Short levels, the escape, and -1: t = (field << 2) | 3, field 63 escapes to a byte.
    const BYTE levels[] = {0x00, (5 << 2) | 3, (59 << 2) | 3, 0xFF, 0x9C, 0x06 /* c=6 */};
    bits = startType3Reader(levels, sizeof levels, 0);
    readType3Block(bits, quant, coeff);
    EXPECT_EQ(coeff[zigzag[1]], 5 * quant[zigzag[1]]);
    EXPECT_EQ(coeff[zigzag[2]], -5 * quant[zigzag[2]]);
    EXPECT_EQ(coeff[zigzag[3]], -100 * quant[zigzag[3]]);
    EXPECT_EQ(coeff[zigzag[4]], -quant[zigzag[4]]);
}

TEST(Type3Block, RunsPastTheEndStopTheBlock) {
    LONG quant[64], coeff[64];
    buildType3Quant(quant, 100);
    // +1 at position 1, then 63 zeros (to 65): the block ends after that token and the next
    // block's DC follows at once.
    LsbBits w;
    w.put(9, 8);
    w.put(2, 3);
    w.put((31 << 3) | 5, 8);
    w.put(0x21, 8);
    Type3BitReader bits = startType3Reader(w.bytes.data(), w.bytes.size(), 0);
    readType3Block(bits, quant, coeff);
    EXPECT_EQ(coeff[0], 9 * 65536);
    EXPECT_EQ(coeff[8], quant[8]);
    readType3Block(bits, quant, coeff);
    EXPECT_EQ(coeff[0], 0x21 * 65536);

    // A long run of no zeros ends the block without advancing.
    LsbBits z;
    z.put(3, 8);
    z.put(1, 8); // c = 1, n = 0
    z.put(0x44, 8);
    bits = startType3Reader(z.bytes.data(), z.bytes.size(), 0);
    readType3Block(bits, quant, coeff);
    EXPECT_EQ(coeff[0], 3 * 65536);
    readType3Block(bits, quant, coeff);
    EXPECT_EQ(coeff[0], 0x44 * 65536);
}

TEST(Type3Frame, SampleOneStepAboveTheTopWrapsToTheDarkestEntry) {
    Decoder d(xrgb8888);
    Target t(16 * 4, 16);
    d.clip(0, 0, 16, 16);
    // Quality 90: Q0 = 81920; DC 103 gives 103 × 81920 >> 17 = 64, index 64.
    LsbBits w;
    for (int block = 0; block < 6; ++block) {
        w.put(block < 4 ? 103 : 0, 8);
        w.put((31 << 3) | 5, 8);
    }
    Bytes body{static_cast<std::uint8_t>(13)};
    Bytes bits = w.bytes;
    bits.resize(13, 0);
    body.insert(body.end(), bits.begin(), bits.end());
    d.decode(framePayload(16, 16, 90, 0, body), Variant::type3Rgb32, t);
    EXPECT_EQ(t.pixel(5, 5, 4), tablePixel(64, 0, 0));
}

TEST(Type3Frame, FortyPixelsWideCodesThreeMacroblocksARow) {
    Decoder d(xrgb8888);
    Target t(64 * 4, 16);
    d.clip(0, 0, 64, 16);
    d.decode(framePayload(40, 16, 100, 0, {3, 10, 0, 0, 3, 20, 0, 0, 3, 30, 0, 0, 3, 40, 0, 0}),
             Variant::type3Rgb32, t);
    EXPECT_EQ(t.pixel(47, 0, 4), tablePixel(15, 0, 0)); // 8 pixels beyond the picture
    EXPECT_EQ(t.pixel(48, 0, 4), 0xA5A5A5A5u);          // the fourth macroblock is not read
}

} // namespace
