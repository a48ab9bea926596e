// The DOR bitstream layer on hand-built bits: dequantisation, the small code, every coefficient
// code with both signs, the escape, the end of block and the reader at the end of the data.
#include "tests/video/dor_test_support.h"

#include <cstring>
#include <string>

#include "video/dct/dct_toolkit.h"

namespace {

using namespace dortest;

// A context whose bit reader starts on the bits, with the dequantisation table for q.
struct Reader {
    Bytes stream;
    std::unique_ptr<VideoState> ctx = std::make_unique<VideoState>();

    Reader(const DorBitWriter& bits, LONG q) : stream(bits.bytes()) {
        ctx->frameDataEnd = stream.data() + stream.size();
        startDorFrame(ctx.get(), stream.data(), q);
    }
};

TEST(DorBitstream, DequantisationTable) {
    LONG dequant[64];
    for (LONG q : {0, 1, 7, 127, -3}) {
        buildDorDequant(dequant, q);
        EXPECT_EQ(dequant[0], 32768) << q;
    }
    buildDorDequant(dequant, 1);
    EXPECT_EQ(dequant[1], 5906); // H(5906 × 16 × 4096)
    // Halves round up: prescale 4258 × weight 16 × 2^12 / 2^16 = 4258.
    EXPECT_EQ(dequant[9], 4258);
    buildDorDequant(dequant, 0);
    for (int k = 1; k < 64; ++k) EXPECT_EQ(dequant[k], 0);
    buildDorDequant(dequant, 3);
    const std::int64_t x = std::int64_t{prescale[63]} * intraWeights[63] * 3 * 4096;
    EXPECT_EQ(dequant[63], (x >> 16) + ((x >> 15) & 1));
}

TEST(DorBitstream, SmallCodeValuesAndWordOrder) {
    DorBitWriter bits;
    bits.put("110000");
    bits.put("101111");
    bits.put("0");
    for (int v = -16; v <= 16; ++v) writeDorSmallValue(bits, v);
    Reader r(bits, 1);
    EXPECT_EQ(readDorSmallValue(r.ctx.get()), -16);
    EXPECT_EQ(readDorSmallValue(r.ctx.get()), 16);
    EXPECT_EQ(readDorSmallValue(r.ctx.get()), 0);
    for (int v = -16; v <= 16; ++v) EXPECT_EQ(readDorSmallValue(r.ctx.get()), v);
    // The stream's first word is little-endian: bits 1100 0010 1111 0110 give bytes F6 C2.
    EXPECT_EQ(r.stream[0], 0xF6);
    EXPECT_EQ(r.stream[1], 0xC2);
}

TEST(DorBitstream, EveryCoefficientCodeWithBothSigns) {
    const DorCoefficientCode* codes = dorCoefficientCodes();
    for (int c = 0; c < dorCoefficientCodeCount; ++c) {
        for (int sign = 0; sign < 2; ++sign) {
            DorBitWriter bits;
            bits.put(0x85, 8); // DC -123
            bits.put(codes[c].bits);
            bits.put(static_cast<std::uint32_t>(sign), 1);
            bits.put(dorEndOfBlock);
            bits.put(0x7F, 8); // the next block's DC
            Reader r(bits, 2);
            const int position = 1 + codes[c].run;
            ASSERT_EQ(readDorCoefficients(r.ctx.get()), position + 1) << codes[c].bits;
            const int index = zigzag[position];
            const LONG level = sign ? -codes[c].level : codes[c].level;
            EXPECT_EQ(r.ctx->dor.coeff[index], level * r.ctx->dor.dequant[index]) << codes[c].bits;
            EXPECT_EQ(r.ctx->dor.coeff[0], -123 * 32768);
            for (int i = 1; i < 64; ++i) {
                if (i != index) {
                    ASSERT_EQ(r.ctx->dor.coeff[i], 0);
                }
            }
            // Exactly the code's bits were taken: the next block starts in the right place.
            readDorCoefficients(r.ctx.get());
            EXPECT_EQ(r.ctx->dor.coeff[0], 127 * 32768) << codes[c].bits;
        }
    }
}

TEST(DorBitstream, EscapeAndEndOfBlock) {
    DorBitWriter bits;
    bits.put(0x10, 8);
    bits.put("000001"), bits.put("0000000101"), bits.put("000011"); // level 5 at run 3
    bits.put("000001"), bits.put("1111111111"), bits.put("000000"); // level -1 at run 0
    bits.put(dorEndOfBlock);
    bits.put(0xF0, 8); // DC only
    bits.put(dorEndOfBlock);
    Reader r(bits, 4);
    EXPECT_EQ(readDorCoefficients(r.ctx.get()), 6);
    EXPECT_EQ(r.ctx->dor.coeff[zigzag[4]], 5 * r.ctx->dor.dequant[zigzag[4]]);
    EXPECT_EQ(r.ctx->dor.coeff[zigzag[5]], -r.ctx->dor.dequant[zigzag[5]]);

    EXPECT_EQ(readDorCoefficients(r.ctx.get()), 1);
    LONG samples[8 * 10];
    std::memset(samples, 0x11, sizeof samples);
    storeDorBlock(r.ctx.get(), samples, 10, true);
    for (int n = 0; n < 8; ++n)
        for (int m = 0; m < 10; ++m)
            EXPECT_EQ(samples[n * 10 + m], m < 8 ? -16 * 32768 : 0x11111111) << n << "," << m;
}

TEST(DorBitstream, RunsPastTheBlockAndTheEndOfTheDataStop) {
    DorBitWriter bits;
    bits.put(0x01, 8);
    // Two escapes with run 40: the second passes position 63 and ends the block.
    for (int i = 0; i < 2; ++i) bits.put("000001"), bits.put(7u << 6 | 40u, 16);
    Reader r(bits, 1);
    EXPECT_GE(readDorCoefficients(r.ctx.get()), 64);
    EXPECT_EQ(r.ctx->dor.coeff[zigzag[41]], 7 * r.ctx->dor.dequant[zigzag[41]]);

    // Past the data every bit reads as zero: DC 0, then bits that begin no code end the block.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(readDorCoefficients(r.ctx.get()), 1);
    EXPECT_EQ(r.ctx->dor.coeff[0], 0);
    EXPECT_EQ(readDorSmallValue(r.ctx.get()), 0);
    EXPECT_EQ(r.ctx->dor.nextWord, r.ctx->frameDataEnd);
}

TEST(DorBitstream, OddLengthDataReadsItsLastByteAsTheLowHalf) {
    const Bytes stream{0x00, 0x80, 0x05}; // words 0x8000, then 0x0005 from the lone byte
    auto ctx = std::make_unique<VideoState>();
    ctx->frameDataEnd = stream.data() + stream.size();
    startDorFrame(ctx.get(), stream.data(), 1);
    EXPECT_EQ(ctx->dor.bitWindow, 0x80000005u);
    EXPECT_EQ(ctx->dor.bitCount, 32);
    skipDorBits(ctx.get(), 16);
    EXPECT_EQ(ctx->dor.bitWindow, 0x00050000u);
    EXPECT_EQ(ctx->dor.bitCount, 16);
    skipDorBits(ctx.get(), 1); // refills with a zero word: nothing is read past the data
    EXPECT_EQ(ctx->dor.bitWindow, 0x000A0000u);
    EXPECT_EQ(ctx->dor.bitCount, 31);
}

} // namespace
