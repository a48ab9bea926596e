// Keeping the queues topped up during playback, and what happens at the end of the data.
#include "engine/reader.h"
#include "engine/track_state.h"
#include "api/shared.h"

namespace {

// Reads chunks while they are audio data, each result into lastRead.
void readAudioRun(PlayerContext* ctx) {
    do {
        ctx->lastRead = readChunk(ctx);
    } while (ctx->lastRead == readAudio);
}

} // namespace

void refill(PlayerContext* ctx) {
    PlayerConfig* cfg = ctx->config;
    if (ctx->lastRead == readEnd) {
        rewindOrEnd(ctx);
        if (ctx->lastRead == readEnd) return;
    }
    if (sharedLoad(ctx->audioBuffered) >= readAheadLimit ||
        sharedLoad(ctx->framesBuffered) >= readAheadLimit)
        return;

    const LONG result = readChunk(ctx);
    ctx->lastRead = result;
    if (result == readVideo) {
        if (sharedLoad(cfg->hasAudio) == 0) return;
        ctx->lastRead = readChunk(ctx);
        if (ctx->lastRead == readVideo) {
            // Two video chunks in a row: the audio track has ended, play on without it.
            sharedStore(cfg->hasAudio, LONG{0});
        } else if (ctx->lastRead == readAudio) {
            readAudioRun(ctx);
        }
    } else if (result == readAudio) {
        if (cfg->audioOnly != 0 && sharedLoad(ctx->audioBuffered) >= readAheadLimit) return;
        readAudioRun(ctx);
    } else if (result == readEnd) {
        rewindOrEnd(ctx);
    }
}

void rewindOrEnd(PlayerContext* ctx) {
    PlayerConfig* cfg = ctx->config;
    const LONG video = sharedLoad(ctx->videoSequence);
    const LONG audio = sharedLoad(ctx->audioChunksRead);
    if (ctx->loopEnded == 0 && video == ctx->lapVideoMark && audio == ctx->lapAudioMark) {
        // The lap stored no frame and no audio block: another would not either.
        ctx->loopEnded = 1;
    }
    if ((cfg->flags & loopPlay) == 0 || ctx->loopEnded != 0) {
        ctx->lastRead = readEnd;
        return;
    }
    ctx->lapVideoMark = video;
    ctx->lapAudioMark = audio;
    ctx->unusableBytes = 0;
    Sleep(0);
    mmioSeek(cfg->file, ctx->loopOffset, SEEK_SET);
    if (ctx->loopOffset == 0) {
        // From the top of the file: its stream headers are read again as the leading ones.
        ctx->audioRun = 0;
        ctx->leadingHeaders = 0;
    } else {
        // Back at the selected track's first block: count the run from where that block stood.
        ctx->audioRun = ctx->loopRun;
    }
    // The nibble-pair decoder starts afresh, so that every lap sounds like the first.
    resetTrackStates(ctx);
    // The play loop puts the pictures back as at open before the lap's first frame.
    ctx->lapPending = 1;
    ctx->lastRead = readChunk(ctx);
}
