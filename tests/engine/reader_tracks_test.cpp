// Audio track selection, per-track formats and looping.
#include <gtest/gtest.h>

#include "audio/audio_decode.h"
#include "tests/engine/reader_harness.h"

using namespace readertest;

namespace {

// Headers for tracks tracks, then slots frame slots of a frame and one PCM block per track
// (track k's block of slot s carries the value 1000 k + s).
ChunkWriter trackMovie(int tracks, int slots, bool video = true) {
    ChunkWriter movie;
    for (int t = 0; t < tracks; ++t) movie.chunk("SCHl", header(pcmStereo));
    for (int s = 0; s < slots; ++s) {
        if (video) movie.chunk("KRTk", framePayload(s));
        for (int t = 1; t <= tracks; ++t) movie.chunk("SCDl", pcmPayload(1000 * t + s));
    }
    movie.chunk("SEND", {});
    return movie;
}

// Takes every block the reader yields, refilling as the play loop would.
std::vector<int> drainAudio(Reader& r, int passes = 60) {
    std::vector<int> values;
    for (int pass = 0; pass < passes; ++pass) {
        while (r.c->audioBuffered > 0) values.push_back(r.takeAudioValue());
        while (r.c->framesBuffered > 0) r.takeFrame();
        refill(r.c);
    }
    return values;
}

} // namespace

TEST(ReaderTracks, EachTrackOfOneToThreePlaysOnlyItsOwnBlocks) {
    for (int tracks = 1; tracks <= 3; ++tracks) {
        for (int track = 1; track <= tracks; ++track) {
            Reader r;
            ASSERT_EQ(r.load(trackMovie(tracks, 30), trackGiven, track), 0);
            EXPECT_EQ(r.cfg->trackCount, tracks);
            EXPECT_EQ(r.cfg->track, track);
            std::vector<int> values = drainAudio(r);
            ASSERT_EQ(values.size(), 30u) << tracks << " tracks, track " << track;
            for (int s = 0; s < 30; ++s) EXPECT_EQ(values[s], 1000 * track + s);
        }
    }
    for (LONG track : {0, 3}) {
        Reader r;
        ASSERT_EQ(r.load(trackMovie(2, 2), trackGiven, track), 0);
        EXPECT_EQ(r.cfg->track, 1);
    }
    Reader unasked;
    ASSERT_EQ(unasked.load(trackMovie(2, 2), 0, 2), 0);
    EXPECT_EQ(unasked.cfg->track, 1);
    // Only stream headers spelt as written count as tracks.
    ChunkWriter reversed;
    reversed.chunkWithId(reversedChunkId(chunkId("SCHl")), header());
    reversed.chunk("SEND", {});
    Reader none;
    ASSERT_EQ(none.load(reversed), 0);
    EXPECT_EQ(none.cfg->hasAudio, 0);
}

TEST(ReaderTracks, AnAudioOnlyRunCyclesThroughTheTracks) {
    Reader r;
    ASSERT_EQ(r.load(trackMovie(2, 30, false), trackGiven, 2), 0);
    EXPECT_EQ(r.cfg->audioOnly, 1);
    std::vector<int> values;
    std::vector<LONG> stamps;
    for (int pass = 0; pass < 10; ++pass) {
        while (r.c->audioBuffered > 0) {
            stamps.push_back(r.c->audioTable[r.c->audioReadIndex % queueSlots].stamp);
            values.push_back(r.takeAudioValue());
        }
        refill(r.c);
    }
    ASSERT_EQ(values.size(), 30u);
    for (int s = 0; s < 30; ++s) EXPECT_EQ(values[s], 2000 + s);
    // In an audio-only movie every block is a frame slot, the prefilled ones included: the
    // clock moves on with every block the feeder hands over.
    for (int s = 0; s < 30; ++s) EXPECT_EQ(stamps[s], s + 1) << "block " << s;
    EXPECT_EQ(r.c->videoSequence, 30);
}

TEST(ReaderTracks, EveryTrackDecodesWithItsOwnHeaderUntilALaterHeaderSetsAll) {
    ChunkWriter movie;
    movie.chunk("SCHl", header({1, 22050, 16, audioCodecPcm}));
    movie.chunk("SCHl", header({2, 44100, 16, audioCodecPcm}));
    for (int s = 0; s < 40; ++s) {
        if (s == 30) movie.chunk("SCHl", header({2, 11025, 16, audioCodecPcm}));
        movie.chunk("KRTk", framePayload(s));
        movie.chunk("SCDl", pcmPayload(1000 + s, 4, 1));
        movie.chunk("SCDl", pcmPayload(2000 + s, 4, s < 30 ? 2 : 1));
    }
    movie.chunk("SEND", {});
    Reader r;
    ASSERT_EQ(r.load(movie), 0);
    EXPECT_EQ(r.c->audioChannels, 1);
    EXPECT_EQ(r.c->audioRate, 22050);
    for (int s = 0; s < 21; ++s) ASSERT_EQ(r.takeAudio().bytes, 16); // mono, 4 frames
    while (r.c->framesBuffered > 0) r.takeFrame();
    // From the next run on, track 2 decodes with its own stereo header.
    sharedStore(r.cfg->track, LONG{2});
    refill(r.c);
    EXPECT_EQ(r.c->audioChannels, 2);
    EXPECT_EQ(r.c->audioRate, 44100);
    std::vector<AudioEntry> blocks;
    for (int pass = 0; pass < 40; ++pass) {
        while (r.c->audioBuffered > 0) blocks.push_back(r.takeAudio());
        while (r.c->framesBuffered > 0) r.takeFrame();
        refill(r.c);
    }
    ASSERT_EQ(blocks.size(), 19u);
    EXPECT_EQ(blocks[0].bytes, 16);
    EXPECT_EQ(blocks[0].samples[0] | blocks[0].samples[1] << 8, 2021);
    // The later header sets every track: track 2's mono blocks now read as stereo (2 frames).
    EXPECT_EQ(r.c->trackFormats[0].rate, 11025);
    EXPECT_EQ(r.c->trackFormats[1].rate, 11025);
    EXPECT_EQ(r.c->audioRate, 11025);
    EXPECT_EQ(blocks.back().bytes, 8);
}

TEST(ReaderTracks, LoopingWithoutAudioStartsOverFromTheTop) {
    ChunkWriter movie;
    movie.chunk("SCCl", Bytes(5, 0));
    for (int i = 0; i < 3; ++i) movie.chunk("KRTk", framePayload(i));
    movie.chunk("SEND", {});
    movie.chunk("KRTk", framePayload(7)); // never read: the data ends before it
    Reader r;
    ASSERT_EQ(r.load(movie, loopPlay), 0);
    EXPECT_EQ(r.c->lastRead, readEnd);
    for (int i = 0; i < 9; ++i) {
        for (int pass = 0; pass < 3 && r.c->framesBuffered == 0; ++pass) refill(r.c);
        EXPECT_EQ(r.takeFrame(), framePayload(i % 3));
    }
    EXPECT_GE(r.c->videoSequence, 9);

    Reader once;
    ASSERT_EQ(once.load(movie), 0);
    while (once.c->framesBuffered > 0) once.takeFrame();
    for (int pass = 0; pass < 3; ++pass) refill(once.c);
    EXPECT_EQ(once.c->framesBuffered, 0);
    EXPECT_EQ(once.c->lastRead, readEnd);
}

TEST(ReaderTracks, TheFirstFrameOfEveryLapIsMarked) {
    ChunkWriter movie;
    movie.chunk("SCHl", header(pcmStereo));
    for (int i = 0; i < 3; ++i) {
        movie.chunk("MQZf", framePayload(i));
        movie.chunk("SCDl", pcmPayload(i));
    }
    movie.chunk("SEND", {});
    Reader r;
    ASSERT_EQ(r.load(movie, loopPlay), 0);
    // The loop comes back to the first audio block: later laps start with frame 1.
    const int frames[] = {0, 1, 2, 1, 2, 1, 2};
    const int marks[] = {0, 0, 0, 1, 0, 1, 0};
    for (int i = 0; i < 7; ++i) {
        for (int pass = 0; pass < 4 && r.c->framesBuffered == 0; ++pass) refill(r.c);
        while (r.c->audioBuffered > 0) r.takeAudio();
        ASSERT_GT(r.c->framesBuffered, 0);
        EXPECT_EQ(r.c->frameTable[r.c->frameReadIndex % queueSlots].lapStart, marks[i]) << i;
        EXPECT_EQ(r.takeFrame(), framePayload(frames[i])) << i;
    }
}

TEST(ReaderTracks, WithEachSlotsAudioAheadOfItsFrameEveryLapStartsWithTheFirstFrame) {
    // The layout qztool encode writes (MovieOptions::audioFirst), with two tracks.
    ChunkWriter movie;
    movie.chunk("SCHl", header(pcmStereo));
    movie.chunk("SCHl", header(pcmStereo));
    for (int i = 0; i < 3; ++i) {
        movie.chunk("SCDl", pcmPayload(1000 + i));
        movie.chunk("SCDl", pcmPayload(2000 + i));
        movie.chunk("MQZf", framePayload(i));
    }
    movie.chunk("SEND", {});
    for (LONG track : {1, 2}) {
        Reader r;
        ASSERT_EQ(r.load(movie, loopPlay | trackGiven, track), 0);
        const int marks[] = {0, 0, 0, 1, 0, 0, 1, 0};
        std::vector<int> sound;
        for (int i = 0; i < 8; ++i) {
            for (int pass = 0; pass < 4 && r.c->framesBuffered == 0; ++pass) refill(r.c);
            while (r.c->audioBuffered > 0) sound.push_back(r.takeAudioValue());
            ASSERT_GT(r.c->framesBuffered, 0);
            EXPECT_EQ(r.c->frameTable[r.c->frameReadIndex % queueSlots].lapStart, marks[i]) << i;
            EXPECT_EQ(r.takeFrame(), framePayload(i % 3)) << i;
        }
        // Every lap's sound is the track's own, from its first block.
        for (std::size_t i = 0; i < sound.size(); ++i)
            EXPECT_EQ(sound[i], 1000 * track + int(i % 3)) << track << "," << i;
    }
}

TEST(ReaderTracks, LoopingWithAudioReturnsToTheTracksFirstBlockAndSoundsTheSame) {
    ChunkWriter movie;
    movie.chunk("SCHl", header({2, 22050, 16, audioCodecIma}));
    movie.chunk("SCHl", header({2, 22050, 16, audioCodecIma}));
    movie.chunk("KRTk", framePayload(0));
    for (int s = 0; s < 3; ++s) {
        movie.chunk("SCDl", Bytes(100, 0x11));
        movie.chunk("SCDl", Bytes(100, static_cast<std::uint8_t>(0x70 + s)));
        movie.chunk("KRTk", framePayload(s + 1));
    }
    // Two headers, the first frame and track 1's first block come before it.
    const auto headerBytes = static_cast<LONG>(8 + header().size());
    const LONG firstTrack2Block = 2 * headerBytes + (8 + 16) + (8 + 100);
    movie.chunk("SEND", {});
    Reader r;
    ASSERT_EQ(r.load(movie, loopPlay | trackGiven, 2), 0);
    EXPECT_EQ(r.c->loopOffset, firstTrack2Block);
    std::vector<Bytes> blocks;
    for (int pass = 0; pass < 20 && blocks.size() < 9; ++pass) {
        while (r.c->audioBuffered > 0) {
            AudioEntry e = r.takeAudio();
            blocks.emplace_back(e.samples, e.samples + e.bytes);
        }
        while (r.c->framesBuffered > 0) r.takeFrame();
        refill(r.c);
    }
    ASSERT_GE(blocks.size(), 9u);
    for (int lap = 1; lap <= 2; ++lap)
        for (int s = 0; s < 3; ++s) EXPECT_EQ(blocks[3 * lap + s], blocks[s]) << lap << "," << s;
    EXPECT_NE(blocks[0], blocks[1]);
}

TEST(ReaderTracks, ASwitchedToTrackGoesOnAsAStraightDecodeOfThatTrack) {
    // Two codec-10 tracks whose nibbles drive the step index far apart; a block decoded with
    // the other track's state sounds different from the track's own.
    constexpr int slots = 60;
    constexpr AudioFormat ima{2, 22050, 16, audioCodecIma};
    auto payload = [](int track, int s) {
        Bytes bytes(64);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<std::uint8_t>(track == 1 ? 0x77 - (s + i) % 3
                                                            : (s * 29 + i * 13) ^ 0x5A);
        return bytes;
    };
    ChunkWriter movie;
    movie.chunk("SCHl", header(ima));
    movie.chunk("SCHl", header(ima));
    for (int s = 0; s < slots; ++s) {
        movie.chunk("KRTk", framePayload(s));
        for (int t = 1; t <= 2; ++t) movie.chunk("SCDl", payload(t, s));
    }
    movie.chunk("SEND", {});
    // Each track decoded on its own from the start, as an exporter does.
    std::vector<Bytes> straight[3];
    for (int t = 1; t <= 2; ++t) {
        LONG history[4] = {};
        ImaChannel state[2] = {};
        for (int s = 0; s < slots; ++s) {
            const Bytes in = payload(t, s);
            Bytes out(4 * in.size());
            decodeAudioPayload(ima, in.data(), static_cast<LONG>(in.size()), history, state,
                               out.data(), static_cast<LONG>(out.size()));
            straight[t].push_back(out);
        }
    }
    for (int first : {1, 2}) {
        const int other = 3 - first;
        Reader r;
        ASSERT_EQ(r.load(movie, trackGiven, first), 0);
        std::vector<Bytes> blocks;
        std::vector<std::size_t> switches;
        for (int pass = 0; pass < 200 && blocks.size() < slots; ++pass) {
            while (r.c->audioBuffered > 0) {
                AudioEntry e = r.takeAudio();
                blocks.emplace_back(e.samples, e.samples + e.bytes);
            }
            while (r.c->framesBuffered > 0) r.takeFrame();
            // Over to the other track once, and back later.
            if ((switches.empty() && blocks.size() >= 10) ||
                (switches.size() == 1 && blocks.size() >= switches[0] + 12)) {
                switches.push_back(blocks.size() + static_cast<std::size_t>(r.c->audioBuffered));
                r.cfg->track = switches.size() == 1 ? other : first;
            }
            refill(r.c);
        }
        ASSERT_EQ(blocks.size(), std::size_t{slots});
        ASSERT_EQ(switches.size(), 2u);
        // Blocks already queued play out; from the next one read, the selected track's own.
        for (std::size_t s = 0; s < blocks.size(); ++s) {
            const int track = s >= switches[0] && s < switches[1] ? other : first;
            EXPECT_EQ(blocks[s], straight[track][s]) << "first " << first << ", slot " << s;
        }
    }
}
