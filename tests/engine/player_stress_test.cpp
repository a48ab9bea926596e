// Many movies in one process, and control calls from other threads while one plays: nothing
// leaks or grows, every object is released, and the sanitizer builds (ASan with its leak check
// at exit, TSan) find nothing to report.
#include <atomic>
#include <cstddef>
#include <gtest/gtest.h>
#include <malloc.h>
#include <thread>

#include "engine/player.h"
#include "tests/engine/player_sound_support.h"
#include "tests/support/test_support.h"

#if QZ_TEST_SANITIZED
// The sanitizer runtimes' count of bytes allocated and not freed (their own allocator's).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

using playertest::blankConfig;
using playertest::waitFor;
using namespace soundtest;

namespace {

// Bytes allocated and not yet freed. A sanitizer's allocator keeps its own count; glibc's
// statistics would not see its blocks.
std::size_t heapInUse() {
#if QZ_TEST_SANITIZED
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

bool closed(PlayerConfig& config) {
    return sharedLoad(config.state) == stateClosed && sharedLoad(config.context) == nullptr;
}

struct Movies {
    std::string sound, video;
};

// Plays a movie on this thread to its end: through playerOpen, which returns null because the
// movie has closed itself, or through playerCreate and playerStart, closed with playerClose.
void playThrough(const std::string& path, bool open) {
    PlayerConfig config = blankConfig(audioOn);
    config.framesPerSecond = 1000;
    if (open) {
        EXPECT_EQ(playerOpen(path.c_str(), nullptr, &config), nullptr);
    } else {
        ASSERT_EQ(playerCreate(path.c_str(), nullptr, &config), &config);
        EXPECT_EQ(playerStart(&config), 1);
        EXPECT_EQ(playerClose(&config), 0);
    }
    EXPECT_EQ(config.frameCount, 12u);
    EXPECT_TRUE(closed(config));
}

// Opens a movie on a thread of its own, lets it show a few frames and stops it, or lets it
// play to its end; opened with playerOpen (it closes itself) or with playerCreate and
// playerStart (closed with playerClose). A movie with sound is stopped once its first frame
// is shown, while its loop waits for the next slot's sound a buffer's length away.
void playThreaded(const std::string& path, bool open, bool sound, bool toTheEnd) {
    PlayerConfig config = blankConfig(ownThread | audioOn);
    config.framesPerSecond = 200;
    if (open) {
        ASSERT_EQ(playerOpen(path.c_str(), nullptr, &config), &config);
    } else {
        ASSERT_EQ(playerCreate(path.c_str(), nullptr, &config), &config);
        ASSERT_EQ(playerStart(&config), 0);
    }
    if (toTheEnd) {
        ASSERT_TRUE(waitFor([&] { return playerIsPlaying(&config) == 0; }));
        EXPECT_GE(config.frameCount, 12u);
    } else {
        const DWORD shown = sound ? 1 : 3;
        ASSERT_TRUE(waitFor([&] {
            return sharedLoad(config.frameCount) >= shown || playerIsPlaying(&config) == 0;
        }));
        EXPECT_EQ(playerStop(&config), 0);
    }
    if (!open) {
        EXPECT_EQ(playerClose(&config), 0);
    }
    EXPECT_TRUE(closed(config));
}

// One cycle, as the front end's replay key makes them (open, play, stop, open again): every
// way of opening, ending and closing in turn. One cycle in ten plays the movie with sound.
void playCycle(const Movies& movies, int cycle) {
    const bool sound = cycle % 20 == 0 || cycle % 20 == 5;
    const bool open = cycle % 2 == 0;
    if (!sound && cycle % 4 >= 2) {
        playThrough(movies.video, open);
        return;
    }
    const bool toTheEnd = sound ? cycle % 200 == 100 : cycle % 8 == 1;
    playThreaded(sound ? movies.sound : movies.video, open, sound, toTheEnd);
}

class PlayerStress : public SoundTest {};

} // namespace

TEST_F(PlayerStress, AThousandOpenPlayStopCyclesLeakNothingAndDoNotGrow) {
    const Movies movies{
        qztest::writeScratchFile("stress_sound.qz",
                                 qztest::readFileBytes(writeSoundMovie({.slots = 12}))),
        writeSoundMovie({.slots = 12, .audio = false})};
    constexpr int cycles = 1000;
    constexpr int warmUp = 100;
    std::size_t afterWarmUp = 0;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        SCOPED_TRACE(cycle);
        playCycle(movies, cycle);
        ASSERT_FALSE(HasFailure());
        const qzplat::LiveSound live = qzplat::liveSoundObjects();
        ASSERT_EQ(live.devices, 0);
        ASSERT_EQ(live.buffers, 0);
        // The loudspeaker's record of each buffer is the test's, not the player's: dropped.
        qzplat::resetDirectSound();
        if (cycle + 1 == warmUp) afterWarmUp = heapInUse();
    }
    // A context, a ring or a sound object kept per cycle would add hundreds of kilobytes over
    // the last 900 cycles; what the allocator keeps for itself varies by far less.
    const std::size_t atEnd = heapInUse();
    EXPECT_LT(atEnd, afterWarmUp + 256 * 1024) << "after warm-up " << afterWarmUp;
}

TEST_F(PlayerStress, ControlCallsFromTwoThreadsWhileAMoviePlaysLoopsAndEnds) {
    constexpr int pausingRounds = 400;
    Screen screen;
    const SoundMovie movie{.slots = 8, .tracks = 2};
    const std::string path = writeSoundMovie(movie);
    for (bool loop : {true, false}) {
        SCOPED_TRACE(loop ? "looping, then stopped" : "ending by itself");
        PlayerConfig config = blankConfig(ownThread | audioOn | (loop ? loopPlay : 0));
        screen.attach(config);
        config.gamma = 100;
        ASSERT_EQ(playerOpen(path.c_str(), nullptr, &config), &config);
        std::atomic<bool> done{false};
        std::atomic<int> pausing{2};
        // Every control call there is, over and over; for the first few hundred rounds also a
        // pause and a resume now and then.
        const auto control = [&](int seed) {
            for (int i = seed; !done.load(); ++i) {
                if (i == seed + pausingRounds) --pausing;
                if (i % 40 == 0 && i < seed + pausingRounds) {
                    playerPause(&config);
                    playerPause(&config);
                }
                switch (i % 5) {
                case 0:
                    playerSetGamma(&config, 50 + i % 100);
                    break;
                case 1:
                    playerSetTrack(&config, i % 4);
                    break;
                case 2:
                    playerSetVolume(&config, -(i % 3000));
                    break;
                case 3:
                    playerSetFrequency(&config, 22050 + i % 500);
                    break;
                default:
                    playerIsPlaying(&config);
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        };
        std::thread first(control, 0);
        std::thread second(control, 22);
        // Two threads toggling pause may leave the movie paused (a toggle that meets the loop
        // between two state writes of its own counts the other way): once they have stopped
        // pausing, a movie found paused is resumed. A resume also plays the buffer looping
        // again, so pauses without end would keep the sound from ever playing out.
        const auto resumed = [&] {
            if (pausing.load() == 0 && sharedLoad(config.state) == statePaused)
                playerPause(&config);
        };
        if (loop) {
            // Two laps and more, then a stop under the other threads' calls.
            EXPECT_TRUE(waitFor(
                [&] {
                    resumed();
                    return sharedLoad(config.frameCount) >= 3u * movie.slots;
                },
                60000));
            EXPECT_EQ(playerStop(&config), 0);
        }
        // The limit only catches a hang.
        EXPECT_TRUE(waitFor(
            [&] {
                resumed();
                return playerIsPlaying(&config) == 0;
            },
            60000));
        done.store(true);
        first.join();
        second.join();
        EXPECT_TRUE(closed(config));
    }
}
