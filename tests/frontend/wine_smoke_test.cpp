// playqz.exe, the Windows build on the real DirectDraw and DirectSound, run under Wine on a
// private X server: its texts against the native build's, the picture on screen against the
// decoded frames, Escape, and the statistics line against the movie's length with and without
// a sound device. Run by scripts/wine_smoke.sh, which builds the .exe, prepares the Wine prefix
// and the sound server and names the .exe in QZ_WINE_PLAYQZ_EXE; skipped without it.
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <regex>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "tests/frontend/x_frames.h"
#include "tests/frontend/x_session.h"
#include "tests/support/test_support.h"

#ifndef QZ_QZTOOL_PATH
#define QZ_QZTOOL_PATH ""
#endif

namespace {

// SetDisplayMode(640, 480, 16) needs a screen at least that large; the movie's 320x240 then
// sits 1:1 at the centre of the screen, in full screen as in the window.
constexpr int screenWidth = 640;
constexpr int screenHeight = 480;
// 16-bit RGB (or a YUY2 overlay) against the decoder's 32-bit output of the same frame.
constexpr double psnrFloor = 30.0;
// The statistics may run a little long: start-up of the sound buffer and its play-out.
constexpr double secondsEarly = 0.5;
constexpr double secondsLate = 3.5;
// Escape must end the program about at once; Wine's own shutdown takes part of this.
constexpr int escapeLimitMs = 5000;
constexpr int pictureLimitMs = 90000; // Wine's start-up on a loaded machine is slow
constexpr int playLimitMs = 120000;
// The window's first title, or the one that shows the movie's time once it plays (an extended
// regular expression, as xdotool takes it).
const char* const windowTitle = "^(Play QZ v1\\.60$|.* - (frame )?[0-9:]+ / [0-9:]+)";
// A sound server address that does not exist: DirectSoundCreate finds no device.
const char* const noSoundServer = "PULSE_SERVER=unix:/nonexistent/pulse/native";

using xtest::Match;
using xtest::Picture;

void pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string withoutCarriageReturns(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

// True when every line ends with CR LF, as a Windows program's text output does.
bool allLinesCrLf(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
    }
    return text.find('\n') != std::string::npos;
}

std::string onPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path != nullptr ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        std::string candidate = dir + "/" + name;
        if (std::system(("test -x '" + candidate + "'").c_str()) == 0) return candidate;
    }
    return {};
}

std::string readText(const std::string& path) {
    Bytes bytes = qztest::readFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

struct Statistics {
    bool found = false;
    double seconds = 0;
    long frames = 0;
};

Statistics statisticsOf(const std::string& out) {
    static const std::regex line(R"(^(\d+)\.(\d\d) seconds, (\d+) frames, [0-9.]+ fps$)");
    std::stringstream lines(withoutCarriageReturns(out));
    Statistics stats;
    for (std::string text; std::getline(lines, text);) {
        std::smatch m;
        if (std::regex_match(text, m, line)) {
            stats = {true, std::stod(m[1].str()) + std::stod(m[2].str()) / 100.0,
                     std::stol(m[3].str())};
        }
    }
    return stats;
}

class PlayqzExeOnWine : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* exeEnv = std::getenv("QZ_WINE_PLAYQZ_EXE");
        if (exeEnv == nullptr || *exeEnv == '\0')
            GTEST_SKIP() << "QZ_WINE_PLAYQZ_EXE is not set: scripts/wine_smoke.sh runs these";
        exe = exeEnv;
        wine = onPath("wine");
        ASSERT_FALSE(wine.empty()) << "wine is not installed";
        ASSERT_FALSE(std::string(QZ_QZTOOL_PATH).empty()) << "qztool is not built";
        std::string missing;
        ASSERT_TRUE(xtest::programsInstalled({"Xvfb", "xdotool", "xwd", "convert"}, &missing))
            << missing << " is not installed";
        movie = xtest::demoMovie();
        ASSERT_FALSE(movie.empty()) << "qztool demo failed";
        ASSERT_TRUE(frames.load(movie, 100));
    }

    void TearDown() override {
        player.kill();
        session.reset();
    }

    void startSession() {
        // A Wine server outlives its last program by a few seconds, and the desktop it keeps
        // belongs to the display that program had (none, for the text checks). A program started
        // on it then draws its full screen there, not on this session's screen, and hangs.
        const std::string server = onPath("wineserver");
        ASSERT_FALSE(server.empty()) << "wineserver is not installed";
        qztest::runProgram(server, {"-k"});
        qztest::runProgram(server, {"-w"});
        session = std::make_unique<xtest::XSession>(screenWidth, screenHeight);
        ASSERT_TRUE(session->started()) << "Xvfb did not start";
    }

    // The movie's length in seconds, from its audio track.
    double movieSeconds() {
        qztest::CommandResult info = qztest::runProgram(QZ_QZTOOL_PATH, {"info", "--json", movie});
        std::smatch m;
        static const std::regex seconds(R"("seconds": ([0-9.]+))");
        if (!std::regex_search(info.out, m, seconds)) return 0;
        return std::stod(m[1].str());
    }

    void startPlayer(const std::vector<std::string>& options, std::vector<std::string> env = {}) {
        std::vector<std::string> args{exe};
        args.insert(args.end(), options.begin(), options.end());
        // A drive letter makes the path a Windows one: Z: is the Unix root.
        args.push_back("Z:" + movie);
        player = session->start(wine, args, env, "playqz-exe");
    }

    // Waits for the screen's movie area to show a decoded frame; the closest one found.
    Match waitForPicture() {
        Match best;
        const auto end =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(pictureLimitMs);
        while (std::chrono::steady_clock::now() < end && player.running()) {
            Picture shot = session->grab((screenWidth - xtest::movieWidth) / 2,
                                         (screenHeight - xtest::movieHeight) / 2, xtest::movieWidth,
                                         xtest::movieHeight, xtest::movieWidth, xtest::movieHeight);
            Match match = frames.best(shot);
            if (match.psnr > best.psnr) best = match;
            if (best.psnr >= psnrFloor) break;
            pause(300);
        }
        return best;
    }

    // Presses the key (Escape unless named) in the player's window; how long the program
    // took to end, or -1.
    int escapeMs(const std::string& key = "Escape") {
        std::string window = session->findWindow(windowTitle, 20000);
        if (window.empty()) return -1;
        session->run("xdotool windowfocus --sync " + window + " key " + key);
        const auto pressed = std::chrono::steady_clock::now();
        if (player.wait(60000) < 0) return -1;
        return int(std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now() - pressed)
                       .count());
    }

    void checkStatistics(const std::string& what, double length) {
        std::string out = readText(player.outPath);
        Statistics stats = statisticsOf(out);
        ASSERT_TRUE(stats.found) << what << ": no statistics line in\n" << out;
        std::cout << "[ figures  ] " << what << ": " << stats.seconds << " s for a " << length
                  << " s movie, " << stats.frames << " frame slots\n";
        EXPECT_GE(stats.seconds, length - secondsEarly) << what;
        EXPECT_LE(stats.seconds, length + secondsLate) << what;
        EXPECT_GE(stats.frames, frames.count) << what;
    }

    void expectPicture(const std::string& what) {
        Match match = waitForPicture();
        std::cout << "[ figures  ] " << what << ": frame " << match.frame << " at " << match.psnr
                  << " dB\n";
        EXPECT_GE(match.psnr, psnrFloor) << what << ": closest frame " << match.frame;
    }

    std::string exe, wine, movie;
    xtest::Frames frames;
    std::unique_ptr<xtest::XSession> session;
    xtest::Background player;
};

TEST_F(PlayqzExeOnWine, BannerUsageAndUnknownOptionsMatchTheNativeBuild) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"-h"}, {"/loop", "movie.qz"}, {"-verbose"}}) {
        std::vector<std::string> wineArgs{exe};
        wineArgs.insert(wineArgs.end(), args.begin(), args.end());
        qztest::CommandResult windows = qztest::runProgram(wine, wineArgs);
        qztest::CommandResult native = qztest::runProgram(QZ_PLAYQZ_PATH, args);
        const std::string what = args.empty() ? "no arguments" : args[0];
        EXPECT_TRUE(allLinesCrLf(windows.out)) << what;
        EXPECT_EQ(withoutCarriageReturns(windows.out), native.out) << what;
        // Wine may add its own lines to standard error; the program's own must be there.
        if (!native.err.empty()) {
            EXPECT_NE(withoutCarriageReturns(windows.err).find(native.err), std::string::npos)
                << what << ": " << windows.err;
        }
        EXPECT_EQ(windows.exitCode, native.exitCode) << what;
    }
}

TEST_F(PlayqzExeOnWine, FullScreenShowsTheMovieAndReportsItsLength) {
    startSession();
    const double length = movieSeconds();
    ASSERT_GT(length, 0);
    startPlayer({"-verbose"});
    expectPicture("full screen");
    ASSERT_GE(player.wait(playLimitMs), 0) << "the movie did not end";
    const std::string out = withoutCarriageReturns(readText(player.outPath));
    EXPECT_TRUE(std::regex_search(
        out, std::regex(R"(\nNumber of Direct Draw Devices = \d+ \(using Device 1\)\n)")))
        << out;
    EXPECT_TRUE(std::regex_search(out, std::regex(R"(\nDirect Draw Device:[^\n]*\([^\n]*\)\n\n)")))
        << out;
    checkStatistics("full screen, DirectSound", length);
}

TEST_F(PlayqzExeOnWine, EscapeEndsTheProgramAtOnceInFullScreenAndInTheWindow) {
    startSession();
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"-loop"}, {"-window", "-loop"}}) {
        const std::string what = options.size() == 1 ? "full screen" : "window";
        startPlayer(options);
        expectPicture(what);
        const int ms = escapeMs();
        std::cout << "[ figures  ] " << what << ": Escape ended the program in " << ms << " ms\n";
        EXPECT_GE(ms, 0) << what << ": the program did not end";
        EXPECT_LE(ms, escapeLimitMs) << what;
        player.kill();
    }
}

// The keys added beside the original ones, in the Windows build: Home goes back to the start
// (a frame of the first second shows again), f switches to full screen with the movie going on,
// Alt+Enter back, and q quits at once.
TEST_F(PlayqzExeOnWine, HomeScreenSwitchAndQuitKeys) {
    startSession();
    startPlayer({"-window"});
    expectPicture("window");
    const std::string window = session->findWindow(windowTitle, 20000);
    ASSERT_FALSE(window.empty());
    auto press = [&](const std::string& key) {
        session->run("xdotool windowfocus --sync " + window + " key " + key);
    };
    // Past the first second, then back to it.
    pause(2000);
    press("Home");
    bool backAtStart = false;
    for (int tries = 0; tries < 30 && !backAtStart && player.running(); ++tries) {
        const Match match = waitForPicture();
        backAtStart = match.psnr >= psnrFloor && match.frame < 15;
        pause(100);
    }
    EXPECT_TRUE(backAtStart) << "Home did not go back to the start";
    press("f");
    expectPicture("after f");
    press("alt+Return");
    expectPicture("after Alt+Enter");
    const int ms = escapeMs("q");
    std::cout << "[ figures  ] q ended the program in " << ms << " ms\n";
    EXPECT_GE(ms, 0) << "q did not end the program";
    EXPECT_LE(ms, escapeLimitMs);
}

TEST_F(PlayqzExeOnWine, WithoutASoundDeviceTheMoviePlaysOnTheSimulatedClock) {
    startSession();
    const double length = movieSeconds();
    ASSERT_GT(length, 0);
    startPlayer({"-window", "-verbose"}, {noSoundServer});
    expectPicture("window, no sound device");
    ASSERT_GE(player.wait(playLimitMs), 0) << "the movie did not end";
    checkStatistics("window, no sound device", length);
}

} // namespace
