#include "encoder/type4_encoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>

#include "video/dct/dct_toolkit.h"
#include "video/type4/type4_decoder.h"
#include "encoder/component_colour.h"
#include "encoder/type4_levels.h"

namespace {

// Appends bits most significant first into 32-bit words stored little-endian. The bits go
// through a cursor, a plain value the coder keeps in registers, with room made beforehand.
class WordBitWriter {
  public:
    struct Cursor {
        std::uint64_t pending; // the last used bits are not yet written
        int used;
        std::uint8_t* at;
    };

    // Bits go after the given bytes.
    explicit WordBitWriter(Bytes start) : bytes_(std::move(start)), size_(bytes_.size()) {}
    // A cursor with room for at least room bytes of words; close() takes it back.
    Cursor open(std::size_t room) {
        if (size_ + room > bytes_.size()) bytes_.resize(2 * bytes_.size() + room);
        return {pending_, used_, bytes_.data() + size_};
    }
    void close(const Cursor& c) {
        pending_ = c.pending;
        used_ = c.used;
        size_ = static_cast<std::size_t>(c.at - bytes_.data());
    }
    // Appends value (below 2^bits, bits at most 32). Without a branch: the word is stored
    // every time and kept (the cursor moved past it) only once 32 bits are complete, so the
    // room must hold 4 bytes beyond the words.
    static void put(Cursor& c, std::uint32_t value, int bits) {
        c.pending = (c.pending << bits) | value;
        c.used += bits;
        const int full = c.used >> 5; // used stays below 64
        c.used -= full << 5;
        const auto word = static_cast<std::uint32_t>(c.pending >> c.used);
        const std::uint8_t le[4] = {
            static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8),
            static_cast<std::uint8_t>(word >> 16), static_cast<std::uint8_t>(word >> 24)};
        std::memcpy(c.at, le, 4);
        c.at += 4 * full;
    }
    // The bytes with the bits after them, the last word padded with zero bits.
    Bytes finish() {
        Cursor c = open(8);
        if (c.used > 0) put(c, 0, 32 - c.used);
        close(c);
        bytes_.resize(size_);
        return std::move(bytes_);
    }

  private:
    Bytes bytes_; // size_ bytes written, then room
    std::size_t size_ = 0;
    std::uint64_t pending_ = 0;
    int used_ = 0;
};

// More than the bytes of words one block can take, with the 4 the writer stores beyond: 63
// escapes of 28 bits, the DC (16), the end code and 31 bits pending make 1813 bits.
constexpr std::size_t blockRoom = 256;

using Cursor = WordBitWriter::Cursor;

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

void putCode(Cursor& out, Code code) {
    WordBitWriter::put(out, code.bits, code.length);
}

// The run/level codes by run (0 to 31) and level (1 to 40), each with its sign bit 0 appended;
// length 0 where only the escape codes.
struct CodeIndex {
    Code codes[32][41] = {};
    // By run and level + 40 (-40 to 40): the code with its sign bit, or the whole escape.
    Code signedCodes[32][81] = {};
    CodeIndex();
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

void putDc(Cursor& out, int diff, bool chroma) {
    const int size = std::bit_width(static_cast<unsigned>(std::abs(diff)));
    // The size's code and the difference's size bits (none for 0) as one code.
    const Code code = (chroma ? chromaDcSizeCodes : lumaDcSizeCodes)[size];
    const int m = diff > 0 ? diff : diff + (1 << size) - 1;
    WordBitWriter::put(out, (code.bits << size) | static_cast<std::uint32_t>(m),
                       code.length + size);
}

// The escape: its code, the run in 6 bits and the level in 8 (or 16 beyond -127..127).
void putEscape(Cursor& out, int run, int level) {
    putCode(out, escape);
    WordBitWriter::put(out, static_cast<std::uint32_t>(run), 6);
    if (level >= -127 && level <= 127) {
        WordBitWriter::put(out, static_cast<std::uint32_t>(level) & 0xFF, 8);
    } else {
        WordBitWriter::put(out, level > 0 ? 0 : 128, 8);
        WordBitWriter::put(out, static_cast<std::uint32_t>(level) & 0xFF, 8);
    }
}

CodeIndex::CodeIndex() {
    for (const Type4RunLevelCode& c : type4RunLevelCodes) {
        const Code code = parseCode(c.bits);
        codes[c.run][c.level] = {code.bits << 1, code.length + 1};
    }
    for (int run = 0; run < 32; ++run) {
        for (int level = -40; level <= 40; ++level) {
            const Code code = codes[run][std::abs(level)];
            if (level != 0 && code.length != 0) {
                signedCodes[run][level + 40] = {code.bits | (level < 0 ? 1u : 0u), code.length};
            } else {
                // 6 + 6 + 8 bits: the escape with the run and the level in one code.
                signedCodes[run][level + 40] = {(escape.bits << 14) | (std::uint32_t(run) << 8) |
                                                    (std::uint32_t(level) & 0xFF),
                                                escape.length + 14};
            }
        }
    }
}

void putAc(Cursor& out, const CodeIndex& index, int run, int level) {
    if (run < 32 && level >= -40 && level <= 40) {
        const Code code = index.signedCodes[run][level + 40];
        WordBitWriter::put(out, code.bits, code.length);
        return;
    }
    putEscape(out, run, level);
}

// The values the decoder is to reconstruct are twice the samples that show the source's colour.
// Luma is aimed at directly (twice (l + 15) / 2 is l + 15), which brings the decoded pictures
// back without a mean offset. A chroma sample is one of a few steps, so its value is aimed at
// the middle of the step (the decoder halves rounding down): the chroma planes are mapped to
// those values (1 to 255) a block at a time.
constexpr int lumaOffset = 15;

// The chroma block at (x0, y0) of a plane mapped to those values, in block (rows 8 apart).
void codedChromaBlock(const std::vector<std::uint8_t>& plane, int width, int height, int x0, int y0,
                      bool cr, ByteMapForm map, std::uint8_t* block) {
    static const auto tables = [] {
        std::array<std::array<std::uint8_t, 256>, 2> t{};
        for (int c = 0; c < 256; ++c) {
            t[0][c] = static_cast<std::uint8_t>(2 * componentCbSample(c) + 1);
            t[1][c] = static_cast<std::uint8_t>(2 * componentCrSample(c) + 1);
        }
        return t;
    }();
    std::uint8_t scratch[64];
    std::ptrdiff_t stride = 0;
    const std::uint8_t* rows = planeBlock(plane.data(), width, height, x0, y0, scratch, stride);
    map(rows, stride, tables[cr ? 1 : 0].data(), block);
}

// A block's levels in the order of the form that made them (the DC before quantisation first)
// and the mask of the nonzero ones by scan position.
struct BlockLevels {
    alignas(64) std::int16_t levels[64];
    std::uint64_t nonzero;
};

// Codes one block whose samples were offset, twice the decoded samples, its level at scan
// position k being block.levels[order[k]]; pred is the component's DC predictor.
void putBlock(WordBitWriter& writer, const CodeIndex& index, const BlockLevels& block,
              const std::uint8_t* order, int offset, int& pred, bool chroma) {
    Cursor out = writer.open(blockRoom);
    // The mean of the samples with the offset, rounded (the sum is never negative).
    const int sum = block.levels[0] + 64 * (128 + offset);
    const int dc = std::clamp((sum + 32) >> 6, 0, 255);
    putDc(out, dc - pred, chroma);
    pred = dc;
    std::uint64_t nonzero = block.nonzero;
    for (int last = 0; nonzero != 0; nonzero &= nonzero - 1) {
        const int k = std::countr_zero(nonzero);
        putAc(out, index, k - last - 1, block.levels[order[k]]);
        last = k;
    }
    putCode(out, endOfBlock);
    writer.close(out);
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
    const Type4LevelTables tables(scale);
    const Type4Levels levels = type4Levels();
    const ByteMapForm map = mapBlock();
    WordBitWriter bits(dctFrameHeader(picture, quality, componentColour ? 2 : 0));
    const int w = picture.width, h = picture.height;
    const int cw = picture.chromaWidth(), ch = picture.chromaHeight();
    int predY = 0, predCb = 0, predCr = 0;
    for (int mby = 0; mby * 16 < h; ++mby) {
        for (int mbx = 0; mbx * 16 < w; ++mbx) {
            // All six blocks' levels before any is coded: the transforms have no branches and
            // overlap, where a mispredicted end of a block's codes would hold the next back.
            BlockLevels blocks[6];
            std::uint8_t scratch[64];
            std::ptrdiff_t stride = 0;
            for (int b = 0; b < 4; ++b) {
                const int x0 = mbx * 16 + (b & 1) * 8, y0 = mby * 16 + (b >> 1) * 8;
                const std::uint8_t* rows =
                    planeBlock(picture.y.data(), w, h, x0, y0, scratch, stride);
                blocks[b].nonzero = levels.form(rows, stride, tables, blocks[b].levels);
            }
            codedChromaBlock(picture.cb, cw, ch, mbx * 8, mby * 8, false, map, scratch);
            blocks[4].nonzero = levels.form(scratch, 8, tables, blocks[4].levels);
            codedChromaBlock(picture.cr, cw, ch, mbx * 8, mby * 8, true, map, scratch);
            blocks[5].nonzero = levels.form(scratch, 8, tables, blocks[5].levels);
            for (int b = 0; b < 4; ++b)
                putBlock(bits, index, blocks[b], levels.order, lumaOffset, predY, false);
            putBlock(bits, index, blocks[4], levels.order, 0, predCb, true);
            putBlock(bits, index, blocks[5], levels.order, 0, predCr, true);
        }
    }
    return bits.finish();
}
