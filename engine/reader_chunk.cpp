// Reading one chunk: the step the chunk walker gives for its header, and storing video payloads
// in the ring.
#include <cstring>

#include "engine/audio_chunks.h"
#include "engine/reader.h"
#include "engine/reader_io.h"
#include "engine/ring_room.h"
#include "engine/track_state.h"
#include "engine/seek.h"
#include "api/shared.h"
#include "format/limits.h"

namespace {

// The video ring holds the largest payload the walk lets through, with its spare bytes.
static_assert(videoRingBytes >= maxVideoPayload);

// Reads a video payload into the ring and queues it as the given type.
LONG storeFrame(PlayerContext* ctx, LONG payloadLength, LONG type) {
    HMMIO file = ctx->config->file;
    BYTE* ringEnd = ctx->videoRing + videoRingBytes + videoPayloadSpare;
    BYTE* dest = ctx->videoWrite;
    if (ringEnd - dest <= static_cast<std::ptrdiff_t>(payloadLength) + videoPayloadSpare)
        dest = ctx->videoRing;
    if (ringRoomTaken(ctx->frameTable, &FrameEntry::payload, ctx->frameWriteIndex, ctx->videoRing,
                      ringEnd, ctx->videoWrite, dest, payloadLength + videoPayloadSpare))
        return readBlocked;

    const LONG payloadPos = filePosition(file);
    LONG got = readBytes(file, dest, payloadLength);
    if (got == 0) return readEnd;
    if (got < 0) {
        mmioSeek(file, payloadPos + payloadLength, SEEK_SET);
        return readError;
    }
    // A payload cut short by the end of the file is queued as it is.
    std::memset(dest + got, 0, static_cast<size_t>(videoPayloadSpare));

    FrameEntry& entry = ctx->frameTable[ctx->frameWriteIndex % queueSlots];
    entry.payloadBytes = got;
    entry.sequence = ctx->videoSequence;
    entry.type = type;
    entry.lapStart = ctx->lapPending;
    entry.slot = indexedSlotAt(ctx, payloadPos - chunkHeaderBytes);
    ctx->lapPending = 0;
    sharedStore(entry.payload, dest);
    ctx->videoWrite = dest + got + videoPayloadSpare;
    InterlockedIncrement(&ctx->frameWriteIndex);
    InterlockedIncrement(&ctx->framesBuffered);
    InterlockedIncrement(&ctx->videoSequence);
    return readVideo;
}

LONG readVideoChunk(PlayerContext* ctx, const ChunkStep& step) {
    ctx->audioRun = 0;
    if (step.action == ChunkAction::skip) {
        // Larger than the ring: passed over.
        skipPayload(ctx->config->file, step.payloadLength);
        return readError;
    }
    return step.payloadLength == 0 ? readSkipped
                                   : storeFrame(ctx, step.payloadLength, step.cls.frameType);
}

LONG readHeaderChunk(PlayerContext* ctx, const ChunkStep& step) {
    ctx->audioRun = 0;
    LONG result = step.cls.kind == ChunkKind::streamHeader ? readStreamHeader(ctx, step)
                                                           : readFixedHeader(ctx, step);
    // An empty header still sets its format and holds its track's place, but is passed over
    // like any other empty chunk.
    return step.payloadLength == 0 && result == readHeader ? readSkipped : result;
}

LONG readAudioChunk(PlayerContext* ctx, const ChunkStep& step) {
    PlayerConfig* cfg = ctx->config;
    if (sharedLoad(cfg->hasAudio) == 0) {
        // Seek over the samples so that they are never taken for chunk headers.
        skipPayload(cfg->file, step.payloadLength);
        return readError;
    }
    ctx->audioRun += 1;
    if (step.payloadLength == 0) return readSkipped;
    const LONG track = trackOfRunChunk(ctx->audioRun, cfg->trackCount);
    if (track != sharedLoad(cfg->track)) return passOverTrackChunk(ctx, step, track);
    return readAudioData(ctx, step);
}

} // namespace

LONG readChunk(PlayerContext* ctx) {
    PlayerConfig* cfg = ctx->config;
    HMMIO file = cfg->file;
    const LONG headerPos = filePosition(file);
    const LONG runBefore = ctx->audioRun;
    const LONG leadingBefore = ctx->leadingHeaders;

    BYTE header[chunkHeaderBytes];
    const LONG got = readBytes(file, header, chunkHeaderBytes);
    // A file that cannot be read (a directory, a failing disk) does not move: every later
    // read would fail the same way, so the data ends here.
    if (got < 0) return readEnd;
    const ChunkStep step = stepChunkHeader(header, got);
    switch (step.action) {
    case ChunkAction::end:
        if (step.cls.kind == ChunkKind::endOfData) ctx->leadingHeaders = -1;
        return readEnd;
    case ChunkAction::cutHeader:
        return readError;
    case ChunkAction::resync:
        // An unusable size or an unknown id: the next read starts right after the header.
        ctx->audioRun = 0;
        ctx->leadingHeaders = -1;
        if (ctx->unusableBytes > maxUnusableRunBytes - step.advance) {
            // No movie chunk for this long: what follows is no movie data (endless zeros
            // from a device, say), and the data ends.
            ctx->unusableBytes = maxUnusableRunBytes;
            return readEnd;
        }
        ctx->unusableBytes += step.advance;
        return readError;
    case ChunkAction::skip:
    case ChunkAction::read:
        break;
    }
    ctx->unusableBytes = 0;
    const ChunkKind kind = step.cls.kind;
    if (kind != ChunkKind::streamHeader && kind != ChunkKind::fixedHeader) ctx->leadingHeaders = -1;

    LONG result = readError;
    switch (kind) {
    case ChunkKind::video:
        result = readVideoChunk(ctx, step);
        break;
    case ChunkKind::streamHeader:
    case ChunkKind::fixedHeader:
        result = readHeaderChunk(ctx, step);
        break;
    case ChunkKind::audioData:
        result = readAudioChunk(ctx, step);
        break;
    default: // ignored kinds
        ctx->audioRun = 0;
        skipPayload(file, step.payloadLength);
        result = readSkipped;
        break;
    }
    if (result == readBlocked) {
        // Nothing of this chunk counts yet: the next read starts at its header again.
        ctx->audioRun = runBefore;
        ctx->leadingHeaders = leadingBefore;
        mmioSeek(file, headerPos, SEEK_SET);
    }
    return result;
}
