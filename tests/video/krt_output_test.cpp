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

// A target of rows x pitch bytes with guard bytes before and after it.
struct Target {
    LONG pitch;
    ByteList bytes;
    Target(LONG pitchBytes, LONG rows)
        : pitch(pitchBytes), bytes(2 * guard + std::size_t(pitchBytes) * rows, fill) {}
    BYTE* origin() { return bytes.data() + guard; }
};

struct Output : KrtDecoder {
    Output(const PixelFormat& format, DWORD flags) : KrtDecoder(format.depth, flags) {
        ctx.output.pixelFormat = format;
        for (int i = 0; i < 768; ++i) paletteRgb[i] = BYTE(i * 7);
    }
    void write(Target& t, LONG left, LONG top, LONG right, LONG bottom) {
        ctx.clipLeft = left;
        ctx.clipTop = top;
        ctx.clipRight = right;
        ctx.clipBottom = bottom;
        writeKrtOutput(&ctx, t.origin(), nullptr, t.pitch);
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
    d16.paletteRgb[3] = 0xFF;
    d16.paletteRgb[4] = 0x80;
    d16.paletteRgb[5] = 0x08;
    buildKrtColourLookup(&d16.ctx);
    EXPECT_EQ(d16.paletteLookup[1], (0x1Fu << 11) | (0x20u << 5) | 0x01u);
    // With doubleX the 16-bit pixel fills both halves.
    Output doubled(rgb555, doubleX);
    std::memcpy(doubled.paletteRgb, d16.paletteRgb, 768);
    buildKrtColourLookup(&doubled.ctx);
    const DWORD pixel555 = (0x1Fu << 10) | (0x10u << 5) | 0x01u;
    EXPECT_EQ(doubled.paletteLookup[1], pixel555 | (pixel555 << 16));
    // 32-bit displays get 8 bits a channel, never a doubled word.
    Output d32(xrgb8888, doubleX);
    std::memcpy(d32.paletteRgb, d16.paletteRgb, 768);
    buildKrtColourLookup(&d32.ctx);
    EXPECT_EQ(d32.paletteLookup[1], 0xFF8008u);
    // Every entry is rebuilt, whatever the palette count was.
    EXPECT_EQ(d32.paletteLookup[255],
              (DWORD(BYTE(765 * 7)) << 16) | (DWORD(BYTE(766 * 7)) << 8) | BYTE(767 * 7));
}

TEST(KrtOutput, EveryDepthWithAndWithoutDoubleXInsideTheClipBox) {
    struct Case {
        PixelFormat format;
        DWORD flags;
        int size;   // target bytes of one picture pixel
        int copies; // times the pixel is written
    };
    const Case cases[] = {{palette8, 0, 1, 1}, {palette8, doubleX, 1, 2},
                          {rgb565, 0, 2, 1},   {rgb565, doubleX, 4, 1},
                          {xrgb8888, 0, 4, 1}, {xrgb8888, doubleX, 4, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "depth " << c.format.depth << " flags " << c.flags);
        Output d(c.format, c.flags);
        // Nothing is written before the first key frame.
        Target before(64, 4);
        d.write(before, 0, 0, 8, 4);
        EXPECT_EQ(before.bytes, ByteList(before.bytes.size(), fill));
        ASSERT_EQ(d.key(literalKeyFrame(8, 4, testPicture())), 1);
        if (c.format.depth != 8) buildKrtColourLookup(&d.ctx);
        const int pixelBytes = c.size * c.copies;
        // Rows 2 or 6 bytes longer than the picture's, so that the pitch is no multiple of 4:
        // every depth steps by the pitch itself and leaves the row padding alone. The clip box
        // is larger than the picture, then a part of it.
        const LONG pitch = 8 * pixelBytes + (pixelBytes == 1 ? 6 : 2);
        for (bool part : {false, true}) {
            Target t(pitch, 4);
            if (part)
                d.write(t, 2, 1, 5, 3);
            else
                d.write(t, 0, 0, 9, 5);
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 8; ++x) {
                    const bool inside = !part || (x >= 2 && x < 5 && y >= 1 && y < 3);
                    const BYTE index = pixelAt(x, y);
                    const DWORD pixel = c.format.depth == 8 ? index : d.paletteLookup[index];
                    for (int k = 0; k < c.copies; ++k) {
                        DWORD v = 0;
                        std::memcpy(&v, t.origin() + y * pitch + (x * c.copies + k) * c.size,
                                    std::size_t(c.size));
                        const DWORD mask = c.size == 4 ? 0xFFFFFFFFu : (1u << (8 * c.size)) - 1;
                        ASSERT_EQ(v, inside ? (pixel & mask) : (0xA5A5A5A5u & mask))
                            << x << "," << y;
                    }
                }
            // Nothing past the picture's rows and columns, nothing outside the target.
            for (std::size_t i = 0; i < guard; ++i) {
                ASSERT_EQ(t.bytes[i], fill);
                ASSERT_EQ(t.bytes[t.bytes.size() - 1 - i], fill);
            }
            for (int y = 0; y < 4; ++y)
                for (LONG i = 8 * pixelBytes; i < pitch; ++i)
                    ASSERT_EQ(t.origin()[y * pitch + i], fill) << "padding of row " << y;
        }
    }
    ByteList doubled(6);
    doubleBytes(ByteList{1, 2, 3}.data(), doubled.data(), 3);
    EXPECT_EQ(doubled, (ByteList{1, 1, 2, 2, 3, 3}));
}
