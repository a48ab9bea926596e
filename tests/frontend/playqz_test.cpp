// The playqz program: banner, usage, messages and exit codes as a user sees them, and the
// settings, flags word and statistics line behind them.
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <thread>
#include <chrono>

#include "api/shared.h"
#include "engine/context.h"
#include "frontend/options.h"
#include "frontend/play.h"
#include "frontend/seek_keys.h"
#include "tests/frontend/frontend_fixture.h"
#include "tests/frontend/playqz_run.h"
#include "tests/support/test_support.h"

namespace {

using playqztest::banner;
using playqztest::playqz;
using playqztest::usage;

std::string videoMovie(int frames) {
    ChunkWriter movie;
    for (int i = 0; i < frames; ++i) movie.chunk("MQZf", Bytes(24, static_cast<std::uint8_t>(i)));
    movie.chunk("SEND", {});
    // Relative: an argument that starts with '/' is an option to playqz.
    return std::filesystem::relative(qztest::writeScratchFile("movie.qz", movie.bytes())).string();
}

FrontendSettings parse(const std::vector<std::string>& args) {
    return parseCommandLine(args).settings;
}

} // namespace

TEST(PlayqzProgram, UsageCases) {
    struct Case {
        std::vector<std::string> args;
        std::string err;
        int exitCode;
    };
    const Case cases[] = {
        {{}, "", 0},
        {{"-verbose"}, "", 0},
        {{"-h", "movie.qz"}, "", 0},
        {{"-?"}, "", 0},
        {{"movie.qz", "--help"}, "", 0},
        {{"/loop", "movie.qz"}, "unknown option /loop\n", 1},
        {{"/loop", "-bogus", "movie.qz"}, "unknown option /loop\nunknown option -bogus\n", 1},
        // The file name is taken as the number, which it is not, and no file name is left.
        {{"-xres", "movie.qz"}, "playqz: -xres needs a number, not \"movie.qz\"\n", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? std::string("(none)") : c.args.front());
        const auto result = playqz(c.args);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.out, banner + usage);
        EXPECT_EQ(result.err, c.err);
    }
}

TEST(PlayqzProgram, MissingFileIsReportedAndExitsOne) {
    const auto result = playqz({"-window", "nofile.qz"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, banner + "Failed to start movie:nofile.qz (check filename?)\n");
    EXPECT_EQ(result.err, "playqz: cannot open nofile.qz: No such file or directory\n");
}

TEST(PlayqzProgram, TheLastFileNameIsPlayed) {
    const std::string movie = videoMovie(12);
    const auto missingLast = playqz({movie, "second.qz"});
    EXPECT_EQ(missingLast.out, banner + "Failed to start movie:second.qz (check filename?)\n");

    const auto played = playqz({"-verbose", "first.qz", movie});
    EXPECT_EQ(played.exitCode, 0);
    ASSERT_EQ(played.out.compare(0, banner.size(), banner), 0);
    const std::string stats = played.out.substr(banner.size());
    // Full screen with -verbose names the display device first.
    EXPECT_TRUE(std::regex_match(stats, std::regex("Number of Direct Draw Devices = 1 \\(using "
                                                   "Device 1\\)\nDirect Draw Device:[^\n]*\n\n"
                                                   "\\d+\\.\\d\\d seconds, 12 frames, "
                                                   "\\d+\\.\\d{6} fps\n")))
        << stats;
}

TEST(PlayqzProgram, EightBitsWithAMovieThatIsNotKrtSaysSoAndPlays) {
    const std::string movie = videoMovie(12);
    const auto played = playqz({"-8", "-verbose", movie});
    EXPECT_EQ(played.exitCode, 0);
    EXPECT_EQ(played.err, "playqz: -8 shows KRT movies only; playing " + movie + " at 16 bits\n");
    EXPECT_NE(played.out.find(", 12 frames, "), std::string::npos) << played.out;
    const auto missing = playqz({"-8", "nofile.qz"});
    EXPECT_EQ(missing.out, banner + "Failed to start movie:nofile.qz (check filename?)\n");
    EXPECT_EQ(missing.err, "playqz: cannot open nofile.qz: No such file or directory\n");
}

TEST(PlayqzProgram, ATrackTheMovieLacksIsNamedAndTrackOnePlays) {
    const std::string movie = fronttest::writeMovie(6, 2);
    const auto beyond = playqz({"-track", "3", movie});
    EXPECT_EQ(beyond.exitCode, 0);
    EXPECT_EQ(beyond.err,
              "playqz: -track 3: the movie has 2 audio tracks (1 to 2); playing track 1\n");
    const auto within = playqz({"-track", "2", movie});
    EXPECT_EQ(within.exitCode, 0);
    EXPECT_EQ(within.err, "");
}

TEST(PlayqzOptions, NumbersAndFlagsReachTheSettings) {
    const FrontendSettings s =
        parse({"-xres", "800",    "-yres", " +600x",   "-xsize", "-3",     "-ysize",
               "0abc",  "-gamma", "70",    "-track",   "2",      "-ddraw", "3",
               "-32",   "-8",     "-loop", "-noaudio", "-start", "12",     "m.qz"});
    EXPECT_EQ(s.modeWidth, 800);
    EXPECT_EQ(s.modeHeight, 600);
    EXPECT_TRUE(s.stretchXWanted);
    EXPECT_EQ(s.stretchWidth, -3);
    EXPECT_TRUE(s.stretchYWanted);
    EXPECT_EQ(s.stretchHeight, 0);
    EXPECT_EQ(s.gammaSetting, 70);
    EXPECT_TRUE(s.trackWanted);
    EXPECT_EQ(s.trackSetting, 2);
    EXPECT_EQ(s.deviceNumber, 3);
    EXPECT_EQ(s.startSeconds, 12);
    EXPECT_EQ(s.modeDepth, 8);
    EXPECT_EQ(s.movieFile, "m.qz");
    EXPECT_EQ(parseDecimal("99999999999"), 2147483647);
    EXPECT_EQ(parseDecimal("-99999999999"), -2147483647 - 1);

    const FrontendSettings defaults = parse({"m.qz"});
    EXPECT_EQ(defaults.modeWidth, 640);
    EXPECT_EQ(defaults.modeHeight, 480);
    EXPECT_EQ(defaults.modeDepth, 16);
    EXPECT_EQ(defaults.gammaSetting, 100);
    EXPECT_EQ(defaults.deviceNumber, 1);
    EXPECT_TRUE(defaults.doubleBuffered);
}

TEST(PlayqzOptions, AbsolutePathsAreMoviesAndSlashWordsOptions) {
    EXPECT_EQ(parse({"/tmp/movies/demo.qz"}).movieFile, "/tmp/movies/demo.qz");
    const ParsedCommandLine loop = parseCommandLine({"/loop", "m.qz"});
    EXPECT_EQ(loop.unknownOptions, std::vector<std::string>{"/loop"});
    EXPECT_EQ(loop.settings.movieFile, "m.qz");

    // An absolute path plays; the message names the file, not an option.
    const std::string missing = std::filesystem::absolute(qztest::scratchPath("no.qz")).string();
    const qztest::CommandResult run = playqz({missing});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.find("unknown option"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("Failed to start movie:" + missing + " (check filename?)\n"),
              std::string::npos);
}

TEST(PlayqzOptions, FlagsWord) {
    EXPECT_EQ(playerFlagsFor(parse({"-window", "-software", "-noaudio", "m.qz"})), 0x71140Cu);
    const FrontendSettings full = parse({"m.qz"});
    EXPECT_EQ(playerFlagsFor(full),
              0x71140Cu | audioOn | hardwareYuv | fullScreen | 0x1000000u | pageFlip);
    EXPECT_EQ(allowedModesFor(full), 7u);
    EXPECT_EQ(allowedModesFor(parse({"-software", "m.qz"})), 1u);
    EXPECT_EQ(playerFlagsFor(parse({"-nodoublebuffer", "m.qz"})) & (pageFlip | fullScreen),
              fullScreen);

    for (const auto& order : {std::vector<std::string>{"-skipy", "-doubley", "m.qz"},
                              std::vector<std::string>{"-doubley", "-skipy", "m.qz"}}) {
        const DWORD flags = playerFlagsFor(parse(order));
        EXPECT_EQ(flags & (skipY | doubleY), skipY);
    }
    const DWORD options =
        playerFlagsFor(parse({"-doublex", "-xsize", "1", "-ysize", "2", "-loop", "-track", "1",
                              "-window", "-software", "-noaudio", "m.qz"}));
    EXPECT_EQ(options, 0x71140Cu | doubleX | stretchX | stretchY | loopPlay | trackGiven);
}

TEST(PlayqzOptions, RecordFilledForAPlay) {
    DisplayObjects display;
    display.backSurface = reinterpret_cast<IDirectDrawSurface2*>(0x1000);
    PlayerConfig config{};
    config.frameCount = 99;
    fillPlayerConfig(parse({"-gamma", "80", "-xsize", "320", "-track", "2", "m.qz"}), display,
                     &config);
    EXPECT_EQ(config.frameCount, 0u);
    EXPECT_EQ(config.gamma, 80);
    EXPECT_EQ(config.stretchWidth, 320);
    EXPECT_EQ(config.track, 2);
    EXPECT_EQ(config.allowedModes, 7u);
    EXPECT_EQ(config.backSurface, display.backSurface);
    EXPECT_EQ(config.directSound, nullptr);
    EXPECT_EQ(config.volume, 0);
    EXPECT_NE(config.flags & volumeGiven, 0u);

    fillPlayerConfig(parse({"-window", "-volume", "10", "m.qz"}), display, &config);
    EXPECT_EQ(config.flags & (fullScreen | pageFlip | 0x1000000u), 0u);
    EXPECT_EQ(config.backSurface, nullptr);
    EXPECT_EQ(config.volume, -2000);
}

TEST(PlayqzOptions, StatisticsLine) {
    EXPECT_EQ(statisticsLine(1050, 21), "1.05 seconds, 21 frames, 20.000000 fps\n");
    EXPECT_EQ(statisticsLine(12345, 100), "12.34 seconds, 100 frames, 8.100446 fps\n");
    EXPECT_EQ(statisticsLine(0, 5), "0.00 seconds, 5 frames, 0.000000 fps\n");
}

// The seek keys move from the slot shown (or the one a pending seek goes to) by time, at the
// movie's slot rate, or by a tenth of the movie, and stay within the movie.
TEST(PlayqzOptions, SeekKeysMoveByTimeAndByTenthsWithinTheMovie) {
    const PlayerTimeline at100{100, 150, 15000}; // 15 slots a second
    EXPECT_EQ(seekKeyTarget(VK_LEFT, at100), 25);
    EXPECT_EQ(seekKeyTarget(VK_RIGHT, at100), 149);
    EXPECT_EQ(seekKeyTarget(VK_DOWN, at100), 0);
    EXPECT_EQ(seekKeyTarget(VK_UP, at100), 149);
    EXPECT_EQ(seekKeyTarget(VK_HOME, at100), 0);
    EXPECT_EQ(seekKeyTarget(VK_PRIOR, at100), 85);
    EXPECT_EQ(seekKeyTarget(VK_NEXT, at100), 115);
    const PlayerTimeline long60{1000, 100000, 30000};
    EXPECT_EQ(seekKeyTarget(VK_RIGHT, long60), 1150);
    EXPECT_EQ(seekKeyTarget(VK_UP, long60), 2800);
    for (WPARAM key : {WPARAM{VK_SHIFT}, WPARAM{VK_SPACE}, WPARAM{VK_ESCAPE}, WPARAM{VK_F1}})
        EXPECT_EQ(seekKeyTarget(key, at100), -1) << key;
    EXPECT_EQ(seekKeyTarget(VK_HOME, PlayerTimeline{0, 0, 15000}), -1); // nothing to move in
}

// A seek key reaches the playing movie through the key path, and a paused movie stays paused
// showing the slot it went to.
TEST(PlayqzOptions, SeekKeysReachAPausedMovie) {
    PlayerConfig config{};
    config.flags = ownThread;
    config.framesPerSecond = 15;
    ASSERT_EQ(playerOpen(videoMovie(300).c_str(), nullptr, &config), &config);
    ASSERT_EQ(playerPause(&config), 1);
    const auto shownAfter = [&](WPARAM key) {
        const LONG done = sharedLoad(config.context->seeksDone);
        EXPECT_EQ(actOnKey(key, &config), PumpResult::carryOn);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (sharedLoad(config.context->seeksDone) == done &&
               std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        PlayerTimeline timeline{};
        EXPECT_EQ(playerTimeline(&config, &timeline), 0);
        return timeline.slot;
    };
    EXPECT_EQ(shownAfter(VK_HOME), 0);
    EXPECT_EQ(shownAfter(VK_RIGHT), 75);
    EXPECT_EQ(shownAfter(VK_NEXT), 105);
    EXPECT_EQ(shownAfter(VK_LEFT), 30);
    EXPECT_EQ(sharedLoad(config.state), statePaused);
    EXPECT_EQ(playerStop(&config), 0);
}
