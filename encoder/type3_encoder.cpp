#include "encoder/type3_encoder.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "video/dct/dct_toolkit.h"
#include "video/type3/type3_decoder.h"
#include "encoder/forward_dct.h"
#include "encoder/rounding.h"
#include "encoder/type3_gamut.h"

namespace {

// A block's levels in the decoder's order (8h + v) and the mask of the nonzero
// AC levels by scan position.
struct Levels {
    std::array<int, 64> at{};
    std::uint64_t scan = 0;
};

// Appends bits least significant first, as the type-3 reader takes them, into a buffer that
// holds any macroblock: a position takes at most 16 bits, so six blocks at most 762 bytes.
class LsbBitWriter {
  public:
    // Appends the low bits bits (at most 32) of value.
    void put(std::uint32_t value, int bits) {
        pending_ |=
            std::uint64_t{value & static_cast<std::uint32_t>((std::uint64_t{1} << bits) - 1)}
            << used_;
        used_ += bits;
        while (used_ >= 8) {
            bytes_[size_++] = static_cast<std::uint8_t>(pending_);
            pending_ >>= 8;
            used_ -= 8;
        }
    }
    // The bytes written, the last one padded with zero bits.
    std::size_t size() const { return size_ + (used_ > 0 ? 1 : 0); }
    // Appends the bytes, padded with zero bytes to at least minimum.
    void appendTo(Bytes& out, std::size_t minimum) const {
        out.insert(out.end(), bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(size_));
        if (used_ > 0) out.push_back(static_cast<std::uint8_t>(pending_));
        if (size() < minimum) out.resize(out.size() + minimum - size(), 0);
    }

  private:
    std::array<std::uint8_t, 1024> bytes_;
    std::size_t size_ = 0;
    std::uint64_t pending_ = 0; // used_ bits not yet in bytes_
    int used_ = 0;
};

// Every sample of the levels' reconstruction indexes the tables without wrapping.
bool reconstructsInRange(const Levels& levels, const LONG* quant) {
    LONG coeff[64];
    for (int i = 0; i < 64; ++i) coeff[i] = levels.at[i] * quant[i];
    LONG samples[64];
    idctBlock(coeff, samples, 8, 17);
    // Without an early exit, so that the loop runs several samples an instruction.
    LONG least = samples[0], most = samples[0];
    for (LONG s : samples) least = std::min(least, s), most = std::max(most, s);
    return least >= -64 && most <= 63;
}

// The quantiser of a quality: the table, the step of each AC level against the transform's
// scale in the transform's output order, and the DC level's step and limits.
struct Type3Quantiser {
    LONG quant[64];
    alignas(32) double steps[64];
    double f0;
    long dMin, dMax;
    // The transform's output positions whose scan position is 1 to limit, by limit.
    std::uint64_t allowed[64];
    // The scan position of each output position.
    int scanPosition[64];
    DivideForm divide = divideCoefficients();

    explicit Type3Quantiser(int quality) {
        buildType3Quant(quant, quality);
        for (int i = 0; i < 64; ++i)
            steps[transposedIndex(i)] = static_cast<double>(quant[i]) / prescale[i];
        // A DC level is limited so that a DC-only or flat block stays inside the tables' range.
        f0 = quant[0] / 8192.0;
        dMax = static_cast<long>(std::floor(1019 / f0));
        dMin = static_cast<long>(std::ceil(-1020 / f0));
        for (int k = 0; k < 64; ++k) scanPosition[transposedIndex(zigzag[k])] = k;
        for (int limit = 0; limit < 64; ++limit) {
            allowed[limit] = 0;
            for (int k = 1; k <= limit; ++k)
                allowed[limit] |= std::uint64_t{1} << transposedIndex(zigzag[k]);
        }
    }
};

// Levels of one block (coefficients in the transform's output order) keeping scan positions up
// to limit. AC levels are scaled down until the decoded samples stay inside the tables' range.
Levels quantiseBlock(const double* coefficients, const Type3Quantiser& q, int limit) {
    Levels levels;
    levels.at[0] =
        static_cast<int>(std::clamp(roundHalfAway(coefficients[0] / q.f0), q.dMin, q.dMax));
    for (double scale = 1.0;; scale = scale > 0.2 ? scale * 0.75 : 0.0) {
        std::fill(levels.at.begin() + 1, levels.at.end(), 0);
        levels.scan = 0;
        alignas(32) double quotients[64];
        // Only the levels that do not round to zero (most do).
        std::uint64_t found = q.divide(coefficients, scale, q.steps, quotients) & q.allowed[limit];
        for (; found != 0; found &= found - 1) {
            const int t = std::countr_zero(found);
            levels.at[transposedIndex(t)] =
                static_cast<int>(std::clamp(roundHalfAway(quotients[t]), -128L, 127L));
            levels.scan |= std::uint64_t{1} << q.scanPosition[t];
        }
        // Without AC levels a smaller scale changes nothing: the levels stand as they are.
        if (levels.scan == 0 || scale == 0.0 || reconstructsInRange(levels, q.quant)) return levels;
    }
}

// A token's bits (least significant first) and length.
struct Token {
    std::uint32_t bits = 0;
    int length = 0;
};

// The tokens of runs of 0 to 63 zero levels and of the levels -128 to 127 (at level + 128).
struct TokenTables {
    Token zeros[64];
    Token levels[256];
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
        for (int level = -128; level < 128; ++level) {
            Token& t = levels[level + 128];
            if (level == 1 || level == -1) {
                t = {level == 1 ? 2u : 6u, 3};
            } else if (level >= -32 && level <= 31) {
                t = {(static_cast<std::uint32_t>(level & 63) << 2) | 3, 8};
            } else {
                t = {0xFF | ((static_cast<std::uint32_t>(level) & 0xFF) << 8), 16};
            }
        }
    }
};

void putBlock(LsbBitWriter& out, const Levels& levels) {
    static const TokenTables tokens;
    out.put(static_cast<std::uint32_t>(levels.at[0]) & 0xFF, 8);
    int last = 0;
    for (std::uint64_t nonzero = levels.scan; nonzero != 0; nonzero &= nonzero - 1) {
        const int k = std::countr_zero(nonzero);
        // The zeros before the level and the level in one go.
        const Token run = tokens.zeros[k - last - 1];
        const Token level = tokens.levels[levels.at[zigzag[k]] + 128];
        out.put(run.bits | (level.bits << run.length), run.length + level.length);
        last = k;
    }
    // The tokens cover all 63 positions: there is no end code.
    const Token run = tokens.zeros[63 - last];
    out.put(run.bits, run.length);
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

void appendMacroblock(Bytes& out, const YuvPicture& picture, const Type3Quantiser& q, int mbx,
                      int mby) {
    // The transforms of the samples centred on zero.
    alignas(32) double coefficients[6][64];
    const ForwardDctForm transform = forwardDctBytes();
    std::uint8_t scratch[64];
    std::ptrdiff_t stride = 0;
    for (int b = 0; b < 4; ++b) {
        const int x0 = mbx * 16 + (b & 1) * 8, y0 = mby * 16 + (b >> 1) * 8;
        const std::uint8_t* rows =
            planeBlock(picture.y.data(), picture.width, picture.height, x0, y0, scratch, stride);
        transform(rows, stride, -128, coefficients[b]);
    }
    const int cw = picture.chromaWidth(), ch = picture.chromaHeight();
    for (int c = 0; c < 2; ++c) {
        const std::uint8_t* rows = planeBlock((c == 0 ? picture.cb : picture.cr).data(), cw, ch,
                                              mbx * 8, mby * 8, scratch, stride);
        transform(rows, stride, -128, coefficients[4 + c]);
    }
    for (int limit = 63;; limit = std::max(limit - 8, 0)) {
        std::array<Levels, 6> levels;
        bool anyAc = false;
        for (int b = 0; b < 6; ++b) {
            levels[b] = quantiseBlock(coefficients[b], q, limit);
            anyAc |= levels[b].scan != 0;
        }
        if (!anyAc) {
            const int dc = levels[0].at[0];
            const bool oneLuma =
                dc == levels[1].at[0] && dc == levels[2].at[0] && dc == levels[3].at[0];
            out.push_back(oneLuma ? 3 : 6);
            for (int b = 0; b < 6; ++b) {
                if (oneLuma && b > 0 && b < 4) continue;
                out.push_back(static_cast<std::uint8_t>(levels[b].at[0]));
            }
            return;
        }
        LsbBitWriter bits;
        for (const Levels& l : levels) putBlock(bits, l);
        if (bits.size() > 255) continue;
        out.push_back(static_cast<std::uint8_t>(std::max<std::size_t>(bits.size(), 13)));
        bits.appendTo(out, 13);
        return;
    }
}

// The picture with luma limited to the band and chroma desaturated to keep inside it.
YuvPicture keepInGamut(const YuvPicture& source) {
    YuvPicture out = source;
    for (std::uint8_t& y : out.y)
        y = std::clamp<std::uint8_t>(y, std::uint8_t{gamutLow}, std::uint8_t{gamutHigh});
    const ChromaRowForm limit = limitChromaRow();
    const int cw = out.chromaWidth();
    for (int cy = 0; cy < out.chromaHeight(); ++cy) {
        // The two luma rows the chroma row covers, the second repeating the last at odd ends.
        const std::uint8_t* luma0 = out.y.data() + std::size_t(2 * cy) * out.width;
        const std::uint8_t* luma1 =
            out.y.data() + std::size_t(std::min(2 * cy + 1, out.height - 1)) * out.width;
        limit(luma0, luma1, out.width, 0, cw, out.cb.data() + std::size_t(cy) * cw,
              out.cr.data() + std::size_t(cy) * cw);
    }
    return out;
}

} // namespace

Bytes encodeType3Frame(const YuvPicture& source, int quality, const YuvPicture* previous) {
    quality = std::clamp(quality, 0, 100);
    const YuvPicture picture = keepInGamut(source);
    const Type3Quantiser quantiser(quality);
    Bytes out = dctFrameHeader(picture, quality, 0);
    const bool canSkip = previous != nullptr && previous->width == picture.width &&
                         previous->height == picture.height;
    for (int mby = 0; mby * 16 < picture.height; ++mby) {
        for (int mbx = 0; mbx * 16 < picture.width; ++mbx) {
            if (canSkip && sameMacroblock(source, *previous, mbx, mby)) {
                out.push_back(0);
                continue;
            }
            appendMacroblock(out, picture, quantiser, mbx, mby);
        }
    }
    return out;
}
