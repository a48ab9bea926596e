// The feeder thread on the simulated sound output, driven by hand instead of by the reader:
// the cursor arithmetic, the clock's speed at different rates, and odd blocks.
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

#include "engine/sound_output.h"
#include "tests/engine/player_movies.h"

using playertest::waitFor;

namespace {

// A zero-filled record and context with a simulated stream at the given rate.
struct Stream {
    std::unique_ptr<PlayerConfig> cfg = std::make_unique<PlayerConfig>();
    std::unique_ptr<PlayerContext> ctx = std::make_unique<PlayerContext>();
    BYTE samples[64] = {};
    LONG nextStamp = 1;

    explicit Stream(LONG rate) {
        ctx->config = cfg.get();
        ctx->audioRate = rate;
        createStreamBuffer(ctx.get());
    }

    // Queues a block of the given length the way the reader does; false when the slot is held.
    bool queue(LONG bytes) {
        AudioEntry& entry = ctx->audioTable[ctx->audioWriteIndex % queueSlots];
        if (sharedLoad(entry.samples) != nullptr) return false;
        entry.bytes = bytes;
        entry.stamp = nextStamp++;
        sharedStore(entry.samples, samples);
        InterlockedIncrement(&ctx->audioWriteIndex);
        InterlockedIncrement(&ctx->audioBuffered);
        return true;
    }

    LONG clock() const { return sharedLoad(ctx->audioClock); }
};

} // namespace

TEST(SoundFeeder, SimulatedCursorMovesAtTheStreamRateWithoutLosingTime) {
    Stream stream(22050);
    PlayerContext* ctx = stream.ctx.get();
    EXPECT_EQ(ctx->noSoundDevice, 1);
    EXPECT_EQ(ctx->soundBufferBytes, 32768);
    EXPECT_EQ(ctx->audioStarted, 1);
    EXPECT_EQ(advanceSimulatedCursor(ctx, 10), 882);
    // 3 ms and 2 ms owe fractions of a byte that must add up to exactly 5 ms.
    advanceSimulatedCursor(ctx, 3);
    EXPECT_EQ(advanceSimulatedCursor(ctx, 2), 882 + 441);
    ctx->simulatedPlayPos = 32700;
    EXPECT_EQ(advanceSimulatedCursor(ctx, 10), (32700 + 882) % 32768);

    Stream slow(11025);
    EXPECT_EQ(advanceSimulatedCursor(slow.ctx.get(), 10), 441);
    Stream fast(44100);
    EXPECT_EQ(advanceSimulatedCursor(fast.ctx.get(), 10), 1764);
    Stream unset(0); // no usable rate: the cursor still moves
    EXPECT_EQ(advanceSimulatedCursor(unset.ctx.get(), 10), 882);
}

TEST(SoundFeeder, FreeSpaceCountsEqualPositionsAsAWholeBuffer) {
    EXPECT_EQ(streamFreeSpace(100, 100, 32768), 32768);
    EXPECT_EQ(streamFreeSpace(900, 100, 32768), 800);
    EXPECT_EQ(streamFreeSpace(100, 900, 32768), 32768 - 800);
}

TEST(SoundFeeder, StoppingAThreadThatNeverStartedReturnsAtOnce) {
    Stream stream(22050);
    EXPECT_EQ(stopStreamThread(stream.ctx.get()), 1);
    ASSERT_EQ(startStreamThread(stream.ctx.get()), 0);
    EXPECT_EQ(stopStreamThread(stream.ctx.get()), 0);
    EXPECT_EQ(stopStreamThread(stream.ctx.get()), 1);
    qzplat::failNextThreadStarts(1);
    EXPECT_EQ(startStreamThread(stream.ctx.get()), 1);
    EXPECT_EQ(stopStreamThread(stream.ctx.get()), 1);
}

TEST(SoundFeeder, ClockRunsAtTheSameSpeedAtEveryRate) {
    // Blocks of 50 ms of sound: whatever the rate, the clock moves about 20 slots a second.
    for (LONG rate : {11025, 22050, 44100}) {
        SCOPED_TRACE(rate);
        Stream stream(rate);
        const LONG blockBytes = rate * 4 / 20;
        ASSERT_EQ(startStreamThread(stream.ctx.get()), 0);
        auto keepQueued = [&] {
            while (sharedLoad(stream.ctx->audioBuffered) < 20 && stream.queue(blockBytes)) {
            }
        };
        using clock = std::chrono::steady_clock;
        auto waitWhileFeeding = [&](int ms) {
            const auto end = clock::now() + std::chrono::milliseconds(ms);
            while (clock::now() < end) {
                keepQueued();
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        };
        waitWhileFeeding(300);
        const LONG before = stream.clock();
        const auto start = clock::now();
        waitWhileFeeding(1000);
        const LONG after = stream.clock();
        const double seconds = std::chrono::duration<double>(clock::now() - start).count();
        EXPECT_EQ(stopStreamThread(stream.ctx.get()), 0);
        const double perSecond = (after - before) / seconds;
        EXPECT_GT(perSecond, 12.0);
        EXPECT_LT(perSecond, 30.0);
    }
}

TEST(SoundFeeder, EmptyAndOversizedBlocksAreConsumed) {
    Stream stream(22050);
    PlayerContext* ctx = stream.ctx.get();
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(stream.queue(0));
    ASSERT_TRUE(stream.queue(40000)); // longer than the whole buffer
    ASSERT_EQ(startStreamThread(ctx), 0);
    const bool drained = waitFor([&] { return sharedLoad(ctx->audioBuffered) == 0; });
    EXPECT_EQ(stopStreamThread(ctx), 0);
    ASSERT_TRUE(drained);
    EXPECT_EQ(ctx->audioReadIndex, 6);
    EXPECT_GE(stream.clock(), 6);
    for (const AudioEntry& entry : ctx->audioTable) EXPECT_EQ(entry.samples, nullptr);
    EXPECT_GT(sharedLoad(ctx->audioTicks), 0);
}

TEST(SoundFeeder, SilenceMovesTheClockOnEveryPass) {
    Stream stream(22050);
    ASSERT_EQ(startStreamThread(stream.ctx.get()), 0);
    const bool moved = waitFor([&] { return stream.clock() >= 5; });
    EXPECT_EQ(stopStreamThread(stream.ctx.get()), 0);
    EXPECT_TRUE(moved);
    EXPECT_EQ(stream.ctx->audioReadIndex, 0);
}
