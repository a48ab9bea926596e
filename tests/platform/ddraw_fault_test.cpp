// Fault injection of the stand-in DirectDraw, the failures the player's fallbacks are built
// for: each fault hits the calls it names, as often as asked, and then the device recovers.
#include "tests/platform/ddraw_fixture.h"

using namespace ddtest;

namespace {

struct FaultTest : DDrawTest {
    Display display;
    void SetUp() override {
        DDrawTest::SetUp();
        display.open(320, 240, 32);
    }
    void TearDown() override {
        display.close();
        DDrawTest::TearDown();
    }
    DDSURFACEDESC yuyDesc(DWORD caps) {
        DDSURFACEDESC desc =
            surfaceDesc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT, caps);
        desc.dwWidth = 16;
        desc.dwHeight = 8;
        desc.ddpfPixelFormat = yuy2Format();
        return desc;
    }
};

TEST_F(FaultTest, CreateSurfaceFailsOnlyForTheKindAimedAt) {
    DDSURFACEDESC overlay = yuyDesc(DDSCAPS_OVERLAY);
    DDSURFACEDESC flipping = overlay;
    flipping.dwFlags |= DDSD_BACKBUFFERCOUNT;
    flipping.dwBackBufferCount = 1;
    flipping.ddsCaps.dwCaps |= DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    DDSURFACEDESC yuv = yuyDesc(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY);
    DDSURFACEDESC rgb = surfaceDesc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT, DDSCAPS_OFFSCREENPLAIN);
    rgb.dwWidth = rgb.dwHeight = 8;

    // A driver that refuses the flipping overlay but accepts the single one.
    qzplat::failNextCreateSurface(qzplat::SurfaceKind::overlay, DDERR_OUTOFVIDEOMEMORY);
    IDirectDrawSurface2* surface = nullptr;
    EXPECT_EQ(createSurface2(display.dd2, flipping, &surface), DDERR_OUTOFVIDEOMEMORY);
    ASSERT_EQ(createSurface2(display.dd2, overlay, &surface), DD_OK);
    surface->Release();

    qzplat::failNextCreateSurface(qzplat::SurfaceKind::offscreenYuy2, DDERR_INVALIDPIXELFORMAT, 2);
    ASSERT_EQ(createSurface2(display.dd2, rgb, &surface), DD_OK);
    surface->Release();
    EXPECT_EQ(createSurface2(display.dd2, yuv, &surface), DDERR_INVALIDPIXELFORMAT);
    EXPECT_EQ(createSurface2(display.dd2, yuv, &surface), DDERR_INVALIDPIXELFORMAT);
    ASSERT_EQ(createSurface2(display.dd2, yuv, &surface), DD_OK);
    surface->Release();

    qzplat::failNextCreateSurface(qzplat::SurfaceKind::offscreenRgb, DDERR_OUTOFMEMORY);
    EXPECT_EQ(createSurface2(display.dd2, rgb, &surface), DDERR_OUTOFMEMORY);
    EXPECT_EQ(surface, nullptr);

    EXPECT_EQ(qzplat::surfacesCreated(qzplat::SurfaceKind::overlay), 1);
    EXPECT_EQ(qzplat::surfacesCreated(qzplat::SurfaceKind::offscreenYuy2), 1);
    EXPECT_EQ(qzplat::surfacesCreated(qzplat::SurfaceKind::primary), 1);
}

TEST_F(FaultTest, PrimaryCreationCanFailAfterTheModeIsSet) {
    display.close();
    qzplat::failNextCreateSurface(qzplat::SurfaceKind::primary, DDERR_NOEXCLUSIVEMODE);
    IDirectDraw* dd = nullptr;
    ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
    ASSERT_EQ(dd->SetCooperativeLevel(fakeWindow(), DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
    DDSURFACEDESC desc = surfaceDesc(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE);
    IDirectDrawSurface* primary = nullptr;
    EXPECT_EQ(dd->CreateSurface(&desc, &primary, nullptr), DDERR_NOEXCLUSIVEMODE);
    EXPECT_EQ(dd->CreateSurface(&desc, &primary, nullptr), DD_OK);
    primary->Release();
    dd->Release();
}

TEST_F(FaultTest, DeviceCallsFailWithTheGivenCode) {
    qzplat::failNextDirectDrawCreate(DDERR_NODIRECTDRAWHW);
    IDirectDraw* dd = reinterpret_cast<IDirectDraw*>(&display);
    EXPECT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DDERR_NODIRECTDRAWHW);
    EXPECT_EQ(dd, nullptr);

    qzplat::failNextSetCooperativeLevel(DDERR_EXCLUSIVEMODEALREADYSET);
    EXPECT_EQ(display.dd2->SetCooperativeLevel(fakeWindow(), DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN),
              DDERR_EXCLUSIVEMODEALREADYSET);
    EXPECT_EQ(display.dd2->SetCooperativeLevel(fakeWindow(), DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN),
              DD_OK);

    qzplat::failNextGetFourCCCodes(DDERR_GENERIC);
    DWORD codes[64];
    DWORD count = 64;
    EXPECT_EQ(display.dd2->GetFourCCCodes(&count, codes), DDERR_GENERIC);
    EXPECT_EQ(display.dd2->GetFourCCCodes(&count, codes), DD_OK);

    qzplat::failNextGetCaps(DDERR_GENERIC);
    DDCAPS caps{};
    caps.dwSize = sizeof(caps);
    EXPECT_EQ(display.dd2->GetCaps(&caps, nullptr), DDERR_GENERIC);
    EXPECT_EQ(display.dd2->GetCaps(&caps, nullptr), DD_OK);
}

TEST_F(FaultTest, LocksFailTheNextNTimes) {
    qzplat::failNextLocks(2, DDERR_WASSTILLDRAWING);
    EXPECT_EQ(Locked(display.back).result, DDERR_WASSTILLDRAWING);
    EXPECT_EQ(Locked(display.primary).result, DDERR_WASSTILLDRAWING);
    EXPECT_EQ(Locked(display.back).result, DD_OK);
    qzplat::failNextLocks(1);
    EXPECT_EQ(Locked(display.back).result, DDERR_SURFACEBUSY);
}

TEST_F(FaultTest, FlipFailsWithTheGivenCodeThenSucceeds) {
    qzplat::failNextFlips(DDERR_WASSTILLDRAWING, 3);
    int tries = 0;
    HRESULT hr;
    long presents = qzplat::presentCount();
    while ((hr = display.primary->Flip(nullptr, 0)) == DDERR_WASSTILLDRAWING) ++tries;
    EXPECT_EQ(hr, DD_OK);
    EXPECT_EQ(tries, 3);
    EXPECT_EQ(qzplat::presentCount(), presents + 1);
}

TEST_F(FaultTest, UpdateOverlayAndSourceBltFailWithTheGivenCode) {
    DDSURFACEDESC desc = yuyDesc(DDSCAPS_OVERLAY);
    IDirectDrawSurface2* overlay = nullptr;
    ASSERT_EQ(createSurface2(display.dd2, desc, &overlay), DD_OK);
    qzplat::failNextUpdateOverlay(DDERR_OUTOFCAPS);
    EXPECT_EQ(overlay->UpdateOverlay(nullptr, display.primary, nullptr, DDOVER_SHOW, nullptr),
              DDERR_OUTOFCAPS);
    EXPECT_EQ(overlay->UpdateOverlay(nullptr, display.primary, nullptr, DDOVER_SHOW, nullptr),
              DD_OK);
    overlay->Release();

    desc = yuyDesc(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY);
    IDirectDrawSurface2* yuv = nullptr;
    ASSERT_EQ(createSurface2(display.dd2, desc, &yuv), DD_OK);
    qzplat::failNextSourceBlts(DDERR_GENERIC);
    EXPECT_EQ(fill(display.primary, 0), DD_OK); // colour fills are not aimed at
    EXPECT_EQ(display.primary->Blt(nullptr, yuv, nullptr, DDBLT_WAIT, nullptr), DDERR_GENERIC);
    EXPECT_EQ(display.primary->Blt(nullptr, yuv, nullptr, DDBLT_WAIT, nullptr), DD_OK);
    yuv->Release();
}

TEST_F(FaultTest, LostSurfacesRefuseWorkUntilRestored) {
    qzplat::loseSurface(display.back);
    // Losing a member loses the whole flip chain.
    EXPECT_EQ(display.primary->IsLost(), DDERR_SURFACELOST);
    EXPECT_EQ(display.back->IsLost(), DDERR_SURFACELOST);
    EXPECT_EQ(Locked(display.back).result, DDERR_SURFACELOST);
    EXPECT_EQ(display.primary->Flip(nullptr, 0), DDERR_SURFACELOST);
    EXPECT_EQ(fill(display.back, 0), DDERR_SURFACELOST);
    ASSERT_EQ(display.primary->Restore(), DD_OK);
    EXPECT_EQ(display.back->IsLost(), DD_OK);
    EXPECT_EQ(Locked(display.back).result, DD_OK);
}

TEST_F(FaultTest, RestoreCanFailBeforeItSucceeds) {
    IDirectDrawSurface2* plain = offscreen(display.dd2, 8, 8, DDSCAPS_OFFSCREENPLAIN);
    qzplat::loseAllSurfaces(2, DDERR_WRONGMODE);
    EXPECT_EQ(plain->IsLost(), DDERR_SURFACELOST);
    EXPECT_EQ(display.back->Restore(), DDERR_WRONGMODE);
    EXPECT_EQ(display.back->Restore(), DDERR_WRONGMODE);
    EXPECT_EQ(display.back->Restore(), DD_OK);
    EXPECT_EQ(display.primary->IsLost(), DD_OK);
    EXPECT_EQ(plain->Restore(), DDERR_WRONGMODE);
    plain->Release();
}

TEST_F(FaultTest, AModeChangeLosesThePrimaryForGood) {
    IDirectDrawSurface2* plain = offscreen(display.dd2, 8, 8, DDSCAPS_OFFSCREENPLAIN);
    ASSERT_EQ(display.dd2->SetDisplayMode(640, 480, 16, 0, 0), DD_OK);
    EXPECT_EQ(display.primary->IsLost(), DDERR_SURFACELOST);
    EXPECT_EQ(display.primary->Restore(), DDERR_WRONGMODE);
    EXPECT_EQ(plain->Restore(), DD_OK);
    plain->Release();
}

TEST_F(FaultTest, ResetClearsArmedFaults) {
    qzplat::failNextLocks(5);
    qzplat::failNextFlips(DDERR_GENERIC, 5);
    display.close();
    qzplat::resetDirectDraw();
    display.open(320, 240, 32);
    EXPECT_EQ(Locked(display.back).result, DD_OK);
    EXPECT_EQ(display.primary->Flip(nullptr, 0), DD_OK);
}

} // namespace
