// Vertical blank timing of the stand-in display: waits and page flips land in later blanks on
// a display with a refresh rate, and return at once on one without (the headless default).
#include "tests/platform/ddraw_fixture.h"

using namespace ddtest;

namespace {

using VerticalBlankTest = DDrawTest;

// A fast display, so that waiting for its blanks costs the suite little.
void useRefreshRate(DWORD rate) {
    qzplat::DeviceProfile profile;
    profile.refreshRate = rate;
    qzplat::setDeviceProfiles({profile});
}

TEST_F(VerticalBlankTest, WaitsAndFlipsReturnInALaterBlankThanTheyStartedIn) {
    useRefreshRate(1000);
    Display display;
    display.open(64, 48, 32);
    DWORD frequency = 0;
    EXPECT_EQ(display.dd2->GetMonitorFrequency(&frequency), DD_OK);
    EXPECT_EQ(frequency, 1000u);
    DDSURFACEDESC mode{};
    mode.dwSize = sizeof(mode);
    ASSERT_EQ(display.dd2->GetDisplayMode(&mode), DD_OK);
    EXPECT_EQ(mode.dwRefreshRate, 1000u);
    for (int i = 0; i < 3; ++i) {
        std::uint64_t before = qzplat::verticalBlankNumber();
        EXPECT_EQ(display.dd2->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr), DD_OK);
        EXPECT_GT(qzplat::verticalBlankNumber(), before) << "wait " << i;
    }
    // A flip is shown at the blank after it is made; the flip after it waits until then, so
    // back-to-back flips show one picture a blank. A flip made once the previous one has been
    // shown returns at once, so each flip is checked against the blank its predecessor was
    // made in, not its own.
    std::uint64_t previousMadeIn = qzplat::verticalBlankNumber();
    ASSERT_EQ(display.primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    for (int i = 0; i < 3; ++i) {
        std::uint64_t madeIn = qzplat::verticalBlankNumber();
        ASSERT_EQ(display.primary->Flip(nullptr, DDFLIP_WAIT), DD_OK);
        EXPECT_GT(qzplat::verticalBlankNumber(), previousMadeIn) << "flip " << i;
        previousMadeIn = madeIn;
    }
    display.close();
}

TEST_F(VerticalBlankTest, ADisplayWithoutARefreshRateDoesNotWait) {
    Display display;
    display.open(64, 48, 32);
    DWORD frequency = 0;
    EXPECT_EQ(display.dd2->GetMonitorFrequency(&frequency), DDERR_UNSUPPORTED);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(display.dd2->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr), DD_OK);
        // Without DDFLIP_WAIT a flip still pending would be refused; here none ever is.
        EXPECT_EQ(display.primary->Flip(nullptr, 0), DD_OK);
    }
    EXPECT_EQ(qzplat::verticalBlankNumber(), 0u);
    display.close();
}

} // namespace
