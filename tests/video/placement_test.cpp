// Placement of the picture and the clip box for every combination of the placement flags,
// oversized pictures and offsets; the recording decoders fill the whole box they are given.
#include <tuple>

#include <gtest/gtest.h>

#include "tests/display/display_harness.h"
#include "tests/video/recording_decoders.h"
#include "video/placement.h"

using displaytest::Screen;
using displaytest::ScreenOptions;
using qzplat::DisplayFormat;

TEST(Placement, DoubleXCentresOnTheTargetRow) {
    recording::Install recorders;
    for (auto [format, rowBytes] :
         {std::pair{DisplayFormat::rgb888, 256}, std::pair{DisplayFormat::rgb565, 128}}) {
        ScreenOptions options;
        options.format = format;
        options.flags = (options.flags | doubleX) & ~hardwareYuv;
        Screen screen(options);
        screen.setup();
        screen.decode(3, displaytest::dctFrame(320, 240));
        EXPECT_EQ(screen.ctx.display.destX, 0);
        screen.decode(3, displaytest::dctFrame(256, 200));
        EXPECT_EQ(screen.ctx.display.destX, 64);
        EXPECT_EQ(screen.ctx.display.destWidth, 512);
        const recording::Call& call = recording::calls().back();
        EXPECT_EQ(call.decoder, "type3Decode32");
        // The picture starts at pixel 64 of row destY: 256 bytes on 32-bit, 128 on 16-bit.
        EXPECT_EQ(call.target - call.second, screen.ctx.display.destY * (call.pitch) + rowBytes);
        EXPECT_TRUE(qzplat::surfacePaddingIntact(screen.config.backSurface));
    }
}

TEST(Placement, RowDoublingDoublesThePitchOfThePlacedDecodersOnly) {
    recording::Install recorders;
    for (DWORD rows : {doubleY, skipY}) {
        ScreenOptions options;
        options.flags |= rows;
        Screen screen(options);
        screen.setup();
        screen.decode(4, displaytest::dctFrame(64, 48)); // overlay: plain pitch
        const LONG yuvPitch = recording::calls().back().pitch;
        screen.decode(3, displaytest::dctFrame(64, 48));        // leaves the overlay
        const recording::Call call = recording::calls().back(); // a copy: later calls grow the list
        EXPECT_EQ(screen.ctx.display.destHeight, 96);
        EXPECT_EQ(screen.ctx.display.destY, (480 - 96) / 2);
        LONG pitch = 0;
        DDSURFACEDESC desc{};
        desc.dwSize = sizeof(desc);
        screen.config.backSurface->GetSurfaceDesc(&desc);
        pitch = desc.lPitch;
        EXPECT_EQ(call.pitch, 2 * pitch);
        EXPECT_EQ(call.target - call.second,
                  screen.ctx.display.destY * pitch + screen.ctx.display.destX * 4);
        EXPECT_LT(yuvPitch, 2 * 64 * 2 + 64);
        // DOR pictures are placed and take every second row like the DCT pictures.
        screen.decode(5, displaytest::dorFrame(64, 48));
        EXPECT_EQ(recording::calls().back().pitch, 2 * pitch);
        EXPECT_EQ(recording::calls().back().target, call.target);
    }
}

// Every flag combination over pictures larger and smaller than the screen and both pixel
// sizes: the decoders' writes stay inside the surface.
class PlacementCombos : public testing::TestWithParam<std::tuple<DWORD, int, DisplayFormat>> {};

TEST_P(PlacementCombos, WritesStayInsideTheTarget) {
    recording::Install recorders;
    const auto [extra, size, format] = GetParam();
    ScreenOptions options;
    options.format = format;
    options.flags = (options.flags & ~hardwareYuv) | extra;
    Screen screen(options);
    screen.config.posX = -700;
    screen.config.posY = 250;
    screen.config.stretchWidth = 1000;
    screen.config.stretchHeight = 10;
    screen.setup();
    for (LONG type : {3, 4}) {
        screen.decode(type, displaytest::dctFrame(size, size * 3 / 4));
        EXPECT_TRUE(qzplat::surfacePaddingIntact(screen.config.backSurface));
    }
    for (const recording::Call& call : recording::calls()) {
        EXPECT_GE(call.clipLeft, 0);
        EXPECT_LE(call.clipRight, size);
        EXPECT_GE(call.clipTop, 0);
        EXPECT_LE(call.clipBottom, size * 3 / 4);
        EXPECT_LT(call.clipLeft, call.clipRight);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Flags, PlacementCombos,
    testing::Combine(testing::Values(0u, doubleX, doubleY, skipY, doubleX | skipY,
                                     doubleX | doubleY | stretchX | stretchY, offsetX,
                                     offsetY | doubleY, offsetX | offsetY | doubleX,
                                     DWORD{stretchX}),
                     testing::Values(64, 638, 1000),
                     testing::Values(DisplayFormat::rgb888, DisplayFormat::rgb565)));

TEST(Placement, StretchingKeepsTheUnstretchedCentre) {
    PlayerConfig config{};
    PlayerContext ctx{};
    ctx.config = &config;
    ctx.display.config = &config;
    ctx.display.screenWidth = 640;
    ctx.display.screenHeight = 480;
    config.movieWidth = 100;
    config.movieHeight = 50;
    config.flags = centreX | centreY | stretchX | stretchY | offsetX | offsetY;
    config.stretchWidth = 400;
    config.stretchHeight = 300;
    config.posX = 5;
    config.posY = -7;
    placePicture(&ctx);
    EXPECT_EQ(ctx.display.destX, 270 + 5);
    EXPECT_EQ(ctx.display.destY, 215 - 7);
    EXPECT_EQ(ctx.display.destWidth, 400);
    EXPECT_EQ(ctx.display.destHeight, 300);
    // Odd differences shift arithmetically.
    config.flags = centreX;
    config.movieWidth = 641;
    placePicture(&ctx);
    EXPECT_EQ(ctx.display.destX, -1);
}

TEST(Placement, ClipBoxForAPointerBeforeTheArea) {
    VideoState video{};
    video.width = 10;
    video.height = 10;
    std::vector<BYTE> memory(8 * 4 * 6);
    const TargetArea area{memory.data(), memory.data(), 32, 32, 6};
    // Three bytes left of the row start with 4-byte columns: column 0 would write bytes -3..0.
    BYTE* pointer = placeDecoderTarget(&video, area, -3, -3, 2, 4);
    ASSERT_NE(pointer, nullptr);
    EXPECT_EQ(video.clipLeft, 1);
    EXPECT_EQ(video.clipRight, 8);
    EXPECT_EQ(video.clipTop, 2); // rows -3, -1 lie above; 1, 3, 5 inside
    EXPECT_EQ(video.clipBottom, 5);
    EXPECT_EQ(placeDecoderTarget(&video, area, 6, 0, 1, 4), nullptr);
    EXPECT_EQ(placeDecoderTarget(&video, area, 0, 32, 1, 4), nullptr);
    EXPECT_EQ(video.clipRight, 0);
}
