// The stand-in's sound device: DirectSoundCreate, the IDirectSound methods and the lifetime of
// devices and buffers.
#include <algorithm>
#include <chrono>

#include "platform/standin/dsound_internal.h"

namespace qzplat::detail {

SoundState& soundState() {
    static SoundState state;
    return state;
}

bool takeSoundFault(SoundFault& fault, HRESULT& code) {
    if (fault.count <= 0) return false;
    --fault.count;
    code = fault.code;
    return true;
}

std::int64_t nowNs() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

bool validPcm(const WAVEFORMATEX& format) {
    if (format.wFormatTag != WAVE_FORMAT_PCM) return false;
    if (format.nChannels < 1 || format.nChannels > 2) return false;
    if (format.wBitsPerSample != 8 && format.wBitsPerSample != 16) return false;
    if (format.nBlockAlign != format.nChannels * format.wBitsPerSample / 8) return false;
    if (format.nSamplesPerSec < DSBFREQUENCY_MIN || format.nSamplesPerSec > DSBFREQUENCY_MAX)
        return false;
    return format.nAvgBytesPerSec == format.nSamplesPerSec * format.nBlockAlign;
}

void destroyBuffer(SoundBuffer* buffer) {
    SoundState& st = soundState();
    if (buffer->device != nullptr) {
        auto& list = buffer->device->buffers;
        list.erase(std::remove(list.begin(), list.end(), buffer), list.end());
    }
    st.orphans.erase(std::remove(st.orphans.begin(), st.orphans.end(), buffer), st.orphans.end());
    if (st.newest == buffer) st.newest = nullptr;
    delete buffer;
}

void destroyDevice(SoundDevice* device) {
    SoundState& st = soundState();
    // Buffers still referenced go silent and stay valid objects until their last Release.
    for (SoundBuffer* buffer : device->buffers) {
        advanceClock(buffer);
        buffer->playing = false;
        buffer->device = nullptr;
        st.orphans.push_back(buffer);
    }
    device->buffers.clear();
    st.devices.erase(std::remove(st.devices.begin(), st.devices.end(), device), st.devices.end());
    delete device;
}

HRESULT SoundDevice::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!(riid == IID_IDirectSound)) return E_NOINTERFACE;
    AddRef();
    *object = static_cast<IDirectSound*>(this);
    return S_OK;
}

ULONG SoundDevice::AddRef() {
    std::lock_guard lock(soundState().mutex);
    return ++refs;
}

ULONG SoundDevice::Release() {
    SoundOutput* released = nullptr;
    {
        std::lock_guard lock(soundState().mutex);
        if (--refs != 0) return refs;
        released = output;
        destroyDevice(this);
    }
    released->release();
    return 0;
}

HRESULT SoundDevice::CreateSoundBuffer(LPCDSBUFFERDESC desc, LPLPDIRECTSOUNDBUFFER out,
                                       IUnknown* outer) {
    if (out == nullptr) return DSERR_INVALIDPARAM;
    *out = nullptr;
    if (outer != nullptr) return DSERR_NOAGGREGATION;
    if (desc == nullptr || desc->dwSize != sizeof(DSBUFFERDESC)) return DSERR_INVALIDPARAM;
    SoundState& st = soundState();
    std::lock_guard lock(st.mutex);
    HRESULT code = DS_OK;
    if (takeSoundFault(st.bufferCreate, code)) return code;
    if (level == 0) return DSERR_PRIOLEVELNEEDED;
    auto* buffer = new SoundBuffer;
    buffer->device = this;
    buffer->flags = desc->dwFlags;
    if ((desc->dwFlags & DSBCAPS_PRIMARYBUFFER) != 0) {
        // The primary buffer has neither a size nor a format of its own at creation.
        if (desc->dwBufferBytes != 0 || desc->lpwfxFormat != nullptr) {
            delete buffer;
            return DSERR_INVALIDPARAM;
        }
        buffer->primary = true;
        buffer->format = {WAVE_FORMAT_PCM, 2, 22050, 22050 * 4, 4, 16, 0};
        buffer->frequency = 22050;
    } else {
        if (desc->lpwfxFormat == nullptr || !validPcm(*desc->lpwfxFormat) ||
            desc->dwBufferBytes < DSBSIZE_MIN || desc->dwBufferBytes > DSBSIZE_MAX) {
            delete buffer;
            return DSERR_INVALIDPARAM;
        }
        buffer->format = *desc->lpwfxFormat;
        buffer->format.cbSize = 0;
        buffer->frequency = buffer->format.nSamplesPerSec;
        buffer->data.assign(desc->dwBufferBytes, 0);
        buffer->staging.assign(desc->dwBufferBytes, 0);
        HeardSound heard;
        heard.format = buffer->format;
        st.heard.push_back(std::move(heard));
        buffer->record = int(st.heard.size()) - 1;
        st.newest = buffer;
    }
    buffers.push_back(buffer);
    *out = buffer;
    return DS_OK;
}

HRESULT SoundDevice::GetCaps(LPDSCAPS caps) {
    if (caps == nullptr || caps->dwSize != sizeof(DSCAPS)) return DSERR_INVALIDPARAM;
    SoundState& st = soundState();
    std::lock_guard lock(st.mutex);
    HRESULT code = DS_OK;
    if (takeSoundFault(st.getCaps, code)) return code;
    *caps = DSCAPS{};
    caps->dwSize = sizeof(DSCAPS);
    caps->dwFlags = st.profile.caps;
    caps->dwMinSecondarySampleRate = DSBFREQUENCY_MIN;
    caps->dwMaxSecondarySampleRate = DSBFREQUENCY_MAX;
    caps->dwPrimaryBuffers = 1;
    return DS_OK;
}

HRESULT SoundDevice::DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER, LPLPDIRECTSOUNDBUFFER duplicate) {
    if (duplicate != nullptr) *duplicate = nullptr;
    return DSERR_UNSUPPORTED;
}

HRESULT SoundDevice::SetCooperativeLevel(HWND newWindow, DWORD newLevel) {
    if (newLevel < DSSCL_NORMAL || newLevel > DSSCL_WRITEPRIMARY) return DSERR_INVALIDPARAM;
    SoundState& st = soundState();
    std::lock_guard lock(st.mutex);
    HRESULT code = DS_OK;
    if (takeSoundFault(st.cooperativeLevel, code)) return code;
    level = newLevel;
    window = newWindow;
    return DS_OK;
}

HRESULT SoundDevice::Compact() {
    return DS_OK;
}

HRESULT SoundDevice::GetSpeakerConfig(LPDWORD config) {
    if (config == nullptr) return DSERR_INVALIDPARAM;
    *config = 4; // stereo speakers
    return DS_OK;
}

HRESULT SoundDevice::SetSpeakerConfig(DWORD) {
    return DS_OK;
}

HRESULT SoundDevice::Initialize(LPCGUID) {
    return DSERR_ALREADYINITIALIZED;
}

} // namespace qzplat::detail

using namespace qzplat::detail;

HRESULT DirectSoundCreate(LPCGUID guid, LPDIRECTSOUND* directSound, IUnknown* outer) {
    if (directSound == nullptr) return DSERR_INVALIDPARAM;
    *directSound = nullptr;
    if (outer != nullptr) return DSERR_NOAGGREGATION;
    if (guid != nullptr) return DSERR_NODRIVER; // only the default device exists
    SoundState& st = soundState();
    SoundOutput* output = nullptr;
    {
        std::lock_guard lock(st.mutex);
        HRESULT code = DS_OK;
        if (takeSoundFault(st.create, code)) return code;
        output = &soundOutputOf(st.backEnd);
    }
    if (!output->acquire()) return DSERR_NODRIVER;
    std::lock_guard lock(st.mutex);
    auto* device = new SoundDevice;
    device->output = output;
    st.devices.push_back(device);
    *directSound = device;
    return DS_OK;
}
