// Type-4 bitstreams built by hand: quantiser values, DC size codes and prediction, every AC
// run/level code, the escape's level forms and the ends of a block.
#include "tests/video/dct_test_support.h"

#include <cstring>
#include <set>
#include <string>

#include "video/dct/dct_toolkit.h"

namespace {

using namespace dcttest;

// Decodes luma blocks from hand-built bits with the quality 100 quantiser.
struct BlockBench {
    Decoder decoder{xrgb8888};
    Bytes stream;
    LONG samples[64];
    bool flat = false; // the last block had no AC coefficient

    explicit BlockBench(const WordBits& bits, LONG quality = 100) : stream(bits.bytes()) {
        setupType4Quant(decoder.ctx->dct.type4Quant, quality);
        decoder.ctx->frameDataEnd = stream.data() + stream.size();
        resetType4Frame(decoder.ctx.get(), stream.data());
    }
    void next(int component = 0) {
        decodeType4Block(decoder.ctx.get(), component, samples, 8, &flat);
    }
    VideoState& ctx() { return *decoder.ctx; }
};

// Samples of a coefficient block given as (scan position, level) pairs plus the DC predictor.
std::vector<LONG> expectedSamples(const LONG* quant, LONG pred,
                                  std::initializer_list<std::pair<int, LONG>> levels) {
    LONG coeff[64] = {};
    coeff[0] = pred * quant[0];
    for (auto [k, level] : levels) coeff[zigzag[k]] = level * quant[zigzag[k]];
    std::vector<LONG> out(64);
    idctBlock(coeff, out.data(), 8, 17);
    return out;
}

TEST(Type4Quant, QualitiesAtTheEdges) {
    LONG quant[64];
    setupType4Quant(quant, 100);
    for (int i = 1; i < 64; ++i) EXPECT_EQ(quant[i], prescale[i] * 8);
    EXPECT_EQ(quant[0], 65536);
    setupType4Quant(quant, 107);
    for (int i = 1; i < 64; ++i) EXPECT_EQ(quant[i], 0);
    EXPECT_EQ(quant[0], 65536);
    setupType4Quant(quant, 99);
    for (int i = 1; i < 64; ++i) EXPECT_EQ(quant[i], (prescale[i] * intraWeights[i] + 1) / 2);
}

TEST(Type4Block, HandBuiltBitsFromTheFirstWord) {
    // Bytes 00 00 00 9A: bits 1 0 0 1 1 0 1 0 = DC size 0, run 0 level +1, end of block.
    const Bytes stream{0x00, 0x00, 0x00, 0x9A};
    Decoder d(xrgb8888);
    setupType4Quant(d.ctx->dct.type4Quant, 100);
    d.ctx->frameDataEnd = stream.data() + stream.size();
    resetType4Frame(d.ctx.get(), stream.data());
    LONG samples[64];
    decodeType4Block(d.ctx.get(), 0, samples, 8);
    EXPECT_EQ(d.ctx->dct.type4BitPos, 8);
    EXPECT_EQ(std::vector<LONG>(samples, samples + 64),
              expectedSamples(d.ctx->dct.type4Quant, 0, {{1, 1}}));
}

TEST(Type4Block, DcSizesDifferencesAndPredictors) {
    WordBits w;
    w.put("1111110"), w.put(255, 8), w.put("10"); // size 8, m = 255: +255
    w.put("00"), w.put(0, 1), w.put("10");        // size 1, bit 0: -1
    w.put("101"), w.put("011"), w.put("10");      // size 3, 011: -4
    w.put("101"), w.put("100"), w.put("10");      // size 3, 100: +4
    // Outside the code: size 0 and no bits used, so the AC codes start on the same bits:
    // (0, -1) twice, then end of block.
    w.put("1111111"), w.put("0");
    w.put("11111110"), w.put(0, 8), w.put("10"); // chroma size 8, m = 0: -255
    BlockBench b(w);
    b.next();
    EXPECT_EQ(b.ctx().dct.dcPredY, 255);
    for (LONG s : b.samples) EXPECT_EQ(s, 127); // predictor >> 1
    b.next();
    EXPECT_EQ(b.ctx().dct.dcPredY, 254);
    b.next();
    EXPECT_EQ(b.ctx().dct.dcPredY, 250);
    b.next();
    EXPECT_EQ(b.ctx().dct.dcPredY, 254);
    b.next();
    EXPECT_EQ(b.ctx().dct.dcPredY, 254);
    EXPECT_EQ(std::vector<LONG>(b.samples, b.samples + 64),
              expectedSamples(b.ctx().dct.type4Quant, 254, {{1, -1}, {2, -1}}));
    b.next(2);
    EXPECT_EQ(b.ctx().dct.dcPredCr, -255);
    EXPECT_EQ(b.ctx().dct.dcPredCb, 0);
    EXPECT_EQ(b.samples[0], -128);
}

TEST(Type4Block, EveryRunLevelCodeDecodesToItsPair) {
    // The code is prefix-free and, with end of block and the escape, leaves out only the
    // patterns that begin with twelve zeros.
    double kraft = std::ldexp(1.0, -2) + std::ldexp(1.0, -6);
    std::set<std::pair<int, int>> pairs;
    for (const Type4RunLevelCode& c : type4RunLevelCodes) {
        kraft += std::ldexp(1.0, -static_cast<int>(std::strlen(c.bits)));
        pairs.insert({c.run, c.level});
        for (const Type4RunLevelCode& o : type4RunLevelCodes) {
            EXPECT_TRUE(&o == &c || std::string(o.bits).rfind(c.bits, 0) != 0) << c.bits;
        }
    }
    EXPECT_EQ(kraft, 1.0 - std::ldexp(1.0, -12));
    EXPECT_EQ(pairs.size(), 111u);

    for (const Type4RunLevelCode& c : type4RunLevelCodes) {
        WordBits w;
        w.put("100"), w.put(c.bits), w.put(1, 1), w.put("10");
        w.put("01"), w.put(2, 2), w.put("10"); // the next block: +2
        BlockBench b(w);
        b.next();
        EXPECT_EQ(std::vector<LONG>(b.samples, b.samples + 64),
                  expectedSamples(b.ctx().dct.type4Quant, 0, {{c.run + 1, -c.level}}))
            << c.bits;
        b.next();
        EXPECT_EQ(b.ctx().dct.dcPredY, 2) << c.bits; // the code used exactly its own bits
    }
}

TEST(Type4Block, EscapeLevelForms) {
    WordBits w;
    w.put("100");
    w.put("000001"), w.put(0, 6), w.put(0, 8), w.put(0, 8);   // level 0 at position 1
    w.put("11"), w.put(0, 1);                                 // +1 at position 2
    w.put("000001"), w.put(2, 6), w.put(100, 8);              // +100 at position 5
    w.put("000001"), w.put(0, 6), w.put(200, 8);              // -56 at position 6
    w.put("000001"), w.put(0, 6), w.put(0, 8), w.put(200, 8); // +200 at position 7
    w.put("000001"), w.put(0, 6), w.put(128, 8), w.put(6, 8); // -250 at position 8
    w.put("10");
    BlockBench b(w);
    b.next();
    EXPECT_EQ(std::vector<LONG>(b.samples, b.samples + 64),
              expectedSamples(b.ctx().dct.type4Quant, 0,
                              {{2, 1}, {5, 100}, {6, -56}, {7, 200}, {8, -250}}));
}

TEST(Type4Block, BlockEndsWithoutEndOfBlock) {
    // Twelve zero bits end the block and consume nothing; a run past position 63 ends it after
    // its code.
    WordBits w;
    w.put("100"), w.put("011"), w.put(0, 1), w.put(0, 12);
    BlockBench b(w);
    b.next();
    EXPECT_EQ(b.ctx().dct.type4BitPos, 7);
    EXPECT_EQ(std::vector<LONG>(b.samples, b.samples + 64),
              expectedSamples(b.ctx().dct.type4Quant, 0, {{2, 1}}));
    EXPECT_FALSE(b.flat);

    WordBits r;
    r.put("100"), r.put("000001"), r.put(63, 6), r.put(5, 8); // would land on position 64
    r.put("01"), r.put(3, 2), r.put("10");                    // next block: +3
    BlockBench e(r);
    e.next();
    EXPECT_EQ(e.ctx().dct.type4BitPos, 23);
    for (LONG s : e.samples) EXPECT_EQ(s, 0);
    EXPECT_TRUE(e.flat); // the code past the block stored nothing
    e.next();
    EXPECT_EQ(e.ctx().dct.dcPredY, 3);
}

TEST(Type4Frame, Yuy2BytesOfDcOnlyMacroblock) {
    WordBits w;
    w.put("1111110"), w.put(255, 8), w.put("10"); // Y0: 255 -> samples 127
    for (int i = 0; i < 3; ++i) w.put("100"), w.put("10");
    w.put("10"), w.put(2, 2), w.put("10");         // Cb: 2 -> sample 1
    w.put("11111110"), w.put(130, 8), w.put("10"); // Cr: 130 -> sample 65
    Decoder d(xrgb8888);
    Target t(16 * 2, 16);
    d.clip(0, 0, 16, 16);
    d.decode(framePayload(16, 16, 100, 2, w.bytes()), Variant::type4Yuy2, t);
    const BYTE* row = t.origin();
    EXPECT_EQ(row[0], 254);
    EXPECT_EQ(row[1], 2);
    EXPECT_EQ(row[2], 254);
    EXPECT_EQ(row[3], 130);
    EXPECT_TRUE(t.guardsIntact());
}

} // namespace
