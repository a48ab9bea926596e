// DOR bit reader, the small code, the coefficient code lookup and block coefficients.
#include <cstring>

#include "video/dct/dct_toolkit.h"
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

// The bit reader held in locals while a block or value is decoded.
struct BitReader {
    U32 window;
    int count;
    const BYTE* next;
    const BYTE* end;

    explicit BitReader(const PlayerContext* ctx)
        : window(ctx->dorBitWindow), count(ctx->dorBitCount), next(ctx->dorNextWord),
          end(ctx->frameDataEnd) {}
    void store(PlayerContext* ctx) const {
        ctx->dorBitWindow = window;
        ctx->dorBitCount = count;
        ctx->dorNextWord = next;
    }
    // The next little-endian word, zeros at and past the end of the data.
    U32 load() {
        const std::ptrdiff_t left = next == nullptr ? 0 : end - next;
        if (left >= 2) {
            const U32 w = next[0] | (U32{next[1]} << 8);
            next += 2;
            return w;
        }
        if (left == 1) return *next++;
        return 0;
    }
    void skip(int n) {
        window <<= n;
        count -= n;
        if (count < 16) {
            window |= load() << (16 - count);
            count += 16;
        }
    }
};

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

void startDorFrame(PlayerContext* ctx, const BYTE* bitstream, LONG q) {
    codeTables();
    ctx->dorNextWord = bitstream;
    ctx->dorBitWindow = 0;
    ctx->dorBitCount = 0;
    BitReader bits(ctx);
    bits.window = bits.load() << 16;
    bits.window |= bits.load();
    bits.count = 32;
    bits.store(ctx);
    buildDorDequant(ctx->dorDequant, q);
}

void skipDorBits(PlayerContext* ctx, int n) {
    BitReader bits(ctx);
    bits.skip(n);
    bits.store(ctx);
}

LONG readDorSmallValue(PlayerContext* ctx) {
    BitReader bits(ctx);
    LONG value = 0;
    if ((bits.window >> 31) == 0) {
        bits.skip(1);
    } else {
        const U32 code = bits.window >> 26;
        value =
            (code & 0x10) ? static_cast<LONG>(code & 15) - 16 : static_cast<LONG>(code & 15) + 1;
        bits.skip(6);
    }
    bits.store(ctx);
    return value;
}

int readDorCoefficients(PlayerContext* ctx) {
    const CodeTables& tables = codeTables();
    BitReader bits(ctx);
    LONG* coeff = ctx->dorCoeff;
    const LONG* dequant = ctx->dorDequant;
    const auto dc = static_cast<std::int8_t>(bits.window >> 24);
    coeff[0] = static_cast<LONG>(static_cast<U32>(dc) * static_cast<U32>(dequant[0]));
    bits.skip(8);
    std::memset(coeff + 1, 0, sizeof(LONG) * (dctBlockSize - 1));
    int p = 1;
    for (;;) {
        U32 entry = static_cast<U32>(tables.primary[bits.window >> (32 - primaryBits)]);
        U32 kind = entry & 0xFF;
        if (kind == kindEndOfBlock) {
            bits.skip(2);
            break;
        }
        if (kind == kindEscape) {
            bits.skip(6);
            const U32 field = bits.window >> 16;
            bits.skip(16);
            entry = ((field & 0xFFC0) << 16) | ((field & 0x3F) << 16);
        } else if (kind == kindFirstSecondary || kind == kindSecondSecondary) {
            bits.skip(kind == kindFirstSecondary ? firstSecondaryPrefix : secondSecondaryPrefix);
            const LONG* table =
                kind == kindFirstSecondary ? tables.firstSecondary : tables.secondSecondary;
            entry = static_cast<U32>(table[bits.window >> (32 - secondaryBits)]);
            if ((entry & 0xFF) == 0) break; // bits that begin no code end the block
            bits.skip(static_cast<int>(entry & 0xFF));
        } else if (kind == 0) {
            break;
        } else {
            bits.skip(static_cast<int>(kind));
        }
        p += static_cast<int>((entry >> 16) & 0x3F);
        if (p >= dctBlockSize) break; // a run past the last position ends the block
        const int index = zigzag[p];
        const LONG level = static_cast<LONG>(entry) >> 22;
        coeff[index] =
            static_cast<LONG>(static_cast<U32>(level) * static_cast<U32>(dequant[index]));
        ++p;
    }
    bits.store(ctx);
    return p;
}

void storeDorBlock(const PlayerContext* ctx, LONG* dest, int stride, bool flat) {
    if (!flat) {
        idctBlock(ctx->dorCoeff, dest, stride, 0);
        return;
    }
    const LONG dc = ctx->dorCoeff[0];
    for (int n = 0; n < 8; ++n)
        for (int m = 0; m < 8; ++m) dest[n * stride + m] = dc;
}
