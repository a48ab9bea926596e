// The sound device and the looping stream buffer: set-up at open, creation on the first
// playing pass, the controls the caller reaches through the engine, and release.
#include "audio/sound_output.h"

#include "audio/sound_device.h"
#include "engine/shared.h"

namespace {

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
    ctx->soundWritePos = 0;
    ctx->soundBlockOffset = 0;
}

#if QZ_SOUND_DEVICE
// Largest stream buffer the device accepts.
constexpr DWORD maxStreamBufferBytes = 0x0FFFFFFF;

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
    if ((cfg->flags & volumeGiven) != 0) buffer->SetVolume(cfg->volume);
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
    ctx->soundWritePos = 0;
    ctx->soundBlockOffset = 0;
    sharedStore(cfg->soundBuffer, buffer);
    return true;
}
#endif

} // namespace

void audioSetup(PlayerContext* ctx) {
    PlayerConfig* cfg = ctx->config;
    ctx->requestedBufferBytes = defaultStreamBufferBytes;
    if ((cfg->flags & audioOn) == 0) return;
#if QZ_SOUND_DEVICE
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
            caps.dwBufferBytes <= maxStreamBufferBytes)
            ctx->requestedBufferBytes = static_cast<LONG>(caps.dwBufferBytes);
    }
#else
    // No device objects in this build: the stream will be simulated.
    if (cfg->directSound == nullptr) cfg->primarySoundBuffer = nullptr;
#endif
}

void createStreamBuffer(PlayerContext* ctx) {
    bool device = false;
#if QZ_SOUND_DEVICE
    if (ctx->config->directSound != nullptr) device = createDeviceBuffer(ctx);
#endif
    if (!device) useSimulatedOutput(ctx);
    // Published last: the feeder reads the stream fields only once it sees this.
    sharedStore(ctx->audioStarted, LONG{1});
}

void releaseStreamBuffer(PlayerContext* ctx) {
    PlayerConfig* cfg = ctx->config;
    IDirectSoundBuffer* buffer = sharedLoad(cfg->soundBuffer);
    sharedStore(cfg->soundBuffer, static_cast<IDirectSoundBuffer*>(nullptr));
#if QZ_SOUND_DEVICE
    if (buffer != nullptr) buffer->Release();
#else
    (void)buffer;
#endif
}

void audioTeardown(PlayerContext* ctx) {
    PlayerConfig* cfg = ctx->config;
    if ((cfg->flags & audioOn) == 0) return;
    if (ctx->ownsDirectSound != 0 && cfg->directSound != nullptr) {
#if QZ_SOUND_DEVICE
        cfg->directSound->Release();
#endif
        cfg->directSound = nullptr;
    }
}

LONG streamPlayedOut(PlayerConfig* config) {
    IDirectSoundBuffer* buffer = sharedLoad(config->soundBuffer);
    if (buffer == nullptr) return 1;
#if QZ_SOUND_DEVICE
    DWORD status = 0;
    if (FAILED(buffer->GetStatus(&status))) return 1;
    if ((status & DSBSTATUS_LOOPING) != 0) buffer->Play(0, 0, 0);
    return (status & DSBSTATUS_PLAYING) == 0 ? 1 : 0;
#else
    return 1;
#endif
}

void stopStream(PlayerConfig* config) {
    IDirectSoundBuffer* buffer = sharedLoad(config->soundBuffer);
#if QZ_SOUND_DEVICE
    if (buffer != nullptr) buffer->Stop();
#else
    (void)buffer;
#endif
}

void resumeStream(PlayerConfig* config) {
    IDirectSoundBuffer* buffer = sharedLoad(config->soundBuffer);
#if QZ_SOUND_DEVICE
    if (buffer != nullptr) buffer->Play(0, 0, DSBPLAY_LOOPING);
#else
    (void)buffer;
#endif
}

void setStreamVolume(PlayerConfig* config, LONG volume) {
    IDirectSoundBuffer* buffer = sharedLoad(config->soundBuffer);
#if QZ_SOUND_DEVICE
    if (buffer != nullptr) buffer->SetVolume(volume);
#else
    (void)buffer;
    (void)volume;
#endif
}

void setStreamFrequency(PlayerConfig* config, DWORD hertz) {
    IDirectSoundBuffer* buffer = sharedLoad(config->soundBuffer);
#if QZ_SOUND_DEVICE
    if (buffer != nullptr) buffer->SetFrequency(hertz);
#else
    (void)buffer;
    (void)hertz;
#endif
}
