// The DCT decoders on hostile input: truncated and random payloads read nothing past their end
// and write nothing outside the clip box; partly visible macroblocks match the in-place path bit
// for bit; out-of-range samples take the edge entries of the colour tables.
#include "tests/video/dct_test_support.h"

#include <random>

#include "encoder/type3_encoder.h"
#include "encoder/type4_encoder.h"

namespace {

using namespace dcttest;

constexpr Variant allVariants[] = {Variant::type3Rgb16, Variant::type3Rgb32, Variant::type4Rgb16,
                                   Variant::type4Rgb32, Variant::type4Yuy2};

YuvPicture noisePicture(int width, int height, unsigned seed) {
    std::mt19937 rng(seed);
    YuvPicture p = makeYuvPicture(width, height);
    for (auto* plane : {&p.y, &p.cb, &p.cr})
        for (std::uint8_t& s : *plane) s = static_cast<std::uint8_t>(rng());
    return p;
}

Bytes encodeFor(Variant v, const YuvPicture& p, int quality) {
    return isType3(v) ? encodeType3Frame(p, quality) : encodeType4Frame(p, quality);
}

TEST(DctBounds, TruncatedPayloadsStayInsideTheirBuffers) {
    const YuvPicture picture = noisePicture(40, 24, 1);
    for (Variant v : allVariants) {
        const Bytes full = encodeFor(v, picture, 90);
        for (std::size_t size = 0; size < full.size(); size += 1 + size / 8) {
            Decoder d(rgb565);
            Target t(48 * pixelBytes(v), 32);
            d.clip(0, 0, 48, 32);
            d.decode(Bytes(full.begin(), full.begin() + size), v, t);
            ASSERT_TRUE(t.guardsIntact()) << size;
        }
    }
}

TEST(DctBounds, RandomPayloadsStayInsideTheirBuffers) {
    std::mt19937 rng(11);
    for (int trial = 0; trial < 300; ++trial) {
        Bytes body(rng() % 600);
        for (std::uint8_t& b : body) b = static_cast<std::uint8_t>(rng());
        // Zero-run and long-level tokens, and long runs of ones and zeros, come up often.
        if (trial % 3 == 0)
            for (std::size_t i = 0; i < body.size(); i += 3) body[i] = trial % 2 ? 0x01 : 0xFF;
        const int width = 1 + static_cast<int>(rng() % 64),
                  height = 1 + static_cast<int>(rng() % 40);
        const Bytes payload = framePayload(width, height, static_cast<int>(rng() % 256),
                                           static_cast<std::uint8_t>(rng()), body);
        for (Variant v : allVariants) {
            Decoder d(trial % 2 ? xrgb8888 : rgb555);
            Target t(64 * pixelBytes(v), 48);
            d.clip(0, 0, 64, 48);
            d.decode(payload, v, t);
            ASSERT_TRUE(t.guardsIntact()) << trial;
        }
    }
}

TEST(DctBounds, NegativeSizesDecodeNothing) {
    for (Variant v : allVariants) {
        Decoder d(xrgb8888);
        Target t(32 * pixelBytes(v), 16);
        d.clip(0, 0, 32, 16);
        d.decode(framePayload(-16, 16, 50, 0, Bytes(64, 0x55)), v, t);
        d.decode(framePayload(16, -1, 50, 0, Bytes(64, 0x55)), v, t);
        for (std::uint8_t b : t.bytes) ASSERT_EQ(b, Target::fill);
    }
}

// Decodes with a clip box smaller than the picture, the target pointer placed (dx, dy) pixels
// before the buffer's first pixel, and compares with a full decode.
void expectClippedMatchesFull(Variant v, const Bytes& payload, LONG left, LONG top, LONG right,
                              LONG bottom, int dx, int dy) {
    const int bytes = pixelBytes(v);
    Decoder full(rgb565);
    Target reference(80 * bytes, 48);
    full.clip(0, 0, 80, 48);
    full.decode(payload, v, reference);

    Decoder clipped(rgb565);
    Target t(80 * bytes, 48);
    clipped.clip(left, top, right, bottom);
    const std::ptrdiff_t offset = -(static_cast<std::ptrdiff_t>(dy) * t.pitch + dx * bytes);
    clipped.decode(payload, v, t, offset);
    ASSERT_TRUE(t.guardsIntact());
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 80; ++x) {
            const int px = x + dx, py = y + dy; // picture position of this target pixel
            const bool visible = px >= left && px < right && py >= top && py < bottom;
            const std::uint32_t want =
                visible ? reference.pixel(px, py, bytes)
                        : t.pixel(0, 0, 0) | (bytes == 4 ? 0xA5A5A5A5u : 0xA5A5u);
            ASSERT_EQ(t.pixel(x, y, bytes), want) << x << "," << y;
        }
    }
}

TEST(DctBounds, ClipBoxesSmallerThanThePictureAndAtNegativeOffsets) {
    const YuvPicture picture = noisePicture(72, 40, 5);
    for (Variant v : allVariants) {
        const Bytes payload = encodeFor(v, picture, 75);
        expectClippedMatchesFull(v, payload, 3, 5, 50, 30, 0, 0);
        expectClippedMatchesFull(v, payload, 9, 7, 60, 40, 9, 7);  // pointer before the buffer
        expectClippedMatchesFull(v, payload, 0, 0, 0, 0, 0, 0);    // empty box
        expectClippedMatchesFull(v, payload, 17, 0, 33, 48, 0, 0); // one macroblock column
    }
}

TEST(DctBounds, OutOfRangeSamplesTakeTheTablesEdgeEntries) {
    Decoder d(xrgb8888);
    Target t(32 * 4, 16);
    d.clip(0, 0, 32, 16);
    // Samples 0: the red and blue lanes fall to -7, below their gamma tables, and read the
    // first (black) entries; green is 119.
    WordBits zero;
    for (int i = 0; i < 4; ++i) zero.put("100"), zero.put("10");
    zero.put("00"), zero.put("10"), zero.put("00"), zero.put("10");
    d.decode(framePayload(16, 16, 100, 2, zero.bytes()), Variant::type4Rgb32, t);
    EXPECT_EQ(t.pixel(0, 0, 4), 0x007700u);

    // Each luma block adds 255 (samples 127, 255, 382, 510) and the chroma predictors do too:
    // every sample from 127 up gives the same pixel as 127.
    WordBits high;
    for (int i = 0; i < 4; ++i) high.put("1111110"), high.put(255, 8), high.put("10");
    for (int i = 0; i < 2; ++i) high.put("11111110"), high.put(255, 8), high.put("10");
    for (int i = 0; i < 4; ++i) high.put("1111110"), high.put(255, 8), high.put("10");
    for (int i = 0; i < 2; ++i) high.put("11111110"), high.put(255, 8), high.put("10");
    d.decode(framePayload(32, 16, 100, 2, high.bytes()), Variant::type4Rgb32, t);
    EXPECT_EQ(t.pixel(15, 15, 4), t.pixel(0, 0, 4));
    EXPECT_EQ(t.pixel(31, 15, 4), t.pixel(0, 0, 4));

    // Far below: luma falls by 255 a block, chroma likewise; all read as samples 0.
    WordBits low;
    for (int mb = 0; mb < 2; ++mb) {
        for (int i = 0; i < 4; ++i) low.put("1111110"), low.put(0, 8), low.put("10");
        for (int i = 0; i < 2; ++i) low.put("11111110"), low.put(0, 8), low.put("10");
    }
    d.decode(framePayload(32, 16, 100, 2, low.bytes()), Variant::type4Rgb32, t);
    EXPECT_EQ(t.pixel(31, 15, 4), 0x007700u);
    d.decode(framePayload(32, 16, 100, 2, low.bytes()), Variant::type4Yuy2, t);
    EXPECT_EQ(t.pixel(15, 15, 4), 0u); // the last Y, U, Y, V quad of the row
}

} // namespace
