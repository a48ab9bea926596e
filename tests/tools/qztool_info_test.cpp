#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <random>
#include <sstream>

#include "audio/audio_decode.h"
#include "encoder/movie_writer.h"
#include "tests/support/test_support.h"
#include "tools/audio_export.h"
#include "tools/demo_movie.h"
#include "tools/movie_info.h"

namespace {

using qztest::runProgram;

// A minimal JSON syntax check: values, objects, arrays, strings with escapes, numbers.
struct JsonChecker {
    const std::string& s;
    std::size_t i = 0;
    void space() {
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    }
    bool literal(const char* word) {
        std::size_t n = std::char_traits<char>::length(word);
        if (s.compare(i, n, word) != 0) return false;
        i += n;
        return true;
    }
    bool string() {
        if (s[i] != '"') return false;
        for (++i; i < s.size(); ++i) {
            if (s[i] == '\\')
                ++i;
            else if (s[i] == '"')
                return ++i, true;
            else if (static_cast<unsigned char>(s[i]) < 0x20)
                return false;
        }
        return false;
    }
    bool number() {
        std::size_t start = i;
        while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '-' ||
                                s[i] == '.' || s[i] == 'e' || s[i] == '+'))
            ++i;
        return i > start;
    }
    bool sequence(char close, bool keyed) {
        ++i;
        space();
        if (s[i] == close) return ++i, true;
        for (;;) {
            space();
            if (keyed && !(string() && (space(), s[i++] == ':'))) return false;
            if (!value()) return false;
            space();
            if (s[i] == close) return ++i, true;
            if (s[i++] != ',') return false;
        }
    }
    bool value() {
        space();
        if (i >= s.size()) return false;
        if (s[i] == '{') return sequence('}', true);
        if (s[i] == '[') return sequence(']', false);
        if (s[i] == '"') return string();
        return literal("null") || literal("true") || literal("false") || number();
    }
    bool document() {
        bool ok = value();
        space();
        return ok && i == s.size();
    }
};

bool validJson(const std::string& text) {
    return JsonChecker{text}.document();
}

Bytes sampleMovie() {
    Movie movie;
    MovieTrack track;
    track.format = {2, 22050, 16, audioCodecIma};
    track.samples.assign(2 * 1470 * 2, 100);
    movie.tracks = {track, track};
    Bytes dor(16);
    dor[8] = 64; // width 320
    dor[9] = 1;
    dor[10] = 240; // height 240
    movie.video = {{chunkId("DORk"), dor},
                   {reversedChunkId(chunkId("WNBp")), Bytes{0x40, 0x01, 0xF0, 0x00, 50}}};
    return movieBytes(movie);
}

TEST(QztoolInfo, ReportsTracksCountsSizesAndDuration) {
    qztool::MovieInfo info = qztool::gatherMovieInfo("m.qz", sampleMovie());
    EXPECT_TRUE(info.scan.damage.empty());
    ASSERT_EQ(info.tracks.size(), 2u);
    EXPECT_EQ(info.tracks[1].chunks, 2u);
    EXPECT_EQ(info.tracks[0].frames, 2940u);
    EXPECT_NEAR(info.durationSeconds, 2940.0 / 22050, 1e-9);
    EXPECT_EQ(info.videoChunks, 2u);
    EXPECT_EQ(info.videoTypes[5], 1u);
    EXPECT_EQ(info.videoTypes[3], 1u);
    EXPECT_EQ(info.pictureSizes.size(), 1u);
    EXPECT_EQ(info.pictureSizes.at({320, 240}), 2u);
    EXPECT_EQ(info.ids.at("SCDl"), 4u);
    EXPECT_EQ(info.ids.at("pBNW"), 1u);
    EXPECT_EQ(info.payloads.at(ChunkKind::audioData).max, 1470u);

    std::string path = qztest::writeScratchFile("m.qz", sampleMovie());
    auto result = runProgram(QZ_QZTOOL_PATH, {"info", path, "--chunks"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("tracks: 2"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("picture 320x240: 2 frames"), std::string::npos);
    EXPECT_NE(result.out.find("IMA ADPCM"), std::string::npos);
}

TEST(QztoolInfo, JsonIsOneWellFormedObject) {
    std::string path = qztest::writeScratchFile("quote\"d.qz", sampleMovie());
    auto result = runProgram(QZ_QZTOOL_PATH, {"info", path, "--json", "--chunks"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(validJson(result.out)) << result.out;
    for (const char* key : {"\"schema\": \"qztool-info/1\"", "\"tracks\"", "\"kinds\"", "\"ids\"",
                            "\"video\"", "\"payloads\"", "\"durationSeconds\"", "\"chunks\": [",
                            "\"error\": null", "\"width\": 320", "quote\\\"d.qz"})
        EXPECT_NE(result.out.find(key), std::string::npos) << key;
    // A name that is not UTF-8 and holds a control character still gives a valid object.
    const qztool::MovieInfo info = qztool::gatherMovieInfo("odd\x01\xff.qz", sampleMovie());
    std::ostringstream json;
    qztool::printMovieInfoJson(info, false, json);
    EXPECT_TRUE(validJson(json.str())) << json.str();
    EXPECT_NE(json.str().find("\"file\": \"odd\\u0001\xef\xbf\xbd.qz\""), std::string::npos)
        << json.str();
}

TEST(QztoolInfo, MalformedFilesReportTheOffsetAndFail) {
    Bytes good = sampleMovie();
    Bytes withoutEnd(good.begin(), good.end() - 8);
    std::size_t end = withoutEnd.size();
    auto withTail = [&](Bytes tail) {
        Bytes file = withoutEnd;
        file.insert(file.end(), tail.begin(), tail.end());
        return file;
    };
    struct Case {
        const char* name;
        Bytes file;
        std::size_t offset;
    };
    const Case cases[] = {
        {"truncated header", withTail({'S', 'C', 'D'}), end},
        {"size below 8", withTail({'S', 'C', 'D', 'l', 4, 0, 0, 0, 1, 2, 3, 4}), end},
        {"past the end", withTail({'S', 'C', 'D', 'l', 0xFF, 0xFF, 0xFF, 0xFF, 1}), end},
        {"unknown id", withTail({'J', 'U', 'N', 'K', 8, 0, 0, 0}), end},
        {"cut payload", Bytes(good.begin(), good.begin() + 40), 31},
    };
    for (const Case& c : cases) {
        std::string path = qztest::writeScratchFile("bad.qz", c.file);
        for (bool json : {false, true}) {
            std::vector<std::string> args = {"info", path, "--chunks"};
            if (json) args.push_back("--json");
            auto result = runProgram(QZ_QZTOOL_PATH, args);
            EXPECT_EQ(result.exitCode, 1) << c.name;
            EXPECT_NE(result.err.find("offset " + std::to_string(c.offset)), std::string::npos)
                << c.name << ": " << result.err;
            if (json)
                EXPECT_TRUE(validJson(result.out)) << c.name << result.out;
            else
                EXPECT_NE(result.out.find("tracks:"), std::string::npos) << c.name;
        }
    }
    // The audio command writes what the player plays, passing over the fault as it does, and
    // warns.
    std::string path = qztest::writeScratchFile("bad.qz", cases[1].file);
    auto result =
        runProgram(QZ_QZTOOL_PATH, {"audio", path, "--raw", qztest::scratchPath("a.pcm")});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.err.find("warning"), std::string::npos) << result.err;
    EXPECT_EQ(qztest::readFileBytes(qztest::scratchPath("a.pcm")).size(), 2940u * 4);
}

TEST(QztoolInfo, GarbageNeverCrashes) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        Bytes file(random() % 300);
        for (auto& b : file) b = static_cast<std::uint8_t>(random());
        // Half the rounds start like a movie so that the walk goes deeper.
        if (round % 2 == 0 && file.size() > 16) {
            Bytes head = sampleMovie();
            std::copy(head.begin(), head.begin() + 16, file.begin());
        }
        qztool::MovieInfo info = qztool::gatherMovieInfo("g", file);
        std::ostringstream text, json;
        qztool::printMovieInfo(info, true, text);
        qztool::printMovieInfoJson(info, true, json);
        EXPECT_TRUE(validJson(json.str()));
    }
    auto result = runProgram(QZ_QZTOOL_PATH, {"info", "/nonexistent/movie.qz"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("cannot open"), std::string::npos);
}

TEST(QztoolDemo, DeterministicAudibleAndFaithful) {
    std::string first = qztest::scratchPath("demo1.qz");
    std::string second = qztest::scratchPath("demo2.qz");
    auto result = runProgram(QZ_QZTOOL_PATH, {"demo", first});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1);
    ASSERT_EQ(runProgram(QZ_QZTOOL_PATH, {"demo", second}).exitCode, 0);
    Bytes bytes = qztest::readFileBytes(first);
    EXPECT_EQ(bytes, qztest::readFileBytes(second));

    qztool::MovieInfo info = qztool::gatherMovieInfo("demo", bytes);
    ASSERT_EQ(info.tracks.size(), 1u);
    EXPECT_EQ(info.tracks[0].header.format.codec, audioCodecIma);
    EXPECT_EQ(info.tracks[0].chunks, 150u);
    EXPECT_NEAR(info.durationSeconds, 10.0, 1e-9);

    // The decoded sound follows the melody it was made from.
    DecodedTrack decoded;
    std::string message;
    ASSERT_TRUE(decodeTrack(info.scan, bytes, 1, decoded, message));
    const Movie demo = qztool::demoMovie();
    const std::vector<std::int16_t>& source = demo.tracks[0].samples;
    ASSERT_EQ(decoded.pcm.size(), source.size() * 2);
    double signal = 0, noise = 0;
    for (std::size_t i = 0; i < source.size(); ++i) {
        double d = static_cast<std::int16_t>(decoded.pcm[2 * i] | decoded.pcm[2 * i + 1] << 8);
        signal += double(source[i]) * source[i];
        noise += (d - source[i]) * (d - source[i]);
    }
    EXPECT_GT(signal / source.size(), 1000.0 * 1000.0); // not silence
    EXPECT_GT(10 * std::log10(signal / std::max(noise, 1.0)), 20.0);
}

} // namespace

TEST(QztoolDemo, KrtAndDorDemosHoldTheirOwnFrames) {
    const struct {
        const char* flag;
        std::vector<std::string> ids;
    } cases[] = {{"--krt", {"KRTk", "KRTf"}}, {"--dor", {"DORk", "DORm", "DORe"}}};
    for (const auto& demo : cases) {
        const std::string path = qztest::scratchPath(std::string(demo.flag + 2) + ".qz");
        ASSERT_EQ(runProgram(QZ_QZTOOL_PATH, {"demo", demo.flag, path}).exitCode, 0) << demo.flag;
        const auto info = runProgram(QZ_QZTOOL_PATH, {"info", path});
        EXPECT_EQ(info.exitCode, 0);
        for (const std::string& id : demo.ids)
            EXPECT_NE(info.out.find(id), std::string::npos) << demo.flag << " lacks " << id;
    }
    EXPECT_EQ(runProgram(QZ_QZTOOL_PATH, {"demo", "--krt", "--dor", qztest::scratchPath("x.qz")})
                  .exitCode,
              1);
}
