// The sound device and the looping stream buffer: set-up at open, creation on the first
// playing pass, the controls the caller reaches through the engine, the play-out at the end,
// and release.
#include <atomic>

#include "engine/sound_output.h"
#include "api/shared.h"

namespace {

// Largest stream buffer the device accepts.
constexpr DWORD maxStreamBufferBytes = DSBSIZE_MAX;

// Control calls on the caller's thread that are using a stream buffer right now. The play
// thread clears soundBuffer and then waits for this to reach zero before it releases the
// buffer, so a pause or volume change never reaches a released object.
LONG streamUsers = 0;

template <class Call> void withStream(PlayerConfig* config, Call call) {
    InterlockedIncrement(&streamUsers);
    if (IDirectSoundBuffer* buffer = sharedLoad(config->soundBuffer); buffer != nullptr)
        call(buffer);
    InterlockedDecrement(&streamUsers);
}

// Resets the write side of the stream: nothing written, nothing left to be heard.
void resetWriteState(PlayerContext* ctx) {
    ctx->soundWritePos = 0;
    ctx->soundBlockOffset = 0;
    ctx->lockFailedPasses = 0;
    ctx->lastPlayPos = -1; // no pass yet
    ctx->soundTailPos = 0;
    ctx->lastBlockBytes = 0;
    ctx->silenceBytes = 0;
    sharedStore(ctx->soundTailHeard, LONG{1});
}

// Clears the stream so the feeder plays it on the simulated cursor.
void useSimulatedOutput(PlayerContext* ctx) {
    PlayerConfig* cfg = ctx->config;
    sharedStore(cfg->soundBuffer, static_cast<IDirectSoundBuffer*>(nullptr));
    const LONG rate = sharedLoad(ctx->audioRate);
    ctx->simulatedRate = rate > 0 ? rate : fallbackStreamRate;
    ctx->simulatedPlayPos = 0;
    ctx->simulatedRemainder = 0;
    ctx->simulatedTick = GetTickCount();
    ctx->soundBufferBytes = defaultStreamBufferBytes;
    ctx->noSoundDevice = 1;
    resetWriteState(ctx);
}

// Creates, configures and starts the device buffer; false leaves soundBuffer null.
bool createDeviceBuffer(PlayerContext* ctx) {
    PlayerConfig* cfg = ctx->config;
    const LONG rate = sharedLoad(ctx->audioRate);
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = static_cast<DWORD>(rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = static_cast<DWORD>(rate) * 4;
    format.cbSize = 0;
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof(DSBUFFERDESC);
    desc.dwFlags =
        DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_CTRLFREQUENCY;
    desc.dwBufferBytes = static_cast<DWORD>(ctx->requestedBufferBytes);
    desc.lpwfxFormat = &format;
    IDirectSoundBuffer* buffer = nullptr;
    if (FAILED(cfg->directSound->CreateSoundBuffer(&desc, &buffer, nullptr)) || buffer == nullptr)
        return false;
    buffer->SetFrequency(static_cast<DWORD>(rate));
    const bool volumeSet = (cfg->flags & volumeGiven) != 0;
    if (volumeSet) buffer->SetVolume(sharedLoad(cfg->volume));
    DSBCAPS caps{};
    caps.dwSize = sizeof(DSBCAPS);
    // A size the ring arithmetic cannot use counts as a failed GetCaps.
    if (FAILED(buffer->GetCaps(&caps)) || caps.dwBufferBytes < 4 ||
        caps.dwBufferBytes > maxStreamBufferBytes || FAILED(buffer->Play(0, 0, DSBPLAY_LOOPING))) {
        buffer->Release();
        return false;
    }
    ctx->soundBufferBytes = static_cast<LONG>(caps.dwBufferBytes);
    ctx->noSoundDevice = 0;
    resetWriteState(ctx);
    sharedStore(cfg->soundBuffer, buffer);
    // A playerSetVolume that found no buffer yet stored its value before it looked: taken again
    // now that the buffer is there, it is never lost.
    if (volumeSet) buffer->SetVolume(sharedLoad(cfg->volume));
    return true;
}

// The stream buffer size that makes the clock exact. The play loop takes the sound of slot
// audioClock - audioLead to be heard now, with audioLead whole blocks of the prefill's average
// size; a buffer of exactly that many blocks makes it so, where the default size would leave
// the pictures up to a block early. The feeder hands a block over on average half a period
// after its room appears, so the buffer holds half a period more to centre the clock's steps
// on the moments the slots are heard.
LONG pacedBufferBytes(const PlayerContext* ctx) {
    const LONG chunks = ctx->audioChunksRead;
    const LONG rate = ctx->audioRate;
    if (chunks <= 0 || ctx->audioLead <= 0 || rate <= 0) return defaultStreamBufferBytes;
    const long long average =
        static_cast<long long>(static_cast<DWORD>(ctx->audioBytesRead)) / chunks;
    const long long halfPeriod = static_cast<long long>(rate) * 4 * feederPeriodMs / 2000 / 4 * 4;
    const long long bytes = average / 4 * 4 * ctx->audioLead + halfPeriod;
    if (average < 4 || bytes > defaultStreamBufferBytes + halfPeriod)
        return defaultStreamBufferBytes;
    return static_cast<LONG>(bytes);
}

// True once switching the buffer to play once can no longer cut off sound the feeder wrote:
// the cursor has passed the end of the last block, or that end lies ahead of the cursor
// before the buffer's end.
bool lastBlockWithinLap(PlayerContext* ctx, IDirectSoundBuffer* buffer) {
    if (sharedLoad(ctx->soundTailHeard) != 0) return true;
    DWORD play = 0;
    if (FAILED(buffer->GetCurrentPosition(&play, nullptr))) return true;
    return play <= static_cast<DWORD>(sharedLoad(ctx->soundTailPos));
}

} // namespace

void audioSetup(PlayerContext* ctx) {
    PlayerConfig* cfg = ctx->config;
    ctx->requestedBufferBytes = defaultStreamBufferBytes;
    if ((cfg->flags & audioOn) == 0) return;
    if (cfg->directSound == nullptr) {
        ctx->ownsDirectSound = 1;
        if (SUCCEEDED(DirectSoundCreate(nullptr, &cfg->directSound, nullptr)) &&
            cfg->directSound != nullptr) {
            if (FAILED(cfg->directSound->SetCooperativeLevel(cfg->window, DSSCL_PRIORITY))) {
                cfg->directSound->Release();
                cfg->directSound = nullptr;
            }
        } else {
            cfg->directSound = nullptr;
        }
    }
    if (cfg->directSound == nullptr) {
        cfg->primarySoundBuffer = nullptr;
        return;
    }
    if ((cfg->flags & callerBufferSize) != 0 && cfg->primarySoundBuffer != nullptr) {
        DSBCAPS caps{};
        caps.dwSize = sizeof(DSBCAPS);
        if (SUCCEEDED(cfg->primarySoundBuffer->GetCaps(&caps)) && caps.dwBufferBytes >= 4 &&
            caps.dwBufferBytes <= maxStreamBufferBytes) {
            ctx->requestedBufferBytes = static_cast<LONG>(caps.dwBufferBytes);
            return;
        }
    }
    ctx->requestedBufferBytes = pacedBufferBytes(ctx);
}

void createStreamBuffer(PlayerContext* ctx) {
    const bool device = ctx->config->directSound != nullptr && createDeviceBuffer(ctx);
    if (!device) useSimulatedOutput(ctx);
    // Published last: the feeder reads the stream fields only once it sees this.
    sharedStore(ctx->audioStarted, LONG{1});
}

void releaseStreamBuffer(PlayerContext* ctx) {
    PlayerConfig* cfg = ctx->config;
    IDirectSoundBuffer* buffer =
        std::atomic_ref<IDirectSoundBuffer*>(cfg->soundBuffer).exchange(nullptr);
    while (sharedLoad(streamUsers) != 0) Sleep(0);
    if (buffer != nullptr) buffer->Release();
}

void audioTeardown(PlayerContext* ctx) {
    PlayerConfig* cfg = ctx->config;
    if ((cfg->flags & audioOn) == 0) return;
    if (ctx->ownsDirectSound != 0 && cfg->directSound != nullptr) {
        cfg->directSound->Release();
        cfg->directSound = nullptr;
    }
}

LONG streamPlayedOut(PlayerConfig* config) {
    IDirectSoundBuffer* buffer = sharedLoad(config->soundBuffer);
    if (buffer == nullptr) return 1;
    DWORD status = 0;
    if (FAILED(buffer->GetStatus(&status)) || (status & DSBSTATUS_PLAYING) == 0) return 1;
    if ((status & DSBSTATUS_LOOPING) == 0 || !lastBlockWithinLap(config->context, buffer)) return 0;
    if (SUCCEEDED(buffer->Play(0, 0, 0))) return 0;
    // A lost buffer would loop on for ever: restore it, and stop it if that does not help.
    buffer->Restore();
    if (SUCCEEDED(buffer->Play(0, 0, 0))) return 0;
    buffer->Stop();
    return 1;
}

void stopStream(PlayerConfig* config) {
    withStream(config, [](IDirectSoundBuffer* buffer) { buffer->Stop(); });
}

void resumeStream(PlayerConfig* config) {
    withStream(config, [](IDirectSoundBuffer* buffer) { buffer->Play(0, 0, DSBPLAY_LOOPING); });
}

void setStreamVolume(PlayerConfig* config, LONG volume) {
    withStream(config, [volume](IDirectSoundBuffer* buffer) { buffer->SetVolume(volume); });
}

void setStreamFrequency(PlayerConfig* config, DWORD hertz) {
    withStream(config, [hertz](IDirectSoundBuffer* buffer) { buffer->SetFrequency(hertz); });
}
