// DirectSound interfaces of the stand-in: the platform's interfaces as C++ structs of virtual
// methods in the platform's order, and the entry point. Behind them a software mixer moves
// each playing buffer's cursor: a clock in the headless back end, the sound card through SDL
// otherwise (dsound_control.h).
#pragma once

#include "platform/standin/dsound_types.h"
#include "platform/standin/dsound_control.h"

struct IDirectSound : IUnknown {
    virtual HRESULT CreateSoundBuffer(LPCDSBUFFERDESC desc, LPLPDIRECTSOUNDBUFFER buffer,
                                      IUnknown* outer) = 0;
    virtual HRESULT GetCaps(LPDSCAPS caps) = 0;
    virtual HRESULT DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER original,
                                         LPLPDIRECTSOUNDBUFFER duplicate) = 0;
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD level) = 0;
    virtual HRESULT Compact() = 0;
    virtual HRESULT GetSpeakerConfig(LPDWORD config) = 0;
    virtual HRESULT SetSpeakerConfig(DWORD config) = 0;
    virtual HRESULT Initialize(LPCGUID guid) = 0;
};

struct IDirectSoundBuffer : IUnknown {
    virtual HRESULT GetCaps(LPDSBCAPS caps) = 0;
    virtual HRESULT GetCurrentPosition(LPDWORD playCursor, LPDWORD writeCursor) = 0;
    virtual HRESULT GetFormat(LPWAVEFORMATEX format, DWORD sizeAllocated, LPDWORD sizeWritten) = 0;
    virtual HRESULT GetVolume(LPLONG volume) = 0;
    virtual HRESULT GetPan(LPLONG pan) = 0;
    virtual HRESULT GetFrequency(LPDWORD frequency) = 0;
    virtual HRESULT GetStatus(LPDWORD status) = 0;
    virtual HRESULT Initialize(LPDIRECTSOUND directSound, LPCDSBUFFERDESC desc) = 0;
    virtual HRESULT Lock(DWORD offset, DWORD bytes, LPVOID* audio1, LPDWORD audioBytes1,
                         LPVOID* audio2, LPDWORD audioBytes2, DWORD flags) = 0;
    virtual HRESULT Play(DWORD reserved1, DWORD priority, DWORD flags) = 0;
    virtual HRESULT SetCurrentPosition(DWORD position) = 0;
    virtual HRESULT SetFormat(LPCWAVEFORMATEX format) = 0;
    virtual HRESULT SetVolume(LONG volume) = 0;
    virtual HRESULT SetPan(LONG pan) = 0;
    virtual HRESULT SetFrequency(DWORD frequency) = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT Unlock(LPVOID audio1, DWORD audioBytes1, LPVOID audio2, DWORD audioBytes2) = 0;
    virtual HRESULT Restore() = 0;
};

// Makes the sound device object; guid must be null (the default device). Fails with
// DSERR_NODRIVER when the chosen back end has no sound card.
HRESULT DirectSoundCreate(LPCGUID guid, LPDIRECTSOUND* directSound, IUnknown* outer);
