// Type-4 bit reader, DC size codes and the AC run/level code.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "video/dct/dct_toolkit.h"
#include "video/dsp_table.h"
#include "video/type4/type4_decoder.h"

namespace {

using U32 = std::uint32_t;

} // namespace

// The AC run/level code: 111 pairs, each followed in the stream by a sign bit.
const Type4RunLevelCode type4RunLevelCodes[type4RunLevelCodeCount] = {
    {"11", 0, 1},
    {"011", 1, 1},
    {"0100", 0, 2},
    {"0101", 2, 1},
    {"00101", 0, 3},
    {"00111", 3, 1},
    {"00110", 4, 1},
    {"000110", 1, 2},
    {"000111", 5, 1},
    {"000101", 6, 1},
    {"000100", 7, 1},
    {"0000110", 0, 4},
    {"0000100", 2, 2},
    {"0000111", 8, 1},
    {"0000101", 9, 1},
    {"00100110", 0, 5},
    {"00100001", 0, 6},
    {"00100101", 1, 3},
    {"00100100", 3, 2},
    {"00100111", 10, 1},
    {"00100011", 11, 1},
    {"00100010", 12, 1},
    {"00100000", 13, 1},
    {"0000001010", 0, 7},
    {"0000001100", 1, 4},
    {"0000001011", 2, 3},
    {"0000001111", 4, 2},
    {"0000001001", 5, 2},
    {"0000001110", 14, 1},
    {"0000001101", 15, 1},
    {"0000001000", 16, 1},
    {"000000011101", 0, 8},
    {"000000011000", 0, 9},
    {"000000010011", 0, 10},
    {"000000010000", 0, 11},
    {"000000011011", 1, 5},
    {"000000010100", 2, 4},
    {"000000011100", 3, 3},
    {"000000010010", 4, 3},
    {"000000011110", 6, 2},
    {"000000010101", 7, 2},
    {"000000010001", 8, 2},
    {"000000011111", 17, 1},
    {"000000011010", 18, 1},
    {"000000011001", 19, 1},
    {"000000010111", 20, 1},
    {"000000010110", 21, 1},
    {"0000000011010", 0, 12},
    {"0000000011001", 0, 13},
    {"0000000011000", 0, 14},
    {"0000000010111", 0, 15},
    {"0000000010110", 1, 6},
    {"0000000010101", 1, 7},
    {"0000000010100", 2, 5},
    {"0000000010011", 3, 4},
    {"0000000010010", 5, 3},
    {"0000000010001", 9, 2},
    {"0000000010000", 10, 2},
    {"0000000011111", 22, 1},
    {"0000000011110", 23, 1},
    {"0000000011101", 24, 1},
    {"0000000011100", 25, 1},
    {"0000000011011", 26, 1},
    {"00000000011111", 0, 16},
    {"00000000011110", 0, 17},
    {"00000000011101", 0, 18},
    {"00000000011100", 0, 19},
    {"00000000011011", 0, 20},
    {"00000000011010", 0, 21},
    {"00000000011001", 0, 22},
    {"00000000011000", 0, 23},
    {"00000000010111", 0, 24},
    {"00000000010110", 0, 25},
    {"00000000010101", 0, 26},
    {"00000000010100", 0, 27},
    {"00000000010011", 0, 28},
    {"00000000010010", 0, 29},
    {"00000000010001", 0, 30},
    {"00000000010000", 0, 31},
    {"000000000011000", 0, 32},
    {"000000000010111", 0, 33},
    {"000000000010110", 0, 34},
    {"000000000010101", 0, 35},
    {"000000000010100", 0, 36},
    {"000000000010011", 0, 37},
    {"000000000010010", 0, 38},
    {"000000000010001", 0, 39},
    {"000000000010000", 0, 40},
    {"000000000011111", 1, 8},
    {"000000000011110", 1, 9},
    {"000000000011101", 1, 10},
    {"000000000011100", 1, 11},
    {"000000000011011", 1, 12},
    {"000000000011010", 1, 13},
    {"000000000011001", 1, 14},
    {"0000000000010011", 1, 15},
    {"0000000000010010", 1, 16},
    {"0000000000010001", 1, 17},
    {"0000000000010000", 1, 18},
    {"0000000000010100", 6, 3},
    {"0000000000011010", 11, 2},
    {"0000000000011001", 12, 2},
    {"0000000000011000", 13, 2},
    {"0000000000010111", 14, 2},
    {"0000000000010110", 15, 2},
    {"0000000000010101", 16, 2},
    {"0000000000011111", 27, 1},
    {"0000000000011110", 28, 1},
    {"0000000000011101", 29, 1},
    {"0000000000011100", 30, 1},
    {"0000000000011011", 31, 1},
};

namespace {

enum AcKind : std::uint8_t { acInvalid, acRunLevel, acEndOfBlock, acEscape };

struct AcEntry {
    AcKind kind;
    std::uint8_t length; // code bits, without the sign
    std::uint8_t run;
    std::uint8_t level;
};

// Codes are looked up by their number of leading zeros (0 to 11) and the bits after the first
// one; suffixWidth[z] is the longest such suffix among codes with z leading zeros.
constexpr int suffixWidth[12] = {1, 2, 5, 2, 2, 0, 3, 4, 4, 4, 4, 4};

struct AcTable {
    std::array<std::array<AcEntry, 32>, 12> groups{};
};

void addCode(AcTable& table, const char* bits, AcEntry entry) {
    const int length = static_cast<int>(std::strlen(bits));
    int zeros = 0;
    while (bits[zeros] == '0') ++zeros;
    const int suffixBits = length - zeros - 1;
    const int width = suffixWidth[zeros];
    int suffix = 0;
    for (int i = zeros + 1; i < length; ++i) suffix = suffix * 2 + (bits[i] - '0');
    entry.length = static_cast<std::uint8_t>(length);
    const int spread = 1 << (width - suffixBits);
    for (int i = 0; i < spread; ++i)
        table.groups[zeros][(suffix << (width - suffixBits)) + i] = entry;
}

const AcTable& acTable() {
    static const AcTable table = [] {
        AcTable t;
        addCode(t, type4EndOfBlock, {acEndOfBlock, 0, 0, 0});
        addCode(t, type4Escape, {acEscape, 0, 0, 0});
        for (const Type4RunLevelCode& c : type4RunLevelCodes) {
            addCode(t, c.bits,
                    {acRunLevel, 0, static_cast<std::uint8_t>(c.run),
                     static_cast<std::uint8_t>(c.level)});
        }
        return t;
    }();
    return table;
}

// Stream word i (little-endian), zeros where it passes the end of the data.
U32 streamWord(const BYTE* data, std::ptrdiff_t size, std::int64_t i) {
    const std::int64_t offset = i * 4;
    if (offset + 4 <= size) {
        U32 w;
        std::memcpy(&w, data + offset, 4);
        return w;
    }
    U32 w = 0;
    for (std::int64_t b = 0; b < 4; ++b) {
        if (offset + b < size) w |= U32{data[offset + b]} << (8 * b);
    }
    return w;
}

// A DC size and the length of its code.
struct DcSize {
    int size;
    int length;
};

// The DC size of a luma (chroma false) or chroma block from its size code at the top of w.
DcSize dcSizeOf(U32 w, bool chroma) {
    const int ones = std::countl_one(w);
    if (!chroma) {
        if (ones >= 7) return {0, 0}; // outside the code: size 0, nothing consumed
        if (ones == 0) return {static_cast<int>(w >> 30) + 1, 2};
        if (ones == 1) return {(w >> 29) == 0b100 ? 0 : 3, 3};
        return {ones + 2, ones + 1};
    }
    if (ones >= 8) return {0, 0};
    if (ones == 0) return {static_cast<int>(w >> 30), 2};
    return {ones + 1, ones + 1};
}

// Codes whose bits and sign fit in fastBits, and the end of block, by one lookup of the next
// fastBits bits: the run, the signed level and the bits taken with the sign. A zero length
// sends the rest (escape, long codes, bits that begin no code) to the group table.
constexpr int fastBits = 11;
// The run of the end of block's entry: it takes the scan position past the block.
constexpr int endOfBlockRun = 64;

struct FastEntry {
    std::int16_t level;
    std::uint8_t run;
    std::uint8_t length;
};

void fillFast(std::array<FastEntry, 1 << fastBits>& table, U32 prefix, int length,
              FastEntry entry) {
    entry.length = static_cast<std::uint8_t>(length);
    const int free = fastBits - length;
    for (U32 i = 0; i < (U32{1} << free); ++i) table[(prefix << free) | i] = entry;
}

const std::array<FastEntry, 1 << fastBits>& fastTable() {
    static const std::array<FastEntry, 1 << fastBits> table = [] {
        std::array<FastEntry, 1 << fastBits> t{};
        fillFast(t, 0b10, 2, {0, endOfBlockRun, 0});
        for (const Type4RunLevelCode& c : type4RunLevelCodes) {
            const int length = static_cast<int>(std::strlen(c.bits));
            if (length + 1 > fastBits) continue;
            U32 code = 0;
            for (int i = 0; i < length; ++i) code = code * 2 + U32(c.bits[i] - '0');
            const auto run = static_cast<std::uint8_t>(c.run);
            fillFast(t, code << 1, length + 1, {static_cast<std::int16_t>(c.level), run, 0});
            fillFast(t, code << 1 | 1, length + 1, {static_cast<std::int16_t>(-c.level), run, 0});
        }
        return t;
    }();
    return table;
}

// The pair table, built from the single-code table, and the bits of each entry's codes.
struct PairTables {
    std::array<Type4CodePair, 1 << type4PairBits> pairs{};
    std::array<std::uint8_t, 1 << type4PairBits> lengths{};
};

PairTables buildPairTables() {
    constexpr int pairBits = type4PairBits;
    const auto& fast = fastTable();
    // The code at the top of the pairBits-bit value v, from the single-code table.
    auto codeAt = [&](U32 v) { return fast[v >> (pairBits - fastBits)]; };
    PairTables t;
    for (U32 v = 0; v < (U32{1} << pairBits); ++v) {
        const FastEntry first = codeAt(v);
        if (first.length == 0) continue;
        const bool firstEnd = first.run == endOfBlockRun;
        const int len1 = first.length;
        Type4CodePair e{first.level, first.level,
                        static_cast<std::uint8_t>(firstEnd ? type4PairEndOfBlock : first.run + 1),
                        0, static_cast<std::uint8_t>(len1)};
        int length = len1;
        const int rest = pairBits - len1;
        if (!firstEnd && rest >= 2) {
            // The bits after the first code, padded with zeros: only a code that lies whole
            // within them is taken.
            const U32 after = (v << len1) & ((U32{1} << pairBits) - 1);
            const FastEntry second = codeAt(after);
            const bool secondEnd = second.run == endOfBlockRun;
            if (second.length != 0 && second.length <= rest) {
                e.level2 = secondEnd ? first.level : second.level;
                e.step2 =
                    static_cast<std::uint8_t>(secondEnd ? type4PairEndOfBlock : second.run + 1);
                length = len1 + second.length;
            }
        }
        t.pairs[v] = e;
        t.lengths[v] = static_cast<std::uint8_t>(length);
    }
    return t;
}

const PairTables& pairTables() {
    static const PairTables tables = buildPairTables();
    return tables;
}

// DC size and code length for every value of the next eight bits (enough for the longest
// size code), luma then chroma.
struct DcEntry {
    std::uint8_t size;
    std::uint8_t length;
};

const std::array<std::array<DcEntry, 256>, 2>& dcTable() {
    static const std::array<std::array<DcEntry, 256>, 2> table = [] {
        std::array<std::array<DcEntry, 256>, 2> t{};
        for (int chroma = 0; chroma < 2; ++chroma) {
            for (U32 v = 0; v < 256; ++v) {
                const DcSize dc = dcSizeOf(v << 24, chroma != 0);
                t[chroma][v] = {static_cast<std::uint8_t>(dc.size),
                                static_cast<std::uint8_t>(dc.length)};
            }
        }
        return t;
    }();
    return table;
}

} // namespace

// The code tables a frame reads with, fetched once.
struct Type4Tables {
    const std::array<std::array<DcEntry, 256>, 2>& dc = dcTable();
    const std::array<FastEntry, 1 << fastBits>& fast = fastTable();
    const Type4CodePair* pairs = type4CodePairs();
    const std::uint8_t* pairLengths = type4CodePairLengths();
    const AcTable& groups = acTable();
};

namespace {

// Reads one block's DC difference and AC codes into coeff (zero on entry), updating pred;
// scanQuant holds the quantiser in scan order. Returns the scan position of the last AC
// coefficient, 0 when there is none (a flat block).
QZ_ALWAYS_INLINE int readBlock(const Type4Tables& tables, Type4Bits& stream, bool chroma,
                               const LONG* scanQuant, LONG& pred, LONG* coeff) {
    // A local copy, so the coefficient stores cannot make the compiler keep the window in
    // memory.
    Type4Bits bits = stream;
    bits.fill();
    // The size code and the difference bits (at most 8 + 8) come from one look at the stream,
    // without branches: a size of 0 gives a difference of 0.
    const U32 first = bits.peek();
    const DcEntry dc = tables.dc[chroma][first >> 24];
    const int size = dc.size;
    const std::uint64_t after = std::uint64_t{first} << (32 + dc.length);
    const auto m = static_cast<U32>((after >> (63 - size)) >> 1);
    const U32 top = (U32{1} << size) >> 1;
    const U32 diff = (m & top) != 0 ? m : m - ((U32{1} << size) - 1);
    pred = static_cast<LONG>(static_cast<U32>(pred) + diff);
    bits.skip(dc.length + size);
    coeff[0] = static_cast<LONG>(static_cast<U32>(pred) * static_cast<U32>(scanQuant[0]));

    const auto& fast = tables.fast;
    const AcTable& table = tables.groups;
    const Type4CodePair* const pairs = tables.pairs;
    const std::uint8_t* const pairLengths = tables.pairLengths;
    int k = 0;
    for (;;) {
        bits.fill();
        // By reference: each field is then a load of its own, not an extract from one load.
        const U32 looked = bits.top(type4PairBits);
        const Type4CodePair& p = pairs[looked];
        if (p.len1 != 0) {
            // One or two codes; the end of block, or a run past the last position, ends the
            // block after the code's bits.
            const int first = k + p.step1;
            if (first >= dctBlockSize) {
                bits.skip(p.len1);
                break;
            }
            const int at = zigzag[first];
            coeff[at] = static_cast<LONG>(static_cast<U32>(LONG{p.level1}) *
                                          static_cast<U32>(scanQuant[first]));
            bits.skip(pairLengths[looked]);
            k = first + p.step2;
            if (k >= dctBlockSize) { // the second code ends the block
                k = first;
                break;
            }
            const int at2 = zigzag[k];
            coeff[at2] = static_cast<LONG>(static_cast<U32>(LONG{p.level2}) *
                                           static_cast<U32>(scanQuant[k]));
            continue;
        }
        const U32 w = bits.peek();
        const FastEntry f = fast[w >> (32 - fastBits)];
        LONG level;
        int run;
        if (f.length != 0) {
            bits.skip(f.length);
            run = f.run;
            level = f.level;
        } else {
            const int zeros = std::countl_zero(w);
            if (zeros >= 12) break; // twelve zeros begin no code: the block ends, nothing consumed
            const int width = suffixWidth[zeros];
            const U32 suffix = width ? (w << (zeros + 1)) >> (32 - width) : 0;
            const AcEntry& e = table.groups[zeros][suffix];
            if (e.kind == acInvalid) break;
            if (e.kind == acEndOfBlock) { // a short code: never reached, the fast table has it
                bits.skip(2);
                break;
            }
            if (e.kind == acEscape) {
                bits.skip(6);
                run = static_cast<int>(bits.read(6));
                const U32 field = bits.read(8);
                if (field == 0) {
                    level = static_cast<LONG>(bits.read(8));
                } else if (field == 128) {
                    level = static_cast<LONG>(bits.read(8)) - 256;
                } else {
                    level = field < 128 ? static_cast<LONG>(field) : static_cast<LONG>(field) - 256;
                }
            } else {
                // The sign bit follows the code within the word already peeked (codes are at
                // most 16 bits).
                const bool negative = (w >> (31 - e.length)) & 1;
                bits.skip(e.length + 1);
                run = e.run;
                level = negative ? -LONG{e.level} : LONG{e.level};
            }
        }
        const int next = k + run + 1;
        if (next >= dctBlockSize) break; // a run past the last position ends the block
        k = next;
        coeff[zigzag[k]] =
            static_cast<LONG>(static_cast<U32>(level) * static_cast<U32>(scanQuant[k]));
    }
    stream = bits;
    return k;
}

// Fills a block without AC coefficients with its one sample.
void fillFlatBlock(const LONG* coeff, LONG* dest, int stride) {
    const LONG sample = coeff[0] >> 17;
    const LONG row[8] = {sample, sample, sample, sample, sample, sample, sample, sample};
    for (int n = 0; n < 8; ++n) std::memcpy(dest + n * stride, row, sizeof row);
}

// Zeroes the coefficients a block read wrote (last: its last AC scan position, 0 for none).
void clearBlock(LONG* coeff, int last) {
    if (last <= lowBlockLastScan) {
        clearLowBlock(coeff);
        return;
    }
    // Whole: a few wide stores cost less than a loop over the written positions.
    clearCoefficients(coeff);
}

// Samples of a block read into coeff, which is left zero again.
bool storeBlock(LONG* coeff, int last, LONG* dest, int stride) {
    if (last == 0)
        fillFlatBlock(coeff, dest, stride);
    else
        idctBlock(coeff, dest, stride, 17);
    clearBlock(coeff, last);
    return last == 0;
}

void scanOrder(const LONG* quant, LONG* scanQuant) {
    for (int k = 0; k < dctBlockSize; ++k) scanQuant[k] = quant[zigzag[k]];
}

// The bit position to keep in the state: past the data every bit is zero, so a position a
// little beyond its end reads the same.
LONG keptPosition(std::int64_t pos, std::ptrdiff_t size) {
    const std::int64_t limit = std::min<std::int64_t>(std::int64_t{size} * 8 + 64, 0x7FFFFFFF);
    return static_cast<LONG>(pos < limit ? pos : limit);
}

std::ptrdiff_t dataSize(const VideoState* video) {
    const BYTE* data = video->dct.type4BitBase;
    return video->frameDataEnd != nullptr && video->frameDataEnd > data ? video->frameDataEnd - data
                                                                        : 0;
}

} // namespace

const Type4CodePair* type4CodePairs() {
    return pairTables().pairs.data();
}

const std::uint8_t* type4CodePairLengths() {
    return pairTables().lengths.data();
}

std::uint32_t peekType4Bits(const BYTE* data, std::ptrdiff_t size, std::int64_t pos) {
    Type4Bits bits(data, size, pos);
    bits.fill();
    return bits.peek();
}

void resetType4Frame(VideoState* video, const BYTE* data) {
    video->dct.type4BitBase = data;
    video->dct.type4BitPos = 0;
    video->dct.dcPredY = 0;
    video->dct.dcPredCb = 0;
    video->dct.dcPredCr = 0;
}

std::uint32_t Type4Bits::word(std::int64_t i) const {
    return streamWord(data_, size_, i);
}

Type4Bits::Type4Bits(const BYTE* data, std::ptrdiff_t size, std::int64_t pos)
    : data_(data), size_(size), next_(pos >> 5) {
    fill();
    skip(static_cast<int>(pos & 31));
}

void decodeType4Block(VideoState* video, int component, LONG* dest, int stride, bool* flat) {
    const std::ptrdiff_t size = dataSize(video);
    Type4Bits bits(video->dct.type4BitBase, size, video->dct.type4BitPos);
    LONG& pred = component == 0 ? video->dct.dcPredY
                                : (component == 1 ? video->dct.dcPredCb : video->dct.dcPredCr);
    LONG coeff[dctBlockSize] = {};
    LONG scanQuant[dctBlockSize];
    scanOrder(video->dct.type4Quant, scanQuant);
    const Type4Tables tables;
    const int last = readBlock(tables, bits, component != 0, scanQuant, pred, coeff);
    video->dct.type4BitPos = keptPosition(bits.pos(), size);
    const bool isFlat = storeBlock(coeff, last, dest, stride);
    if (flat != nullptr) *flat = isFlat;
}

Type4Stream::Type4Stream(VideoState* video)
    : video_(video), size_(dataSize(video)),
      bits_(video->dct.type4BitBase, size_, video->dct.type4BitPos), pred_{video->dct.dcPredY,
                                                                           video->dct.dcPredCb,
                                                                           video->dct.dcPredCr} {
    static const Type4Tables tables;
    tables_ = &tables;
    dsp_ = &videoDsp();
    scanOrder(video->dct.type4Quant, scanQuant_);
}

void Type4Stream::macroblock(MacroblockPlanes& planes, bool flat[6]) {
    LONG* const dests[6] = {planes.luma,       planes.luma + 8, planes.luma + 128,
                            planes.luma + 136, planes.cb,       planes.cr};
    // All six blocks are read before any is transformed: the transform's wide loads then do not
    // wait for the coefficient stores just made.
    int last[6];
    const Type4Tables& tables = *tables_;
    for (int b = 0; b < 6; ++b) {
        const int component = b < 4 ? 0 : b - 3;
        last[b] = readBlock(tables, bits_, component != 0, scanQuant_, pred_[component], coeff_[b]);
    }
    // Flat blocks are filled, those of the first two AC coefficients at most go through the
    // low-block form; the others are transformed two at a time.
    int pending[6], waiting = 0;
    for (int b = 0; b < 6; ++b) {
        flat[b] = last[b] == 0;
        if (flat[b])
            fillFlatBlock(coeff_[b], dests[b], b < 4 ? 16 : 8);
        else if (last[b] <= lowBlockLastScan)
            idctLowBlock(coeff_[b], dests[b], b < 4 ? 16 : 8, 17);
        else
            pending[waiting++] = b;
    }
    int i = 0;
    for (; i + 1 < waiting; i += 2) {
        const int a = pending[i], b = pending[i + 1];
        dsp_->idctBlockPair(coeff_[a], coeff_[b], dests[a], dests[b], a < 4 ? 16 : 8,
                            b < 4 ? 16 : 8, 17);
    }
    if (i < waiting)
        dsp_->idctBlock(coeff_[pending[i]], dests[pending[i]], pending[i] < 4 ? 16 : 8, 17);
    for (int b = 0; b < 6; ++b) clearBlock(coeff_[b], last[b]);
}

void Type4Stream::finish() {
    video_->dct.type4BitPos = keptPosition(bits_.pos(), size_);
    video_->dct.dcPredY = pred_[0];
    video_->dct.dcPredCb = pred_[1];
    video_->dct.dcPredCr = pred_[2];
}
