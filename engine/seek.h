// Seeking: the movie's index, built at open from its chunk headers, and the play thread's side
// of playerSeek.
#pragma once

#include "engine/context.h"

// Builds ctx->index from the open movie file's chunk headers; the file position is kept.
void buildSeekIndex(PlayerContext* ctx);
// Frees ctx->index.
void releaseSeekIndex(PlayerContext* ctx);
// The slot of the frame whose chunk header starts at offset; -1 when it is not indexed.
LONG indexedSlotAt(const PlayerContext* ctx, LONG offset);
// After the prefill: notes the movie's frame slot rate from the audio blocks read.
void noteSlotRate(PlayerContext* ctx);
// On the play thread: carries out a pending seek request, if any; true when there was one.
bool takeSeekRequest(PlayerContext* ctx);
