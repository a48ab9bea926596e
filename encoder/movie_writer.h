// Authors whole movies: the stream headers of every audio track at the top, then one frame slot
// after another (the slot's video chunk, then one audio data chunk per track), then the end
// chunk. Tests, the demo and qztool's authoring commands build their movies with it.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "format/container_writer.h"
#include "format/chunk_ids.h"

// One audio track: its format (the codec picks the encoder) and its samples, interleaved when
// stereo.
struct MovieTrack {
    AudioFormat format = defaultAudioFormat;
    std::vector<std::int16_t> samples;
};

// One video chunk, stored as given: the id as its little-endian value and the payload.
struct MovieVideoChunk {
    std::uint32_t id = chunkId("KRTk");
    Bytes payload;
};

struct MovieOptions {
    // Ids as little-endian values; pass reversedChunkId(...) for the reversed spelling. Players
    // count only as-written stream headers at the top of the file as tracks.
    std::uint32_t headerId = chunkId("SCHl");
    std::uint32_t dataId = chunkId("SCDl");
    std::uint32_t endId = chunkId("SEND");
    bool writeEnd = true;
    // Frame slots a second; a track's chunk holds rate / slotsPerSecond sample frames unless
    // samplesPerSlot is set.
    int slotsPerSecond = 15;
    int samplesPerSlot = 0;
    // Each slot's audio chunks go ahead of its video chunk. The player's loop goes back to the
    // first audio chunk, so laps then start with frame 0 rather than frame 1.
    bool audioFirst = false;
};

struct Movie {
    MovieOptions options;
    std::vector<MovieTrack> tracks;
    std::vector<MovieVideoChunk> video;
};

// Sample frames in each audio chunk of a track.
int movieSamplesPerSlot(const MovieOptions& options, const MovieTrack& track);
// Audio chunks each track gets: enough for the longest track. Shorter tracks are padded with
// silent chunks so that every run keeps one chunk per track in track order.
std::size_t movieAudioSlots(const Movie& movie);
// The video chunk a looping player starts its second and later laps with: the loop goes back
// to the first audio chunk, which the writer puts after video chunk 0 (0 without audio). That
// chunk, like the first, must not build on the picture before it. With audioFirst, 0.
std::size_t movieLapStartFrame(const Movie& movie);
// The data payloads of one track, one per audio slot. The IMA ADPCM state runs on from chunk
// to chunk as the players decode it, and block ADPCM chunks start their history from the
// samples before them; block ADPCM chunks begin on whole 28-frame blocks.
std::vector<Bytes> encodeTrackPayloads(const Movie& movie, std::size_t track);
// Appends the whole movie to writer.
void writeMovie(const Movie& movie, ChunkWriter& writer);
// Writes the movie's chunks in order through put (id as its little-endian value, payload),
// with videoCount video chunks given by video(i) in place of movie.video, so that a caller may
// keep them elsewhere (a file) until they are written. Stops with false when put does.
bool writeMovieChunks(const Movie& movie, std::size_t videoCount,
                      const std::function<const MovieVideoChunk&(std::size_t)>& video,
                      const std::function<bool(std::uint32_t, const Bytes&)>& put);
// The whole movie as file bytes.
Bytes movieBytes(const Movie& movie);
