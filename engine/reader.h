// The chunk reader: loads a movie, keeps the frame and audio queues filled, selects the audio
// track and loops the movie.
#pragma once

#include "engine/context.h"
#include "format/chunk_walker.h"

// Results of reading one chunk.
inline constexpr LONG readHeader = 0; // an audio stream header was read
inline constexpr LONG readVideo = 1;  // a video chunk was stored
inline constexpr LONG readAudio = 2;  // an audio data chunk was stored or passed over
// A queue or ring has no room for the chunk: nothing was consumed, the next read starts at the
// same chunk header again once the play loop or the feeder has freed room.
inline constexpr LONG readBlocked = 3;
inline constexpr LONG readSkipped = 4; // a chunk was passed over
inline constexpr LONG readEnd = -1;    // end of data
inline constexpr LONG readError = -2;  // read error, short header, unusable or unknown chunk

// Unusable chunk headers (unknown ids, unusable sizes) read in a row that the reader passes
// over before it takes the rest of the file for no movie data: more than any chunk it takes, so
// a damaged stretch of a movie is crossed, while endless bytes (a device) come to an end.
inline constexpr LONG maxUnusableRunBytes = 2 * 1024 * 1024;

// Opens the file (unless callerFile), probes its headers, allocates the rings and prefills the
// queues. 0 on success; 1 when the file cannot be opened or buffered; 2 when a ring cannot be
// allocated.
LONG readerLoad(const char* fileName, PlayerContext* ctx);
// Counts the stream headers at the top of the file into trackCount; sets and returns hasAudio.
LONG probeHeader(PlayerContext* ctx);
// Reads one chunk and returns a read result (readVideo, readAudio, ...).
LONG readChunk(PlayerContext* ctx);
// Tops up the queues; called once per pass of the play loop.
void refill(PlayerContext* ctx);
// End of data: seek back to loopOffset with loopPlay, else note the end in lastRead.
void rewindOrEnd(PlayerContext* ctx);
// Closes the file (unless callerFile) and frees the rings.
void readerRelease(PlayerContext* ctx);
