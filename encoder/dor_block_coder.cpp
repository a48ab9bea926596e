#include "encoder/dor_block_coder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "encoder/dct_encoder.h"
#include "video/dct/dct_toolkit.h"
#include "video/dor/dor_decoder.h"
#include "encoder/rounding.h"

namespace {

constexpr int maxDcLevel = 127;
constexpr int maxEscapeLevel = 511; // the escape's level field is 10 bits, two's complement

// A code as a number and its length (0: no code).
struct Code {
    std::uint32_t bits = 0;
    int length = 0;
};

// Code bits (without the sign) of each run/level pair the table has, by run and level.
struct CodeTable {
    static constexpr int maxRun = 64, maxLevel = 41;
    Code codes[maxRun][maxLevel];
    CodeTable() {
        const DorCoefficientCode* table = dorCoefficientCodes();
        for (int i = 0; i < dorCoefficientCodeCount; ++i) {
            if (table[i].run >= maxRun || table[i].level >= maxLevel) continue;
            Code& code = codes[table[i].run][table[i].level];
            for (const char* c = table[i].bits; *c != '\0'; ++c)
                code.bits = (code.bits << 1) | (*c == '1' ? 1u : 0u), ++code.length;
        }
    }
};

// The code of the pair; length 0 when it has none (the escape codes it).
Code findCode(int run, int level) {
    static const CodeTable table;
    const int magnitude = std::abs(level);
    if (run >= CodeTable::maxRun || magnitude >= CodeTable::maxLevel) return {};
    return table.codes[run][magnitude];
}

int pairBits(int run, int level) {
    const Code code = findCode(run, level);
    return code.length != 0 ? code.length + 1 : 22;
}

} // namespace

void DorBitWriter::put(std::uint32_t value, int count) {
    // The last word is partly filled when bits_ is not a multiple of 16: top up its free low
    // bits, then start new words.
    while (count > 0) {
        const int used = static_cast<int>(bits_ % 16);
        if (used == 0) words_.push_back(0);
        const int take = std::min(count, 16 - used);
        const std::uint32_t part = (value >> (count - take)) & ((1u << take) - 1);
        words_.back() |= static_cast<std::uint16_t>(part << (16 - used - take));
        bits_ += static_cast<std::size_t>(take);
        count -= take;
    }
}

void DorBitWriter::put(const char* bits) {
    for (; *bits; ++bits) put(*bits == '1' ? 1 : 0, 1);
}

Bytes DorBitWriter::bytes() const {
    Bytes out;
    out.reserve(words_.size() * 2);
    for (std::uint16_t w : words_) {
        out.push_back(static_cast<std::uint8_t>(w));
        out.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    return out;
}

void writeDorSmallValue(DorBitWriter& out, int value) {
    value = std::clamp(value, -16, 16);
    if (value == 0)
        out.put(0, 1);
    else if (value > 0)
        out.put(0x20 | static_cast<std::uint32_t>(value - 1), 6);
    else
        out.put(0x30 | static_cast<std::uint32_t>(value + 16), 6);
}

int dorSmallValueBits(int value) {
    return value == 0 ? 1 : 6;
}

DorLevels quantiseDorBlock(const std::array<double, 64>& samples, const LONG dequant[64]) {
    const DctBlock f = forwardDct(samples);
    DorLevels levels{};
    // A coefficient of level l comes back as l × dequant / prescale (see the transform's scale).
    levels[0] = static_cast<int>(
        std::clamp(roundHalfAway(f[0] * prescale[0] / dequant[0]), -128L, long{maxDcLevel}));
    for (int p = 1; p < 64; ++p) {
        const int index = zigzag[p];
        if (dequant[index] <= 0) continue;
        const double exact = f[index] * prescale[index] / dequant[index];
        levels[p] = static_cast<int>(
            std::clamp(roundHalfAway(exact), -long{maxEscapeLevel}, long{maxEscapeLevel}));
    }
    return levels;
}

int dorBlockBits(const DorLevels& levels) {
    int bits = 8 + 2;
    int run = 0;
    for (int p = 1; p < 64; ++p) {
        if (levels[p] == 0) {
            ++run;
            continue;
        }
        bits += pairBits(run, levels[p]);
        run = 0;
    }
    return bits;
}

void writeDorBlock(DorBitWriter& out, const DorLevels& levels) {
    out.put(static_cast<std::uint32_t>(levels[0]) & 0xFF, 8);
    int run = 0;
    for (int p = 1; p < 64; ++p) {
        const int level = levels[p];
        if (level == 0) {
            ++run;
            continue;
        }
        if (const Code code = findCode(run, level); code.length != 0) {
            out.put((code.bits << 1) | (level < 0 ? 1 : 0), code.length + 1);
        } else {
            out.put(dorEscape);
            out.put(((static_cast<std::uint32_t>(level) & 0x3FF) << 6) |
                        static_cast<std::uint32_t>(run),
                    16);
        }
        run = 0;
    }
    out.put(dorEndOfBlock);
}

std::array<std::uint8_t, 64> reconstructDorBlock(const DorLevels& levels, const LONG dequant[64]) {
    LONG coeff[64] = {};
    int end = 1;
    coeff[0] = static_cast<LONG>(static_cast<std::uint32_t>(levels[0]) *
                                 static_cast<std::uint32_t>(dequant[0]));
    for (int p = 1; p < 64; ++p) {
        if (levels[p] == 0) continue;
        const int index = zigzag[p];
        coeff[index] = static_cast<LONG>(static_cast<std::uint32_t>(levels[p]) *
                                         static_cast<std::uint32_t>(dequant[index]));
        end = p + 1;
    }
    LONG samples[64];
    if (end == 1)
        std::fill(std::begin(samples), std::end(samples), coeff[0]);
    else
        idctBlock(coeff, samples, 8, 0);
    std::array<std::uint8_t, 64> out;
    for (int i = 0; i < 64; ++i)
        out[i] = static_cast<std::uint8_t>(std::clamp<LONG>((samples[i] >> 16) + 64, 0, 127));
    return out;
}
