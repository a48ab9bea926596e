// playqz end to end on a private X server: the demo movie played in the window and in full
// screen, what the screen shows compared with the decoded frames, the keys and focus changes
// sent as a user would, and the sound written by SDL's disk audio driver. Skipped, with a
// message, when Xvfb or the X tools are not installed.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "tests/frontend/x_frames.h"
#include "tests/frontend/x_session.h"
#include "tests/support/test_support.h"

// The demo and its decoded frames come from qztool; without it these tests are skipped.
#ifndef QZ_QZTOOL_PATH
#define QZ_QZTOOL_PATH ""
#endif

namespace {

constexpr int screenWidth = 1024;
constexpr int screenHeight = 768;
// Frames drawn through a 16-bit mode, a YUV overlay and scaling lose more than 1:1 RGB.
constexpr double windowPsnrFloor = 30.0;
constexpr double fullScreenPsnrFloor = 22.0;
const char* const windowTitle = "Play QZ v1.60";

using xtest::Frames;
using xtest::Match;
using xtest::movieHeight;
using xtest::movieWidth;
using xtest::Picture;

void pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

class PlayqzOnX : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string missing;
        if (std::string(QZ_QZTOOL_PATH).empty()) GTEST_SKIP() << "qztool is not built";
        if (!xtest::programsInstalled({"Xvfb"}, &missing))
            GTEST_SKIP() << "Xvfb is not installed: the end-to-end tests under X are skipped";
        ASSERT_TRUE(xtest::programsInstalled({"xdotool", "xwd", "convert", "xlogo"}, &missing))
            << missing << " is needed beside Xvfb";
        session = std::make_unique<xtest::XSession>(screenWidth, screenHeight);
        ASSERT_TRUE(session->started()) << "Xvfb did not start";
        movie = xtest::demoMovie();
        ASSERT_FALSE(movie.empty()) << "qztool demo failed";
        ASSERT_TRUE(plain.load(movie, 100));
        ASSERT_TRUE(brighter.load(movie, 120));
    }

    void TearDown() override {
        player.kill();
        helper.kill();
        session.reset();
    }

    void startPlayer(const std::vector<std::string>& options,
                     std::vector<std::string> env = {"SDL_AUDIODRIVER=dummy"}) {
        std::vector<std::string> args = options;
        args.push_back(movie);
        env.push_back("SDL_VIDEODRIVER=x11");
        // SDL's X11 input method support opens the desktop bus and its library keeps a buffer
        // to the end; a leak-checking build of playqz is told so.
        std::string suppressions = qztest::writeScratchFile("lsan.supp", {});
        {
            std::ofstream out(suppressions);
            out << "leak:libdbus-1.so\n";
        }
        env.push_back("LSAN_OPTIONS=suppressions=" + suppressions);
        env.push_back("SDL_RENDER_DRIVER=software");
        // Software drawing straight to the X server: no GL library and its threads.
        env.push_back("SDL_FRAMEBUFFER_ACCELERATION=0");
        player = session->start(QZ_PLAYQZ_PATH, args, env, "playqz");
        windowId = session->findWindow(windowTitle, 20000);
        if (windowId.empty() && player.wait(0) == 1) {
            // A server that has only just come up can turn the first client away.
            player = session->start(QZ_PLAYQZ_PATH, args, env, "playqz-again");
            windowId = session->findWindow(windowTitle, 20000);
        }
        ASSERT_FALSE(windowId.empty()) << "no player window";
        focusPlayer();
    }

    void focusPlayer() { session->run("xdotool windowfocus --sync " + windowId); }

    void key(const std::string& name) {
        ASSERT_EQ(session->run("xdotool key " + name), 0);
        pause(400); // the pump looks every 30 ms; a loaded machine needs more
    }

    Picture shot() {
        if (fullScreen) {
            // The 640x480 mode fills the 1024x768 screen: the movie's 320x240 at the mode's
            // centre is 512x384 at 256,192.
            return session->grab(256, 192, 512, 384, movieWidth, movieHeight);
        }
        return session->grab((screenWidth - movieWidth) / 2, (screenHeight - movieHeight) / 2,
                             movieWidth, movieHeight, movieWidth, movieHeight);
    }

    // Waits until the screen shows a decoded frame; the match found.
    Match waitForPicture(const Frames& frames, double floor, int limitMs = 30000) {
        Match match;
        for (int waited = 0; waited < limitMs; waited += 500) {
            match = frames.best(shot());
            if (match.psnr >= floor) return match;
            pause(500);
        }
        return match;
    }

    // True when the picture stays the same for a second.
    bool pictureStill() {
        Picture first = shot();
        pause(1000);
        return !first.empty() && shot() == first;
    }

    // Which decoding the screen matches better, gamma 120 (1) or 100 (-1), waiting for a
    // picture bright enough to tell them apart; 0 when none came.
    int brightness() {
        for (int tries = 0; tries < 20; ++tries) {
            Picture picture = shot();
            double mean = 0;
            for (unsigned char v : picture) mean += v;
            mean /= double(std::max<std::size_t>(picture.size(), 1));
            double high = brighter.best(picture).psnr, low = plain.best(picture).psnr;
            if (mean > 40 && std::max(high, low) >= fullScreenPsnrFloor &&
                std::abs(high - low) > 1.0)
                return high > low ? 1 : -1;
            pause(300);
        }
        return 0;
    }

    bool pictureMoves() {
        for (int tries = 0; tries < 10; ++tries) {
            Picture first = shot();
            pause(700);
            if (shot() != first) return true;
        }
        return false;
    }

    std::unique_ptr<xtest::XSession> session;
    std::string movie;
    Frames plain, brighter;
    xtest::Background player, helper;
    std::string windowId;
    bool fullScreen = false;
};

TEST_F(PlayqzOnX, WindowShowsTheDecodedFramesAndFollowsTheKeysAndFocus) {
    startPlayer({"-window", "-loop"});
    Match first = waitForPicture(plain, windowPsnrFloor);
    EXPECT_GE(first.psnr, windowPsnrFloor) << "frame " << first.frame;

    // Shift pauses and resumes.
    key("Shift_L");
    EXPECT_TRUE(pictureStill());
    key("Shift_L");
    EXPECT_TRUE(pictureMoves());

    // Keypad plus twice: gamma 120, which the frames decoded at 120 match better.
    key("KP_Add");
    key("KP_Add");
    EXPECT_EQ(brightness(), 1);

    // Space restarts from the first frame, the gamma kept. The movie loops, so the restart is
    // told from the loop coming round by time: pressed at frame f, the loop cannot bring an
    // earlier frame back within (150 - f) / 15 seconds, since the sound paces the picture.
    // Screenshots are slow on a busy machine, so the restart is seen as the picture going back
    // from the last frame seen, wherever in the movie's start it is caught.
    Match before;
    for (int waited = 0; waited < 20000 && (before.frame < 10 || before.frame > 40);
         waited += 200) {
        before = brighter.best(shot());
    }
    ASSERT_TRUE(before.frame >= 10 && before.frame <= 40) << before.frame;
    key("space");
    const auto pressed = std::chrono::steady_clock::now() - std::chrono::milliseconds(400);
    Match last = before;
    bool wentBack = false;
    while (!wentBack && std::chrono::steady_clock::now() - pressed < std::chrono::seconds(12)) {
        Match now = brighter.best(shot());
        if (now.psnr < windowPsnrFloor) continue;
        wentBack = now.frame < last.frame - 5;
        last = now;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - pressed).count();
    EXPECT_TRUE(wentBack) << "still at frame " << last.frame << " after the press at frame "
                          << before.frame;
    // The frame on screen at the press may be a second past the one seen before it.
    EXPECT_LT(seconds, (150 - before.frame - 20) / 15.0)
        << "an earlier frame came only with the loop";
    EXPECT_EQ(brightness(), 1);

    // Keypad minus twice: back to 100.
    key("KP_Subtract");
    key("KP_Subtract");
    EXPECT_EQ(brightness(), -1);

    // Another program takes the focus: paused; the focus back: playing again.
    helper = session->start("xlogo", {"-geometry", "80x80+0+0"}, {}, "xlogo");
    std::string other = session->findWindow("xlogo", 10000);
    ASSERT_FALSE(other.empty());
    session->run("xdotool windowfocus --sync " + other);
    pause(500);
    EXPECT_TRUE(pictureStill());
    focusPlayer();
    pause(500);
    EXPECT_TRUE(pictureMoves());

    // Paused with Shift, it stays paused across a focus change.
    key("Shift_L");
    session->run("xdotool windowfocus --sync " + other);
    pause(500);
    focusPlayer();
    pause(500);
    EXPECT_TRUE(pictureStill());

    // Escape ends the program at once.
    key("Escape");
    EXPECT_EQ(player.wait(10000), 0);
}

TEST_F(PlayqzOnX, FullScreenShowsTheModeScaledToTheDisplay) {
    fullScreen = true;
    startPlayer({"-loop"});
    Match match = waitForPicture(plain, fullScreenPsnrFloor);
    EXPECT_GE(match.psnr, fullScreenPsnrFloor) << "frame " << match.frame;
    // Outside the mode's picture the screen is black.
    Picture corner = session->grab(0, 0, 64, 48, movieWidth, movieHeight);
    ASSERT_FALSE(corner.empty());
    EXPECT_EQ(*std::max_element(corner.begin(), corner.end()), 0);
    key("Shift_L");
    EXPECT_TRUE(pictureStill());
    key("Escape");
    EXPECT_EQ(player.wait(10000), 0);
}

TEST_F(PlayqzOnX, SoundCardHearsTheDecodedTrack) {
    std::string heard = qztest::scratchPath("heard.raw");
    const auto begun = std::chrono::steady_clock::now();
    startPlayer({"-window"}, {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + heard});
    ASSERT_EQ(player.wait(90000), 0) << "the movie did not end";
    std::string decodedPath = qztest::scratchPath("decoded.raw");
    ASSERT_EQ(qztest::runProgram(QZ_QZTOOL_PATH, {"audio", "--raw", decodedPath, movie}).exitCode,
              0);
    Bytes decoded = qztest::readFileBytes(decodedPath);
    Bytes card = qztest::readFileBytes(heard);
    ASSERT_FALSE(decoded.empty());
    // The card runs at the primary format's 22,050 Hz (88,200 bytes a second) for the whole
    // run; a card at twice that rate has resampled the track and cannot match it byte for byte.
    const double seconds = double(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now() - begun)
                                      .count()) /
                           1000.0;
    if (double(card.size()) / seconds > 130000.0)
        GTEST_SKIP() << "the sound card ran at about " << int(double(card.size()) / seconds / 4)
                     << " Hz, not the primary format's 22050 Hz: no byte-exact comparison";
    // The card plays silence before the stream starts, then the track byte for byte. The
    // track is checked in tenths of a second, each of which must come out exactly and in
    // order. Silence may fall between them, and a feeder ever starved would let the card
    // replay a stale lap between them too, but no tenth may go missing.
    const std::size_t piece = 22050 / 10 * 4;
    std::size_t found = 0, pieces = 0, missing = 0;
    auto from = card.begin();
    for (std::size_t at = 0; at + piece <= decoded.size(); at += piece, ++pieces) {
        auto first = decoded.begin() + std::ptrdiff_t(at);
        if (std::all_of(first, first + std::ptrdiff_t(piece), [](BYTE b) { return b == 0; }))
            continue; // silence is found anywhere
        auto where = std::search(from, card.end(), first, first + std::ptrdiff_t(piece));
        if (where == card.end()) {
            ++missing;
            continue;
        }
        ++found;
        from = where + std::ptrdiff_t(piece);
    }
    ASSERT_GT(pieces, 90u);
    EXPECT_EQ(missing, 0u) << found << " of the track's " << pieces << " tenths reached the card";
    // The last tenth too: the track is played to its end.
    auto last = decoded.end() - std::ptrdiff_t(piece);
    EXPECT_NE(std::search(card.begin(), card.end(), last, decoded.end()), card.end())
        << "the track's end never reached the card";
}

} // namespace
