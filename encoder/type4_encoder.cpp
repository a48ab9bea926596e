#include "encoder/type4_encoder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>

#include "video/dct/dct_toolkit.h"
#include "video/type4/type4_decoder.h"
#include "encoder/component_colour.h"
#include "encoder/rounding.h"

namespace {

// Appends bits most significant first into 32-bit words stored little-endian.
class WordBitWriter {
  public:
    // Bits go after the given bytes.
    explicit WordBitWriter(Bytes start) : bytes_(std::move(start)) {}
    // Appends the low bits bits (at most 32) of value.
    void put(std::uint32_t value, int bits) {
        pending_ = (pending_ << bits) | (value & ((std::uint64_t{1} << bits) - 1));
        used_ += bits;
        if (used_ >= 32) {
            used_ -= 32;
            const auto word = static_cast<std::uint32_t>(pending_ >> used_);
            for (int b = 0; b < 4; ++b)
                bytes_.push_back(static_cast<std::uint8_t>(word >> (8 * b)));
        }
    }
    // The bytes with the bits after them, the last word padded with zero bits.
    Bytes finish() {
        if (used_ > 0) put(0, 32 - used_);
        return std::move(bytes_);
    }

  private:
    Bytes bytes_;
    std::uint64_t pending_ = 0; // the last used_ bits are not yet written
    int used_ = 0;
};

// A code's bits as a number, and its length.
struct Code {
    std::uint32_t bits = 0;
    int length = 0;
};

constexpr Code parseCode(const char* text) {
    Code c;
    for (; *text != '\0'; ++text) c.bits = (c.bits << 1) | (*text == '1' ? 1u : 0u), ++c.length;
    return c;
}

void putCode(WordBitWriter& out, Code code) {
    out.put(code.bits, code.length);
}

// The run/level codes by run (0 to 31) and level (1 to 40), each with its sign bit 0 appended;
// length 0 where only the escape codes.
struct CodeIndex {
    Code codes[32][41] = {};
    CodeIndex() {
        for (const Type4RunLevelCode& c : type4RunLevelCodes) {
            const Code code = parseCode(c.bits);
            codes[c.run][c.level] = {code.bits << 1, code.length + 1};
        }
    }
};

constexpr Code lumaDcSizeCodes[9] = {parseCode("100"),   parseCode("00"),     parseCode("01"),
                                     parseCode("101"),   parseCode("110"),    parseCode("1110"),
                                     parseCode("11110"), parseCode("111110"), parseCode("1111110")};
constexpr Code chromaDcSizeCodes[9] = {
    parseCode("00"),     parseCode("01"),      parseCode("10"),
    parseCode("110"),    parseCode("1110"),    parseCode("11110"),
    parseCode("111110"), parseCode("1111110"), parseCode("11111110")};
const Code endOfBlock = parseCode(type4EndOfBlock);
const Code escape = parseCode(type4Escape);

void putDc(WordBitWriter& out, int diff, bool chroma) {
    const int magnitude = std::abs(diff);
    int size = 0;
    while ((1 << size) <= magnitude) ++size;
    putCode(out, (chroma ? chromaDcSizeCodes : lumaDcSizeCodes)[size]);
    if (size > 0) {
        const int m = diff > 0 ? diff : diff + (1 << size) - 1;
        out.put(static_cast<std::uint32_t>(m), size);
    }
}

void putAc(WordBitWriter& out, const CodeIndex& index, int run, int level) {
    const int magnitude = std::abs(level);
    if (run < 32 && magnitude <= 40 && index.codes[run][magnitude].length != 0) {
        const Code code = index.codes[run][magnitude];
        out.put(code.bits | (level < 0 ? 1 : 0), code.length);
        return;
    }
    putCode(out, escape);
    out.put(static_cast<std::uint32_t>(run), 6);
    if (level >= -127 && level <= 127) {
        out.put(static_cast<std::uint32_t>(level) & 0xFF, 8);
    } else {
        out.put(level > 0 ? 0 : 128, 8);
        out.put(static_cast<std::uint32_t>(level) & 0xFF, 8);
    }
}

// The macroblock's six blocks as the values the decoder is to reconstruct, twice the samples
// that show the source's colour. A chroma sample is one of a few steps, so its value is aimed at
// the middle of the step (the decoder halves rounding down); luma is aimed at directly, which
// brings the decoded pictures back without a mean offset.
std::array<DctBlock, 6> codedBlocks(const YuvPicture& picture, int mbx, int mby) {
    std::array<DctBlock, 6> blocks = macroblockSamples(picture, mbx, mby);
    for (int b = 0; b < 4; ++b)
        for (double& v : blocks[b]) v = 2 * componentLumaSample(static_cast<int>(v));
    for (double& v : blocks[4]) v = 2 * componentCbSample(static_cast<int>(v)) + 1;
    for (double& v : blocks[5]) v = 2 * componentCrSample(static_cast<int>(v)) + 1;
    return blocks;
}

// Codes one block of values (twice the decoded samples, 0 to 255); pred is the component's DC
// predictor.
void putBlock(WordBitWriter& out, const CodeIndex& index, const DctBlock& samples,
              const double* scale, int& pred, bool chroma) {
    const DctBlock coefficients = forwardDct(samples);
    const int dc = static_cast<int>(std::clamp(roundHalfAway(coefficients[0] / 8), 0L, 255L));
    putDc(out, dc - pred, chroma);
    pred = dc;
    // Levels first, then the codes of the nonzero ones found from a bit mask.
    int levels[64];
    std::uint64_t nonzero = 0;
    for (int k = 1; k < 64; ++k) {
        const int i = zigzag[k];
        levels[k] =
            static_cast<int>(std::clamp(roundHalfAway(coefficients[i] * scale[i]), -256L, 255L));
        nonzero |= std::uint64_t{levels[k] != 0} << k;
    }
    for (int last = 0; nonzero != 0; nonzero &= nonzero - 1) {
        const int k = std::countr_zero(nonzero);
        putAc(out, index, k - last - 1, levels[k]);
        last = k;
    }
    putCode(out, endOfBlock);
}

} // namespace

Bytes encodeType4Frame(const YuvPicture& picture, int quality, bool componentColour) {
    quality = std::clamp(quality, 0, 100);
    LONG quant[64];
    setupType4Quant(quant, quality);
    // A coefficient of level l comes back as l × quant / prescale (the transform's scale).
    double scale[64];
    for (int i = 0; i < 64; ++i) scale[i] = quant[i] > 0 ? double(prescale[i]) / quant[i] : 0.0;
    static const CodeIndex index;
    WordBitWriter bits(dctFrameHeader(picture, quality, componentColour ? 2 : 0));
    int predY = 0, predCb = 0, predCr = 0;
    for (int mby = 0; mby * 16 < picture.height; ++mby) {
        for (int mbx = 0; mbx * 16 < picture.width; ++mbx) {
            const auto blocks = codedBlocks(picture, mbx, mby);
            for (int b = 0; b < 4; ++b) putBlock(bits, index, blocks[b], scale, predY, false);
            putBlock(bits, index, blocks[4], scale, predCb, true);
            putBlock(bits, index, blocks[5], scale, predCr, true);
        }
    }
    return bits.finish();
}
