// Movies with recognisable sound for the sound output tests, the loudspeaker's record of the
// headless DirectSound, and a full-screen stand-in display for tests that count presents.
#pragma once

#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "encoder/audio_encoders.h"
#include "format/container_writer.h"
#include "tests/engine/player_movies.h"

namespace soundtest {

// Stereo 16-bit sample of a slot: never zero, so silence the feeder inserts can be told apart.
inline std::int16_t sampleOf(int track, int slot, int frame, int channel) {
    return static_cast<std::int16_t>(1000 * track + 37 * slot + frame % 64 + 2 * channel + 1);
}

struct SoundMovie {
    int slots = 12;
    int tracks = 1;
    bool audio = true;
    int framesPerSlot = 1470; // 22050 Hz at 15 slots a second
    // Chunk id of each slot's video chunk; empty for an audio-only movie.
    std::function<const char*(int slot)> video = [](int) { return "MQZf"; };
};

// PCM sound of one track, as the decoder produces it.
inline Bytes trackBytes(const SoundMovie& movie, int track) {
    Bytes out;
    for (int slot = 0; slot < movie.slots; ++slot)
        for (int frame = 0; frame < movie.framesPerSlot; ++frame)
            for (int channel = 0; channel < 2; ++channel) {
                const auto v = static_cast<std::uint16_t>(sampleOf(track, slot, frame, channel));
                out.push_back(static_cast<std::uint8_t>(v & 0xFF));
                out.push_back(static_cast<std::uint8_t>(v >> 8));
            }
    return out;
}

// A DCT or DOR frame header the dispatch accepts, with a few bytes of payload.
inline Bytes videoPayload(const char* id) {
    Bytes bytes(24, 0);
    const bool dor = id[0] == 'D';
    const std::size_t at = dor ? 8 : 0;
    bytes[at] = 32; // 32 x 16 pixels
    bytes[at + 2] = 16;
    if (!dor) bytes[4] = 50;
    return bytes;
}

inline std::string writeSoundMovie(const SoundMovie& movie) {
    ChunkWriter writer;
    for (int t = 0; movie.audio && t < movie.tracks; ++t)
        writer.chunk("SCHl", streamHeaderPayload({2, 22050, 16, audioCodecPcm}));
    for (int slot = 0; slot < movie.slots; ++slot) {
        if (movie.video) {
            const char* id = movie.video(slot);
            writer.chunkWithId(DWORD(BYTE(id[0])) | DWORD(BYTE(id[1])) << 8 |
                                   DWORD(BYTE(id[2])) << 16 | DWORD(BYTE(id[3])) << 24,
                               videoPayload(id));
        }
        for (int t = 0; movie.audio && t < movie.tracks; ++t) {
            std::vector<std::int16_t> samples;
            for (int frame = 0; frame < movie.framesPerSlot; ++frame)
                for (int channel = 0; channel < 2; ++channel)
                    samples.push_back(sampleOf(t + 1, slot, frame, channel));
            writer.chunk("SCDl", encodePcmPayload(samples, 2));
        }
    }
    writer.chunk("SEND", {});
    return qztest::writeScratchFile("sound.qz", writer.bytes());
}

// The heard bytes without the all-zero sample frames (silence written by the feeder).
inline Bytes audible(const Bytes& heard) {
    Bytes out;
    for (std::size_t i = 0; i + 4 <= heard.size(); i += 4) {
        if ((heard[i] | heard[i + 1] | heard[i + 2] | heard[i + 3]) == 0) continue;
        out.insert(out.end(), heard.begin() + std::ptrdiff_t(i),
                   heard.begin() + std::ptrdiff_t(i + 4));
    }
    return out;
}

// What the last stream buffer made was heard to play.
inline Bytes lastHeard() {
    const std::vector<qzplat::HeardSound> heard = qzplat::heardSounds();
    return heard.empty() ? Bytes{} : Bytes(heard.back().bytes.begin(), heard.back().bytes.end());
}

// Every test starts and ends with a fresh sound stand-in and leaves no object behind.
class SoundTest : public testing::Test {
  protected:
    void SetUp() override { qzplat::resetDirectSound(); }
    void TearDown() override {
        const qzplat::LiveSound live = qzplat::liveSoundObjects();
        EXPECT_EQ(live.devices, 0);
        EXPECT_EQ(live.buffers, 0);
        qzplat::resetDirectSound();
    }
};

// The front end's full-screen display: device, exclusive mode, primary and back buffer.
struct Screen {
    IDirectDraw* directDraw = nullptr;
    IDirectDrawSurface2* primary = nullptr;
    IDirectDrawSurface2* back = nullptr;

    Screen() {
        qzplat::resetDirectDraw();
        EXPECT_EQ(DirectDrawCreate(nullptr, &directDraw, nullptr), DD_OK);
        EXPECT_EQ(directDraw->SetCooperativeLevel(reinterpret_cast<HWND>(std::uintptr_t{0x1000}),
                                                  DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN),
                  DD_OK);
        DDSURFACEDESC desc{};
        desc.dwSize = sizeof(desc);
        desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
        desc.dwBackBufferCount = 1;
        desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
        IDirectDrawSurface* first = nullptr;
        EXPECT_EQ(directDraw->CreateSurface(&desc, &first, nullptr), DD_OK);
        void* surface = nullptr;
        first->QueryInterface(IID_IDirectDrawSurface2, &surface);
        first->Release();
        primary = static_cast<IDirectDrawSurface2*>(surface);
        DDSCAPS caps{DDSCAPS_BACKBUFFER};
        EXPECT_EQ(primary->GetAttachedSurface(&caps, &back), DD_OK);
    }
    ~Screen() {
        if (back != nullptr) back->Release();
        if (primary != nullptr) primary->Release();
        directDraw->Release();
        qzplat::resetDirectDraw();
    }
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;

    // Hands the display to a record, as the front end does in full screen.
    void attach(PlayerConfig& config) const {
        config.flags |= 0x71140C | fullScreen | pageFlip | reservedFlag1000000;
        config.allowedModes = 1;
        config.directDraw = directDraw;
        config.primarySurface = primary;
        config.backSurface = back;
    }
};

} // namespace soundtest
