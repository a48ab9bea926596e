// qztool on damaged movies: the audio and the frames it exports are those the player's reader
// queues, and info names every damaged place it passed over.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "encoder/movie_writer.h"
#include "encoder/type4_encoder.h"
#include "tests/engine/reader_harness.h"
#include "tests/support/test_support.h"
#include "tools/movie_file.h"

namespace {

using qztest::runProgram;

constexpr int slots = 6;

MovieTrack tone(int channels, LONG codec, LONG rate, double hz) {
    MovieTrack track;
    track.format = {channels, rate, 16, codec};
    const int frames = static_cast<int>(rate / 15) * slots;
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            track.samples.push_back(static_cast<std::int16_t>(
                std::lround(6000 * std::sin(2 * 3.14159265 * hz * (c + 1) * i / rate))));
    return track;
}

// Two tracks and one 16x16 type-4 frame a slot; the frames' payloads are padded to whole
// 8-byte steps, so that a reader passing over a frame's bytes header by header meets the next
// chunk again.
Bytes sampleMovie() {
    Movie movie;
    movie.tracks = {tone(2, audioCodecIma, 22050, 440), tone(1, audioCodecPcm, 11025, 330)};
    for (int s = 0; s < slots; ++s) {
        YuvPicture picture = makeYuvPicture(16, 16);
        for (std::size_t i = 0; i < picture.y.size(); ++i)
            picture.y[i] = static_cast<std::uint8_t>(16 * s + i % 16);
        std::fill(picture.cb.begin(), picture.cb.end(), 128);
        std::fill(picture.cr.begin(), picture.cr.end(), 128);
        Bytes payload = encodeType4Frame(picture, 80);
        payload.resize((payload.size() + 7) / 8 * 8, 0);
        movie.video.push_back({chunkId("QZ2f"), payload});
    }
    return movieBytes(movie);
}

struct Played {
    Bytes audio;
    std::size_t frames = 0;
};

// What the player's reader queues for the track: its prefill, then refills as the play loop
// makes them, each after the queues were emptied.
Played playedByReader(const Bytes& file, int track) {
    readertest::Reader reader;
    ChunkWriter writer;
    writer.raw(file);
    Played played;
    EXPECT_EQ(reader.load(writer, trackGiven, track), 0);
    for (int pass = 0; pass < 1000; ++pass) {
        for (; reader.c->framesBuffered > 0; ++played.frames) reader.takeFrame();
        while (reader.c->audioBuffered > 0) {
            const AudioEntry entry = reader.takeAudio();
            played.audio.insert(played.audio.end(), entry.samples, entry.samples + entry.bytes);
        }
        if (reader.c->lastRead == readEnd) break;
        refill(reader.c);
    }
    return played;
}

Bytes header(const char (&id)[5], DWORD size) {
    Bytes bytes(id, id + 4);
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(size >> (8 * i)));
    return bytes;
}

std::string at(std::size_t offset) {
    char text[64];
    std::snprintf(text, sizeof text, "at offset %zu (0x%zx): ", offset, offset);
    return text;
}

} // namespace

TEST(QztoolDamage, ExportsWhatThePlayerPlaysAndInfoNamesEachDamage) {
    const Bytes good = sampleMovie();
    const MovieScan scan = scanMovie(good);
    ASSERT_TRUE(scan.damage.empty());
    // Chunks: two stream headers, then a video chunk and one audio chunk per track a slot.
    auto chunkAt = [&](int slot, int n) { return scan.chunks[2 + 3 * slot + n]; };

    struct Case {
        const char* name;
        Bytes file;
        std::string line; // what info says of the (first) damage
    };
    std::vector<Case> cases;
    {
        // A header of size 0 inside a run: the reader steps over its 8 bytes, and the run
        // starts again, so track 2's chunk of that slot plays as track 1's.
        const std::size_t off = chunkAt(1, 2).offset;
        Bytes file(good.begin(), good.begin() + off);
        const Bytes zero = header("SCDl", 0);
        file.insert(file.end(), zero.begin(), zero.end());
        file.insert(file.end(), good.begin() + off, good.end());
        cases.push_back(
            {"size 0", file,
             "skipped 8 bytes " + at(off) + "chunk \"SCDl\" has size 0, below the 8 header bytes"});
    }
    {
        // An unknown id on a frame: its payload is read header by header, as garbage, up to
        // the next chunk; info gives those headers one line.
        const std::size_t off = chunkAt(2, 0).offset;
        Bytes file = good;
        std::copy_n("JUNK", 4, file.begin() + off);
        cases.push_back({"unknown id", file,
                         "skipped " + std::to_string(8 + chunkAt(2, 0).payloadSize()) + " bytes " +
                             at(off) + "unknown chunk id \"JUNK\"; then "});
    }
    {
        // A size past the end of the file: the rest of the file is read as this chunk's audio.
        const ScannedChunk chunk = chunkAt(3, 1);
        Bytes file = good;
        const auto size = static_cast<DWORD>(good.size() - chunk.offset + 100);
        const Bytes bad = header("SCDl", size);
        std::copy(bad.begin(), bad.end(), file.begin() + chunk.offset);
        cases.push_back({"size past the end", file,
                         "cut short " + at(chunk.offset) + "chunk \"SCDl\" of " +
                             std::to_string(size) + " bytes runs past the end of the file"});
    }
    {
        // The last payload cut in half and no end chunk: what is there of it is played.
        const ScannedChunk chunk = chunkAt(slots - 1, 2);
        Bytes file(good.begin(), good.begin() + chunk.offset + 8 + chunk.payloadSize() / 2);
        cases.push_back({"truncated last payload", file, "cut short " + at(chunk.offset)});
    }
    {
        // The last three together; the size-0 header goes last, since it moves what follows.
        Bytes file = cases[3].file;
        std::copy_n("JUNK", 4, file.begin() + chunkAt(2, 0).offset);
        const Bytes zero = header("SCDl", 0);
        file.insert(file.begin() + chunkAt(1, 2).offset, zero.begin(), zero.end());
        cases.push_back({"all together", file, cases[0].line});
    }

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = qztest::writeScratchFile("damaged.qz", c.file);
        for (int track = 1; track <= 2; ++track) {
            const Played played = playedByReader(c.file, track);
            const std::string raw = qztest::scratchPath("damaged.pcm");
            std::remove(raw.c_str());
            const auto audio = runProgram(
                QZ_QZTOOL_PATH, {"audio", path, "--track", std::to_string(track), "--raw", raw});
            EXPECT_EQ(audio.exitCode, 0) << audio.err;
            EXPECT_NE(audio.err.find("warning: " + path + ": "), std::string::npos) << audio.err;
            EXPECT_EQ(qztest::readFileBytes(raw), played.audio) << "track " << track;
            if (track == 2) continue;
            const auto frames =
                runProgram(QZ_QZTOOL_PATH, {"frames", path, "--pixel-format", "xrgb8888", "--raw",
                                            qztest::scratchPath("damaged.raw")});
            EXPECT_EQ(frames.exitCode, 0) << frames.err;
            EXPECT_NE(frames.out.find("wrote " + std::to_string(played.frames) + " frames"),
                      std::string::npos)
                << frames.out;
        }
        const auto info = runProgram(QZ_QZTOOL_PATH, {"info", path});
        EXPECT_EQ(info.exitCode, 1);
        EXPECT_NE(info.out.find("damage passed over as the player does: "), std::string::npos);
        EXPECT_NE(info.out.find("\n  " + c.line), std::string::npos) << info.out;
        EXPECT_NE(info.err.find(c.line), std::string::npos) << info.err;
    }
}

TEST(QztoolDamage, ABlockThatDecodesPastTheAudioRingIsCutAsThePlayerCutsIt) {
    ChunkWriter writer;
    writer.chunk("SCHl", streamHeaderPayload({1, 22050, 16, audioCodecBlockAdpcm}));
    Bytes big(12 + 15 * 2999, 0x35); // 83972 frames: more than the ring holds
    writer.chunk("SCDl", big);
    writer.chunk("SEND", {});
    const Played played = playedByReader(writer.bytes(), 1);
    ASSERT_EQ(played.audio.size(), static_cast<std::size_t>(maxAudioBlockBytes));
    const std::string path = qztest::writeScratchFile("big.qz", writer.bytes());
    const std::string raw = qztest::scratchPath("big.pcm");
    ASSERT_EQ(runProgram(QZ_QZTOOL_PATH, {"audio", path, "--raw", raw}).exitCode, 0);
    EXPECT_EQ(qztest::readFileBytes(raw), played.audio);
}
