// Every DirectSound failure the sound output meets: set-up failures fall back to the simulated
// clock, a lost buffer is restored, one that stays lost has its blocks dropped while the
// movie plays on and can still be stopped, and a sound card unplugged mid-movie leaves it
// playing to its end.
#include <atomic>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>

#include "engine/player.h"
#include "tests/engine/player_sound_support.h"

using playertest::blankConfig;
using playertest::waitFor;
using namespace soundtest;

namespace {

class PlayerSoundFaults : public SoundTest {};

// Plays the movie on this thread; the context stays for the test to read until it closes it.
struct SyncPlay {
    PlayerConfig config = blankConfig(audioOn);
    PlayerContext* ctx = nullptr;

    explicit SyncPlay(const std::string& path, IDirectSound* directSound = nullptr) {
        config.directSound = directSound;
        EXPECT_EQ(playerCreate(path.c_str(), nullptr, &config), &config);
        ctx = config.context;
        EXPECT_EQ(playerStart(&config), 1);
        EXPECT_EQ(config.state, stateStopped);
    }
    ~SyncPlay() { playerClose(&config); }
};

} // namespace

TEST_F(PlayerSoundFaults, EverySetUpFailureFallsBackToTheSimulatedClock) {
    const SoundMovie movie{.slots = 8};
    const std::string path = writeSoundMovie(movie);
    const struct {
        const char* name;
        std::function<void()> arm;
        std::size_t buffersMade;
    } faults[] = {
        {"DirectSoundCreate", [] { qzplat::failNextSoundCreate(); }, 0},
        {"SetCooperativeLevel", [] { qzplat::failNextSoundCooperativeLevel(); }, 0},
        {"CreateSoundBuffer", [] { qzplat::failNextSoundBufferCreate(); }, 0},
        {"GetCaps", [] { qzplat::failNextSoundGetCaps(); }, 1},
        {"Play", [] { qzplat::failNextSoundPlay(); }, 1},
    };
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.name);
        qzplat::resetDirectSound();
        fault.arm();
        SyncPlay play(path);
        EXPECT_EQ(play.ctx->noSoundDevice, 1);
        EXPECT_EQ(play.ctx->audioStarted, 1);
        EXPECT_EQ(play.config.soundBuffer, nullptr);
        EXPECT_GE(play.config.frameCount, 8u);
        EXPECT_EQ(qzplat::heardSounds().size(), fault.buffersMade);
    }
}

TEST_F(PlayerSoundFaults, ACallersDeviceWithoutCooperativeLevelIsSimulatedAndKept) {
    IDirectSound* device = nullptr;
    ASSERT_EQ(DirectSoundCreate(nullptr, &device, nullptr), DS_OK);
    {
        SyncPlay play(writeSoundMovie({.slots = 6}), device);
        EXPECT_EQ(play.ctx->ownsDirectSound, 0);
        EXPECT_EQ(play.ctx->noSoundDevice, 1);
    }
    // Not released by the engine: the caller still holds its only reference.
    EXPECT_EQ(qzplat::liveSoundObjects().devices, 1);
    EXPECT_EQ(device->Release(), 0u);
}

TEST_F(PlayerSoundFaults, ALostBufferIsRestoredAndNothingIsLost) {
    const SoundMovie movie{.slots = 12};
    qzplat::failNextSoundLocks(3);
    SyncPlay play(writeSoundMovie(movie));
    EXPECT_EQ(play.ctx->noSoundDevice, 0);
    EXPECT_EQ(play.ctx->audioChunksDropped, 0);
    EXPECT_TRUE(audible(lastHeard()) == trackBytes(movie, 1));
}

TEST_F(PlayerSoundFaults, ABufferThatStaysLostLosesItsBlocksButPlaybackGoesOn) {
    const SoundMovie movie{.slots = 10};
    qzplat::failNextSoundLocks(1 << 30);
    SyncPlay play(writeSoundMovie(movie));
    EXPECT_EQ(play.ctx->audioChunksDropped, 10);
    EXPECT_GE(play.config.frameCount, 10u);
    EXPECT_TRUE(audible(lastHeard()).empty());
}

TEST_F(PlayerSoundFaults, StopIsAnsweredWhileTheBufferStaysLost) {
    qzplat::failNextSoundLocks(1 << 30);
    PlayerConfig config = blankConfig(ownThread | audioOn);
    ASSERT_EQ(playerOpen(writeSoundMovie({.slots = 200}).c_str(), nullptr, &config), &config);
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    EXPECT_EQ(playerStop(&config), 0);
    EXPECT_EQ(sharedLoad(config.state), stateClosed);
}

namespace {

// Frames the play loop has decoded, and those of them it showed: a frame that comes more than
// two slots late is decoded but not shown, which a loaded machine may cause at any time.
PlayerConfig* countedMovie = nullptr;
std::atomic<int> framesDecoded{0};
std::atomic<int> framesShown{0};

int countFrame() {
    ++framesDecoded;
    if (sharedLoad(countedMovie->framesBehind) <= 2) ++framesShown;
    return 0;
}

} // namespace

TEST_F(PlayerSoundFaults, ASoundCardUnpluggedMidMovieLeavesItPlayingToItsEnd) {
    // SDL's dummy driver plays the card; the stand-in then takes it away as an unplugging does.
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    qzplat::setSoundBackEnd(qzplat::SoundBackEnd::sdl);
    const SoundMovie movie{.slots = 30};
    const std::string path = writeSoundMovie(movie);
    Screen screen;
    PlayerConfig config = blankConfig(ownThread | audioOn | frameCallbackGiven);
    screen.attach(config);
    config.frameCallback = countFrame;
    countedMovie = &config;
    ASSERT_EQ(playerCreate(path.c_str(), nullptr, &config), &config);
    unsetenv("SDL_AUDIODRIVER");
    PlayerContext* ctx = config.context;
    if (ctx->noSoundDevice != 0 || !qzplat::soundCardOpen()) {
        playerClose(&config);
        GTEST_SKIP() << "SDL's dummy sound driver did not open";
    }
    const long presentsBefore = qzplat::presentCount();
    ASSERT_EQ(playerStart(&config), 0);
    ASSERT_TRUE(waitFor([&] { return sharedLoad(config.frameCount) >= 10; }));
    qzplat::removeSoundCard();
    EXPECT_FALSE(qzplat::soundCardOpen());
    const LONG clockAtRemoval = sharedLoad(ctx->audioClock);
    const std::uint64_t heardAtRemoval = qzplat::soundBytesHeardNow();
    // The limit only catches a hang: the movie lasts two seconds.
    ASSERT_TRUE(waitFor([&] { return playerIsPlaying(&config) == 0; }, 60000));
    EXPECT_EQ(sharedLoad(config.state), stateStopped);
    // Every frame decoded, and every one not given up for lateness presented once; the slots
    // counted go on while the last sound plays out.
    EXPECT_EQ(framesDecoded.load(), 30);
    EXPECT_EQ(qzplat::presentCount() - presentsBefore, framesShown.load());
    EXPECT_GE(config.frameCount, 30u);
    EXPECT_GT(sharedLoad(ctx->audioClock), clockAtRemoval);
    // The buffer played on, by the clock, until the last block had been heard.
    EXPECT_GT(qzplat::heardSounds().at(0).total, heardAtRemoval);
    EXPECT_EQ(ctx->noSoundDevice, 0);
    playerClose(&config);
}
