// KRT movies played through the frame dispatch and presentation on the stand-in device at 8,
// 16 and 32 bits a pixel, with and without doubleX: the screen shows the decoded picture.
#include <cmath>

#include <gtest/gtest.h>

#include "encoder/krt_encoder.h"
#include "tests/display/display_harness.h"

using displaytest::Screen;
using displaytest::ScreenOptions;
using qzplat::DisplayFormat;

namespace {

RgbPicture movingPicture(int width, int height, int t) {
    RgbPicture p{width, height, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int u = x + 3 * t;
            std::uint8_t r = std::uint8_t(u * 5), g = std::uint8_t(y * 9 + t * 4),
                         b = std::uint8_t((u / 8 + y / 8) % 2 ? 220 : 30);
            if (std::abs(x - 10 - 2 * t) < 5 && std::abs(y - 12 - t) < 5) r = g = b = 255;
            p.rgb.insert(p.rgb.end(), {r, g, b});
        }
    return p;
}

// A channel as the screen shows it: cut to bits, then scaled back to 0..255 with rounding.
std::uint32_t shown(std::uint32_t value, int bits) {
    const std::uint32_t maximum = (1u << bits) - 1;
    return ((value >> (8 - bits)) * 255 + maximum / 2) / maximum;
}

} // namespace

TEST(KrtPlayback, ScreenShowsTheDecodedPictureAtEveryDepth) {
    struct Case {
        DisplayFormat format;
        int redBits, greenBits, blueBits;
    };
    const Case cases[] = {{DisplayFormat::palette8, 8, 8, 8},
                          {DisplayFormat::rgb565, 5, 6, 5},
                          {DisplayFormat::rgb555, 5, 5, 5},
                          {DisplayFormat::rgb888, 8, 8, 8}};
    // The screen's centring flags are set: KRT pictures are centred like every other picture.
    constexpr int width = 48, height = 32;
    for (const Case& c : cases) {
        for (bool twice : {false, true}) {
            SCOPED_TRACE(testing::Message() << "format " << int(c.format) << " doubleX " << twice);
            ScreenOptions options;
            options.format = c.format;
            options.flags &= ~hardwareYuv;
            if (twice) options.flags |= doubleX;
            Screen screen(options);
            screen.setup();
            KrtEncoder encoder;
            for (int t = 0; t < 4; ++t) {
                const MovieVideoChunk chunk =
                    t == 0 || t == 2 ? encoder.keyFrame(movingPicture(width, height, t))
                                     : encoder.deltaFrame(movingPicture(width, height, t));
                screen.play(chunk.id == chunkId("KRTk") ? 1 : 2, chunk.payload);
                const qzplat::ScreenImage image = qzplat::screenSnapshot();
                const LONG left = (LONG(image.width) - width * (twice ? 2 : 1)) / 2;
                const LONG top = (LONG(image.height) - height) / 2;
                ASSERT_EQ(screen.ctx.display.destX, left);
                ASSERT_EQ(screen.ctx.display.destY, top);
                const RgbPicture expected = encoder.decodedRgb();
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width * (twice ? 2 : 1); ++x) {
                        const std::uint8_t* rgb =
                            expected.rgb.data() + 3 * (y * width + (twice ? x / 2 : x));
                        const std::uint32_t want = (shown(rgb[0], c.redBits) << 16) |
                                                   (shown(rgb[1], c.greenBits) << 8) |
                                                   shown(rgb[2], c.blueBits);
                        ASSERT_EQ(image.at(DWORD(left + x), DWORD(top + y)), want)
                            << x << "," << y << " t " << t;
                    }
            }
            EXPECT_TRUE(qzplat::surfacePaddingIntact(screen.config.primarySurface));
        }
    }
}

TEST(KrtPlayback, PicturesWiderThanTheScreenAreClipped) {
    ScreenOptions options;
    options.flags &= ~hardwareYuv;
    options.flags |= doubleX;
    KrtEncoder encoder;
    {
        Screen screen(options);
        screen.setup();
        screen.play(1, encoder.keyFrame(movingPicture(400, 16, 0)).payload);
        screen.play(2, encoder.deltaFrame(movingPicture(400, 16, 1)).payload);
        EXPECT_TRUE(qzplat::surfacePaddingIntact(screen.config.primarySurface));
        EXPECT_TRUE(qzplat::surfacePaddingIntact(screen.config.backSurface));
    }
    // A delta frame before any key frame changes nothing and breaks nothing.
    Screen fresh(options);
    fresh.setup();
    fresh.play(2, encoder.deltaFrame(movingPicture(400, 16, 2)).payload);
    EXPECT_EQ(fresh.ctx.video.krt.picture, nullptr);
}
