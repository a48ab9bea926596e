// Walks a movie file held in memory: its chunks, its audio tracks and which track every audio
// data chunk belongs to, counted the way the player's reader counts them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "audio/audio_format.h"
#include "encoder/container_writer.h"
#include "engine/chunk_ids.h"

namespace qztool {

// The largest audio or stream header payload the player reads; larger ones are skipped.
inline constexpr std::size_t maxAudioPayload = 49152;

struct ScannedChunk {
    std::size_t offset = 0;
    std::uint32_t id = 0;
    std::uint32_t size = 0; // as stored: counts the 8 header bytes
    ChunkKind kind = ChunkKind::unknown;
    LONG frameType = 0;
    std::size_t payloadOffset() const { return offset + chunkHeaderBytes; }
    std::size_t payloadSize() const { return size - chunkHeaderBytes; }
};

struct MovieScan {
    // Every chunk up to and including the first end-of-data chunk.
    std::vector<ScannedChunk> chunks;
    std::size_t fileSize = 0;
    // Offset of the first end-of-data chunk, if there is one.
    std::optional<std::size_t> endOffset;
    // Bytes after the end-of-data chunk (not examined).
    std::size_t trailingBytes = 0;
    // When the file stops making sense: the offset and why. Everything before it is in chunks.
    std::optional<std::size_t> errorOffset;
    std::string error;
};

// Reads a whole file; false with a message when it cannot be read.
bool loadFile(const std::string& path, Bytes& bytes, std::string& message);
// Splits the file into chunks, stopping at the first end-of-data chunk or at the first header
// that is cut short, holds a size below 8, runs past the end of the file or has an unknown id.
MovieScan scanMovie(const Bytes& file);

struct TrackHeader {
    AudioFormat format = defaultAudioFormat;
    std::uint32_t id = 0;
    // Payload above maxAudioPayload: the player skips it, the track keeps the default format.
    bool oversized = false;
};

// The stream headers at the very top of the file, one per track: the ids "SCHl", "1SNh" and
// "SKOD" as written, as the player counts them.
std::vector<TrackHeader> leadingTrackHeaders(const MovieScan& scan, const Bytes& file);

// One audio data chunk with the track it belongs to and the format it decodes in.
struct AudioChunkRef {
    std::size_t chunk = 0; // index into MovieScan::chunks
    int track = 0;         // 1-based
    AudioFormat format = defaultAudioFormat;
    bool oversized = false; // skipped by the player: not decoded
};

// Every audio data chunk in file order. Consecutive audio data chunks form a run (any other
// chunk ends it) and the k-th chunk of a run belongs to trackOfRunChunk(k, track count). A
// chunk decodes in its track's leading header format until a later stream header, which from
// then on applies to every track. Empty when the file has no leading stream header.
std::vector<AudioChunkRef> audioChunks(const MovieScan& scan, const Bytes& file,
                                       const std::vector<TrackHeader>& tracks);

// "PCM", "block ADPCM", "IMA ADPCM" or "unknown".
const char* codecName(LONG codec);

} // namespace qztool
