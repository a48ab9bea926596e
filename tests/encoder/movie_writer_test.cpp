#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "audio/audio_decode.h"
#include "format/stream_header.h"
#include "encoder/movie_writer.h"

namespace {

struct Chunk {
    std::string id;
    Bytes payload;
};

// Splits well-formed movie bytes into chunks (ids as text).
std::vector<Chunk> chunksOf(const Bytes& file) {
    std::vector<Chunk> chunks;
    std::size_t at = 0;
    while (at + 8 <= file.size()) {
        std::uint32_t size = file[at + 4] | file[at + 5] << 8 | file[at + 6] << 16 |
                             static_cast<std::uint32_t>(file[at + 7]) << 24;
        EXPECT_GE(size, 8u);
        EXPECT_LE(at + size, file.size());
        if (size < 8 || at + size > file.size()) break;
        chunks.push_back({std::string(file.begin() + at, file.begin() + at + 4),
                          Bytes(file.begin() + at + 8, file.begin() + at + size)});
        at += size;
    }
    EXPECT_EQ(at, file.size());
    return chunks;
}

MovieTrack toneTrack(int channels, LONG codec, int frames, double hz) {
    MovieTrack track;
    track.format = {channels, 22050, 16, codec};
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            track.samples.push_back(static_cast<std::int16_t>(
                std::lround(9000 * std::sin(2 * 3.14159265 * hz * (c + 1) * i / 22050))));
    return track;
}

// Decodes payloads in order as the player does (IMA state carried, block ADPCM history per
// chunk) into 16-bit stereo samples.
std::vector<std::int16_t> decodeAll(const AudioFormat& format, const std::vector<Bytes>& payloads) {
    LONG history[4] = {};
    ImaChannel ima[2] = {};
    std::vector<std::int16_t> out;
    for (const Bytes& p : payloads) {
        auto length = static_cast<LONG>(p.size());
        LONG bytes = audioDecodedBytes(format, p.data(), length);
        Bytes pcm(static_cast<std::size_t>(bytes));
        LONG written =
            decodeAudioPayload(format, p.data(), length, history, ima, pcm.data(), bytes);
        for (LONG i = 0; i + 1 < written; i += 2)
            out.push_back(static_cast<std::int16_t>(pcm[i] | pcm[i + 1] << 8));
    }
    return out;
}

TEST(MovieWriter, HeadersThenSlotsOfVideoAndOneChunkPerTrack) {
    Movie movie;
    movie.tracks = {toneTrack(2, audioCodecIma, 1470 * 4, 440),
                    toneTrack(1, audioCodecPcm, 1470 * 2, 330)};
    movie.video = {{chunkId("KRTk"), Bytes(16, 1)}, {chunkId("KRTf"), Bytes(4, 2)}};
    std::vector<std::string> ids;
    for (const Chunk& c : chunksOf(movieBytes(movie))) ids.push_back(c.id);
    std::vector<std::string> expected = {"SCHl", "SCHl", "KRTk", "SCDl", "SCDl", "KRTf", "SCDl",
                                         "SCDl", "SCDl", "SCDl", "SCDl", "SCDl", "SEND"};
    EXPECT_EQ(ids, expected);
}

TEST(MovieWriter, VideoLongerThanAudioAndAudioOnlyMovies) {
    Movie movie;
    movie.tracks = {toneTrack(1, audioCodecPcm, 100, 440)};
    movie.video = {{chunkId("DORk"), Bytes(12)}, {chunkId("DORm"), Bytes(12)}};
    std::vector<std::string> ids;
    for (const Chunk& c : chunksOf(movieBytes(movie))) ids.push_back(c.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"SCHl", "DORk", "SCDl", "DORm", "SEND"}));

    Movie audioOnly;
    audioOnly.tracks = {toneTrack(1, audioCodecPcm, 3000, 440),
                        toneTrack(2, audioCodecPcm, 3000, 440)};
    audioOnly.options.headerId = chunkId("1SNh");
    audioOnly.options.dataId = chunkId("1SNd");
    audioOnly.options.endId = chunkId("1SNe");
    ids.clear();
    for (const Chunk& c : chunksOf(movieBytes(audioOnly))) ids.push_back(c.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"1SNh", "1SNh", "1SNd", "1SNd", "1SNd", "1SNd", "1SNd",
                                             "1SNd", "1SNe"}));
}

TEST(MovieWriter, ReversedIdsAndNoEndChunk) {
    Movie movie;
    movie.tracks = {toneTrack(1, audioCodecPcm, 10, 440)};
    movie.options.headerId = reversedChunkId(chunkId("SCHl"));
    movie.options.dataId = reversedChunkId(chunkId("SCDl"));
    movie.options.writeEnd = false;
    std::vector<Chunk> chunks = chunksOf(movieBytes(movie));
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0].id, "lHCS");
    EXPECT_EQ(chunks[1].id, "lDCS");
}

TEST(MovieWriter, HeaderCarriesEachTracksFormat) {
    Movie movie;
    movie.tracks = {toneTrack(2, audioCodecIma, 10, 440),
                    toneTrack(1, audioCodecBlockAdpcm, 10, 440)};
    movie.tracks[1].format.rate = 11025;
    std::vector<Chunk> chunks = chunksOf(movieBytes(movie));
    for (std::size_t t = 0; t < 2; ++t) {
        AudioFormat parsed{};
        parseStreamHeader(chunks[t].payload.data(), static_cast<LONG>(chunks[t].payload.size()),
                          &parsed);
        EXPECT_EQ(parsed.channels, movie.tracks[t].format.channels);
        EXPECT_EQ(parsed.rate, movie.tracks[t].format.rate);
        EXPECT_EQ(parsed.codec, movie.tracks[t].format.codec);
    }
}

TEST(MovieWriter, ChunksHoldOneSlotOfSamplesAndShortTracksArePaddedWithSilence) {
    Movie movie;
    movie.tracks = {toneTrack(2, audioCodecPcm, 1470 * 3 + 5, 440),
                    toneTrack(1, audioCodecPcm, 1000, 440)};
    ASSERT_EQ(movieSamplesPerSlot(movie.options, movie.tracks[0]), 1470);
    ASSERT_EQ(movieAudioSlots(movie), 4u);
    std::vector<Bytes> first = encodeTrackPayloads(movie, 0);
    std::vector<Bytes> second = encodeTrackPayloads(movie, 1);
    ASSERT_EQ(first.size(), 4u);
    ASSERT_EQ(second.size(), 4u);
    EXPECT_EQ(decodeAll(movie.tracks[0].format, {first[0]}).size(), 1470u * 2);
    EXPECT_EQ(decodeAll(movie.tracks[0].format, {first[3]}).size(), 5u * 2);
    // Track 2 ends inside its first chunk; the rest are whole slots of silence.
    EXPECT_EQ(decodeAll(movie.tracks[1].format, {second[0]}).size(), 1000u * 2);
    std::vector<std::int16_t> padding = decodeAll(movie.tracks[1].format, {second[2]});
    EXPECT_EQ(padding.size(), 1470u * 2);
    for (std::int16_t s : padding) ASSERT_EQ(s, 0);
}

TEST(MovieWriter, AdpcmTracksDecodeCloseToTheirSourceAcrossChunks) {
    // The IMA state and the block ADPCM history must run on across chunk boundaries, or the
    // decoded sound drifts away from the source after the first chunk.
    for (LONG codec : {audioCodecIma, audioCodecBlockAdpcm}) {
        Movie movie;
        movie.tracks = {toneTrack(2, codec, 1470 * 6, 300)};
        std::vector<std::int16_t> decoded =
            decodeAll(movie.tracks[0].format, encodeTrackPayloads(movie, 0));
        const std::vector<std::int16_t>& source = movie.tracks[0].samples;
        ASSERT_GE(decoded.size(), source.size()) << codec;
        double signal = 0, noise = 0;
        for (std::size_t i = 0; i < source.size(); ++i) {
            signal += double(source[i]) * source[i];
            noise += (double(decoded[i]) - source[i]) * (double(decoded[i]) - source[i]);
        }
        EXPECT_GT(10 * std::log10(signal / std::max(noise, 1.0)), 20.0) << "codec " << codec;
    }
}

} // namespace
