// KRT output: the colour lookup for each pixel format, and the picture written at 8, 16 and 32
// bits a pixel, with and without doubleX, inside the clip box.
#include <cstring>

#include <gtest/gtest.h>

#include "tests/video/krt_test_support.h"

using namespace krttest;

namespace {

const PixelFormat palette8{0, 0, 0, 0, 0, 0, 0, 8};
const PixelFormat rgb555{5, 5, 5, 10, 5, 0, 0x7FFF, 15};
const PixelFormat rgb565{5, 6, 5, 11, 5, 0, 0xFFFF, 16};
const PixelFormat xrgb8888{8, 8, 8, 16, 8, 0, 0xFFFFFF, 24};

constexpr BYTE fill = 0xA5;
constexpr std::size_t guard = 64;

// A target with guard bytes before and after it.
struct Target {
    LONG pitch;
    LONG rows;
    ByteList bytes;
    Target(LONG pitchBytes, LONG rowCount)
        : pitch(pitchBytes), rows(rowCount),
          bytes(2 * guard + std::size_t(pitchBytes) * rowCount, fill) {}
    BYTE* origin() { return bytes.data() + guard; }
    std::uint32_t read(LONG x, LONG y, int size) {
        std::uint32_t v = 0;
        std::memcpy(&v, origin() + y * pitch + x * size, std::size_t(size));
        return v;
    }
    bool guardsIntact() const {
        for (std::size_t i = 0; i < guard; ++i)
            if (bytes[i] != fill || bytes[bytes.size() - 1 - i] != fill) return false;
        return true;
    }
};

struct Output : KrtDecoder {
    Output(const PixelFormat& format, DWORD flags) : KrtDecoder(format.depth, flags) {
        config.pixelFormat = format;
        for (int i = 0; i < 768; ++i) config.paletteRgb[i] = BYTE(i * 7);
    }
    void clip(LONG left, LONG top, LONG right, LONG bottom) {
        ctx.clipLeft = left;
        ctx.clipTop = top;
        ctx.clipRight = right;
        ctx.clipBottom = bottom;
    }
};

// Picture byte at (x, y) of the 8 x 4 test picture.
BYTE pixelAt(int x, int y) {
    return BYTE(x * 16 + y * 3);
}

ByteList testPicture() {
    ByteList pixels;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) pixels.push_back(pixelAt(x, y));
    return pixels;
}

} // namespace

TEST(KrtColourLookup, PixelsForEachFormat) {
    Output d16(rgb565, 0);
    d16.config.paletteRgb[3] = 0xFF;
    d16.config.paletteRgb[4] = 0x80;
    d16.config.paletteRgb[5] = 0x08;
    buildKrtColourLookup(&d16.ctx);
    EXPECT_EQ(d16.config.paletteLookup[1], (0x1Fu << 11) | (0x20u << 5) | 0x01u);
    // With doubleX the 16-bit pixel fills both halves.
    Output doubled(rgb555, doubleX);
    std::memcpy(doubled.config.paletteRgb, d16.config.paletteRgb, 768);
    buildKrtColourLookup(&doubled.ctx);
    const DWORD pixel555 = (0x1Fu << 10) | (0x10u << 5) | 0x01u;
    EXPECT_EQ(doubled.config.paletteLookup[1], pixel555 | (pixel555 << 16));
    // 32-bit displays get 8 bits a channel, never a doubled word.
    Output d32(xrgb8888, doubleX);
    std::memcpy(d32.config.paletteRgb, d16.config.paletteRgb, 768);
    buildKrtColourLookup(&d32.ctx);
    EXPECT_EQ(d32.config.paletteLookup[1], 0xFF8008u);
    // Every entry is rebuilt, whatever the palette count was.
    EXPECT_EQ(d32.config.paletteLookup[255],
              (DWORD(BYTE(765 * 7)) << 16) | (DWORD(BYTE(766 * 7)) << 8) | BYTE(767 * 7));
}

TEST(KrtOutput, EveryDepthWithAndWithoutDoubleX) {
    struct Case {
        PixelFormat format;
        DWORD flags;
        int bytesPerPixel; // bytes one picture pixel takes in the target
    };
    const Case cases[] = {{palette8, 0, 1},     {palette8, doubleX, 2}, {rgb565, 0, 2},
                          {rgb565, doubleX, 4}, {xrgb8888, 0, 4},       {xrgb8888, doubleX, 8}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "depth " << c.format.depth << " flags " << c.flags);
        Output d(c.format, c.flags);
        ASSERT_EQ(d.key(literalKeyFrame(8, 4, testPicture())), 1);
        if (c.format.depth != 8) buildKrtColourLookup(&d.ctx);
        // Pitch 2 bytes wider than a row: the 8-bit copy steps by the pitch rounded down to 4.
        const LONG pitch = 8 * c.bytesPerPixel + (c.bytesPerPixel == 1 ? 6 : 2);
        Target t(pitch, 4);
        d.clip(0, 0, 8, 4);
        writeKrtOutput(&d.ctx, t.origin(), nullptr, pitch);
        const LONG rowStep = (c.bytesPerPixel == 1) ? (pitch & ~3) : pitch;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 8; ++x) {
                const BYTE index = pixelAt(x, y);
                const DWORD lookup = d.config.paletteLookup[index];
                BYTE* at = t.origin() + y * rowStep + x * c.bytesPerPixel;
                switch (c.bytesPerPixel) {
                case 1:
                    ASSERT_EQ(at[0], index);
                    break;
                case 2: {
                    std::uint16_t v;
                    std::memcpy(&v, at, 2);
                    ASSERT_EQ(v, c.format.depth == 8 ? index * 0x101u : (lookup & 0xFFFF));
                    break;
                }
                case 4: {
                    std::uint32_t v;
                    std::memcpy(&v, at, 4);
                    ASSERT_EQ(v, lookup);
                    if (c.format.depth == 16) {
                        ASSERT_EQ(v >> 16, v & 0xFFFF);
                    }
                    break;
                }
                default: {
                    std::uint32_t v[2];
                    std::memcpy(v, at, 8);
                    ASSERT_EQ(v[0], lookup);
                    ASSERT_EQ(v[1], lookup);
                }
                }
            }
        EXPECT_TRUE(t.guardsIntact());
    }
}

TEST(KrtOutput, OnlyTheClipBoxIsWritten) {
    for (const PixelFormat& format : {palette8, rgb565, xrgb8888}) {
        for (DWORD flags : {DWORD{0}, doubleX}) {
            Output d(format, flags);
            ASSERT_EQ(d.key(literalKeyFrame(8, 4, testPicture())), 1);
            buildKrtColourLookup(&d.ctx);
            const int size =
                (format.depth == 8 ? 1 : (format.depth == 16 ? 2 : 4)) * (flags ? 2 : 1);
            Target whole(8 * size, 4);
            d.clip(0, 0, 8, 4);
            writeKrtOutput(&d.ctx, whole.origin(), nullptr, whole.pitch);
            Target t(8 * size, 4);
            d.clip(2, 1, 5, 3);
            writeKrtOutput(&d.ctx, t.origin(), nullptr, t.pitch);
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 8 * size; ++x) {
                    const bool inside = x >= 2 * size && x < 5 * size && y >= 1 && y < 3;
                    const BYTE expected = inside ? whole.origin()[y * t.pitch + x] : fill;
                    ASSERT_EQ(t.origin()[y * t.pitch + x], expected) << x << "," << y;
                }
            EXPECT_TRUE(t.guardsIntact());
            // A clip box larger than the picture writes the picture alone.
            Target wide(16 * size, 6);
            d.clip(0, 0, 16, 6);
            writeKrtOutput(&d.ctx, wide.origin(), nullptr, wide.pitch);
            EXPECT_EQ(wide.origin()[4 * wide.pitch], fill);
            EXPECT_EQ(wide.origin()[8 * size], fill);
        }
    }
}

TEST(KrtOutput, NothingBeforeTheFirstKeyFrame) {
    Output d(rgb565, 0);
    Target t(16, 4);
    d.clip(0, 0, 8, 4);
    writeKrtOutput(&d.ctx, t.origin(), nullptr, t.pitch);
    for (BYTE b : t.bytes) ASSERT_EQ(b, fill);
    ByteList doubled(6);
    doubleBytes(ByteList{1, 2, 3}.data(), doubled.data(), 3);
    EXPECT_EQ(doubled, (ByteList{1, 1, 2, 2, 3, 3}));
}
