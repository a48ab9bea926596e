// The front end's own sound object: it only fixes the sound card's primary output format; the
// engine makes its own sound object for the movie.
#include "frontend/devices.h"

namespace {

constexpr DWORD primaryRate = 22050;

IDirectSound* frontSound = nullptr;
IDirectSoundBuffer* frontPrimaryBuffer = nullptr;

} // namespace

void setupSound(HWND window) {
    if (FAILED(DirectSoundCreate(nullptr, &frontSound, nullptr)) || frontSound == nullptr) {
        frontSound = nullptr;
        return;
    }
    if (FAILED(frontSound->SetCooperativeLevel(window, DSSCL_EXCLUSIVE))) {
        frontSound->Release();
        frontSound = nullptr;
        return;
    }
    DSCAPS caps{};
    caps.dwSize = sizeof(DSCAPS);
    // Without the capabilities the card is taken to be 8-bit mono.
    if (FAILED(frontSound->GetCaps(&caps))) caps.dwFlags = 0;

    DSBUFFERDESC desc{};
    desc.dwSize = sizeof(DSBUFFERDESC);
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRLVOLUME;
    if (FAILED(frontSound->CreateSoundBuffer(&desc, &frontPrimaryBuffer, nullptr))) {
        frontPrimaryBuffer = nullptr;
        return;
    }
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nSamplesPerSec = primaryRate;
    format.nChannels = (caps.dwFlags & DSCAPS_PRIMARYSTEREO) ? 2 : 1;
    format.wBitsPerSample = (caps.dwFlags & DSCAPS_PRIMARY16BIT) ? 16 : 8;
    format.nBlockAlign = WORD(format.nChannels * format.wBitsPerSample / 8);
    format.nAvgBytesPerSec = format.nBlockAlign * primaryRate;
    format.cbSize = 0;
    frontPrimaryBuffer->SetFormat(&format);
}

void releaseSound() {
    if (frontPrimaryBuffer != nullptr) frontPrimaryBuffer->Release();
    frontPrimaryBuffer = nullptr;
    if (frontSound != nullptr) frontSound->Release();
    frontSound = nullptr;
}

IDirectSound* frontSoundObject() {
    return frontSound;
}

IDirectSoundBuffer* frontPrimarySoundBuffer() {
    return frontPrimaryBuffer;
}
