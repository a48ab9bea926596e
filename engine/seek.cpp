// Seeking. The caller's thread only leaves the slot it wants in the context; the play thread
// takes it between passes. It stops the feeder, empties both queues, puts the reader at the
// nearest frame at or before the slot from which the picture can be rebuilt, brings the audio
// decoder to the state the selected track has there, decodes the frames up to the slot without
// showing them, fills the queues again from the slot on and shows its frame.
#include "engine/seek.h"

#include <algorithm>
#include <new>

#include "api/shared.h"
#include "audio/audio_decode.h"
#include "display/display.h"
#include "engine/frame_dispatch.h"
#include "engine/player_access.h"
#include "engine/reader.h"
#include "engine/reader_io.h"
#include "engine/sound_output.h"
#include "format/movie_index.h"
#include "platform/frame_trace.h"

struct ImaPair {
    ImaChannel channel[2];
};

// The nibble-pair decoder's state before every checkpointBlocks-th block of one track.
struct ImaCheckpoints {
    LONG track = 0;
    std::vector<ImaPair> states; // states[k]: before block k * checkpointBlocks
};

namespace {

// Slots a second taken for a movie without sound and without a caller's rate: it is paced one
// frame a vertical blank, commonly at 60 Hz.
constexpr LONG blankSlotRateMilli = 60000;

// Blocks of a track between two kept states of the nibble-pair decoder.
constexpr std::size_t checkpointBlocks = 64;

// Audio blocks and frames gathered after a seek before its frame is shown, as at open.
constexpr LONG refillAudioBlocks = 21;
constexpr LONG refillFrames = 20;

// The open movie file as a byte source for the index walk.
class MmioSource final : public ByteSource {
  public:
    explicit MmioSource(HMMIO file) : file_(file) {
        const LONG end = mmioSeek(file, 0, SEEK_END);
        size_ = end > 0 ? static_cast<std::size_t>(end) : 0;
    }
    std::size_t size() const override { return size_; }
    void read(std::size_t offset, std::size_t count, BYTE* out) override {
        std::fill(out, out + count, BYTE{0});
        if (mmioSeek(file_, static_cast<LONG>(offset), SEEK_SET) < 0 ||
            readBytes(file_, out, static_cast<LONG>(count)) != static_cast<LONG>(count))
            setFailed();
    }

  private:
    HMMIO file_;
    std::size_t size_ = 0;
};

void freeFrameEntry(PlayerContext* ctx, FrameEntry& entry) {
    entry.payloadBytes = 0;
    sharedStore(entry.payload, static_cast<BYTE*>(nullptr));
    InterlockedIncrement(&ctx->frameReadIndex);
    InterlockedDecrement(&ctx->framesBuffered);
}

// Drops every queued frame and audio block; the rings start over at their tops.
void emptyQueues(PlayerContext* ctx) {
    while (sharedLoad(ctx->framesBuffered) > 0)
        freeFrameEntry(ctx, ctx->frameTable[ctx->frameReadIndex % queueSlots]);
    while (sharedLoad(ctx->audioBuffered) > 0) {
        AudioEntry& entry = ctx->audioTable[ctx->audioReadIndex % queueSlots];
        entry.bytes = 0;
        sharedStore(entry.samples, static_cast<BYTE*>(nullptr));
        InterlockedIncrement(&ctx->audioReadIndex);
        InterlockedDecrement(&ctx->audioBuffered);
    }
    ctx->videoWrite = ctx->videoRing;
    ctx->audioWrite = ctx->audioRing;
}

// Decodes, without queueing, the selected track's blocks that lie before offset, with the
// decoder state of the movie's start at the track's first block: the nibble-pair decoder
// carries its state from block to block, so this is the state the track has at offset. The
// states met every checkpointBlocks blocks are kept, so a later seek starts from the nearest.
void decodeTrackUpTo(PlayerContext* ctx, std::size_t offset) {
    ctx->imaState[0] = ImaChannel{};
    ctx->imaState[1] = ImaChannel{};
    const LONG track = sharedLoad(ctx->config->track);
    if (track < 1 || static_cast<std::size_t>(track) > ctx->index->tracks.size()) return;
    if (sharedLoad(ctx->audioCodec) != audioCodecIma) return;
    const AudioFormat format{ctx->audioChannels, ctx->audioRate, ctx->audioBits, ctx->audioCodec};
    HMMIO file = ctx->config->file;
    const std::vector<IndexedAudio>& blocks = ctx->index->tracks[std::size_t(track) - 1];
    const auto end = static_cast<std::size_t>(
        std::lower_bound(blocks.begin(), blocks.end(), offset,
                         [](const IndexedAudio& b, std::size_t o) { return b.offset < o; }) -
        blocks.begin());
    ImaCheckpoints& saved = *ctx->imaCheckpoints;
    if (saved.track != track) saved = ImaCheckpoints{track, {ImaPair{}}};
    const std::size_t from = std::min(end / checkpointBlocks, saved.states.size() - 1);
    ctx->imaState[0] = saved.states[from].channel[0];
    ctx->imaState[1] = saved.states[from].channel[1];
    for (std::size_t b = from * checkpointBlocks; b < end; ++b) {
        if (b % checkpointBlocks == 0 && b / checkpointBlocks == saved.states.size())
            saved.states.push_back({{ctx->imaState[0], ctx->imaState[1]}});
        const IndexedAudio& block = blocks[b];
        BYTE header[chunkHeaderBytes];
        if (mmioSeek(file, static_cast<LONG>(block.offset), SEEK_SET) < 0 ||
            readBytes(file, header, chunkHeaderBytes) != chunkHeaderBytes)
            break;
        const ChunkStep step = stepChunkHeader(header, chunkHeaderBytes);
        if (step.action != ChunkAction::read) continue;
        const LONG got = readBytes(file, ctx->audioReadBuffer, step.payloadLength);
        if (got <= 0) break;
        // The ring is empty: its top is scratch room for the samples nobody hears.
        const LONG bytes =
            std::min(audioDecodedBytes(format, ctx->audioReadBuffer, got), maxAudioBlockBytes);
        decodeAudioPayload(format, ctx->audioReadBuffer, got, ctx->adpcmHistory, ctx->imaState,
                           ctx->audioRing, bytes);
    }
}

// Reads from the restart frame up to the target frame's header: frames are decoded and not
// shown, audio blocks decoded (their state carries on) and dropped.
void decodeHiddenUpTo(PlayerContext* ctx, std::size_t target) {
    HMMIO file = ctx->config->file;
    for (;;) {
        const LONG at = filePosition(file);
        if (at < 0 || static_cast<std::size_t>(at) >= target) return;
        const LONG result = readChunk(ctx);
        if (result == readEnd || result == readBlocked) return;
        while (sharedLoad(ctx->framesBuffered) > 0) {
            FrameEntry& entry = ctx->frameTable[ctx->frameReadIndex % queueSlots];
            dispatchFrame(ctx, &entry);
            freeFrameEntry(ctx, entry);
            swapBuffers(&ctx->display);
        }
        emptyQueues(ctx);
        if (result == readError && filePosition(file) == at) return;
    }
}

// Gathers frames and audio from the target on, as the prefill at open does.
void refillFromTarget(PlayerContext* ctx) {
    const bool audio = sharedLoad(ctx->config->hasAudio) != 0;
    for (;;) {
        if (!audio && sharedLoad(ctx->framesBuffered) >= refillFrames) return;
        const LONG before = filePosition(ctx->config->file);
        const LONG result = readChunk(ctx);
        ctx->lastRead = result;
        if (result == readEnd || result == readBlocked) return;
        if (result == readError && filePosition(ctx->config->file) == before) return;
        if (audio && result != readAudio && sharedLoad(ctx->audioBuffered) >= refillAudioBlocks)
            return;
    }
}

// Shows the first queued frame as a pass of the play loop would, and counts its slot.
void showFirstFrame(PlayerContext* ctx, std::size_t slot) {
    PlayerConfig* config = ctx->config;
    FrameEntry& entry = ctx->frameTable[ctx->frameReadIndex % queueSlots];
    if (sharedLoad(entry.payload) != nullptr) {
        qzplat::noteMovieFrame(entry.sequence);
        sharedStore(ctx->shownSlot, entry.slot);
        dispatchFrame(ctx, &entry);
        presentFrame(&ctx->display);
        sharedStore(config->shownFrame, entry.sequence + 1);
        freeFrameEntry(ctx, entry);
        swapBuffers(&ctx->display);
    }
    InterlockedExchange(reinterpret_cast<LONG*>(&config->frameCount), static_cast<LONG>(slot + 1));
}

// The feeder starts writing anew where the device plays next; what it wrote before the seek
// is written over before it is heard.
void restartSoundWriting(PlayerContext* ctx) {
    ctx->soundBlockOffset = 0;
    ctx->lockFailedPasses = 0;
    ctx->silenceBytes = 0;
    if (ctx->noSoundDevice != 0)
        ctx->soundWritePos = ctx->simulatedPlayPos;
    else
        ctx->lastPlayPos = -1;
}

// A straight run leaves the YUV display modes for good at its first frame that is not type 4,
// so a seek past such a frame leaves them too, or its frames would be shown another way.
void leaveYuvDisplayAsStraightRun(PlayerContext* ctx, std::size_t slot) {
    DisplayState& display = ctx->display;
    if ((ctx->config->flags & callerBuffers) != 0 || display.displayMode == modeRgb ||
        display.displayMode == displayNone)
        return;
    const std::vector<IndexedFrame>& frames = ctx->index->frames;
    if (std::any_of(frames.begin(), frames.begin() + std::ptrdiff_t(slot) + 1,
                    [](const IndexedFrame& frame) { return frame.type != 4; }))
        leaveYuvDisplay(&display);
}

// Brings the selected track's decoder to its state at offset and puts the reader there, with
// no run, lap or end under way.
void restartReaderAt(PlayerContext* ctx, std::size_t offset) {
    decodeTrackUpTo(ctx, offset);
    mmioSeek(ctx->config->file, static_cast<LONG>(offset), SEEK_SET);
    ctx->audioRun = 0;
    ctx->unusableBytes = 0;
    ctx->lastRead = readSkipped;
    ctx->lapPending = 0;
    ctx->endOfFile = 0;
    // No lap is under way that could be found empty.
    ctx->lapVideoMark = -1;
    ctx->lapAudioMark = -1;
}

// The clock stands at slot and the sound goes on from the queued blocks; the feeder, stopped
// for the seek, starts again with the new sound already in the buffer.
void restartSoundAt(PlayerContext* ctx, std::size_t slot, bool feeding) {
    InterlockedExchange(&ctx->audioClock, static_cast<LONG>(slot));
    restartSoundWriting(ctx);
    sharedStore(ctx->config->framesBehind, LONG{0});
    if (feeding) {
        primeStream(ctx);
        startStreamThread(ctx);
    }
}

void seekTo(PlayerContext* ctx, std::size_t slot) {
    PlayerConfig* config = ctx->config;
    const MovieIndex& index = *ctx->index;
    slot = std::min(slot, index.frames.size() - 1);
    const std::size_t restart = index.restartSlot(slot);

    // The pictures put up until the target's frame (cleared targets, frames decoded on the way
    // where the decoders write to the visible surface) are no frame of the movie.
    qzplat::noteMovieFrame(-1);
    const bool feeding = ctx->audioThread != 0;
    if (feeding) stopStreamThread(ctx);
    emptyQueues(ctx);
    // An audio track that had ended further on plays again from here.
    sharedStore(config->hasAudio, LONG{config->trackCount > 0 && config->audioOnly == 0 ? 1 : 0});
    if (sharedLoad(ctx->audioStarted) == 0 && sharedLoad(config->hasAudio) != 0)
        createStreamBuffer(ctx);

    restartReaderAt(ctx, index.frames[restart].offset);
    ctx->leadingHeaders = -1;
    leaveYuvDisplayAsStraightRun(ctx, slot);
    restartPictures(ctx);
    decodeHiddenUpTo(ctx, index.frames[slot].offset);

    // From here on the slots count as in a straight run to the target.
    InterlockedExchange(&ctx->videoSequence, static_cast<LONG>(slot));
    refillFromTarget(ctx);
    showFirstFrame(ctx, slot);
    restartSoundAt(ctx, slot, feeding);
}

// A movie of sound alone: its slots are its audio blocks, and a slot's blocks start with
// track 1's. The reader goes back to that block with the run counted from it, and the
// selected track's decoder state is the one a straight run has there.
void seekSoundOnly(PlayerContext* ctx, std::size_t slot) {
    PlayerConfig* config = ctx->config;
    const std::vector<IndexedAudio>& firstTrack = ctx->index->tracks.front();
    slot = std::min(slot, firstTrack.size() - 1);
    const std::size_t offset = firstTrack[slot].offset;

    const bool feeding = ctx->audioThread != 0;
    if (feeding) stopStreamThread(ctx);
    emptyQueues(ctx);
    sharedStore(config->hasAudio, LONG{1});
    if (sharedLoad(ctx->audioStarted) == 0) createStreamBuffer(ctx);
    restartReaderAt(ctx, offset);
    // Block n is heard in slot n + 1, as from the start.
    InterlockedExchange(&ctx->videoSequence, static_cast<LONG>(slot));
    refillFromTarget(ctx);
    InterlockedExchange(reinterpret_cast<LONG*>(&config->frameCount), static_cast<LONG>(slot));
    restartSoundAt(ctx, slot, feeding);
}

// Slots paced at a caller's rate go on from the slot just reached as from now.
void restartRatePacing(PlayerContext* ctx, std::size_t slot) {
    const LONG rate = ctx->config->framesPerSecond;
    if (rate > 0) ctx->paceTick = GetTickCount() - static_cast<DWORD>(slot * 1000 / DWORD(rate));
}

bool soundOnlySeekable(const PlayerContext* ctx) {
    return ctx->config->audioOnly != 0 && ctx->config->trackCount > 0 &&
           !ctx->index->tracks.empty() && !ctx->index->tracks.front().empty();
}

} // namespace

void buildSeekIndex(PlayerContext* ctx) {
    HMMIO file = ctx->config->file;
    const LONG position = filePosition(file);
    MmioSource source(file);
    ctx->index = new (std::nothrow)
        MovieIndex(buildMovieIndex(source, static_cast<std::size_t>(maxUnusableRunBytes)));
    ctx->imaCheckpoints = new (std::nothrow) ImaCheckpoints{};
    mmioSeek(file, position, SEEK_SET);
}

void releaseSeekIndex(PlayerContext* ctx) {
    delete ctx->index;
    ctx->index = nullptr;
    delete ctx->imaCheckpoints;
    ctx->imaCheckpoints = nullptr;
}

LONG indexedSlotAt(const PlayerContext* ctx, LONG offset) {
    if (ctx->index == nullptr || offset < 0) return -1;
    const std::vector<IndexedFrame>& frames = ctx->index->frames;
    const auto at = static_cast<std::size_t>(offset);
    const auto found =
        std::lower_bound(frames.begin(), frames.end(), at,
                         [](const IndexedFrame& frame, std::size_t o) { return frame.offset < o; });
    if (found == frames.end() || found->offset != at) return -1;
    return static_cast<LONG>(found - frames.begin());
}

void noteSlotRate(PlayerContext* ctx) {
    const PlayerConfig* config = ctx->config;
    ctx->slotRateMilli = blankSlotRateMilli;
    if (config->framesPerSecond > 0) ctx->slotRateMilli = config->framesPerSecond * 1000;
    if (config->hasAudio == 0 || ctx->audioChunksRead <= 0) return;
    // A block of 16-bit stereo frames plays for one slot.
    const long long average = ctx->audioBytesRead / ctx->audioChunksRead;
    const long long rate = static_cast<long long>(ctx->audioRate) * 4 * 1000;
    if (average > 0 && rate / average > 0) ctx->slotRateMilli = static_cast<LONG>(rate / average);
}

bool takeSeekRequest(PlayerContext* ctx) {
    const LONG request = InterlockedExchange(&ctx->seekRequest, 0);
    if (request <= 0) return false;
    const auto slot = static_cast<std::size_t>(request - 1);
    if (ctx->index != nullptr && ctx->imaCheckpoints != nullptr) {
        if (!ctx->index->frames.empty() && ctx->config->audioOnly == 0) {
            seekTo(ctx, slot);
            restartRatePacing(ctx, std::min(slot, ctx->index->frames.size() - 1));
        } else if (soundOnlySeekable(ctx)) {
            seekSoundOnly(ctx, slot);
        }
    }
    InterlockedIncrement(&ctx->seeksDone);
    return true;
}

int playerSeek(PlayerConfig* config, LONG slot) {
    if (slot < 0) slot = 0;
    if (slot == 0x7FFFFFFF) --slot;
    const bool open = withOpenContext(
        config, [&](PlayerContext* ctx) { InterlockedExchange(&ctx->seekRequest, slot + 1); });
    return open ? 0 : 1;
}

int playerTimeline(PlayerConfig* config, PlayerTimeline* timeline) {
    const bool open = withOpenContext(config, [&](PlayerContext* ctx) {
        const LONG pending = sharedLoad(ctx->seekRequest);
        const LONG shown = sharedLoad(ctx->shownSlot);
        timeline->slots = 0;
        LONG at = std::max(shown, LONG{0});
        if (ctx->index != nullptr && config->audioOnly == 0) {
            timeline->slots = static_cast<LONG>(ctx->index->frames.size());
        } else if (ctx->index != nullptr && soundOnlySeekable(ctx)) {
            // Sound alone: the slot is the block the clock stands at, on any lap.
            timeline->slots = static_cast<LONG>(ctx->index->tracks.front().size());
            at = static_cast<LONG>(sharedLoad(config->frameCount) % DWORD(timeline->slots));
        }
        timeline->slot = pending > 0 ? std::min(pending - 1, timeline->slots - 1) : at;
        timeline->slotRateMilli = ctx->slotRateMilli;
    });
    return open ? 0 : 1;
}
