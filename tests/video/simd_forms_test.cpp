// The AVX2 forms held bit for bit to the plain forms over many random inputs, extreme values
// included, and the plain forms run on this machine too by turning the AVX2 forms off.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <vector>

#include "video/colour_tables.h"
#include "tests/video/dct_test_support.h"
#include "tests/video/dor_test_support.h"
#include "video/dct/colour_rows.h"
#include "video/dct/dct_toolkit.h"
#include "video/dct/simd_switch.h"

namespace {

// Sets the vector level in use for the life of the object.
struct SimdLevelInUse {
    SimdLevel was = simdLevel();
    explicit SimdLevelInUse(SimdLevel level) { setSimdLevel(level); }
    ~SimdLevelInUse() { setSimdLevel(was); }
};

// A coefficient value: small levels times a quantiser step, anything in 32 bits, or one next
// to the ends of the range where the integer steps wrap.
LONG randomCoefficient(std::mt19937& rng) {
    switch (rng() % 4) {
    case 0:
        return (static_cast<LONG>(rng() % 4096) - 2048) * 8192;
    case 1:
        return static_cast<LONG>(rng());
    case 2:
        return rng() % 2 ? INT_MAX - static_cast<LONG>(rng() % 4)
                         : INT_MIN + static_cast<LONG>(rng() % 4);
    default:
        return static_cast<LONG>(rng() % 64) - 32;
    }
}

// Blocks with only a DC value, a few entries, odd lines only, even lines only, or all 64.
void randomBlock(std::mt19937& rng, LONG coeff[dctBlockSize]) {
    std::fill(coeff, coeff + dctBlockSize, 0);
    const int kind = static_cast<int>(rng() % 5);
    if (kind == 0) {
        coeff[0] = randomCoefficient(rng);
        return;
    }
    const int count = kind == 4 ? 64 : static_cast<int>(rng() % 10) + 1;
    for (int i = 0; i < count; ++i) {
        int at = kind == 4 ? i : static_cast<int>(rng() % dctBlockSize);
        if (kind == 2) at |= 1;  // odd vertical frequencies only
        if (kind == 3) at &= ~9; // even frequencies in both directions
        coeff[at] = randomCoefficient(rng);
    }
}

using IdctForm = void (*)(const LONG*, LONG*, int, int);

void expectPlainTransform(IdctForm form, const char* name) {
    std::mt19937 rng(2024);
    LONG coeff[dctBlockSize];
    for (int round = 0; round < 30000; ++round) {
        randomBlock(rng, coeff);
        const int shift = round % 3 ? static_cast<int>(rng() % 32) : (round % 2 ? 17 : 0);
        const int stride = round % 2 ? 16 : 9;
        LONG fast[16 * 8], plain[16 * 8];
        std::fill(fast, fast + 128, 0x5A5A5A5A);
        std::fill(plain, plain + 128, 0x5A5A5A5A);
        form(coeff, fast, stride, shift);
        idctBlockPlain(coeff, plain, stride, shift);
        ASSERT_EQ(0, std::memcmp(fast, plain, sizeof fast)) << name << " round " << round;
    }
}

TEST(SimdForms, EveryTransformFormGivesThePlainNumbers) {
    expectPlainTransform(idctBlockScalar, "scalar");
    expectPlainTransform(idctBlock, "dispatched");
#if QZ_X86_SIMD
    if (simdAvailable() >= SimdLevel::avx2) expectPlainTransform(idctBlockAvx2, "avx2");
    if (simdAvailable() >= SimdLevel::avx512) expectPlainTransform(idctBlockAvx512, "avx512");
#endif
    SimdLevelInUse plain(SimdLevel::none);
    EXPECT_FALSE(simdEnabled());
    expectPlainTransform(idctBlock, "dispatched, vector forms off");
}

using IdctPairForm = void (*)(const LONG*, const LONG*, LONG*, LONG*, int, int, int);

// Rows 8, 9, 16 or 32 values apart. When both blocks' rows leave room, B's rows sit between A's
// (columns 8-15), so that a row stored at the other block's place or stride shows.
void expectPlainPairs(IdctPairForm form, const char* name) {
    std::mt19937 rng(2025);
    const int strides[] = {8, 9, 16, 32};
    LONG coeff[2][dctBlockSize];
    for (int round = 0; round < 20000; ++round) {
        randomBlock(rng, coeff[0]);
        if (round % 4 == 0)
            std::memcpy(coeff[1], coeff[0], sizeof coeff[0]);
        else
            randomBlock(rng, coeff[1]);
        const int shift = round % 3 ? static_cast<int>(rng() % 32) : 17;
        const int strideA = strides[rng() % 4], strideB = strides[rng() % 4];
        const int placeB = strideA >= 16 && strideB >= 16 ? 8 : 8 * 32;
        LONG fast[2 * 8 * 32], plain[2 * 8 * 32];
        std::fill(std::begin(fast), std::end(fast), 0x5A5A5A5A);
        std::fill(std::begin(plain), std::end(plain), 0x5A5A5A5A);
        form(coeff[0], coeff[1], fast, fast + placeB, strideA, strideB, shift);
        idctBlockPlain(coeff[0], plain, strideA, shift);
        idctBlockPlain(coeff[1], plain + placeB, strideB, shift);
        ASSERT_EQ(0, std::memcmp(fast, plain, sizeof fast)) << name << " round " << round;
    }
}

TEST(SimdForms, EveryPairFormGivesThePlainNumbers) {
#if QZ_X86_SIMD
    if (simdAvailable() >= SimdLevel::avx512) expectPlainPairs(idctBlockPairAvx512, "avx512");
#endif
    for (SimdLevel level : {SimdLevel::none, SimdLevel::avx2, SimdLevel::avx512, simdAvailable()}) {
        SimdLevelInUse use(level);
        SCOPED_TRACE(static_cast<int>(level));
        expectPlainPairs(idctBlockPair, "dispatched");
    }
}

// The vector levels this processor has, beyond none.
std::vector<SimdLevel> vectorLevels() {
    std::vector<SimdLevel> levels;
    for (SimdLevel l : {SimdLevel::avx2, SimdLevel::avx512, SimdLevel::avx512vbmi})
        if (l <= simdAvailable()) levels.push_back(l);
    return levels;
}

const PixelFormat formats[] = {dcttest::rgb555, dcttest::rgb565, dcttest::xrgb8888};

#if QZ_X86_SIMD
// A sample: mostly near the ranges the tables cover, some anywhere in 32 bits.
LONG randomSample(std::mt19937& rng) {
    switch (rng() % 4) {
    case 0:
        return static_cast<LONG>(rng());
    case 1:
        return (static_cast<LONG>(rng() % 512) - 256) * 65536 + static_cast<LONG>(rng() % 65536);
    default:
        return static_cast<LONG>(rng() % 700) - 300;
    }
}

// The colour tables of a format and gamma, and the lane tables made from them.
struct LaneTablesOf {
    GammaLaneTables lanes;
    ByteLaneTables bytes;
    LaneTablesOf(const PixelFormat& format, LONG gamma) {
        buildColourTables(format, gamma);
        buildGammaLaneTables(lanes);
        buildByteLaneTables(lanes, bytes);
    }
};

TEST(SimdForms, RowConversionsGiveThePlainPixels) {
    std::mt19937 rng(17);
    for (const PixelFormat& format : formats) {
        for (LONG gamma : {40, 100, 250}) {
            const LaneTablesOf tables(format, gamma);
            const auto& [lanes, bytes] = tables;
            // The type-3 luma entries of every display format here are computed.
            Type3Colour type3;
            buildType3Colour(type3);
            ASSERT_EQ(format.depth <= 16 ? 2 : 4, type3.luma.pixelBytes) << format.depth;
            for (int round = 0; round < 300; ++round) {
                LONG luma[256], cb[64], cr[64];
                for (LONG& s : luma) s = randomSample(rng);
                for (int j = 0; j < 64; ++j) cb[j] = randomSample(rng), cr[j] = randomSample(rng);
                // Type 3: the sums of the three YUV table entries the samples' bits 17 to 23 pick.
                for (int pixelBytes : {2, 4}) {
                    BYTE plain[16 * 64] = {}, fast[16 * 64] = {};
                    for (int r = 0; r < 16; ++r)
                        for (int c = 0; c < 16; ++c) {
                            auto index = [](LONG s) { return (s >> 17) & 127; };
                            const std::uint32_t p =
                                static_cast<std::uint32_t>(yTable[index(luma[16 * r + c])]) +
                                static_cast<std::uint32_t>(uTable[index(cb[8 * (r / 2) + c / 2])]) +
                                static_cast<std::uint32_t>(vTable[index(cr[8 * (r / 2) + c / 2])]);
                            std::memcpy(plain + 64 * r + c * pixelBytes, &p, pixelBytes);
                        }
                    type3MacroblockAvx2(luma, cb, cr, fast, 64, pixelBytes);
                    ASSERT_EQ(0, std::memcmp(fast, plain, sizeof plain)) << "type 3 avx2";
                    if (type3.luma.pixelBytes == pixelBytes) {
                        std::memset(fast, 0, sizeof fast);
                        type3MacroblockComputedAvx2(type3, luma, cb, cr, fast, 64, pixelBytes);
                        ASSERT_EQ(0, std::memcmp(fast, plain, sizeof plain)) << "type 3 computed";
                    }
                    if (simdAvailable() >= SimdLevel::avx512) {
                        std::memset(fast, 0, sizeof fast);
                        type3MacroblockAvx512(luma, cb, cr, fast, 64, pixelBytes);
                        ASSERT_EQ(0, std::memcmp(fast, plain, sizeof plain)) << "type 3 avx512";
                    }
                }
                // Type 4: every row, and whole macroblocks with rows copied from the one above.
                for (int pixelBytes : {2, 4}) {
                    // own: every row converted; plain: the rows in copied taken from above.
                    BYTE own[16 * 64] = {}, plain[16 * 64] = {}, fast[16 * 64] = {};
                    const unsigned copied = static_cast<unsigned>(rng()) & 0xFEFE;
                    for (int r = 0; r < 16; ++r) {
                        const LONG *y = luma + 16 * r, *u = cb + 8 * (r / 2), *v = cr + 8 * (r / 2);
                        BYTE* out = own + 64 * r;
                        if (pixelBytes == 4) {
                            type4Rgb32RowPlain(y, u, v, out);
                            type4Rgb32RowAvx2(lanes, y, u, v, fast + 64 * r);
                        } else {
                            type4Rgb16RowPlain(y, u, v, out);
                            type4Rgb16RowAvx2(lanes, y, u, v, fast + 64 * r);
                        }
                        ASSERT_EQ(0, std::memcmp(fast + 64 * r, out, 16 * pixelBytes))
                            << "type 4 avx2";
                        std::memcpy(plain + 64 * r, copied & (1u << r) ? plain + 64 * (r - 1) : out,
                                    64);
                    }
                    if (simdAvailable() >= SimdLevel::avx512) {
                        std::memset(fast, 0, sizeof fast);
                        type4MacroblockAvx512(lanes, luma, cb, cr, fast, 64, pixelBytes, copied);
                        for (int r = 0; r < 16; ++r)
                            ASSERT_EQ(0,
                                      std::memcmp(fast + 64 * r, plain + 64 * r, 16 * pixelBytes))
                                << "type 4 avx512, row " << r;
                    }
                    if (simdAvailable() >= SimdLevel::avx512vbmi) {
                        ASSERT_TRUE(byteFormsUsable());
                        std::memset(fast, 0, sizeof fast);
                        type4MacroblockVbmi(bytes, luma, cb, cr, fast, 64, pixelBytes, 3);
                        for (int r = 0; r < 16; ++r)
                            ASSERT_EQ(0, std::memcmp(fast + 64 * r, own + 64 * r, 16 * pixelBytes))
                                << "type 4 byte permutes, row " << r;
                    }
                    if (bytes.windowed) {
                        // One half at a time: the other half's rows stay untouched.
                        for (unsigned halves : {1u, 2u}) {
                            std::memset(fast, 0, sizeof fast);
                            type4MacroblockWindowAvx2(bytes, luma, cb, cr, fast, 64, pixelBytes,
                                                      halves);
                            for (int r = 0; r < 16; ++r) {
                                const bool written = (halves >> (r / 8)) & 1;
                                const BYTE zeros[64] = {};
                                ASSERT_EQ(0,
                                          std::memcmp(fast + 64 * r, written ? own + 64 * r : zeros,
                                                      16 * pixelBytes))
                                    << "type 4 windows (avx2), row " << r;
                            }
                        }
                    }
                }
            }
        }
    }
}

// Every luma, Cb and Cr sample triple (0..127) through the byte-permute form, at gammas that
// give the windowed tables (100 and above) and one that does not, and through the AVX2 form of
// the windows: pixels meet the window's ends.
TEST(SimdForms, BytePermutesGiveThePlainPixelOfEverySampleTriple) {
    const bool vbmi = simdAvailable() >= SimdLevel::avx512vbmi;
    for (const PixelFormat& format : formats) {
        for (LONG gamma : {70, 100, 250}) {
            const LaneTablesOf tables(format, gamma);
            const auto& [lanes, bytes] = tables;
            ASSERT_EQ(gamma >= 100, bytes.windowed);
            // At gamma 100 the AVX2 windows compute the pixels' bytes: the checks below must
            // take that way too.
            const bool wide = format.depth > 16;
            ASSERT_EQ(gamma == 100 && wide, bytes.oddLines);
            ASSERT_EQ(gamma == 100 && !wide, bytes.ramps);
            // Macroblock m holds the chroma pairs 64 (m / 32) to 64 (m / 32) + 63, each over
            // its four pixels with the lumas 4 (m % 32) to 4 (m % 32) + 3.
            for (int m = 0; m < 128 * 128 / 64 * 32; ++m) {
                LONG luma[256], cb[64], cr[64];
                for (int j = 0; j < 64; ++j)
                    cb[j] = (64 * (m / 32) + j) / 128, cr[j] = j + 64 * (m / 32) % 128;
                for (int r = 0; r < 16; ++r)
                    for (int c = 0; c < 16; ++c)
                        luma[16 * r + c] = 4 * (m % 32) + 2 * (r % 2) + c % 2;
                for (int pixelBytes : {2, 4}) {
                    BYTE plain[16 * 64];
                    for (int r = 0; r < 16; ++r) {
                        const LONG *y = luma + 16 * r, *u = cb + 8 * (r / 2), *v = cr + 8 * (r / 2);
                        (pixelBytes == 4 ? type4Rgb32RowPlain : type4Rgb16RowPlain)(y, u, v,
                                                                                    plain + 64 * r);
                    }
                    for (int form = 0; form < 2; ++form) {
                        if (form == 0 ? !vbmi : !bytes.windowed) continue;
                        BYTE fast[16 * 64];
                        (form == 0 ? type4MacroblockVbmi : type4MacroblockWindowAvx2)(
                            bytes, luma, cb, cr, fast, 64, pixelBytes, 3);
                        for (int r = 0; r < 16; ++r)
                            ASSERT_EQ(0,
                                      std::memcmp(fast + 64 * r, plain + 64 * r, 16 * pixelBytes))
                                << (form == 0 ? "byte permutes" : "windows (avx2)") << ", gamma "
                                << gamma << ", macroblock " << m << ", row " << r;
                    }
                }
            }
        }
    }
}
#endif

// Random pictures of any bytes converted through random clip boxes (odd edges included) at
// every level.
TEST(SimdForms, DorPictureConversionGivesThePlainPixels) {
    std::mt19937 rng(23);
    for (const PixelFormat& format : formats) {
        dortest::Decoder decoder(format);
        // Wide enough for the 128-pixel steps of the byte-permute form.
        const int width = 300, height = 40, pixelBytes = decoder.pixelBytes();
        std::vector<BYTE> picture(std::size_t(width) * height * 2);
        for (int round = 0; round < 60; ++round) {
            for (BYTE& b : picture) b = static_cast<BYTE>(rng() % 3 ? rng() % 128 : rng());
            decoder.ctx->dor.width = width;
            decoder.ctx->clipLeft = static_cast<LONG>(rng() % 40) - 4;
            decoder.ctx->clipRight = static_cast<LONG>(rng() % 280) + 30;
            decoder.ctx->clipTop = static_cast<LONG>(rng() % 10);
            decoder.ctx->clipBottom = static_cast<LONG>(rng() % 40) + 5;
            auto convert = [&](SimdLevel level) {
                SimdLevelInUse use(level);
                dcttest::Target target(width * pixelBytes, height);
                convertDorPicture(decoder.ctx.get(), picture.data(), width, height, target.origin(),
                                  target.pitch, pixelBytes);
                return target.bytes;
            };
            const auto plain = convert(SimdLevel::none);
            for (SimdLevel level : vectorLevels())
                ASSERT_EQ(convert(level), plain) << int(level) << " round " << round;
        }
        decoder.ctx->dor.width = 0;
    }
}

// A payload of random bytes after a header of the given size: a stream of wild codes, which
// gives coefficients and samples of any size.
Bytes randomPayload(std::mt19937& rng, int width, int height, std::size_t bytes) {
    Bytes payload(8 + bytes);
    for (BYTE& b : payload) b = static_cast<BYTE>(rng());
    payload[0] = static_cast<BYTE>(width), payload[1] = static_cast<BYTE>(width >> 8);
    payload[2] = static_cast<BYTE>(height), payload[3] = static_cast<BYTE>(height >> 8);
    return payload;
}

TEST(SimdForms, DctFramesOfRandomBytesDecodeAsWithThePlainForms) {
    using dcttest::Variant;
    std::mt19937 rng(31);
    for (int round = 0; round < 40; ++round) {
        const int width = 8 + static_cast<int>(rng() % 90),
                  height = 8 + static_cast<int>(rng() % 50);
        const Bytes payload = randomPayload(rng, width, height, 200 + rng() % 3000);
        const PixelFormat& format = formats[round % 3];
        for (Variant v : {Variant::type3Rgb16, Variant::type3Rgb32, Variant::type4Rgb16,
                          Variant::type4Rgb32, Variant::type4Yuy2}) {
            auto decode = [&](SimdLevel level) {
                SimdLevelInUse use(level);
                dcttest::Decoder decoder(format);
                const LONG pitch = (width + 16) * dcttest::pixelBytes(v);
                dcttest::Target target(pitch, height + 16);
                decoder.clip(1, 2, width - 1, height);
                decoder.decode(payload, v, target);
                return target.bytes;
            };
            const auto plain = decode(SimdLevel::none);
            for (SimdLevel level : vectorLevels())
                ASSERT_EQ(decode(level), plain) << "round " << round << " variant " << int(v);
        }
    }
}

TEST(SimdForms, DorFramesOfRandomBytesDecodeAsWithThePlainForms) {
    std::mt19937 rng(37);
    for (int round = 0; round < 30; ++round) {
        const int width = 16 * (1 + static_cast<int>(rng() % 6));
        const int height = 16 * (1 + static_cast<int>(rng() % 4));
        Bytes frames[3];
        for (Bytes& f : frames) {
            f = Bytes(dorHeaderBytes + 100 + rng() % 1500);
            for (BYTE& b : f) b = static_cast<BYTE>(rng());
            f[8] = static_cast<BYTE>(width), f[9] = 0, f[10] = static_cast<BYTE>(height), f[11] = 0;
        }
        auto decode = [&](SimdLevel level) {
            SimdLevelInUse use(level);
            dortest::Decoder decoder(round % 2 ? dcttest::rgb565 : dcttest::xrgb8888);
            dcttest::Target target(width * decoder.pixelBytes(), height);
            std::vector<std::uint8_t> shown; // every target and picture in turn
            const LONG types[3] = {5, 6, 7};
            for (int k = 0; k < 3; ++k) {
                decoder.decode(frames[k], types[k], &target);
                shown.insert(shown.end(), target.bytes.begin(), target.bytes.end());
                // The pictures too: their last row is never shown.
                const std::size_t bytes = std::size_t(width) * height * 2;
                const VideoState& ctx = *decoder.ctx;
                if (ctx.dor.reference == nullptr) continue;
                shown.insert(shown.end(), ctx.dor.reference, ctx.dor.reference + bytes);
                shown.insert(shown.end(), ctx.dor.nonRef, ctx.dor.nonRef + bytes);
            }
            return shown;
        };
        const auto plain = decode(SimdLevel::none);
        for (SimdLevel level : vectorLevels()) ASSERT_EQ(decode(level), plain) << "round " << round;
    }
}

} // namespace
