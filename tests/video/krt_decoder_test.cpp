// KRT key and delta frames built by hand: buffer sizes, every LZ77 command, block kinds,
// displacements across the picture's edges, and the cases the decoder cuts short or skips.
#include <gtest/gtest.h>

#include "tests/video/krt_test_support.h"

using namespace krttest;

namespace {

// A w x h picture whose byte at (x, y) is (x + 7 * y) & 0xFF, as a key frame.
ByteList patternPixels(unsigned width, unsigned height) {
    ByteList pixels(std::size_t(width) * height);
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x) pixels[y * width + x] = BYTE((x + 7 * y) & 0xFF);
    return pixels;
}

ByteList unpack(const ByteList& commands, std::size_t outputBytes) {
    const ByteList stream = lzStream(commands);
    ByteList exact(stream);
    ByteList out(outputBytes, 0xEE);
    out.resize(unpackKrtLz77(exact.data(), exact.size(), out.data(), out.size()));
    return out;
}

} // namespace

TEST(KrtKeyFrame, BuffersFollowThePictureSize) {
    KrtDecoder d;
    ASSERT_EQ(d.key(keyPayload(320, 240, {}, lzStream({0xFC}))), 1);
    EXPECT_EQ(d.ctx.krt.pictureBytes, 76800);
    EXPECT_EQ(d.ctx.krt.pictureBytes / 16, 4800); // index table entries
    EXPECT_EQ(d.ctx.krt.rowOffsets[0], -240 * 320);
    EXPECT_EQ(d.ctx.krt.rowOffsets[240], 0);
    EXPECT_EQ(d.ctx.krt.rowOffsets[479], 239 * 320);
    ASSERT_EQ(d.key(keyPayload(12, 12, {}, lzStream({0xFC}))), 1);
    EXPECT_EQ(d.ctx.krt.pictureBytes, 144);
    ASSERT_EQ(d.key(keyPayload(10, 10, {}, lzStream({0xFC}))), 1);
    EXPECT_EQ(d.ctx.krt.pictureBytes, 112);
    // A picture larger than the decoder takes fails like an allocation and leaves no picture.
    EXPECT_EQ(d.key(keyPayload(65535, 65535, {}, lzStream({0xFC}))), 0);
    EXPECT_EQ(d.ctx.krt.picture, nullptr);
}

TEST(KrtLz77, LiteralRunsAndTheEndCommand) {
    ByteList commands{0xE3};
    for (BYTE i = 1; i <= 16; ++i) commands.push_back(i);
    commands.push_back(0xFC);
    const ByteList out = unpack(commands, 64);
    ASSERT_EQ(out.size(), 16u);
    for (BYTE i = 0; i < 16; ++i) EXPECT_EQ(out[i], i + 1);
    // The end command carries up to three literals; flags bit 0 adds three header bytes.
    EXPECT_EQ(unpack({0xFE, 5, 6}, 64), (ByteList{5, 6}));
    ByteList longHeader{0x01, 0xFB, 9, 9, 9, 0, 0, 1, 0xFD, 42};
    ByteList out2(4);
    EXPECT_EQ(unpackKrtLz77(longHeader.data(), longHeader.size(), out2.data(), 4), 1u);
    EXPECT_EQ(out2[0], 42);
}

TEST(KrtLz77, ShortCopiesRepeatThePattern) {
    // 0x01 0x00 65: the literal 65, then three copies of it from one back; 0x04 0x00 (no
    // literals, C = 4, D = 1) then repeats it four more times.
    EXPECT_EQ(unpack({0x01, 0x00, 65, 0xFC}, 64), ByteList(4, 65));
    EXPECT_EQ(unpack({0x01, 0x00, 65, 0x04, 0x00, 0xFC}, 64), ByteList(8, 65));
    // 0x07 0x00: three literals, then the last of them four more times.
    EXPECT_EQ(unpack({0x07, 0x00, 1, 2, 3, 0xFC}, 64), (ByteList{1, 2, 3, 3, 3, 3, 3}));
}

TEST(KrtLz77, LongCommandsReachFarAndCopyMuch) {
    // 70,000 bytes of pattern in literal runs, then a 4-byte copy from 65,600 back of 1,028
    // bytes and a 3-byte copy from 16,384 back of 67 bytes with two literals.
    ByteList commands;
    ByteList expected;
    for (int run = 0; run < 625; ++run) {
        commands.push_back(0xFB);
        for (int i = 0; i < 112; ++i) {
            const BYTE b = BYTE((run * 112 + i) * 31 / 7);
            commands.push_back(b);
            expected.push_back(b);
        }
    }
    const std::size_t d4 = 65600 - 1;
    commands.insert(commands.end(), {BYTE(0xC0 | 0x10 | (3 << 2)), BYTE((d4 >> 8) & 0xFF),
                                     BYTE(d4 & 0xFF), BYTE(1028 - 5 - 768)});
    for (int i = 0; i < 1028; ++i) expected.push_back(expected[expected.size() - 65600]);
    const std::size_t d3 = 16384 - 1;
    commands.insert(commands.end(),
                    {BYTE(0x80 | (67 - 4)), BYTE((2 << 6) | (d3 >> 8)), BYTE(d3 & 0xFF), 77, 78});
    expected.push_back(77);
    expected.push_back(78);
    for (int i = 0; i < 67; ++i) expected.push_back(expected[expected.size() - 16384]);
    // A 2-byte command with the far distance bits: D = 0x300 + 0x10 + 1, C = 10, one literal.
    commands.insert(commands.end(), {BYTE(0x60 | (7 << 2) | 1), 0x10, 99});
    expected.push_back(99);
    for (int i = 0; i < 10; ++i) expected.push_back(expected[expected.size() - 0x311]);
    commands.push_back(0xFC);
    EXPECT_EQ(unpack(commands, 80000), expected);
}

TEST(KrtLz77, StreamsThatLeaveTheirBuffersStop) {
    // A copy reaching before the first byte stops at once.
    EXPECT_EQ(unpack({0xFD, 1, 0x04, 0x05, 0xFC}, 64), (ByteList{1}));
    // Output is never written past its end: the literal run fills what fits, then stops.
    ByteList run{0xE3};
    for (int i = 0; i < 16; ++i) run.push_back(BYTE(i));
    EXPECT_EQ(unpack(run, 10).size(), 10u);
    // A copy longer than the room left writes nothing of itself.
    EXPECT_EQ(unpack({0xFE, 1, 2, 0x04, 0x00}, 4), (ByteList{1, 2}));
    // A literal run cut off by the end of the input copies what is there.
    EXPECT_EQ(unpack({0xE3, 1, 2, 3}, 64), (ByteList{1, 2, 3}));
    // A command cut off by the end of the input is not decoded.
    EXPECT_EQ(unpack({0xFE, 1, 2, 0xC0, 0x00}, 64), (ByteList{1, 2}));
}

TEST(KrtKeyFrame, ShortStreamsLeaveBlackAndSizeChangesReallocate) {
    KrtDecoder d;
    ASSERT_EQ(d.key(literalKeyFrame(8, 4, patternPixels(8, 4))), 1);
    EXPECT_EQ(d.picture(), patternPixels(8, 4));
    // Same size, shorter stream: the rest of the picture is black, not the last picture.
    ASSERT_EQ(d.key(keyPayload(8, 4, {1, 2, 3}, lzStream({0xFE, 9, 9}))), 1);
    ByteList expected(32, 0);
    expected[0] = expected[1] = 9;
    EXPECT_EQ(d.picture(), expected);
    // A new size gets new buffers of that size.
    ASSERT_EQ(d.key(literalKeyFrame(16, 8, patternPixels(16, 8))), 1);
    EXPECT_EQ(d.ctx.krt.width, 16);
    EXPECT_EQ(d.ctx.krt.pictureBytes, 128);
    EXPECT_EQ(d.picture(), patternPixels(16, 8));
}

TEST(KrtDeltaFrame, OneFullBlockEverywhere) {
    KrtDecoder d;
    ASSERT_EQ(d.key(literalKeyFrame(16, 8, patternPixels(16, 8))), 1);
    ByteList block(16);
    for (int i = 0; i < 16; ++i) block[i] = BYTE(100 + i);
    ASSERT_EQ(d.delta(deltaPayload({}, {block}, {}, 1, std::vector<unsigned>(8, 0))), 1);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) ASSERT_EQ(d.at(x, y), 100 + (y % 4) * 4 + x % 4);
    EXPECT_EQ(d.ctx.krt.fullCount, 1);
    EXPECT_EQ(d.ctx.krt.indexBits, 1);
}

TEST(KrtDeltaFrame, TwoBitBlocksReadSelectorsFromTheTop) {
    KrtDecoder d;
    ASSERT_EQ(d.key(literalKeyFrame(4, 4, ByteList(16, 0))), 1);
    ASSERT_EQ(d.delta(deltaPayload({}, {}, {{{10, 20, 30, 40}, 0x1B1B1B1B}}, 1, {0})), 1);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(d.at(x, y), 10 * (x + 1));
    // Selectors 3, 2, 1, 0 then all 1s then 0s: the first pixel takes the top bits.
    ASSERT_EQ(d.delta(deltaPayload({}, {}, {{{10, 20, 30, 40}, 0xE4550000}}, 1, {0})), 1);
    EXPECT_EQ(d.picture(),
              (ByteList{40, 30, 20, 10, 20, 20, 20, 20, 10, 10, 10, 10, 10, 10, 10, 10}));
}

TEST(KrtDeltaFrame, DisplacementsCrossTheLeftAndRightEdges) {
    KrtDecoder d;
    const ByteList key = patternPixels(16, 12);
    ASSERT_EQ(d.key(literalKeyFrame(16, 12, key)), 1);
    // Indices: vector 0 (-4, 0) on every leftmost block, vector 1 (4, 0) on every rightmost one,
    // vector 2 (1, -2) elsewhere. W = 2.
    std::vector<unsigned> indices;
    for (int by = 0; by < 3; ++by)
        for (int bx = 0; bx < 4; ++bx) indices.push_back(bx == 0 ? 0 : (bx == 3 ? 1 : 2));
    indices[0] = 2;  // the top-left block cannot look left of the picture; give it a vector
    indices[2] = 3;  // a full block
    indices[11] = 1; // the bottom-right block would reach past the picture: copied in place
    ByteList full(16, 200);
    ASSERT_EQ(d.delta(deltaPayload({{-4, 0}, {4, 0}, {1, -2}}, {full}, {}, 2, indices)), 1);
    EXPECT_EQ(d.ctx.krt.vectors[0], -4);
    EXPECT_EQ(d.ctx.krt.vectors[5], -2);
    EXPECT_EQ(d.ctx.krt.vectorOffsets[2], -31);
    auto previous = [&](int offset) { return key[std::size_t(offset)]; };
    for (int by = 1; by < 3; ++by)
        for (int row = 0; row < 4; ++row) {
            const int y = 4 * by + row;
            // Leftmost: the last four bytes of the row above.
            for (int x = 0; x < 4; ++x) EXPECT_EQ(d.at(x, y), previous((y - 1) * 16 + 12 + x));
            // Rightmost (not the last block): the first four bytes of the row below.
            if (by < 2) {
                for (int x = 12; x < 16; ++x)
                    EXPECT_EQ(d.at(x, y), previous((y + 1) * 16 + x - 12));
            }
        }
    for (int y = 8; y < 12; ++y)
        for (int x = 12; x < 16; ++x) EXPECT_EQ(d.at(x, y), previous(y * 16 + x));
    // The top-left block with (1, -2) starts before the picture: copied in place.
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(d.at(x, y), previous(y * 16 + x));
    EXPECT_EQ(d.at(8, 0), 200);
    EXPECT_EQ(d.at(5, 6), previous(4 * 16 + 6));
}

TEST(KrtDeltaFrame, PicturesSwapAndTablesOnlyGrow) {
    KrtDecoder d;
    ASSERT_EQ(d.key(literalKeyFrame(8, 4, patternPixels(8, 4))), 1);
    const std::vector<Vector> five{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}};
    ByteList a(16, 1), b(16, 2);
    // Block 0 from the full block, block 1 unchanged by vector (0, 0).
    ASSERT_EQ(d.delta(deltaPayload(five, {a, b}, {}, 3, {5, 0})), 1);
    EXPECT_EQ(d.ctx.krt.vectorCapacity, 5);
    EXPECT_EQ(d.ctx.krt.blockCapacity, 2);
    EXPECT_EQ(d.at(0, 0), 1);
    EXPECT_EQ(d.at(4, 1), patternPixels(8, 4)[12]);
    ASSERT_EQ(d.delta(deltaPayload({{0, 0}}, {b}, {}, 1, {1, 0})), 1);
    EXPECT_EQ(d.ctx.krt.vectorCapacity, 5);
    EXPECT_EQ(d.ctx.krt.blockCapacity, 2);
    EXPECT_EQ(d.at(0, 0), 2);
    EXPECT_EQ(d.at(4, 0), patternPixels(8, 4)[4]);
}

TEST(KrtDeltaFrame, FramesWithoutIndices) {
    KrtDecoder d;
    ASSERT_EQ(d.key(literalKeyFrame(8, 4, patternPixels(8, 4))), 1);
    // Right after a key frame there are no indices to reuse: the frame is skipped.
    EXPECT_EQ(d.delta(deltaPayload({}, {ByteList(16, 5)}, {}, 0, {})), 0);
    EXPECT_EQ(d.picture(), patternPixels(8, 4));
    ASSERT_EQ(d.delta(deltaPayload({}, {ByteList(16, 5), ByteList(16, 6)}, {}, 1, {0, 1})), 1);
    // After a delta frame for this picture they are reused with the new tables.
    ASSERT_EQ(d.delta(deltaPayload({}, {ByteList(16, 7), ByteList(16, 8)}, {}, 0, {})), 1);
    EXPECT_EQ(d.at(0, 0), 7);
    EXPECT_EQ(d.at(7, 3), 8);
}

TEST(KrtDeltaFrame, OutOfRangeIndicesAndSkippedFrames) {
    KrtDecoder d;
    // Before any key frame a delta frame has nothing to build on.
    EXPECT_EQ(d.delta(deltaPayload({}, {ByteList(16, 5)}, {}, 1, {0})), 0);
    EXPECT_EQ(d.ctx.krt.picture, nullptr);
    EXPECT_EQ(d.ctx.krt.blocks, nullptr);
    const ByteList key = patternPixels(8, 8);
    ASSERT_EQ(d.key(literalKeyFrame(8, 8, key)), 1);
    // Index 3 and above lie past M + F + T = 2; vector (0, 40) leaves the picture: both blocks
    // are copied from their own place.
    ASSERT_EQ(d.delta(deltaPayload({{0, 40}}, {ByteList(16, 9)}, {}, 3, {7, 0, 1, 2})), 1);
    EXPECT_EQ(d.ctx.krt.vectorOffsets[0], krtNoOffset);
    EXPECT_EQ(d.at(0, 0), key[0]);
    EXPECT_EQ(d.at(7, 0), key[7]);
    EXPECT_EQ(d.at(0, 7), 9);
    EXPECT_EQ(d.at(7, 7), key[63]);
    // A frame whose fields run past the payload is skipped without a swap.
    const ByteList before = d.picture();
    ByteList cut = deltaPayload({}, {ByteList(16, 3)}, {}, 1, {0, 0, 0, 0});
    cut.pop_back();
    EXPECT_EQ(d.delta(cut), 0);
    EXPECT_EQ(d.picture(), before);
    // Index widths past what the reader takes are skipped too.
    EXPECT_EQ(d.delta(deltaPayload({}, {ByteList(16, 3)}, {}, 25, {0, 0, 0, 0})), 0);
    // A picture that is not made of whole blocks takes no delta frames.
    ASSERT_EQ(d.key(literalKeyFrame(6, 4, ByteList(24, 1))), 1);
    EXPECT_EQ(d.delta(deltaPayload({}, {ByteList(16, 3)}, {}, 1, {0})), 0);
}
