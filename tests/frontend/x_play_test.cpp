// playqz end to end on a private X server: the demo movie played in the window and in full
// screen, what the screen shows compared with the decoded frames, the keys and focus changes
// sent as a user would, and the sound written by SDL's disk audio driver. Skipped, with a
// message, when Xvfb or the X tools are not installed.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include <gtest/gtest.h>

#include "tests/frontend/x_frames.h"
#include "tests/frontend/x_screen.h"
#include "tests/frontend/x_session.h"
#include "tests/support/test_support.h"

// The demo and its decoded frames come from qztool; without it these tests are skipped.
#ifndef QZ_QZTOOL_PATH
#define QZ_QZTOOL_PATH ""
#endif

namespace {

constexpr int screenWidth = 1024;
constexpr int screenHeight = 768;
// The full-screen mode reaches the display scaled: its picture is compared by PSNR.
constexpr double fullScreenPsnrFloor = 22.0;
// The window's first title, or the one that shows the movie's time once it plays (an extended
// regular expression, as xdotool takes it).
const char* const windowTitle = "^(Play QZ v1\\.60$|.* - (frame )?[0-9:]+ / [0-9:]+)";

using xtest::Frames;
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
        std::filesystem::create_directories(recording);
        movie = xtest::demoMovie();
        ASSERT_FALSE(movie.empty()) << "qztool demo failed";
        ASSERT_TRUE(plain.load(movie, 100));
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

    // The recorded presents, keeping only the newest few on disk.
    std::vector<xtest::RecordedPresent> presents() {
        std::vector<xtest::RecordedPresent> all = xtest::recordedPresents(recording);
        constexpr std::size_t kept = 40;
        if (all.size() > kept) {
            for (std::size_t i = 0; i + kept < all.size(); ++i)
                std::filesystem::remove(all[i].path);
            all.erase(all.begin(), all.end() - std::ptrdiff_t(kept));
        }
        return all;
    }

    // The movie frame of the newest present, -1 before the first.
    long newestTag() {
        std::vector<xtest::RecordedPresent> all = presents();
        return all.empty() ? -1 : all.back().tag;
    }

    template <class Done> bool waitForTag(Done done, int limitMs = 30000) {
        for (int waited = 0; waited < limitMs; waited += 50) {
            if (done(newestTag())) return true;
            pause(50);
        }
        return false;
    }

    // The player window's place and size as the X server has it: x, y, width, height.
    std::vector<int> windowGeometry() {
        std::string path = qztest::scratchPath("geometry.txt");
        if (session->run("xdotool getwindowgeometry --shell " + windowId + " > " + path) != 0)
            return {};
        std::ifstream in(path);
        std::vector<int> values(4, -1);
        const char* names[] = {"X=", "Y=", "WIDTH=", "HEIGHT="};
        for (std::string line; std::getline(in, line);) {
            for (int i = 0; i < 4; ++i) {
                if (line.rfind(names[i], 0) == 0)
                    values[std::size_t(i)] = std::atoi(line.c_str() + std::strlen(names[i]));
            }
        }
        return values;
    }

    // True once no frame has been presented for a second, within ten.
    bool framesStop() {
        auto newest = [&] {
            std::vector<xtest::RecordedPresent> all = presents();
            return all.empty() ? -1L : all.back().index;
        };
        for (int tries = 0; tries < 10; ++tries) {
            long index = newest();
            pause(1000);
            if (newest() == index) return true;
        }
        return false;
    }

    // True once another frame is presented, within ten seconds.
    bool framesGoOn() {
        long tag = newestTag();
        return waitForTag([&](long now) { return now != tag; }, 10000);
    }

    // The gamma whose decoding the last wholly presented frame shows exactly, -1 for none.
    int shownGamma() {
        std::vector<xtest::RecordedPresent> all = presents();
        if (all.empty()) return -1;
        // The newest tag's presents may still be coming; the last of the tag before is final.
        std::size_t last = all.size() - 1;
        std::size_t before = last;
        while (before > 0 && all[before].tag == all[last].tag) --before;
        if (all[before].tag != all[last].tag && all[before].tag >= 0) last = before;
        if (all[last].tag < 0) return -1;
        xtest::RgbImage screen;
        if (!xtest::readPpm(all[last].path, screen)) return -1;
        for (int gamma : {100, 110, 120}) {
            const xtest::ExpectedFrames& frames = exported(gamma);
            const int frame = frames.frameOfTag(all[last].tag);
            if (xtest::compareScreens(screen, xtest::expectedScreen(frames.frame(frame),
                                                                    frames.width, frames.height, {},
                                                                    screen.width, screen.height))
                    .pixels == 0)
                return gamma;
        }
        return -1;
    }

    bool waitForGamma(int gamma) {
        for (int waited = 0; waited < 20000; waited += 200) {
            if (shownGamma() == gamma) return true;
            pause(200);
        }
        ADD_FAILURE() << "the frames never showed gamma " << gamma << "; last seen "
                      << shownGamma();
        return false;
    }

    // The movie's frames as the window's 32-bit desktop shows them at gamma.
    const xtest::ExpectedFrames& exported(int gamma) {
        xtest::ExpectedFrames& frames = exports[gamma];
        std::string error;
        if (frames.count() == 0) {
            EXPECT_TRUE(frames.load(QZ_QZTOOL_PATH, movie, xtest::ScreenPath::rgb32, gamma, error))
                << error;
        }
        return frames;
    }

    std::unique_ptr<xtest::XSession> session;
    std::string movie;
    Frames plain;
    xtest::Background player, helper;
    std::string windowId;
    bool fullScreen = false;
    std::string recording = qztest::scratchPath("screens");
    std::map<int, xtest::ExpectedFrames> exports;
};

TEST_F(PlayqzOnX, WindowShowsTheDecodedFramesAndFollowsTheKeysAndFocus) {
    // The recorded presents tell which frame is on the screen, so nothing here waits on time
    // beyond "the frames stop" and "the frames go on".
    startPlayer({"-window", "-loop"}, {"SDL_AUDIODRIVER=dummy", "QZ_SCREEN_DUMP=" + recording});
    ASSERT_TRUE(waitForTag([](long tag) { return tag >= 3; }));

    // Shift pauses: the frames stop, and the window shows the recorded frame exactly.
    key("Shift_L");
    ASSERT_TRUE(framesStop());
    long tag = newestTag();
    Picture window = session->grab((screenWidth - movieWidth) / 2, (screenHeight - movieHeight) / 2,
                                   movieWidth, movieHeight, movieWidth, movieHeight);
    EXPECT_TRUE(window == plain.picture(int(tag % plain.count))) << "window at frame " << tag;
    EXPECT_EQ(shownGamma(), 100);
    // Shift again: they go on.
    key("Shift_L");
    EXPECT_TRUE(framesGoOn());

    // Keypad plus twice: the frames decoded at gamma 120 are shown.
    key("KP_Add");
    key("KP_Add");
    EXPECT_TRUE(waitForGamma(120));

    // Space opens the movie again: the tags start again from 0, the gamma kept.
    ASSERT_TRUE(waitForTag([](long t) { return t >= 10; }));
    const long before = newestTag();
    key("space");
    EXPECT_TRUE(waitForTag([&](long t) { return t >= 0 && t < before; }))
        << "no replay after the press at frame " << before;
    EXPECT_TRUE(waitForGamma(120));

    // Keypad minus twice: back to 100.
    key("KP_Subtract");
    key("KP_Subtract");
    EXPECT_TRUE(waitForGamma(100));

    // Another program takes the focus: paused; the focus back: playing again.
    helper = session->start("xlogo", {"-geometry", "80x80+0+0"}, {}, "xlogo");
    std::string other = session->findWindow("xlogo", 10000);
    ASSERT_FALSE(other.empty());
    session->run("xdotool windowfocus --sync " + other);
    EXPECT_TRUE(framesStop());
    focusPlayer();
    EXPECT_TRUE(framesGoOn());

    // Paused with Shift, it stays paused across a focus change.
    key("Shift_L");
    EXPECT_TRUE(framesStop());
    session->run("xdotool windowfocus --sync " + other);
    focusPlayer();
    tag = newestTag();
    pause(1500);
    EXPECT_EQ(newestTag(), tag) << "playing again after the focus came back";

    // Escape ends the program at once.
    key("Escape");
    EXPECT_EQ(player.wait(10000), 0);
}

// The title shows the movie's name, place and length, then the volume the keys set; q quits.
TEST_F(PlayqzOnX, TitleShowsTheTimeAndTheVolumeKeysAndQQuits) {
    std::string missing;
    ASSERT_TRUE(xtest::programsInstalled({"xprop"}, &missing)) << missing << " reads the title";
    startPlayer({"-window", "-loop"});
    const auto title = [&] {
        const std::string path = qztest::scratchPath("title.txt");
        session->run("xprop -id " + windowId + " _NET_WM_NAME > " + path);
        std::ifstream in(path);
        std::string line;
        std::getline(in, line);
        return line;
    };
    const std::string name = std::filesystem::path(movie).stem().string();
    // The window is found by its first title; the time follows once the movie is open.
    std::string shown = title();
    for (int waited = 0; waited < 20000 && shown.find(" / ") == std::string::npos; waited += 100) {
        pause(100);
        shown = title();
    }
    EXPECT_NE(shown.find("\"" + name + " - 0:0"), std::string::npos) << shown;
    EXPECT_NE(shown.find(" / 0:10"), std::string::npos) << shown;
    key("9");
    shown = title();
    EXPECT_NE(shown.find(" / 0:10 - volume 90%\""), std::string::npos) << shown;
    key("m");
    shown = title();
    EXPECT_NE(shown.find(" / 0:10 - muted\""), std::string::npos) << shown;
    key("q");
    EXPECT_EQ(player.wait(10000), 0);
}

// The window takes the picture's size, centred; resized to twice that, it shows the same
// picture with every pixel doubled (SDL scales by nearest pixel).
TEST_F(PlayqzOnX, WindowIsMovieSizedCentredAndScalesWhenResized) {
    startPlayer({"-window", "-loop"}, {"SDL_AUDIODRIVER=dummy", "QZ_SCREEN_DUMP=" + recording});
    ASSERT_TRUE(waitForTag([](long tag) { return tag >= 3; }));
    const int x = (screenWidth - movieWidth) / 2, y = (screenHeight - movieHeight) / 2;
    EXPECT_EQ(windowGeometry(), (std::vector<int>{x, y, movieWidth, movieHeight}));
    key("Shift_L");
    ASSERT_TRUE(framesStop());
    const long tag = newestTag();
    Picture still = session->grab(x, y, movieWidth, movieHeight, movieWidth, movieHeight);
    EXPECT_TRUE(still == plain.picture(int(tag % plain.count))) << "window at frame " << tag;
    ASSERT_EQ(session->run("xdotool windowsize --sync " + windowId + " " +
                           std::to_string(2 * movieWidth) + " " + std::to_string(2 * movieHeight)),
              0);
    pause(1000);
    Picture doubled =
        session->grab(x, y, 2 * movieWidth, 2 * movieHeight, 2 * movieWidth, 2 * movieHeight);
    ASSERT_EQ(doubled.size(), std::size_t(4) * still.size());
    Picture sampled;
    for (int row = 0; row < movieHeight; ++row) {
        for (int column = 0; column < movieWidth; ++column) {
            const auto at = long((std::size_t(2 * row) * 2 * movieWidth + 2 * column) * 3);
            sampled.insert(sampled.end(), doubled.begin() + at, doubled.begin() + at + 3);
        }
    }
    EXPECT_TRUE(sampled == still) << "the doubled window does not show the picture doubled";
    key("Escape");
    EXPECT_EQ(player.wait(10000), 0);
}

TEST_F(PlayqzOnX, FullScreenShowsTheModeScaledToTheDisplay) {
    fullScreen = true;
    startPlayer({"-loop"}, {"SDL_AUDIODRIVER=dummy", "QZ_SCREEN_DUMP=" + recording});
    ASSERT_TRUE(waitForTag([](long tag) { return tag >= 3; }));
    // Paused, the display holds the last recorded screen, scaled to the display. (Whether that
    // screen is the movie's frame exactly is the screen tests' business.)
    key("Shift_L");
    ASSERT_TRUE(framesStop());
    std::vector<xtest::RecordedPresent> all = presents();
    xtest::RgbImage screen;
    ASSERT_TRUE(xtest::readPpm(all.back().path, screen));
    ASSERT_EQ(screen.width, 640);
    ASSERT_EQ(screen.height, 480);
    // The grabbed part of the display is the mode's middle 320 x 240.
    Picture middle;
    for (int y = 120; y < 360; ++y) {
        for (int x = 160; x < 480; ++x) {
            std::uint32_t pixel = screen.pixels[std::size_t(y) * 640 + std::size_t(x)];
            middle.insert(middle.end(), {static_cast<unsigned char>(pixel >> 16),
                                         static_cast<unsigned char>(pixel >> 8),
                                         static_cast<unsigned char>(pixel)});
        }
    }
    const double psnr = Frames::psnrOf(shot(), middle);
    EXPECT_GE(psnr, fullScreenPsnrFloor) << "the display differs from the recorded screen";
    // Outside the mode's picture the screen is black.
    Picture corner = session->grab(0, 0, 64, 48, movieWidth, movieHeight);
    ASSERT_FALSE(corner.empty());
    EXPECT_EQ(*std::max_element(corner.begin(), corner.end()), 0);
    key("Escape");
    EXPECT_EQ(player.wait(10000), 0);
}

TEST_F(PlayqzOnX, SoundCardHearsTheDecodedTrack) {
#if defined(__SANITIZE_THREAD__)
    // The card must be fed in real time; the thread-checking build decodes many times slower
    // than that, so the queues run dry and silence splits the track.
    GTEST_SKIP() << "the ThreadSanitizer build cannot feed the sound card in real time";
#endif
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
