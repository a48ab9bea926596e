// The feeder thread: every 10 ms it measures how far the play cursor has moved and copies the
// next decoded audio block into the free part of the stream buffer, or fills the free part
// with silence when nothing is queued. The stamp of the block written last is the audio clock.
#include <cstring>

#include "audio/sound_device.h"
#include "audio/sound_output.h"
#include "engine/shared.h"

namespace {

constexpr DWORD feederPeriodMs = 10;
#if QZ_SOUND_DEVICE
// Restore-and-Lock rounds tried in one pass before the block waits for the next pass, so a
// buffer that stays lost cannot hold the feeder away from a stop request.
constexpr int lockAttempts = 8;

// Copies bytes from source (null writes silence) into the stream buffer at writePos.
bool writeDevice(PlayerContext* ctx, const BYTE* source, LONG bytes, bool retry) {
    IDirectSoundBuffer* buffer = sharedLoad(ctx->config->soundBuffer);
    void* first = nullptr;
    void* second = nullptr;
    DWORD firstBytes = 0;
    DWORD secondBytes = 0;
    const int attempts = retry ? lockAttempts : 1;
    for (int i = 0;; ++i) {
        if (SUCCEEDED(buffer->Lock(static_cast<DWORD>(ctx->soundWritePos),
                                   static_cast<DWORD>(bytes), &first, &firstBytes, &second,
                                   &secondBytes, 0)))
            break;
        if (i + 1 >= attempts) return false;
        buffer->Restore();
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
#endif

// Where the stream is being played now, or -1 when the device cannot tell.
LONG playPosition(PlayerContext* ctx) {
    if (ctx->noSoundDevice != 0) {
        const DWORD now = GetTickCount();
        const DWORD elapsed = now - ctx->simulatedTick;
        ctx->simulatedTick = now;
        return advanceSimulatedCursor(ctx, elapsed);
    }
#if QZ_SOUND_DEVICE
    DWORD play = 0;
    if (FAILED(sharedLoad(ctx->config->soundBuffer)->GetCurrentPosition(&play, nullptr)) ||
        play >= static_cast<DWORD>(ctx->soundBufferBytes))
        return -1;
    return static_cast<LONG>(play);
#else
    return -1;
#endif
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
#if QZ_SOUND_DEVICE
        if (ctx->noSoundDevice == 0 && !writeDevice(ctx, entry.samples + done, piece, true)) return;
#endif
        ctx->soundWritePos = (ctx->soundWritePos + piece) % size;
    }
    if (done + piece < total) {
        ctx->soundBlockOffset = done + piece;
        return;
    }
    ctx->soundBlockOffset = 0;
    const LONG stamp = entry.stamp;
    entry.bytes = 0;
    InterlockedIncrement(&ctx->audioReadIndex);
    InterlockedExchange(&ctx->audioClock, stamp);
    // The cleared pointer hands the slot and its ring bytes back to the reader.
    sharedStore(entry.samples, static_cast<BYTE*>(nullptr));
    InterlockedDecrement(&ctx->audioBuffered);
}

// Nothing queued: the free part becomes silence and the clock moves on by one slot.
void feedSilence(PlayerContext* ctx, LONG freeBytes) {
#if QZ_SOUND_DEVICE
    if (ctx->noSoundDevice == 0) writeDevice(ctx, nullptr, freeBytes, false);
#endif
    ctx->soundWritePos = (ctx->soundWritePos + freeBytes) % ctx->soundBufferBytes;
    InterlockedIncrement(&ctx->audioClock);
}

void feedPass(PlayerContext* ctx) {
    const LONG play = playPosition(ctx);
    if (play < 0) return;
    const LONG freeBytes = streamFreeSpace(play, ctx->soundWritePos, ctx->soundBufferBytes);
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
