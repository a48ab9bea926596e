// Malformed files and the reader's limits: nothing unusable is read as data, nothing is
// written outside the rings, and the reader never hangs or leaks.
#include <gtest/gtest.h>

#include "tests/engine/reader_harness.h"

using namespace readertest;

namespace {

// A chunk header with an arbitrary size word.
Bytes rawHeader(const char (&id)[5], DWORD size) {
    Bytes bytes;
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(id[i]));
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(size >> (8 * i)));
    return bytes;
}

// An oversized payload that starts with a whole frame chunk, which must never be queued.
Bytes oversizedPayload() {
    ChunkWriter inner;
    inner.chunk("KRTk", framePayload(99));
    Bytes payload = inner.bytes();
    payload.resize(maxAudioPayload + 1);
    return payload;
}

} // namespace

TEST(ReaderMends, UnusableChunksAreSkippedWithoutReadingTheirPayload) {
    ChunkWriter movie;
    movie.chunk("SCHl", header(pcmStereo));
    movie.chunk("SEND", {});
    movie.raw(rawHeader("KRTk", 4)); // size below the header: the next read follows it
    movie.chunk("KRTk", framePayload(1));
    movie.chunk("SCDl", oversizedPayload());
    movie.chunk("SCHl", oversizedPayload());
    movie.chunk("SKOD", oversizedPayload());
    movie.chunk("KRTk", framePayload(2));
    movie.chunk("KRTk", {});
    movie.chunk("SCDl", {});
    movie.raw(rawHeader("DORk", 0xFFFFFFFFu));
    movie.chunk("SEND", {});
    Reader r;
    ASSERT_EQ(r.loadOpen(movie), 0);
    EXPECT_EQ(r.readToEnd(),
              (std::vector<LONG>{readError, readVideo, readError, readError, readError, readVideo,
                                 readSkipped, readSkipped, readError, readEnd}));
    EXPECT_EQ(r.c->framesBuffered, 2);
    EXPECT_EQ(r.takeFrame(), framePayload(1));
    EXPECT_EQ(r.takeFrame(), framePayload(2));
    EXPECT_EQ(r.c->audioBuffered, 0);
    EXPECT_EQ(r.c->audioChannels, 2); // the oversized headers changed nothing
}

TEST(ReaderMends, EmptyBlocksKeepTheirPlaceAndShortPayloadsDecodeWhatIsThere) {
    Bytes shortHeader = header({2, 11025, 8, audioCodecPcm});
    shortHeader.resize(shortHeader.size() - 12); // cut inside the rate record, before 0x8A
    Bytes overstated = pcmPayload(7, 2, 2);
    overstated[0] = 0xE8; // claims 1000 frames, holds 2
    overstated[1] = 0x03;
    ChunkWriter movie;
    movie.chunk("SCHl", header(pcmStereo));
    movie.chunk("SCHl", shortHeader);
    for (int s = 0; s < 3; ++s) {
        movie.chunk("KRTk", framePayload(s));
        movie.chunk("SCDl", {}); // track 1's block is empty
        movie.chunk("SCDl", overstated);
    }
    movie.chunk("SEND", {});
    Reader r;
    ASSERT_EQ(r.load(movie, trackGiven, 2), 0);
    EXPECT_EQ(r.c->audioChannels, 2);
    EXPECT_EQ(r.c->audioRate, 22050);
    EXPECT_EQ(r.c->lastRead, readEnd); // the prefill met the end and keeps it
    ASSERT_EQ(r.c->audioBuffered, 3);
    for (int s = 0; s < 3; ++s) EXPECT_EQ(r.takeAudio().bytes, 8);
}

TEST(ReaderMends, AudioDataWithoutAudioIsSeekedOver) {
    ChunkWriter inner;
    inner.chunk("KRTk", framePayload(9));
    ChunkWriter silent; // no leading stream header
    silent.chunk("KRTk", framePayload(0));
    silent.chunk("SCDl", inner.bytes());
    silent.chunk("KRTk", framePayload(1));
    Reader r;
    ASSERT_EQ(r.load(silent), 0);
    ASSERT_EQ(r.c->framesBuffered, 2);
    EXPECT_EQ(r.takeFrame(), framePayload(0));
    EXPECT_EQ(r.takeFrame(), framePayload(1));

    // Frames in a row during playback end the audio track; later audio is passed over.
    ChunkWriter ended;
    ended.chunk("SCHl", header(pcmStereo));
    for (int s = 0; s < 25; ++s) {
        ended.chunk("KRTk", framePayload(s));
        ended.chunk("SCDl", pcmPayload(s));
    }
    for (int s = 25; s < 28; ++s) ended.chunk("KRTk", framePayload(s));
    ended.chunk("SCDl", inner.bytes());
    ended.chunk("KRTk", framePayload(28));
    Reader e;
    ASSERT_EQ(e.load(ended), 0);
    std::vector<Bytes> frames;
    for (int pass = 0; pass < 20; ++pass) {
        while (e.c->framesBuffered > 0) frames.push_back(e.takeFrame());
        while (e.c->audioBuffered > 0) e.takeAudio();
        refill(e.c);
    }
    EXPECT_EQ(e.cfg->hasAudio, 0);
    ASSERT_EQ(frames.size(), 29u);
    EXPECT_EQ(frames.back(), framePayload(28));
}

TEST(ReaderMends, AudioLeadFallsBackToFiveWithoutAUsableAverage) {
    struct Case {
        LONG codec;
        int blocks;
        LONG lead;
    };
    // 256 stereo frames decode to 1024 bytes: 32768 / 1024 = 32.
    for (Case k : {Case{audioCodecPcm, 3, 32}, Case{99, 3, 5}, Case{audioCodecPcm, 0, 5}}) {
        ChunkWriter movie;
        movie.chunk("SCHl", header({2, 22050, 16, k.codec}));
        for (int s = 0; s < k.blocks; ++s) movie.chunk("SCDl", pcmPayload(s, 256));
        movie.chunk("SEND", {});
        Reader r;
        ASSERT_EQ(r.load(movie), 0);
        EXPECT_EQ(r.c->audioLead, k.lead) << k.codec << " " << k.blocks;
    }
}

TEST(ReaderMends, ReadErrorsEndThePrefillAndFailuresLeakNothing) {
    const int handles = qzplat::mmioOpenHandles();
    ChunkWriter movie;
    movie.chunk("SCHl", header(pcmStereo));
    for (int s = 0; s < 10; ++s) {
        movie.chunk("KRTk", framePayload(s));
        movie.chunk("SCDl", pcmPayload(s));
    }
    {
        Reader r;
        std::string path = qztest::writeScratchFile("fail.qz", movie.bytes());
        r.cfg->file = mmioOpenA(path.data(), nullptr, 0);
        r.cfg->flags = callerFile;
        qzplat::mmioFailReadsFrom(r.cfg->file, 200);
        ASSERT_EQ(readerLoad(path.c_str(), r.c), 0); // returns instead of retrying forever
        EXPECT_GT(r.c->framesBuffered, 0);
        EXPECT_EQ(readChunk(r.c), readEnd); // a file that cannot be read has ended
        readerRelease(r.c);
        EXPECT_EQ(qzplat::mmioOpenHandles(), handles + 1); // the caller's file stays open
    }
    Reader missing;
    EXPECT_EQ(readerLoad(qztest::scratchPath("missing.qz").c_str(), missing.c), 1);
    EXPECT_EQ(missing.cfg->file, nullptr);
    Reader unbuffered;
    qzplat::mmioFailNextSetBuffers(1);
    EXPECT_EQ(unbuffered.load(movie), 1);
    EXPECT_EQ(qzplat::mmioOpenHandles(), handles);
    Reader loaded;
    ASSERT_EQ(loaded.load(movie), 0);
    readerRelease(loaded.c);
    readerRelease(loaded.c); // a second release finds nothing left to free
    EXPECT_EQ(loaded.c->videoRing, nullptr);
    EXPECT_EQ(qzplat::mmioOpenHandles(), handles);
}

// The front end's look before opening: the first video frame's type past headers, audio, empty
// and unusable chunks; 0 without video, -1 without a file.
TEST(ReaderMends, FirstFrameTypeFromTheChunkHeaders) {
    auto typeOf = [](const ChunkWriter& movie) {
        return playerFirstFrameType(qztest::writeScratchFile("probe.qz", movie.bytes()).c_str());
    };
    ChunkWriter mixed;
    mixed.chunk("SCHl", Bytes(40, 1));
    mixed.chunk("SCDl", Bytes(300, 2));
    mixed.raw(rawHeader("SCCl", 3)); // a size below the header: passed over by its header
    mixed.raw(rawHeader("ABCD", 8)); // unknown
    mixed.chunk("MQZf", {});         // no payload, no frame
    mixed.chunk("DORm", Bytes(20, 3));
    mixed.chunk("KRTk", Bytes(20, 3));
    EXPECT_EQ(typeOf(mixed), 6);
    ChunkWriter krt;
    krt.chunk("KRTf", Bytes(9, 0));
    EXPECT_EQ(typeOf(krt), 2);
    ChunkWriter reversed;
    reversed.chunkWithId(reversedChunkId(chunkId("PLWp")), Bytes(9, 0));
    EXPECT_EQ(typeOf(reversed), 4);
    ChunkWriter ended;
    ended.chunk("SCDl", Bytes(30, 2));
    ended.chunk("SEND", {});
    ended.chunk("KRTk", Bytes(20, 3));
    EXPECT_EQ(typeOf(ended), 0);
    ChunkWriter cut;
    cut.raw(rawHeader("SCDl", 1000)); // a payload past the end of the file
    cut.raw(Bytes(20, 0));
    EXPECT_EQ(typeOf(cut), 0);
    EXPECT_EQ(typeOf(ChunkWriter{}), 0);
    EXPECT_EQ(playerFirstFrameType(qztest::scratchPath("no-such-movie.qz").c_str()), -1);
}
