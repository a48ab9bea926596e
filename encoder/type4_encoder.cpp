#include "encoder/type4_encoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "video/dct/dct_toolkit.h"
#include "video/type4/type4_decoder.h"
#include "encoder/component_colour.h"
#include "encoder/rounding.h"

namespace {

// Appends bits most significant first into 32-bit words stored little-endian.
class WordBitWriter {
  public:
    void put(std::uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            word_ = (word_ << 1) | ((value >> i) & 1);
            if (++used_ == 32) flushWord();
        }
    }
    void putCode(const char* code) {
        for (const char* c = code; *c != '\0'; ++c) put(*c == '1' ? 1 : 0, 1);
    }
    Bytes finish() {
        if (used_ > 0) {
            word_ <<= 32 - used_;
            used_ = 32;
            flushWord();
        }
        return bytes_;
    }

  private:
    void flushWord() {
        for (int b = 0; b < 4; ++b) bytes_.push_back(static_cast<std::uint8_t>(word_ >> (8 * b)));
        word_ = 0;
        used_ = 0;
    }
    Bytes bytes_;
    std::uint32_t word_ = 0;
    int used_ = 0;
};

// The run/level codes by run (0 to 31) and level (1 to 40); null where only the escape codes.
struct CodeIndex {
    const char* codes[32][41] = {};
    CodeIndex() {
        for (const Type4RunLevelCode& c : type4RunLevelCodes) codes[c.run][c.level] = c.bits;
    }
};

const char* const lumaDcSizeCodes[9] = {"100",  "00",    "01",     "101",    "110",
                                        "1110", "11110", "111110", "1111110"};
const char* const chromaDcSizeCodes[9] = {"00",    "01",     "10",      "110",     "1110",
                                          "11110", "111110", "1111110", "11111110"};

void putDc(WordBitWriter& out, int diff, bool chroma) {
    const int magnitude = std::abs(diff);
    int size = 0;
    while ((1 << size) <= magnitude) ++size;
    out.putCode((chroma ? chromaDcSizeCodes : lumaDcSizeCodes)[size]);
    if (size > 0) {
        const int m = diff > 0 ? diff : diff + (1 << size) - 1;
        out.put(static_cast<std::uint32_t>(m), size);
    }
}

void putAc(WordBitWriter& out, const CodeIndex& index, int run, int level) {
    const int magnitude = std::abs(level);
    if (run < 32 && magnitude <= 40 && index.codes[run][magnitude] != nullptr) {
        out.putCode(index.codes[run][magnitude]);
        out.put(level < 0 ? 1 : 0, 1);
        return;
    }
    out.putCode(type4Escape);
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
              const LONG* quant, int& pred, bool chroma) {
    const DctBlock coefficients = forwardDct(samples);
    const int dc = static_cast<int>(std::clamp(roundHalfAway(coefficients[0] / 8), 0L, 255L));
    putDc(out, dc - pred, chroma);
    pred = dc;
    int run = 0;
    for (int k = 1; k < 64; ++k) {
        const int i = zigzag[k];
        long level = 0;
        if (quant[i] > 0) level = roundHalfAway(coefficients[i] * prescale[i] / quant[i]);
        level = std::clamp(level, -256L, 255L);
        if (level == 0) {
            ++run;
            continue;
        }
        putAc(out, index, run, static_cast<int>(level));
        run = 0;
    }
    out.putCode(type4EndOfBlock);
}

} // namespace

Bytes encodeType4Frame(const YuvPicture& picture, int quality, bool componentColour) {
    quality = std::clamp(quality, 0, 100);
    LONG quant[64];
    setupType4Quant(quant, quality);
    static const CodeIndex index;
    WordBitWriter bits;
    int predY = 0, predCb = 0, predCr = 0;
    for (int mby = 0; mby * 16 < picture.height; ++mby) {
        for (int mbx = 0; mbx * 16 < picture.width; ++mbx) {
            const auto blocks = codedBlocks(picture, mbx, mby);
            for (int b = 0; b < 4; ++b) putBlock(bits, index, blocks[b], quant, predY, false);
            putBlock(bits, index, blocks[4], quant, predCb, true);
            putBlock(bits, index, blocks[5], quant, predCr, true);
        }
    }
    Bytes out = dctFrameHeader(picture, quality, componentColour ? 2 : 0);
    const Bytes stream = bits.finish();
    out.insert(out.end(), stream.begin(), stream.end());
    return out;
}
