// Surfaces of the stand-in device: padded pitches, locking, flip chains, colour fills and
// stretching copies with their conversions.
#include <cmath>

#include "tests/platform/ddraw_fixture.h"

using namespace ddtest;

namespace {

struct SurfaceTest : DDrawTest {
    Display display;
    void SetUp() override {
        DDrawTest::SetUp();
        display.open(640, 480, 32);
    }
    void TearDown() override {
        display.close();
        DDrawTest::TearDown();
    }
};

// Full-range BT.601, the conversion the display hardware applies to YUY2.
DWORD referenceYuv(int y, int u, int v) {
    auto clamp = [](double c) { return DWORD(std::lround(std::fmin(255.0, std::fmax(0.0, c)))); };
    DWORD r = clamp(y + 1.402 * (v - 128));
    DWORD g = clamp(y - 0.344136 * (u - 128) - 0.714136 * (v - 128));
    DWORD b = clamp(y + 1.772 * (u - 128));
    return r << 16 | g << 8 | b;
}

void expectNear(DWORD got, DWORD want) {
    for (int shift : {0, 8, 16}) {
        EXPECT_NEAR(int((got >> shift) & 0xFF), int((want >> shift) & 0xFF), 1)
            << std::hex << got << " vs " << want;
    }
}

TEST_F(SurfaceTest, RowsArePaddedBeyondTheirWidthAndLockedContentPersists) {
    const DDPIXELFORMAT yuy2 = yuy2Format();
    IDirectDrawSurface2* rgb = offscreen(display.dd2, 33, 5, DDSCAPS_OFFSCREENPLAIN);
    IDirectDrawSurface2* yuv =
        offscreen(display.dd2, 33, 5, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY, &yuy2);
    ASSERT_TRUE(rgb && yuv);
    {
        Locked lock(rgb);
        ASSERT_EQ(lock.result, DD_OK);
        EXPECT_GT(lock.desc.lPitch, LONG(33 * 4));
        EXPECT_EQ(lock.desc.lPitch % 8, 0);
        EXPECT_EQ(lock.desc.dwWidth, 33u);
        for (DWORD y = 0; y < 5; ++y) {
            for (DWORD x = 0; x < 33; ++x) lock.set32(x, y, y * 100 + x);
        }
        // A second lock of a locked surface is refused.
        DDSURFACEDESC again{};
        again.dwSize = sizeof(again);
        EXPECT_EQ(rgb->Lock(nullptr, &again, DDLOCK_WAIT, nullptr), DDERR_SURFACEBUSY);
    }
    EXPECT_EQ(rgb->Unlock(nullptr), DDERR_NOTLOCKED);
    {
        Locked lock(rgb);
        EXPECT_EQ(lock.pixel32(32, 4), 432u);
        EXPECT_EQ(lock.pixel32(0, 1), 100u);
    }
    EXPECT_TRUE(qzplat::surfacePaddingIntact(rgb));
    {
        Locked lock(yuv);
        EXPECT_GT(lock.desc.lPitch, LONG(34 * 2));
        EXPECT_EQ(lock.desc.ddpfPixelFormat.dwFourCC, qzplat::fourCCYuy2);
        lock.row(2)[34 * 2] = 1; // one byte past the row
    }
    EXPECT_FALSE(qzplat::surfacePaddingIntact(yuv));

    RECT part{10, 1, 12, 3};
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
    ASSERT_EQ(rgb->Lock(&part, &desc, DDLOCK_WAIT, nullptr), DD_OK);
    DWORD first;
    std::memcpy(&first, desc.lpSurface, 4);
    EXPECT_EQ(first, 110u);
    rgb->Unlock(nullptr);
    RECT outside{30, 0, 34, 1};
    EXPECT_EQ(rgb->Lock(&outside, &desc, DDLOCK_WAIT, nullptr), DDERR_INVALIDRECT);
    desc.dwSize = 0;
    EXPECT_EQ(rgb->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr), DDERR_INVALIDPARAMS);
    rgb->Release();
    yuv->Release();
}

TEST_F(SurfaceTest, FlipSwapsFrontAndBackBuffers) {
    ASSERT_EQ(fill(display.primary, 0x111111), DD_OK);
    ASSERT_EQ(fill(display.back, 0x222222), DD_OK);
    ASSERT_EQ(display.primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    EXPECT_EQ(Locked(display.primary).pixel32(5, 5), 0x222222u);
    EXPECT_EQ(Locked(display.back).pixel32(5, 5), 0x111111u);
    EXPECT_EQ(qzplat::screenSnapshot().at(5, 5), 0x222222u);
    EXPECT_EQ(display.back->Flip(nullptr, 0), DDERR_NOTFLIPPABLE);
    {
        Locked busy(display.back);
        EXPECT_EQ(display.primary->Flip(nullptr, DDFLIP_WAIT), DDERR_SURFACEBUSY);
    }
    IDirectDrawSurface2* plain = offscreen(display.dd2, 8, 8, DDSCAPS_OFFSCREENPLAIN);
    EXPECT_EQ(plain->Flip(nullptr, 0), DDERR_NOTFLIPPABLE);
    DDSCAPS backCaps{DDSCAPS_BACKBUFFER};
    IDirectDrawSurface2* none = nullptr;
    EXPECT_EQ(plain->GetAttachedSurface(&backCaps, &none), DDERR_NOTFOUND);
    plain->Release();
}

TEST_F(SurfaceTest, ColourFillCoversOnlyItsRectangle) {
    ASSERT_EQ(fill(display.back, 0x00123456), DD_OK);
    RECT rect{2, 3, 6, 5};
    ASSERT_EQ(fill(display.back, 1, &rect), DD_OK);
    Locked lock(display.back);
    EXPECT_EQ(lock.pixel32(2, 3), 1u);
    EXPECT_EQ(lock.pixel32(5, 4), 1u);
    EXPECT_EQ(lock.pixel32(6, 4), 0x123456u);
    EXPECT_EQ(lock.pixel32(2, 5), 0x123456u);
    EXPECT_EQ(lock.pixel32(1, 3), 0x123456u);
}

TEST_F(SurfaceTest, BltRejectsRectanglesOutsideTheSurfaceAndBadRecords) {
    RECT offscreenLeft{-4, 0, 10, 10};
    EXPECT_EQ(fill(display.back, 0, &offscreenLeft), DDERR_INVALIDRECT);
    RECT tooWide{600, 0, 641, 10};
    EXPECT_EQ(fill(display.back, 0, &tooWide), DDERR_INVALIDRECT);
    RECT empty{5, 5, 5, 9};
    EXPECT_EQ(fill(display.back, 0, &empty), DDERR_INVALIDRECT);
    DDBLTFX fx{};
    EXPECT_EQ(display.back->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx),
              DDERR_INVALIDPARAMS);
    EXPECT_EQ(display.back->Blt(nullptr, nullptr, nullptr, DDBLT_WAIT, nullptr),
              DDERR_INVALIDPARAMS);
}

TEST_F(SurfaceTest, YuyFillWritesEachPixelItsHalfOfThePair) {
    const DDPIXELFORMAT yuy2 = yuy2Format();
    IDirectDrawSurface2* yuv = offscreen(display.dd2, 8, 2, DDSCAPS_OFFSCREENPLAIN, &yuy2);
    ASSERT_EQ(fill(yuv, 0x80808080), DD_OK);
    RECT odd{3, 0, 4, 1};
    ASSERT_EQ(fill(yuv, 0x44332211, &odd), DD_OK);
    Locked lock(yuv);
    EXPECT_EQ(lock.row(0)[0], 0x80);
    EXPECT_EQ(lock.row(0)[6], 0x33); // Y1 of the second pair
    EXPECT_EQ(lock.row(0)[7], 0x44); // V
    EXPECT_EQ(lock.row(0)[5], 0x80); // U untouched
    EXPECT_EQ(lock.row(1)[15], 0x80);
}

TEST_F(SurfaceTest, StretchingRgbCopyConvertsBetweenLayouts) {
    const DDPIXELFORMAT rgb565 = rgbFormat(16, 0xF800, 0x07E0, 0x001F);
    IDirectDrawSurface2* source =
        offscreen(display.dd2, 2, 2, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY, &rgb565);
    {
        Locked lock(source);
        lock.set16(0, 0, 0xF800); // red
        lock.set16(1, 0, 0x07E0); // green
        lock.set16(0, 1, 0x001F); // blue
        lock.set16(1, 1, 0x8410); // mid grey: 16/31, 32/63, 16/31
    }
    RECT to{10, 20, 14, 24}; // twice as large
    ASSERT_EQ(display.back->Blt(&to, source, nullptr, DDBLT_WAIT, nullptr), DD_OK);
    Locked lock(display.back);
    EXPECT_EQ(lock.pixel32(10, 20), 0xFF0000u);
    EXPECT_EQ(lock.pixel32(11, 21), 0xFF0000u);
    EXPECT_EQ(lock.pixel32(12, 20), 0x00FF00u);
    EXPECT_EQ(lock.pixel32(13, 23), 0x848284u);
    EXPECT_EQ(lock.pixel32(10, 22), 0x0000FFu);
    EXPECT_EQ(lock.pixel32(14, 20), 0u); // outside the destination
    EXPECT_EQ(lock.pixel32(10, 24), 0u);
    source->Release();
}

TEST_F(SurfaceTest, StretchingShrinksAndCopiesASourceRectangle) {
    IDirectDrawSurface2* source = offscreen(display.dd2, 8, 4, DDSCAPS_OFFSCREENPLAIN);
    {
        Locked lock(source);
        for (DWORD y = 0; y < 4; ++y) {
            for (DWORD x = 0; x < 8; ++x) lock.set32(x, y, y << 8 | x);
        }
    }
    RECT from{2, 0, 8, 4};
    RECT to{0, 0, 3, 2};
    ASSERT_EQ(display.back->Blt(&to, source, &from, DDBLT_WAIT, nullptr), DD_OK);
    Locked lock(display.back);
    EXPECT_EQ(lock.pixel32(0, 0), 0x002u);
    EXPECT_EQ(lock.pixel32(1, 0), 0x004u);
    EXPECT_EQ(lock.pixel32(2, 1), 0x206u);
}

TEST_F(SurfaceTest, YuyToRgbBltUsesBt601) {
    const DDPIXELFORMAT yuy2 = yuy2Format();
    IDirectDrawSurface2* yuv =
        offscreen(display.dd2, 4, 1, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY, &yuy2);
    const BYTE bytes[8] = {16, 90, 235, 240, 128, 54, 81, 34}; // Y0 U Y1 V, twice
    {
        Locked lock(yuv);
        std::memcpy(lock.row(0), bytes, sizeof(bytes));
    }
    RECT to{0, 0, 8, 2}; // stretched 2x
    ASSERT_EQ(display.primary->Blt(&to, yuv, nullptr, DDBLT_WAIT, nullptr), DD_OK);
    Locked lock(display.primary);
    expectNear(lock.pixel32(0, 0), referenceYuv(16, 90, 240));
    expectNear(lock.pixel32(3, 1), referenceYuv(235, 90, 240));
    expectNear(lock.pixel32(4, 0), referenceYuv(128, 54, 34));
    expectNear(lock.pixel32(7, 0), referenceYuv(81, 54, 34));
    yuv->Release();
}

TEST_F(SurfaceTest, YuyBltNeedsTheDriversFourCCAndStretchCaps) {
    display.close();
    qzplat::DeviceProfile profile;
    profile.caps = DDCAPS_BLTFOURCC; // converts, but cannot stretch
    qzplat::setDeviceProfiles({profile});
    display.open(640, 480, 16);
    const DDPIXELFORMAT yuy2 = yuy2Format();
    IDirectDrawSurface2* yuv = offscreen(display.dd2, 4, 4, DDSCAPS_OFFSCREENPLAIN, &yuy2);
    ASSERT_EQ(fill(yuv, 0x80FF80FF), DD_OK);
    RECT same{0, 0, 4, 4}, larger{0, 0, 8, 8};
    EXPECT_EQ(display.back->Blt(&larger, yuv, nullptr, DDBLT_WAIT, nullptr), DDERR_NOSTRETCHHW);
    ASSERT_EQ(display.back->Blt(&same, yuv, nullptr, DDBLT_WAIT, nullptr), DD_OK);
    EXPECT_EQ(Locked(display.back).pixel16(1, 1), 0xFFFF); // white in 5-6-5
    yuv->Release();
}

TEST_F(SurfaceTest, YuySurfacesNeedTheFourCCInTheProfile) {
    display.close();
    qzplat::DeviceProfile profile;
    profile.fourCCs = {};
    qzplat::setDeviceProfiles({profile});
    display.open(640, 480, 32);
    DDSURFACEDESC desc = surfaceDesc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT,
                                     DDSCAPS_OFFSCREENPLAIN);
    desc.dwWidth = desc.dwHeight = 16;
    desc.ddpfPixelFormat = yuy2Format();
    IDirectDrawSurface2* surface = nullptr;
    EXPECT_EQ(createSurface2(display.dd2, desc, &surface), DDERR_INVALIDPIXELFORMAT);
    desc.ddpfPixelFormat = rgbFormat(24, 0xFF0000, 0xFF00, 0xFF);
    EXPECT_EQ(createSurface2(display.dd2, desc, &surface), DDERR_INVALIDPIXELFORMAT);
    desc.ddpfPixelFormat = rgbFormat(16, 0xF800, 0x0FE0, 0x001F); // overlapping masks
    EXPECT_EQ(createSurface2(display.dd2, desc, &surface), DDERR_INVALIDPIXELFORMAT);
    desc.dwFlags &= ~DWORD(DDSD_WIDTH);
    EXPECT_EQ(createSurface2(display.dd2, desc, &surface), DDERR_INVALIDPARAMS);
}

TEST_F(SurfaceTest, SelfBltWithOverlapReadsTheOriginalPicture) {
    {
        Locked lock(display.back);
        for (DWORD x = 0; x < 4; ++x) lock.set32(x, 0, x + 1);
    }
    RECT from{0, 0, 3, 1}, to{1, 0, 4, 1};
    ASSERT_EQ(display.back->Blt(&to, display.back, &from, DDBLT_WAIT, nullptr), DD_OK);
    Locked lock(display.back);
    EXPECT_EQ(lock.pixel32(1, 0), 1u);
    EXPECT_EQ(lock.pixel32(2, 0), 2u);
    EXPECT_EQ(lock.pixel32(3, 0), 3u);
}

} // namespace
