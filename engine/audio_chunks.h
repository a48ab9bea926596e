// The reader's handlers for audio chunks: they read the payload from the movie file at its
// current position and update the context's format, decoder state and audio queue.
#pragma once

#include "engine/context.h"
#include "format/chunk_walker.h"

// The step is the chunk walker's for the chunk whose header was just read; its action is read,
// or skip for a payload above maxAudioPayload.
// "SCHl", "1SNh": 0, or -1 when the read returned nothing, -2 on a read error or an oversized
// payload (skipped).
LONG readStreamHeader(PlayerContext* ctx, const ChunkStep& step);
// "SKOD": 0, -1 (sets endOfFile) or -2 as above.
LONG readFixedHeader(PlayerContext* ctx, const ChunkStep& step);
// Audio data of the selected track: decodes it into the audio ring and queues it. 2 when
// stored; readBlocked when the ring or table has no room (the file is back at the chunk's
// header); -1 (sets endOfFile) or -2 as above.
LONG readAudioData(PlayerContext* ctx, const ChunkStep& step);
