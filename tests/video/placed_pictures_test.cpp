// Pictures of every codec family on the direct target of the stand-in device: centred alike,
// with -doublex every column and with -doubley every row shown twice, with -skipy every second
// row left black; with page flipping, skipped type-3 macroblocks show the picture shown last;
// a new lap of a looping movie starts from the picture state of open.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "encoder/dor_encoder.h"
#include "encoder/krt_encoder.h"
#include "encoder/type3_encoder.h"
#include "encoder/type4_encoder.h"
#include "tests/display/display_harness.h"

using displaytest::Screen;
using displaytest::ScreenOptions;
using qzplat::DisplayFormat;

namespace {

constexpr int width = 48, height = 32;

std::vector<std::uint8_t> sceneRgb(int t) {
    std::vector<std::uint8_t> rgb;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            rgb.insert(rgb.end(), {std::uint8_t(40 + 3 * x + 7 * t), std::uint8_t(60 + 5 * y),
                                   std::uint8_t((x / 8 + y / 8) % 2 ? 200 : 50)});
    return rgb;
}

struct Frame {
    LONG type;
    Bytes payload;
};

// Two frames of a codec family: a first picture, then one built on it.
std::vector<Frame> family(LONG type) {
    const YuvPicture a = rgbToYuv420(sceneRgb(0).data(), width, height);
    const YuvPicture b = rgbToYuv420(sceneRgb(1).data(), width, height);
    switch (type) {
    case 3:
        return {{3, encodeType3Frame(a, 80)}, {3, encodeType3Frame(b, 80, &a)}};
    case 4:
        return {{4, encodeType4Frame(a, 80)}, {4, encodeType4Frame(b, 80)}};
    case 1: {
        KrtEncoder encoder;
        const RgbPicture first{width, height, sceneRgb(0)};
        const RgbPicture second{width, height, sceneRgb(1)};
        return {{1, encoder.keyFrame(first).payload}, {2, encoder.deltaFrame(second).payload}};
    }
    default: {
        DorEncoder encoder;
        return {{5, encoder.encode(a, DorFrameKind::key)},
                {6, encoder.encode(b, DorFrameKind::motion)}};
    }
    }
}

struct Shown {
    qzplat::ScreenImage image;
    LONG destX, destY;
};

Shown play(DisplayFormat format, DWORD extraFlags, const std::vector<Frame>& frames,
           bool backBuffer = true) {
    ScreenOptions options;
    options.format = format;
    options.backBuffer = backBuffer;
    options.flags = (options.flags & ~hardwareYuv) | extraFlags;
    Screen screen(options);
    screen.setup();
    for (const Frame& frame : frames) screen.play(frame.type, frame.payload);
    EXPECT_TRUE(qzplat::surfacePaddingIntact(screen.config.primarySurface));
    return {qzplat::screenSnapshot(), screen.ctx.display.destX, screen.ctx.display.destY};
}

} // namespace

TEST(PlacedPictures, EveryFamilyIsCentredAndDoubledAtEveryDepth) {
    for (DisplayFormat format :
         {DisplayFormat::palette8, DisplayFormat::rgb565, DisplayFormat::rgb888}) {
        for (LONG type : {1, 3, 4, 5}) {
            // Only KRT pictures are shown on 8-bit displays.
            if (format == DisplayFormat::palette8 && type != 1) continue;
            SCOPED_TRACE(testing::Message() << "format " << int(format) << " type " << type);
            const std::vector<Frame> frames = family(type);
            const Shown plain = play(format, 0, frames);
            ASSERT_EQ(plain.destX, (640 - width) / 2);
            ASSERT_EQ(plain.destY, (480 - height) / 2);
            const Shown wide = play(format, doubleX, frames);
            for (DWORD flags : {doubleX, doubleY, doubleX | doubleY, skipY, doubleX | skipY}) {
                SCOPED_TRACE(testing::Message() << "flags " << flags);
                const int sx = (flags & doubleX) ? 2 : 1;
                const int sy = (flags & (doubleY | skipY)) ? 2 : 1;
                const Shown shown = play(format, flags, frames);
                ASSERT_EQ(shown.destX, (640 - sx * width) / 2);
                ASSERT_EQ(shown.destY, (480 - sy * height) / 2);
                // On 16-bit displays the DCT pixels of a doubled picture come from the 4-byte
                // decoders, whose halves round unlike the 2-byte decoders' pixels: there rows
                // are compared with the picture doubled in width alone.
                const bool halves = format != DisplayFormat::rgb888 && (type == 3 || type == 4);
                const Shown& ref = halves && (flags & doubleX) ? wide : plain;
                const int refX = &ref == &wide ? 1 : sx;
                for (LONG y = 0; y < 480; ++y)
                    for (LONG x = 0; x < 640; ++x) {
                        const LONG px = x - shown.destX, py = y - shown.destY;
                        // Outside the picture: the cleared screen (palette colour 0 on 8-bit).
                        std::uint32_t want = plain.image.at(0, 0);
                        const bool inside =
                            px >= 0 && px < sx * width && py >= 0 && py < sy * height;
                        if (inside && !((flags & skipY) && py % 2 == 1))
                            want = ref.image.at(DWORD(ref.destX + px / refX),
                                                DWORD(ref.destY + py / sy));
                        ASSERT_EQ(shown.image.at(DWORD(x), DWORD(y)), want) << x << "," << y;
                    }
            }
        }
    }
}

TEST(PlacedPictures, PicturesLargerThanTheScreenAreClippedOnEveryFamily) {
    // A doubled 48 x 32 picture placed left of and above the screen with the offsets is cut
    // on two sides, and nothing is written outside the surfaces.
    for (LONG type : {1, 3, 4, 5}) {
        SCOPED_TRACE(type);
        ScreenOptions options;
        options.flags = (options.flags & ~(hardwareYuv | centreX | centreY)) | offsetX | offsetY |
                        doubleX | doubleY;
        Screen screen(options);
        screen.config.posX = -38;
        screen.config.posY = -22;
        screen.setup();
        for (const Frame& frame : family(type)) screen.play(frame.type, frame.payload);
        EXPECT_TRUE(qzplat::surfacePaddingIntact(screen.config.primarySurface));
        EXPECT_TRUE(qzplat::surfacePaddingIntact(screen.config.backSurface));
        const qzplat::ScreenImage image = qzplat::screenSnapshot();
        // The picture's column 19 and row 11, each shown twice, land at the top-left.
        EXPECT_NE(image.at(0, 0), 0u);
        EXPECT_EQ(image.at(0, 0), image.at(1, 1));
        EXPECT_EQ(image.at(2 * width - 38, 0), 0u);
        EXPECT_EQ(image.at(0, 2 * height - 22), 0u);
    }
}

TEST(PlacedPictures, PageFlippingShowsWhatASingleBufferShows) {
    // Three type-3 frames, the last two skipping the macroblocks that did not change: with a
    // flip chain the decoder writes the buffer that held the picture before last.
    const YuvPicture a = rgbToYuv420(sceneRgb(0).data(), width, height);
    std::vector<std::uint8_t> changed = sceneRgb(0);
    for (int x = 0; x < 16 * 3; ++x) changed[3 * x] = 255; // the top macroblock row only
    const YuvPicture b = rgbToYuv420(changed.data(), width, height);
    const std::vector<Frame> frames = {{3, encodeType3Frame(a, 80)},
                                       {3, encodeType3Frame(b, 80, &a)},
                                       {3, encodeType3Frame(b, 80, &b)}};
    for (DisplayFormat format : {DisplayFormat::rgb565, DisplayFormat::rgb888}) {
        const Shown single = play(format, 0, frames, false);
        const Shown flipped = play(format, 0, frames, true);
        EXPECT_EQ(flipped.image.pixels, single.image.pixels) << int(format);
    }
    // With doubled columns on a 32-bit display the skipped macroblocks keep the last picture,
    // doubled like the rest.
    const Shown plain = play(DisplayFormat::rgb888, 0, frames, false);
    const Shown wide = play(DisplayFormat::rgb888, doubleX, frames);
    for (LONG y = 0; y < height; ++y)
        for (LONG x = 0; x < 2 * width; ++x)
            ASSERT_EQ(wide.image.at(DWORD(wide.destX + x), DWORD(wide.destY + y)),
                      plain.image.at(DWORD(plain.destX + x / 2), DWORD(plain.destY + y)))
                << x << "," << y;
}

TEST(PlacedPictures, ARestartBringsBackThePictureStateOfOpen) {
    // A lap that starts with frames building on what came before (a motion frame, a type-3
    // frame that skips every macroblock) shows the same on every lap as on the first.
    const YuvPicture a = rgbToYuv420(sceneRgb(0).data(), width, height);
    const YuvPicture b = rgbToYuv420(sceneRgb(1).data(), width, height);
    DorEncoder fresh;
    const std::vector<Frame> lap = {{6, fresh.encode(a, DorFrameKind::motion)},
                                    {3, encodeType3Frame(a, 80, &a)}};
    DorEncoder other;
    const std::vector<Frame> between = {{5, other.encode(b, DorFrameKind::key)},
                                        {3, encodeType3Frame(b, 80)}};
    ScreenOptions options;
    options.flags &= ~hardwareYuv;
    const Shown first = play(DisplayFormat::rgb888, 0, lap);
    Screen screen(options);
    screen.setup();
    for (const std::vector<Frame>* frames : {&lap, &between})
        for (const Frame& frame : *frames) screen.play(frame.type, frame.payload);
    restartPictures(&screen.ctx);
    EXPECT_EQ(screen.ctx.video.dor.reference, nullptr);
    EXPECT_EQ(screen.ctx.video.krt.picture, nullptr);
    for (const Frame& frame : lap) screen.play(frame.type, frame.payload);
    EXPECT_EQ(qzplat::screenSnapshot().pixels, first.image.pixels);

    // KRT: a delta frame at the start of a lap finds no picture, as at open.
    KrtEncoder encoder;
    screen.play(1, encoder.keyFrame(RgbPicture{width, height, sceneRgb(0)}).payload);
    restartPictures(&screen.ctx);
    EXPECT_EQ(screen.ctx.video.krt.picture, nullptr);
    screen.play(2, encoder.deltaFrame(RgbPicture{width, height, sceneRgb(1)}).payload);
    EXPECT_EQ(screen.ctx.video.krt.picture, nullptr);
}
