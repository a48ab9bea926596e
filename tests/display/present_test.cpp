// Presentation: the error-name table, the flip's debugger output, the 8-bit palette, the
// overlay flip retry, the restore of a lost overlay, and the offscreen path's row blits.
#include <cstring>

#include <gtest/gtest.h>

#include "tests/display/display_harness.h"

using displaytest::Screen;
using displaytest::ScreenOptions;
using qzplat::DisplayFormat;

TEST(ErrorNames, TableEdges) {
    EXPECT_STREQ(errorName(0), "Uknown Error Code");
    EXPECT_STREQ(errorName(DDERR_NOT8BITCOLOR), "DDERR_NOT8BITCOLOR ");
    EXPECT_STREQ(errorName(DDERR_GENERIC), "DDERR_GENERIC");
    EXPECT_STREQ(errorName(DDERR_ALREADYINITIALIZED), "DDERR_ALREADYINITIALIZED");
    EXPECT_STREQ(errorName(DDERR_UNSUPPORTEDMODE), "DDERR_UNSUPPORTEDMODE");
    EXPECT_STREQ(errorName(DDERR_OUTOFMEMORY), "DDERR_OUTOFMEMORY");
    EXPECT_STREQ(errorName(DDERR_WASSTILLDRAWING), "DDERR_WASSTILLDRAWING");
    EXPECT_STREQ(errorName(static_cast<HRESULT>(0x88760001)), "Uknown Error Code");
}

TEST(Present, FailedFlipIsNamedOnTheDebuggerOutput) {
    ScreenOptions options;
    options.flags &= ~hardwareYuv;
    Screen screen(options);
    screen.setup();
    qzplat::takeDebugOutput();
    screen.play(3, displaytest::dctFrame(64, 48));
    EXPECT_EQ(qzplat::takeDebugOutput(), "");
    qzplat::failNextFlips(DDERR_NOFLIPHW);
    screen.play(3, displaytest::dctFrame(64, 48));
    EXPECT_EQ(qzplat::takeDebugOutput(), "DDERR_NOFLIPHW");
}

TEST(Present, EightBitPaletteIsSetAfterEveryFlip) {
    ScreenOptions options;
    options.format = DisplayFormat::palette8;
    Screen screen(options);
    screen.setup();
    qzplat::takeDebugOutput();
    for (bool failFlip : {false, true}) {
        const BYTE level = failFlip ? 90 : 40;
        if (failFlip) qzplat::failNextFlips(DDERR_GENERIC);
        screen.play(1, displaytest::krtKeyFrame(16, 16, {level, 20, 30}));
        PALETTEENTRY entries[256]{};
        screen.config.palette->GetEntries(0, 0, 256, entries);
        EXPECT_EQ(entries[0].peRed, level);
        EXPECT_EQ(entries[0].peGreen, 20);
        EXPECT_EQ(entries[0].peBlue, 30);
    }
    EXPECT_EQ(qzplat::takeDebugOutput(), ""); // 8-bit displays report no flip errors
}

TEST(Present, OverlayFlipIsRetriedWhileTheHardwareDraws) {
    Screen screen;
    screen.setup();
    screen.play(4, displaytest::dctFrame(64, 48));
    ASSERT_EQ(screen.ctx.display.overlayFlipping, 1);
    const long before = qzplat::presentCount();
    qzplat::failNextFlips(DDERR_WASSTILLDRAWING, 3);
    screen.play(4, displaytest::dctFrame(64, 48));
    EXPECT_EQ(qzplat::presentCount(), before + 1);
    EXPECT_EQ(screen.ctx.display.displayMode, 2);
}

TEST(Present, LostOverlayIsRestoredAndShownAgain) {
    Screen screen;
    screen.setup();
    screen.play(4, displaytest::dctFrame(64, 48));
    // An overlay the driver refuses to show is given up for direct RGB...
    screen.ctx.display.overlayPending = 1;
    qzplat::failNextUpdateOverlay(DDERR_UNSUPPORTED);
    screen.play(4, displaytest::dctFrame(64, 48));
    EXPECT_EQ(screen.ctx.display.displayMode, 1);
    // ...and used again once it has been lost and restored.
    qzplat::loseSurface(screen.config.movieSurface);
    screen.play(4, displaytest::dctFrame(64, 48));
    EXPECT_EQ(screen.ctx.display.displayMode, 2);
    EXPECT_EQ(screen.ctx.display.overlayPending, 0);
    // A lost surface that cannot be restored costs the frame.
    qzplat::loseSurface(screen.config.movieSurface, 1);
    EXPECT_EQ(checkLostSurfaces(&screen.ctx.display), 1);
    EXPECT_EQ(checkLostSurfaces(&screen.ctx.display), 0);
}

TEST(Present, SingleOverlayShowsTheStagingImage) {
    Screen screen;
    screen.setup();
    qzplat::failNextCreateSurface(qzplat::SurfaceKind::overlay);
    screen.decode(4, displaytest::dctFrame(64, 48));
    ASSERT_NE(screen.ctx.display.yuvImage, nullptr);
    // White YUY2: Y 255, U and V 128.
    for (int i = 0; i < 64 * 48; ++i) {
        screen.ctx.display.yuvImage[2 * i] = 255;
        screen.ctx.display.yuvImage[2 * i + 1] = 128;
    }
    const long waits = qzplat::verticalBlankWaits();
    presentFrame(&screen.ctx.display);
    EXPECT_EQ(qzplat::verticalBlankWaits(), waits + 1);
    const qzplat::ScreenImage shown = qzplat::screenSnapshot();
    EXPECT_EQ(shown.at(screen.ctx.display.destX + 10, screen.ctx.display.destY + 10) & 0xF0F0F0,
              0xF0F0F0u);
}

TEST(Present, SkipYOffscreenLeavesEverySecondRow) {
    ScreenOptions options;
    options.flags = (options.flags & ~(directToSurface | hardwareYuv | pageFlip)) | skipY;
    options.backBuffer = false;
    Screen screen(options);
    screen.setup();
    screen.decode(3, displaytest::dctFrame(32, 16));
    ASSERT_NE(screen.config.movieSurface, nullptr);
    // Paint the movie surface white, the primary's movie rows black and present.
    DDBLTFX fx{};
    fx.dwSize = sizeof(fx);
    fx.dwFillColor = 0xFFFFFF;
    screen.config.movieSurface->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
    fx.dwFillColor = 0;
    screen.config.primarySurface->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
    presentFrame(&screen.ctx.display);
    const qzplat::ScreenImage shown = qzplat::screenSnapshot();
    const DWORD x = static_cast<DWORD>(screen.ctx.display.destX + 5);
    const DWORD top = static_cast<DWORD>(screen.ctx.display.destY);
    for (DWORD row = 0; row < 32; ++row)
        EXPECT_EQ(shown.at(x, top + row), row % 2 == 0 ? 0xFFFFFFu : 0u) << row;
}

TEST(Present, PictureReachingPastTheScreenIsBlitInPart) {
    ScreenOptions options;
    options.caps = qzplat::capsBltYuv;
    options.flags |= offsetX | stretchX;
    Screen screen(options);
    screen.config.posX = 200;
    screen.config.stretchWidth = 256; // 104 pixels of it lie past the right edge
    screen.setup();
    screen.play(4, displaytest::dctFrame(64, 48));
    ASSERT_EQ(screen.ctx.display.displayMode, 4);
    EXPECT_EQ(screen.ctx.display.destX, 288 + 200);
    screen.play(4, displaytest::dctFrame(64, 48));
    EXPECT_EQ(screen.ctx.display.displayMode,
              4); // the driver was never handed a rectangle off screen
    // A freshly made YUY2 surface is grey: the visible part shows it.
    const qzplat::ScreenImage shown = qzplat::screenSnapshot();
    ASSERT_EQ(shown.width, 640u);
    EXPECT_NE(shown.at(639, screen.ctx.display.destY + 1), 0u);
}
