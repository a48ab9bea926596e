#include "encoder/type3_encoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "video/dct/dct_toolkit.h"
#include "video/type3/type3_decoder.h"
#include "encoder/forward_dct.h"
#include "encoder/rounding.h"
#include "encoder/type3_gamut.h"
#include "encoder/type3_range.h"
#include "encoder/type4_levels.h"

namespace {

// A block's levels and the mask of the nonzero AC levels by scan position: the level at scan
// position k is levels[order[k]] for the order of whatever made them; dc is the DC level.
struct BlockLevels {
    alignas(64) std::int16_t levels[64];
    std::uint64_t nonzero;
    int dc;
};

// The quantiser of a quality and the tables of both ways of making levels: the integer
// transform's (the fast way) and the transform in doubles with levels scaled down until the
// samples stay in range (for the blocks the first leaves out of range).
struct Type3Quantiser {
    LONG quant[64];
    int dcStep;      // the DC level's step: the DC level is the sum of the samples / 8 dcStep
    long dMin, dMax; // the DC level's limits, so that a DC-only or flat block stays in range
    Type4Levels form = type4Levels();
    Type4LevelTables tables;
    Type3RangeCheck range;
    // The doubles' way: each AC level's step against the transform's scale in the transform's
    // output order; the output positions whose scan position is 1 to limit, by limit; the scan
    // position of each output position.
    alignas(32) double steps[64];
    std::uint64_t allowed[64];
    int scanPosition[64];
    DivideForm divide = divideCoefficients();

    explicit Type3Quantiser(int quality)
        : tables(levelScale(makeQuant(quant, quality)).data()), range(quant, form.order) {
        dcStep = quant[0] / prescale[0];
        dMax = static_cast<long>(std::floor(1019.0 / dcStep));
        dMin = static_cast<long>(std::ceil(-1020.0 / dcStep));
        for (int k = 0; k < 64; ++k) scanPosition[transposedIndex(zigzag[k])] = k;
        for (int i = 0; i < 64; ++i) steps[transposedIndex(i)] = double(quant[i]) / prescale[i];
        for (int limit = 0; limit < 64; ++limit) {
            allowed[limit] = 0;
            for (int k = 1; k <= limit; ++k)
                allowed[limit] |= std::uint64_t{1} << transposedIndex(zigzag[k]);
        }
    }

    // range keeps a pointer to quant.
    Type3Quantiser(const Type3Quantiser&) = delete;
    Type3Quantiser& operator=(const Type3Quantiser&) = delete;

  private:
    // The level of an orthonormal coefficient of 1, in the decoder's order.
    static std::array<double, 64> levelScale(const LONG* quant) {
        std::array<double, 64> scale;
        for (int i = 0; i < 64; ++i) scale[i] = double(prescale[i]) / quant[i];
        return scale;
    }
    // Fills the quantiser (a member before tables and range, so filled before they are made).
    static const LONG* makeQuant(LONG* quant, int quality) {
        buildType3Quant(quant, quality);
        return quant;
    }
};

// The DC level of a block whose samples less 128 sum to sum: sum / (8 step) rounded, halves
// away from zero, within the limits.
int dcLevel(int sum, const Type3Quantiser& q) {
    const int twice = 16 * q.dcStep;
    const int size = (2 * std::abs(sum) + 8 * q.dcStep) / twice;
    return static_cast<int>(std::clamp<long>(sum < 0 ? -size : size, q.dMin, q.dMax));
}

// The doubles' way for one block (coefficients in the transform's output order), keeping scan
// positions up to limit: the levels in the decoder's order (zigzag is their order), AC levels
// scaled down until the decoded samples stay inside the tables' range.
BlockLevels exactLevels(const double* coefficients, const Type3Quantiser& q, int limit) {
    BlockLevels block;
    block.dc =
        static_cast<int>(std::clamp(roundHalfAway(coefficients[0] / q.dcStep), q.dMin, q.dMax));
    for (double scale = 1.0;; scale = scale > 0.2 ? scale * 0.75 : 0.0) {
        std::fill(std::begin(block.levels), std::end(block.levels), std::int16_t{0});
        block.nonzero = 0;
        alignas(32) double quotients[64];
        // Only the levels that do not round to zero (most do).
        std::uint64_t found = q.divide(coefficients, scale, q.steps, quotients) & q.allowed[limit];
        for (; found != 0; found &= found - 1) {
            const int t = std::countr_zero(found);
            block.levels[transposedIndex(t)] =
                static_cast<std::int16_t>(std::clamp(roundHalfAway(quotients[t]), -128L, 127L));
            block.nonzero |= std::uint64_t{1} << q.scanPosition[t];
        }
        // Without AC levels a smaller scale changes nothing: the levels stand as they are.
        const std::int16_t* levels = block.levels;
        if (block.nonzero == 0 || scale == 0.0 || q.range.decoded(&levels, &block.dc, 1, true))
            return block;
    }
}

// A token's bits (least significant first) and length.
struct Token {
    std::uint32_t bits = 0;
    int length = 0;
};

// The tokens of runs of 0 to 63 zero levels and of the levels -256 to 255 (at level + 256),
// those beyond a signed byte clamped to it.
struct TokenTables {
    Token zeros[64];
    Token levels[512];
    // The runs of 0 to 15 zeros and the level -32 to 31 after them, at [run][level + 32].
    Token pairs[16][64];
    TokenTables() {
        for (int run = 1; run < 64; ++run) {
            if (run >= 3) {
                // One token covers the whole run: n pairs of zeros and an odd one.
                const int odd = run & 1, n = (run - odd) / 2;
                zeros[run] = {static_cast<std::uint32_t>((n << 3) | (odd ? 5 : 1)), 8};
            } else {
                zeros[run] = {run == 2 ? 4u : 0u, 3};
            }
        }
        for (int unclamped = -256; unclamped < 256; ++unclamped) {
            const int level = std::clamp(unclamped, -128, 127);
            Token& t = levels[unclamped + 256];
            if (level == 1 || level == -1) {
                t = {level == 1 ? 2u : 6u, 3};
            } else if (level >= -32 && level <= 31) {
                t = {(static_cast<std::uint32_t>(level & 63) << 2) | 3, 8};
            } else {
                t = {0xFF | ((static_cast<std::uint32_t>(level) & 0xFF) << 8), 16};
            }
        }
        for (int run = 0; run < 16; ++run) {
            for (int level = -32; level < 32; ++level) {
                const Token zero = zeros[run], coded = levels[level + 256];
                pairs[run][level + 32] = {zero.bits | (coded.bits << zero.length),
                                          zero.length + coded.length};
            }
        }
    }
};

// Appends bits least significant first, as the type-3 reader takes them. Without a branch: the
// eight bytes at the cursor are stored every time and the cursor moves past the complete ones,
// so the buffer must have 8 bytes of room beyond the bits.
struct LsbCursor {
    std::uint8_t* at;
    std::uint64_t pending = 0; // used bits not yet complete at *at
    int used = 0;

    // Appends value (below 2^bits) without writing: used + bits must stay within 64.
    void add(std::uint32_t value, int bits) {
        pending |= std::uint64_t{value} << used;
        used += bits;
    }
    // Writes the complete bytes, leaving fewer than 8 bits pending.
    void flush() {
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(at, &pending, 8);
        } else {
            for (int b = 0; b < 8; ++b) at[b] = static_cast<std::uint8_t>(pending >> (8 * b));
        }
        at += used >> 3;
        pending >>= used & ~7;
        used &= 7;
    }
    // Appends value (below 2^bits, bits at most 32).
    void put(std::uint32_t value, int bits) {
        add(value, bits);
        flush();
    }
};

// The most bytes six blocks take (a position at most 16 bits, the DC 8) and the cursor's room.
constexpr std::size_t macroblockRoom = 6 * (1 + 63 * 2) + 8;

void putBlock(LsbCursor& out, const BlockLevels& block, const std::uint8_t* order) {
    static const TokenTables tokens;
    out.add(static_cast<std::uint32_t>(block.dc) & 0xFF, 8);
    int last = 0;
    // A level's token (the zeros before it and the level, at most 24 bits).
    const auto token = [&](int k) {
        const int run = k - last - 1, level = block.levels[order[k]];
        last = k;
        if (run < 16 && level >= -32 && level < 32) return tokens.pairs[run][level + 32];
        const Token zeros = tokens.zeros[run], coded = tokens.levels[level + 256];
        return Token{zeros.bits | (coded.bits << zeros.length), zeros.length + coded.length};
    };
    // Two tokens between writes: with the DC's 8 bits and the 7 left at most 63.
    std::uint64_t nonzero = block.nonzero;
    while (nonzero != 0) {
        const Token first = token(std::countr_zero(nonzero));
        nonzero &= nonzero - 1;
        out.add(first.bits, first.length);
        if (nonzero != 0) {
            const Token second = token(std::countr_zero(nonzero));
            nonzero &= nonzero - 1;
            out.add(second.bits, second.length);
        }
        out.flush();
    }
    // The tokens cover all 63 positions: there is no end code.
    const Token run = tokens.zeros[63 - last];
    out.put(run.bits, run.length);
}

// Appends the macroblock of these levels (their order is order): flat where no block has AC
// levels, else coded. False, with nothing appended, when the code takes more than a length
// byte can give.
bool appendLevels(Bytes& out, const BlockLevels (&blocks)[6], const std::uint8_t* order) {
    if (std::none_of(std::begin(blocks), std::end(blocks),
                     [](const BlockLevels& b) { return b.nonzero != 0; })) {
        const int dc = blocks[0].dc;
        const bool oneLuma = dc == blocks[1].dc && dc == blocks[2].dc && dc == blocks[3].dc;
        out.push_back(oneLuma ? 3 : 6);
        for (int b = 0; b < 6; ++b) {
            if (oneLuma && b > 0 && b < 4) continue;
            out.push_back(static_cast<std::uint8_t>(blocks[b].dc));
        }
        return true;
    }
    std::uint8_t bits[macroblockRoom];
    LsbCursor cursor{bits};
    for (const BlockLevels& block : blocks) putBlock(cursor, block, order);
    const std::size_t size = static_cast<std::size_t>(cursor.at - bits) + (cursor.used > 0);
    if (size > 255) return false;
    // The decoder reads at least 13 bytes as a coded macroblock; the padding is zero bits.
    const std::size_t length = std::max<std::size_t>(size, 13);
    out.push_back(static_cast<std::uint8_t>(length));
    out.insert(out.end(), bits, bits + size);
    out.resize(out.size() + (length - size), 0);
    return true;
}

// The rows of block b (Y0 to Y3, Cb, Cr) of macroblock (mbx, mby), as planeBlock gives them.
const std::uint8_t* blockRows(const YuvPicture& picture, int mbx, int mby, int b,
                              std::uint8_t* scratch, std::ptrdiff_t& stride) {
    if (b < 4)
        return planeBlock(picture.y.data(), picture.width, picture.height, mbx * 16 + (b & 1) * 8,
                          mby * 16 + (b >> 1) * 8, scratch, stride);
    return planeBlock((b == 4 ? picture.cb : picture.cr).data(), picture.chromaWidth(),
                      picture.chromaHeight(), mbx * 8, mby * 8, scratch, stride);
}

// The doubles' way for a macroblock: coded with fewer scan positions while the code is too long.
void appendMacroblockExact(Bytes& out, const YuvPicture& picture, const Type3Quantiser& q, int mbx,
                           int mby) {
    // The transforms of the samples centred on zero.
    alignas(32) double coefficients[6][64];
    const ForwardDctForm transform = forwardDctBytes();
    std::uint8_t scratch[64];
    std::ptrdiff_t stride = 0;
    for (int b = 0; b < 6; ++b) {
        const std::uint8_t* rows = blockRows(picture, mbx, mby, b, scratch, stride);
        transform(rows, stride, -128, coefficients[b]);
    }
    for (int limit = 63;; limit = std::max(limit - 8, 0)) {
        BlockLevels blocks[6];
        for (int b = 0; b < 6; ++b) blocks[b] = exactLevels(coefficients[b], q, limit);
        // At limit 0 the macroblock is flat, which always fits.
        if (appendLevels(out, blocks, zigzag)) return;
    }
}

// A macroblock by the integer transform, or by the doubles' way where a block would decode out
// of range or the code is too long.
void appendMacroblock(Bytes& out, const YuvPicture& picture, const Type3Quantiser& q, int mbx,
                      int mby) {
    BlockLevels blocks[6];
    std::uint8_t scratch[64];
    std::ptrdiff_t stride = 0;
    for (int b = 0; b < 6; ++b) {
        const std::uint8_t* rows = blockRows(picture, mbx, mby, b, scratch, stride);
        blocks[b].nonzero = q.form.form(rows, stride, q.tables, blocks[b].levels);
        blocks[b].dc = dcLevel(blocks[b].levels[0], q);
    }
    // The blocks with AC levels that the bound leaves in doubt. Luma blocks go straight to the
    // check: their samples reach near the band's ends, and the bound clears few (one in thirty
    // of a photograph's), where it clears most chroma blocks.
    const std::int16_t* doubtful[6];
    int dcs[6], count = 0;
    for (int b = 0; b < 6; ++b) {
        const BlockLevels& block = blocks[b];
        if (block.nonzero != 0 && (b < 4 || !q.range.bounded(block.levels, block.dc))) {
            doubtful[count] = block.levels;
            dcs[count++] = block.dc;
        }
    }
    if (!q.range.decoded(doubtful, dcs, count))
        return appendMacroblockExact(out, picture, q, mbx, mby);
    if (!appendLevels(out, blocks, q.form.order)) appendMacroblockExact(out, picture, q, mbx, mby);
}

bool sameMacroblock(const YuvPicture& a, const YuvPicture& b, int mbx, int mby) {
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            if (a.lumaAt(mbx * 16 + x, mby * 16 + y) != b.lumaAt(mbx * 16 + x, mby * 16 + y))
                return false;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const int cx = mbx * 8 + x, cy = mby * 8 + y;
            if (a.cbAt(cx, cy) != b.cbAt(cx, cy) || a.crAt(cx, cy) != b.crAt(cx, cy)) return false;
        }
    }
    return true;
}

// Luma limited to the band, sixteen samples a step where the compiler makes that one vector
// operation (in place, so that it need not check two buffers for overlap).
void limitLuma(std::uint8_t* to, std::size_t count) {
    const auto limit = [](std::uint8_t y) {
        return std::min<std::uint8_t>(std::max<std::uint8_t>(y, gamutLow), gamutHigh);
    };
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16)
        for (std::size_t j = 0; j < 16; ++j) to[i + j] = limit(to[i + j]);
    for (; i < count; ++i) to[i] = limit(to[i]);
}

// The rows of macroblock row mby of the picture, with luma limited to the band and chroma
// desaturated to keep inside it: a picture of those rows (16, fewer at the bottom). A row at a
// time, so that the samples are still in cache when coded.
void gamutStripe(const YuvPicture& picture, int mby, YuvPicture& stripe) {
    const int top = 16 * mby;
    stripe.width = picture.width;
    stripe.height = std::min(16, picture.height - top);
    const auto rows = [](const std::vector<std::uint8_t>& plane, int width, int first, int count,
                         std::vector<std::uint8_t>& to) {
        const auto from = plane.begin() + std::ptrdiff_t(first) * width;
        to.assign(from, from + std::ptrdiff_t(count) * width);
    };
    rows(picture.y, picture.width, top, stripe.height, stripe.y);
    limitLuma(stripe.y.data(), stripe.y.size());
    const int cw = picture.chromaWidth(), ch = stripe.chromaHeight();
    rows(picture.cb, cw, 8 * mby, ch, stripe.cb);
    rows(picture.cr, cw, 8 * mby, ch, stripe.cr);
    const ChromaRowForm limit = limitChromaRow();
    for (int cy = 0; cy < ch; ++cy) {
        // The two luma rows the chroma row covers, the second repeating the last at odd ends.
        const std::uint8_t* luma0 = stripe.y.data() + std::size_t(2 * cy) * stripe.width;
        const std::uint8_t* luma1 =
            stripe.y.data() + std::size_t(std::min(2 * cy + 1, stripe.height - 1)) * stripe.width;
        limit(luma0, luma1, stripe.width, 0, cw, stripe.cb.data() + std::size_t(cy) * cw,
              stripe.cr.data() + std::size_t(cy) * cw);
    }
}

} // namespace

Bytes encodeType3Frame(const YuvPicture& source, int quality, const YuvPicture* previous) {
    quality = std::clamp(quality, 0, 100);
    const Type3Quantiser quantiser(quality);
    Bytes out = dctFrameHeader(source, quality, 0);
    out.reserve(source.y.size() / 2);
    const bool canSkip =
        previous != nullptr && previous->width == source.width && previous->height == source.height;
    YuvPicture stripe;
    for (int mby = 0; mby * 16 < source.height; ++mby) {
        gamutStripe(source, mby, stripe);
        for (int mbx = 0; mbx * 16 < source.width; ++mbx) {
            if (canSkip && sameMacroblock(source, *previous, mbx, mby)) {
                out.push_back(0);
                continue;
            }
            appendMacroblock(out, stripe, quantiser, mbx, 0);
        }
    }
    return out;
}
