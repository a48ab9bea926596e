// The screen equals the movie: playqz plays the demo movies of every codec family on a private X
// server with its screen recorded, and every recorded frame is compared pixel for pixel with
// the screen the frame qztool exports must make, in the window and in full screen, at each
// depth, with and without double buffering, doubled, skipped, stretched, at another gamma,
// with the gamma keys, looping and replayed. Skipped, with a message, without Xvfb.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <tuple>
#include <thread>

#include <gtest/gtest.h>

#include "tests/frontend/x_frames.h"
#include "tests/frontend/x_screen.h"
#include "tests/frontend/x_session.h"
#include "tests/support/test_support.h"

#ifndef QZ_QZTOOL_PATH
#define QZ_QZTOOL_PATH ""
#endif

namespace {

using xtest::ExpectedFrames;
using xtest::Placement;
using xtest::ScreenPath;

// The X screen and the full-screen mode have the same size, so the window desktop is small.
constexpr int screenWidth = 640;
constexpr int screenHeight = 480;
// The window's first title, or the one that shows the movie's time once it plays (an extended
// regular expression, as xdotool takes it).
const char* const windowTitle = "^(Play QZ v1\\.60$|.* - (frame )?[0-9:]+ / [0-9:]+)";
constexpr int runLimitMs = 120000;

void pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

struct ScreenRun {
    std::string name;
    std::string kind; // demo kind: "" (DCT), "krt" or "dor"
    std::vector<std::string> options;
    ScreenPath path = ScreenPath::rgb16;
    Placement placement;
    int gamma = 100;
    bool subset = false;  // also run under the sanitizers
    long leftOutType = 0; // frames of this type left out of the movie
};

class ScreenOnX : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string missing;
        if (std::string(QZ_QZTOOL_PATH).empty()) GTEST_SKIP() << "qztool is not built";
        if (!xtest::programsInstalled({"Xvfb"}, &missing))
            GTEST_SKIP() << "Xvfb is not installed: the screen tests under X are skipped";
        ASSERT_TRUE(xtest::programsInstalled({"xdotool"}, &missing))
            << missing << " is needed beside Xvfb";
        session = std::make_unique<xtest::XSession>(screenWidth, screenHeight);
        ASSERT_TRUE(session->started()) << "Xvfb did not start";
    }

    void TearDown() override {
        player.kill();
        session.reset();
    }

    // The frames of the movie as the screen path shows them at gamma, exported once a test.
    const ExpectedFrames& expected(const std::string& movie, ScreenPath path, int gamma) {
        auto key = std::make_tuple(movie, int(path), gamma);
        auto found = exports.find(key);
        if (found != exports.end()) return found->second;
        ExpectedFrames& frames = exports[key];
        std::string error;
        EXPECT_TRUE(frames.load(QZ_QZTOOL_PATH, movie, path, gamma, error)) << error;
        return frames;
    }

    // Starts playqz on movie with options, recording into a fresh folder.
    void start(const std::string& name, const std::string& movie,
               const std::vector<std::string>& options) {
        folder = qztest::scratchPath("screens-" + name);
        // QZ_KEEP_DUMP keeps the recorded screens for a look at a failure.
        if (std::getenv("QZ_KEEP_DUMP") == nullptr) std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        std::vector<std::string> args = options;
        args.push_back(movie);
        std::string suppressions = qztest::writeScratchFile("lsan.supp", {});
        {
            std::ofstream out(suppressions);
            out << "leak:libdbus-1.so\n";
        }
        std::vector<std::string> env{"SDL_AUDIODRIVER=dummy",
                                     "SDL_VIDEODRIVER=x11",
                                     "SDL_RENDER_DRIVER=software",
                                     "SDL_FRAMEBUFFER_ACCELERATION=0",
                                     "LSAN_OPTIONS=suppressions=" + suppressions,
                                     "TSAN_OPTIONS=suppressions=" QZ_TSAN_SUPPRESSIONS,
                                     "QZ_SCREEN_DUMP=" + folder};
        player = session->start(QZ_PLAYQZ_PATH, args, env, "playqz-" + name);
    }

    // The tag of the newest recorded present, -1 when none is tagged yet.
    long newestTag() {
        std::vector<xtest::RecordedPresent> presents = xtest::recordedPresents(folder);
        return presents.empty() ? -1 : presents.back().tag;
    }

    // Waits until the newest present's tag satisfies done; false when the player ended or
    // the limit passed first.
    template <class Done> bool waitForTag(Done done, int limitMs = runLimitMs) {
        for (int waited = 0; waited < limitMs; waited += 50) {
            if (done(newestTag())) return true;
            if (!player.running()) return done(newestTag());
            pause(50);
        }
        return false;
    }

    // Gives the player's window the keyboard and sends it a key.
    void key(const std::string& name) {
        std::string window = session->findWindow(windowTitle, 20000);
        ASSERT_FALSE(window.empty()) << "no player window";
        session->run("xdotool windowfocus --sync " + window + " >/dev/null 2>&1");
        ASSERT_EQ(session->run("xdotool key " + name), 0);
    }

    // Checks every recorded frame of the finished run against the stages; the number of
    // frames compared.
    xtest::RunCheck check(const std::string& name, const std::vector<const ExpectedFrames*>& stages,
                          const Placement& placement) {
        xtest::RunCheck result = xtest::checkRun(name, folder, stages, placement);
        std::printf("[ screens  ] %s: %d frames compared\n", name.c_str(), result.compared);
        for (const std::string& fault : result.faults) ADD_FAILURE() << fault;
        if (!std::getenv("QZ_KEEP_DUMP")) std::filesystem::remove_all(folder);
        return result;
    }

    // Plays each run to its end and compares every frame it showed; every frame of the movie
    // must have been shown.
    void playRuns(const std::vector<ScreenRun>& runs) {
        for (const ScreenRun& run : runs) {
            if (QZ_TEST_SANITIZED && !run.subset) continue;
            SCOPED_TRACE(run.name);
            std::string movie = xtest::silentDemoMovie(run.kind, run.leftOutType);
            ASSERT_FALSE(movie.empty()) << "qztool demo failed";
            const ExpectedFrames& frames = expected(movie, run.path, run.gamma);
            ASSERT_GT(frames.count(), 0);
            start(run.name, movie, run.options);
            EXPECT_EQ(player.wait(runLimitMs), 0) << "playqz did not end well";
            xtest::RunCheck result = check(run.name, {&frames}, run.placement);
            EXPECT_EQ(result.compared, frames.count()) << "frames shown";
        }
    }

    std::unique_ptr<xtest::XSession> session;
    xtest::Background player;
    std::string folder;
    std::map<std::tuple<std::string, int, int>, ExpectedFrames> exports;
};

TEST_F(ScreenOnX, DctFramesInTheWindowAtEachLayout) {
    Placement doubledX, doubledY, skipped, stretched;
    doubledX.doubleX = true;
    doubledY.doubleY = true;
    skipped.skipY = true;
    stretched.stretchWidth = 480;
    stretched.stretchHeight = 360;
    // The window shows the desktop's 32 bits whatever depth is asked for.
    const ScreenPath desktop = ScreenPath::rgb32;
    // clang-format off
    playRuns({
        {"window-16",       "", {"-window", "-16"},      desktop, {},        100, true},
        {"window-32",       "", {"-window", "-32"},      desktop, {},        100, false},
        {"window-software", "", {"-window", "-software"}, desktop, {},       100, false},
        {"window-doublex",  "", {"-window", "-doublex"}, desktop, doubledX,  100, false},
        {"window-doubley",  "", {"-window", "-doubley"}, desktop, doubledY,  100, true},
        {"window-skipy",    "", {"-window", "-skipy"},   desktop, skipped,   100, false},
        {"window-size",     "", {"-window", "-xsize", "480", "-ysize", "360"}, desktop, stretched,
         100, false},
        {"window-gamma",    "", {"-window", "-gamma", "130"}, desktop, {},   130, false},
    });
    // clang-format on
}

TEST_F(ScreenOnX, DctFramesInFullScreenWithAndWithoutDoubleBuffering) {
    Placement doubledY, stretched;
    doubledY.doubleY = true;
    stretched.stretchWidth = 600;
    stretched.stretchHeight = 400;
    // (-doublex is checked in the window only: at 16 bits the decoders write each picture pixel
    // as a word of two display pixels from their own tables, which no export reproduces.)
    playRuns({
        {"full-16", "", {"-16"}, ScreenPath::rgb16, {}, 100, true},
        {"full-32", "", {"-32"}, ScreenPath::rgb32, {}, 100, false},
        {"full-16-single", "", {"-16", "-nodoublebuffer"}, ScreenPath::rgb16, {}, 100, true},
        {"full-32-single", "", {"-32", "-nodoublebuffer"}, ScreenPath::rgb32, {}, 100, false},
        {"full-16-single-gamma",
         "",
         {"-16", "-nodoublebuffer", "-gamma", "130"},
         ScreenPath::rgb16,
         {},
         130,
         false},
        {"full-16-software", "", {"-16", "-software"}, ScreenPath::rgb16, {}, 100, false},
        {"full-32-doubley", "", {"-32", "-doubley"}, ScreenPath::rgb32, doubledY, 100, false},
        {"full-32-size",
         "",
         {"-32", "-xsize", "600", "-ysize", "400"},
         ScreenPath::rgb32,
         stretched,
         100,
         false},
    });
}

// Type-4 frames alone (the type-3 frames left out of the DCT demo): with YUV hardware allowed,
// the overlay shows their YUY2 pictures; with -software they are decoded to RGB.
TEST_F(ScreenOnX, TypeFourFramesThroughTheOverlayAndInSoftware) {
    playRuns({
        {"type4-full-16", "", {"-16"}, ScreenPath::yuy2Overlay, {}, 100, true, 3},
        {"type4-full-16-software", "", {"-16", "-software"}, ScreenPath::rgb16, {}, 100, false, 3},
    });
}

TEST_F(ScreenOnX, KrtAndDorFramesInTheWindowAndInFullScreen) {
    playRuns({
        {"krt-full-8", "krt", {"-8"}, ScreenPath::palette8, {}, 100, true},
        {"krt-full-8-single",
         "krt",
         {"-8", "-nodoublebuffer"},
         ScreenPath::palette8,
         {},
         100,
         false},
        {"krt-window", "krt", {"-window"}, ScreenPath::rgb32, {}, 100, false},
        {"krt-full-16", "krt", {"-16"}, ScreenPath::rgb16, {}, 100, false},
        {"krt-full-32", "krt", {"-32"}, ScreenPath::rgb32, {}, 100, false},
        {"dor-window", "dor", {"-window"}, ScreenPath::rgb32, {}, 100, true},
        {"dor-full-16", "dor", {"-16"}, ScreenPath::rgb16, {}, 100, false},
        {"dor-full-32", "dor", {"-32", "-nodoublebuffer"}, ScreenPath::rgb32, {}, 100, false},
    });
}

// The gamma keys mid-run: the frames after each press match the export at the new gamma.
// The movie is paced at 10 frames a second, so the presses land mid-movie; -software keeps its
// type-4 frames in RGB, as the export decodes them.
TEST_F(ScreenOnX, GammaKeysChangeTheFramesThatFollow) {
    // Type-4 frames only: a type-3 frame's skipped macroblocks keep the last picture as it was
    // shown, at the brightness before a change, which no export at one brightness holds.
    std::string movie = xtest::silentDemoMovie("", 3);
    ASSERT_FALSE(movie.empty());
    std::vector<const ExpectedFrames*> stages;
    for (int gamma : {100, 110, 120, 110})
        stages.push_back(&expected(movie, ScreenPath::rgb32, gamma));
    start("gamma-keys", movie, {"-window", "-software", "-fps", "10"});
    ASSERT_TRUE(waitForTag([](long tag) { return tag >= 10; }));
    key("KP_Add");
    key("KP_Add");
    ASSERT_TRUE(waitForTag([](long tag) { return tag >= 40; }));
    key("KP_Subtract");
    EXPECT_EQ(player.wait(runLimitMs), 0);
    xtest::RunCheck result = check("gamma-keys", stages, {});
    EXPECT_EQ(result.lastStage, 3) << "the last gamma change was never seen";
    EXPECT_GT(result.compared, stages[0]->count() / 2);
}

// Two laps and more of a looping movie: the tags count on, every frame shows its picture. With
// its sound, as the sound's loop is what the picture's loop must keep up with.
TEST_F(ScreenOnX, LoopShowsEveryLap) {
    std::string movie = xtest::demoMovie();
    ASSERT_FALSE(movie.empty());
    const ExpectedFrames& frames = expected(movie, ScreenPath::rgb32, 100);
    start("loop", movie, {"-window", "-loop"});
    const long laps = 2 * frames.count() + 10;
    ASSERT_TRUE(waitForTag([&](long tag) { return tag >= laps; }));
    key("Escape");
    EXPECT_EQ(player.wait(runLimitMs), 0);
    xtest::RunCheck result = check("loop", {&frames}, {});
    // Frames that come too late after the sound are decoded and not shown, so not compared.
    ASSERT_FALSE(result.tags.empty());
    EXPECT_GE(result.tags.back(), laps);
    EXPECT_GT(result.compared, frames.count());
}

// Space opens the movie again: the tags start again at 0 and the replay shows every frame.
TEST_F(ScreenOnX, SpaceReplaysFromTheFirstFrame) {
    std::string movie = xtest::demoMovie();
    ASSERT_FALSE(movie.empty());
    const ExpectedFrames& frames = expected(movie, ScreenPath::rgb32, 100);
    start("replay", movie, {"-window"});
    long pressedAt = -1;
    ASSERT_TRUE(waitForTag([&](long tag) { return (pressedAt = tag) >= 20; }));
    key("space");
    EXPECT_EQ(player.wait(runLimitMs), 0);
    xtest::RunCheck result = check("replay", {&frames}, {});
    bool wentBack = false;
    for (std::size_t i = 1; i < result.tags.size(); ++i)
        wentBack = wentBack || result.tags[i] < result.tags[i - 1];
    EXPECT_TRUE(wentBack) << "no replay after the press at frame " << pressedAt;
    ASSERT_FALSE(result.tags.empty());
    // The replay plays on past the press (and the program ends by itself at its end, above);
    // on a slow build its last frames may come too late after the sound to be shown.
    EXPECT_GT(result.tags.back(), pressedAt) << "the replay stopped early";
}

} // namespace

// -start and the seek keys: the play starts 3 seconds in, Right moves 5 seconds on, Home back to
// the start and Page Down a tenth on; every frame shown after each move is the movie's frame at
// its slot, pixel for pixel, though the frames before it back to the last key frame were
// decoded unseen.
TEST_F(ScreenOnX, StartAndSeekKeysLandOnTheirFramesExactly) {
    std::string movie = xtest::demoMovie();
    ASSERT_FALSE(movie.empty());
    const ExpectedFrames& frames = expected(movie, ScreenPath::rgb32, 100);
    start("seek", movie, {"-window", "-start", "3"});
    ASSERT_TRUE(waitForTag([](long tag) { return tag >= 50; }));
    key("Right");
    ASSERT_TRUE(waitForTag([](long tag) { return tag >= 130; }));
    key("Home");
    ASSERT_TRUE(waitForTag([](long tag) { return tag >= 0 && tag < 30; }));
    key("Page_Down");
    ASSERT_TRUE(waitForTag([](long tag) { return tag >= 40 && tag < 60; }));
    key("Escape");
    EXPECT_EQ(player.wait(runLimitMs), 0);
    xtest::RunCheck result = check("seek", {&frames}, {});
    // The moves as the tags show them: the first frame shown is 45 (3 s at 15 a second; the
    // movie's first picture never shows), on by 75 (5 s), back under 30, on by 15 (a tenth of
    // 150).
    std::vector<long> jumps;
    for (std::size_t i = 1; i < result.tags.size(); ++i)
        if (result.tags[i] != result.tags[i - 1] + 1) jumps.push_back(result.tags[i]);
    ASSERT_FALSE(result.tags.empty());
    EXPECT_EQ(result.tags.front(), 45);
    EXPECT_GE(jumps.size(), 3u);
    EXPECT_GT(result.compared, 30);
}

// f and Alt+Enter switch between the window and full screen: the screen changes size both ways,
// the movie goes on where it was, and every frame shown at either size is exact.
TEST_F(ScreenOnX, FullScreenToggleKeepsThePlaceBothWays) {
    std::string movie = xtest::demoMovie();
    ASSERT_FALSE(movie.empty());
    const ExpectedFrames& frames = expected(movie, ScreenPath::rgb32, 100);
    // Full screen is a mode of its own size, so that the screens show which one played.
    start("toggle", movie, {"-window", "-32", "-xres", "512", "-yres", "384"});
    ASSERT_TRUE(waitForTag([](long tag) { return tag >= 20; }));
    key("f");
    ASSERT_TRUE(waitForTag([](long tag) { return tag >= 45; }));
    key("alt+Return");
    ASSERT_TRUE(waitForTag([](long tag) { return tag >= 70; }));
    key("Escape");
    EXPECT_EQ(player.wait(runLimitMs), 0);
    // The movie frames in the order shown, with the screen's size: where it changes, the movie
    // was switched, and it goes on from where it stood (never back; a slow build may drop a
    // few frames that came too late, so a little forward).
    std::set<std::string> sizes;
    std::string lastSize;
    long lastTag = -1;
    int switches = 0;
    for (const xtest::RecordedPresent& present : xtest::recordedPresents(folder)) {
        if (present.tag < 0) continue; // a cleared screen, no movie frame
        std::ifstream in(present.path);
        std::string magic, width, height;
        in >> magic >> width >> height;
        const std::string size = width + "x" + height;
        EXPECT_GE(present.tag, lastTag) << "went back at present " << present.index;
        if (!lastSize.empty() && size != lastSize) {
            ++switches;
            EXPECT_LE(present.tag, lastTag + 30) << "jumped at present " << present.index;
        }
        sizes.insert(size);
        lastSize = size;
        lastTag = present.tag;
    }
    EXPECT_EQ(switches, 2);
    EXPECT_TRUE(sizes.count("512x384") == 1 && sizes.size() == 2) << sizes.size() << " sizes";
    // Every frame shown at either size is exact.
    xtest::RunCheck result = check("toggle", {&frames}, {});
    EXPECT_GT(result.compared, 20);
}
