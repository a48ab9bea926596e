// Objects behind the stand-in's DirectSound interfaces. One process-wide mutex guards every
// object: the feeder thread streams while the caller's thread pauses or sets the volume, and
// a back end's audio thread may mix. Public methods take the lock; the helpers here expect it held.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/standin/dsound.h"
#include "platform/standin/dsound_output.h"

namespace qzplat::detail {

struct SoundFault {
    int count = 0;
    HRESULT code = DS_OK;
};
// Takes one shot of a fault: true (and code set) while shots remain.
bool takeSoundFault(SoundFault& fault, HRESULT& code);

struct SoundBuffer;

struct SoundDevice final : IDirectSound {
    ULONG refs = 1;
    DWORD level = 0; // cooperative level, 0 until set
    HWND window = nullptr;
    SoundOutput* output = nullptr; // where its buffers sound; the device holds a reference
    std::vector<SoundBuffer*> buffers;

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT CreateSoundBuffer(LPCDSBUFFERDESC desc, LPLPDIRECTSOUNDBUFFER buffer,
                              IUnknown* outer) override;
    HRESULT GetCaps(LPDSCAPS caps) override;
    HRESULT DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER original,
                                 LPLPDIRECTSOUNDBUFFER duplicate) override;
    HRESULT SetCooperativeLevel(HWND window, DWORD level) override;
    HRESULT Compact() override;
    HRESULT GetSpeakerConfig(LPDWORD config) override;
    HRESULT SetSpeakerConfig(DWORD config) override;
    HRESULT Initialize(LPCGUID guid) override;
};

struct SoundBuffer final : IDirectSoundBuffer {
    SoundDevice* device = nullptr; // null once the device is gone
    ULONG refs = 1;
    bool primary = false;
    DWORD flags = 0;
    WAVEFORMATEX format{};
    std::vector<BYTE> data;
    // Lock hands out pointers into this copy of the buffer and Unlock copies them back, so
    // the mixer never reads memory the caller is writing.
    std::vector<BYTE> staging;
    bool locked = false;
    DWORD lockOffset = 0, lockBytes1 = 0, lockBytes2 = 0;
    LONG volume = 0;
    LONG pan = 0;
    DWORD frequency = 0;
    bool playing = false;
    bool looping = false;
    bool lost = false;
    DWORD position = 0; // play cursor
    // Headless clock: bytes played since anchorNs, at the frequency of the anchor.
    std::int64_t anchorNs = 0;
    std::uint64_t anchorPlayed = 0;
    std::uint64_t passed = 0; // bytes the cursor has passed since creation
    int record = -1;          // index into the heard records, -1 for the primary buffer
    std::unique_ptr<SoundOutputData> outputData; // the back end's record of this buffer

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetCaps(LPDSBCAPS caps) override;
    HRESULT GetCurrentPosition(LPDWORD playCursor, LPDWORD writeCursor) override;
    HRESULT GetFormat(LPWAVEFORMATEX format, DWORD sizeAllocated, LPDWORD sizeWritten) override;
    HRESULT GetVolume(LPLONG volume) override;
    HRESULT GetPan(LPLONG pan) override;
    HRESULT GetFrequency(LPDWORD frequency) override;
    HRESULT GetStatus(LPDWORD status) override;
    HRESULT Initialize(LPDIRECTSOUND directSound, LPCDSBUFFERDESC desc) override;
    HRESULT Lock(DWORD offset, DWORD bytes, LPVOID* audio1, LPDWORD audioBytes1, LPVOID* audio2,
                 LPDWORD audioBytes2, DWORD flags) override;
    HRESULT Play(DWORD reserved1, DWORD priority, DWORD flags) override;
    HRESULT SetCurrentPosition(DWORD position) override;
    HRESULT SetFormat(LPCWAVEFORMATEX format) override;
    HRESULT SetVolume(LONG volume) override;
    HRESULT SetPan(LONG pan) override;
    HRESULT SetFrequency(DWORD frequency) override;
    HRESULT Stop() override;
    HRESULT Unlock(LPVOID audio1, DWORD audioBytes1, LPVOID audio2, DWORD audioBytes2) override;
    HRESULT Restore() override;

    DWORD bytesPerSecond() const { return frequency * format.nBlockAlign; }
};

struct SoundState {
    std::mutex mutex;
    SoundBackEnd backEnd = SoundBackEnd::headless;
    SoundProfile profile;
    SoundFault create, cooperativeLevel, bufferCreate, getCaps, play;
    int lockFailures = 0;
    std::vector<SoundDevice*> devices;
    std::vector<SoundBuffer*> orphans; // buffers whose device is gone, references remaining
    std::vector<HeardSound> heard;
    WAVEFORMATEX primaryFormat{};
    SoundBuffer* newest = nullptr; // most recent secondary buffer still alive
};

SoundState& soundState();

std::int64_t nowNs();
// A PCM format the mixer can play: 1 or 2 channels of 8 or 16 bits at a supported rate.
bool validPcm(const WAVEFORMATEX& format);
// Moves a headless buffer's cursor to now; nothing for buffers whose back end moves cursors.
void advanceClock(SoundBuffer* buffer);
// Restarts the headless clock of a buffer at now (after a start or a rate change).
void anchorClock(SoundBuffer* buffer);
// Passes count bytes under the cursor at time now: recorded, wrapped or stopped at the end.
// Returns the bytes actually passed.
DWORD passCursor(SoundBuffer* buffer, DWORD count, std::int64_t now);
void destroyBuffer(SoundBuffer* buffer);
void destroyDevice(SoundDevice* device);

} // namespace qzplat::detail
