// Our KRT writer against our decoder: the LZ77 packer and every command kind, median cut
// palettes, and key and delta frame sequences decoded back exactly to the writer's picture.
#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "encoder/krt_encoder.h"
#include "tests/video/krt_test_support.h"

namespace {

// Command kinds in a packed stream: 2-, 3-, 4-byte copies, literal runs and the end command.
struct CommandCounts {
    int kinds[5] = {};
};

CommandCounts countCommands(const Bytes& stream) {
    CommandCounts counts;
    std::size_t at = (stream[0] & 1) ? 8 : 5;
    while (at < stream.size()) {
        const unsigned b0 = stream[at];
        if (b0 < 0x80) {
            ++counts.kinds[0];
            at += 2 + (b0 & 3);
        } else if (b0 < 0xC0) {
            ++counts.kinds[1];
            at += 3 + (stream[at + 1] >> 6);
        } else if (b0 < 0xE0) {
            ++counts.kinds[2];
            at += 4 + (b0 & 3);
        } else if (b0 < 0xFC) {
            ++counts.kinds[3];
            at += 1 + ((b0 & 0x1F) + 1) * 4;
        } else {
            ++counts.kinds[4];
            EXPECT_EQ(at + 1 + (b0 & 3), stream.size());
            break;
        }
    }
    return counts;
}

Bytes unpackAll(const Bytes& stream, std::size_t size) {
    Bytes out(size, 0xEE);
    out.resize(unpackKrtLz77(stream.data(), stream.size(), out.data(), out.size()));
    return out;
}

// A scene of soft gradients with a bright disc and a square moving across it; the background
// scrolls one way, the shapes another.
RgbPicture scene(int width, int height, int t) {
    RgbPicture p{width, height, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int sx = x + 2 * t, sy = y + t;
            int r = 128 + int(100 * std::sin(sx * 0.05)), g = 128 + int(100 * std::cos(sy * 0.07));
            int b = (sx * 2 + sy) & 0xFF;
            const int cx = 20 + 3 * t, cy = 24 + t;
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < 100) r = 250, g = 230, b = 40;
            if (x >= width - 30 - 4 * t && x < width - 14 - 4 * t && y >= 8 && y < 24)
                r = 20, g = 40, b = 220;
            p.rgb.insert(p.rgb.end(), {std::uint8_t(r), std::uint8_t(g), std::uint8_t(b)});
        }
    return p;
}

krttest::ByteList payloadOf(const MovieVideoChunk& chunk) {
    return krttest::ByteList(chunk.payload.begin(), chunk.payload.end());
}

} // namespace

TEST(KrtLz77Packer, RoundTripsAndUsesEveryCommandKind) {
    std::mt19937 rng(7);
    // Noise, then short repeats near by, middling repeats from farther, and long repeats from
    // past 65,536 bytes back.
    Bytes data(90000);
    for (std::size_t i = 0; i < 20000; ++i) data[i] = std::uint8_t(rng());
    for (std::size_t i = 20000; i < 40000; ++i)
        data[i] = (i % 37 < 7) ? data[i - 1 - rng() % 200] : std::uint8_t(rng());
    for (std::size_t i = 40000; i < 60000; ++i)
        data[i] = (i % 300 < 40) ? data[i - 5000] : std::uint8_t(rng());
    for (std::size_t i = 60000; i < 90000; ++i)
        data[i] = (i % 3000 < 1500) ? data[i - 60000] : std::uint8_t(rng());
    const Bytes stream = packKrtLz77(data.data(), data.size());
    EXPECT_EQ(unpackAll(stream, data.size()), data);
    const CommandCounts counts = countCommands(stream);
    for (int kind = 0; kind < 5; ++kind) EXPECT_GT(counts.kinds[kind], 0) << kind;
    EXPECT_LT(stream.size(), data.size());
    // Long runs of one byte pack to a few bytes a kilobyte; odd sizes and tiny inputs work too.
    for (std::size_t size : {0, 1, 2, 3, 5, 7, 4096, 100001}) {
        Bytes same(size, 0x42);
        if (size > 4) same[size / 2] = 7;
        const Bytes packed = packKrtLz77(same.data(), same.size());
        EXPECT_EQ(unpackAll(packed, size), same) << size;
        if (size > 4000) {
            EXPECT_LT(packed.size(), size / 100);
        }
    }
}

TEST(KrtPalette, MedianCutKeepsFewColoursAndSpreadsMany) {
    RgbPicture few{4, 4, {}};
    for (int i = 0; i < 16; ++i) few.rgb.insert(few.rgb.end(), {std::uint8_t(i % 3 * 100), 7, 9});
    EXPECT_EQ(medianCutPalette(few).size(), 3u);
    const RgbPicture many = scene(128, 96, 0);
    const std::vector<KrtColour> palette = medianCutPalette(many);
    EXPECT_EQ(palette.size(), 256u);
    RgbPicture mapped{many.width, many.height, {}};
    for (std::size_t i = 0; i < many.rgb.size(); i += 3) {
        const KrtColour& c =
            palette[nearestKrtColour(palette, many.rgb[i], many.rgb[i + 1], many.rgb[i + 2])];
        mapped.rgb.insert(mapped.rgb.end(), c.begin(), c.end());
    }
    EXPECT_GT(rgbPsnr(many, mapped), 30.0);
    EXPECT_EQ(medianCutPalette(many, 16).size(), 16u);
}

TEST(KrtEncoder, KeyAndDeltaFramesDecodeToTheWritersPicture) {
    KrtEncoder encoder;
    krttest::KrtDecoder decoder;
    std::size_t keyBytes = 0;
    LONG fullBlocks = 0, twoBitBlocks = 0;
    for (int t = 0; t < 8; ++t) {
        const RgbPicture source = scene(160, 96, t);
        const MovieVideoChunk chunk =
            t == 0 ? encoder.keyFrame(source) : encoder.deltaFrame(source);
        const krttest::ByteList payload = payloadOf(chunk);
        if (t == 0) {
            ASSERT_EQ(chunk.id, chunkId("KRTk"));
            ASSERT_EQ(decoder.key(payload), 1);
            keyBytes = payload.size();
        } else {
            ASSERT_EQ(chunk.id, chunkId("KRTf"));
            ASSERT_EQ(decoder.delta(payload), 1);
            EXPECT_LT(payload.size(), keyBytes);
            EXPECT_GT(decoder.ctx.krt.vectorCount, 1);
            EXPECT_LE(decoder.ctx.krt.indexBits, 12);
            fullBlocks += decoder.ctx.krt.fullCount;
            twoBitBlocks += decoder.ctx.krt.twoBitCount;
        }
        ASSERT_EQ(decoder.picture(), encoder.picture()) << t;
        EXPECT_GT(rgbPsnr(source, encoder.decodedRgb()), 30.0) << t;
    }
    EXPECT_GT(fullBlocks, 0);
    EXPECT_GT(twoBitBlocks, 0);
}

TEST(KrtEncoder, TheTableBudgetAndSizes) {
    // Noise needs a new block nearly everywhere: past 4,096 table entries the blocks that lose
    // least are copied instead, and the frame still decodes exactly.
    std::mt19937 rng(3);
    RgbPicture noise{288, 256, {}};
    for (int i = 0; i < 288 * 256 * 3; ++i) noise.rgb.push_back(std::uint8_t(rng() & 0xE0));
    KrtEncoder encoder({.blockError = 0, .searchRange = 1});
    krttest::KrtDecoder decoder;
    ASSERT_EQ(decoder.key(payloadOf(encoder.keyFrame(noise))), 1);
    for (std::uint8_t& b : noise.rgb) b = std::uint8_t(rng() & 0xE0);
    const MovieVideoChunk delta = encoder.deltaFrame(noise);
    ASSERT_EQ(delta.id, chunkId("KRTf"));
    ASSERT_EQ(decoder.delta(payloadOf(delta)), 1);
    EXPECT_EQ(decoder.ctx.krt.indexBits, 12);
    EXPECT_LE(decoder.ctx.krt.vectorCount + decoder.ctx.krt.fullCount + decoder.ctx.krt.twoBitCount,
              4096);
    EXPECT_EQ(decoder.picture(), encoder.picture());
    // A new size starts again with a key frame; sizes the format cannot take are refused.
    EXPECT_EQ(encoder.deltaFrame(scene(64, 32, 0)).id, chunkId("KRTk"));
    EXPECT_THROW(encoder.keyFrame(scene(30, 32, 0)), std::invalid_argument);
}
