// A DOR movie played by the engine into caller memory: when the picture falls behind the sound
// the play loop drops only non-reference frames, and the motion frames after the drop still
// decode to the same pictures as a full decode; every lap of a looping movie starts without
// the reference picture of the lap before.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "encoder/dor_encoder.h"
#include "encoder/movie_writer.h"
#include "encoder/type3_encoder.h"
#include "engine/player.h"
#include "api/shared.h"
#include "tests/engine/player_movies.h"
#include "tests/video/dor_test_support.h"
#include "video/decoder_table.h"

namespace {

constexpr int width = 32, height = 32;
constexpr int stallAtFrame = 6;

std::atomic<int> decodedOfType[8];
std::atomic<int> callbacks{0};

void countingDorFrame(VideoState* ctx, const BYTE* payload, BYTE* base, LONG pitch, LONG type) {
    ++decodedOfType[type];
    decodeDorFrame(ctx, payload, base, pitch, type);
}

// Stalls the play thread once, long enough for the sound to run several slots ahead.
int stallingCallback() {
    if (++callbacks == stallAtFrame) std::this_thread::sleep_for(std::chrono::milliseconds(700));
    return 0;
}

// Whether the DOR reference picture existed as each frame came, for the first frames.
constexpr int notedFrames = 7;
std::atomic<int> framesNoted{0};
std::atomic<int> referenceSeen[notedFrames];

void notingDorFrame(VideoState* ctx, const BYTE* payload, BYTE* base, LONG pitch, LONG type) {
    const int n = framesNoted++;
    if (n < notedFrames) referenceSeen[n] = ctx->dor.reference != nullptr ? 1 : 0;
    decodeDorFrame(ctx, payload, base, pitch, type);
}

int stopAfterNotedFrames() {
    return ++callbacks >= notedFrames ? 1 : 0;
}

YuvPicture picture(int t) {
    YuvPicture p = makeYuvPicture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p.y[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint8_t>(60 + ((x + t) * 5 + y * 3) % 140);
    std::fill(p.cb.begin(), p.cb.end(), std::uint8_t{110});
    std::fill(p.cr.begin(), p.cr.end(), std::uint8_t{150});
    return p;
}

TEST(DorPlayback, FallingBehindDropsOnlyNonReferenceFrames) {
    Movie movie;
    movie.options.slotsPerSecond = 15;
    MovieTrack track;
    track.format = {2, 22050, 16, audioCodecPcm};
    constexpr int slots = 46;
    track.samples.assign(static_cast<std::size_t>(22050 / 15) * slots * 2, 0);
    movie.tracks.push_back(track);
    DorEncoder encoder;
    int counts[8] = {};
    std::vector<std::pair<Bytes, LONG>> frames;
    for (int t = 0; t < slots; ++t) {
        const DorFrameKind kind =
            t == 0 ? DorFrameKind::key
                   : (t % 3 == 0 ? DorFrameKind::motion : DorFrameKind::nonReference);
        const Bytes payload = encoder.encode(picture(t), kind);
        movie.video.push_back({dorChunkId(kind), payload});
        frames.emplace_back(payload, dorFrameType(kind));
        ++counts[dorFrameType(kind)];
    }
    // The last frame is a motion frame: whatever was dropped, it must show the full decode's
    // picture.
    ASSERT_EQ(frames.back().second, 6);
    const std::string path = qztest::writeScratchFile("dor.qz", movieBytes(movie));

    for (auto& n : decodedOfType) n = 0;
    callbacks = 0;
    const DecoderEntryPoints saved = decoderEntryPoints;
    decoderEntryPoints.dorFrame = countingDorFrame;
    std::vector<BYTE> buffer(static_cast<std::size_t>(width) * 2 * height, 0);
    PlayerConfig config = playertest::blankConfig(ownThread | callerBuffers | frameCallbackGiven);
    config.frameCallback = stallingCallback;
    config.frameBuffer = buffer.data();
    config.frameBuffer2 = buffer.data();
    config.pixelFormat = dcttest::rgb565;
    ASSERT_EQ(playerOpen(path.c_str(), nullptr, &config), &config);
    ASSERT_TRUE(playertest::waitFor([&] { return playerIsPlaying(&config) == 0; }));
    decoderEntryPoints = saved;

    EXPECT_EQ(callbacks.load(), slots);
    EXPECT_EQ(decodedOfType[5].load(), counts[5]);
    EXPECT_EQ(decodedOfType[6].load(), counts[6]);
    EXPECT_LT(decodedOfType[7].load(), counts[7]); // some were dropped while behind
    EXPECT_GT(decodedOfType[7].load(), 0);

    dortest::Decoder full(dcttest::rgb565);
    dcttest::Target expected(width * 2, height);
    for (const auto& [payload, type] : frames) full.decode(payload, type, &expected);
    for (int y = 0; y < height - 1; ++y)
        ASSERT_EQ(std::memcmp(buffer.data() + y * width * 2, expected.origin() + y * expected.pitch,
                              width * 2),
                  0)
            << y;
}

TEST(DorPlayback, EveryLapOfALoopingMovieStartsWithoutAReference) {
    // Without audio the loop goes back to the top: frames 0, 3 and 6 each start a lap and
    // find no reference, as the first frame did; the motion frames after them build on them.
    Movie movie;
    DorEncoder encoder;
    for (int t = 0; t < 3; ++t) {
        const DorFrameKind kind = t == 0 ? DorFrameKind::key : DorFrameKind::motion;
        movie.video.push_back({dorChunkId(kind), encoder.encode(picture(t), kind)});
    }
    const std::string path = qztest::writeScratchFile("dor_laps.qz", movieBytes(movie));
    framesNoted = 0;
    callbacks = 0;
    const DecoderEntryPoints saved = decoderEntryPoints;
    decoderEntryPoints.dorFrame = notingDorFrame;
    std::vector<BYTE> buffer(static_cast<std::size_t>(width) * 2 * height, 0);
    PlayerConfig config =
        playertest::blankConfig(ownThread | callerBuffers | frameCallbackGiven | loopPlay);
    config.frameCallback = stopAfterNotedFrames;
    config.frameBuffer = buffer.data();
    config.frameBuffer2 = buffer.data();
    config.pixelFormat = dcttest::rgb565;
    ASSERT_EQ(playerOpen(path.c_str(), nullptr, &config), &config);
    ASSERT_TRUE(playertest::waitFor([&] { return playerIsPlaying(&config) == 0; }));
    decoderEntryPoints = saved;
    ASSERT_EQ(framesNoted.load(), notedFrames);
    for (int i = 0; i < notedFrames; ++i) EXPECT_EQ(referenceSeen[i].load(), i % 3 != 0) << i;
}

std::atomic<int> typeThreeDecoded{0};
FrameDecoder plainTypeThree = nullptr;

void countingTypeThree(VideoState* ctx, const BYTE* data, BYTE* target, BYTE* second, LONG pitch) {
    ++typeThreeDecoded;
    plainTypeThree(ctx, data, target, second, pitch);
}

// A type-3 frame's skipped macroblocks keep the picture before it, so a late type-3 frame is
// decoded (and not shown) like the frames later ones are predicted from.
TEST(DorPlayback, FallingBehindStillDecodesTypeThreeFrames) {
    Movie movie;
    MovieTrack track;
    track.format = {2, 22050, 16, audioCodecPcm};
    constexpr int slots = 46;
    track.samples.assign(static_cast<std::size_t>(22050 / 15) * slots * 2, 0);
    movie.tracks.push_back(track);
    YuvPicture before = picture(0);
    for (int t = 0; t < slots; ++t) {
        const YuvPicture now = picture(t);
        movie.video.push_back(
            {chunkId("MQZf"), encodeType3Frame(now, 80, t == 0 ? nullptr : &before)});
        before = now;
    }
    const std::string path = qztest::writeScratchFile("type3.qz", movieBytes(movie));
    typeThreeDecoded = 0;
    callbacks = 0;
    const DecoderEntryPoints saved = decoderEntryPoints;
    plainTypeThree = saved.type3Decode16;
    decoderEntryPoints.type3Decode16 = countingTypeThree;
    std::vector<BYTE> buffer(static_cast<std::size_t>(width) * 2 * height, 0);
    PlayerConfig config = playertest::blankConfig(ownThread | callerBuffers | frameCallbackGiven);
    config.frameCallback = stallingCallback;
    config.frameBuffer = buffer.data();
    config.frameBuffer2 = buffer.data();
    config.pixelFormat = dcttest::rgb565;
    ASSERT_EQ(playerOpen(path.c_str(), nullptr, &config), &config);
    ASSERT_TRUE(playertest::waitFor([&] { return playerIsPlaying(&config) == 0; }));
    decoderEntryPoints = saved;
    EXPECT_EQ(callbacks.load(), slots);
    EXPECT_EQ(typeThreeDecoded.load(), slots);
}

} // namespace
