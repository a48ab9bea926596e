// The chunk reader: loads a movie, keeps the frame and audio queues filled, selects the audio
// track and loops the movie.
#pragma once

#include "engine/chunk_ids.h"
#include "engine/context.h"

// Opens the file (unless callerFile), probes its headers, allocates the rings and prefills the
// queues. 0 on success; 1 when the file cannot be opened or buffered; 2 when a ring cannot be
// allocated.
LONG readerLoad(const char* fileName, PlayerContext* ctx);
// Counts the stream headers at the top of the file into trackCount; sets and returns hasAudio.
LONG probeHeader(PlayerContext* ctx);
// Reads one chunk and returns a read result (readVideo, readAudio, ...).
LONG readChunk(PlayerContext* ctx);
// Reads a video payload of the given length into the ring and queues it as the given type.
LONG storeFrame(PlayerContext* ctx, LONG payloadLength, LONG type);
// Tops up the queues; called once per pass of the play loop.
void refill(PlayerContext* ctx);
// End of data: seek back to loopOffset with loopPlay, else note the end in lastRead.
void rewindOrEnd(PlayerContext* ctx);
// Closes the file (unless callerFile) and frees the rings.
void readerRelease(PlayerContext* ctx);
// The track that the k-th (1-based) audio data chunk of a run belongs to.
constexpr LONG trackOfRunChunk(LONG k, LONG trackCount) {
    return trackCount > 0 ? (k - 1) % trackCount + 1 : k;
}
