// The frame dispatch: header fields, the target each display mode hands the decoders, skipped
// frames, and the gamma refresh on the play thread.
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "video/colour_tables.h"
#include "tests/display/display_harness.h"
#include "tests/video/recording_decoders.h"

using displaytest::Screen;
using displaytest::ScreenOptions;
using qzplat::DisplayFormat;

namespace {

BYTE* surfaceMemory(IDirectDrawSurface2* surface, LONG* pitch = nullptr) {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
    EXPECT_EQ(surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DD_OK);
    surface->Unlock(nullptr);
    if (pitch != nullptr) *pitch = desc.lPitch;
    return static_cast<BYTE*>(desc.lpSurface);
}

} // namespace

TEST(DispatchHeader, KrtPaletteScalingAndDeltaFramesKeepTheSize) {
    recording::Install recorders;
    Screen screen;
    screen.setup();
    screen.config.gamma = 150;
    screen.decode(1, displaytest::krtKeyFrame(64, 32, {200, 100, 0}));
    EXPECT_EQ(screen.config.movieWidth, 64);
    EXPECT_EQ(screen.config.movieHeight, 32);
    EXPECT_EQ(screen.ctx.video.krt.paletteCount, 1);
    EXPECT_EQ(screen.config.paletteRgb[0], 255);
    EXPECT_EQ(screen.config.paletteRgb[1], 150);
    EXPECT_EQ(screen.config.paletteRgb[2], 0);
    // n = 0 leaves the palette; gamma 0 blackens what is read.
    screen.decode(1, displaytest::krtKeyFrame(64, 32, {}));
    EXPECT_EQ(screen.config.paletteRgb[0], 255);
    screen.config.gamma = 0;
    screen.decode(1, displaytest::krtKeyFrame(64, 32, {9, 9, 9}));
    EXPECT_EQ(screen.config.paletteRgb[0], 0);
    // A delta frame reads no size.
    screen.decode(2, std::vector<BYTE>(16, 0xFF));
    EXPECT_EQ(screen.config.movieWidth, 64);
    EXPECT_EQ(screen.config.movieHeight, 32);
    EXPECT_EQ(
        recording::names(),
        (std::vector<std::string>{"krtKeyFrame", "krtColourLookup", "krtOutput", "krtKeyFrame",
                                  "krtColourLookup", "krtOutput", "krtKeyFrame", "krtColourLookup",
                                  "krtOutput", "krtDeltaFrame", "krtOutput"}));
}

TEST(DispatchHeader, PalettesPastTheTableAndShortHeadersAreSafe) {
    recording::Install recorders;
    Screen screen;
    screen.setup();
    // 300 entries: only 256 fit the palette; the rest must not spill into the next field.
    std::vector<BYTE> palette(300 * 3, 7);
    screen.config.paletteLookup[0] = 0xDEADBEEF;
    screen.decode(1, displaytest::krtKeyFrame(16, 16, palette));
    EXPECT_EQ(screen.ctx.video.krt.paletteCount, 300);
    EXPECT_EQ(screen.config.paletteRgb[767], 7);
    EXPECT_EQ(screen.config.paletteLookup[0], 0xDEADBEEFu);
    recording::calls().clear();
    // Headers that do not fit their payload leave the frame undecoded and the size as it was.
    std::vector<BYTE> claimsPalette = displaytest::krtKeyFrame(99, 99, {});
    displaytest::put16(claimsPalette, 6, 100);
    screen.decode(1, claimsPalette);
    screen.decode(3, std::vector<BYTE>(7, 1));
    screen.decode(5, std::vector<BYTE>(11, 1));
    EXPECT_TRUE(recording::calls().empty());
    EXPECT_EQ(screen.config.movieWidth, 16);
    // The decoders are told where the payload ends.
    const std::vector<BYTE> frame = displaytest::dctFrame(32, 16, 77, 2);
    screen.decode(4, frame);
    EXPECT_EQ(screen.ctx.video.frameDataEnd, frame.data() + frame.size());
    EXPECT_EQ(screen.ctx.video.quality, 77);
    EXPECT_EQ(screen.ctx.video.dct.componentColour, 1);
    EXPECT_EQ(screen.ctx.video.dct.spareOption, 0);
}

TEST(DispatchTarget, DirectRgbWritesTheBackBufferOrThePrimary) {
    recording::Install recorders;
    for (bool flip : {true, false}) {
        ScreenOptions options;
        options.backBuffer = flip;
        options.flags &= ~hardwareYuv;
        Screen screen(options);
        screen.setup();
        recording::calls().clear();
        screen.decode(3, displaytest::dctFrame(64, 48));
        IDirectDrawSurface2* expected =
            flip ? screen.config.backSurface : screen.config.primarySurface;
        LONG pitch = 0;
        BYTE* memory = surfaceMemory(expected, &pitch);
        ASSERT_EQ(recording::calls().size(), 1u);
        const recording::Call& call = recording::calls()[0];
        EXPECT_EQ(call.decoder, "type3Decode32");
        // Centred on 640 x 480: destX 288, destY 216.
        EXPECT_EQ(call.target, memory + 216 * pitch + 288 * 4);
        EXPECT_EQ(call.second, memory);
        EXPECT_EQ(call.pitch, pitch);
        EXPECT_TRUE(qzplat::surfacePaddingIntact(expected));
    }
}

TEST(DispatchTarget, YuvModesWriteTheirOwnSurfacesFromTheFirstByte) {
    recording::Install recorders;
    {
        Screen screen; // overlay with flipping
        screen.setup();
        ASSERT_EQ(screen.ctx.display.displayMode, 2);
        screen.decode(4, displaytest::dctFrame(64, 48));
        ASSERT_EQ(screen.ctx.display.overlayFlipping, 1);
        EXPECT_EQ(recording::calls().back().decoder, "type4DecodeYuv");
        EXPECT_EQ(recording::calls().back().target, surfaceMemory(screen.config.movieSurface2));
        EXPECT_EQ(recording::calls().back().clipRight, 64);
        EXPECT_EQ(recording::calls().back().clipBottom, 48);
    }
    {
        Screen screen; // single overlay: the staging image
        screen.setup();
        qzplat::failNextCreateSurface(qzplat::SurfaceKind::overlay);
        screen.decode(4, displaytest::dctFrame(64, 48));
        ASSERT_EQ(screen.ctx.display.overlayFlipping, 0);
        EXPECT_EQ(recording::calls().back().target, screen.ctx.display.yuvImage);
        EXPECT_EQ(recording::calls().back().pitch, 128);
        // A larger frame later stays inside the image made for the first.
        screen.decode(4, displaytest::dctFrame(80, 60));
        EXPECT_EQ(recording::calls().back().clipRight, 64);
        EXPECT_EQ(recording::calls().back().clipBottom, 48);
    }
    {
        ScreenOptions options;
        options.caps = qzplat::capsBltYuv;
        Screen screen(options);
        screen.setup();
        ASSERT_EQ(screen.ctx.display.displayMode, 4);
        screen.decode(4, displaytest::dctFrame(64, 48));
        EXPECT_EQ(recording::calls().back().target, surfaceMemory(screen.config.movieSurface));
    }
}

TEST(DispatchTarget, NonYuvFramesLeaveTheYuvModes) {
    recording::Install recorders;
    Screen screen;
    screen.setup();
    ASSERT_EQ(screen.ctx.display.displayMode, 2);
    screen.play(3, displaytest::dctFrame(64, 48));
    EXPECT_EQ(screen.ctx.display.displayMode, 1);
    EXPECT_EQ(recording::calls().back().decoder, "type3Decode32");
    EXPECT_EQ(qzplat::surfacesCreated(qzplat::SurfaceKind::overlay), 0);
}

TEST(DispatchTarget, CallerBuffersAreClippedToTheMovieSize) {
    recording::Install recorders;
    Screen screen;
    screen.config.flags = callerBuffers | centreX | centreY | doubleY | hardwareYuv;
    screen.setup();
    EXPECT_EQ(screen.ctx.display.displayMode, 1);
    std::vector<BYTE> first(std::size_t(40) * 2 * 20);
    std::vector<BYTE> second(first.size());
    screen.config.frameBuffer = first.data();
    screen.config.frameBuffer2 = second.data();
    screen.play(3, displaytest::dctFrame(40, 20));
    ASSERT_EQ(recording::calls().size(), 1u);
    const recording::Call& call = recording::calls().back();
    EXPECT_EQ(call.decoder, "type3Decode16");
    EXPECT_EQ(call.second, second.data());
    EXPECT_EQ(call.pitch, 40 * 2 * 2);
    // Centred on a zero-sized screen the picture starts left of and above the buffer; only the
    // part inside is written.
    EXPECT_EQ(screen.ctx.display.destX, -20);
    EXPECT_EQ(screen.ctx.display.destY, -20);
    EXPECT_EQ(call.clipLeft, 20);
    EXPECT_EQ(call.clipRight, 40);
    EXPECT_EQ(call.clipTop, 10);
    EXPECT_EQ(call.clipBottom, 20);
    EXPECT_EQ(screen.config.frameBuffer, second.data()); // swapped after the frame
    // Doubled in width the picture lies wholly left of the buffer: nothing is decoded.
    screen.config.flags |= doubleX;
    screen.play(3, displaytest::dctFrame(40, 20));
    EXPECT_EQ(recording::calls().size(), 1u);
}

TEST(DispatchSkips, FailedLocksLostSurfacesAndNoDisplay) {
    recording::Install recorders;
    {
        ScreenOptions options;
        options.flags &= ~hardwareYuv;
        Screen screen(options);
        screen.setup();
        qzplat::failNextLocks(1);
        screen.decode(1, displaytest::krtKeyFrame(16, 16, {}));
        qzplat::loseSurface(screen.config.primarySurface, 1);
        screen.decode(2, std::vector<BYTE>(16, 0));
        EXPECT_TRUE(recording::calls().empty());
        screen.decode(2, std::vector<BYTE>(16, 0));
        EXPECT_EQ(recording::names(), (std::vector<std::string>{"krtDeltaFrame", "krtOutput"}));
    }
    {
        // No primary surface and no caller buffers: nothing is decoded, nothing breaks.
        Screen screen;
        screen.config.backSurface->Release();
        screen.config.primarySurface->Release();
        screen.config.backSurface = screen.config.primarySurface = nullptr;
        screen.setup();
        EXPECT_EQ(screen.ctx.display.displayMode, displayNone);
        recording::calls().clear();
        screen.play(4, displaytest::dctFrame(64, 48));
        screen.play(5, displaytest::dorFrame(64, 48));
        EXPECT_TRUE(recording::calls().empty());
    }
}

TEST(DispatchGamma, TablesFollowTheGammaBeforeEachFrame) {
    Screen screen;
    screen.setup();
    const LONG neutral = redGamma[200];
    screen.config.gamma = 50;
    screen.decode(4, displaytest::dctFrame(16, 16));
    EXPECT_NE(redGamma[200], neutral);
    screen.config.gamma = 100;
    screen.decode(4, displaytest::dctFrame(16, 16));
    EXPECT_EQ(redGamma[200], neutral);
}

TEST(DispatchGamma, GammaChangesFromAnotherThreadWhilePlaying) {
    Screen screen;
    screen.setup();
    std::atomic<bool> done{false};
    std::thread player([&] {
        for (int i = 0; i < 40; ++i) {
            screen.play(1, displaytest::krtKeyFrame(16, 16, {100, 100, 100}));
            screen.play(4, displaytest::dctFrame(32, 32));
        }
        done = true;
    });
    for (int gamma = 0; !done; gamma = (gamma + 10) % 200) playerSetGamma(&screen.config, gamma);
    player.join();
    playerSetGamma(&screen.config, 200);
    screen.decode(1, displaytest::krtKeyFrame(16, 16, {100, 100, 100}));
    EXPECT_EQ(screen.config.paletteRgb[0], 200);
}

TEST(DispatchGamma, TablesBuiltForAnotherFormatMeanwhileAreBuiltAgainForTheDisplay) {
    // The front end decodes a screenshot in its own format while the movie is held in a pause;
    // the frames after it must look as before.
    ScreenOptions options;
    options.format = DisplayFormat::rgb565;
    options.backBuffer = false;
    options.flags &= ~hardwareYuv;
    Screen screen(options);
    screen.setup();
    const std::vector<BYTE> frame = displaytest::dctFrame(64, 48);
    LONG pitch = 0;
    screen.decode(3, frame);
    const BYTE* memory = surfaceMemory(screen.config.primarySurface, &pitch);
    const std::vector<BYTE> before(memory, memory + 480 * pitch);
    PixelFormat other{8, 8, 8, 16, 8, 0, 0, 32};
    buildColourTables(other, 100);
    ASSERT_FALSE(colourTablesBuiltFor(screen.config.pixelFormat, 100));
    screen.decode(3, frame);
    memory = surfaceMemory(screen.config.primarySurface, &pitch);
    EXPECT_TRUE(std::vector<BYTE>(memory, memory + 480 * pitch) == before);
    EXPECT_TRUE(colourTablesBuiltFor(screen.config.pixelFormat, 100));
}
