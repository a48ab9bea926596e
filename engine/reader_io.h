// Small file helpers shared by the chunk reader and the audio chunk handlers.
#pragma once

#include "platform/win32.h"

// Current offset of the movie file, or -1 when it cannot be told.
inline LONG filePosition(HMMIO file) {
    return mmioSeek(file, 0, SEEK_CUR);
}

// Moves the file over a payload of the given length, starting at the current position.
inline void skipPayload(HMMIO file, LONG length) {
    if (length > 0) mmioSeek(file, length, SEEK_CUR);
}

// Reads up to length bytes into buffer: the count read, 0 at the end, -1 on an error.
inline LONG readBytes(HMMIO file, void* buffer, LONG length) {
    return mmioRead(file, static_cast<HPSTR>(buffer), length);
}
