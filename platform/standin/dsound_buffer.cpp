// The stand-in's sound buffers: the IDirectSoundBuffer methods. The play cursor is never moved
// here but by the back end; every method first brings a headless cursor up to now, so that
// what the cursor passed is recorded before anything changes.
#include <cstring>

#include "platform/standin/dsound_internal.h"

namespace qzplat::detail {

namespace {

// Bytes ahead of the play cursor that a real mixer has already taken: 10 ms of sound.
DWORD writeLead(const SoundBuffer& buffer) {
    const DWORD align = buffer.format.nBlockAlign != 0 ? buffer.format.nBlockAlign : 1;
    return buffer.bytesPerSecond() / 100 / align * align;
}

// The common checks of a secondary buffer's methods (lock held).
HRESULT usable(const SoundBuffer& buffer) {
    if (buffer.device == nullptr) return DSERR_UNINITIALIZED;
    return DS_OK;
}

} // namespace

HRESULT SoundBuffer::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!(riid == IID_IDirectSoundBuffer)) return E_NOINTERFACE;
    AddRef();
    *object = static_cast<IDirectSoundBuffer*>(this);
    return S_OK;
}

ULONG SoundBuffer::AddRef() {
    std::lock_guard lock(soundState().mutex);
    return ++refs;
}

ULONG SoundBuffer::Release() {
    std::lock_guard lock(soundState().mutex);
    if (--refs != 0) return refs;
    advanceClock(this);
    destroyBuffer(this);
    return 0;
}

HRESULT SoundBuffer::GetCaps(LPDSBCAPS caps) {
    if (caps == nullptr || caps->dwSize != sizeof(DSBCAPS)) return DSERR_INVALIDPARAM;
    SoundState& st = soundState();
    std::lock_guard lock(st.mutex);
    HRESULT code = DS_OK;
    if (takeSoundFault(st.getCaps, code)) return code;
    caps->dwFlags = flags | DSBCAPS_LOCSOFTWARE;
    caps->dwBufferBytes = primary ? st.profile.primaryBufferBytes : DWORD(data.size());
    caps->dwUnlockTransferRate = 0;
    caps->dwPlayCpuOverhead = 0;
    return DS_OK;
}

HRESULT SoundBuffer::GetCurrentPosition(LPDWORD playCursor, LPDWORD writeCursor) {
    std::lock_guard lock(soundState().mutex);
    if (HRESULT code = usable(*this); code != DS_OK) return code;
    advanceClock(this);
    const DWORD size = primary ? soundState().profile.primaryBufferBytes : DWORD(data.size());
    if (playCursor != nullptr) *playCursor = position;
    if (writeCursor != nullptr)
        *writeCursor = size != 0 ? (position + (playing ? writeLead(*this) : 0)) % size : 0;
    return DS_OK;
}

HRESULT SoundBuffer::GetFormat(LPWAVEFORMATEX out, DWORD sizeAllocated, LPDWORD sizeWritten) {
    std::lock_guard lock(soundState().mutex);
    if (out == nullptr && sizeWritten == nullptr) return DSERR_INVALIDPARAM;
    const DWORD size = sizeAllocated < sizeof(WAVEFORMATEX) ? sizeAllocated : sizeof(WAVEFORMATEX);
    if (out != nullptr) std::memcpy(out, &format, size);
    if (sizeWritten != nullptr) *sizeWritten = out != nullptr ? size : sizeof(WAVEFORMATEX);
    return DS_OK;
}

HRESULT SoundBuffer::GetVolume(LPLONG out) {
    if (out == nullptr) return DSERR_INVALIDPARAM;
    std::lock_guard lock(soundState().mutex);
    if ((flags & DSBCAPS_CTRLVOLUME) == 0) return DSERR_CONTROLUNAVAIL;
    *out = volume;
    return DS_OK;
}

HRESULT SoundBuffer::GetPan(LPLONG out) {
    if (out == nullptr) return DSERR_INVALIDPARAM;
    std::lock_guard lock(soundState().mutex);
    if ((flags & DSBCAPS_CTRLPAN) == 0) return DSERR_CONTROLUNAVAIL;
    *out = pan;
    return DS_OK;
}

HRESULT SoundBuffer::GetFrequency(LPDWORD out) {
    if (out == nullptr) return DSERR_INVALIDPARAM;
    std::lock_guard lock(soundState().mutex);
    if ((flags & DSBCAPS_CTRLFREQUENCY) == 0) return DSERR_CONTROLUNAVAIL;
    *out = frequency;
    return DS_OK;
}

HRESULT SoundBuffer::GetStatus(LPDWORD status) {
    if (status == nullptr) return DSERR_INVALIDPARAM;
    std::lock_guard lock(soundState().mutex);
    advanceClock(this);
    *status = (playing ? DSBSTATUS_PLAYING : 0) | (playing && looping ? DSBSTATUS_LOOPING : 0) |
              (lost ? DSBSTATUS_BUFFERLOST : 0);
    return DS_OK;
}

HRESULT SoundBuffer::Initialize(LPDIRECTSOUND, LPCDSBUFFERDESC) {
    return DSERR_ALREADYINITIALIZED;
}

HRESULT SoundBuffer::Lock(DWORD offset, DWORD bytes, LPVOID* audio1, LPDWORD audioBytes1,
                          LPVOID* audio2, LPDWORD audioBytes2, DWORD lockFlags) {
    if (audio1 == nullptr || audioBytes1 == nullptr) return DSERR_INVALIDPARAM;
    *audio1 = nullptr;
    *audioBytes1 = 0;
    if (audio2 != nullptr) *audio2 = nullptr;
    if (audioBytes2 != nullptr) *audioBytes2 = 0;
    SoundState& st = soundState();
    std::lock_guard lock(st.mutex);
    if (HRESULT code = usable(*this); code != DS_OK) return code;
    if (primary) return DSERR_PRIOLEVELNEEDED; // only a write-primary owner may lock it
    if (lost) return DSERR_BUFFERLOST;
    if (st.lockFailures > 0) {
        --st.lockFailures;
        lost = true;
        return DSERR_BUFFERLOST;
    }
    if (locked) return DSERR_INVALIDCALL;
    advanceClock(this);
    const auto size = DWORD(data.size());
    if ((lockFlags & DSBLOCK_FROMWRITECURSOR) != 0)
        offset = (position + (playing ? writeLead(*this) : 0)) % size;
    if ((lockFlags & DSBLOCK_ENTIREBUFFER) != 0) bytes = size;
    if (offset >= size || bytes == 0 || bytes > size) return DSERR_INVALIDPARAM;
    const DWORD first = bytes < size - offset ? bytes : size - offset;
    const DWORD second = bytes - first;
    if (second != 0 && (audio2 == nullptr || audioBytes2 == nullptr)) return DSERR_INVALIDPARAM;
    std::memcpy(staging.data() + offset, data.data() + offset, first);
    std::memcpy(staging.data(), data.data(), second);
    locked = true;
    lockOffset = offset;
    lockBytes1 = first;
    lockBytes2 = second;
    *audio1 = staging.data() + offset;
    *audioBytes1 = first;
    if (second != 0) {
        *audio2 = staging.data();
        *audioBytes2 = second;
    }
    return DS_OK;
}

HRESULT SoundBuffer::Unlock(LPVOID audio1, DWORD audioBytes1, LPVOID audio2, DWORD audioBytes2) {
    std::lock_guard lock(soundState().mutex);
    if (!locked || audio1 != staging.data() + lockOffset || audioBytes1 > lockBytes1 ||
        audioBytes2 > lockBytes2 || (audioBytes2 != 0 && audio2 != staging.data()))
        return DSERR_INVALIDPARAM;
    // Bytes up to the cursor are played before the new ones arrive.
    advanceClock(this);
    std::memcpy(data.data() + lockOffset, staging.data() + lockOffset, audioBytes1);
    std::memcpy(data.data(), staging.data(), audioBytes2);
    locked = false;
    return DS_OK;
}

HRESULT SoundBuffer::Play(DWORD, DWORD, DWORD playFlags) {
    SoundState& st = soundState();
    std::lock_guard lock(st.mutex);
    if (HRESULT code = usable(*this); code != DS_OK) return code;
    HRESULT code = DS_OK;
    if (takeSoundFault(st.play, code)) return code;
    if (device->level == 0) return DSERR_PRIOLEVELNEEDED;
    if (lost) return DSERR_BUFFERLOST;
    advanceClock(this);
    const bool wasPlaying = playing;
    playing = true;
    looping = (playFlags & DSBPLAY_LOOPING) != 0;
    if (!wasPlaying) anchorClock(this);
    return DS_OK;
}

HRESULT SoundBuffer::SetCurrentPosition(DWORD newPosition) {
    std::lock_guard lock(soundState().mutex);
    if (HRESULT code = usable(*this); code != DS_OK) return code;
    if (primary || newPosition >= data.size()) return DSERR_INVALIDPARAM;
    advanceClock(this);
    position = newPosition - newPosition % format.nBlockAlign;
    anchorClock(this);
    return DS_OK;
}

HRESULT SoundBuffer::SetFormat(LPCWAVEFORMATEX newFormat) {
    SoundState& st = soundState();
    SoundOutput* output = nullptr;
    {
        std::lock_guard lock(st.mutex);
        if (HRESULT code = usable(*this); code != DS_OK) return code;
        if (!primary) return DSERR_INVALIDCALL;
        if (device->level < DSSCL_PRIORITY) return DSERR_PRIOLEVELNEEDED;
        if (newFormat == nullptr || !validPcm(*newFormat)) return DSERR_BADFORMAT;
        format = *newFormat;
        format.cbSize = 0;
        frequency = format.nSamplesPerSec;
        st.primaryFormat = format;
        output = device->output;
    }
    // The card now runs at the primary format's rate.
    output->followPrimaryRate(newFormat->nSamplesPerSec);
    return DS_OK;
}

HRESULT SoundBuffer::SetVolume(LONG newVolume) {
    std::lock_guard lock(soundState().mutex);
    if ((flags & DSBCAPS_CTRLVOLUME) == 0) return DSERR_CONTROLUNAVAIL;
    if (newVolume < DSBVOLUME_MIN || newVolume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
    volume = newVolume;
    return DS_OK;
}

HRESULT SoundBuffer::SetPan(LONG newPan) {
    std::lock_guard lock(soundState().mutex);
    if ((flags & DSBCAPS_CTRLPAN) == 0) return DSERR_CONTROLUNAVAIL;
    if (newPan < DSBPAN_LEFT || newPan > DSBPAN_RIGHT) return DSERR_INVALIDPARAM;
    pan = newPan;
    return DS_OK;
}

HRESULT SoundBuffer::SetFrequency(DWORD newFrequency) {
    std::lock_guard lock(soundState().mutex);
    if ((flags & DSBCAPS_CTRLFREQUENCY) == 0 || primary) return DSERR_CONTROLUNAVAIL;
    if (newFrequency == DSBFREQUENCY_ORIGINAL) newFrequency = format.nSamplesPerSec;
    if (newFrequency < DSBFREQUENCY_MIN || newFrequency > DSBFREQUENCY_MAX)
        return DSERR_INVALIDPARAM;
    advanceClock(this);
    frequency = newFrequency;
    anchorClock(this);
    return DS_OK;
}

HRESULT SoundBuffer::Stop() {
    std::lock_guard lock(soundState().mutex);
    if (HRESULT code = usable(*this); code != DS_OK) return code;
    advanceClock(this);
    playing = false;
    return DS_OK;
}

HRESULT SoundBuffer::Restore() {
    std::lock_guard lock(soundState().mutex);
    if (HRESULT code = usable(*this); code != DS_OK) return code;
    lost = false;
    return DS_OK;
}

} // namespace qzplat::detail
