// The rules by which the player's reader walks a movie's chunks, damaged ones included. The
// engine's reader follows them over the movie file, the tools over a byte source (a file read
// piece by piece, or bytes in memory), so that both take the same chunks.
#pragma once

#include <cstddef>

#include "format/byte_source.h"
#include "format/chunk_header.h"
#include "format/chunk_ids.h"

// What the reader does with a chunk.
enum class ChunkAction {
    end,       // the data ends: no byte was left, or an end-of-data chunk
    cutHeader, // fewer than 8 header bytes were left: unusable; the read used them up
    resync,    // an unusable size or an unknown id: passed over by its header alone, the next
               // read starts right after it
    skip,      // the payload is passed over unread: an ignored kind, or a payload above its
               // kind's limit, which still holds its place (audio run, leading header)
    read,      // the payload is read: whole, empty, or what the file still holds of it
};

// What is wrong with a chunk.
enum class ChunkDamage {
    none,
    cutHeader,       // the file ends inside the header
    sizeBelowHeader, // the size does not cover the 8 header bytes
    sizeTooLarge,    // the size is above maxChunkSize
    unknownId,       // the id is in no table
    payloadCut,      // the payload runs past the end of the file (seen by walkChunkAt only)
};

struct ChunkStep {
    ChunkAction action;
    ChunkDamage damage;
    ChunkHeader header; // as stored; zero when fewer than 8 bytes were there
    ChunkClass cls;
    LONG payloadLength; // the size less the header; 0 for an unusable size
    // Bytes from the chunk's start to where the next read starts: the header alone for end
    // and resync, the bytes there were for cutHeader, the whole chunk for skip and read.
    LONG advance;
};

// The largest payload the reader takes for a kind (format/limits.h); larger ones are skipped.
LONG chunkPayloadLimit(ChunkKind kind);

// The step for a chunk of which got header bytes (0 to 8) could be read.
ChunkStep stepChunkHeader(const BYTE* header, LONG got);

// One step over a file.
struct ChunkSpan {
    ChunkStep step;
    std::size_t offset;       // where the chunk starts
    std::size_t payloadBytes; // payload bytes the reader reads: those the file holds
    std::size_t next;         // where the next read starts; at or past fileSize the data ends
};

// The step over the chunk at offset (below the source's size); only its header bytes are read.
// A payload the file cuts short is read as far as it goes (damage payloadCut); a reader that
// reads nothing of a payload it expected meets the end of the data.
ChunkSpan walkChunkAt(ByteSource& file, std::size_t offset);
// The same over a file held in memory.
ChunkSpan walkChunkAt(const BYTE* file, std::size_t fileSize, std::size_t offset);

// The track that the k-th (1-based) audio data chunk of a run belongs to. A run is a row of
// audio data chunks; any other chunk, and any damage passed over, ends it.
constexpr LONG trackOfRunChunk(LONG k, LONG trackCount) {
    return trackCount > 0 ? (k - 1) % trackCount + 1 : k;
}
