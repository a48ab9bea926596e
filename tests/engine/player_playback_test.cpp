// Opening, playing, pausing, stopping and closing movies through the player calls, on the play
// thread and on the caller's thread.
#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

#include "engine/player.h"
#include "tests/engine/player_movies.h"

using playertest::blankConfig;
using playertest::MovieShape;
using playertest::waitFor;
using playertest::writeMovie;

namespace {

constexpr DWORD threaded = ownThread | audioOn;

std::atomic<int> callbackCalls{0};
std::atomic<int> callbackLimit{0};

// Counts the frames handed over; asks to end once the limit is reached (0: never).
int countingCallback() {
    const int calls = ++callbackCalls;
    return callbackLimit.load() != 0 && calls >= callbackLimit.load() ? 1 : 0;
}

void useCallback(PlayerConfig& config, int limit) {
    callbackCalls = 0;
    callbackLimit = limit;
    config.flags |= frameCallbackGiven;
    config.frameCallback = countingCallback;
}

bool closed(PlayerConfig& config) {
    return sharedLoad(config.state) == stateClosed && sharedLoad(config.context) == nullptr;
}

} // namespace

TEST(PlayerPlayback, VideoOnlyMoviePlaysEveryFrameAndClosesItself) {
    const std::string path = writeMovie({.slots = 30});
    PlayerConfig config = blankConfig(threaded);
    ASSERT_EQ(playerOpen(path.c_str(), nullptr, &config), &config);
    ASSERT_TRUE(waitFor([&] { return playerIsPlaying(&config) == 0; }));
    EXPECT_TRUE(closed(config));
    EXPECT_EQ(config.frameCount, 30u);
    EXPECT_EQ(config.hasAudio, 0);
    EXPECT_EQ(playerStop(&config), 0); // after the end: returns at once
}

TEST(PlayerPlayback, WithoutOwnThreadOpenPlaysToTheEndAndReturnsNull) {
    const std::string path = writeMovie({.slots = 25});
    PlayerConfig config = blankConfig(audioOn);
    EXPECT_EQ(playerOpen(path.c_str(), nullptr, &config), nullptr);
    EXPECT_TRUE(closed(config));
    EXPECT_EQ(config.frameCount, 25u);
}

TEST(PlayerPlayback, AudioMoviesPaceOnTheClockAndEnd) {
    const MovieShape shapes[] = {
        {.slots = 12, .audio = true},
        {.slots = 12, .audio = true, .codec = audioCodecIma},
        {.slots = 12, .video = false, .audio = true},
    };
    for (const MovieShape& shape : shapes) {
        SCOPED_TRACE(testing::Message() << "codec " << shape.codec << " video " << shape.video);
        PlayerConfig config = blankConfig(threaded);
        ASSERT_EQ(playerOpen(writeMovie(shape).c_str(), nullptr, &config), &config);
        EXPECT_EQ(config.audioOnly, shape.video ? 0 : 1);
        ASSERT_TRUE(waitFor([&] { return playerIsPlaying(&config) == 0; }));
        EXPECT_TRUE(closed(config));
        // Every video frame is shown. An audio-only movie paces one slot per audio block and,
        // without a sound buffer to play out, ends once its last block is handed over: the
        // audioLead slots (32768 / (1470 * 4) = 5) still in the buffer are not counted.
        EXPECT_GE(config.frameCount, shape.video ? 12u : 12u - 5u);
        // Twelve slots at 15 a second are paced on the sound, not played back to back.
        EXPECT_GE(config.elapsedMs, 300u);
    }
}

TEST(PlayerPlayback, PausingTwiceResumesAndStopEndsAPausedMovie) {
    PlayerConfig config = blankConfig(threaded);
    ASSERT_EQ(playerOpen(writeMovie({.slots = 150, .audio = true}).c_str(), nullptr, &config),
              &config);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(playerPause(&config), 1);
    EXPECT_EQ(playerIsPlaying(&config), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    const DWORD held = sharedLoad(config.frameCount);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(sharedLoad(config.frameCount), held);
    EXPECT_EQ(playerPause(&config), 0);
    ASSERT_TRUE(waitFor([&] { return sharedLoad(config.frameCount) > held; }));

    EXPECT_EQ(playerPause(&config), 1);
    EXPECT_EQ(playerStop(&config), 0);
    EXPECT_TRUE(closed(config));
    EXPECT_EQ(playerIsPlaying(&config), 0);
}

TEST(PlayerPlayback, StopFromAnotherThreadWhilePacing) {
    PlayerConfig config = blankConfig(threaded);
    ASSERT_EQ(playerOpen(writeMovie({.slots = 150, .audio = true}).c_str(), nullptr, &config),
              &config);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    std::thread stopper([&] { playerStop(&config); });
    stopper.join();
    EXPECT_TRUE(closed(config));
    EXPECT_LT(config.frameCount, 150u);
}

TEST(PlayerPlayback, FrameCallbackEndsPlaybackLeavingItsFrameQueued) {
    PlayerConfig config = blankConfig(audioOn);
    useCallback(config, 3);
    ASSERT_EQ(playerCreate(writeMovie({.slots = 10}).c_str(), nullptr, &config), &config);
    EXPECT_EQ(playerStart(&config), 1);
    EXPECT_EQ(config.state, stateStopped);
    EXPECT_EQ(callbackCalls.load(), 3);
    EXPECT_EQ(config.frameCount, 2u);
    PlayerContext* ctx = config.context;
    ASSERT_NE(ctx, nullptr);
    EXPECT_NE(ctx->frameTable[ctx->frameReadIndex % queueSlots].payload, nullptr);
    EXPECT_EQ(playerStop(&config), 0); // the loop has ended: returns at once
    EXPECT_EQ(playerClose(&config), 0);
    EXPECT_TRUE(closed(config));
}

TEST(PlayerPlayback, QueueRunningDryBeforeTheEndOfDataDoesNotEndTheMovie) {
    // Twenty frames fill the read-ahead, then a long stretch of skipped chunks lets the queue
    // run empty while five more frames are still to come.
    ChunkWriter movie;
    for (int i = 0; i < 20; ++i) movie.chunk("MQZf", Bytes(16, 1));
    for (int i = 0; i < 30; ++i) movie.chunk("SCCl", Bytes(4, 0));
    for (int i = 0; i < 5; ++i) movie.chunk("MQZf", Bytes(16, 2));
    movie.chunk("SEND", {});
    PlayerConfig config = blankConfig(audioOn);
    useCallback(config, 0);
    EXPECT_EQ(
        playerOpen(qztest::writeScratchFile("dry.qz", movie.bytes()).c_str(), nullptr, &config),
        nullptr);
    EXPECT_EQ(callbackCalls.load(), 25);
    EXPECT_GT(config.frameCount, 25u);
}

TEST(PlayerPlayback, LoopingMoviePlaysOnUntilStopped) {
    PlayerConfig config = blankConfig(threaded | loopPlay);
    useCallback(config, 0);
    ASSERT_EQ(playerOpen(writeMovie({.slots = 5}).c_str(), nullptr, &config), &config);
    ASSERT_TRUE(waitFor([] { return callbackCalls.load() > 12; }));
    EXPECT_EQ(playerIsPlaying(&config), 1);
    EXPECT_EQ(playerStop(&config), 0);
    EXPECT_TRUE(closed(config));
}

// Bytes that hold no movie (text, zeros, only ignored chunks, a directory, an endless device)
// end the play at once instead of reading, or looping over, nothing for ever.
TEST(PlayerPlayback, BytesWithoutAMovieEndThePlayEvenWhenLooping) {
    ChunkWriter ignored;
    for (int i = 0; i < 4; ++i) ignored.chunk("SCCl", Bytes(40, 1));
    ignored.chunk("SEND", {});
    const std::string text = "Not a movie.\nJust a few lines of text.\n";
    std::vector<std::string> paths = {
        qztest::writeScratchFile("text.txt", Bytes(text.begin(), text.end())),
        qztest::writeScratchFile("zeros.bin", Bytes(100000, 0)),
        qztest::writeScratchFile("ignored.qz", ignored.bytes()),
        std::filesystem::path(qztest::scratchPath("x")).parent_path().string(),
    };
    if (std::filesystem::exists("/dev/zero")) paths.push_back("/dev/zero");
    for (const std::string& path : paths) {
        for (DWORD loop : {DWORD{0}, loopPlay}) {
            SCOPED_TRACE(path + (loop != 0 ? " looping" : ""));
            // Without ownThread the open plays on this thread and returns at the end.
            PlayerConfig config = blankConfig(audioOn | loop);
            EXPECT_EQ(playerOpen(path.c_str(), nullptr, &config), nullptr);
            EXPECT_LE(config.frameCount, 1u);
            EXPECT_EQ(config.context, nullptr);
        }
    }
}

TEST(PlayerPlayback, MissingFileGivesNullAndNoContext) {
    PlayerConfig config = blankConfig(threaded);
    EXPECT_EQ(playerOpen(qztest::scratchPath("absent.qz").c_str(), nullptr, &config), nullptr);
    EXPECT_EQ(config.context, nullptr);
    EXPECT_EQ(playerIsPlaying(&config), 0);
    EXPECT_EQ(playerStop(&config), 0);
    EXPECT_EQ(playerClose(&config), 0);
}

TEST(PlayerPlayback, SetTrackKeepsTheTrackOutsideTheFilesTracks) {
    ChunkWriter movie;
    movie.chunk("SCHl", streamHeaderPayload(defaultAudioFormat));
    movie.chunk("SCHl", streamHeaderPayload(defaultAudioFormat));
    movie.chunk("MQZf", Bytes(16, 0));
    movie.chunk("SEND", {});
    PlayerConfig config = blankConfig(threaded);
    ASSERT_EQ(playerCreate(qztest::writeScratchFile("tracks.qz", movie.bytes()).c_str(), nullptr,
                           &config),
              &config);
    EXPECT_EQ(config.trackCount, 2);
    EXPECT_EQ(config.track, 1);
    EXPECT_EQ(playerSetTrack(&config, 0), 1);
    EXPECT_EQ(playerSetTrack(&config, 3), 1);
    EXPECT_EQ(config.track, 1);
    EXPECT_EQ(playerSetTrack(&config, 2), 0);
    EXPECT_EQ(config.track, 2);
    EXPECT_EQ(playerSetGamma(&config, 140), 0);
    EXPECT_EQ(config.gamma, 140);
    EXPECT_EQ(config.state, stateOpen);
    EXPECT_EQ(playerIsPlaying(&config), 0);
    EXPECT_EQ(playerStop(&config), 0); // never started: nothing to wait for
    EXPECT_EQ(playerClose(&config), 0);
    EXPECT_TRUE(closed(config));
    EXPECT_STREQ(playerVersion(), "1.60");
}

TEST(PlayerPlayback, ThreadsThatCannotStart) {
    const std::string path = writeMovie({.slots = 5, .audio = true});
    {
        SCOPED_TRACE("play thread");
        PlayerConfig config = blankConfig(threaded);
        ASSERT_EQ(playerCreate(path.c_str(), nullptr, &config), &config);
        qzplat::failNextThreadStarts(1);
        EXPECT_EQ(playerStart(&config), -1);
        EXPECT_EQ(config.state, stateOpen);
        EXPECT_NE(config.context, nullptr);
        EXPECT_EQ(playerClose(&config), 0);
        EXPECT_TRUE(closed(config));
    }
    {
        SCOPED_TRACE("open");
        PlayerConfig config = blankConfig(threaded);
        qzplat::failNextThreadStarts(1);
        EXPECT_EQ(playerOpen(path.c_str(), nullptr, &config), nullptr);
        EXPECT_TRUE(closed(config));
    }
    {
        SCOPED_TRACE("feeder thread");
        PlayerConfig config = blankConfig(audioOn);
        ASSERT_EQ(playerCreate(path.c_str(), nullptr, &config), &config);
        qzplat::failNextThreadStarts(1);
        EXPECT_EQ(playerStart(&config), 1);
        EXPECT_EQ(config.state, stateStopped);
        EXPECT_EQ(config.frameCount, 0u);
        EXPECT_EQ(playerClose(&config), 0);
        EXPECT_EQ(config.elapsedMs, 0u);
    }
}
