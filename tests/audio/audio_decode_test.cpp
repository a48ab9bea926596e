#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

#include "audio/audio_decode.h"
#include "format/stream_header.h"
#include "format/container_writer.h"

namespace {

// Payloads are copied first: a copy's heap block is exactly its size, so a read past the end
// is caught by the address sanitizer.
AudioFormat headerOf(const Bytes& payload) {
    Bytes exact(payload);
    AudioFormat format{99, 99, 99, 99};
    parseStreamHeader(exact.data(), LONG(exact.size()), &format);
    return format;
}

bool sameFormat(const AudioFormat& a, const AudioFormat& b) {
    return a.channels == b.channels && a.rate == b.rate && a.bits == b.bits && a.codec == b.codec;
}

struct Decoded {
    std::vector<std::int16_t> samples; // interleaved left, right
    LONG bytes = 0;
    LONG history[4] = {};
    ImaChannel ima[2] = {};
};

// Decodes into a buffer with guard bytes after outCapacity and checks they stay untouched.
Decoded decode(LONG channels, LONG codec, const Bytes& payload, LONG outCapacity = 1 << 14,
               Decoded start = {}) {
    Bytes exact(payload);
    AudioFormat format{channels, 22050, 16, codec};
    std::vector<BYTE> out(static_cast<std::size_t>(outCapacity) + 16, 0xEE);
    Decoded d = start;
    d.samples.clear();
    d.bytes = decodeAudioPayload(format, exact.data(), LONG(exact.size()), d.history, d.ima,
                                 out.data(), outCapacity);
    EXPECT_GE(d.bytes, 0);
    EXPECT_LE(d.bytes, outCapacity);
    EXPECT_EQ(d.bytes % 4, 0);
    EXPECT_TRUE(std::all_of(out.begin() + d.bytes, out.end(), [](BYTE b) { return b == 0xEE; }))
        << "written past the decoded length";
    for (LONG i = 0; i + 1 < d.bytes; i += 2)
        d.samples.push_back(static_cast<std::int16_t>(out[i] | (out[i + 1] << 8)));
    return d;
}

LONG decodedBytes(LONG channels, LONG codec, const Bytes& payload) {
    Bytes exact(payload);
    return audioDecodedBytes(AudioFormat{channels, 22050, 16, codec}, exact.data(),
                             LONG(exact.size()));
}

// A codec-7 payload head: four unexamined bytes and the four history values.
Bytes blockHead(std::int16_t lc, std::int16_t lp, std::int16_t rc, std::int16_t rp) {
    Bytes b = {0, 0, 0, 0};
    for (std::int16_t v : {lc, lp, rc, rp}) {
        b.push_back(static_cast<BYTE>(v));
        b.push_back(static_cast<BYTE>(static_cast<std::uint16_t>(v) >> 8));
    }
    return b;
}

Bytes monoBlock(BYTE header, std::initializer_list<BYTE> data) {
    Bytes b(15, 0);
    b[0] = header;
    std::copy(data.begin(), data.end(), b.begin() + 1);
    return b;
}

Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(StreamHeader, EndTagAloneLeavesDefaults) {
    EXPECT_TRUE(sameFormat(headerOf({'P', 'T', 0, 0, 0xFD, 0x8A}), defaultAudioFormat));
    // Shorter than its unexamined head, or cut before the start marker.
    EXPECT_TRUE(sameFormat(headerOf({'P', 'T'}), defaultAudioFormat));
    EXPECT_TRUE(sameFormat(headerOf({'P', 'T', 0, 0, 0x06}), defaultAudioFormat));
    AudioFormat format{5, 5, 5, 5};
    parseStreamHeader(nullptr, 0, &format);
    EXPECT_TRUE(sameFormat(format, defaultAudioFormat));
}

TEST(StreamHeader, ValuesAreSignExtendedBigEndian) {
    AudioFormat f =
        headerOf({0, 0,    0,    0,    0xFD, 0x82, 1, 0xFF, 0x84, 3,    0x00, 0xAC, 0x44, 0x81,
                  2, 0xFF, 0x80, 0x83, 4,    0x80, 0, 0,    0,    0x8A, 0x82, 1,    2});
    EXPECT_EQ(f.channels, -1);
    EXPECT_EQ(f.rate, 44100);
    EXPECT_EQ(f.bits, -128);
    EXPECT_EQ(f.codec, INT_MIN);
    // Longer values keep their last four bytes; other tags are stepped over.
    f = headerOf({0, 0, 0, 0, 0xFD, 0x84, 6, 1, 2, 0, 0, 0x2B, 0x11, 0x99, 1, 7, 0x83, 1, 7, 0x8A});
    EXPECT_EQ(f.rate, 11025);
    EXPECT_EQ(f.codec, 7);
    EXPECT_EQ(f.channels, 1);
}

TEST(StreamHeader, RecordsBeforeTheMarkerAreSteppedOverWhole) {
    // A 0x82 record and a value byte of 0xFD before the marker change nothing.
    AudioFormat f =
        headerOf({0, 0, 0, 0, 0x82, 1, 2, 0x06, 2, 0xFD, 0xFD, 0xFD, 0x83, 1, 10, 0x8A});
    EXPECT_EQ(f.channels, 1);
    EXPECT_EQ(f.codec, 10);
}

TEST(StreamHeader, CutShortKeepsWhatWasReadWhole) {
    // No end tag: the channel record applies, then the payload ends.
    EXPECT_EQ(headerOf({0, 0, 0, 0, 0xFD, 0x82, 1, 2}).channels, 2);
    // A rate record running past the end is not applied; a lone tag byte is ignored.
    AudioFormat f = headerOf({0, 0, 0, 0, 0xFD, 0x82, 1, 2, 0x84, 4, 0, 0});
    EXPECT_EQ(f.channels, 2);
    EXPECT_EQ(f.rate, 22050);
    EXPECT_EQ(headerOf({0, 0, 0, 0, 0xFD, 0x82, 1, 2, 0x84}).channels, 2);
}

TEST(StreamHeader, ReadsWhatTheWriterWrites) {
    AudioFormat want{2, 44100, 16, audioCodecBlockAdpcm};
    EXPECT_TRUE(sameFormat(headerOf(streamHeaderPayload(want)), want));
}

TEST(PcmDecode, StereoCopiedMonoDuplicated) {
    Decoded d = decode(2, 0, {2, 0, 0, 0, 1, 0, 0xFF, 0xFF, 0x00, 0x80, 0xFF, 0x7F});
    EXPECT_EQ(d.samples, (std::vector<std::int16_t>{1, -1, -32768, 32767}));
    // The odd trailing byte of a mono payload is not a sample.
    d = decode(1, 0, {3, 0, 0, 0, 5, 0, 0xFE, 0xFF, 0x34, 0x12, 0x77});
    EXPECT_EQ(d.samples, (std::vector<std::int16_t>{5, 5, -2, -2, 0x1234, 0x1234}));
}

TEST(PcmDecode, FrameCountBeyondThePayloadDecodesTheFramesPresent) {
    Bytes payload = {0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 2, 0, 3, 0};
    EXPECT_EQ(decodedBytes(1, 0, payload), 12);
    EXPECT_EQ(decode(1, 0, payload).samples, (std::vector<std::int16_t>{1, 1, 2, 2, 3, 3}));
    EXPECT_EQ(decodedBytes(2, 0, payload), 4);
    EXPECT_EQ(decode(2, 0, {9, 0, 0, 0, 1}).bytes, 0);
    EXPECT_EQ(decode(2, 0, {9, 0, 0}).bytes, 0);
}

TEST(BlockAdpcmDecode, MonoChunkSizeIgnoresTrailingPartialBlock) {
    Bytes payload(12 + 15 * 10 + 14, 0x11);
    EXPECT_EQ(decodedBytes(1, 7, payload), 1120);
    EXPECT_EQ(decode(1, 7, payload).bytes, 1120);
    payload.resize(12 + 30 * 3 + 29);
    EXPECT_EQ(decodedBytes(2, 7, payload), 336);
    EXPECT_EQ(decode(2, 7, payload).bytes, 336);
}

TEST(BlockAdpcmDecode, NibbleStepRoundsDownAndClamps) {
    // Index 0, shift 0: 7 gives 7 * 2^20 >> 8 = 28672; -1 gives floor(-4095.5).
    Decoded d = decode(1, 7, cat(blockHead(0, 0, 0, 0), monoBlock(0x00, {0x7F})));
    ASSERT_EQ(d.samples.size(), 56u);
    EXPECT_EQ(d.samples[0], 28672);
    EXPECT_EQ(d.samples[1], 28672);
    EXPECT_EQ(d.samples[2], -4096);
    // Index 1 from the extremes saturates in both directions.
    d = decode(1, 7, cat(blockHead(32767, 0, 0, 0), monoBlock(0x10, {0x78})));
    EXPECT_EQ(d.samples[0], 32767);
    EXPECT_EQ(d.samples[2], -2049); // (-8 * 2^20 + 240 * 32767 + 128) >> 8
    d = decode(1, 7, cat(blockHead(-32768, -32768, 0, 0), monoBlock(0x10, {0x88})));
    EXPECT_EQ(d.samples[0], -32768);
    EXPECT_EQ(d.samples[2], -32768);
}

TEST(BlockAdpcmDecode, PredictsFromTheCarriedHistory) {
    // Index 2, shift 12, history 1000/500: (256 + 460*1000 - 208*500 + 128) >> 8 = 1392, then
    // (460*1392 - 208*1000 + 128) >> 8 = 1689.
    Decoded d = decode(1, 7, cat(blockHead(1000, 500, 7, 7), monoBlock(0x2C, {0x10})));
    EXPECT_EQ(d.samples[0], 1392);
    EXPECT_EQ(d.samples[2], 1689);
    EXPECT_EQ(d.history[1], d.samples[52]);
    EXPECT_EQ(d.history[0], d.samples[54]);
    EXPECT_EQ(d.history[2], 7) << "a mono chunk leaves the right history as loaded";

    // Stereo: left index 1 shift 0, right index 0 shift 12, one frame byte 0x13.
    Bytes block = {0x10, 0x0C, 0x13};
    block.resize(30, 0);
    d = decode(2, 7, cat(blockHead(100, 0, 0, 0), block));
    ASSERT_EQ(d.samples.size(), 56u);
    EXPECT_EQ(d.samples[0], 4190);
    EXPECT_EQ(d.samples[1], 3);
}

TEST(BlockAdpcmDecode, CoefficientIndexAboveThreeActsAsZero) {
    Bytes head = blockHead(20000, -5000, 0, 0);
    Decoded zero = decode(1, 7, cat(head, monoBlock(0x04, {0x12, 0x9A, 0x7F})));
    for (BYTE k : {4, 9, 15}) {
        Decoded high = decode(1, 7, cat(head, monoBlock(BYTE(k << 4 | 4), {0x12, 0x9A, 0x7F})));
        EXPECT_EQ(high.samples, zero.samples) << int(k);
    }
}

TEST(BlockAdpcmDecode, PayloadShorterThanItsHeadDecodesNothing) {
    Decoded start;
    start.history[0] = 11;
    Decoded d = decode(1, 7, Bytes(11, 0x7F), 4096, start);
    EXPECT_EQ(d.bytes, 0);
    EXPECT_EQ(d.history[0], 11);
    EXPECT_EQ(decodedBytes(2, 7, Bytes(5, 0)), 0);
}

TEST(ImaDecode, StepsLeftThenRightAndCarriesState) {
    // Step 7: nibble 7 adds 0 + 7 + 3 + 1; the index moves to 8 (step 16): 2 + 16 + 8 + 4.
    Decoded d = decode(2, 10, {0x70, 0x7F});
    EXPECT_EQ(d.samples, (std::vector<std::int16_t>{11, 0, 41, -11}));
    EXPECT_EQ(d.ima[0].stepIndex, 16);
    EXPECT_EQ(d.ima[1].stepIndex, 8);

    Bytes payload(1000);
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = BYTE(i * 37 + (i >> 3));
    Decoded whole = decode(2, 10, payload);
    EXPECT_EQ(whole.bytes, 4000);
    Decoded first = decode(2, 10, Bytes(payload.begin(), payload.begin() + 400));
    Decoded second = decode(2, 10, Bytes(payload.begin() + 400, payload.end()), 1 << 14, first);
    first.samples.insert(first.samples.end(), second.samples.begin(), second.samples.end());
    EXPECT_EQ(first.samples, whole.samples);
    EXPECT_EQ(second.ima[0].predictor, whole.ima[0].predictor);
    EXPECT_EQ(second.ima[1].stepIndex, whole.ima[1].stepIndex);
}

TEST(ImaDecode, ClampsPredictorAndOutOfRangeState) {
    Decoded start;
    start.ima[0] = {32760, 88};
    start.ima[1] = {-32760, 500}; // an index past the table is taken as 88
    Decoded d = decode(2, 10, {0x7F, 0x7F}, 1 << 14, start);
    EXPECT_EQ(d.samples, (std::vector<std::int16_t>{32767, -32768, 32767, -32768}));
    EXPECT_EQ(d.ima[1].stepIndex, 88);
}

TEST(AudioDecode, OutputCapacityCutsToLeadingWholeFrames) {
    Bytes payload = {0x12, 0x34, 0x56, 0x78, 0x9A};
    Decoded cut = decode(2, 10, payload, 10);
    Decoded lead = decode(2, 10, {0x12, 0x34});
    EXPECT_EQ(cut.bytes, 8);
    EXPECT_EQ(cut.samples, lead.samples);
    EXPECT_EQ(cut.ima[0].predictor, lead.ima[0].predictor);
    EXPECT_EQ(cut.ima[1].stepIndex, lead.ima[1].stepIndex);

    Bytes adpcm = cat(blockHead(300, 200, 0, 0), monoBlock(0x3A, {0x1F, 0x2E, 0x3D, 0x4C}));
    Decoded full = decode(1, 7, adpcm);
    Decoded part = decode(1, 7, adpcm, 30);
    EXPECT_EQ(part.bytes, 28);
    EXPECT_EQ(part.samples,
              std::vector<std::int16_t>(full.samples.begin(), full.samples.begin() + 14));
    EXPECT_EQ(decode(2, 0, {2, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}, 7).bytes, 4);
    EXPECT_EQ(decode(2, 10, payload, 3).bytes, 0);
}

TEST(AudioDecode, UnknownCodecAndEmptyPayloadYieldNothing) {
    for (LONG codec : {1, 2, 8, 11, -1}) {
        EXPECT_EQ(decodedBytes(2, codec, {1, 2, 3, 4, 5, 6, 7, 8}), 0);
        EXPECT_EQ(decode(2, codec, {1, 2, 3, 4, 5, 6, 7, 8}).bytes, 0);
    }
    BYTE out[4];
    LONG history[4] = {};
    ImaChannel ima[2] = {};
    BYTE payload[4] = {1, 2, 3, 4};
    AudioFormat ima10{2, 22050, 16, 10};
    EXPECT_EQ(decodeAudioPayload(ima10, payload, 0, history, ima, out, 4), 0);
    EXPECT_EQ(decodeAudioPayload(ima10, payload, -4, history, ima, out, 4), 0);
    EXPECT_EQ(audioDecodedBytes(ima10, payload, -4), 0);
    EXPECT_EQ(ima[0].predictor, 0);
}

} // namespace
