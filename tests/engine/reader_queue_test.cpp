// The reader's queues: prefill and read-ahead bounds, ring room, id byte orders and resync.
#include <gtest/gtest.h>
#include <atomic>
#include <chrono>
#include <thread>

#include "tests/engine/reader_harness.h"

using namespace readertest;

TEST(ReaderQueues, VideoOnlyMoviePrefillsTwentyAndRefillsToTheBound) {
    ChunkWriter movie;
    for (int i = 0; i < 30; ++i) movie.chunk("KRTk", framePayload(i, 10 + i));
    movie.chunk("SEND", {});
    Reader r;
    ASSERT_EQ(r.load(movie), 0);
    EXPECT_EQ(r.cfg->hasAudio, 0);
    EXPECT_EQ(r.cfg->audioOnly, 0);
    EXPECT_EQ(r.c->framesBuffered, 20);
    EXPECT_EQ(r.c->audioLead, 5);
    // Every payload is followed by zero bytes a decoder may look into.
    const FrameEntry& first = r.c->frameTable[0];
    EXPECT_EQ(first.payloadBytes, 10);
    EXPECT_EQ(first.type, 1);
    for (int i = 0; i < videoPayloadSpare; ++i) ASSERT_EQ(first.payload[10 + i], 0);
    for (int pass = 0; pass < 5; ++pass) refill(r.c);
    EXPECT_EQ(r.c->framesBuffered, readAheadLimit);
    for (int i = 0; i < 30; ++i) {
        EXPECT_EQ(r.takeFrame(), framePayload(i, 10 + i));
        refill(r.c);
    }
    EXPECT_EQ(r.c->lastRead, readEnd);
    EXPECT_EQ(r.c->framesBuffered, 0);
}

TEST(ReaderQueues, IdsAreAcceptedOnlyInTheirByteOrdersAndUnknownIdsResync) {
    ChunkWriter movie;
    movie.chunk("SEND", {});
    for (DWORD value :
         {chunkId("KRTk"), chunkId("KRTf"), chunkId("DORk"), chunkId("DORm"), chunkId("DORe")}) {
        movie.chunkWithId(value, framePayload(1));
        movie.chunkWithId(reversedChunkId(value), framePayload(2));
    }
    movie.chunkWithId(reversedChunkId(chunkId("WNBp")), framePayload(3)); // type 3
    movie.chunk("MQZf", framePayload(4));                                 // type 3
    movie.chunkWithId(reversedChunkId(chunkId("PLWp")), framePayload(5)); // type 4
    movie.chunk("QZ2f", framePayload(6));                                 // type 4
    // Refused spellings and an unknown id: the next read starts right after their header,
    // which here holds a whole frame chunk.
    ChunkWriter inner;
    inner.chunk("KRTk", framePayload(7));
    movie.chunk("WNBp", inner.bytes());
    movie.chunkWithId(reversedChunkId(chunkId("QZ2f")), inner.bytes());
    movie.chunk("ABCD", inner.bytes());

    Reader r;
    ASSERT_EQ(r.loadOpen(movie), 0); // stops at the leading SEND
    std::vector<LONG> expected(14, readVideo);
    for (int i = 0; i < 3; ++i) expected.insert(expected.end(), {readError, readVideo});
    expected.push_back(readEnd);
    EXPECT_EQ(r.readToEnd(), expected);
    std::vector<LONG> types;
    while (r.c->framesBuffered > 0) {
        LONG type = 0;
        r.takeFrame(&type);
        types.push_back(type);
    }
    EXPECT_EQ(types, (std::vector<LONG>{1, 1, 2, 2, 5, 5, 6, 6, 7, 7, 3, 3, 4, 4, 1, 1, 1}));
}

TEST(ReaderQueues, MoreThanTwentyFourFramesBeforeTheAudioWaitForRoom) {
    // Track 2 has no data for the first 30 frame slots.
    ChunkWriter movie;
    movie.chunk("SCHl", header(pcmStereo));
    movie.chunk("SCHl", header(pcmStereo));
    for (int i = 0; i < 40; ++i) {
        movie.chunk("KRTk", framePayload(i));
        movie.chunk("SCDl", pcmPayload(1000 + i));
        if (i >= 30) movie.chunk("SCDl", pcmPayload(2000 + i));
    }
    movie.chunk("SEND", {});
    Reader r;
    ASSERT_EQ(r.load(movie, trackGiven, 2), 0);
    EXPECT_EQ(r.c->framesBuffered, queueSlots);
    EXPECT_EQ(r.c->audioBuffered, 0);
    int frame = 0;
    int block = 2030;
    while (r.c->lastRead != readEnd || r.c->framesBuffered > 0 || r.c->audioBuffered > 0) {
        if (r.c->framesBuffered > 0) {
            EXPECT_EQ(r.takeFrame(), framePayload(frame++));
        }
        if (r.c->audioBuffered > 0) {
            EXPECT_EQ(r.takeAudioValue(), block++);
        }
        refill(r.c);
        ASSERT_LE(frame, 40);
    }
    EXPECT_EQ(frame, 40);
    EXPECT_EQ(block, 2040);
}

TEST(ReaderQueues, AudioRunLongerThanTheTableIsReadInPiecesOnTheRightTrack) {
    ChunkWriter movie;
    movie.chunk("SCHl", header(pcmStereo));
    movie.chunk("SCHl", header(pcmStereo));
    movie.chunk("KRTk", framePayload(0));
    for (int i = 0; i < 40; ++i) movie.chunk("SCDl", pcmPayload(i % 2 == 0 ? 1000 + i : 2000 + i));
    movie.chunk("KRTk", framePayload(1));
    movie.chunk("SEND", {});
    Reader r;
    ASSERT_EQ(r.load(movie, trackGiven, 2), 0);
    EXPECT_EQ(r.c->audioBuffered, 20);
    std::vector<int> values;
    for (int pass = 0; pass < 10; ++pass) {
        while (r.c->audioBuffered > 0) values.push_back(r.takeAudioValue());
        refill(r.c);
    }
    ASSERT_EQ(values.size(), 20u);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(values[i], 2001 + 2 * i);
}

TEST(ReaderQueues, RingsNeverOverwriteQueuedDataNorRunPastTheirEnd) {
    // Three 400,000-byte frames do not fit the ring with their spare bytes: the third waits.
    ChunkWriter video;
    for (int i = 0; i < 4; ++i) video.chunk("DORk", framePayload(i, 400000));
    video.chunk("KRTk", framePayload(9, videoRingBytes + 1)); // can never fit: skipped
    video.chunk("KRTk", framePayload(5));
    Reader r;
    ASSERT_EQ(r.load(video), 0);
    EXPECT_EQ(r.c->framesBuffered, 2);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(r.takeFrame(), framePayload(i, 400000));
        refill(r.c);
    }
    refill(r.c);
    EXPECT_EQ(r.takeFrame(), framePayload(5));

    // Audio: a 160,000-byte block waits until the one before it has played; a codec-7 chunk
    // that decodes to more than the whole ring is cut to the ring.
    ChunkWriter audio;
    audio.chunk("SCHl", header({2, 22050, 16, audioCodecIma}));
    audio.chunk("SCDl", Bytes(40000, 0x17));
    audio.chunk("SCDl", Bytes(40000, 0x71));
    audio.chunk("SCHl", header({1, 22050, 16, audioCodecBlockAdpcm}));
    audio.chunk("SCDl", Bytes(maxAudioPayload, 0x11));
    audio.chunk("SEND", {});
    Reader a;
    ASSERT_EQ(a.load(audio), 0);
    EXPECT_EQ(a.c->audioBuffered, 1);
    EXPECT_EQ(a.takeAudio().bytes, 160000);
    refill(a.c);
    EXPECT_EQ(a.c->audioBuffered, 1); // the codec-7 block needs the whole ring
    AudioEntry second = a.takeAudio();
    EXPECT_EQ(second.samples, a.c->audioRing);
    EXPECT_EQ(second.block, 1);
    refill(a.c);
    AudioEntry big = a.takeAudio();
    EXPECT_EQ(big.samples, a.c->audioRing);
    EXPECT_EQ(big.bytes, audioRingBytes);
}

TEST(ReaderQueues, AFeederOnAnotherThreadGetsEveryBlockInOrder) {
    constexpr int slots = 300;
    ChunkWriter movie;
    movie.chunk("SCHl", header(pcmStereo));
    for (int s = 0; s < slots; ++s) {
        movie.chunk("KRTk", framePayload(s & 0xFF));
        movie.chunk("SCDl", pcmPayload(s, 3000));
    }
    movie.chunk("SEND", {});
    Reader r;
    ASSERT_EQ(r.load(movie), 0);
    std::vector<int> values;
    std::atomic<bool> stop{false};
    std::thread feeder([&] {
        while (!stop.load() && values.size() < slots) {
            if (sharedLoad(r.c->audioBuffered) > 0) {
                values.push_back(r.takeAudioValue());
            } else {
                std::this_thread::yield();
            }
        }
        stop.store(true);
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int frames = 0;
    while (!stop.load() && std::chrono::steady_clock::now() < deadline) {
        refill(r.c);
        if (sharedLoad(r.c->framesBuffered) > 0) {
            EXPECT_EQ(r.takeFrame(), framePayload(frames++ & 0xFF));
        }
    }
    stop.store(true);
    feeder.join();
    EXPECT_EQ(frames, slots - sharedLoad(r.c->framesBuffered));
    ASSERT_EQ(values.size(), static_cast<size_t>(slots));
    for (int s = 0; s < slots; ++s) ASSERT_EQ(values[s], s);
}
