// Reading one chunk: the header, the id table, and storing video payloads in the ring.
#include <cstring>

#include "engine/audio_chunks.h"
#include "engine/reader.h"
#include "engine/reader_io.h"
#include "engine/ring_room.h"
#include "api/shared.h"

namespace {

LONG readHeaderChunk(PlayerContext* ctx, ChunkKind kind, LONG payloadLength) {
    ctx->audioRun = 0;
    LONG result = kind == ChunkKind::streamHeader ? readStreamHeader(ctx, payloadLength)
                                                  : readFixedHeader(ctx, payloadLength);
    // An empty header still sets its format and holds its track's place, but is passed over
    // like any other empty chunk.
    return payloadLength == 0 && result == readHeader ? readSkipped : result;
}

LONG readAudioChunk(PlayerContext* ctx, LONG payloadLength) {
    PlayerConfig* cfg = ctx->config;
    if (sharedLoad(cfg->hasAudio) == 0) {
        // Seek over the samples so that they are never taken for chunk headers.
        skipPayload(cfg->file, payloadLength);
        return readError;
    }
    ctx->audioRun += 1;
    if (payloadLength == 0) return readSkipped;
    if (trackOfRunChunk(ctx->audioRun, cfg->trackCount) != sharedLoad(cfg->track)) {
        skipPayload(cfg->file, payloadLength);
        return readAudio;
    }
    return readAudioData(ctx, payloadLength);
}

} // namespace

LONG readChunk(PlayerContext* ctx) {
    PlayerConfig* cfg = ctx->config;
    HMMIO file = cfg->file;
    const LONG headerPos = filePosition(file);
    const LONG runBefore = ctx->audioRun;
    const LONG leadingBefore = ctx->leadingHeaders;

    BYTE header[chunkHeaderBytes];
    LONG got = readBytes(file, header, chunkHeaderBytes);
    if (got == 0) return readEnd;
    if (got != chunkHeaderBytes) return readError;
    DWORD id = 0;
    DWORD size = 0;
    for (int i = 0; i < 4; ++i) {
        id |= static_cast<DWORD>(header[i]) << (8 * i);
        size |= static_cast<DWORD>(header[4 + i]) << (8 * i);
    }
    // A size that does not even cover the header (or does not fit a signed length) makes the
    // chunk unusable; like an unknown id, the next read starts right after its header.
    if (size < static_cast<DWORD>(chunkHeaderBytes) || size > 0x7FFFFFFFu) {
        ctx->audioRun = 0;
        ctx->leadingHeaders = -1;
        return readError;
    }
    ChunkClass cls = classifyChunkId(id);
    if (cls.kind != ChunkKind::streamHeader && cls.kind != ChunkKind::fixedHeader)
        ctx->leadingHeaders = -1;
    const LONG payloadLength = static_cast<LONG>(size) - chunkHeaderBytes;

    LONG result = readError;
    switch (cls.kind) {
    case ChunkKind::video:
        ctx->audioRun = 0;
        result = payloadLength == 0 ? readSkipped : storeFrame(ctx, payloadLength, cls.frameType);
        break;
    case ChunkKind::streamHeader:
    case ChunkKind::fixedHeader:
        result = readHeaderChunk(ctx, cls.kind, payloadLength);
        break;
    case ChunkKind::audioData:
        result = readAudioChunk(ctx, payloadLength);
        break;
    case ChunkKind::ignored:
        ctx->audioRun = 0;
        skipPayload(file, payloadLength);
        result = readSkipped;
        break;
    case ChunkKind::endOfData:
        result = readEnd;
        break;
    case ChunkKind::unknown:
        ctx->audioRun = 0;
        result = readError;
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

LONG storeFrame(PlayerContext* ctx, LONG payloadLength, LONG type) {
    HMMIO file = ctx->config->file;
    if (payloadLength > videoRingBytes) {
        skipPayload(file, payloadLength);
        return readError;
    }
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
    ctx->lapPending = 0;
    sharedStore(entry.payload, dest);
    ctx->videoWrite = dest + got + videoPayloadSpare;
    InterlockedIncrement(&ctx->frameWriteIndex);
    InterlockedIncrement(&ctx->framesBuffered);
    InterlockedIncrement(&ctx->videoSequence);
    return readVideo;
}
