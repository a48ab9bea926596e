// The chunk header: 8 bytes, the id and then the size, both little-endian. The size counts the
// header itself; a size below the header or above the largest signed length is unusable.
#pragma once

#include "platform/win32.h"

inline constexpr LONG chunkHeaderBytes = 8;
// The largest usable size: larger ones do not fit a signed length.
inline constexpr DWORD maxChunkSize = 0x7FFFFFFF;

struct ChunkHeader {
    DWORD id;   // the four id characters as a little-endian value ("KRTk")
    DWORD size; // as stored: counts the 8 header bytes
};

// The id and size in the 8 header bytes.
constexpr ChunkHeader parseChunkHeader(const BYTE* bytes) {
    ChunkHeader header{0, 0};
    for (int i = 0; i < 4; ++i) {
        header.id |= static_cast<DWORD>(bytes[i]) << (8 * i);
        header.size |= static_cast<DWORD>(bytes[4 + i]) << (8 * i);
    }
    return header;
}

// Whether a size covers the header and fits a signed length.
constexpr bool chunkSizeUsable(DWORD size) {
    return size >= static_cast<DWORD>(chunkHeaderBytes) && size <= maxChunkSize;
}
