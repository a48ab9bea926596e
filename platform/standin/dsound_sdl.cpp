// The SDL sound output: one audio device shared by every DirectSound device on this back end.
// Its callback moves the cursor of every playing secondary buffer at the buffer's frequency,
// converts the bytes to the card's rate through an SDL audio stream (kept as the buffer's
// output record), applies the buffer's volume and mixes them.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/standin/dsound_internal.h"

namespace qzplat::detail {

namespace {

// Frames the card asks for in one callback: about 23 ms at 44100 Hz.
constexpr Uint16 deviceFrames = 1024;
constexpr int deviceRate = 44100;

// A buffer's converter from its format and frequency to the card's rate.
struct RateConverter final : SoundOutputData {
    SDL_AudioStream* stream = nullptr;
    DWORD frequency = 0;
    int cardRate = 0;
    ~RateConverter() override {
        if (stream != nullptr) SDL_FreeAudioStream(stream);
    }
};

class SdlOutput final : public SoundOutput {
  public:
    bool acquire() override;
    void release() override;
    void followPrimaryRate(DWORD rate) override;
    bool movesCursors() const override { return true; }

    std::mutex mutex; // guards the fields below; never held together with the sound lock
    int references = 0;
    SDL_AudioDeviceID device = 0;
    SDL_AudioSpec cardFormat{};
    std::atomic<int> cardRate{0}; // what the callback converts to, set before it runs
    std::atomic<bool> cardOpen{false};
};

SdlOutput& output() {
    static SdlOutput out;
    return out;
}

// Mixing scratch, used only by the callback.
std::vector<std::int32_t> mixSums;
std::vector<std::int16_t> converted;
std::vector<BYTE> raw;

double gainOf(LONG volume) {
    if (volume <= DSBVOLUME_MIN) return 0.0;
    return std::pow(10.0, double(volume) / 2000.0);
}

// The converter from the buffer to the card, made (or remade after a rate change) when needed;
// null when SDL cannot make one.
SDL_AudioStream* prepareStream(SoundBuffer* buffer, int cardRate) {
    // Only this back end makes the records of its devices' buffers.
    auto* converter = static_cast<RateConverter*>(buffer->outputData.get());
    if (converter != nullptr && converter->stream != nullptr &&
        converter->frequency == buffer->frequency && converter->cardRate == cardRate)
        return converter->stream;
    buffer->outputData.reset();
    const SDL_AudioFormat from = buffer->format.wBitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
    auto made = std::make_unique<RateConverter>();
    made->stream = SDL_NewAudioStream(from, Uint8(buffer->format.nChannels), int(buffer->frequency),
                                      AUDIO_S16SYS, 2, cardRate);
    made->frequency = buffer->frequency;
    made->cardRate = cardRate;
    SDL_AudioStream* stream = made->stream;
    buffer->outputData = std::move(made);
    return stream;
}

// Adds len bytes of the buffer's sound, at the card's rate, to the sums.
void mixBuffer(SoundBuffer* buffer, int len, int cardRate, std::int64_t now) {
    SDL_AudioStream* stream = prepareStream(buffer, cardRate);
    if (stream == nullptr) return;
    const DWORD align = buffer->format.nBlockAlign;
    while (buffer->playing && SDL_AudioStreamAvailable(stream) < len) {
        // Enough source frames for the rest of the request, and a few for the resampler.
        const std::int64_t frames = std::int64_t(len / 4) * buffer->frequency / cardRate + 16;
        const DWORD want = DWORD(frames) * align;
        const DWORD size = DWORD(buffer->data.size());
        raw.resize(want);
        DWORD got = 0;
        while (got < want && buffer->playing) {
            const DWORD start = buffer->position;
            const DWORD passed = passCursor(buffer, want - got, now);
            // The bytes passed are those from start on, wrapping at the end.
            const DWORD first = std::min(passed, size - start);
            std::memcpy(raw.data() + got, buffer->data.data() + start, first);
            std::memcpy(raw.data() + got + first, buffer->data.data(), passed - first);
            got += passed;
            if (passed == 0) break;
        }
        SDL_AudioStreamPut(stream, raw.data(), int(got));
        if (!buffer->playing) SDL_AudioStreamFlush(stream);
    }
    converted.resize(std::size_t(len) / 2);
    const int taken = SDL_AudioStreamGet(stream, converted.data(), len);
    const double gain = gainOf(buffer->volume);
    for (int i = 0; i < taken / 2; ++i)
        mixSums[std::size_t(i)] += std::int32_t(converted[i] * gain);
}

void SDLCALL mixCallback(void*, Uint8* out, int len) {
    const int cardRate = output().cardRate.load();
    SoundState& st = soundState();
    mixSums.assign(std::size_t(len) / 2, 0);
    {
        std::lock_guard lock(st.mutex);
        const std::int64_t now = nowNs();
        for (SoundDevice* device : st.devices) {
            if (device->output != &output()) continue;
            for (SoundBuffer* buffer : device->buffers) {
                if (!buffer->primary && buffer->playing) mixBuffer(buffer, len, cardRate, now);
            }
        }
    }
    auto* samples = reinterpret_cast<std::int16_t*>(out);
    for (std::size_t i = 0; i < mixSums.size(); ++i)
        samples[i] = std::int16_t(std::clamp<std::int32_t>(mixSums[i], -32768, 32767));
}

// Opens the card at rate (out.mutex held); false when it cannot be opened.
bool openCard(SdlOutput& out, int rate) {
    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = deviceFrames;
    want.callback = mixCallback;
    // Only the rate may differ; SDL converts our 16-bit stereo to whatever else the card takes.
    SDL_AudioSpec have{};
    out.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    if (out.device == 0) return false;
    out.cardFormat = have;
    out.cardRate.store(have.freq);
    out.cardOpen.store(true);
    SDL_PauseAudioDevice(out.device, 0);
    return true;
}

bool SdlOutput::acquire() {
    std::lock_guard lock(mutex);
    if (references > 0) {
        ++references;
        return true;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    // A primary format set earlier decides the card's rate, as it does on the platform.
    const WAVEFORMATEX primary = primarySoundFormat();
    if (!openCard(*this, primary.nSamplesPerSec != 0 ? int(primary.nSamplesPerSec) : deviceRate)) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    references = 1;
    return true;
}

void SdlOutput::followPrimaryRate(DWORD rate) {
    std::lock_guard lock(mutex);
    if (references == 0 || cardFormat.freq == int(rate)) return;
    SDL_CloseAudioDevice(device);
    // The card keeps its old rate when the new one cannot be had.
    if (!openCard(*this, int(rate))) openCard(*this, cardFormat.freq);
}

void SdlOutput::release() {
    std::lock_guard lock(mutex);
    if (references == 0 || --references != 0) return;
    SDL_CloseAudioDevice(device);
    device = 0;
    cardOpen.store(false);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// The card is gone: it is closed and every device on it is handed to the headless output,
// whose clock moves its playing buffers on from where their cursors stand. Without this the
// cursors would move only as long as SDL keeps calling a dead card back, and a movie paced by
// them would stall or never hear its last block played out.
void takeCardAway(SdlOutput& out) {
    // The card is closed first, outside the sound lock: closing waits for a callback that may
    // be waiting for that lock.
    SDL_CloseAudioDevice(out.device);
    out.device = 0;
    out.cardOpen.store(false);
    {
        SoundState& st = soundState();
        std::lock_guard lock(st.mutex);
        for (SoundDevice* device : st.devices) {
            if (device->output != &out) continue;
            // The headless output holds no references, so the ones of these devices end here.
            device->output = &headlessSoundOutput();
            for (SoundBuffer* buffer : device->buffers) {
                buffer->outputData.reset();
                if (buffer->playing) anchorClock(buffer);
            }
        }
    }
    out.references = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

} // namespace

SoundOutput& sdlSoundOutput() {
    return output();
}

void removeSdlSoundCard(std::uint32_t which) {
    SdlOutput& out = output();
    std::lock_guard lock(out.mutex);
    if (out.references == 0 || (which != 0 && which != out.device)) return;
    takeCardAway(out);
}

bool sdlSoundCardOpen() {
    return output().cardOpen.load();
}

} // namespace qzplat::detail
