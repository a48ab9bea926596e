// Device list, full-screen and window display set-up, teardown, the primary sound format, and
// the start-up's exits: out-of-range devices, a missing back buffer, and the fall back to the
// window when full screen cannot be had.
#include <cstring>

#include "frontend/startup.h"
#include "tests/frontend/frontend_fixture.h"

namespace {

using fronttest::FrontendTest;

qzplat::DeviceProfile profile(const char* name, const char* description, DWORD width, BYTE tag) {
    qzplat::DeviceProfile p;
    p.driverName = name;
    p.description = description;
    p.width = width;
    p.height = width * 3 / 4;
    p.guid = GUID{0x1234, 0x5678, 0x9ABC, {tag, 1, 2, 3, 4, 5, 6, 7}};
    return p;
}

void twoDevices() {
    qzplat::setDeviceProfiles({profile("display", "Primary", 800, 1),
                               profile("second-driver-with-a-very-long-name-indeed",
                                       std::string(100, 'd').c_str(), 1024, 2)});
}

FrontendSettings fullScreenSettings() {
    FrontendSettings settings;
    settings.movieFile = "movie.qz";
    return settings;
}

TEST_F(FrontendTest, DevicesAreListedInOrderWithFieldsCutToSize) {
    twoDevices();
    ASSERT_EQ(listDisplayDevices(), 2);
    const DeviceEntry& first = displayDevice(0);
    const DeviceEntry& second = displayDevice(1);
    EXPECT_EQ(first.guidPointer, nullptr);
    EXPECT_STREQ(first.driverName, "display");
    EXPECT_EQ(second.guidPointer, &second.guid);
    EXPECT_EQ(second.guid.Data4[0], 2);
    EXPECT_EQ(std::strlen(second.driverName), 29u);
    EXPECT_EQ(std::strlen(second.description), 81u);
    EXPECT_EQ(std::string(second.driverName), std::string("second-driver-with-a-very-lon"));
}

TEST_F(FrontendTest, FullScreenOnTheSecondDeviceWithAFlipChainAndCleanTeardown) {
    twoDevices();
    ASSERT_TRUE(createPlayerWindow());
    listDisplayDevices();
    FrontendSettings settings = fullScreenSettings();
    settings.deviceNumber = 2;
    settings.verbose = true;
    testing::internal::CaptureStdout();
    ASSERT_EQ(setupDisplay(settings, &display), DisplayStatus::ready);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Number of Direct Draw Devices = 2 (using Device 2)\n"
                   "Direct Draw Device:second-driver-with-a-very-lon(" +
                       std::string(81, 'd') + ")\n\n");
    ASSERT_NE(display.primarySurface, nullptr);
    ASSERT_NE(display.backSurface, nullptr);
    EXPECT_NE(display.directDraw, nullptr);
    const qzplat::DisplayState mode = qzplat::displayState();
    EXPECT_EQ(mode.width, 640u);
    EXPECT_EQ(mode.height, 480u);
    EXPECT_EQ(mode.bitsPerPixel, 16u);
    EXPECT_TRUE(mode.exclusive);
    releaseDisplay(&display);
    const qzplat::LiveObjects live = qzplat::liveObjects();
    EXPECT_EQ(live.devices, 0);
    EXPECT_EQ(live.surfaces, 0);
    EXPECT_EQ(displayDeviceCount(), 0);
}

TEST_F(FrontendTest, WindowDisplayIsADesktopPrimaryInNormalMode) {
    ASSERT_TRUE(createPlayerWindow());
    listDisplayDevices();
    ASSERT_EQ(setupWindowDisplay(windowSettings(), &display), DisplayStatus::ready);
    EXPECT_EQ(display.backSurface, nullptr);
    EXPECT_FALSE(qzplat::displayState().exclusive);
    EXPECT_EQ(qzplat::displayState().width, 640u);
    releaseDisplay(&display);
    EXPECT_EQ(qzplat::liveObjects().devices, 0);
}

TEST_F(FrontendTest, SetUpThatStopsEarlyLeavesNothingBehind) {
    ASSERT_TRUE(createPlayerWindow());
    listDisplayDevices();
    qzplat::failNextDirectDrawCreate();
    EXPECT_EQ(setupDisplay(fullScreenSettings(), &display), DisplayStatus::stoppedEarly);
    qzplat::failNextSetCooperativeLevel();
    EXPECT_EQ(setupDisplay(fullScreenSettings(), &display), DisplayStatus::stoppedEarly);
    EXPECT_EQ(display.directDraw2, nullptr);
    EXPECT_EQ(display.primarySurface, nullptr);
    EXPECT_EQ(qzplat::liveObjects().devices, 0);
}

TEST_F(FrontendTest, PrimarySoundFormatFollowsTheCardsCapabilities) {
    setupSound(nullptr);
    WAVEFORMATEX format = qzplat::primarySoundFormat();
    EXPECT_EQ(format.nSamplesPerSec, 22050u);
    EXPECT_EQ(format.nChannels, 2);
    EXPECT_EQ(format.wBitsPerSample, 16);
    EXPECT_EQ(format.nBlockAlign, 4);
    EXPECT_EQ(format.nAvgBytesPerSec, 88200u);
    releaseSound();

    qzplat::resetDirectSound();
    qzplat::SoundProfile card;
    card.caps = DSCAPS_PRIMARYMONO | DSCAPS_PRIMARY8BIT;
    qzplat::setSoundProfile(card);
    setupSound(nullptr);
    format = qzplat::primarySoundFormat();
    EXPECT_EQ(format.nChannels, 1);
    EXPECT_EQ(format.wBitsPerSample, 8);
    EXPECT_EQ(format.nBlockAlign, 1);
    EXPECT_EQ(format.nAvgBytesPerSec, 22050u);
    releaseSound();

    qzplat::failNextSoundCreate();
    setupSound(nullptr);
    EXPECT_EQ(frontSoundObject(), nullptr);
    EXPECT_EQ(qzplat::liveSoundObjects().devices, 0);
}

TEST_F(FrontendTest, DeviceNumberOutOfRangeIsReportedWithTheRange) {
    twoDevices();
    for (int number : {0, 3, -1}) {
        FrontendSettings settings = fullScreenSettings();
        settings.deviceNumber = number;
        testing::internal::CaptureStderr();
        EXPECT_EQ(runPlayer(settings), 1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "playqz: -ddraw " + std::to_string(number) +
                      " is out of range: the display devices are 1 to 2\n");
        EXPECT_EQ(qzplat::focusWindow(), nullptr); // checked before any window is made
    }
}

TEST_F(FrontendTest, MissingBackBufferEndsWithExitCodeTwoAndNothingLeft) {
    qzplat::failNextCreateSurface(qzplat::SurfaceKind::primary);
    EXPECT_EQ(runPlayer(fullScreenSettings()), 2);
    EXPECT_EQ(qzplat::liveObjects().devices, 0);
    EXPECT_EQ(qzplat::liveSoundObjects().devices, 0);
    EXPECT_EQ(qzplat::displayState().exclusive, false);
}

TEST_F(FrontendTest, NoFullScreenFallsBackToTheWindow) {
    FrontendSettings settings = fullScreenSettings();
    settings.movieFile = fronttest::writeMovie(8, 0);
    settings.verbose = true;
    qzplat::failNextSetCooperativeLevel();
    testing::internal::CaptureStdout();
    EXPECT_EQ(runPlayer(settings), 0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Full screen is not available; playing in the window\n"), std::string::npos)
        << out;
    EXPECT_NE(out.find(", 8 frames, "), std::string::npos) << out;
    EXPECT_GT(qzplat::presentCount(), 0);
    EXPECT_EQ(qzplat::liveObjects().devices, 0);
}

// -8 shows KRT frames only: any other movie plays at 16 bits with a word on stderr; a KRT
// movie, a missing file and the other depths keep what was asked for.
TEST_F(FrontendTest, EightBitsOnlyForKrtMovies) {
    FrontendSettings settings = fullScreenSettings();
    settings.modeDepth = 8;
    settings.movieFile = fronttest::writeMovie(8, 0);
    const std::string message =
        "playqz: -8 shows KRT movies only; playing " + settings.movieFile + " at 16 bits\n";
    testing::internal::CaptureStderr();
    EXPECT_EQ(chooseModeDepth(settings), 16);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), message);

    FrontendSettings krt = settings;
    ChunkWriter krtMovie;
    krtMovie.chunk("KRTk", Bytes(16, 0));
    krt.movieFile = qztest::writeScratchFile("krt.qz", krtMovie.bytes());
    FrontendSettings missing = settings;
    missing.movieFile = qztest::scratchPath("no-such-movie.qz");
    FrontendSettings deep = settings;
    deep.modeDepth = 32;
    testing::internal::CaptureStderr();
    EXPECT_EQ(chooseModeDepth(krt), 8);
    EXPECT_EQ(chooseModeDepth(missing), 8);
    EXPECT_EQ(chooseModeDepth(deep), 32);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    // The whole start-up: the movie is shown on a 16-bit display.
    testing::internal::CaptureStderr();
    EXPECT_EQ(runPlayer(settings), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), message);
    EXPECT_EQ(playerRecord().pixelFormat.depth, 16);
    EXPECT_GE(playerRecord().frameCount, 8u);
}

TEST_F(FrontendTest, FullScreenPlayReleasesEverything) {
    FrontendSettings settings = fullScreenSettings();
    settings.movieFile = fronttest::writeMovie(8, 1);
    EXPECT_EQ(runPlayer(settings), 0);
    EXPECT_GE(playerRecord().frameCount, 8u);
    const qzplat::LiveObjects live = qzplat::liveObjects();
    EXPECT_EQ(live.devices, 0);
    EXPECT_EQ(live.surfaces, 0);
    EXPECT_EQ(qzplat::liveSoundObjects().devices, 0);
}

} // namespace
