// The feeder thread: every 10 ms it measures how far the play cursor has moved and copies the
// next decoded audio block into the free part of the stream buffer, or fills the free part
// with silence when nothing is queued. The stamp of the block written last is the audio clock.
#include <algorithm>
#include <cstring>

#include "engine/sound_output.h"
#include "api/shared.h"

namespace {

// Passes a block may find the buffer unlockable (each trying Lock, Restore and Lock again)
// before it is dropped. The wait spans passes, so a stop request is seen between tries.
constexpr LONG lockRetryPasses = 5;

// Bytes always left unwritten just behind the play cursor. Equal write and play positions read
// as an empty buffer, so a write that reached the cursor would make a full buffer look empty
// and the next pass would write over a whole lap of sound not yet played.
constexpr LONG cursorGuardBytes = 4;

// Copies bytes from source (null writes silence) into the stream buffer at soundWritePos.
// A lost buffer is restored and locked once more; false when that fails too.
bool writeDevice(PlayerContext* ctx, const BYTE* source, LONG bytes, bool restore) {
    IDirectSoundBuffer* buffer = sharedLoad(ctx->config->soundBuffer);
    void* first = nullptr;
    void* second = nullptr;
    DWORD firstBytes = 0;
    DWORD secondBytes = 0;
    const auto lock = [&] {
        return SUCCEEDED(buffer->Lock(static_cast<DWORD>(ctx->soundWritePos),
                                      static_cast<DWORD>(bytes), &first, &firstBytes, &second,
                                      &secondBytes, 0));
    };
    if (!lock()) {
        if (!restore) return false;
        buffer->Restore();
        if (!lock()) return false;
    }
    // Never more than asked for, whatever the regions claim.
    if (firstBytes > static_cast<DWORD>(bytes)) firstBytes = static_cast<DWORD>(bytes);
    if (secondBytes > static_cast<DWORD>(bytes) - firstBytes)
        secondBytes = static_cast<DWORD>(bytes) - firstBytes;
    if (source != nullptr) {
        std::memcpy(first, source, firstBytes);
        if (second != nullptr) std::memcpy(second, source + firstBytes, secondBytes);
    } else {
        std::memset(first, 0, firstBytes);
        if (second != nullptr) std::memset(second, 0, secondBytes);
    }
    buffer->Unlock(first, firstBytes, second, secondBytes);
    return true;
}

// Where the stream is being played now, or -1 when the device cannot tell. On a device
// stream's first pass the writing starts at the device's write cursor, where the sound is
// heard next, instead of behind a whole lap of the new buffer's silence.
LONG playPosition(PlayerContext* ctx) {
    if (ctx->noSoundDevice != 0) {
        const DWORD now = GetTickCount();
        const DWORD elapsed = now - ctx->simulatedTick;
        ctx->simulatedTick = now;
        return advanceSimulatedCursor(ctx, elapsed);
    }
    DWORD play = 0;
    DWORD write = 0;
    const auto size = static_cast<DWORD>(ctx->soundBufferBytes);
    if (FAILED(sharedLoad(ctx->config->soundBuffer)->GetCurrentPosition(&play, &write)) ||
        play >= size || write >= size)
        return -1;
    if (ctx->lastPlayPos < 0) {
        ctx->soundWritePos = static_cast<LONG>(write & ~3u);
        ctx->lastPlayPos = static_cast<LONG>(play);
    }
    return static_cast<LONG>(play);
}

// Notes when the cursor passes the end of the last block written, so the play-out at the end
// knows that block has been heard.
void followCursor(PlayerContext* ctx, LONG play) {
    const LONG last = ctx->lastPlayPos;
    ctx->lastPlayPos = play;
    if (last == play || sharedLoad(ctx->soundTailHeard) != 0) return;
    const LONG tail = ctx->soundTailPos;
    const bool passed = last < play ? tail > last && tail <= play : tail > last || tail <= play;
    if (passed) sharedStore(ctx->soundTailHeard, LONG{1});
}

// Hands the queued block to the buffer once it fits whole. A block longer than the whole
// buffer can never fit, so it goes in piece by piece as room appears instead.
void feedBlock(PlayerContext* ctx, LONG freeBytes) {
    const LONG size = ctx->soundBufferBytes;
    const auto slot = static_cast<DWORD>(sharedLoad(ctx->audioReadIndex)) % queueSlots;
    AudioEntry& entry = ctx->audioTable[slot];
    const LONG total = entry.bytes > 0 ? entry.bytes : 0;
    const LONG done = ctx->soundBlockOffset;
    LONG piece = total - done;
    if (total <= size) {
        if (freeBytes < piece) return;
    } else if (piece > freeBytes) {
        piece = freeBytes;
    }
    if (piece > 0) {
        if (ctx->noSoundDevice == 0 && !writeDevice(ctx, entry.samples + done, piece, true)) {
            if (++ctx->lockFailedPasses < lockRetryPasses) return;
            // The buffer stays lost: the block is given up so that sound and clock go on.
            // The write position still moves past its place to keep the clock in step.
            InterlockedIncrement(&ctx->audioChunksDropped);
            piece = total - done;
        }
        ctx->lockFailedPasses = 0;
        ctx->soundWritePos =
            static_cast<LONG>((static_cast<long long>(ctx->soundWritePos) + piece) % size);
    }
    if (done + piece < total) {
        ctx->soundBlockOffset = done + piece;
        return;
    }
    ctx->soundBlockOffset = 0;
    const LONG stamp = entry.stamp;
    entry.bytes = 0;
    if (piece > 0) {
        sharedStore(ctx->soundTailPos, ctx->soundWritePos);
        sharedStore(ctx->soundTailHeard, LONG{0});
        ctx->lastBlockBytes = total;
    }
    ctx->silenceBytes = 0;
    InterlockedIncrement(&ctx->audioReadIndex);
    InterlockedExchange(&ctx->audioClock, stamp);
    // The cleared pointer hands the slot and its ring bytes back to the reader.
    sharedStore(entry.samples, static_cast<BYTE*>(nullptr));
    InterlockedDecrement(&ctx->audioBuffered);
}

// Nothing queued: the free part becomes silence and the clock moves on. Once a block has
// been written, the clock moves one slot for every block's length of silence, so the pictures
// after the last sound (or through a gap) keep their pace; before that, one slot a pass.
void feedSilence(PlayerContext* ctx, LONG freeBytes) {
    if (freeBytes <= 0) return;
    if (ctx->noSoundDevice == 0) writeDevice(ctx, nullptr, freeBytes, false);
    ctx->soundWritePos = (ctx->soundWritePos + freeBytes) % ctx->soundBufferBytes;
    const LONG slotBytes = ctx->lastBlockBytes;
    if (slotBytes <= 0) {
        InterlockedIncrement(&ctx->audioClock);
        return;
    }
    ctx->silenceBytes += freeBytes;
    while (ctx->silenceBytes >= slotBytes) {
        ctx->silenceBytes -= slotBytes;
        InterlockedIncrement(&ctx->audioClock);
    }
}

void feedPass(PlayerContext* ctx) {
    const LONG play = playPosition(ctx);
    if (play < 0) return;
    if (ctx->noSoundDevice == 0) followCursor(ctx, play);
    const LONG freeBytes = std::max<LONG>(
        streamFreeSpace(play, ctx->soundWritePos, ctx->soundBufferBytes) - cursorGuardBytes, 0);
    if (sharedLoad(ctx->audioBuffered) > 0)
        feedBlock(ctx, freeBytes);
    else
        feedSilence(ctx, freeBytes);
}

void __cdecl feederMain(void* arg) {
    auto* ctx = static_cast<PlayerContext*>(arg);
    for (;;) {
        Sleep(feederPeriodMs);
        // A 0 taken out is the stop request; the 1 left behind is the acknowledgement, and
        // the context must not be touched after it.
        if (InterlockedExchange(&ctx->audioThreadRun, 1) == 0) _endthread();
        if (sharedLoad(ctx->audioStarted) != 0) feedPass(ctx);
        InterlockedIncrement(&ctx->audioTicks);
    }
}

} // namespace

LONG streamFreeSpace(LONG playPos, LONG writePos, LONG bufferBytes) {
    if (writePos < playPos) return playPos - writePos;
    return playPos + bufferBytes - writePos;
}

LONG advanceSimulatedCursor(PlayerContext* ctx, DWORD elapsedMs) {
    const long long bytesPerSecond = static_cast<long long>(ctx->simulatedRate) * 4;
    const long long scaled = bytesPerSecond * elapsedMs + ctx->simulatedRemainder;
    ctx->simulatedRemainder = static_cast<LONG>(scaled % 1000);
    const long long advance = scaled / 1000;
    const LONG size = ctx->soundBufferBytes;
    ctx->simulatedPlayPos = static_cast<LONG>((ctx->simulatedPlayPos + advance % size) % size);
    return ctx->simulatedPlayPos;
}

void primeStream(PlayerContext* ctx) {
    if (sharedLoad(ctx->audioStarted) == 0) return;
    for (LONG pass = 0; pass < queueSlots && sharedLoad(ctx->audioBuffered) > 0; ++pass) {
        const LONG queued = sharedLoad(ctx->audioBuffered);
        const LONG offset = ctx->soundBlockOffset;
        feedPass(ctx);
        // No room for the next block (or no device position): the feeder goes on from here.
        if (sharedLoad(ctx->audioBuffered) == queued && ctx->soundBlockOffset == offset) return;
    }
}

LONG startStreamThread(PlayerContext* ctx) {
    InterlockedExchange(&ctx->audioThreadRun, 1);
    const std::uintptr_t thread = _beginthread(feederMain, 0, ctx);
    if (thread == static_cast<std::uintptr_t>(-1)) {
        InterlockedExchange(&ctx->audioThreadRun, 0);
        ctx->audioThread = 0;
        return 1;
    }
    ctx->audioThread = thread;
    SetThreadPriority(reinterpret_cast<HANDLE>(thread), THREAD_PRIORITY_TIME_CRITICAL);
    return 0;
}

LONG stopStreamThread(PlayerContext* ctx) {
    if (ctx->audioThread == 0) return 1;
    InterlockedExchange(&ctx->audioThreadRun, 0);
    while (InterlockedExchange(&ctx->audioThreadRun, 0) == 0) Sleep(feederPeriodMs);
    ctx->audioThread = 0;
    return 0;
}
