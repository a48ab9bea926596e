// KRT frames cut short or filled with noise: the decoder stays inside its payload, pictures,
// tables and target whatever the bytes say (run under ASan to catch any stray access).
#include <random>

#include <gtest/gtest.h>

#include "tests/video/krt_test_support.h"

using namespace krttest;

namespace {

ByteList randomBytes(std::mt19937& rng, std::size_t size) {
    ByteList bytes(size);
    for (BYTE& b : bytes) b = BYTE(rng());
    return bytes;
}

// Writes the current picture to a 16-bit target exactly the picture's size, checking that the
// clip box keeps it inside.
void writeOut(KrtDecoder& d) {
    if (d.ctx.krt.picture == nullptr) return;
    const LONG pitch = d.ctx.krt.width * 2;
    std::vector<BYTE> target(std::size_t(pitch) * std::size_t(d.ctx.krt.height) + 1);
    d.ctx.clipLeft = d.ctx.clipTop = 0;
    d.ctx.clipRight = d.ctx.krt.width;
    d.ctx.clipBottom = d.ctx.krt.height;
    writeKrtOutput(&d.ctx, target.data(), nullptr, pitch);
}

ByteList validDelta() {
    std::vector<unsigned> indices;
    for (unsigned i = 0; i < 8; ++i) indices.push_back(i % 5);
    return deltaPayload({{-4, 0}, {3, -1}}, {ByteList(16, 7)}, {{{1, 2, 3, 4}, 0x12345678}}, 3,
                        indices);
}

} // namespace

TEST(KrtBounds, TruncatedFramesOfEveryLength) {
    ByteList pixels(16 * 8);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = BYTE(i * 13 / 5);
    ByteList key =
        keyPayload(16, 8, {1, 2, 3}, lzStream({0xE3, 1,    2,  3,    4,    5,    6,    7,   8,
                                               9,    10,   11, 12,   13,   14,   15,   16,  0x9F,
                                               0x40, 0x0F, 77, 0xD3, 0x00, 0x10, 0x30, 0xFC}));
    for (std::size_t cut = 0; cut <= key.size(); ++cut) {
        KrtDecoder d(16);
        d.key(ByteList(key.begin(), key.begin() + std::ptrdiff_t(cut)));
        writeOut(d);
    }
    const ByteList delta = validDelta();
    for (std::size_t cut = 0; cut <= delta.size(); ++cut) {
        KrtDecoder d(16);
        ASSERT_EQ(d.key(literalKeyFrame(16, 8, pixels)), 1);
        const int result = d.delta(ByteList(delta.begin(), delta.begin() + std::ptrdiff_t(cut)));
        EXPECT_EQ(result, cut == delta.size() ? 1 : 0) << cut;
        writeOut(d);
    }
}

TEST(KrtBounds, RandomPayloads) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 300; ++round) {
        KrtDecoder d(16);
        // Random streams behind a sane header, then random delta frames on top.
        const unsigned width = 4 * (1 + rng() % 12), height = 4 * (1 + rng() % 10);
        ByteList key = keyPayload(width, height, randomBytes(rng, 3 * (rng() % 4)), {});
        const ByteList stream = randomBytes(rng, rng() % 600);
        key.insert(key.end(), stream.begin(), stream.end());
        d.key(key);
        writeOut(d);
        for (int frame = 0; frame < 4; ++frame) {
            ByteList delta = randomBytes(rng, 12 + rng() % 400);
            // Mostly small counts and widths, so that the frames fit and get decoded.
            if (rng() % 4 != 0) {
                putU16(delta, 0, rng() % 8);
                putU16(delta, 2, rng() % 6);
                putU16(delta, 4, rng() % 6);
                putU16(delta, 6, rng() % 14);
            }
            d.delta(delta);
            writeOut(d);
        }
    }
}

TEST(KrtBounds, KeyFramesThatClaimMoreThanTheyCarry) {
    // A palette count above 256 moves the stream past the palette: read only when it is there.
    KrtDecoder d(16);
    ByteList key = keyPayload(8, 4, {}, {});
    putU16(key, 6, 300);
    EXPECT_EQ(d.key(key), 1);
    EXPECT_EQ(d.picture(), ByteList(32, 0));
    ByteList palette(300 * 3, 1);
    EXPECT_EQ(d.key(keyPayload(8, 4, palette, lzStream({0xFE, 5, 6}))), 1);
    EXPECT_EQ(d.at(1, 0), 6);
    // A header cut short is not a key frame: nothing is made.
    KrtDecoder e(16);
    EXPECT_EQ(e.key(ByteList(11, 0)), 0);
    EXPECT_EQ(e.ctx.krt.picture, nullptr);
    // An empty picture makes buffers and takes no output.
    EXPECT_EQ(e.key(keyPayload(0, 0, {}, lzStream({0xFF, 1, 2, 3}))), 1);
    EXPECT_NE(e.ctx.krt.picture, nullptr);
    writeOut(e);
}
