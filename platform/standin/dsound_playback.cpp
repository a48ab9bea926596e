// The stand-in DirectSound's play cursors and loudspeaker: the headless clock, the record of
// every byte passed, and the control calls tests and players use.
#include <algorithm>
#include <cmath>

#include "platform/standin/dsound_internal.h"

namespace qzplat {

namespace detail {

namespace {

constexpr double nsPerSecond = 1e9;
// A new record segment starts when the bytes arrive this far from where the last one puts them.
constexpr double segmentSlackNs = 250000;
// Bytes kept of what one buffer's cursor passed; the total counts on past them.
constexpr std::uint64_t recordLimitBytes = 64u << 20;

void noteSegment(HeardSound& heard, const SoundBuffer& buffer, std::int64_t now) {
    const double bps = buffer.bytesPerSecond();
    if (!heard.segments.empty()) {
        const HeardSound::Segment& last = heard.segments.back();
        const double expected = double(last.startNs) + double(heard.total - last.first) *
                                                           nsPerSecond / last.bytesPerSecond;
        if (last.bytesPerSecond == bps && std::abs(expected - double(now)) < segmentSlackNs) return;
    }
    heard.segments.push_back({heard.total, now, bps});
}

} // namespace

DWORD passCursor(SoundBuffer* buffer, DWORD count, std::int64_t now) {
    SoundState& st = soundState();
    const auto size = DWORD(buffer->data.size());
    if (size == 0 || !buffer->playing || count == 0) return 0;
    HeardSound* heard = buffer->record >= 0 ? &st.heard[std::size_t(buffer->record)] : nullptr;
    if (heard != nullptr) noteSegment(*heard, *buffer, now);
    DWORD passed = 0;
    while (passed < count && buffer->playing) {
        const DWORD run = std::min(count - passed, size - buffer->position);
        if (heard != nullptr) {
            const std::uint64_t room =
                recordLimitBytes > heard->bytes.size() ? recordLimitBytes - heard->bytes.size() : 0;
            const BYTE* from = buffer->data.data() + buffer->position;
            heard->bytes.insert(heard->bytes.end(), from,
                                from + std::min<std::uint64_t>(run, room));
            heard->total += run;
        }
        buffer->position += run;
        passed += run;
        if (buffer->position == size) {
            buffer->position = 0;
            if (!buffer->looping) buffer->playing = false;
        }
    }
    buffer->passed += passed;
    return passed;
}

void anchorClock(SoundBuffer* buffer) {
    buffer->anchorNs = nowNs();
    buffer->anchorPlayed = 0;
}

void advanceClock(SoundBuffer* buffer) {
    if (buffer->device == nullptr || buffer->device->output->movesCursors() || buffer->primary ||
        !buffer->playing)
        return;
    const std::int64_t now = nowNs();
    const std::uint64_t bps = buffer->bytesPerSecond();
    const std::uint64_t align = buffer->format.nBlockAlign;
    if (now <= buffer->anchorNs || bps == 0) return;
    const auto elapsed = static_cast<unsigned __int128>(now - buffer->anchorNs);
    auto target = static_cast<std::uint64_t>(elapsed * bps / 1000000000u);
    target -= target % align;
    const std::uint64_t period = soundState().profile.cursorStepBytes;
    if (period > align) target -= target % period;
    while (buffer->playing && buffer->anchorPlayed < target) {
        const std::uint64_t step = std::min<std::uint64_t>(target - buffer->anchorPlayed, 1u << 30);
        const auto first = std::int64_t(double(buffer->anchorNs) +
                                        double(buffer->anchorPlayed) * nsPerSecond / double(bps));
        passCursor(buffer, DWORD(step), first);
        buffer->anchorPlayed += step;
    }
}

} // namespace detail

using namespace detail;

std::int64_t HeardSound::timeOf(std::uint64_t index) const {
    auto after = std::upper_bound(segments.begin(), segments.end(), index,
                                  [](std::uint64_t i, const Segment& s) { return i < s.first; });
    if (after == segments.begin()) return segments.empty() ? 0 : segments.front().startNs;
    const Segment& s = *(after - 1);
    return s.startNs + std::int64_t(double(index - s.first) * 1e9 / s.bytesPerSecond);
}

void setSoundBackEnd(SoundBackEnd backEnd) {
    std::lock_guard lock(soundState().mutex);
    soundState().backEnd = backEnd;
}

void setSoundProfile(const SoundProfile& profile) {
    std::lock_guard lock(soundState().mutex);
    soundState().profile = profile;
}

void resetDirectSound() {
    std::vector<SoundOutput*> references; // one per device destroyed
    {
        SoundState& st = soundState();
        std::lock_guard lock(st.mutex);
        while (!st.devices.empty()) {
            SoundDevice* device = st.devices.back();
            references.push_back(device->output);
            destroyDevice(device);
        }
        while (!st.orphans.empty()) destroyBuffer(st.orphans.back());
        st.backEnd = SoundBackEnd::headless;
        st.profile = SoundProfile{};
        st.create = st.cooperativeLevel = st.bufferCreate = st.getCaps = st.play = SoundFault{};
        st.lockFailures = 0;
        st.heard.clear();
        st.primaryFormat = WAVEFORMATEX{};
        st.newest = nullptr;
    }
    for (SoundOutput* output : references) output->release();
}

namespace {

void arm(SoundFault& fault, HRESULT code, int count) {
    std::lock_guard lock(soundState().mutex);
    fault.code = code;
    fault.count = std::max(count, 0);
}

} // namespace

void failNextSoundCreate(HRESULT code, int count) {
    arm(soundState().create, code, count);
}
void failNextSoundCooperativeLevel(HRESULT code, int count) {
    arm(soundState().cooperativeLevel, code, count);
}
void failNextSoundBufferCreate(HRESULT code, int count) {
    arm(soundState().bufferCreate, code, count);
}
void failNextSoundGetCaps(HRESULT code, int count) {
    arm(soundState().getCaps, code, count);
}
void failNextSoundPlay(HRESULT code, int count) {
    arm(soundState().play, code, count);
}

void failNextSoundLocks(int count) {
    std::lock_guard lock(soundState().mutex);
    soundState().lockFailures = std::max(count, 0);
}

void loseSoundBuffers() {
    SoundState& st = soundState();
    std::lock_guard lock(st.mutex);
    for (SoundDevice* device : st.devices) {
        for (SoundBuffer* buffer : device->buffers) {
            if (!buffer->primary) buffer->lost = true;
        }
    }
}

void removeSoundCard() {
    removeSdlSoundCard(0);
}

bool soundCardOpen() {
    return sdlSoundCardOpen();
}

std::vector<HeardSound> heardSounds() {
    SoundState& st = soundState();
    std::lock_guard lock(st.mutex);
    for (SoundDevice* device : st.devices) {
        for (SoundBuffer* buffer : device->buffers) advanceClock(buffer);
    }
    return st.heard;
}

std::uint64_t soundBytesHeardNow() {
    SoundState& st = soundState();
    std::lock_guard lock(st.mutex);
    if (st.newest == nullptr) return 0;
    advanceClock(st.newest);
    return st.newest->passed;
}

WAVEFORMATEX primarySoundFormat() {
    std::lock_guard lock(soundState().mutex);
    return soundState().primaryFormat;
}

LiveSound liveSoundObjects() {
    SoundState& st = soundState();
    std::lock_guard lock(st.mutex);
    LiveSound live;
    live.devices = int(st.devices.size());
    live.buffers = int(st.orphans.size());
    for (const SoundDevice* device : st.devices) live.buffers += int(device->buffers.size());
    return live;
}

} // namespace qzplat
