// The reader's audio chunk handlers: stream headers set the format of their track, and the
// selected track's data chunks are decoded into the audio ring and queued for the feeder.
#include "engine/audio_chunks.h"

#include "audio/audio_decode.h"
#include "engine/reader.h"
#include "engine/reader_io.h"
#include "engine/ring_room.h"
#include "engine/track_state.h"
#include "api/shared.h"
#include "format/limits.h"
#include "format/stream_header.h"

namespace {

// The ring holds the largest block, in whole frames.
static_assert(audioRingBytes >= maxAudioBlockBytes && maxAudioBlockBytes % 4 == 0);

// Makes format the selected track's format unless it is already.
void setCurrentFormat(PlayerContext* ctx, const AudioFormat& format) {
    // The feeder may read these while the play thread changes them.
    if (sharedLoad(ctx->audioChannels) != format.channels)
        sharedStore(ctx->audioChannels, format.channels);
    if (sharedLoad(ctx->audioRate) != format.rate) sharedStore(ctx->audioRate, format.rate);
    if (sharedLoad(ctx->audioBits) != format.bits) sharedStore(ctx->audioBits, format.bits);
    if (sharedLoad(ctx->audioCodec) != format.codec) sharedStore(ctx->audioCodec, format.codec);
}

AudioFormat currentFormat(const PlayerContext* ctx) {
    return {ctx->audioChannels, ctx->audioRate, ctx->audioBits, ctx->audioCodec};
}

// The format the selected track decodes with: its own header's, or the current one for a
// track beyond the stored ones.
AudioFormat selectedTrackFormat(PlayerContext* ctx) {
    const LONG track = sharedLoad(ctx->config->track);
    if (track < 1 || track > maxTrackFormats) return currentFormat(ctx);
    const AudioFormat& format = ctx->trackFormats[track - 1];
    setCurrentFormat(ctx, format);
    return format;
}

// A header at the top of the file describes its own track; one met later applies to all.
void applyHeader(PlayerContext* ctx, const AudioFormat* format) {
    if (ctx->leadingHeaders >= 0) {
        const LONG n = ++ctx->leadingHeaders;
        if (format == nullptr) return;
        if (n <= maxTrackFormats) ctx->trackFormats[n - 1] = *format;
    } else {
        if (format == nullptr) return;
        for (AudioFormat& stored : ctx->trackFormats) stored = *format;
    }
    setCurrentFormat(ctx, *format);
    selectedTrackFormat(ctx);
}

// Reads a header payload into the reading buffer. The bytes read; 0 with result set when the
// read gave nothing, failed, or the payload is too large (then skipped, and its track's place
// kept without a format).
LONG readHeaderPayload(PlayerContext* ctx, const ChunkStep& step, LONG* result) {
    HMMIO file = ctx->config->file;
    const LONG payloadLength = step.payloadLength;
    *result = readHeader;
    if (payloadLength == 0) return 0;
    if (step.action == ChunkAction::skip) {
        skipPayload(file, payloadLength);
        applyHeader(ctx, nullptr);
        *result = readError;
        return 0;
    }
    const LONG start = filePosition(file);
    const LONG got = readBytes(file, ctx->audioReadBuffer, payloadLength);
    if (got < 0) {
        mmioSeek(file, start + payloadLength, SEEK_SET);
        *result = readError;
    } else if (got == 0) {
        *result = readEnd;
    }
    return got > 0 ? got : 0;
}

} // namespace

LONG readStreamHeader(PlayerContext* ctx, const ChunkStep& step) {
    LONG result = readHeader;
    const LONG got = readHeaderPayload(ctx, step, &result);
    if (result != readHeader) return result;
    AudioFormat format;
    parseStreamHeader(ctx->audioReadBuffer, got, &format);
    applyHeader(ctx, &format);
    return readHeader;
}

LONG readFixedHeader(PlayerContext* ctx, const ChunkStep& step) {
    LONG result = readHeader;
    readHeaderPayload(ctx, step, &result);
    if (result == readEnd) ctx->endOfFile = 1;
    if (result != readHeader) return result;
    applyHeader(ctx, &fixedAudioFormat);
    return readHeader;
}

LONG readAudioData(PlayerContext* ctx, const ChunkStep& step) {
    PlayerConfig* cfg = ctx->config;
    HMMIO file = cfg->file;
    const LONG payloadLength = step.payloadLength;
    if (step.action == ChunkAction::skip) {
        skipPayload(file, payloadLength);
        return readError;
    }
    if (sharedLoad(ctx->audioTable[ctx->audioWriteIndex % queueSlots].samples) != nullptr)
        return readBlocked;

    const LONG start = filePosition(file);
    const LONG got = readBytes(file, ctx->audioReadBuffer, payloadLength);
    if (got == 0) {
        ctx->endOfFile = 1;
        return readEnd;
    }
    if (got < 0) {
        mmioSeek(file, start + payloadLength, SEEK_SET);
        return readError;
    }

    const AudioFormat format = selectedTrackFormat(ctx);
    // A block larger than the whole ring is cut to what fits.
    LONG bytes = audioDecodedBytes(format, ctx->audioReadBuffer, got);
    if (bytes > maxAudioBlockBytes) bytes = maxAudioBlockBytes;
    BYTE* ringEnd = ctx->audioRing + audioRingBytes;
    BYTE* dest = ctx->audioWrite;
    // A block always lies in one piece: if it would reach the ring end it starts at the top.
    if (ringEnd - dest <= bytes) dest = ctx->audioRing;
    if (ringRoomTaken(ctx->audioTable, &AudioEntry::samples, ctx->audioWriteIndex, ctx->audioRing,
                      ringEnd, ctx->audioWrite, dest, bytes))
        return readBlocked;

    if (ctx->audioChunksRead == 0 && (cfg->flags & loopPlay) != 0) {
        ctx->loopOffset = start - chunkHeaderBytes;
        ctx->loopRun = ctx->audioRun - 1;
    }
    takeTrackState(ctx, trackOfRunChunk(ctx->audioRun, cfg->trackCount));
    bytes = decodeAudioPayload(format, ctx->audioReadBuffer, got, ctx->adpcmHistory, ctx->imaState,
                               dest, bytes);
    if (cfg->audioOnly != 0) InterlockedIncrement(&ctx->videoSequence);

    AudioEntry& entry = ctx->audioTable[ctx->audioWriteIndex % queueSlots];
    entry.bytes = bytes;
    entry.stamp = ctx->videoSequence;
    entry.block = ctx->audioChunksRead;
    sharedStore(entry.samples, dest);
    ctx->audioWrite = dest + bytes;
    // Only the prefill's average uses the total; let it wrap rather than overflow.
    ctx->audioBytesRead =
        static_cast<LONG>(static_cast<DWORD>(ctx->audioBytesRead) + static_cast<DWORD>(bytes));
    InterlockedIncrement(&ctx->audioWriteIndex);
    InterlockedIncrement(&ctx->audioBuffered);
    InterlockedIncrement(&ctx->audioChunksRead);
    return readAudio;
}
