// The stand-in DirectSound's device and buffers: creation and its checks, Lock's two regions,
// looping and play-once cursors on the headless clock, the loudspeaker's record, controls,
// the primary buffer's format, faults and object lifetimes.
#include <chrono>
#include <functional>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

#include "platform/win32.h"

namespace {

HWND fakeWindow() {
    return reinterpret_cast<HWND>(std::uintptr_t{0x1000});
}

WAVEFORMATEX pcm(DWORD rate, WORD channels = 2, WORD bits = 16) {
    const auto align = WORD(channels * bits / 8);
    return {WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
}

bool waitUntil(const std::function<bool()>& done, int limitMs = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A secondary-buffer description of bytes in format with the given flags.
DSBUFFERDESC secondary(DWORD bytes, WAVEFORMATEX* format, DWORD flags = 0) {
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = flags;
    desc.dwBufferBytes = bytes;
    desc.lpwfxFormat = format;
    return desc;
}

class DirectSoundTest : public testing::Test {
  protected:
    void SetUp() override {
        qzplat::resetDirectSound();
        ASSERT_EQ(DirectSoundCreate(nullptr, &device, nullptr), DS_OK);
        ASSERT_EQ(device->SetCooperativeLevel(fakeWindow(), DSSCL_PRIORITY), DS_OK);
    }
    void TearDown() override {
        if (device != nullptr) {
            EXPECT_EQ(device->Release(), 0u);
        }
        const qzplat::LiveSound live = qzplat::liveSoundObjects();
        EXPECT_EQ(live.devices, 0);
        EXPECT_EQ(live.buffers, 0);
        qzplat::resetDirectSound();
    }

    // A secondary buffer of the engine's kind.
    IDirectSoundBuffer* stream(DWORD bytes, DWORD rate = 22050) {
        WAVEFORMATEX format = pcm(rate);
        DSBUFFERDESC desc =
            secondary(bytes, &format, DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_CTRLDEFAULT);
        IDirectSoundBuffer* buffer = nullptr;
        EXPECT_EQ(device->CreateSoundBuffer(&desc, &buffer, nullptr), DS_OK);
        return buffer;
    }

    // Fills the whole buffer with bytes 1, 2, 3, ... (never 0).
    static void fill(IDirectSoundBuffer* buffer, DWORD bytes) {
        void* a = nullptr;
        void* b = nullptr;
        DWORD na = 0, nb = 0;
        ASSERT_EQ(buffer->Lock(0, bytes, &a, &na, &b, &nb, 0), DS_OK);
        for (DWORD i = 0; i < na; ++i) static_cast<BYTE*>(a)[i] = BYTE(i % 255 + 1);
        ASSERT_EQ(buffer->Unlock(a, na, b, nb), DS_OK);
    }

    IDirectSound* device = nullptr;
};

} // namespace

TEST_F(DirectSoundTest, CreationChecksItsRecords) {
    WAVEFORMATEX format = pcm(22050);
    DSBUFFERDESC desc = secondary(4096, &format);
    IDirectSoundBuffer* buffer = nullptr;
    DSBUFFERDESC wrongSize = desc;
    wrongSize.dwSize = 36;
    EXPECT_EQ(device->CreateSoundBuffer(&wrongSize, &buffer, nullptr), DSERR_INVALIDPARAM);
    DSBUFFERDESC tooSmall = desc;
    tooSmall.dwBufferBytes = 2;
    EXPECT_EQ(device->CreateSoundBuffer(&tooSmall, &buffer, nullptr), DSERR_INVALIDPARAM);
    WAVEFORMATEX badAlign = format;
    badAlign.nBlockAlign = 2;
    DSBUFFERDESC misaligned = desc;
    misaligned.lpwfxFormat = &badAlign;
    EXPECT_EQ(device->CreateSoundBuffer(&misaligned, &buffer, nullptr), DSERR_INVALIDPARAM);
    WAVEFORMATEX noRate = pcm(0);
    DSBUFFERDESC rateless = desc;
    rateless.lpwfxFormat = &noRate;
    EXPECT_EQ(device->CreateSoundBuffer(&rateless, &buffer, nullptr), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer, nullptr);

    // A device without a cooperative level makes no buffers.
    IDirectSound* second = nullptr;
    ASSERT_EQ(DirectSoundCreate(nullptr, &second, nullptr), DS_OK);
    EXPECT_EQ(second->CreateSoundBuffer(&desc, &buffer, nullptr), DSERR_PRIOLEVELNEEDED);
    EXPECT_EQ(second->SetCooperativeLevel(fakeWindow(), 9), DSERR_INVALIDPARAM);
    EXPECT_EQ(second->Release(), 0u);

    DSCAPS caps{};
    caps.dwSize = sizeof(caps);
    ASSERT_EQ(device->GetCaps(&caps), DS_OK);
    EXPECT_NE(caps.dwFlags & DSCAPS_PRIMARYSTEREO, 0u);
    EXPECT_NE(caps.dwFlags & DSCAPS_PRIMARY16BIT, 0u);
    caps.dwSize = 20;
    EXPECT_EQ(device->GetCaps(&caps), DSERR_INVALIDPARAM);
}

TEST_F(DirectSoundTest, PrimaryBufferTakesTheFormatAtPriorityLevel) {
    qzplat::SoundProfile mono8;
    mono8.caps = DSCAPS_PRIMARYMONO | DSCAPS_PRIMARY8BIT;
    mono8.primaryBufferBytes = 8192;
    qzplat::setSoundProfile(mono8);
    DSCAPS caps{};
    caps.dwSize = sizeof(caps);
    ASSERT_EQ(device->GetCaps(&caps), DS_OK);
    EXPECT_EQ(caps.dwFlags & (DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY16BIT), 0u);

    DSBUFFERDESC desc{};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRLVOLUME;
    IDirectSoundBuffer* primary = nullptr;
    ASSERT_EQ(device->CreateSoundBuffer(&desc, &primary, nullptr), DS_OK);
    DSBCAPS bufferCaps{};
    bufferCaps.dwSize = sizeof(bufferCaps);
    ASSERT_EQ(primary->GetCaps(&bufferCaps), DS_OK);
    EXPECT_EQ(bufferCaps.dwBufferBytes, 8192u);
    EXPECT_NE(bufferCaps.dwFlags & DSBCAPS_PRIMARYBUFFER, 0u);

    const WAVEFORMATEX format = pcm(22050, 1, 8);
    ASSERT_EQ(primary->SetFormat(&format), DS_OK);
    EXPECT_EQ(qzplat::primarySoundFormat().nChannels, 1);
    EXPECT_EQ(qzplat::primarySoundFormat().wBitsPerSample, 8);
    WAVEFORMATEX read{};
    DWORD written = 0;
    ASSERT_EQ(primary->GetFormat(&read, sizeof(read), &written), DS_OK);
    EXPECT_EQ(written, sizeof(WAVEFORMATEX));
    EXPECT_EQ(read.nAvgBytesPerSec, 22050u);
    void* a = nullptr;
    DWORD na = 0;
    EXPECT_EQ(primary->Lock(0, 4, &a, &na, nullptr, nullptr, 0), DSERR_PRIOLEVELNEEDED);

    ASSERT_EQ(device->SetCooperativeLevel(fakeWindow(), DSSCL_NORMAL), DS_OK);
    EXPECT_EQ(primary->SetFormat(&format), DSERR_PRIOLEVELNEEDED);
    EXPECT_EQ(primary->Release(), 0u);
}

TEST_F(DirectSoundTest, LockGivesTwoRegionsAcrossTheEndAndUnlockStoresThem) {
    IDirectSoundBuffer* buffer = stream(1000);
    void* a = nullptr;
    void* b = nullptr;
    DWORD na = 0, nb = 0;
    ASSERT_EQ(buffer->Lock(900, 300, &a, &na, &b, &nb, 0), DS_OK);
    EXPECT_EQ(na, 100u);
    EXPECT_EQ(nb, 200u);
    ASSERT_NE(b, nullptr);
    std::memset(a, 0x11, na);
    std::memset(b, 0x22, nb);
    // Only one lock at a time, and only the regions handed out are taken back.
    void* c = nullptr;
    DWORD nc = 0;
    EXPECT_EQ(buffer->Lock(0, 4, &c, &nc, nullptr, nullptr, 0), DSERR_INVALIDCALL);
    EXPECT_EQ(buffer->Unlock(b, nb, a, na), DSERR_INVALIDPARAM);
    ASSERT_EQ(buffer->Unlock(a, na, b, nb), DS_OK);
    EXPECT_EQ(buffer->Lock(1000, 4, &c, &nc, nullptr, nullptr, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Lock(0, 1001, &c, &nc, nullptr, nullptr, 0), DSERR_INVALIDPARAM);
    // A region that wraps needs the second pointer.
    EXPECT_EQ(buffer->Lock(996, 8, &c, &nc, nullptr, nullptr, 0), DSERR_INVALIDPARAM);

    ASSERT_EQ(buffer->Lock(0, 0, &a, &na, &b, &nb, DSBLOCK_ENTIREBUFFER), DS_OK);
    ASSERT_EQ(na, 1000u);
    const BYTE* bytes = static_cast<BYTE*>(a);
    EXPECT_EQ(bytes[0], 0x22);
    EXPECT_EQ(bytes[199], 0x22);
    EXPECT_EQ(bytes[200], 0);
    EXPECT_EQ(bytes[900], 0x11);
    EXPECT_EQ(buffer->Unlock(a, 0, nullptr, 0), DS_OK);
    EXPECT_EQ(buffer->Release(), 0u);
}

TEST_F(DirectSoundTest, PlayOnceStopsAtTheEndAndEveryByteIsHeardOnce) {
    // 4000 bytes at 22050 Hz stereo: about 45 ms.
    IDirectSoundBuffer* buffer = stream(4000);
    fill(buffer, 4000);
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    DWORD status = 0;
    ASSERT_EQ(buffer->GetStatus(&status), DS_OK);
    EXPECT_EQ(status & DSBSTATUS_LOOPING, 0u);
    ASSERT_TRUE(waitUntil([&] {
        buffer->GetStatus(&status);
        return (status & DSBSTATUS_PLAYING) == 0;
    }));
    const std::vector<qzplat::HeardSound> heard = qzplat::heardSounds();
    ASSERT_EQ(heard.size(), 1u);
    ASSERT_EQ(heard[0].bytes.size(), 4000u);
    EXPECT_EQ(heard[0].total, 4000u);
    for (DWORD i = 0; i < 4000; ++i) ASSERT_EQ(heard[0].bytes[i], BYTE(i % 255 + 1)) << i;
    // The bytes passed at the buffer's rate: the last one about 45 ms after the first.
    const double spanMs = double(heard[0].timeOf(3999) - heard[0].timeOf(0)) / 1e6;
    EXPECT_NEAR(spanMs, 3999 * 1000.0 / 88200, 1.0);
    DWORD play = 1;
    EXPECT_EQ(buffer->GetCurrentPosition(&play, nullptr), DS_OK);
    EXPECT_EQ(play, 0u);
    EXPECT_EQ(buffer->Release(), 0u);
}

TEST_F(DirectSoundTest, LoopingCursorWrapsAndStopHoldsIt) {
    IDirectSoundBuffer* buffer = stream(4000);
    fill(buffer, 4000);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    DWORD status = 0;
    ASSERT_EQ(buffer->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, DWORD(DSBSTATUS_PLAYING | DSBSTATUS_LOOPING));
    ASSERT_TRUE(waitUntil([] { return qzplat::soundBytesHeardNow() > 3 * 4000; }));
    // Switching to play once mid-lap keeps the cursor and ends the lap.
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    ASSERT_TRUE(waitUntil([&] {
        buffer->GetStatus(&status);
        return status == 0;
    }));
    const std::uint64_t total = qzplat::soundBytesHeardNow();
    EXPECT_EQ(total % 4000, 0u);
    const std::vector<qzplat::HeardSound> heard = qzplat::heardSounds();
    for (std::size_t i = 0; i < heard[0].bytes.size(); ++i)
        ASSERT_EQ(heard[0].bytes[i], BYTE(i % 4000 % 255 + 1)) << i;

    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    ASSERT_TRUE(waitUntil([&] { return qzplat::soundBytesHeardNow() > total; }));
    ASSERT_EQ(buffer->Stop(), DS_OK);
    const std::uint64_t held = qzplat::soundBytesHeardNow();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(qzplat::soundBytesHeardNow(), held);
    EXPECT_EQ(buffer->Release(), 0u);
}

TEST_F(DirectSoundTest, FrequencyVolumeAndPanAreCheckedAndKept) {
    IDirectSoundBuffer* buffer = stream(4096, 11025);
    DWORD hertz = 0;
    ASSERT_EQ(buffer->SetFrequency(44100), DS_OK);
    EXPECT_EQ(buffer->GetFrequency(&hertz), DS_OK);
    EXPECT_EQ(hertz, 44100u);
    EXPECT_EQ(buffer->SetFrequency(DSBFREQUENCY_ORIGINAL), DS_OK);
    EXPECT_EQ(buffer->GetFrequency(&hertz), DS_OK);
    EXPECT_EQ(hertz, 11025u);
    EXPECT_EQ(buffer->SetFrequency(99), DSERR_INVALIDPARAM);
    LONG value = 1;
    EXPECT_EQ(buffer->SetVolume(-2500), DS_OK);
    EXPECT_EQ(buffer->GetVolume(&value), DS_OK);
    EXPECT_EQ(value, -2500);
    EXPECT_EQ(buffer->SetVolume(1), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->SetVolume(-10001), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->SetPan(DSBPAN_RIGHT), DS_OK);
    EXPECT_EQ(buffer->SetFormat(nullptr), DSERR_INVALIDCALL); // secondary buffers keep theirs
    EXPECT_EQ(buffer->Release(), 0u);

    // Controls the buffer was not made with are unavailable.
    WAVEFORMATEX format = pcm(22050);
    DSBUFFERDESC plain = secondary(4096, &format);
    IDirectSoundBuffer* bare = nullptr;
    ASSERT_EQ(device->CreateSoundBuffer(&plain, &bare, nullptr), DS_OK);
    EXPECT_EQ(bare->SetVolume(0), DSERR_CONTROLUNAVAIL);
    EXPECT_EQ(bare->SetFrequency(22050), DSERR_CONTROLUNAVAIL);
    EXPECT_EQ(bare->Release(), 0u);
}

TEST_F(DirectSoundTest, InjectedFaultsAndLostBuffers) {
    device->Release();
    device = nullptr;
    IDirectSound* made = nullptr;
    qzplat::failNextSoundCreate();
    EXPECT_EQ(DirectSoundCreate(nullptr, &made, nullptr), DSERR_NODRIVER);
    EXPECT_EQ(made, nullptr);
    ASSERT_EQ(DirectSoundCreate(nullptr, &device, nullptr), DS_OK);
    qzplat::failNextSoundCooperativeLevel();
    EXPECT_EQ(device->SetCooperativeLevel(fakeWindow(), DSSCL_PRIORITY), DSERR_ALLOCATED);
    ASSERT_EQ(device->SetCooperativeLevel(fakeWindow(), DSSCL_PRIORITY), DS_OK);
    qzplat::failNextSoundBufferCreate();
    WAVEFORMATEX format = pcm(22050);
    DSBUFFERDESC desc = secondary(4096, &format);
    IDirectSoundBuffer* buffer = nullptr;
    EXPECT_EQ(device->CreateSoundBuffer(&desc, &buffer, nullptr), DSERR_OUTOFMEMORY);
    buffer = stream(4096);
    qzplat::failNextSoundGetCaps(DSERR_GENERIC, 2);
    DSBCAPS caps{};
    caps.dwSize = sizeof(caps);
    EXPECT_EQ(buffer->GetCaps(&caps), DSERR_GENERIC);
    DSCAPS deviceCaps{};
    deviceCaps.dwSize = sizeof(deviceCaps);
    EXPECT_EQ(device->GetCaps(&deviceCaps), DSERR_GENERIC);
    EXPECT_EQ(buffer->GetCaps(&caps), DS_OK);
    qzplat::failNextSoundPlay();
    EXPECT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DSERR_GENERIC);

    // A failed Lock leaves the buffer lost until Restore, and Play fails meanwhile.
    qzplat::failNextSoundLocks(2);
    void* a = nullptr;
    DWORD na = 0;
    EXPECT_EQ(buffer->Lock(0, 16, &a, &na, nullptr, nullptr, 0), DSERR_BUFFERLOST);
    EXPECT_EQ(buffer->Lock(0, 16, &a, &na, nullptr, nullptr, 0), DSERR_BUFFERLOST);
    DWORD status = 0;
    ASSERT_EQ(buffer->GetStatus(&status), DS_OK);
    EXPECT_NE(status & DSBSTATUS_BUFFERLOST, 0u);
    EXPECT_EQ(buffer->Play(0, 0, 0), DSERR_BUFFERLOST);
    EXPECT_EQ(buffer->Restore(), DS_OK);
    EXPECT_EQ(buffer->Lock(0, 16, &a, &na, nullptr, nullptr, 0), DSERR_BUFFERLOST);
    EXPECT_EQ(buffer->Restore(), DS_OK);
    ASSERT_EQ(buffer->Lock(0, 16, &a, &na, nullptr, nullptr, 0), DS_OK);
    EXPECT_EQ(buffer->Unlock(a, na, nullptr, 0), DS_OK);
    qzplat::loseSoundBuffers();
    EXPECT_EQ(buffer->Lock(0, 16, &a, &na, nullptr, nullptr, 0), DSERR_BUFFERLOST);
    EXPECT_EQ(buffer->Release(), 0u);
}

TEST_F(DirectSoundTest, ABufferOutlivingItsDeviceIsSilentUntilReleased) {
    IDirectSoundBuffer* buffer = stream(4096);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    EXPECT_EQ(device->Release(), 0u);
    device = nullptr;
    DWORD status = 1;
    EXPECT_EQ(buffer->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(buffer->Play(0, 0, 0), DSERR_UNINITIALIZED);
    EXPECT_EQ(qzplat::liveSoundObjects().buffers, 1);
    EXPECT_EQ(buffer->Release(), 0u);
}

TEST(DirectSoundSdl, WithoutASoundCardCreationFailsCleanly) {
    qzplat::resetDirectSound();
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    qzplat::setSoundBackEnd(qzplat::SoundBackEnd::sdl);
    IDirectSound* device = nullptr;
    EXPECT_EQ(DirectSoundCreate(nullptr, &device, nullptr), DSERR_NODRIVER);
    EXPECT_EQ(device, nullptr);
    unsetenv("SDL_AUDIODRIVER");
    qzplat::resetDirectSound();
}

TEST(DirectSoundSdl, TheCardsCallbackMovesTheCursor) {
    qzplat::resetDirectSound();
    const std::string file = testing::TempDir() + "qz_sdl_sound.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "5", 1);
    qzplat::setSoundBackEnd(qzplat::SoundBackEnd::sdl);
    IDirectSound* device = nullptr;
    ASSERT_EQ(DirectSoundCreate(nullptr, &device, nullptr), DS_OK);
    ASSERT_EQ(device->SetCooperativeLevel(fakeWindow(), DSSCL_PRIORITY), DS_OK);
    WAVEFORMATEX format = pcm(22050);
    DSBUFFERDESC desc = secondary(8192, &format, DSBCAPS_CTRLDEFAULT);
    IDirectSoundBuffer* buffer = nullptr;
    ASSERT_EQ(device->CreateSoundBuffer(&desc, &buffer, nullptr), DS_OK);
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    DWORD status = 0;
    EXPECT_TRUE(waitUntil([&] {
        buffer->GetStatus(&status);
        return (status & DSBSTATUS_PLAYING) == 0;
    }));
    EXPECT_EQ(qzplat::heardSounds().at(0).total, 8192u);
    EXPECT_EQ(buffer->Release(), 0u);
    EXPECT_EQ(device->Release(), 0u);
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("SDL_DISKAUDIOFILE");
    unsetenv("SDL_DISKAUDIODELAY");
    qzplat::resetDirectSound();
    std::remove(file.c_str());
}

TEST(DirectSoundSdl, AnUnpluggedCardLeavesItsBuffersPlayingByTheClock) {
    // SDL's disk driver writing to a full device reports its card removed: a real removal,
    // seen by the SDL window pump as SDL delivers it.
    qzplat::resetDirectSound();
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/full", 1);
    const bool windows = qzplat::useSdlWindows();
    unsetenv("SDL_VIDEODRIVER");
    if (!windows) GTEST_SKIP() << qzplat::lastWindowError();
    qzplat::setSoundBackEnd(qzplat::SoundBackEnd::sdl);
    IDirectSound* device = nullptr;
    ASSERT_EQ(DirectSoundCreate(nullptr, &device, nullptr), DS_OK);
    EXPECT_TRUE(qzplat::soundCardOpen());
    ASSERT_EQ(device->SetCooperativeLevel(fakeWindow(), DSSCL_PRIORITY), DS_OK);
    WAVEFORMATEX format = pcm(22050);
    DSBUFFERDESC desc = secondary(8192, &format, DSBCAPS_CTRLDEFAULT);
    IDirectSoundBuffer* buffer = nullptr;
    ASSERT_EQ(device->CreateSoundBuffer(&desc, &buffer, nullptr), DS_OK);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    MSG msg{};
    EXPECT_TRUE(waitUntil([&] {
        PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
        return !qzplat::soundCardOpen();
    }));
    // The cursor goes on by the clock, looping, and then plays once to its end.
    const std::uint64_t atRemoval = qzplat::soundBytesHeardNow();
    EXPECT_TRUE(waitUntil([&] { return qzplat::soundBytesHeardNow() > atRemoval + 8192; }));
    DWORD status = 0;
    EXPECT_EQ(buffer->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, DWORD(DSBSTATUS_PLAYING | DSBSTATUS_LOOPING));
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    EXPECT_TRUE(waitUntil([&] {
        buffer->GetStatus(&status);
        return (status & DSBSTATUS_PLAYING) == 0;
    }));
    EXPECT_EQ(buffer->Release(), 0u);
    EXPECT_EQ(device->Release(), 0u);
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("SDL_DISKAUDIOFILE");
    qzplat::resetWindows();
    qzplat::resetDirectSound();
}
