// Display set-up per device profile and capability set, the surface recipes' fallbacks,
// teardown, and playerQueryModes.
#include <gtest/gtest.h>

#include "tests/display/display_harness.h"

using displaytest::Screen;
using displaytest::ScreenOptions;
using qzplat::DisplayFormat;
using qzplat::SurfaceKind;

namespace {

const std::vector<BYTE> yuvFrame = displaytest::dctFrame(64, 48);

} // namespace

TEST(DisplaySetup, PixelFormatPerProfile) {
    struct Case {
        DisplayFormat format;
        PixelFormat expected;
    };
    for (const Case& c : {Case{DisplayFormat::rgb555, {5, 5, 5, 10, 5, 0, 0x7FFF, 15}},
                          Case{DisplayFormat::rgb565, {5, 6, 5, 11, 5, 0, 0xFFFF, 16}},
                          Case{DisplayFormat::rgb888, {8, 8, 8, 16, 8, 0, 0xFFFFFF, 24}}}) {
        ScreenOptions options;
        options.format = c.format;
        Screen screen(options);
        screen.setup();
        const PixelFormat& got = screen.config.pixelFormat;
        EXPECT_EQ(got.redBits, c.expected.redBits);
        EXPECT_EQ(got.greenBits, c.expected.greenBits);
        EXPECT_EQ(got.redShift, c.expected.redShift);
        EXPECT_EQ(got.greenShift, c.expected.greenShift);
        EXPECT_EQ(got.blueShift, c.expected.blueShift);
        EXPECT_EQ(got.rgbMask, c.expected.rgbMask);
        EXPECT_EQ(got.depth, c.expected.depth);
        EXPECT_EQ(screen.ctx.display.screenWidth, 640);
        EXPECT_EQ(screen.ctx.display.screenHeight, 480);
        EXPECT_EQ(screen.config.palette, nullptr);
        EXPECT_EQ(screen.ctx.display.displayReady, 1);
        EXPECT_EQ(screen.ctx.display.ownsDirectDraw2, 1);
    }
}

TEST(DisplaySetup, EightBitDisplaysGetABlackPaletteOnThePrimary) {
    ScreenOptions options;
    options.format = DisplayFormat::palette8;
    {
        Screen screen(options);
        screen.setup();
        EXPECT_EQ(screen.config.pixelFormat.depth, 8);
        ASSERT_NE(screen.config.palette, nullptr);
        PALETTEENTRY entries[256];
        std::fill(std::begin(entries), std::end(entries), PALETTEENTRY{1, 1, 1, 1});
        screen.config.palette->GetEntries(0, 0, 256, entries);
        for (const PALETTEENTRY& e : entries) EXPECT_EQ(e.peRed + e.peGreen + e.peBlue, 0);
        IDirectDrawPalette* attached = nullptr;
        EXPECT_EQ(screen.config.primarySurface->GetPalette(&attached), DD_OK);
        EXPECT_EQ(attached, screen.config.palette);
        if (attached != nullptr) attached->Release();
    }
    options.flags |= callerPalette;
    Screen screen(options);
    screen.setup();
    EXPECT_EQ(screen.config.palette, nullptr);
}

TEST(DisplaySetup, ModeChoicePerCapabilities) {
    struct Case {
        DWORD caps;
        DWORD allowed;
        bool software;
        LONG mode;
    };
    for (const Case& c :
         {Case{qzplat::capsOverlayYuv | qzplat::capsBltYuv, 7, false, 2},
          Case{qzplat::capsBltYuv, 7, false, 4},
          Case{qzplat::capsOverlayYuv | qzplat::capsBltYuv, 5, false, 4},
          Case{qzplat::capsOverlayYuv | qzplat::capsBltYuv, 1, false, 1},
          Case{DDCAPS_OVERLAY | DDCAPS_OVERLAYFOURCC | DDCAPS_BLTFOURCC, 7, false, 1},
          Case{qzplat::capsOverlayYuv | qzplat::capsBltYuv, 7, true, 1}}) {
        ScreenOptions options;
        options.caps = c.caps;
        options.allowedModes = c.allowed;
        if (c.software) options.flags &= ~hardwareYuv;
        Screen screen(options);
        screen.setup();
        EXPECT_EQ(screen.ctx.display.displayMode, c.mode) << std::hex << c.caps << " " << c.allowed;
        EXPECT_EQ(playerQueryModes(screen.config.directDraw2),
                  1u | ((c.caps & qzplat::capsOverlayYuv) == qzplat::capsOverlayYuv ? 2u : 0u) |
                      ((c.caps & qzplat::capsBltYuv) == qzplat::capsBltYuv ? 4u : 0u));
        for (int i = 0; i < 3; ++i) screen.play(4, yuvFrame);
        if (c.mode == 1) {
            EXPECT_EQ(qzplat::surfacesCreated(SurfaceKind::overlay), 0);
            EXPECT_EQ(qzplat::surfacesCreated(SurfaceKind::offscreenYuy2), 0);
        }
    }
    Screen screen;
    qzplat::failNextGetCaps();
    screen.setup();
    EXPECT_EQ(screen.ctx.display.displayMode, 1);
    qzplat::failNextGetCaps();
    EXPECT_EQ(playerQueryModes(screen.config.directDraw2), 1u);
    EXPECT_EQ(playerQueryModes(nullptr), 1u);
}

TEST(DisplayFallbacks, OverlayRecipes) {
    {
        Screen screen;
        screen.setup();
        screen.play(4, yuvFrame);
        EXPECT_EQ(screen.ctx.display.displayMode, 2);
        EXPECT_EQ(screen.ctx.display.overlayFlipping, 1);
        EXPECT_NE(screen.config.movieSurface2, nullptr);
        EXPECT_EQ(screen.ctx.display.overlayPending, 0); // shown by the first presentation
        EXPECT_EQ(screen.ctx.display.yuvImage, nullptr);
    }
    {
        // Only the single overlay can be made: a staging image of the movie's size.
        Screen screen;
        screen.setup();
        qzplat::failNextCreateSurface(SurfaceKind::overlay);
        screen.play(4, yuvFrame);
        EXPECT_EQ(screen.ctx.display.displayMode, 2);
        EXPECT_EQ(screen.ctx.display.overlayFlipping, 0);
        EXPECT_NE(screen.ctx.display.yuvImage, nullptr);
        EXPECT_EQ(screen.ctx.display.movieSurfaceWidth * screen.ctx.display.movieSurfaceHeight * 2,
                  64 * 48 * 2);
        EXPECT_EQ(screen.config.movieSurface2, nullptr);
    }
    {
        Screen screen;
        screen.setup();
        qzplat::failNextCreateSurface(SurfaceKind::overlay, DDERR_OUTOFVIDEOMEMORY, 2);
        screen.play(4, yuvFrame);
        EXPECT_EQ(screen.ctx.display.displayMode, 1);
        EXPECT_EQ(screen.config.movieSurface, nullptr);
    }
    {
        Screen screen;
        screen.setup();
        qzplat::failNextGetFourCCCodes();
        screen.play(4, yuvFrame);
        EXPECT_EQ(screen.ctx.display.displayMode, 1);
        EXPECT_EQ(qzplat::surfacesCreated(SurfaceKind::overlay), 0);
    }
}

TEST(DisplayFallbacks, BlitRecipeAndFailingBlit) {
    ScreenOptions options;
    options.caps = qzplat::capsBltYuv;
    {
        Screen screen(options);
        screen.setup();
        qzplat::failNextCreateSurface(SurfaceKind::offscreenYuy2);
        screen.play(4, yuvFrame);
        EXPECT_EQ(screen.ctx.display.displayMode, 1);
    }
    Screen screen(options);
    screen.setup();
    screen.play(4, yuvFrame);
    EXPECT_EQ(screen.ctx.display.displayMode, 4);
    // The first failing blit turns the movie into direct RGB output from the next frame on.
    qzplat::failNextSourceBlts(DDERR_GENERIC);
    screen.play(4, yuvFrame);
    EXPECT_EQ(screen.ctx.display.displayMode, 1);
}

TEST(DisplayFallbacks, OffscreenRgbSurfaces) {
    ScreenOptions options;
    options.flags &= ~directToSurface;
    Screen screen(options);
    screen.setup();
    qzplat::failNextCreateSurface(SurfaceKind::offscreenRgb);
    screen.play(3, yuvFrame);
    EXPECT_EQ(screen.config.movieSurface, nullptr);
    EXPECT_EQ(screen.ctx.display.displayMode, 1);
    screen.play(3, yuvFrame);
    ASSERT_NE(screen.config.movieSurface, nullptr);
    IDirectDrawSurface2* first = screen.config.movieSurface;
    screen.play(3, yuvFrame);
    EXPECT_EQ(screen.config.movieSurface2, first); // the pair alternates
}

TEST(DisplayTeardown, OnlyWhatTheEngineMadeIsReleased) {
    {
        Screen screen; // never set up: teardown does nothing
        displayRelease(&screen.ctx.display);
        EXPECT_EQ(screen.config.directDraw2, nullptr);
    }
    {
        // A caller's IDirectDraw2 is left to the caller.
        Screen screen;
        void* queried = nullptr;
        screen.directDraw->QueryInterface(IID_IDirectDraw2, &queried);
        screen.config.directDraw2 = static_cast<IDirectDraw2*>(queried);
        screen.setup();
        screen.play(4, yuvFrame);
        displayRelease(&screen.ctx.display);
        EXPECT_EQ(screen.ctx.display.displayReady, 0);
        EXPECT_EQ(screen.config.movieSurface, nullptr);
        EXPECT_EQ(screen.config.directDraw2, queried);
        screen.config.directDraw2->Release();
    }
    {
        ScreenOptions options;
        options.format = DisplayFormat::palette8;
        Screen screen(options);
        screen.setup();
        displayRelease(&screen.ctx.display);
        EXPECT_EQ(screen.config.palette, nullptr);
        EXPECT_EQ(screen.config.paletteEntries, nullptr);
    }
}
