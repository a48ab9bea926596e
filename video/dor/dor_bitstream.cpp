// DOR bit reader, the small code, the coefficient code lookup, block coefficients and the
// reading of a whole macroblock.
#include <cstring>

#include "video/dct/dct_toolkit.h"
#include "video/dor/dor_bit_reader.h"
#include "video/dor/dor_decoder.h"
#include "video/type4/type4_decoder.h"

namespace {

using U32 = std::uint32_t;

// Lookup entries: level in the top 10 bits (signed), run in the next 6, and in the low byte a
// code length or, in the primary table, one of the kinds below. 0 marks bits that begin no code.
constexpr U32 kindFirstSecondary = 15; // nine zeros: look up the first secondary table
constexpr U32 kindSecondSecondary = 31;
constexpr U32 kindEscape = 47;
constexpr U32 kindEndOfBlock = 63;
constexpr int primaryBits = 9;
constexpr int secondaryBits = 8;
constexpr int firstSecondaryPrefix = 9; // zeros skipped before the first secondary lookup
constexpr int secondSecondaryPrefix = 6;

struct CodeTables {
    const Type4CodePair* pairs;
    const std::uint8_t* pairLengths;
    LONG primary[1 << primaryBits];
    LONG firstSecondary[1 << secondaryBits];
    LONG secondSecondary[1 << secondaryBits];
};

LONG packEntry(int level, int run, int length) {
    return static_cast<LONG>((static_cast<U32>(level) << 22) | (static_cast<U32>(run) << 16) |
                             static_cast<U32>(length));
}

// Enters the code bits (with its sign) of length bits in a table indexed by width bits.
void enter(LONG* table, int width, U32 code, int length, LONG entry) {
    const int spare = width - length;
    for (U32 i = 0; i < (U32{1} << spare); ++i) table[(code << spare) | i] = entry;
}

CodeTables buildTables() {
    CodeTables t{};
    t.pairs = type4CodePairs();
    t.pairLengths = type4CodePairLengths();
    for (U32 i = 0; i < (1u << primaryBits); ++i) {
        if (i == 0)
            t.primary[i] = static_cast<LONG>(kindFirstSecondary);
        else if (i < 8)
            t.primary[i] = static_cast<LONG>(kindSecondSecondary);
        else if ((i >> 3) == 1)
            t.primary[i] = static_cast<LONG>(kindEscape);
        else if ((i >> 7) == 2)
            t.primary[i] = static_cast<LONG>(kindEndOfBlock);
    }
    const DorCoefficientCode* codes = dorCoefficientCodes();
    for (int c = 0; c < dorCoefficientCodeCount; ++c) {
        const int bits = static_cast<int>(std::strlen(codes[c].bits));
        U32 value = 0;
        for (int i = 0; i < bits; ++i) value = value * 2 + U32(codes[c].bits[i] == '1');
        for (U32 sign = 0; sign < 2; ++sign) {
            const int length = bits + 1;
            const U32 code = value * 2 + sign;
            const int level = sign ? -codes[c].level : codes[c].level;
            int zeros = 0;
            while (zeros < length && ((code >> (length - 1 - zeros)) & 1) == 0) ++zeros;
            if (zeros >= firstSecondaryPrefix) {
                const int rest = length - firstSecondaryPrefix;
                enter(t.firstSecondary, secondaryBits, code & ((1u << rest) - 1), rest,
                      packEntry(level, codes[c].run, rest));
            } else if (zeros >= secondSecondaryPrefix) {
                const int rest = length - secondSecondaryPrefix;
                enter(t.secondSecondary, secondaryBits, code & ((1u << rest) - 1), rest,
                      packEntry(level, codes[c].run, rest));
            } else {
                enter(t.primary, primaryBits, code, length, packEntry(level, codes[c].run, length));
            }
        }
    }
    return t;
}

// Built on first use; the initialisation of a function-local static is thread-safe.
const CodeTables& codeTables() {
    static const CodeTables tables = buildTables();
    return tables;
}

} // namespace

const DorCoefficientCode* dorCoefficientCodes() {
    static_assert(sizeof(DorCoefficientCode) == sizeof(Type4RunLevelCode));
    static_assert(dorCoefficientCodeCount == type4RunLevelCodeCount);
    static const auto codes = [] {
        static DorCoefficientCode table[dorCoefficientCodeCount];
        for (int i = 0; i < dorCoefficientCodeCount; ++i)
            table[i] = {type4RunLevelCodes[i].bits, type4RunLevelCodes[i].run,
                        type4RunLevelCodes[i].level};
        return table;
    }();
    return codes;
}

void buildDorDequant(LONG* dequant, LONG q) {
    // H(x): x / 65536 with halves rounded up.
    auto h = [](std::int64_t x) { return static_cast<LONG>((x >> 16) + ((x >> 15) & 1)); };
    dequant[0] = h(std::int64_t{prescale[0]} * intraWeights[0] * 32768);
    for (int k = 1; k < dctBlockSize; ++k)
        dequant[k] = h(std::int64_t{prescale[k]} * (std::int64_t{intraWeights[k]} * q * 4096));
}

DorBitReader::DorBitReader(const VideoState* video)
    : bits(std::uint64_t{video->dor.bitWindow} << 32), count(video->dor.bitCount),
      left(video->dor.nextWord == nullptr ? 0 : video->frameDataEnd - video->dor.nextWord),
      end(video->dor.nextWord == nullptr ? nullptr : video->frameDataEnd), startLeft(left),
      startCount(count) {}

std::uint32_t DorBitReader::tailPair(const BYTE* end, std::ptrdiff_t left) {
    BYTE b[4] = {};
    for (std::ptrdiff_t i = 0; i < left; ++i) b[i] = end[i - left];
    return loadPair(b);
}

void DorBitReader::store(VideoState* video) {
    if (left == startLeft && count == startCount) return; // nothing used
    refill();
    // The state's reader loads one word whenever fewer than 16 bits remain, so it holds
    // 16 to 31 bits: as many as are valid here modulo 16, the rest not yet loaded.
    const int held = 16 + (count & 15);
    video->dor.bitCount = held;
    video->dor.bitWindow = static_cast<U32>(bits >> 32) & ~(0xFFFFFFFFu >> held);
    const std::ptrdiff_t unloaded = left + (count - held) / 8;
    video->dor.nextWord = unloaded > 0 ? end - unloaded : end;
}

void dorDequantInScanOrder(const LONG* dequant, LONG* dequantScan) {
    for (int p = 0; p < dctBlockSize; ++p) dequantScan[p] = dequant[zigzag[p]];
}

void startDorFrame(VideoState* video, const BYTE* bitstream, LONG q) {
    codeTables();
    video->dor.nextWord = bitstream;
    video->dor.bitWindow = 0;
    video->dor.bitCount = 0;
    DorBitReader bits(video);
    bits.refill();
    video->dor.bitWindow = bits.peek();
    video->dor.bitCount = 32;
    video->dor.nextWord = bits.left > 0 ? bits.end - bits.left : bits.end;
    buildDorDequant(video->dor.dequant, q);
}

void skipDorBits(VideoState* video, int n) {
    DorBitReader bits(video);
    bits.refill();
    bits.skip(n);
    bits.store(video);
}

LONG readDorSmallValue(VideoState* video) {
    DorBitReader bits(video);
    const LONG value = bits.smallValue();
    bits.store(video);
    return value;
}

namespace {

// One block's coefficients; the reader is the caller's local copy, kept in registers.
QZ_ALWAYS_INLINE int decodeBlock(DorBitReader& bits, const CodeTables& tables,
                                 const LONG* dequantScan, LONG* coeff) {
    bits.refill();
    const auto dc = static_cast<std::int8_t>(bits.bits >> 56);
    coeff[0] = static_cast<LONG>(static_cast<U32>(dc) * static_cast<U32>(dequantScan[0]));
    bits.skip(8);
    int p = 1;
    const Type4CodePair* const pairs = tables.pairs;
    const std::uint8_t* const pairLengths = tables.pairLengths;
    for (;;) {
        bits.refill();
        // The common short codes one or two at a time (the code set is type 4's).
        // By reference: each field is then a load of its own, not an extract from one load.
        const auto looked = static_cast<std::size_t>(bits.bits >> (64 - type4PairBits));
        const Type4CodePair& two = pairs[looked];
        if (two.len1 != 0) {
            const int first = p + two.step1 - 1;
            if (first >= dctBlockSize) { // the end of block, or a run past the last position
                bits.skip(two.len1);
                return two.step1 == type4PairEndOfBlock ? p : first;
            }
            coeff[zigzag[first]] = static_cast<LONG>(static_cast<U32>(LONG{two.level1}) *
                                                     static_cast<U32>(dequantScan[first]));
            bits.skip(pairLengths[looked]);
            const int second = first + two.step2;
            if (second >= dctBlockSize)
                return two.step2 == type4PairEndOfBlock ? first + 1 : second;
            coeff[zigzag[second]] = static_cast<LONG>(static_cast<U32>(LONG{two.level2}) *
                                                      static_cast<U32>(dequantScan[second]));
            p = second + 1;
            continue;
        }
        U32 entry = static_cast<U32>(tables.primary[bits.bits >> (64 - primaryBits)]);
        U32 length = entry & 0xFF;
        if (length > primaryBits) { // not a short code: one of the kinds
            if (length == kindEndOfBlock) {
                bits.skip(2);
                break;
            }
            if (length == kindEscape) {
                bits.skip(6);
                const auto field = static_cast<U32>(bits.bits >> 48);
                bits.skip(16);
                entry = ((field & 0xFFC0) << 16) | ((field & 0x3F) << 16);
            } else {
                const bool first = length == kindFirstSecondary;
                bits.skip(first ? firstSecondaryPrefix : secondSecondaryPrefix);
                const LONG* table = first ? tables.firstSecondary : tables.secondSecondary;
                entry = static_cast<U32>(table[bits.bits >> (64 - secondaryBits)]);
                length = entry & 0xFF;
                if (length == 0) break; // bits that begin no code end the block
                bits.skip(static_cast<int>(length));
            }
        } else if (length == 0) {
            break;
        } else {
            bits.skip(static_cast<int>(length));
        }
        p += static_cast<int>((entry >> 16) & 0x3F);
        if (p >= dctBlockSize) break; // a run past the last position ends the block
        const LONG level = static_cast<LONG>(entry) >> 22;
        coeff[zigzag[p]] =
            static_cast<LONG>(static_cast<U32>(level) * static_cast<U32>(dequantScan[p]));
        ++p;
    }
    return p;
}

} // namespace

void readDorMacroblock(DorBitReader& reader, bool motion, const LONG* dequantScan,
                       DorMacroblockCodes& codes) {
    const CodeTables& tables = codeTables();
    DorBitReader bits = reader;
    codes.predicted = 0;
    codes.motion.dx = 0;
    codes.motion.dy = 0;
    if (motion) {
        bits.refill();
        const U32 window = bits.peek();
        bool vector = true;
        if (window >> 31) { // 1: all six blocks predicted
            bits.skip(1);
            codes.predicted = 0x3F;
        } else if ((window >> 30) == 1) { // 01 and six block bits, block 0 the last
            codes.predicted = (window >> 24) & 0x3F;
            bits.skip(8);
        } else { // 00: all intra, no vector
            bits.skip(2);
            vector = false;
        }
        if (vector) {
            codes.motion.dx = bits.smallValue();
            codes.motion.dy = bits.smallValue();
        }
    }
    for (int k = 0; k < 6; ++k) {
        if (codes.predicted & (1u << k))
            codes.motion.offsets[k] = bits.smallValue();
        else
            codes.ends[k] = decodeBlock(bits, tables, dequantScan, codes.coeff[k]);
    }
    reader = bits;
}

int readDorCoefficients(VideoState* video) {
    LONG dequantScan[dctBlockSize];
    dorDequantInScanOrder(video->dor.dequant, dequantScan);
    std::memset(video->dor.coeff, 0, sizeof video->dor.coeff);
    DorBitReader bits(video);
    const int p = decodeBlock(bits, codeTables(), dequantScan, video->dor.coeff);
    bits.store(video);
    return p;
}

void storeDorBlock(const VideoState* video, LONG* dest, int stride, bool flat) {
    if (flat)
        fillDorBlock(dest, stride, video->dor.coeff[0]);
    else
        idctBlock(video->dor.coeff, dest, stride, 0);
}

void fillDorBlock(LONG* dest, int stride, LONG value) {
    for (int n = 0; n < 8; ++n)
        for (int m = 0; m < 8; ++m) dest[n * stride + m] = value;
}
