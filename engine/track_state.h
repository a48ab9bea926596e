// Each audio track keeps its own decoder state, so that a track switch goes on with the state
// the new track would have had had it been playing all along.
#pragma once

#include "engine/context.h"
#include "format/chunk_walker.h"

// Passes over a data chunk of a track that is not playing: a codec-10 track's payload is read
// and run through its own decoder state, any other is skipped. Returns the reader's audio result.
LONG passOverTrackChunk(PlayerContext* ctx, const ChunkStep& step, LONG track);
// Makes imaState the state of track before one of its blocks is decoded, keeping the state of
// the track it held until now.
void takeTrackState(PlayerContext* ctx, LONG track);
// Every track starts afresh (a new lap).
void resetTrackStates(PlayerContext* ctx);
