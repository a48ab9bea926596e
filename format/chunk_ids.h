// Chunk ids of the movie container and what each one is: the id table readers and writers share.
#pragma once

#include "platform/win32.h"

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

// Whether a stream header at the top of the file counts as an audio track: "SCHl", "1SNh" and
// "SKOD" as written (not reversed).
constexpr bool isTrackHeaderId(DWORD id) {
    return id == chunkId("SCHl") || id == chunkId("1SNh") || id == chunkId("SKOD");
}

// Looks an id up in the container's table, in each byte order the table accepts for it.
ChunkClass classifyChunkId(DWORD id);
// "video", "stream header", ... for listings.
const char* chunkKindName(ChunkKind kind);
// Writes the four id characters (non-printing ones as '.') and a terminator into text.
void chunkIdText(DWORD id, char text[5]);
