// The DOR decoder's fast paths held to plain forms: the bit reader against a bit-by-bit reader
// over random and truncated streams, the predicted copies and whole-macroblock prediction
// against the clamped copies for every vector at and beyond every edge of the picture, and
// whole frames against a decoder built from the plain pieces.
#include "tests/video/dor_test_support.h"

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "video/dct/dct_toolkit.h"
#include "video/dct/simd_switch.h"
#include "encoder/dor_encoder.h"
#include "video/dor/dor_macroblock.h"
#include "video/dsp_table.h"

namespace {

// The bit reader as the stream defines it: bit P is bit 15 - P % 16 of little-endian word
// P / 16, zeros past the data; the context's reader after P bits holds 16 to 31 bits (32 only
// at the start) up to a word boundary.
struct PlainReader {
    const Bytes& data;
    std::size_t position = 0;

    int bit(std::size_t p) const {
        const std::size_t byte = p / 16 * 2 + (p % 16 < 8 ? 1 : 0);
        return byte < data.size() ? (data[byte] >> (7 - p % 8)) & 1 : 0;
    }
    std::uint32_t peek(int n) const {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i) v = v * 2 + static_cast<std::uint32_t>(bit(position + i));
        return v;
    }
    std::uint32_t take(int n) {
        const std::uint32_t v = peek(n);
        position += static_cast<std::size_t>(n);
        return v;
    }
    bool match(const std::string& bits) const {
        for (std::size_t i = 0; i < bits.size(); ++i)
            if (bit(position + i) != bits[i] - '0') return false;
        return true;
    }
    void expectContext(const VideoState& ctx) const {
        const int count = position == 0 ? 32 : position % 16 == 0 ? 16 : 32 - position % 16;
        const std::size_t loaded = (position + static_cast<std::size_t>(count)) / 16 * 2;
        ASSERT_EQ(ctx.dor.bitCount, count) << position;
        ASSERT_EQ(ctx.dor.bitWindow, count == 32 ? peek(32) : peek(count) << (32 - count));
        ASSERT_EQ(ctx.dor.nextWord, data.data() + std::min(loaded, data.size())) << position;
    }

    LONG smallValue() {
        if (take(1) == 0) return 0;
        const auto code = static_cast<LONG>(take(5));
        return code & 16 ? (code & 15) - 16 : (code & 15) + 1;
    }
    // Block coefficients with the decoder's stops: bits that begin no code end the block after
    // the zeros of its table prefix; a run past position 63 ends it after the code.
    int coefficients(const LONG* dequant, LONG* coeff) {
        std::fill(coeff, coeff + dctBlockSize, 0);
        const auto dc = static_cast<std::int8_t>(take(8));
        coeff[0] = static_cast<LONG>(static_cast<std::uint32_t>(dc) *
                                     static_cast<std::uint32_t>(dequant[0]));
        int p = 1;
        for (;;) {
            int run = 0, level = 0;
            if (match("10")) {
                take(2);
                return p;
            }
            if (match("000001")) {
                take(6);
                const std::uint32_t field = take(16);
                run = static_cast<int>(field & 63);
                level = static_cast<std::int16_t>(field & 0xFFC0) >> 6;
            } else if (!code(run, level)) {
                if (peek(9) == 0)
                    take(9);
                else if (peek(6) == 0)
                    take(6);
                return p;
            }
            p += run;
            if (p >= dctBlockSize) return p;
            coeff[zigzag[p]] = static_cast<LONG>(static_cast<std::uint32_t>(level) *
                                                 static_cast<std::uint32_t>(dequant[zigzag[p]]));
            ++p;
        }
    }
    bool code(int& run, int& level) {
        const DorCoefficientCode* codes = dorCoefficientCodes();
        for (int c = 0; c < dorCoefficientCodeCount; ++c)
            for (int sign = 0; sign < 2; ++sign)
                if (match(std::string(codes[c].bits) + char('0' + sign))) {
                    take(static_cast<int>(std::strlen(codes[c].bits)) + 1);
                    run = codes[c].run;
                    level = sign ? -codes[c].level : codes[c].level;
                    return true;
                }
        return false;
    }
};

// Random bytes, runs of zeros (long codes, escapes and bits that begin no code) or of ones
// (all blocks predicted), and valid blocks.
Bytes randomStream(std::mt19937& rng) {
    Bytes data(rng() % 48);
    const int kind = static_cast<int>(rng() % 4);
    for (BYTE& b : data) {
        const BYTE r = static_cast<BYTE>(rng());
        b = kind == 1 ? static_cast<BYTE>(r & rng() & rng()) : kind == 2 ? BYTE(r | rng()) : r;
    }
    if (kind == 3) {
        DorBitWriter bits;
        const DorCoefficientCode* codes = dorCoefficientCodes();
        for (int i = 0; i < 12; ++i) {
            bits.put(rng() & 0xFF, 8);
            // Often more codes than a block holds, short ones (read two a lookup) half the time.
            for (int c = static_cast<int>(rng() % (rng() % 3 ? 6 : 50)); c > 0; --c) {
                bits.put(codes[rng() % (rng() % 2 ? 15 : dorCoefficientCodeCount)].bits);
                bits.put(rng() & 1, 1);
            }
            bits.put(dorEndOfBlock);
        }
        data = bits.bytes();
        data.resize(rng() % (data.size() + 1)); // truncated anywhere, odd sizes too
    }
    return data;
}

TEST(DorFastPaths, BitReaderMatchesAPlainReaderOnRandomStreams) {
    std::mt19937 rng(2027);
    for (int round = 0; round < 3000; ++round) {
        const Bytes data = randomStream(rng);
        auto ctx = std::make_unique<VideoState>();
        ctx->frameDataEnd = data.data() + data.size();
        const LONG q = static_cast<LONG>(rng() % 256) - 128;
        startDorFrame(ctx.get(), data.data(), q);
        PlainReader plain{data};
        ASSERT_NO_FATAL_FAILURE(plain.expectContext(*ctx));
        for (int step = 0; step < 40; ++step) {
            const unsigned op = rng() % 4;
            if (op == 0) {
                const int n = 1 + static_cast<int>(rng() % 16);
                skipDorBits(ctx.get(), n);
                plain.take(n);
            } else if (op == 1) {
                ASSERT_EQ(readDorSmallValue(ctx.get()), plain.smallValue()) << round;
            } else {
                LONG expected[dctBlockSize];
                const int end = plain.coefficients(ctx->dor.dequant, expected);
                ASSERT_EQ(readDorCoefficients(ctx.get()), end) << round << " step " << step;
                ASSERT_EQ(0, std::memcmp(ctx->dor.coeff, expected, sizeof expected)) << round;
            }
            ASSERT_NO_FATAL_FAILURE(plain.expectContext(*ctx)) << round << " step " << step;
        }
    }
}

// A picture of random bytes with guard bytes around it.
struct GuardedPicture {
    static constexpr std::size_t guard = 64;
    Bytes bytes;
    DorPicture picture;

    GuardedPicture(LONG width, LONG height, std::mt19937& rng)
        : bytes(2 * guard + std::size_t(width) * height * 2) {
        for (BYTE& b : bytes) b = static_cast<BYTE>(rng());
        picture = {bytes.data() + guard, width, height};
    }
};

TEST(DorFastPaths, BlockCopiesMatchTheClampedCopiesAtAndBeyondEveryEdge) {
    std::mt19937 rng(5);
    for (auto [width, height] : {std::pair<LONG, LONG>{48, 32}, {16, 16}, {64, 48}}) {
        const GuardedPicture ref(width, height, rng);
        for (LONG y = 0; y < height; y += 16)
            for (LONG x = 0; x < width; x += 16)
                for (LONG dy = -16; dy <= 16; ++dy)
                    for (LONG dx = -16; dx <= 16; ++dx) {
                        const LONG v = static_cast<LONG>(rng() % 33) - 16;
                        LONG fast[128], plain[128];
                        for (int k = 0; k < 4; ++k) {
                            copyDorLuma(ref.picture, k, x, y, dx, dy, v, fast);
                            copyDorLumaClamped(ref.picture, k, x, y, dx, dy, v, plain);
                            for (int i = 0; i < 8; ++i)
                                ASSERT_EQ(0, std::memcmp(fast + 16 * i, plain + 16 * i, 32))
                                    << x << "," << y << " " << dx << "," << dy << " k " << k;
                        }
                        for (int byte = 0; byte < 2; ++byte) {
                            copyDorChroma(ref.picture, byte, x, y, dx, dy, v, fast);
                            copyDorChromaClamped(ref.picture, byte, x, y, dx, dy, v, plain);
                            ASSERT_EQ(0, std::memcmp(fast, plain, 64 * sizeof(LONG)))
                                << x << "," << y << " " << dx << "," << dy << " byte " << byte;
                        }
                    }
    }
}

std::vector<SimdLevel> everyLevel() {
    std::vector<SimdLevel> levels{SimdLevel::none};
    if (simdAvailable() >= SimdLevel::avx2) levels.push_back(SimdLevel::avx2);
    return levels;
}

TEST(DorFastPaths, WholeMacroblockPredictionMatchesTheCopiesAndTheWriter) {
    std::mt19937 rng(11);
    const LONG width = 64, height = 48;
    const GuardedPicture ref(width, height, rng);
    for (SimdLevel level : everyLevel())
        for (LONG y = 0; y < height; y += 16)
            for (LONG x = 0; x < width; x += 16)
                for (LONG dy = -16; dy <= 16; ++dy)
                    for (LONG dx = -16; dx <= 16; ++dx) {
                        DorMotion m{dx, dy, {}};
                        for (LONG& v : m.offsets) v = static_cast<LONG>(rng() % 33) - 16;
                        LONG luma[256], u[64], v[64];
                        for (int k = 0; k < 4; ++k)
                            copyDorLumaClamped(ref.picture, k, x, y, dx, dy, m.offsets[k],
                                               luma + (k >> 1) * 128 + (k & 1) * 8);
                        copyDorChromaClamped(ref.picture, 1, x, y, dx, dy, m.offsets[4], u);
                        copyDorChromaClamped(ref.picture, 0, x, y, dx, dy, m.offsets[5], v);
                        // Output rows wider than the macroblock: nothing beside it is written.
                        const std::ptrdiff_t stride = 40;
                        Bytes plain(16 * stride, 0xA5), fast(16 * stride, 0xA5);
                        writeDorMacroblock(luma, u, v, plain.data() + 4, stride);
                        const bool inside = x + dx >= 0 && x + dx + 16 <= width && y + dy >= 0 &&
                                            y + dy + 16 <= height;
                        ASSERT_EQ(predictDorMacroblock(ref.picture, x, y, m, fast.data() + 4,
                                                       stride, videoDspAt(level)),
                                  inside);
                        if (inside)
                            ASSERT_EQ(fast, plain) << x << "," << y << " " << dx << "," << dy;
                        else
                            ASSERT_EQ(fast, Bytes(16 * stride, 0xA5));
                    }
}

using dortest::Decoder;

// The frame decoder built from the plain pieces, one call at a time through the context: its
// reader, block coefficients, flat block or transform, the clamped copies and the plain writer.
// Frames are whole macroblocks, payloads at least the header.
struct PlainFrames {
    LONG width, height;
    Bytes reference, decoded, nonReference;

    PlainFrames(LONG w, LONG h)
        : width(w), height(h), reference(std::size_t(w) * h * 2), decoded(reference.size()),
          nonReference(reference.size()) {}

    const Bytes& decode(VideoState* ctx, const Bytes& payload, LONG type) {
        ctx->frameDataEnd = payload.data() + payload.size();
        startDorFrame(ctx, payload.data() + dorHeaderBytes, static_cast<std::int8_t>(payload[13]));
        Bytes& picture = type == 7 ? nonReference : decoded;
        const DorPicture ref{reference.data(), width, height};
        LONG luma[256], u[64], v[64];
        for (LONG y = 0; y < height; y += 16)
            for (LONG x = 0; x < width; x += 16) {
                unsigned predicted = 0;
                LONG dx = 0, dy = 0;
                if (type != 5) {
                    const std::uint32_t window = ctx->dor.bitWindow;
                    if (window >> 31)
                        skipDorBits(ctx, 1), predicted = 0x3F;
                    else if (window >> 30)
                        skipDorBits(ctx, 8), predicted = (window >> 24) & 0x3F;
                    else
                        skipDorBits(ctx, 2);
                    if (window >> 30) dx = readDorSmallValue(ctx), dy = readDorSmallValue(ctx);
                }
                for (int k = 0; k < 6; ++k) {
                    LONG* dest = k < 4 ? luma + (k >> 1) * 128 + (k & 1) * 8 : k == 4 ? u : v;
                    if (!(predicted & (1u << k)))
                        storeDorBlock(ctx, dest, k < 4 ? 16 : 8, readDorCoefficients(ctx) == 1);
                    else if (k < 4)
                        copyDorLumaClamped(ref, k, x, y, dx, dy, readDorSmallValue(ctx), dest);
                    else
                        copyDorChromaClamped(ref, 5 - k, x, y, dx, dy, readDorSmallValue(ctx),
                                             dest);
                }
                writeDorMacroblock(luma, u, v, picture.data() + (y * width + x) * 2, width * 2);
            }
        if (type != 7) std::swap(reference, decoded);
        return type == 7 ? nonReference : reference;
    }
};

TEST(DorFastPaths, FramesMatchAPlainFrameDecoder) {
    std::mt19937 rng(23);
    for (int round = 0; round < 60; ++round) {
        const LONG width = 16 * (1 + static_cast<LONG>(rng() % 7));
        const LONG height = 16 * (1 + static_cast<LONG>(rng() % 5));
        std::vector<std::pair<Bytes, LONG>> frames;
        if (round % 2) { // encoded frames, then cut short
            DorEncoder encoder({.quantiser = 1 + static_cast<int>(rng() % 9)});
            YuvPicture picture = makeYuvPicture(width, height);
            for (int f = 0; f < 4; ++f) {
                // Noise, or one value a plane: flat blocks and macroblocks.
                const bool flat = round % 4 == 1;
                for (auto* plane : {&picture.y, &picture.cb, &picture.cr}) {
                    const unsigned level = rng() % 256;
                    for (std::size_t i = 0; i < plane->size(); ++i)
                        (*plane)[i] =
                            static_cast<std::uint8_t>(flat ? level : f * 40 + i % 61 + rng() % 16);
                }
                const auto kind = f == 0   ? DorFrameKind::key
                                  : f == 3 ? DorFrameKind::nonReference
                                           : DorFrameKind::motion;
                frames.emplace_back(encoder.encode(picture, kind), dorFrameType(kind));
            }
            Bytes& cut = frames[1 + rng() % 3].first;
            cut.resize(dorHeaderBytes + rng() % (cut.size() - dorHeaderBytes));
        } else { // random bytes: wild codes, vectors out of the picture, running out of data
            for (int f = 0; f < 5; ++f) {
                Bytes payload(dorHeaderBytes + rng() % 2000);
                for (BYTE& b : payload) b = static_cast<BYTE>(rng());
                frames.emplace_back(std::move(payload), f == 0 ? 5 : 5 + LONG(rng() % 3));
            }
        }
        for (SimdLevel level : everyLevel()) {
            setSimdLevel(level);
            Decoder d;
            PlainFrames plain(width, height);
            for (auto& [payload, type] : frames) {
                payload[8] = static_cast<BYTE>(width), payload[9] = 0;
                payload[10] = static_cast<BYTE>(height), payload[11] = 0;
                d.decode(payload, type);
                const BYTE* shown = type == 7 ? d.ctx->dor.nonRef : d.ctx->dor.reference;
                const Bytes& expected = plain.decode(d.ctx.get(), payload, type);
                ASSERT_EQ(Bytes(shown, shown + expected.size()), expected)
                    << "round " << round << " level " << int(level);
            }
        }
        setSimdLevel(simdAvailable());
    }
}

} // namespace
