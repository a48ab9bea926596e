// playqz given what it cannot play, or a command line it cannot honour: one message that says
// what is wrong and exit code 1, at once; asking for help stays exit code 0.
#include <filesystem>
#include <gtest/gtest.h>
#include <png.h>
#include <random>
#include <system_error>

#include "frontend/startup.h"
#include "tests/frontend/frontend_fixture.h"
#include "tests/frontend/playqz_run.h"

namespace {

using fronttest::FrontendTest;
using playqztest::banner;
using playqztest::playqz;

// Relative, as a user types it: an argument that starts with '/' may be an option to playqz.
std::string scratchFile(const std::string& name, const Bytes& bytes) {
    return std::filesystem::relative(qztest::writeScratchFile(name, bytes)).string();
}

std::string pngFile() {
    const std::string path = qztest::scratchPath("picture.png");
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = 4;
    image.height = 2;
    image.format = PNG_FORMAT_RGB;
    const Bytes pixels(4 * 2 * 3, 200);
    EXPECT_NE(png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr), 0);
    return std::filesystem::relative(path).string();
}

std::string randomFile() {
    std::mt19937 random(7);
    Bytes bytes(4096);
    for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(random());
    return scratchFile("random.bin", bytes);
}

std::string movieWithNothingToPlay() {
    ChunkWriter movie;
    movie.chunk("SCHl", streamHeaderPayload(AudioFormat{2, 22050, 16, audioCodecPcm}));
    movie.chunk("MQZf", {}); // a frame without a payload
    movie.chunk("SCCl", Bytes(40, 1));
    movie.raw(Bytes(4096, 0)); // and then no chunk at all
    return scratchFile("nothing.qz", movie.bytes());
}

std::string noSuchFile() {
    return std::make_error_code(std::errc::no_such_file_or_directory).message();
}

} // namespace

TEST(PlayqzBadInput, FilesWithoutAMovieAreNamedAndExitOne) {
    const std::string text = "A letter, not a movie.\n";
    const std::string directory =
        std::filesystem::relative(std::filesystem::path(qztest::scratchPath("x")).parent_path())
            .string();
    struct Case {
        std::string file;
        std::string why; // the message after the file name
    };
    std::vector<Case> cases = {
        {"nofile.qz", ""}, // named first, in a message of its own
        {directory, ": a folder, not a movie file"},
        {scratchFile("empty.qz", {}), ": an empty file, not a movie file"},
        {scratchFile("letter.txt", Bytes(text.begin(), text.end())),
         ": not a movie file: it does not start with a QZ, QZ2, KRT or BSX chunk"},
        {pngFile(), ": not a movie file: it does not start with a QZ, QZ2, KRT or BSX chunk"},
        {randomFile(), ": not a movie file: it does not start with a QZ, QZ2, KRT or BSX chunk"},
        {movieWithNothingToPlay(), ": no video frame and no sound in it that the player can play"},
    };
    for (const char* device : {"/dev/zero", "/dev/null"})
        if (std::filesystem::exists(device))
            cases.push_back({device, ": a device or pipe, not a movie file"});
    for (const Case& c : cases) {
        for (const char* window : {"-window", "-verbose"}) {
            SCOPED_TRACE(c.file + " " + window);
            const auto result = playqz({window, c.file});
            EXPECT_EQ(result.exitCode, 1);
            EXPECT_EQ(result.out,
                      banner + "Failed to start movie:" + c.file + " (check filename?)\n");
            const std::string message =
                c.why.empty() ? "cannot open " + c.file + ": " + noSuchFile() : c.file + c.why;
            EXPECT_EQ(result.err, "playqz: " + message + "\n");
        }
    }
}

TEST(PlayqzBadInput, NumberOptionsWithoutANumberAreNamedAndExitOne) {
    const std::string movie = scratchFile("movie.qz", {});
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"-xres", "abc", movie}, "playqz: -xres needs a number, not \"abc\"\n"},
        {{"-track", "x", movie}, "playqz: -track needs a number, not \"x\"\n"},
        {{"-fps", "zz", movie}, "playqz: -fps needs a number, not \"zz\"\n"},
        {{"-ysize", " -", movie}, "playqz: -ysize needs a number, not \" -\"\n"},
        {{movie, "-gamma"}, "playqz: -gamma needs a number after it\n"},
        {{"-ddraw", "", "-xsize", "+", movie},
         "playqz: -ddraw needs a number, not \"\"\nplayqz: -xsize needs a number, not \"+\"\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        const auto result = playqz(c.args);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, banner); // the movie is not looked at
        EXPECT_EQ(result.err, c.err);
    }
    const ParsedCommandLine signedNumbers =
        parseCommandLine({"-gamma", " +70x", "-yres", "-5", "m"});
    EXPECT_TRUE(signedNumbers.badNumbers.empty());
    EXPECT_EQ(signedNumbers.settings.gammaSetting, 70);
    EXPECT_EQ(signedNumbers.settings.modeHeight, -5);
}

// A movie that passes the look but that the engine cannot open still fails with exit code 1.
TEST_F(FrontendTest, AMovieTheEngineCannotOpenExitsOne) {
    FrontendSettings settings = windowSettings();
    settings.movieFile = fronttest::writeMovie(4, 0);
    qzplat::mmioFailNextSetBuffers(1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(runPlayer(settings), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Failed to start movie:" + settings.movieFile + " (check filename?)\n");
    qzplat::resetWindows(); // the window class of the first run is gone with its process
    EXPECT_EQ(runPlayer(settings), 0);
}
