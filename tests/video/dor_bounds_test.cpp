// DOR frames on hostile input: truncated and random payloads, sizes that are uneven, negative
// or too large, and vectors that leave the picture read and write nothing outside their
// buffers; clipped output matches the full output inside the box.
#include "tests/video/dor_test_support.h"

#include <random>

#include "encoder/dor_encoder.h"

namespace {

using namespace dortest;
using dcttest::Target;

YuvPicture noise(int width, int height, unsigned seed) {
    std::mt19937 rng(seed);
    YuvPicture p = makeYuvPicture(width, height);
    for (auto* plane : {&p.y, &p.cb, &p.cr})
        for (std::uint8_t& s : *plane) s = static_cast<std::uint8_t>(rng());
    return p;
}

TEST(DorBounds, TruncatedFramesStayInsideTheirBuffers) {
    DorEncoder encoder({.quantiser = 2});
    const Bytes key = encoder.encode(noise(48, 32, 1), DorFrameKind::key);
    const Bytes motion = encoder.encode(noise(48, 32, 2), DorFrameKind::motion);
    const std::pair<Bytes, LONG> frames[] = {{key, 5}, {motion, 6}};
    for (const auto& [full, type] : frames) {
        for (std::size_t size = 0; size < full.size(); size += 1 + size / 6) {
            Decoder d;
            Target t(48 * 4, 32);
            d.decode(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size)), type,
                     &t);
            ASSERT_TRUE(t.guardsIntact()) << size;
        }
    }
}

TEST(DorBounds, RandomFramesStayInsideTheirBuffers) {
    std::mt19937 rng(7);
    Decoder d(dcttest::rgb555);
    for (int trial = 0; trial < 400; ++trial) {
        Bytes body(rng() % 400);
        for (std::uint8_t& b : body) b = static_cast<std::uint8_t>(rng());
        // Long runs of ones (all blocks predicted, extreme vectors) and of zeros come up often.
        if (trial % 3 == 0)
            for (std::size_t i = 0; i < body.size(); i += 2) body[i] = trial % 2 ? 0xFF : 0x00;
        Bytes payload(dorHeaderBytes);
        for (std::uint8_t& b : payload) b = static_cast<std::uint8_t>(rng());
        const int width = 1 + static_cast<int>(rng() % 70),
                  height = 1 + static_cast<int>(rng() % 50);
        payload[8] = static_cast<std::uint8_t>(width), payload[9] = 0;
        payload[10] = static_cast<std::uint8_t>(height), payload[11] = 0;
        payload.insert(payload.end(), body.begin(), body.end());
        // The target is smaller than some pictures: the clip box keeps the output inside.
        Target t(40 * 2, 30);
        d.decode(payload, 5 + static_cast<LONG>(rng() % 3), &t);
        ASSERT_TRUE(t.guardsIntact()) << trial;
    }
}

TEST(DorBounds, UnusableSizesAndTypesDecodeNothing) {
    Decoder d;
    Target t(32 * 4, 16);
    DorBitWriter bits;
    bits.put(0x12345678, 32);
    const std::pair<int, int> sizes[] = {{-16, 16}, {16, 0}, {dorMaxSide + 16, 16}, {16, -32768}};
    for (auto [w, h] : sizes) {
        d.decode(frame(w, h, 3, bits), 5, &t);
        EXPECT_EQ(d.ctx->dor.reference, nullptr);
    }
    d.decode(frame(16, 16, 3, bits), 4, &t);
    d.decode(Bytes(11, 0x10), 5, &t); // shorter than the header
    EXPECT_EQ(d.ctx->dor.reference, nullptr);
    for (BYTE b : t.bytes) ASSERT_EQ(b, Target::fill);
    // A payload that ends inside the header reads q as 0 and the bitstream as zeros.
    Bytes header = frame(16, 16, 3, bits);
    header.resize(13);
    d.decode(header, 5, &t);
    EXPECT_NE(d.ctx->dor.reference, nullptr);
}

TEST(DorBounds, ClippedOutputMatchesTheFullOutputInsideTheBox) {
    DorEncoder encoder({.quantiser = 3});
    const Bytes key = encoder.encode(noise(48, 32, 3), DorFrameKind::key);
    Decoder full(dcttest::rgb565);
    Target reference(48 * 2, 32);
    full.decode(key, 5, &reference);
    const std::array<int, 4> boxes[] = {
        {5, 3, 41, 20}, {0, 0, 1, 31}, {47, 30, 48, 32}, {9, 9, 9, 20}};
    for (auto [left, top, right, bottom] : boxes) {
        Decoder d(dcttest::rgb565);
        Target t(48 * 2, 32);
        d.ctx->clipLeft = left, d.ctx->clipTop = top;
        d.ctx->clipRight = right, d.ctx->clipBottom = bottom;
        d.decode(key, 5, &t, true);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 48; ++x) {
                const bool inside = x >= left && x < right && y >= top && y < bottom && y < 31;
                ASSERT_EQ(t.pixel(x, y, 2), inside ? reference.pixel(x, y, 2) : 0xA5A5u)
                    << x << "," << y;
            }
        EXPECT_TRUE(t.guardsIntact());
    }
}

} // namespace
