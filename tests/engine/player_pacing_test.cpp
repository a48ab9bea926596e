// Pacing of a movie without audio: one frame slot a vertical blank of the display, or the
// rate the caller gives in framesPerSecond.
#include <gtest/gtest.h>
#include <vector>

#include "engine/player.h"
#include "tests/engine/player_movies.h"

using playertest::blankConfig;
using playertest::waitFor;
using playertest::writeMovie;

namespace {

std::vector<std::uint64_t> blanksAtFrames; // written on the play thread, read after the play

int noteBlank() {
    blanksAtFrames.push_back(qzplat::verticalBlankNumber());
    return 0;
}

// A display device refreshing rate times a second, in normal mode with no primary surface:
// the movie's frames are consumed undecoded, and the display still paces them.
struct PacedDisplay {
    IDirectDraw* dd = nullptr;
    IDirectDraw2* dd2 = nullptr;
    explicit PacedDisplay(DWORD rate) {
        qzplat::DeviceProfile profile;
        profile.refreshRate = rate;
        qzplat::setDeviceProfiles({profile});
        EXPECT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
        EXPECT_EQ(dd->QueryInterface(IID_IDirectDraw2, reinterpret_cast<void**>(&dd2)), DD_OK);
        EXPECT_EQ(dd2->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
        // The blank counter follows the screen's device, which a primary makes the screen.
        DDSURFACEDESC desc{};
        desc.dwSize = sizeof(desc);
        desc.dwFlags = DDSD_CAPS;
        desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        IDirectDrawSurface* primary = nullptr;
        EXPECT_EQ(dd2->CreateSurface(&desc, &primary, nullptr), DD_OK);
        if (primary) primary->Release();
    }
    ~PacedDisplay() {
        if (dd2) dd2->Release();
        if (dd) dd->Release();
        qzplat::resetDirectDraw();
    }
};

TEST(PlayerPacing, MovieWithoutAudioShowsOneFrameSlotAVerticalBlank) {
    PacedDisplay display(1000);
    const std::string path = writeMovie({.slots = 12});
    PlayerConfig config = blankConfig(ownThread | audioOn | waitVerticalBlank | frameCallbackGiven);
    config.directDraw2 = display.dd2;
    config.frameCallback = noteBlank;
    blanksAtFrames.clear();
    ASSERT_EQ(playerOpen(path.c_str(), nullptr, &config), &config);
    ASSERT_TRUE(waitFor([&] { return playerIsPlaying(&config) == 0; }));
    EXPECT_EQ(config.frameCount, 12u);
    ASSERT_EQ(blanksAtFrames.size(), 12u);
    for (std::size_t i = 1; i < blanksAtFrames.size(); ++i)
        EXPECT_GT(blanksAtFrames[i], blanksAtFrames[i - 1]) << "frame " << i;
}

TEST(PlayerPacing, FramesPerSecondSetsTheRateOfAMovieWithoutAudio) {
    PacedDisplay display(1000);
    const std::string path = writeMovie({.slots = 10});
    PlayerConfig config = blankConfig(ownThread | audioOn | waitVerticalBlank);
    config.directDraw2 = display.dd2;
    config.framesPerSecond = 200;
    const long waits = qzplat::verticalBlankWaits();
    ASSERT_EQ(playerOpen(path.c_str(), nullptr, &config), &config);
    ASSERT_TRUE(waitFor([&] { return playerIsPlaying(&config) == 0; }));
    EXPECT_EQ(config.frameCount, 10u);
    // Slot 9 is due 45 ms after the start; the clock, not the display, paced the slots.
    EXPECT_GE(config.elapsedMs, 45u);
    EXPECT_EQ(qzplat::verticalBlankWaits(), waits);
}

} // namespace
