// qztool meeting what is no movie, outputs that name the input, and exports that fail part way:
// one message naming the file, exit 1, and nothing written or overwritten.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <unistd.h>

#include "encoder/dct_encoder.h"
#include "encoder/movie_writer.h"
#include "encoder/type3_encoder.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using qztest::runProgram;

// A small movie of noisy pictures (which no PNG compresses much) over two seconds of sound.
Bytes smallMovie() {
    constexpr int side = 64;
    Movie movie;
    MovieTrack track;
    track.format = {2, 22050, 16, audioCodecPcm};
    track.samples.assign(2 * 22050 * 2, 0);
    for (std::size_t i = 0; i < track.samples.size(); ++i)
        track.samples[i] = static_cast<std::int16_t>((i * 397) % 16000);
    movie.tracks.push_back(std::move(track));
    std::mt19937 random(3);
    for (int frame = 0; frame < 4; ++frame) {
        std::vector<std::uint8_t> rgb(side * side * 3);
        for (auto& b : rgb) b = static_cast<std::uint8_t>(random());
        movie.video.push_back(
            {chunkId("MQZf"), encodeType3Frame(rgbToYuv420(rgb.data(), side, side), 90, nullptr)});
    }
    return movieBytes(movie);
}

// A fresh empty folder for one test's outputs.
std::string freshFolder(const std::string& name) {
    const std::string dir = qztest::scratchPath(name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

std::vector<std::string> folderNames(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> with(std::vector<std::string> a, std::initializer_list<std::string> b) {
    a.insert(a.end(), b);
    return a;
}

// Every command with every kind of output, into folder.
std::vector<std::vector<std::string>> commandsInto(const std::string& folder) {
    const std::vector<std::string> frames = {"frames", "--pixel-format", "xrgb8888"};
    return {{"info"},
            {"audio", "-o", folder + "/a.wav"},
            {"audio", "--raw", folder + "/a.pcm"},
            with(frames, {"--raw", folder + "/f.raw"}),
            with(frames, {"--y4m", folder + "/f.y4m"}),
            with(frames, {"--png", folder + "/f%04d.png"})};
}

std::string describe(const std::vector<std::string>& args) {
    std::string text;
    for (const std::string& a : args) text += a + " ";
    return text;
}

// Exit 1 and exactly one line on err that starts "qztool: " and holds what.
void expectOneMessage(const qztest::CommandResult& result, const std::string& what,
                      const std::string& context) {
    EXPECT_EQ(result.exitCode, 1) << context << result.err;
    EXPECT_EQ(result.err.rfind("qztool: ", 0), 0u) << context << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << context << result.err;
    EXPECT_NE(result.err.find(what), std::string::npos) << context << result.err;
}

TEST(QztoolBadInput, WhatIsNoMovieMeetsOneMessageAndNothingIsWritten) {
    const std::string inputs = freshFolder("inputs");
    const std::string folder = inputs + "/a folder";
    fs::create_directories(folder);
    std::mt19937 random(11);
    Bytes noise(4096);
    for (auto& b : noise) b = static_cast<std::uint8_t>(random());
    const Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D',
                       'R',  0,   0,   0,   1,    0,    0,    0,    1, 8, 2, 0,  0,   0};
    const std::string text = "A shopping list:\n  bread\n  milk\n";
    auto file = [&](const std::string& name, const Bytes& bytes) {
        const std::string path = inputs + "/" + name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    };
    const std::string movies[] = {folder,
                                  "/dev/null",
                                  "/dev/zero",
                                  file("empty.qz", {}),
                                  file("noise.qz", noise),
                                  file("picture.png", png),
                                  file("list.txt", Bytes(text.begin(), text.end())),
                                  inputs + "/missing.qz"};
    const std::string out = freshFolder("out");
    for (const std::string& movie : movies) {
        for (std::vector<std::string> args : commandsInto(out)) {
            args.insert(args.begin() + 1, movie);
            const auto result = runProgram(QZ_QZTOOL_PATH, args);
            expectOneMessage(result, movie, describe(args));
            EXPECT_EQ(result.out, "") << describe(args);
            EXPECT_TRUE(folderNames(out).empty()) << describe(args);
        }
    }
}

TEST(QztoolBadInput, NoOutputOverwritesTheInput) {
    const std::string dir = freshFolder("overwrite");
    const Bytes movie = smallMovie();
    const std::string input = dir + "/f0002.png"; // a name the PNG pattern below gives frame 2
    std::ofstream(input, std::ios::binary)
        .write(reinterpret_cast<const char*>(movie.data()),
               static_cast<std::streamsize>(movie.size()));
    ASSERT_EQ(link(input.c_str(), (dir + "/hard.qz").c_str()), 0);
    fs::create_symlink("f0002.png", dir + "/soft.qz");
    const std::vector<std::string> frames = {"frames", input, "--pixel-format", "rgb565"};
    const std::vector<std::vector<std::string>> commands = {
        {"audio", input, "-o", input},
        {"audio", input, "--raw", dir + "/./f0002.png"},
        {"audio", input, "-o", dir + "/hard.qz"},
        {"audio", input, "--raw", dir + "/soft.qz"},
        with(frames, {"--raw", dir + "/hard.qz"}),
        with(frames, {"--y4m", dir + "/soft.qz"}),
        with(frames, {"--png", dir + "/f%04d.png"})};
    const std::vector<std::string> before = folderNames(dir);
    for (const auto& args : commands) {
        const auto result = runProgram(QZ_QZTOOL_PATH, args);
        expectOneMessage(result, "over the input movie " + input, describe(args));
        EXPECT_EQ(qztest::readFileBytes(input), movie) << describe(args);
        EXPECT_EQ(folderNames(dir), before) << describe(args);
    }
}

TEST(QztoolBadInput, FailedExportsNameTheReasonAndLeaveNoPartialFile) {
    const std::string dir = freshFolder("failed");
    const std::string input = qztest::writeScratchFile("in.qz", smallMovie());
    const std::vector<std::string> frames = {"frames", input, "--pixel-format", "xrgb8888"};

    // A full disk: the message gives the reason.
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"audio", input, "-o", "/dev/full"},
                                               {"audio", input, "--raw", "/dev/full"},
                                               with(frames, {"--raw", "/dev/full"}),
                                               with(frames, {"--y4m", "/dev/full"}),
                                               {"demo", "/dev/full"}}) {
        const auto result = runProgram(QZ_QZTOOL_PATH, args);
        EXPECT_EQ(result.exitCode, 1) << describe(args);
        EXPECT_EQ(result.err, "qztool: cannot write /dev/full: No space left on device\n")
            << describe(args);
    }

    // Writes that fail part way (the file size limit stops each output after a few kilobytes):
    // the earlier file of the target's name is left as it was and no temporary file remains.
    const std::string old = "an earlier export\n";
    for (const auto& [target, args] : std::vector<std::pair<std::string, std::vector<std::string>>>{
             {"a.wav", {"audio", input, "-o", dir + "/a.wav"}},
             {"a.pcm", {"audio", input, "--raw", dir + "/a.pcm"}},
             {"f.raw", with(frames, {"--raw", dir + "/f.raw"})},
             {"f.y4m", with(frames, {"--y4m", dir + "/f.y4m"})},
             {"f0001.png", with(frames, {"--png", dir + "/f%04d.png"})}}) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        std::ofstream(dir + "/" + target) << old;
        std::vector<std::string> limited = {"-c", "ulimit -f 8; trap '' XFSZ; exec \"$0\" \"$@\"",
                                            QZ_QZTOOL_PATH};
        limited.insert(limited.end(), args.begin(), args.end());
        const auto result = runProgram("/bin/sh", limited);
        expectOneMessage(result, "cannot write " + dir + "/" + target + ": File too large",
                         describe(args));
        EXPECT_EQ(folderNames(dir), std::vector<std::string>{target}) << describe(args);
        const Bytes kept = qztest::readFileBytes(dir + "/" + target);
        EXPECT_EQ(std::string(kept.begin(), kept.end()), old) << describe(args);
    }
}

TEST(QztoolBadInput, AnUnwritableFolderIsLeftEmpty) {
    if (geteuid() == 0) GTEST_SKIP() << "running as root: a read-only folder does not stop writes";
    const std::string dir = freshFolder("unwritable");
    const std::string input = qztest::writeScratchFile("in.qz", smallMovie());
    const std::vector<std::string> frames = {"frames", input, "--pixel-format", "xrgb8888"};
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                             fs::perms::group_exec | fs::perms::others_read |
                             fs::perms::others_exec);
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"audio", input, "-o", dir + "/a.wav"},
                                               with(frames, {"--y4m", dir + "/f.y4m"}),
                                               with(frames, {"--png", dir + "/f%04d.png"})}) {
        const auto result = runProgram(QZ_QZTOOL_PATH, args);
        expectOneMessage(result, ": Permission denied", describe(args));
        EXPECT_NE(result.err.find("cannot write " + dir + "/"), std::string::npos) << result.err;
        EXPECT_TRUE(folderNames(dir).empty()) << describe(args);
    }
    fs::permissions(dir, fs::perms::owner_all);
}

} // namespace

// Command-line mistakes: one message that starts "qztool: ", exit 1, nothing written.
TEST(QztoolBadInput, CommandLineMistakesGetOneQztoolMessage) {
    const std::string dir = freshFolder("mistakes");
    const std::string movie = qztest::writeScratchFile("mistakes.qz", smallMovie());
    const auto typo = runProgram(QZ_QZTOOL_PATH, {"inof", movie});
    expectOneMessage(typo, "", "typo");
    EXPECT_EQ(typo.err,
              "qztool: no command 'inof' (commands: info, audio, frames, demo, encode)\n");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "subcommand"},
        {{"frames", movie, "--bogus", "--raw", dir + "/f.raw"}, "--bogus"},
        {{"audio", movie}, "give one output"},
        {{"frames", movie, "--pixel-format", "pal8", "--raw", dir + "/f.raw"}, "cannot show"},
    };
    for (const auto& [args, what] : cases) {
        expectOneMessage(runProgram(QZ_QZTOOL_PATH, args), what, describe(args));
        EXPECT_TRUE(folderNames(dir).empty()) << describe(args);
    }
}
