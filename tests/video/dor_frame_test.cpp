// DOR frames built by hand: macroblock modes, predicted copies with even and odd vectors and
// brightness offsets, the roles of the picture buffers, and the conversion into the target.
#include "tests/video/dor_test_support.h"

namespace {

using namespace dortest;
using dcttest::Target;

// A key frame of flat macroblocks; macroblock m has every block at DC level dc(m).
template <class Dc> Bytes flatKeyFrame(int width, int height, Dc dc) {
    DorBitWriter bits;
    int m = 0;
    for (int y = 0; y < height; y += 16)
        for (int x = 0; x < width; x += 16, ++m)
            for (int k = 0; k < 6; ++k) flatBlock(bits, dc(m, k));
    return frame(width, height, 4, bits);
}

// A motion frame whose macroblocks are all predicted with the same vector and offset.
Bytes predictedFrame(int width, int height, int dx, int dy, int v) {
    DorBitWriter bits;
    for (int y = 0; y < height; y += 16)
        for (int x = 0; x < width; x += 16) predictedMacroblock(bits, dx, dy, v);
    return frame(width, height, 4, bits);
}

// Fills the reference picture with a pattern: luma 3x + y, U x + 2y, V 100 - x, all mod 128
// (x, y in pixels; chroma of the pixel pair).
void patternReference(Decoder& d) {
    BYTE* p = d.ctx->dor.reference;
    for (int y = 0; y < d.ctx->dor.height; ++y)
        for (int x = 0; x < d.ctx->dor.width; ++x) {
            BYTE* word = p + y * d.ctx->dor.width * 2 + (x >> 1) * 4;
            word[3 - (x & 1)] = static_cast<BYTE>((3 * x + y) & 127);
            word[1] = static_cast<BYTE>((x / 2 * 2 + 2 * y) & 127);
            word[0] = static_cast<BYTE>((100 - x / 2 * 2) & 127);
        }
}

TEST(DorFrame, FlatKeyFrameStoresSamplePlus64AndBecomesTheReference) {
    Decoder d;
    // A DC level L gives the sample L / 2 (rounded down): stored bytes L / 2 + 64, limited.
    d.decode(flatKeyFrame(32, 16, [](int m, int k) { return m == 0 ? -128 + k * 40 : 126; }), 5);
    const BYTE* ref = d.ctx->dor.reference;
    ASSERT_NE(ref, nullptr);
    EXPECT_EQ(d.luma(ref, 0, 0), 0);        // -128 / 2 + 64
    EXPECT_EQ(d.luma(ref, 8, 0), 20);       // -88 / 2 + 64
    EXPECT_EQ(d.luma(ref, 7, 15), 40);      // block 2
    EXPECT_EQ(d.luma(ref, 15, 15), 60);     // block 3
    EXPECT_EQ(d.chroma(ref, 3, 9, 1), 80);  // U
    EXPECT_EQ(d.chroma(ref, 3, 9, 0), 100); // V
    EXPECT_EQ(d.luma(ref, 31, 15), 127);
}

TEST(DorFrame, NonReferenceFramesLeaveTheReference) {
    Decoder d;
    d.decode(flatKeyFrame(16, 16, [](int, int) { return 40; }), 5); // bytes 84
    d.decode(predictedFrame(16, 16, 0, 0, 3), 6);                   // 87, the new reference
    const BYTE* reference = d.ctx->dor.reference;
    d.decode(predictedFrame(16, 16, 0, 0, 10), 7); // 97, shown and forgotten
    EXPECT_EQ(d.ctx->dor.reference, reference);
    EXPECT_EQ(d.luma(d.ctx->dor.nonRef, 5, 5), 97);
    d.decode(predictedFrame(16, 16, 0, 0, 1), 6);
    EXPECT_EQ(d.luma(d.ctx->dor.reference, 5, 5), 88);
    EXPECT_EQ(d.chroma(d.ctx->dor.reference, 5, 5, 0), 88);
}

TEST(DorFrame, MotionBeforeAnyKeyFramePredictsFromZerosAndConvertsInsideTheTables) {
    Decoder d;
    Target t(16 * 4, 16);
    d.decode(predictedFrame(16, 16, 0, 0, 0), 6, &t);
    EXPECT_EQ(d.luma(d.ctx->dor.reference, 0, 0), 0);
    // Bytes 0 everywhere: the red and blue lanes sum to -7, below their gamma tables, and take
    // their first (black) entries; green is 119.
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 16; ++x) ASSERT_EQ(t.pixel(x, y, 4), 0x007700u) << x << "," << y;
    EXPECT_EQ(t.pixel(0, 15, 4), 0xA5A5A5A5u); // the last row is not written
    EXPECT_TRUE(t.guardsIntact());
}

TEST(DorFrame, ModeBitsChooseThePredictedBlocksAndAlwaysReadTheVector) {
    Decoder d;
    d.decode(flatKeyFrame(32, 16, [](int, int) { return 20; }), 5); // bytes 74
    DorBitWriter bits;
    bits.put("01000000"); // no block predicted, but a vector follows
    writeDorSmallValue(bits, 5);
    writeDorSmallValue(bits, -3);
    for (int k = 0; k < 6; ++k) flatBlock(bits, 2 * k);
    bits.put("01100101"); // blocks 5, 2 and 0 predicted
    writeDorSmallValue(bits, -16);
    writeDorSmallValue(bits, 0);
    for (int k = 0; k < 6; ++k) {
        if ((0x25 >> k) & 1)
            writeDorSmallValue(bits, k);
        else
            flatBlock(bits, -20);
    }
    d.decode(frame(32, 16, 4, bits), 6);
    const BYTE* p = d.ctx->dor.reference;
    EXPECT_EQ(d.luma(p, 0, 0), 64);
    EXPECT_EQ(d.luma(p, 15, 15), 67);
    EXPECT_EQ(d.chroma(p, 0, 0, 0), 69);
    EXPECT_EQ(d.luma(p, 16, 0), 74);      // block 0: copied, offset 0
    EXPECT_EQ(d.luma(p, 24, 0), 54);      // block 1: intra
    EXPECT_EQ(d.luma(p, 16, 8), 76);      // block 2: offset 2
    EXPECT_EQ(d.chroma(p, 16, 0, 1), 54); // U intra
    EXPECT_EQ(d.chroma(p, 16, 0, 0), 79); // V offset 5
}

TEST(DorFrame, OddVectorsStartAtTheOddPixelOfTheWordToTheLeft) {
    Decoder d;
    d.decode(flatKeyFrame(48, 32, [](int, int) { return 0; }), 5);
    patternReference(d);
    Bytes copy(d.ctx->dor.reference, d.ctx->dor.reference + 48 * 32 * 2);
    DorBitWriter bits;
    for (int m = 0; m < 6; ++m) {
        if (m == 4) {
            predictedMacroblock(bits, -1, -2, 0);
        } else if (m == 1) {
            predictedMacroblock(bits, 3, -1, -7);
        } else {
            bits.put(0, 2);
            for (int k = 0; k < 6; ++k) flatBlock(bits, 0);
        }
    }
    d.decode(frame(48, 32, 4, bits), 6);
    const BYTE* out = d.ctx->dor.reference;
    auto refLuma = [&](int x, int y) { return copy[y * 96 + (x >> 1) * 4 + 3 - (x & 1)]; };
    auto refChroma = [&](int x, int y, int b) { return copy[y * 96 + (x >> 1) * 4 + b]; };
    for (int r = 0; r < 16; ++r) {
        for (int c = 0; c < 16; ++c) {
            // Macroblock 4 at (16, 16), vector (-1, -2): luma from pixel 15 + c of row 14 + r;
            // chroma from the word to the left, rows 14 + 2i.
            ASSERT_EQ(d.luma(out, 16 + c, 16 + r), refLuma(15 + c, 14 + r)) << r << "," << c;
            const int row = 14 + 2 * (r / 2);
            ASSERT_EQ(d.chroma(out, 16 + c, 16 + r, 1), refChroma(14 + c, row, 1));
            ASSERT_EQ(d.chroma(out, 16 + c, 16 + r, 0), refChroma(14 + c, row, 0));
            // Macroblock 1 at (16, 0), vector (3, -1), offset -7: luma from pixel 19 + c, the
            // chroma from one word right; row -1 lies outside and repeats row 0.
            const int sy = std::max(r - 1, 0);
            ASSERT_EQ(d.luma(out, 16 + c, r), std::max(refLuma(19 + c, sy) - 7, 0));
            ASSERT_EQ(d.chroma(out, 16 + c, r, 1),
                      std::max(refChroma(18 + c, std::max(2 * (r / 2) - 1, 0), 1) - 7, 0));
        }
    }
}

TEST(DorFrame, PredictedBytesAreLimitedTo0Through127) {
    Decoder d;
    d.decode(flatKeyFrame(16, 16, [](int, int) { return 126; }), 5); // 127
    d.decode(predictedFrame(16, 16, 0, 0, 16), 6);
    EXPECT_EQ(d.luma(d.ctx->dor.reference, 0, 0), 127);
    d.decode(flatKeyFrame(16, 16, [](int, int) { return -128; }), 5); // 0
    d.decode(predictedFrame(16, 16, 0, 0, -16), 6);
    EXPECT_EQ(d.luma(d.ctx->dor.reference, 0, 0), 0);
}

TEST(DorFrame, A320By240PictureHas300MacroblocksAndConverts239Rows) {
    Decoder d(dcttest::rgb565);
    Target t(320 * 2, 240);
    d.decode(flatKeyFrame(320, 240, [](int m, int) { return m % 100; }), 5, &t);
    for (int m = 0; m < 300; ++m)
        ASSERT_EQ(d.luma(d.ctx->dor.reference, (m % 20) * 16, (m / 20) * 16), (m % 100) / 2 + 64);
    for (int x = 0; x < 320; ++x) {
        ASSERT_NE(t.pixel(x, 238, 2), 0xA5A5u);
        ASSERT_EQ(t.pixel(x, 239, 2), 0xA5A5u);
    }
    EXPECT_TRUE(t.guardsIntact());
}

TEST(DorFrame, PixelPairsTakeTheLowAndHighHalvesOn16BitDisplays) {
    Decoder d(dcttest::rgb565);
    Target t(16 * 2, 16);
    d.decode(flatKeyFrame(16, 16, [](int, int k) { return k < 4 ? 30 : -10; }), 5, &t);
    const std::uint32_t chroma = static_cast<std::uint32_t>(uComponent[256 + 59]) +
                                 static_cast<std::uint32_t>(vComponent[256 + 59]);
    const auto p = static_cast<std::uint32_t>(componentPixel(yComponent[256 + 79] + chroma));
    EXPECT_EQ(t.pixel(0, 0, 2), p & 0xFFFF);
    EXPECT_EQ(t.pixel(1, 0, 2), p >> 16);
    Decoder deep(dcttest::xrgb8888);
    Target t32(16 * 4, 16);
    deep.decode(flatKeyFrame(16, 16, [](int, int k) { return k < 4 ? 30 : -10; }), 5, &t32);
    const auto p32 = static_cast<std::uint32_t>(componentPixel(yComponent[256 + 79] + chroma));
    EXPECT_EQ(t32.pixel(0, 0, 4), p32);
    EXPECT_EQ(t32.pixel(1, 0, 4), p32);
}

TEST(DorFrame, EightBitDisplaysGetNothing) {
    Decoder d(PixelFormat{0, 0, 0, 0, 0, 0, 0, 8});
    Target t(16 * 4, 16);
    d.decode(flatKeyFrame(16, 16, [](int, int) { return 10; }), 5, &t);
    for (BYTE b : t.bytes) ASSERT_EQ(b, Target::fill);
    EXPECT_FALSE(frameTypeShownAtDepth(5, 8));
    EXPECT_FALSE(frameTypeShownAtDepth(7, 8));
    EXPECT_TRUE(frameTypeShownAtDepth(1, 8));
    EXPECT_TRUE(frameTypeShownAtDepth(6, 15));
    EXPECT_TRUE(frameTypeShownAtDepth(6, 24));
}

TEST(DorFrame, SizeChangesReallocateAndUnevenSizesStayInside) {
    Decoder d;
    d.decode(flatKeyFrame(32, 16, [](int, int) { return 50; }), 5);
    // A new size starts from a fresh, all-zero reference.
    d.decode(predictedFrame(16, 32, 0, 0, 4), 6);
    EXPECT_EQ(d.ctx->dor.width, 16);
    EXPECT_EQ(d.ctx->dor.height, 32);
    EXPECT_EQ(d.luma(d.ctx->dor.reference, 3, 20), 4);

    // 20 × 20: two macroblocks a side are decoded; 20 columns and 19 rows are written.
    Target t(24 * 4, 24);
    d.decode(flatKeyFrame(20, 20, [](int m, int) { return 10 * m; }), 5, &t);
    EXPECT_EQ(d.ctx->dor.width, 32);
    EXPECT_EQ(d.luma(d.ctx->dor.reference, 16, 16), 15 + 64);
    EXPECT_NE(t.pixel(19, 18, 4), 0xA5A5A5A5u);
    EXPECT_EQ(t.pixel(20, 18, 4), 0xA5A5A5A5u);
    EXPECT_EQ(t.pixel(19, 19, 4), 0xA5A5A5A5u);
    EXPECT_TRUE(t.guardsIntact());
}

TEST(DorFrame, OutputStaysInsideTheClipBox) {
    Decoder d;
    Target t(48 * 4, 32);
    d.ctx->clipLeft = 3, d.ctx->clipTop = 5, d.ctx->clipRight = 20, d.ctx->clipBottom = 9;
    d.decode(flatKeyFrame(48, 32, [](int, int) { return 10; }), 5, &t, true);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x) {
            const bool inside = x >= 3 && x < 20 && y >= 5 && y < 9;
            ASSERT_EQ(t.pixel(x, y, 4) != 0xA5A5A5A5u, inside) << x << "," << y;
        }
    EXPECT_TRUE(t.guardsIntact());
}

} // namespace
