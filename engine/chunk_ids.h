// Chunk ids of the movie container and what each one is.
#pragma once

#include "platform/win32.h"

// Results of reading one chunk.
inline constexpr LONG readHeader = 0;   // an audio stream header was read
inline constexpr LONG readVideo = 1;    // a video chunk was stored
inline constexpr LONG readAudio = 2;    // an audio data chunk was stored or passed over
// A queue or ring has no room for the chunk: nothing was consumed, the next read starts at the
// same chunk header again once the play loop or the feeder has freed room.
inline constexpr LONG readBlocked = 3;
inline constexpr LONG readSkipped = 4;  // a chunk was passed over
inline constexpr LONG readEnd = -1;     // end of data
inline constexpr LONG readError = -2;   // read error, short header, unusable or unknown chunk

inline constexpr LONG chunkHeaderBytes = 8;

enum class ChunkKind { unknown, video, streamHeader, fixedHeader, audioData, ignored, endOfData };

struct ChunkClass {
    ChunkKind kind;
    LONG frameType; // 1 to 7 for video chunks, else 0
};

// The id as the little-endian value of its four characters as written ("KRTk").
constexpr DWORD chunkId(const char (&text)[5]) {
    return static_cast<DWORD>(static_cast<BYTE>(text[0])) |
           static_cast<DWORD>(static_cast<BYTE>(text[1])) << 8 |
           static_cast<DWORD>(static_cast<BYTE>(text[2])) << 16 |
           static_cast<DWORD>(static_cast<BYTE>(text[3])) << 24;
}

// The same id with its four bytes reversed.
constexpr DWORD reversedChunkId(DWORD id) {
    return (id >> 24) | ((id >> 8) & 0xFF00u) | ((id << 8) & 0xFF0000u) | (id << 24);
}

// Looks an id up in the container's table, in each byte order the table accepts for it.
ChunkClass classifyChunkId(DWORD id);
// "video", "stream header", ... for listings.
const char* chunkKindName(ChunkKind kind);
// Writes the four id characters (non-printing ones as '.') and a terminator into text.
void chunkIdText(DWORD id, char text[5]);
