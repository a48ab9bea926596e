// Seeking: the index the player builds from a movie's chunk headers, and seeks in the demo
// movies of every codec family, which must land exactly on the picture and the sound a straight
// run has at the slot.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "audio/track_audio.h"
#include "engine/player.h"
#include "format/chunk_walker.h"
#include "format/movie_index.h"
#include "format/movie_scan.h"
#include "platform/standin/dsound_control.h"
#include "tests/engine/player_sound_support.h"
#include "tests/support/test_support.h"
#include "tools/demo_dor.h"
#include "tools/demo_krt.h"
#include "tools/demo_movie.h"

namespace {

// Counts what the walk reads, so that reading a payload shows.
class CountingSource final : public ByteSource {
  public:
    explicit CountingSource(const Bytes& bytes) : inner_(bytes.data(), bytes.size()) {}
    std::size_t size() const override { return inner_.size(); }
    void read(std::size_t offset, std::size_t count, BYTE* out) override {
        largestRead = std::max(largestRead, count);
        inner_.read(offset, count, out);
    }
    std::size_t largestRead = 0;

  private:
    MemorySource inner_;
};

} // namespace

TEST(MovieIndex, FramesRestartPointsAndAudioOfEachTrackFromTheHeadersAlone) {
    ChunkWriter movie;
    movie.chunk("SCHl", streamHeaderPayload(defaultAudioFormat));
    movie.chunk("SCHl", streamHeaderPayload(defaultAudioFormat));
    const DWORD ids[] = {chunkId("KRTk"), chunkId("KRTf"), chunkId("MQZf"), chunkId("QZ2f"),
                         chunkId("DORk"), chunkId("DORm"), chunkId("DORe"), chunkId("MQZf")};
    std::vector<std::size_t> frameOffsets, track1, track2;
    for (int f = 0; f < 8; ++f) {
        frameOffsets.push_back(movie.bytes().size());
        movie.chunkWithId(ids[f], Bytes(40, 1));
        if (f == 2) movie.chunk("KRTk", {}); // empty: no frame, no slot
        if (f == 3) movie.chunk("SCCl", Bytes(4, 0));
        if (f == 5) movie.chunk("XXXX", {}); // unknown: passed over by its header, ends the run
        track1.push_back(movie.bytes().size());
        movie.chunk("SCDl", Bytes(100, 2));
        if (f == 5) continue; // a run of one: the track-2 chunk is missing here
        track2.push_back(movie.bytes().size());
        movie.chunk("SCDl", Bytes(100, 3));
    }
    movie.chunk("SEND", {});
    movie.chunk("MQZf", Bytes(40, 1)); // after the end of the data: not indexed

    CountingSource source(movie.bytes());
    const MovieIndex index = buildMovieIndex(source, 1 << 20);
    EXPECT_LE(source.largestRead, 8u); // chunk headers only
    ASSERT_EQ(index.frames.size(), 8u);
    const bool restarts[] = {true, false, false, true, true, false, false, false};
    for (std::size_t f = 0; f < 8; ++f) {
        EXPECT_EQ(index.frames[f].offset, frameOffsets[f]) << f;
        EXPECT_EQ(index.frames[f].restart, restarts[f]) << f;
    }
    EXPECT_EQ(index.frames[6].type, 7);
    ASSERT_EQ(index.tracks.size(), 2u);
    ASSERT_EQ(index.tracks[0].size(), 8u);
    ASSERT_EQ(index.tracks[1].size(), 7u);
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(index.tracks[0][i].offset, track1[i]);
        EXPECT_EQ(index.tracks[0][i].slot, i + 1);
    }
    EXPECT_EQ(index.tracks[1][5].offset, track2[5]);
    EXPECT_EQ(index.tracks[1][5].slot, 7u);
    // The nearest restart at or before a slot.
    EXPECT_EQ(index.restartSlot(2), 0u);
    EXPECT_EQ(index.restartSlot(3), 3u);
    EXPECT_EQ(index.restartSlot(7), 4u);
    EXPECT_EQ(index.restartSlot(100), 4u);
}

namespace {

constexpr int seeksPerMovie = QZ_TEST_SANITIZED ? 6 : 20;
constexpr LONG pictureWidth = 320, pictureHeight = 240;
constexpr std::size_t pictureBytes = std::size_t{pictureWidth} * 2 * pictureHeight;
const PixelFormat rgb565{5, 6, 5, 11, 5, 0, 0xFFFF, 16};

std::vector<Bytes> straightPictures;
BYTE* straightBuffer = nullptr;

int keepPicture() {
    straightPictures.emplace_back(straightBuffer, straightBuffer + pictureBytes);
    return 0;
}

PlayerConfig callerMemoryConfig(DWORD flags, Bytes& buffer) {
    PlayerConfig config{};
    config.flags = flags | callerBuffers;
    config.frameBuffer = buffer.data();
    config.frameBuffer2 = buffer.data();
    config.pixelFormat = rgb565;
    return config;
}

// The pictures of every slot in a straight run: the movie's video chunks alone, played to the
// end on this thread without sound (so that no frame is dropped).
std::vector<Bytes> playStraight(const Bytes& file) {
    ChunkWriter videoOnly;
    for (std::size_t at = 0; at < file.size();) {
        const ChunkSpan span = walkChunkAt(file.data(), file.size(), at);
        if (span.step.action == ChunkAction::end || span.step.action == ChunkAction::cutHeader)
            break;
        if (span.step.cls.kind == ChunkKind::video)
            videoOnly.chunkWithId(span.step.header.id,
                                  Bytes(file.begin() + std::ptrdiff_t(at + 8),
                                        file.begin() + std::ptrdiff_t(span.next)));
        at = span.next;
    }
    videoOnly.chunk("SEND", {});
    Bytes buffer(pictureBytes, 0);
    PlayerConfig config = callerMemoryConfig(frameCallbackGiven, buffer);
    config.frameCallback = keepPicture;
    straightPictures.clear();
    straightBuffer = buffer.data();
    const std::string path = qztest::writeScratchFile("straight.qz", videoOnly.bytes());
    EXPECT_EQ(playerOpen(path.c_str(), nullptr, &config), nullptr);
    return std::move(straightPictures);
}

// The sound of track 1 as decoded blocks, and the slot each is heard with (video chunks
// before it).
struct TrackBlocks {
    std::vector<Bytes> blocks;
    std::vector<std::size_t> slots;
};

TrackBlocks straightSound(const Bytes& file) {
    const MovieScan scan = scanMovie(file);
    TrackBlocks track;
    std::size_t videoBefore = 0;
    for (const ScannedChunk& chunk : scan.chunks) {
        if (chunk.kind == ChunkKind::video && chunk.payloadTaken()) ++videoBefore;
        if (chunk.kind == ChunkKind::audioData && chunk.payloadTaken())
            track.slots.push_back(videoBefore);
    }
    MemorySource source(file.data(), file.size());
    DecodedTrack decoded;
    std::string message;
    EXPECT_TRUE(decodeTrack(
        scan, source, 1, decoded,
        [&](const std::uint8_t* pcm, std::size_t bytes) {
            track.blocks.emplace_back(pcm, pcm + bytes);
            return true;
        },
        message))
        << message;
    EXPECT_EQ(track.blocks.size(), track.slots.size()); // one track: every block is track 1's
    return track;
}

// The sound a run from slot on makes: the blocks after the slot's frame, then (looping) the
// track from its start again.
Bytes soundFrom(const TrackBlocks& track, std::size_t slot, std::size_t blocks) {
    Bytes out;
    std::size_t b = 0;
    while (b < track.slots.size() && track.slots[b] <= slot) ++b;
    for (std::size_t n = 0; n < blocks; ++n, ++b) {
        const Bytes& block = track.blocks[b % track.blocks.size()];
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

// Resumes the paused movie until it has played on: what is heard holds the expected sound,
// whole, less than half its length in (what the device had taken before the pause leads it).
void expectHeardOnResume(PlayerConfig& config, const Bytes& sound) {
    const std::uint64_t mark = qzplat::soundBytesHeardNow();
    const Bytes expected = soundtest::audible(sound);
    EXPECT_EQ(playerPause(&config), 0);
    ASSERT_TRUE(playertest::waitFor(
        [&] { return qzplat::soundBytesHeardNow() >= mark + expected.size() * 2; }));
    EXPECT_EQ(playerPause(&config), 1);
    const Bytes heard = qzplat::heardSounds().back().bytes;
    const Bytes after =
        soundtest::audible(Bytes(heard.begin() + std::ptrdiff_t(mark), heard.end()));
    const auto found = std::search(after.begin(), after.end(), expected.begin(), expected.end());
    ASSERT_NE(found, after.end());
    EXPECT_LT(found - after.begin(), std::ptrdiff_t(expected.size() / 2));
}

void seekAround(const std::string& path) {
    const Bytes file = qztest::readFileBytes(path);
    const std::vector<Bytes> pictures = playStraight(file);
    const TrackBlocks sound = straightSound(file);
    ASSERT_GT(pictures.size(), 20u);
    ASSERT_FALSE(sound.blocks.empty());

    qzplat::resetDirectSound();
    Bytes buffer(pictureBytes, 0);
    PlayerConfig config = callerMemoryConfig(ownThread | audioOn | loopPlay, buffer);
    ASSERT_EQ(playerOpen(path.c_str(), nullptr, &config), &config);
    // The movie is stopped however the checks end, before the record goes.
    const std::unique_ptr<PlayerConfig, int (*)(PlayerConfig*)> stopper(&config, playerStop);
    ASSERT_EQ(playerPause(&config), 1);
    PlayerContext* ctx = config.context;
    std::mt19937 random(17);
    std::uniform_int_distribution<LONG> slots(0, static_cast<LONG>(pictures.size()) - 1);
    for (int n = 0; n < seeksPerMovie; ++n) {
        const LONG slot = slots(random);
        SCOPED_TRACE(testing::Message() << "seek " << n << " to slot " << slot);
        const LONG done = sharedLoad(ctx->seeksDone);
        ASSERT_EQ(playerSeek(&config, slot), 0);
        ASSERT_TRUE(playertest::waitFor([&] { return sharedLoad(ctx->seeksDone) > done; }));
        // Paused, it shows the slot's picture.
        EXPECT_EQ(sharedLoad(config.state), statePaused);
        EXPECT_TRUE(buffer == pictures[static_cast<std::size_t>(slot)]);

        expectHeardOnResume(config, soundFrom(sound, std::size_t(slot), 2));
    }
    EXPECT_EQ(playerStop(&config), 0);
}

} // namespace

TEST(Seek, EverySeekInEveryCodecFamilyLandsOnTheStraightRunsPictureAndSound) {
    std::string message;
    const std::string dct =
        qztest::writeScratchFile("seek_dct.qz", movieBytes(qztool::demoMovie()));
    const std::string krt = qztest::scratchPath("seek_krt.qz");
    ASSERT_TRUE(qztool::writeKrtDemoMovie(krt, message)) << message;
    const std::string dor = qztest::scratchPath("seek_dor.qz");
    ASSERT_TRUE(qztool::writeDorDemoMovie(dor, message)) << message;
    for (const std::string& path : {dct, krt, dor}) {
        SCOPED_TRACE(path);
        seekAround(path);
        qzplat::resetDirectSound();
    }
}

// A movie of sound alone moves by its blocks: with two tracks of different sound and the
// second selected, the sound after a seek is that track from the block on, and the timeline
// stands at the block.
TEST(Seek, SoundOnlyMovieLandsOnTheSelectedTracksBlock) {
    Movie movie = qztool::demoMovie();
    movie.video.clear();
    MovieTrack second = movie.tracks.front();
    for (std::size_t i = 0; i < second.samples.size(); ++i)
        second.samples[i] = static_cast<std::int16_t>(second.samples[i] / 2 + (i % 7) * 300);
    movie.tracks.push_back(second);
    const Bytes file = movieBytes(movie);
    const std::string path = qztest::writeScratchFile("seek_sound.qz", file);

    std::vector<Bytes> blocks;
    MemorySource source(file.data(), file.size());
    DecodedTrack decoded;
    std::string message;
    ASSERT_TRUE(decodeTrack(
        scanMovie(file), source, 2, decoded,
        [&](const std::uint8_t* pcm, std::size_t bytes) {
            blocks.emplace_back(pcm, pcm + bytes);
            return true;
        },
        message))
        << message;
    ASSERT_GT(blocks.size(), 40u);

    qzplat::resetDirectSound();
    PlayerConfig config{};
    config.flags = ownThread | audioOn | trackGiven | loopPlay;
    config.track = 2;
    ASSERT_EQ(playerOpen(path.c_str(), nullptr, &config), &config);
    const std::unique_ptr<PlayerConfig, int (*)(PlayerConfig*)> stopper(&config, playerStop);
    ASSERT_EQ(playerPause(&config), 1);
    PlayerContext* ctx = config.context;
    const LONG last = static_cast<LONG>(blocks.size()) - 3;
    for (const LONG slot : {LONG{30}, LONG{5}, last, LONG{17}}) {
        SCOPED_TRACE(testing::Message() << "seek to block " << slot);
        const LONG done = sharedLoad(ctx->seeksDone);
        ASSERT_EQ(playerSeek(&config, slot), 0);
        ASSERT_TRUE(playertest::waitFor([&] { return sharedLoad(ctx->seeksDone) > done; }));
        PlayerTimeline timeline{};
        ASSERT_EQ(playerTimeline(&config, &timeline), 0);
        EXPECT_EQ(timeline.slots, static_cast<LONG>(blocks.size()));
        EXPECT_EQ(timeline.slot, slot);
        Bytes expected = blocks[std::size_t(slot)];
        expected.insert(expected.end(), blocks[std::size_t(slot) + 1].begin(),
                        blocks[std::size_t(slot) + 1].end());
        expectHeardOnResume(config, expected);
    }
    EXPECT_EQ(playerStop(&config), 0);
}
