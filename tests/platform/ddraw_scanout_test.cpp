// The stand-in's scan-out: what the composed screen shows (palettes, overlays with a
// destination colour key) and when a present is counted.
#include <atomic>
#include <thread>

#include "tests/platform/ddraw_fixture.h"

using namespace ddtest;

namespace {

using ScanoutTest = DDrawTest;

// A YUY2 overlay of width x height filled with one colour.
IDirectDrawSurface2* makeOverlay(IDirectDraw2* dd, DWORD width, DWORD height, DWORD pair,
                                 bool flipping = false) {
    DDSURFACEDESC desc =
        surfaceDesc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT, DDSCAPS_OVERLAY);
    desc.dwWidth = width;
    desc.dwHeight = height;
    desc.ddpfPixelFormat = yuy2Format();
    if (flipping) {
        desc.dwFlags |= DDSD_BACKBUFFERCOUNT;
        desc.dwBackBufferCount = 1;
        desc.ddsCaps.dwCaps |= DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    }
    IDirectDrawSurface2* overlay = nullptr;
    EXPECT_EQ(createSurface2(dd, desc, &overlay), DD_OK);
    if (overlay) {
        EXPECT_EQ(fill(overlay, pair), DD_OK);
    }
    return overlay;
}

DDOVERLAYFX keyedEffects(DWORD key) {
    DDOVERLAYFX fx{};
    fx.dwSize = sizeof(fx);
    fx.dckDestColorkey = {key, key};
    return fx;
}

TEST_F(ScanoutTest, EightBitPrimaryScansOutThroughItsPalette) {
    Display display;
    display.open(320, 200, 8);
    PALETTEENTRY entries[256]{};
    entries[7] = {10, 20, 30, 0};
    IDirectDrawPalette* palette = nullptr;
    ASSERT_EQ(
        display.dd2->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &palette, nullptr),
        DD_OK);
    ASSERT_EQ(display.primary->SetPalette(palette), DD_OK);
    RECT rect{0, 0, 4, 4};
    ASSERT_EQ(fill(display.back, 7, &rect), DD_OK);
    ASSERT_EQ(display.primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    qzplat::ScreenImage screen = qzplat::screenSnapshot();
    ASSERT_EQ(screen.width, 320u);
    ASSERT_EQ(screen.height, 200u);
    EXPECT_EQ(screen.at(1, 1), 0x0A141Eu);
    EXPECT_EQ(screen.at(5, 5), 0u);
    long presents = qzplat::presentCount();
    PALETTEENTRY bright{200, 100, 50, 0};
    ASSERT_EQ(palette->SetEntries(0, 7, 1, &bright), DD_OK);
    EXPECT_EQ(qzplat::screenSnapshot().at(1, 1), 0xC86432u);
    EXPECT_EQ(qzplat::presentCount(), presents); // a palette change is no new picture
    EXPECT_EQ(palette->SetEntries(0, 255, 2, entries), DDERR_INVALIDPARAMS);

    DDPIXELFORMAT format{};
    format.dwSize = sizeof(format);
    display.primary->GetPixelFormat(&format);
    EXPECT_EQ(format.dwRGBBitCount, 8u);
    palette->Release(); // the primary still holds it
    ASSERT_EQ(fill(display.primary, 7), DD_OK);
    EXPECT_EQ(qzplat::screenSnapshot().at(100, 100), 0xC86432u);
    display.close();
    EXPECT_EQ(qzplat::liveObjects().palettes, 0);
}

TEST_F(ScanoutTest, SixteenBitScreensExpandToFullRange) {
    qzplat::DeviceProfile profile;
    profile.format = qzplat::DisplayFormat::rgb555;
    qzplat::setDeviceProfiles({profile});
    Display display;
    display.open(64, 48, 16, false);
    ASSERT_EQ(fill(display.primary, 0x7C1F), DD_OK); // red and blue full on
    EXPECT_EQ(qzplat::screenSnapshot().at(63, 47), 0xFF00FFu);
    display.close();
}

TEST_F(ScanoutTest, OverlayShowsStretchedWhereThePrimaryHoldsTheKey) {
    Display display;
    display.open(64, 48, 32);
    IDirectDrawSurface2* overlay = makeOverlay(display.dd2, 8, 4, 0x80FF80FF); // white
    ASSERT_TRUE(overlay);
    ASSERT_EQ(fill(display.primary, 0x102030), DD_OK);
    RECT keyArea{10, 10, 20, 14};
    ASSERT_EQ(fill(display.primary, 1, &keyArea), DD_OK);
    RECT source{0, 0, 8, 4}, dest{8, 8, 24, 16}; // 2x
    DDOVERLAYFX fx = keyedEffects(1);
    long presents = qzplat::presentCount();
    ASSERT_EQ(overlay->UpdateOverlay(&source, display.primary, &dest,
                                     DDOVER_SHOW | DDOVER_KEYDESTOVERRIDE, &fx),
              DD_OK);
    EXPECT_EQ(qzplat::presentCount(), presents + 1);
    qzplat::ScreenImage screen = qzplat::screenSnapshot();
    EXPECT_EQ(screen.at(10, 10), 0xFFFFFFu); // key colour inside the overlay: overlay
    EXPECT_EQ(screen.at(19, 13), 0xFFFFFFu);
    EXPECT_EQ(screen.at(8, 8), 0x102030u); // inside the overlay, no key: primary
    EXPECT_EQ(screen.at(20, 10), 0x102030u);

    // Without a key the overlay covers its whole rectangle.
    ASSERT_EQ(overlay->UpdateOverlay(&source, display.primary, &dest, DDOVER_SHOW, nullptr), DD_OK);
    EXPECT_EQ(qzplat::screenSnapshot().at(8, 8), 0xFFFFFFu);
    EXPECT_EQ(qzplat::screenSnapshot().at(24, 8), 0x102030u);

    // Hiding brings the primary back, key colour included.
    ASSERT_EQ(overlay->UpdateOverlay(nullptr, nullptr, nullptr, DDOVER_HIDE, nullptr), DD_OK);
    EXPECT_EQ(qzplat::screenSnapshot().at(10, 10), 0x000001u);
    overlay->Release();
    display.close();
}

TEST_F(ScanoutTest, OverlayReachingPastTheScreenIsClipped) {
    Display display;
    display.open(32, 16, 32, false);
    IDirectDrawSurface2* overlay = makeOverlay(display.dd2, 16, 8, 0x80008000); // black
    RECT dest{-8, -4, 40, 20};
    DDOVERLAYFX fx{};
    fx.dwSize = sizeof(fx);
    fx.dwDDFX = DDOVERFX_ARITHSTRETCHY;
    ASSERT_EQ(fill(display.primary, 0x123456), DD_OK);
    ASSERT_EQ(
        overlay->UpdateOverlay(nullptr, display.primary, &dest, DDOVER_SHOW | DDOVER_DDFX, &fx),
        DD_OK);
    EXPECT_EQ(qzplat::screenSnapshot().at(0, 0), 0u);
    EXPECT_EQ(qzplat::screenSnapshot().at(31, 15), 0u);
    RECT extreme{-2147483647, -5, 2147483647, 2147483647};
    EXPECT_EQ(overlay->UpdateOverlay(nullptr, display.primary, &extreme, DDOVER_SHOW, nullptr),
              DD_OK);
    EXPECT_EQ(qzplat::screenSnapshot().at(31, 15), 0u);
    DDOVERLAYFX unsized{};
    EXPECT_EQ(overlay->UpdateOverlay(nullptr, display.primary, &dest, DDOVER_SHOW | DDOVER_DDFX,
                                     &unsized),
              DDERR_INVALIDPARAMS);
    EXPECT_EQ(
        display.primary->UpdateOverlay(nullptr, display.primary, nullptr, DDOVER_SHOW, nullptr),
        DDERR_NOTAOVERLAYSURFACE);
    overlay->Release();
    display.close();
}

TEST_F(ScanoutTest, FlippingOverlayShowsItsNewFrontAndSingleOverlayShowsEachUnlock) {
    Display display;
    display.open(64, 48, 16);
    IDirectDrawSurface2* overlay = makeOverlay(display.dd2, 4, 4, 0x80008000, true);
    DDSCAPS caps{DDSCAPS_BACKBUFFER};
    IDirectDrawSurface2* back = nullptr;
    ASSERT_EQ(overlay->GetAttachedSurface(&caps, &back), DD_OK);
    ASSERT_EQ(fill(back, 0x80FF80FF), DD_OK);
    ASSERT_EQ(overlay->UpdateOverlay(nullptr, display.primary, nullptr, DDOVER_SHOW, nullptr),
              DD_OK);
    EXPECT_EQ(qzplat::screenSnapshot().at(30, 30), 0u);
    ASSERT_EQ(overlay->Flip(nullptr, 0), DD_OK);
    EXPECT_EQ(qzplat::screenSnapshot().at(30, 30), 0xFFFFFFu);
    back->Release();
    overlay->Release();

    IDirectDrawSurface2* single = makeOverlay(display.dd2, 4, 4, 0x80008000);
    ASSERT_EQ(single->UpdateOverlay(nullptr, display.primary, nullptr, DDOVER_SHOW, nullptr),
              DD_OK);
    long presents = qzplat::presentCount();
    {
        Locked lock(single);
        std::memset(lock.row(0), 0xFF, 8); // white top row: Y 255, chroma 255
    }
    EXPECT_EQ(qzplat::presentCount(), presents + 1);
    EXPECT_NE(qzplat::screenSnapshot().at(0, 0), 0u);
    single->Release();
    display.close();
}

TEST_F(ScanoutTest, PresentsAreCountedForVisibleChangesOnly) {
    Display display;
    display.open(64, 48, 32);
    long start = qzplat::presentCount();
    fill(display.back, 5);                       // hidden: no present
    display.primary->Flip(nullptr, DDFLIP_WAIT); // 1
    fill(display.primary, 6);                    // 2
    { Locked lock(display.primary); }            // 3
    { Locked lock(display.back); }               // hidden
    IDirectDrawSurface2* plain = offscreen(display.dd2, 4, 4, DDSCAPS_OFFSCREENPLAIN);
    display.primary->Blt(nullptr, plain, nullptr, DDBLT_WAIT, nullptr); // 4
    EXPECT_EQ(qzplat::presentCount() - start, 4);
    EXPECT_EQ(qzplat::screenSnapshot().at(63, 47), 0u); // the stretched black surface
    EXPECT_EQ(display.dd2->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr), DD_OK);
    EXPECT_EQ(qzplat::verticalBlankWaits(), 1);
    plain->Release();
    display.close();
}

struct RecordingSink : qzplat::ScanoutSink {
    int counted = 0, uncounted = 0;
    void present(const qzplat::ScreenImage&, bool isCounted) override {
        (isCounted ? counted : uncounted) += 1;
    }
};

TEST_F(ScanoutTest, AnExtraSinkSeesEveryComposition) {
    RecordingSink sink;
    qzplat::setScanoutSink(&sink);
    Display display;
    display.open(64, 48, 8);
    PALETTEENTRY entries[256]{};
    IDirectDrawPalette* palette = nullptr;
    display.dd2->CreatePalette(DDPCAPS_8BIT, entries, &palette, nullptr);
    display.primary->SetPalette(palette);
    display.primary->Flip(nullptr, 0);
    EXPECT_EQ(sink.counted, 1);
    EXPECT_EQ(sink.uncounted, 1);
    qzplat::setScanoutSink(nullptr);
    palette->Release();
    display.close();
}

// The play thread locks, writes and flips while another thread polls the device; the TSan
// build checks that the two meet only under the device's lock.
TEST_F(ScanoutTest, PlayThreadAndFrontEndThreadShareTheDevice) {
    Display display;
    display.open(64, 48, 32);
    std::atomic<bool> done{false};
    std::thread play([&] {
        for (DWORD frame = 1; frame <= 200; ++frame) {
            {
                Locked lock(display.back);
                if (lock.result == DD_OK) {
                    for (DWORD y = 0; y < 48; ++y) {
                        for (DWORD x = 0; x < 64; ++x) lock.set32(x, y, frame);
                    }
                }
            }
            while (display.primary->Flip(nullptr, DDFLIP_WAIT) == DDERR_SURFACEBUSY) {
            }
        }
        done = true;
    });
    // At least one poll, even when the play thread is through before this thread first looks.
    int polls = 0;
    do {
        EXPECT_EQ(display.primary->IsLost(), DD_OK);
        qzplat::ScreenImage screen = qzplat::screenSnapshot();
        if (!screen.pixels.empty()) {
            EXPECT_EQ(screen.at(0, 0), screen.at(63, 47));
        }
        ++polls;
    } while (!done);
    play.join();
    EXPECT_EQ(qzplat::screenSnapshot().at(10, 10), 200u);
    EXPECT_GT(polls, 0);
    display.close();
}

} // namespace
