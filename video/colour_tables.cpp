#include "video/colour_tables.h"

#include <algorithm>
#include <atomic>
#include <cstdint>

alignas(64) LONG colourTableBlock[colourTableEntries];
alignas(64) LONG yLanes[128];
alignas(64) LONG uLanes[128];
alignas(64) LONG vLanes[128];
alignas(64) LONG redLevels[yuvLevelEntries];
alignas(64) LONG greenLevels[yuvLevelEntries];
alignas(64) LONG blueLevels[yuvLevelEntries];

namespace {

// Fixed-point chroma factors, scaled by 65536.
constexpr int greenFromU = -22550;
constexpr int blueFromU = 116129;
constexpr int redFromV = 91881;
constexpr int greenFromV = -46799;

// The pixel format and gamma of the last build; refreshColourTables compares against them.
PixelFormat builtFormat{};
LONG builtGamma = 0;
bool tablesBuilt = false;
// Compared by decoders on any thread (qztool frames decodes on several).
std::atomic<std::uint32_t> generation{0};

// round(s × k / 65536), halves rounded up.
int chromaProduct(int s, int k) {
    return (s * k + 32768) >> 16;
}

// The signed value whose bit pattern is 2n + 1: entry n of a 128-entry table stands for it.
int tableSample(int n) {
    return static_cast<std::int8_t>(2 * n + 1);
}

// Channel widths outside 0..24 bits cannot come from a display mask; they are limited so that
// no shift below goes out of range.
int channelBits(LONG bits) {
    return static_cast<int>(std::clamp<LONG>(bits, 0, 24));
}

std::uint32_t channelMask(int n) {
    return (std::uint32_t{1} << n) - 1;
}

// value's low bits under mask, moved up by shift; nothing when shift leaves the word.
std::uint32_t place(std::int64_t value, std::uint32_t mask, std::int64_t shift) {
    if (shift < 0 || shift > 31) return 0;
    return (static_cast<std::uint32_t>(value) & mask) << shift;
}

// c on the 8-bit scale brought to n bits, truncated toward zero.
std::int64_t scaleTruncated(std::int64_t c, int n) {
    return n <= 8 ? c / (std::int64_t{1} << (8 - n)) : c * (std::int64_t{1} << (n - 8));
}

// c on the 8-bit scale brought to n bits, rounded half away from zero.
std::int64_t scaleRounded(std::int64_t c, int n) {
    if (n >= 8) return scaleTruncated(c, n);
    const std::int64_t half = std::int64_t{1} << (7 - n);
    return scaleTruncated(c >= 0 ? c + half : c - half, n);
}

// Two 16-bit pixels of one colour (red, green, blue on the 8-bit scale, signed): the rounded
// value in the low half, the truncated one in the high half. A negative channel keeps its low
// bits and borrows one from the channel above, so the word is the true sum of its channels and
// entries of different tables can simply be added.
LONG packedPixelPair(const PixelFormat& f, const int colour[3]) {
    const LONG shifts[3] = {f.redShift, f.greenShift, f.blueShift};
    const int bits[3] = {channelBits(f.redBits), channelBits(f.greenBits), channelBits(f.blueBits)};
    std::int64_t high[3];
    std::int64_t low[3];
    for (int i = 0; i < 3; ++i) {
        const std::int64_t limit = channelMask(bits[i]);
        high[i] = scaleTruncated(colour[i], bits[i]);
        low[i] = scaleRounded(colour[i], bits[i]);
        low[i] = colour[i] >= 0 ? std::min(low[i], limit) : std::max(low[i], -limit);
    }
    if (low[2] < 0) --low[1];
    if (low[1] < 0) --low[0];
    if (low[0] < 0) --high[2];
    if (high[2] < 0) --high[1];
    if (high[1] < 0) --high[0];

    std::uint32_t entry = 0;
    for (int i = 0; i < 3; ++i) {
        const std::uint32_t mask = channelMask(bits[i]);
        entry |= place(low[i], mask, shifts[i]);
        entry |= place(high[i], mask, std::int64_t{shifts[i]} + 16);
    }
    if (std::int64_t{f.redBits} + f.greenBits + f.blueBits != 16) entry |= 0x80008000u;
    return static_cast<LONG>(entry);
}

// One 0xAARRGGBB word from signed bytes; negative bytes borrow from the byte above.
LONG packedWord(int a, int r, int g, int b) {
    const std::uint32_t sum = (static_cast<std::uint32_t>(a) << 24) +
                              (static_cast<std::uint32_t>(r) << 16) +
                              (static_cast<std::uint32_t>(g) << 8) + static_cast<std::uint32_t>(b);
    return static_cast<LONG>(sum);
}

// yTable, vTable and uTable in the display's layout: two pixels a word on 15- and 16-bit
// displays, one 32-bit pixel on all others.
void buildYuvTables(const PixelFormat& f) {
    const bool sixteen = f.depth == 15 || f.depth == 16;
    for (int n = 0; n < 128; ++n) {
        const int s = tableSample(n);
        const int y = s + 128;
        const int gu = chromaProduct(s, greenFromU);
        const int bu = chromaProduct(s, blueFromU);
        const int rv = chromaProduct(s, redFromV);
        const int gv = chromaProduct(s, greenFromV);
        if (sixteen) {
            const int luma[3] = {y, y, y};
            const int fromU[3] = {0, gu, bu};
            const int fromV[3] = {rv, gv, 0};
            yTable[n] = packedPixelPair(f, luma);
            uTable[n] = packedPixelPair(f, fromU);
            vTable[n] = packedPixelPair(f, fromV);
        } else {
            yTable[n] = packedWord(255, y, y, y);
            uTable[n] = packedWord(0, 0, gu, bu);
            vTable[n] = packedWord(0, rv, gv, 0);
        }
    }
}

// Entry i of the byte clamp, for i from -512 to 511, sits at (i - 384) mod 1024.
void buildByteClamp() {
    for (int i = -512; i < 512; ++i) byteClamp[(i - 384) & 1023] = std::clamp(i, -128, 127) + 128;
}

// Lane values of a sample offset a (-64..63), each lane 9 bits: blue at bit 0, green at 11, red
// at 23. yComponent adds the lane biases (red 145, green 123, blue 169) the gamma tables expect.
void buildComponentTables() {
    for (int i = -256; i < 256; ++i) {
        const int a = std::clamp(i, -64, 63);
        const double x = a + 0.5;
        const int index = (i - 192) & 511;
        const std::uint32_t greenU = static_cast<std::uint32_t>(static_cast<int>(0.5 - 0.3441 * x));
        const std::uint32_t blueU = static_cast<std::uint32_t>(static_cast<int>(0.5 + 1.772 * x));
        const std::uint32_t redV = static_cast<std::uint32_t>(static_cast<int>(0.5 + 1.402 * x));
        const std::uint32_t greenV = static_cast<std::uint32_t>(static_cast<int>(0.5 - 0.7141 * x));
        yComponent[index] =
            static_cast<LONG>(static_cast<std::uint32_t>(a) * 0x800801u + 0x4883D8A9u);
        uComponent[index] = static_cast<LONG>(((greenU & 0x1FF) << 11) + (blueU & 0x1FF));
        vComponent[index] = static_cast<LONG>((((redV & 0x1FF) << 12) + (greenV & 0x1FF)) << 11);
    }
}

// A channel value on the 8-bit scale times gamma percent, truncated, limited to 0..255.
std::int64_t scaledChannel(std::int64_t c, LONG gamma) {
    return std::clamp<std::int64_t>(c * gamma / 100, 0, 255);
}

// The display bits of channel value a (0..255) for a channel of bits bits at shift: rounded to
// the channel and limited to its maximum; with twoPixels the truncated value also goes into the
// upper 16-bit pixel.
std::uint32_t channelBitsOf(std::int64_t a, LONG bits, LONG shift, bool twoPixels) {
    const int n = channelBits(bits);
    const std::int64_t rounded =
        n < 8 ? (a + (std::int64_t{1} << (7 - n))) >> (8 - n) : scaleTruncated(a, n);
    std::uint32_t entry =
        place(std::min<std::int64_t>(rounded, channelMask(n)), channelMask(n), shift);
    if (twoPixels) entry |= place(scaleTruncated(a, n), channelMask(n), std::int64_t{shift} + 16);
    return entry;
}

// One lane table: entry i turns lane value first + 2i, scaled by gamma percent and limited to
// 0..255, into the channel's display bits. Up to 16 bits a pixel the truncated value also goes
// into the upper pixel, as in the YUV tables.
void buildGammaTable(LONG* table, LONG size, LONG first, LONG bits, LONG shift, LONG depth,
                     LONG gamma) {
    for (LONG i = 0; i < size; ++i) {
        const std::int64_t a = scaledChannel(first + 2 * std::int64_t{i}, gamma);
        table[i] = static_cast<LONG>(channelBitsOf(a, bits, shift, depth <= 16));
    }
}

void buildGammaTables(const PixelFormat& f, LONG gamma) {
    buildGammaTable(redGamma, redGammaSize, redGammaFirstLane, f.redBits, f.redShift, f.depth,
                    gamma);
    buildGammaTable(greenGamma, greenGammaSize, greenGammaFirstLane, f.greenBits, f.greenShift,
                    f.depth, gamma);
    buildGammaTable(blueGamma, blueGammaSize, blueGammaFirstLane, f.blueBits, f.blueShift, f.depth,
                    gamma);
}

// yLanes, uLanes and vLanes: the channels of each YUV table entry, one 10-bit lane each (blue at
// bit 0, green at 10, red at 20), the luma entries carrying the bias of every lane. Signed
// chroma lanes borrow from the lane above, which the bias in the luma entry pays back.
void buildLaneTables() {
    constexpr std::int64_t greenLane = 1 << 10, redLane = 1 << 20;
    for (int n = 0; n < 128; ++n) {
        const int s = tableSample(n);
        const std::int64_t y = s + 128 + yuvLaneBias;
        const std::int64_t gu = chromaProduct(s, greenFromU), bu = chromaProduct(s, blueFromU);
        const std::int64_t rv = chromaProduct(s, redFromV), gv = chromaProduct(s, greenFromV);
        yLanes[n] = static_cast<LONG>(static_cast<std::uint32_t>(y * redLane + y * greenLane + y));
        uLanes[n] = static_cast<LONG>(static_cast<std::uint32_t>(gu * greenLane + bu));
        vLanes[n] = static_cast<LONG>(static_cast<std::uint32_t>(rv * redLane + gv * greenLane));
    }
}

// The level tables: lane value L stands for channel L - yuvLaneBias, scaled by gamma and packed
// for the display as the YUV tables pack it (two 16-bit pixels a word on 15- and 16-bit
// displays, 0xAARRGGBB on all others).
void buildLevelTables(const PixelFormat& f, LONG gamma) {
    const bool sixteen = f.depth == 15 || f.depth == 16;
    const std::uint32_t spare =
        sixteen ? (std::int64_t{f.redBits} + f.greenBits + f.blueBits != 16 ? 0x80008000u : 0)
                : 0xFF000000u;
    for (LONG lane = 0; lane < yuvLevelEntries; ++lane) {
        const std::int64_t a = scaledChannel(lane - yuvLaneBias, gamma);
        const std::uint32_t red = sixteen ? channelBitsOf(a, f.redBits, f.redShift, true)
                                          : static_cast<std::uint32_t>(a) << 16;
        const std::uint32_t green = sixteen ? channelBitsOf(a, f.greenBits, f.greenShift, true)
                                            : static_cast<std::uint32_t>(a) << 8;
        const std::uint32_t blue = sixteen ? channelBitsOf(a, f.blueBits, f.blueShift, true)
                                           : static_cast<std::uint32_t>(a);
        redLevels[lane] = static_cast<LONG>(red | spare);
        greenLevels[lane] = static_cast<LONG>(green | spare);
        blueLevels[lane] = static_cast<LONG>(blue | spare);
    }
}

} // namespace

void buildColourTables(const PixelFormat& format, LONG gamma) {
    buildYuvTables(format);
    buildLaneTables();
    buildLevelTables(format, gamma);
    buildComponentTables();
    buildGammaTables(format, gamma);
    buildByteClamp();
    builtFormat = format;
    builtGamma = gamma;
    tablesBuilt = true;
    generation.fetch_add(1, std::memory_order_release);
}

void refreshColourTables(LONG gamma) {
    if (!tablesBuilt || gamma == builtGamma) return;
    buildYuvTables(builtFormat);
    buildLevelTables(builtFormat, gamma);
    buildGammaTables(builtFormat, gamma);
    builtGamma = gamma;
    generation.fetch_add(1, std::memory_order_release);
}

std::uint32_t colourTablesGeneration() {
    return generation.load(std::memory_order_acquire);
}

bool colourTablesBuiltFor(const PixelFormat& f, LONG gamma) {
    const PixelFormat& b = builtFormat;
    return tablesBuilt && gamma == builtGamma && f.redBits == b.redBits &&
           f.greenBits == b.greenBits && f.blueBits == b.blueBits && f.redShift == b.redShift &&
           f.greenShift == b.greenShift && f.blueShift == b.blueShift && f.rgbMask == b.rgbMask &&
           f.depth == b.depth;
}

bool yuvColourScaled() {
    return tablesBuilt && builtGamma != 100;
}
