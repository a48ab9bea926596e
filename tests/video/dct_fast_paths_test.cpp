// The DCT decoders' fast paths held bit for bit to plain forms over many random inputs: the
// inverse transform's zero-input shortcuts and low-block form, the type-4 lane tables and computed
// YUY2 clamp, the whole-word bit reads of both bitstreams, and the type-4 block decoder's table
// lookups.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "video/colour_tables.h"
#include "encoder/type4_encoder.h"
#include "tests/video/dct_test_support.h"
#include "video/dct/dct_toolkit.h"
#include "video/type3/type3_decoder.h"
#include "video/type4/type4_decoder.h"

namespace {

// A coefficient block with a random number of non-zero entries in random places, values drawn
// from small levels up to the whole 32-bit range, so that both the shortcuts and the wrapping
// arithmetic are exercised.
void randomBlock(std::mt19937& rng, LONG coeff[dctBlockSize]) {
    std::fill(coeff, coeff + dctBlockSize, 0);
    const int kind = static_cast<int>(rng() % 4);
    const int count = kind == 0 ? 1 : static_cast<int>(rng() % (kind == 3 ? 64 : 8)) + 1;
    for (int i = 0; i < count; ++i) {
        const int at = kind == 0 ? 0 : static_cast<int>(rng() % dctBlockSize);
        const auto value = static_cast<LONG>(rng());
        coeff[at] = kind == 2 ? value : (value % 4096) * 8192;
    }
}

TEST(DctFastPaths, InverseTransformShortcutsGiveThePlainNumbers) {
    std::mt19937 rng(41);
    LONG coeff[dctBlockSize];
    for (int round = 0; round < 20000; ++round) {
        randomBlock(rng, coeff);
        const int shift = round % 2 ? 17 : static_cast<int>(rng() % 32);
        LONG fast[16 * 8], plain[16 * 8];
        idctBlock(coeff, fast, 16, shift);
        idctBlockPlain(coeff, plain, 16, shift);
        for (int n = 0; n < 8; ++n)
            for (int m = 0; m < 8; ++m)
                ASSERT_EQ(fast[16 * n + m], plain[16 * n + m]) << round << ": " << n << "," << m;

        // The low-block form, on a block of the first three coefficients in bitstream order
        // (each zero, a level or any 32-bit value); it must not read the others.
        LONG low[dctBlockSize];
        std::fill(low, low + dctBlockSize, 0);
        for (int at : {0, 1, 8}) {
            const auto value = static_cast<LONG>(rng());
            low[at] = rng() % 3 == 0 ? 0 : (rng() % 2 ? value : (value % 4096) * 8192);
        }
        idctBlockPlain(low, plain, 16, shift);
        for (int at = 2; at < dctBlockSize; ++at)
            if (at != 8) low[at] = static_cast<LONG>(rng());
        idctLowBlock(low, fast, 16, shift);
        for (int n = 0; n < 8; ++n)
            for (int m = 0; m < 8; ++m)
                ASSERT_EQ(fast[16 * n + m], plain[16 * n + m]) << "low " << round << ": " << n;
    }
}

TEST(DctFastPaths, RowConversionsGiveThePlainPixels) {
    const PixelFormat formats[] = {{5, 5, 5, 10, 5, 0, 0x7FFF, 15},
                                   {5, 6, 5, 11, 5, 0, 0xFFFF, 16},
                                   {8, 8, 8, 16, 8, 0, 0xFFFFFF, 24}};
    std::mt19937 rng(7);
    for (const PixelFormat& format : formats) {
        for (LONG gamma : {0, 60, 100, 150, 400}) {
            buildColourTables(format, gamma);
            Type4LaneTables lanes;
            buildGammaLaneTables(lanes);
            for (int round = 0; round < 2000; ++round) {
                LONG luma[16], cb[8], cr[8];
                // Mostly samples near the clamp, some anywhere in the range a block can give.
                auto sample = [&] {
                    return rng() % 8 ? static_cast<LONG>(rng() % 600) - 300
                                     : static_cast<LONG>(rng() % 32768) - 16384;
                };
                for (LONG& s : luma) s = sample();
                for (int j = 0; j < 8; ++j) cb[j] = sample(), cr[j] = sample();
                BYTE fast[64], plain[64];
                type4Rgb32Row(lanes, luma, cb, cr, fast);
                type4Rgb32RowPlain(luma, cb, cr, plain);
                ASSERT_EQ(0, std::memcmp(fast, plain, 64)) << format.depth << " " << gamma;
                type4Rgb16Row(lanes, luma, cb, cr, fast);
                type4Rgb16RowPlain(luma, cb, cr, plain);
                ASSERT_EQ(0, std::memcmp(fast, plain, 32)) << format.depth << " " << gamma;
                type4Yuy2Row(luma, cb, cr, fast);
                type4Yuy2RowPlain(luma, cb, cr, plain);
                ASSERT_EQ(0, std::memcmp(fast, plain, 32));
            }
        }
    }
}

// One bit at a time, least significant first; zeros past the end.
struct PlainLsbBits {
    const std::vector<BYTE>& data;
    std::int64_t pos;
    std::uint32_t peek(int n) const {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            const std::int64_t p = pos + i;
            const std::uint32_t bit =
                p / 8 < std::int64_t(data.size()) ? (data[std::size_t(p / 8)] >> (p % 8)) & 1 : 0;
            v |= bit << i;
        }
        return v;
    }
    std::uint32_t read(int n) {
        const std::uint32_t v = peek(n);
        pos += n;
        return v;
    }
};

// The type-3 block token code read with the plain reader.
void plainType3Block(PlainLsbBits& bits, const LONG quant[64], LONG coeff[64]) {
    std::fill(coeff, coeff + 64, 0);
    auto product = [](LONG a, LONG b) {
        return static_cast<LONG>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
    };
    coeff[0] = product(static_cast<signed char>(bits.read(8)), quant[0]);
    auto store = [&](int k, LONG level) { coeff[zigzag[k]] = product(level, quant[zigzag[k]]); };
    for (int k = 1; k < 64;) {
        const std::uint32_t c = bits.peek(3);
        if ((c & 3) == 3) {
            const std::uint32_t field = bits.read(8) >> 2;
            store(k++, field == 63 ? LONG{static_cast<signed char>(bits.read(8))}
                                   : (field >= 32 ? LONG(field) - 64 : LONG(field)));
        } else if (c == 1 || c == 5) {
            const std::uint32_t n = bits.read(8) >> 3;
            if (n == 0) return;
            k += static_cast<int>(2 * n + (c == 5));
        } else {
            bits.read(3);
            if (c == 2 || c == 6) store(k, c == 2 ? 1 : -1);
            k += c == 4 ? 2 : 1;
        }
    }
}

TEST(DctFastPaths, Type3ReaderTakesWholeWordsAndGivesThePlainTokens) {
    std::mt19937 rng(5);
    LONG quant[64];
    buildType3Quant(quant, 60);
    for (int round = 0; round < 3000; ++round) {
        std::vector<BYTE> data(1 + rng() % 60);
        for (BYTE& b : data) b = static_cast<BYTE>(rng());
        const auto start = static_cast<std::ptrdiff_t>(rng() % data.size());
        Type3BitReader fast = startType3Reader(data.data(), std::ptrdiff_t(data.size()), start);
        PlainLsbBits plain{data, start * 8};
        for (int block = 0; block < 6; ++block) {
            LONG a[64], b[64];
            readType3Block(fast, quant, a);
            plainType3Block(plain, quant, b);
            ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << round << " block " << block;
            ASSERT_EQ(fast.next * 8 - fast.count, plain.pos) << round << " block " << block;
        }
    }
}

TEST(DctFastPaths, Type4PeeksGiveThePlainBits) {
    std::mt19937 rng(9);
    for (int round = 0; round < 3000; ++round) {
        std::vector<BYTE> data(rng() % 40);
        for (BYTE& b : data) b = static_cast<BYTE>(rng());
        const auto size = static_cast<std::int64_t>(data.size());
        for (std::int64_t pos = 0; pos < size * 8 + 72; pos += 1 + rng() % 5) {
            std::uint32_t plain = 0;
            for (int i = 0; i < 32; ++i) {
                // Bit p is bit 31 - p % 32 of little-endian word p / 32.
                const std::int64_t p = pos + i, byte = p / 32 * 4 + (31 - p % 32) / 8;
                const std::uint32_t bit =
                    byte < size ? (data[std::size_t(byte)] >> ((31 - p % 32) % 8)) & 1 : 0;
                plain = plain << 1 | bit;
            }
            ASSERT_EQ(peekType4Bits(data.data(), size, pos), plain) << round << " at " << pos;
        }
    }
}

// Bits most significant first from 32-bit little-endian words, one at a time; zeros past the end.
struct PlainMsbBits {
    const std::vector<BYTE>& data;
    std::int64_t pos = 0;
    std::uint32_t bit(std::int64_t p) const {
        const std::int64_t byte = p / 32 * 4 + (31 - p % 32) / 8;
        return byte < std::int64_t(data.size())
                   ? (data[std::size_t(byte)] >> ((31 - p % 32) % 8)) & 1
                   : 0;
    }
    bool startsWith(const char* code) const {
        for (int i = 0; code[i]; ++i)
            if (bit(pos + i) != std::uint32_t(code[i] - '0')) return false;
        return true;
    }
    std::uint32_t read(int n) {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i) v = v << 1 | bit(pos++);
        return v;
    }
};

// One type-4 block read code by code from the written code tables, then transformed by the
// plain inverse transform: its 64 samples.
void plainType4Block(PlainMsbBits& bits, bool chroma, const LONG quant[64], LONG& pred,
                     LONG samples[64]) {
    static const char* const lumaSizes[] = {"100",  "00",    "01",     "101",    "110",
                                            "1110", "11110", "111110", "1111110"};
    static const char* const chromaSizes[] = {"00",    "01",     "10",      "110",     "1110",
                                              "11110", "111110", "1111110", "11111110"};
    int size = 0;
    for (int s = 0; s < 9; ++s) {
        const char* code = (chroma ? chromaSizes : lumaSizes)[s];
        if (bits.startsWith(code)) {
            bits.pos += std::int64_t(std::strlen(code));
            size = s;
            break;
        }
    }
    if (size > 0) {
        const std::uint32_t m = bits.read(size);
        pred += LONG(m >> (size - 1) ? m : m - ((1u << size) - 1));
    }
    LONG coeff[64] = {};
    auto product = [](LONG a, LONG b) {
        return static_cast<LONG>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
    };
    coeff[0] = product(pred, quant[0]);
    bool anyAc = false;
    for (int k = 0;;) {
        int run = 0;
        LONG level = 0;
        if (bits.startsWith(type4EndOfBlock)) {
            bits.pos += 2;
            break;
        }
        if (bits.startsWith(type4Escape)) {
            bits.pos += 6;
            run = int(bits.read(6));
            const LONG field = LONG(bits.read(8));
            level = field == 0     ? LONG(bits.read(8))
                    : field == 128 ? LONG(bits.read(8)) - 256
                                   : (field < 128 ? field : field - 256);
        } else {
            const Type4RunLevelCode* found = nullptr;
            for (const Type4RunLevelCode& c : type4RunLevelCodes)
                if (bits.startsWith(c.bits)) found = &c;
            if (found == nullptr) break;
            bits.pos += std::int64_t(std::strlen(found->bits));
            run = found->run;
            level = bits.read(1) ? -found->level : found->level;
        }
        k += run + 1;
        if (k >= 64) break;
        anyAc = true;
        coeff[zigzag[k]] = product(level, quant[zigzag[k]]);
    }
    if (anyAc)
        idctBlockPlain(coeff, samples, 8, 17);
    else
        std::fill(samples, samples + 64, coeff[0] >> 17);
}

// Blocks of run/level codes, short ones (read two a lookup) half the time, often too many for
// the block so that a run passes position 63 at the first or the second code of a pair; each
// block's size-0 DC code for the component the reader expects, an end of block now and then.
std::vector<BYTE> type4CodeStream(std::mt19937& rng) {
    std::vector<std::uint32_t> words;
    std::uint64_t pending = 0;
    int held = 0;
    auto put = [&](const char* bits) {
        for (int i = 0; bits[i]; ++i) {
            pending = pending << 1 | std::uint64_t(bits[i] - '0');
            if (++held == 32) {
                words.push_back(std::uint32_t(pending));
                pending = 0;
                held = 0;
            }
        }
    };
    for (int block = 0; block < 30; ++block) {
        put(block % 6 < 4 ? "100" : "00");
        for (int c = int(rng() % (rng() % 3 ? 8 : 50)); c > 0; --c) {
            put(type4RunLevelCodes[rng() % (rng() % 2 ? 15 : type4RunLevelCodeCount)].bits);
            put(rng() % 2 ? "1" : "0");
        }
        if (rng() % 4) put(type4EndOfBlock);
    }
    std::vector<BYTE> data(words.size() * 4);
    for (std::size_t i = 0; i < words.size(); ++i)
        for (int b = 0; b < 4; ++b) data[4 * i + std::size_t(b)] = BYTE(words[i] >> (8 * b));
    return data;
}

TEST(DctFastPaths, Type4BlocksGiveThePlainSamples) {
    std::mt19937 rng(13);
    auto owner = std::make_unique<VideoState>();
    VideoState& ctx = *owner;
    for (int round = 0; round < 400; ++round) {
        // Random bytes, bytes mostly of one bits (long DC size codes and escapes), and blocks of
        // valid codes.
        std::vector<BYTE> data(8 + rng() % 200);
        for (BYTE& b : data) b = static_cast<BYTE>(round % 3 ? rng() : rng() | rng() | rng());
        if (round % 4 == 3) data = type4CodeStream(rng);
        setupType4Quant(ctx.dct.type4Quant, LONG(rng() % 108));
        ctx.frameDataEnd = data.data() + data.size();
        resetType4Frame(&ctx, data.data());
        PlainMsbBits plain{data};
        LONG preds[3] = {0, 0, 0};
        for (int block = 0; plain.pos < std::int64_t(data.size()) * 8; ++block) {
            const int component = block % 6 < 4 ? 0 : block % 6 - 3;
            LONG fast[64], expected[64];
            decodeType4Block(&ctx, component, fast, 8);
            plainType4Block(plain, component != 0, ctx.dct.type4Quant, preds[component], expected);
            ASSERT_EQ(0, std::memcmp(fast, expected, sizeof fast)) << round << " block " << block;
            if (plain.pos < std::int64_t(data.size()) * 8 + 64) {
                ASSERT_EQ(ctx.dct.type4BitPos, plain.pos) << round << " block " << block;
            }
            const LONG got[3] = {ctx.dct.dcPredY, ctx.dct.dcPredCb, ctx.dct.dcPredCr};
            ASSERT_EQ(got[component], preds[component]) << round << " block " << block;
        }
    }
}

// A picture with flat areas (whose blocks have no AC coefficients) beside detail.
YuvPicture patchyPicture(int width, int height, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> rgb(std::size_t(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int k = 0; k < 3; ++k) {
                const bool detail = ((x / 24 + y / 16 + k) % 3) == 0;
                rgb[(std::size_t(y) * width + x) * 3 + k] =
                    static_cast<std::uint8_t>(detail ? rng() : 40 + 60 * k + 20 * (x / 32));
            }
    return rgbToYuv420(rgb.data(), width, height);
}

// The frame loop in its plain form: every block decoded, every row converted.
void plainType4Frame(VideoState* ctx, const Bytes& payload, dcttest::Variant variant, BYTE* target,
                     LONG pitch) {
    const int pixelBytes = dcttest::pixelBytes(variant);
    ctx->frameDataEnd = payload.data() + payload.size();
    resetType4Frame(ctx, payload.data() + 8);
    LONG planes[384];
    for (LONG y = 0; y < ctx->height; y += 16) {
        for (LONG x = 0; x < ctx->width; x += 16) {
            for (int b = 0; b < 4; ++b)
                decodeType4Block(ctx, 0, planes + (b >> 1) * 128 + (b & 1) * 8, 16);
            decodeType4Block(ctx, 1, planes + 256, 8);
            decodeType4Block(ctx, 2, planes + 320, 8);
            for (int r = 0; r < 16; ++r) {
                BYTE* out = target + (y + r) * pitch + x * pixelBytes;
                const LONG *luma = planes + 16 * r, *cb = planes + 256 + 8 * (r >> 1),
                           *cr = planes + 320 + 8 * (r >> 1);
                if (variant == dcttest::Variant::type4Rgb32) type4Rgb32RowPlain(luma, cb, cr, out);
                if (variant == dcttest::Variant::type4Rgb16) type4Rgb16RowPlain(luma, cb, cr, out);
                if (variant == dcttest::Variant::type4Yuy2) type4Yuy2RowPlain(luma, cb, cr, out);
            }
        }
    }
}

TEST(DctFastPaths, Type4FramesCopyRowsOfFlatHalvesExactly) {
    using dcttest::Variant;
    constexpr int width = 96, height = 64;
    for (unsigned seed : {1u, 2u, 3u}) {
        for (int quality : {20, 75, 100}) {
            const Bytes payload = encodeType4Frame(patchyPicture(width, height, seed), quality);
            for (Variant v : {Variant::type4Rgb16, Variant::type4Rgb32, Variant::type4Yuy2}) {
                dcttest::Decoder decoder(dcttest::rgb565);
                decoder.clip(0, 0, width, height);
                // A gamma change between frames: the lane tables kept from the frame before
                // must follow it.
                for (LONG gamma : {100, 60}) {
                    refreshColourTables(gamma);
                    dcttest::Target fast(width * dcttest::pixelBytes(v), height);
                    decoder.decode(payload, v, fast);
                    dcttest::Target plain(fast.pitch, height);
                    // decode() left the context set up for this frame (size and quantiser).
                    plainType4Frame(decoder.ctx.get(), payload, v, plain.origin(), plain.pitch);
                    ASSERT_EQ(fast.bytes, plain.bytes) << seed << " q" << quality << " " << gamma;
                }
            }
        }
    }
}

} // namespace
