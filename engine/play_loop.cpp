// The play loop: every pass honours pause and stop through the state word, tops up the
// queues, decodes and presents the next queued frame, and waits for the audio clock to reach
// the frame slot. When the picture trails the sound by more than two slots it decodes only the
// frames later frames depend on, and shows none, until it has caught up.
#include "engine/play_loop.h"

#include <cstdint>

#include "engine/sound_output.h"
#include "display/display.h"
#include "engine/frame_dispatch.h"
#include "engine/reader.h"
#include "engine/seek.h"
#include "api/shared.h"
#include "platform/frame_trace.h"

namespace {

constexpr DWORD pauseStepMs = 20;
constexpr DWORD pacingStepMs = 2;
// Pacing rounds a pass waits at most for a stalled audio clock.
constexpr int pacingRounds = 152;
// Frame slots the picture may trail the sound before frames are dropped.
constexpr LONG maxLag = 2;

enum class PassEnd { next, leave };

// Frames that a later frame is predicted from, so they are decoded even when late. A type-3
// frame's skipped macroblocks keep the picture before it, so a dropped type-3 frame would leave
// stale blocks in the next one: type 3 counts too.
bool isReferenceFrame(LONG type) {
    return type == 1 || type == 2 || type == 3 || type == 5 || type == 6;
}

LONG* frameCountWord(PlayerConfig* config) {
    return reinterpret_cast<LONG*>(&config->frameCount);
}

// True once the reader has met the end of the data and will not loop back.
bool dataEnded(const PlayerContext* ctx, DWORD flags) {
    return ctx->lastRead == readEnd && ((flags & loopPlay) == 0 || ctx->loopEnded != 0);
}

// Decodes, presents and consumes the queued entry; leave when the frame callback asks.
PassEnd playEntry(PlayerConfig* config, PlayerContext* ctx, FrameEntry* entry, DWORD flags) {
    // Screen recordings tag what is presented from here on with the frame's number.
    qzplat::noteMovieFrame(entry->sequence);
    sharedStore(ctx->shownSlot, entry->slot);
    // A new lap decodes against the picture state the movie had at open, as the first did.
    if (entry->lapStart != 0) restartPictures(ctx);
    if (sharedLoad(config->framesBehind) > maxLag) {
        if (isReferenceFrame(entry->type)) dispatchFrame(ctx, entry);
    } else {
        dispatchFrame(ctx, entry);
        presentFrame(&ctx->display);
        sharedStore(config->shownFrame, entry->sequence + 1);
    }
    if ((flags & frameCallbackGiven) != 0 && config->frameCallback != nullptr &&
        config->frameCallback() != 0)
        return PassEnd::leave;
    entry->payloadBytes = 0;
    sharedStore(entry->payload, static_cast<BYTE*>(nullptr));
    InterlockedIncrement(&ctx->frameReadIndex);
    InterlockedDecrement(&ctx->framesBuffered);
    swapBuffers(&ctx->display);
    return PassEnd::next;
}

// The movie is over when the video queue is empty at the end of the data, and the sound (if
// it is heard at all) has played out.
bool movieEnded(PlayerConfig* config, PlayerContext* ctx, DWORD flags) {
    if (sharedLoad(ctx->framesBuffered) != 0 || !dataEnded(ctx, flags)) return false;
    if (sharedLoad(config->hasAudio) == 0 || (flags & audioOn) == 0) return true;
    if (sharedLoad(ctx->audioBuffered) != 0) return false;
    return streamPlayedOut(config) != 0;
}

// Waits until the sound of the current slot is heard, then notes how far the picture trails.
void pace(PlayerConfig* config, PlayerContext* ctx) {
    LONG target = sharedLoad(ctx->audioClock) - ctx->audioLead;
    for (int round = 0; round < pacingRounds; ++round) {
        if (static_cast<LONG>(sharedLoad(config->frameCount)) - target < 1) break;
        Sleep(0);
        Sleep(pacingStepMs);
        target = sharedLoad(ctx->audioClock) - ctx->audioLead;
    }
    const LONG behind = target - static_cast<LONG>(sharedLoad(config->frameCount));
    sharedStore(config->framesBehind, behind > 0 ? behind : 0);
}

// Paces a movie without an audio clock: at framesPerSecond when the caller gave a rate, else
// one frame slot a vertical blank, as page flips pace a full-screen display.
void paceWithoutAudio(PlayerConfig* config, PlayerContext* ctx) {
    if (config->framesPerSecond <= 0) {
        waitForFrameBlank(&ctx->display);
        return;
    }
    const auto slots = static_cast<std::uint64_t>(sharedLoad(config->frameCount));
    const auto due = ctx->paceTick +
                     static_cast<DWORD>(slots * 1000 / static_cast<DWORD>(config->framesPerSecond));
    const auto early = static_cast<LONG>(due - GetTickCount());
    if (early > 0) Sleep(static_cast<DWORD>(early));
}

// Waits until the frame slot just shown is over.
void paceSlot(PlayerConfig* config, PlayerContext* ctx) {
    if (sharedLoad(config->hasAudio) != 0)
        pace(config, ctx);
    else
        paceWithoutAudio(config, ctx);
}

// One pass through the playing state.
PassEnd playPass(PlayerConfig* config, PlayerContext* ctx, FrameEntry* entry, DWORD flags) {
    Sleep(0);
    refill(ctx);
    if (sharedLoad(ctx->audioStarted) == 0 && sharedLoad(config->hasAudio) != 0) {
        // Zeroed before the stream starts, so that no stamp the feeder writes is lost.
        InterlockedExchange(&ctx->audioClock, 0);
        createStreamBuffer(ctx);
    }
    if (sharedLoad(entry->payload) != nullptr &&
        playEntry(config, ctx, entry, flags) == PassEnd::leave)
        return PassEnd::leave;
    InterlockedIncrement(frameCountWord(config));
    if (movieEnded(config, ctx, flags)) return PassEnd::leave;
    paceSlot(config, ctx);
    return PassEnd::next;
}

// Sits out a pause in 20 ms steps, seeking when asked; returns the state that ended it. The
// sound stays stopped: a pause asked for while the loop was making the sound buffer, or a
// seek that made it, would otherwise leave it playing, and its clock running.
LONG waitWhilePaused(PlayerConfig* config, PlayerContext* ctx) {
    InterlockedExchange(&config->state, statePaused);
    sharedStore(config->pauseHeld, LONG{1});
    const DWORD pausedAt = GetTickCount();
    stopStream(config);
    LONG taken = statePaused;
    do {
        Sleep(pauseStepMs);
        if (takeSeekRequest(ctx)) stopStream(config);
        taken = InterlockedExchange(&config->state, statePaused);
    } while (taken == statePaused);
    sharedStore(config->pauseHeld, LONG{0});
    InterlockedExchange(&config->state, taken);
    // Resumed: the sound goes on (again, if the caller's resume came before a stop above), and
    // slots paced at a caller's rate are due from now on, not all at once.
    if (taken == statePlaying) resumeStream(config);
    ctx->paceTick += GetTickCount() - pausedAt;
    return taken;
}

} // namespace

void playLoop(PlayerConfig* config) {
    PlayerContext* ctx = config->context;
    const DWORD flags = config->flags;
    if ((flags & ownThread) != 0 && (flags & threadPriorityGiven) != 0)
        SetThreadPriority(GetCurrentThread(), config->threadPriority);

    if (startStreamThread(ctx) == 0) {
        sharedStore(config->framesBehind, LONG{0});
        // A stop asked for before the loop began is kept, so the first pass sees it.
        if (InterlockedExchange(&config->state, stateStarting) == stateStopping)
            InterlockedExchange(&config->state, stateStopping);
        ctx->startTick = GetTickCount();
        ctx->paceTick = ctx->startTick;
        for (;;) {
            LONG taken = InterlockedExchange(&config->state, statePlaying);
            if (taken == statePaused) taken = waitWhilePaused(config, ctx);
            if (taken == stateStopping) break;
            if (taken != statePlaying) continue;
            // The frame a seek showed is given its slot's time before the next is shown.
            if (takeSeekRequest(ctx)) {
                paceSlot(config, ctx);
                continue;
            }
            const auto slot = static_cast<DWORD>(sharedLoad(ctx->frameReadIndex)) % queueSlots;
            FrameEntry* entry = &ctx->frameTable[slot];
            if (playPass(config, ctx, entry, flags) == PassEnd::leave) break;
        }
        ctx->endTick = GetTickCount();
        // What is presented from now on (a cleared screen, say) is no movie frame.
        qzplat::noteMovieFrame(-1);
        stopStreamThread(ctx);
    }
    releaseStreamBuffer(ctx);
    // The last touch of the context: once the state reads 5 the caller may close the movie.
    InterlockedExchange(&config->state, stateStopped);
}
