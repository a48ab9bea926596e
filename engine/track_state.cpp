#include "engine/track_state.h"

#include "audio/audio_decode.h"
#include "engine/reader.h"
#include "engine/reader_io.h"

namespace {

// The state of track: the live one when it is the track imaState holds, else its own slot;
// null for a track beyond the stored formats (those share the live state).
ImaChannel* stateOf(PlayerContext* ctx, LONG track) {
    if (track == ctx->imaTrack) return ctx->imaState;
    if (track < 1 || track > maxTrackFormats) return nullptr;
    return ctx->trackIma[track - 1];
}

} // namespace

LONG passOverTrackChunk(PlayerContext* ctx, const ChunkStep& step, LONG track) {
    HMMIO file = ctx->config->file;
    const LONG length = step.payloadLength;
    ImaChannel* state = stateOf(ctx, track);
    const bool ima = track >= 1 && track <= maxTrackFormats &&
                     ctx->trackFormats[track - 1].codec == audioCodecIma;
    if (!ima || state == nullptr || step.action != ChunkAction::read) {
        skipPayload(file, length);
        return readAudio;
    }
    const LONG start = filePosition(file);
    const LONG got = readBytes(file, ctx->audioReadBuffer, length);
    if (got < 0) {
        mmioSeek(file, start + length, SEEK_SET);
        return readAudio;
    }
    advanceImaState(ctx->audioReadBuffer, got, state);
    return readAudio;
}

void takeTrackState(PlayerContext* ctx, LONG track) {
    if (track == ctx->imaTrack || track < 1 || track > maxTrackFormats) return;
    if (ctx->imaTrack >= 1 && ctx->imaTrack <= maxTrackFormats) {
        ctx->trackIma[ctx->imaTrack - 1][0] = ctx->imaState[0];
        ctx->trackIma[ctx->imaTrack - 1][1] = ctx->imaState[1];
    }
    ctx->imaState[0] = ctx->trackIma[track - 1][0];
    ctx->imaState[1] = ctx->trackIma[track - 1][1];
    ctx->imaTrack = track;
}

void resetTrackStates(PlayerContext* ctx) {
    ctx->imaState[0] = ImaChannel{};
    ctx->imaState[1] = ImaChannel{};
    for (auto& state : ctx->trackIma) state[0] = state[1] = ImaChannel{};
}
