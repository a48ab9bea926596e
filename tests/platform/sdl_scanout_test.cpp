// The SDL scan-out on SDL's offscreen video driver: the device profiles it makes from SDL's
// displays, and a window that draws every screen presented while its thread sleeps, however
// seldom it pumps messages.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/platform/ddraw_fixture.h"

using namespace ddtest;

namespace {

LRESULT CALLBACK plainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

struct SdlScanoutTest : DDrawTest {
    HWND window = nullptr;
    void SetUp() override {
        DDrawTest::SetUp();
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        // Software drawing: no GL library, whose driver keeps allocations to the end and is
        // unloaded before the leak check can name it.
        setenv("SDL_RENDER_DRIVER", "software", 1);
        setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 1);
        if (!qzplat::useSdlWindows()) GTEST_SKIP() << qzplat::lastWindowError();
        WNDCLASSA wc{};
        wc.lpfnWndProc = plainProc;
        wc.lpszClassName = "scan-out test";
        ASSERT_NE(RegisterClassA(&wc), 0);
        window = CreateWindowExA(0, "scan-out test", "scan-out test", WS_POPUP | WS_VISIBLE, 0, 0,
                                 320, 240, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr) << qzplat::lastWindowError();
    }
    void TearDown() override {
        qzplat::resetWindows();
        unsetenv("SDL_VIDEODRIVER");
        unsetenv("SDL_RENDER_DRIVER");
        unsetenv("SDL_FRAMEBUFFER_ACCELERATION");
        DDrawTest::TearDown();
    }
};

TEST_F(SdlScanoutTest, DisplaysOfferStretchingYuvOverlaysAndBlitsAndARefreshRate) {
    IDirectDraw* dd = nullptr;
    IDirectDraw2* dd2 = nullptr;
    ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
    ASSERT_EQ(dd->QueryInterface(IID_IDirectDraw2, reinterpret_cast<void**>(&dd2)), DD_OK);
    DDCAPS caps{};
    caps.dwSize = sizeof(caps);
    ASSERT_EQ(dd2->GetCaps(&caps, nullptr), DD_OK);
    const DWORD yuv = DDCAPS_OVERLAY | DDCAPS_OVERLAYFOURCC | DDCAPS_OVERLAYSTRETCH |
                      DDCAPS_BLTFOURCC | DDCAPS_BLTSTRETCH;
    EXPECT_EQ(caps.dwCaps & yuv, yuv);
    DWORD codes[8]{};
    DWORD count = 8;
    ASSERT_EQ(dd2->GetFourCCCodes(&count, codes), DD_OK);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(codes[0], qzplat::fourCCYuy2);
    DWORD frequency = 0;
    EXPECT_EQ(dd2->GetMonitorFrequency(&frequency), DD_OK);
    EXPECT_GT(frequency, 0u);
    dd2->Release();
    dd->Release();
}

// Another thread presents, each time waiting until the window has drawn the screen, while the
// window thread only sleeps: every present must be drawn during those sleeps.
TEST_F(SdlScanoutTest, EveryScreenPresentedWhileTheWindowThreadSleepsIsDrawn) {
    IDirectDraw* dd = nullptr;
    IDirectDraw2* dd2 = nullptr;
    ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
    ASSERT_EQ(dd->QueryInterface(IID_IDirectDraw2, reinterpret_cast<void**>(&dd2)), DD_OK);
    ASSERT_EQ(dd2->SetCooperativeLevel(window, DDSCL_NORMAL), DD_OK);
    IDirectDrawSurface2* primary = nullptr;
    ASSERT_EQ(createSurface2(dd2, surfaceDesc(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE), &primary), DD_OK);
    const qzplat::ScanoutCounts start = qzplat::sdlScanoutCounts();
    constexpr long presents = 30;
    std::atomic<bool> done{false};
    std::atomic<long> undrawn{0};
    std::thread play([&] {
        for (long i = 1; i <= presents; ++i) {
            fill(primary, DWORD(i));
            // Bounded only so that a broken scan-out fails instead of hanging the suite.
            auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (qzplat::sdlScanoutCounts().drawn - start.drawn < i &&
                   std::chrono::steady_clock::now() < limit)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (qzplat::sdlScanoutCounts().drawn - start.drawn < i) {
                ++undrawn;
                break;
            }
        }
        done = true;
    });
    while (!done) Sleep(200);
    play.join();
    const qzplat::ScanoutCounts end = qzplat::sdlScanoutCounts();
    EXPECT_EQ(undrawn.load(), 0);
    EXPECT_EQ(end.received - start.received, presents);
    EXPECT_EQ(end.drawn - start.drawn, presents);
    primary->Release();
    dd2->Release();
    dd->Release();
}

// With the window gone (closed, or the program told to end) a screen presented has nowhere to
// be drawn: the window thread's sleeps still end, so the program can stop its movie.
TEST_F(SdlScanoutTest, SleepsEndWhenThereIsNoWindowToDrawIn) {
    IDirectDraw* dd = nullptr;
    IDirectDraw2* dd2 = nullptr;
    ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
    ASSERT_EQ(dd->QueryInterface(IID_IDirectDraw2, reinterpret_cast<void**>(&dd2)), DD_OK);
    ASSERT_EQ(dd2->SetCooperativeLevel(window, DDSCL_NORMAL), DD_OK);
    IDirectDrawSurface2* primary = nullptr;
    ASSERT_EQ(createSurface2(dd2, surfaceDesc(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE), &primary), DD_OK);
    ASSERT_TRUE(DestroyWindow(window));
    fill(primary, 7);
    for (int i = 0; i < 3; ++i) Sleep(20);
    EXPECT_EQ(qzplat::sdlScanoutCounts().received, qzplat::sdlScanoutCounts().drawn + 1);
    primary->Release();
    dd2->Release();
    dd->Release();
}

} // namespace
