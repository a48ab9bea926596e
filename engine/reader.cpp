// Loading a movie: opening the file, counting the audio tracks, allocating the rings and
// prefilling the queues; and releasing it all again.
#include <cstdlib>

#include "engine/reader.h"
#include "engine/reader_io.h"
#include "engine/seek.h"
#include "api/shared.h"
#include "format/limits.h"

namespace {

// Bytes of the I/O buffer the file is read through.
constexpr LONG fileBufferBytes = 8192;
// Audio blocks the prefill gathers before playback starts.
constexpr LONG prefillAudioBlocks = 21;
// Frames the prefill of a movie without audio gathers.
constexpr LONG prefillFrames = 20;
// audioLead when the prefill gives no usable block size.
constexpr LONG defaultAudioLead = 5;
// Bytes of sound the lead covers: the lead is this over the average decoded block.
constexpr LONG audioLeadBytes = 32768;

void prefill(PlayerContext* ctx) {
    PlayerConfig* cfg = ctx->config;
    const bool audio = cfg->hasAudio != 0;
    for (;;) {
        if (!audio && sharedLoad(ctx->framesBuffered) >= prefillFrames) break;
        const LONG before = filePosition(cfg->file);
        const LONG result = readChunk(ctx);
        if (result == readEnd) {
            // Kept, so that the first refill loops or ends instead of reading past it.
            ctx->lastRead = readEnd;
            break;
        }
        // A full queue waits for the play loop; a read error that did not move the file
        // would only fail again.
        if (result == readBlocked) break;
        if (result == readError && filePosition(cfg->file) == before) break;
        if (audio && result != readAudio && sharedLoad(ctx->audioBuffered) >= prefillAudioBlocks)
            break;
    }
    if (audio && ctx->audioChunksRead > 0) {
        const LONG average = ctx->audioBytesRead / ctx->audioChunksRead;
        if (average >= 1) ctx->audioLead = audioLeadBytes / average;
    }
}

} // namespace

LONG readerLoad(const char* fileName, PlayerContext* ctx) {
    PlayerConfig* cfg = ctx->config;
    ctx->audioLead = defaultAudioLead;
    if ((cfg->flags & callerFile) == 0) {
        cfg->file = mmioOpenA(const_cast<LPSTR>(fileName), nullptr, 0);
        if (cfg->file == nullptr) return 1;
    }
    if (mmioSetBuffer(cfg->file, nullptr, fileBufferBytes, 0) != MMSYSERR_NOERROR) {
        readerRelease(ctx);
        return 1;
    }
    probeHeader(ctx);
    buildSeekIndex(ctx);
    if ((cfg->flags & trackGiven) == 0 || cfg->track < 1 || cfg->track > cfg->trackCount)
        cfg->track = 1;

    for (FrameEntry& entry : ctx->frameTable) entry = FrameEntry{};
    for (AudioEntry& entry : ctx->audioTable) entry = AudioEntry{};
    ctx->videoRing = static_cast<BYTE*>(std::calloc(videoRingBytes + videoPayloadSpare, 1));
    ctx->audioRing = static_cast<BYTE*>(std::calloc(audioRingBytes, 1));
    ctx->audioReadBuffer = static_cast<BYTE*>(std::malloc(maxAudioPayload));
    if (ctx->videoRing == nullptr || ctx->audioRing == nullptr || ctx->audioReadBuffer == nullptr) {
        readerRelease(ctx);
        return 2;
    }
    ctx->videoWrite = ctx->videoRing;
    ctx->audioWrite = ctx->audioRing;

    ctx->audioBytesRead = 0;
    ctx->videoSequence = 0;
    ctx->audioChunksRead = 0;
    ctx->frameReadIndex = 0;
    ctx->audioReadIndex = 0;
    ctx->frameWriteIndex = 0;
    ctx->audioWriteIndex = 0;
    ctx->framesBuffered = 0;
    ctx->audioBuffered = 0;
    ctx->audioRun = 0;
    ctx->loopOffset = 0;
    ctx->loopRun = 0;
    ctx->leadingHeaders = 0;
    ctx->shownSlot = -1;
    ctx->unusableBytes = 0;
    ctx->lapVideoMark = 0;
    ctx->lapAudioMark = 0;
    ctx->loopEnded = 0;
    for (AudioFormat& format : ctx->trackFormats) format = defaultAudioFormat;
    ctx->audioChannels = defaultAudioFormat.channels;
    ctx->audioRate = defaultAudioFormat.rate;
    ctx->audioBits = defaultAudioFormat.bits;
    ctx->audioCodec = defaultAudioFormat.codec;
    ctx->lastRead = readSkipped;

    prefill(ctx);
    noteSlotRate(ctx);
    cfg->audioOnly = ctx->videoSequence == 0 ? 1 : 0;
    if (cfg->audioOnly != 0) {
        // Only now is it known that the audio blocks are the movie's frame slots: stamp the
        // prefilled blocks as later blocks will be (block n heard in slot n + 1), or the clock
        // would stand still while they play.
        for (LONG i = 0; i < ctx->audioWriteIndex; ++i) {
            AudioEntry& entry = ctx->audioTable[i % queueSlots];
            if (entry.samples != nullptr) entry.stamp = entry.block + 1;
        }
        ctx->videoSequence = ctx->audioChunksRead;
    }
    return 0;
}

LONG probeHeader(PlayerContext* ctx) {
    PlayerConfig* cfg = ctx->config;
    HMMIO file = cfg->file;
    cfg->trackCount = 0;
    cfg->hasAudio = 0;
    const LONG start = filePosition(file);
    for (;;) {
        BYTE header[chunkHeaderBytes];
        if (readBytes(file, header, chunkHeaderBytes) != chunkHeaderBytes) break;
        const ChunkHeader chunk = parseChunkHeader(header);
        // A header of unusable size ends the count (the reader passes over it).
        if (!isTrackHeaderId(chunk.id) || !chunkSizeUsable(chunk.size)) break;
        if (mmioSeek(file, static_cast<LONG>(chunk.size) - chunkHeaderBytes, SEEK_CUR) < 0) break;
        cfg->hasAudio = 1;
        cfg->trackCount += 1;
    }
    mmioSeek(file, start, SEEK_SET);
    return cfg->hasAudio;
}

void readerRelease(PlayerContext* ctx) {
    PlayerConfig* cfg = ctx->config;
    if ((cfg->flags & callerFile) == 0 && cfg->file != nullptr) {
        mmioClose(cfg->file, 0);
        cfg->file = nullptr;
    }
    for (FrameEntry& entry : ctx->frameTable)
        sharedStore(entry.payload, static_cast<BYTE*>(nullptr));
    for (AudioEntry& entry : ctx->audioTable)
        sharedStore(entry.samples, static_cast<BYTE*>(nullptr));
    releaseSeekIndex(ctx);
    std::free(ctx->videoRing);
    std::free(ctx->audioRing);
    std::free(ctx->audioReadBuffer);
    ctx->videoRing = nullptr;
    ctx->videoWrite = nullptr;
    ctx->audioRing = nullptr;
    ctx->audioWrite = nullptr;
    ctx->audioReadBuffer = nullptr;
}
