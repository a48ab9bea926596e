// A movie file walked as the player's reader walks it: its chunks, the damage the reader passes
// over, its audio tracks and which track every audio data chunk belongs to. Tools and fuzz
// targets see exactly what the player plays. The file is a byte source: the walk reads chunk
// headers, the first bytes of video payloads, and whole payloads only where it needs them
// (stream headers), one at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "format/audio_format.h"
#include "format/byte_source.h"
#include "format/chunk_walker.h"
#include "format/container_writer.h"

// Payload bytes the scan keeps of a video chunk: enough for every frame type's picture size (a
// DOR frame's at bytes 8 to 11) and a KRT key frame's palette count, so that tools that look at
// every frame's header need no read of their own.
constexpr std::size_t videoHeadBytes = 12;

struct ScannedChunk {
    std::size_t offset = 0;
    std::uint32_t id = 0;
    std::uint32_t size = 0; // as stored: counts the 8 header bytes
    ChunkKind kind = ChunkKind::unknown;
    LONG frameType = 0;
    // read, or skip for an ignored kind or a payload above the reader's limit for its kind.
    ChunkAction action = ChunkAction::read;
    // Payload bytes the file holds, read or not: fewer than size - 8 when the end of the file
    // cuts it short.
    std::size_t payloadBytes = 0;
    // The reader passed over damage just before this chunk, which ends an audio run and the
    // stream headers at the top of the file.
    bool afterDamage = false;
    // A video chunk's first payload bytes, as many as the file holds up to videoHeadBytes (see
    // headSize()); zeros past them and for other kinds.
    std::array<BYTE, videoHeadBytes> head{};
    std::size_t payloadOffset() const { return offset + chunkHeaderBytes; }
    std::size_t payloadSize() const { return payloadBytes; }
    std::size_t headSize() const {
        if (kind != ChunkKind::video) return 0;
        return payloadBytes < videoHeadBytes ? payloadBytes : videoHeadBytes;
    }
    // Whether the reader takes the payload: read, and not cut off entirely by the file's end
    // (a read that gets nothing is the end of the data).
    bool payloadTaken() const {
        return action == ChunkAction::read &&
               (payloadBytes > 0 || size == static_cast<std::uint32_t>(chunkHeaderBytes));
    }
};

// One place the reader passes over or cuts short.
struct ScanDamage {
    std::size_t offset = 0;
    std::size_t skipped = 0; // bytes passed over as no chunk; 0 for a payload cut short
    std::size_t headers = 1; // unusable chunk headers passed over in a row from offset
    ChunkDamage what = ChunkDamage::none;
    std::string message; // what is wrong, e.g. chunk "SCDl" has size 0, below the 8 header bytes
};

struct MovieScan {
    // Every chunk the reader takes up to and including the first end-of-data chunk; damage
    // passed over is not a chunk.
    std::vector<ScannedChunk> chunks;
    std::size_t fileSize = 0;
    // Offset of the first end-of-data chunk, if there is one.
    std::optional<std::size_t> endOffset;
    // Bytes after the end-of-data chunk (not examined).
    std::size_t trailingBytes = 0;
    // The damage, in file order; unusable headers that follow one another are one place.
    std::vector<ScanDamage> damage;
};

// Splits the file into chunks as the player's reader does, up to the first end-of-data chunk
// or the end of the file. An unusable size or an unknown id is passed over by its header alone,
// a header cut short by the end of the file ends the walk, a payload cut short is taken as far
// as it goes; each is noted in damage.
MovieScan scanMovie(ByteSource& file);
MovieScan scanMovie(const Bytes& file);
// "skipped 8 bytes at offset 1234 (0x4d2): ..." or "cut short at offset ...: ...".
std::string damageLine(const ScanDamage& damage);

struct TrackHeader {
    AudioFormat format = defaultAudioFormat;
    std::uint32_t id = 0;
    // Payload above maxAudioPayload: the player skips it, the track keeps the default format.
    bool oversized = false;
};

// The stream headers at the very top of the file, one per track: the ids "SCHl", "1SNh" and
// "SKOD" as written, as the player counts them.
std::vector<TrackHeader> leadingTrackHeaders(const MovieScan& scan, ByteSource& file);
std::vector<TrackHeader> leadingTrackHeaders(const MovieScan& scan, const Bytes& file);

// One audio data chunk with the track it belongs to and the format it decodes in.
struct AudioChunkRef {
    std::size_t chunk = 0; // index into MovieScan::chunks
    int track = 0;         // 1-based
    AudioFormat format = defaultAudioFormat;
    bool oversized = false; // skipped by the player: not decoded
};

// Every audio data chunk the player counts, in file order. Consecutive audio data chunks form a
// run (any other chunk or damage ends it) and the k-th chunk of a run belongs to
// trackOfRunChunk(k, track count). The stream headers read in a row from the top of the file
// give their tracks' formats; a header met later applies to every track. Empty when the file
// has no leading stream header.
std::vector<AudioChunkRef> audioChunks(const MovieScan& scan, ByteSource& file,
                                       const std::vector<TrackHeader>& tracks);
std::vector<AudioChunkRef> audioChunks(const MovieScan& scan, const Bytes& file,
                                       const std::vector<TrackHeader>& tracks);

// Reads the chunk's payload bytes that the file holds (at most count of them) into buffer and
// returns them; buffer is reused from chunk to chunk.
const BYTE* readPayload(ByteSource& file, const ScannedChunk& chunk, Bytes& buffer,
                        std::size_t count = SIZE_MAX);

// "PCM", "block ADPCM", "IMA ADPCM" or "unknown".
const char* codecName(LONG codec);
