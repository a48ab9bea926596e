// The audio clock's relation to what is heard: the stream buffer's size matches the lead the
// play loop subtracts, and silence after the last block moves the clock at the slot rate.
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

#include "engine/sound_output.h"
#include "engine/player.h"
#include "tests/engine/player_sound_support.h"

using playertest::blankConfig;
using playertest::waitFor;
using namespace soundtest;

namespace {

class SoundClock : public SoundTest {};

} // namespace

TEST_F(SoundClock, StreamBufferHoldsTheLeadInWholeBlocks) {
    const std::string path = writeSoundMovie({.slots = 30});
    {
        PlayerConfig config = blankConfig(audioOn);
        ASSERT_EQ(playerCreate(path.c_str(), nullptr, &config), &config);
        const PlayerContext* ctx = config.context;
        EXPECT_EQ(ctx->audioLead, 32768 / 5880);
        // Five blocks of 1470 frames, and half a 10 ms feeder period at 22050 Hz.
        EXPECT_EQ(ctx->requestedBufferBytes, 5 * 5880 + 440);
        playerClose(&config);
    }
    {
        // The caller's primary buffer sets the size with callerBufferSize.
        qzplat::SoundProfile profile;
        profile.primaryBufferBytes = 8192;
        qzplat::setSoundProfile(profile);
        IDirectSound* device = nullptr;
        ASSERT_EQ(DirectSoundCreate(nullptr, &device, nullptr), DS_OK);
        ASSERT_EQ(device->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), DS_OK);
        DSBUFFERDESC desc{};
        desc.dwSize = sizeof(desc);
        desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
        IDirectSoundBuffer* primary = nullptr;
        ASSERT_EQ(device->CreateSoundBuffer(&desc, &primary, nullptr), DS_OK);
        PlayerConfig config = blankConfig(audioOn | callerBufferSize);
        config.directSound = device;
        config.primarySoundBuffer = primary;
        ASSERT_EQ(playerCreate(path.c_str(), nullptr, &config), &config);
        EXPECT_EQ(config.context->requestedBufferBytes, 8192);
        EXPECT_EQ(config.context->ownsDirectSound, 0);
        playerClose(&config);
        EXPECT_EQ(config.directSound, device); // the caller's, kept
        primary->Release();
        device->Release();
    }
}

TEST_F(SoundClock, SilenceAfterTheLastBlockMovesTheClockAtTheSlotRate) {
    auto cfg = std::make_unique<PlayerConfig>();
    auto ctx = std::make_unique<PlayerContext>();
    ctx->config = cfg.get();
    ctx->audioRate = 22050;
    createStreamBuffer(ctx.get());
    std::vector<BYTE> samples(5880, 1);
    AudioEntry& entry = ctx->audioTable[0];
    entry.bytes = 5880;
    entry.stamp = 1;
    sharedStore(entry.samples, samples.data());
    InterlockedIncrement(&ctx->audioWriteIndex);
    InterlockedIncrement(&ctx->audioBuffered);
    ASSERT_EQ(startStreamThread(ctx.get()), 0);
    const bool drained = waitFor([&] { return sharedLoad(ctx->audioBuffered) == 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const LONG before = sharedLoad(ctx->audioClock);
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    const LONG after = sharedLoad(ctx->audioClock);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(stopStreamThread(ctx.get()), 0);
    ASSERT_TRUE(drained);
    // 15 slots a second of silence, where one a 10 ms pass would be 100.
    const double perSecond = (after - before) / seconds;
    EXPECT_GT(perSecond, 5.0);
    EXPECT_LT(perSecond, 40.0);
}
