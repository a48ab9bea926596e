#include "video/type3/type3_decoder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>

#include "video/colour_tables.h"
#include "video/dct/colour_rows.h"
#include "video/dct/dct_toolkit.h"
#include "video/dct/dsp_constants.h"
#include "video/dct/macroblock_output.h"
#include "video/dsp_table.h"

namespace {

using U32 = std::uint32_t;

BYTE byteAt(const BYTE* data, std::ptrdiff_t size, std::ptrdiff_t offset) {
    return offset < size ? data[offset] : 0;
}

using U64 = std::uint64_t;

// Takes in bytes one at a time near the end of the data, reading zeros past it. The reader goes
// by value, so that the callers' copies can stay in registers.
[[gnu::noinline]] Type3BitReader refilledNearEnd(Type3BitReader bits) {
    while (bits.count < 16) {
        bits.buffer |= U64{byteAt(bits.data, bits.size, bits.next)} << bits.count;
        ++bits.next;
        bits.count += 8;
    }
    return bits;
}

// Tops the buffer up to at least 16 unread bits, enough for any token; away from the end of the
// data it takes in as many whole bytes as the 64-bit buffer holds, so that refills are rare.
inline void refill(Type3BitReader& bits) {
    if (bits.count >= 16) return;
    if (bits.next < 0 || bits.next + 8 > bits.size) {
        bits = refilledNearEnd(bits);
        return;
    }
    U64 word;
    std::memcpy(&word, bits.data + bits.next, 8);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    const int bytes = (63 - bits.count) >> 3; // 6 or 7
    word &= (U64{1} << (8 * bytes)) - 1;
    bits.buffer |= word << bits.count;
    bits.count += 8 * bytes;
    bits.next += bytes;
}

U32 peekBits(const Type3BitReader& bits, int n) {
    return static_cast<U32>(bits.buffer) & ((U32{1} << n) - 1);
}

void skipBits(Type3BitReader& bits, int n) {
    bits.buffer >>= n;
    bits.count -= n;
}

U32 readBits(Type3BitReader& bits, int n) {
    const U32 value = peekBits(bits, n);
    skipBits(bits, n);
    refill(bits);
    return value;
}

// One token read from its first 8 bits (low bits first): its length in bits, the positions it
// passes over before the position it stores, and the level it stores there (zero for the zero
// runs, which store a zero at their last position). Two kinds stand apart: the end of the block
// and the escaped level that is the next 8 bits.
struct Type3Token {
    std::uint8_t length;
    std::uint8_t skip;
    std::int8_t level;
    std::uint8_t kind;
};
enum : std::uint8_t { tokenLevel, tokenEnd, tokenEscape };

struct Type3TokenTable {
    Type3Token entries[256];
};

constexpr Type3TokenTable buildTokenTable() {
    Type3TokenTable t{};
    for (U32 bits = 0; bits < 256; ++bits) {
        const U32 c = bits & 7;
        Type3Token& e = t.entries[bits];
        if ((c & 3) == 3) {
            const U32 field = bits >> 2;
            const int level = field >= 32 ? static_cast<int>(field) - 64 : static_cast<int>(field);
            e = {8, 0, static_cast<std::int8_t>(level), field == 63 ? tokenEscape : tokenLevel};
        } else if (c == 1 || c == 5) {
            const U32 n = bits >> 3;
            const int run = static_cast<int>(2 * n + (c == 5 ? 1 : 0));
            e = {8, static_cast<std::uint8_t>(n == 0 ? 0 : run - 1), 0,
                 n == 0 ? tokenEnd : tokenLevel};
        } else {
            const int level = c == 2 ? 1 : (c == 6 ? -1 : 0);
            e = {3, static_cast<std::uint8_t>(c == 4 ? 1 : 0), static_cast<std::int8_t>(level),
                 tokenLevel};
        }
    }
    return t;
}

constexpr Type3TokenTable tokenTable = buildTokenTable();

// A token's length follows from its first bit: 8 bits when it is 1, 3 when it is 0. The reader
// takes the length so, without waiting for the table's entry.
constexpr int tokenLength(U32 bits) {
    return 3 + 5 * static_cast<int>(bits & 1);
}

constexpr bool lengthsFollowFirstBit() {
    for (U32 bits = 0; bits < 256; ++bits)
        if (tokenTable.entries[bits].length != tokenLength(bits)) return false;
    return true;
}
static_assert(lengthsFollowFirstBit());

LONG wrappedProduct(LONG a, LONG b) {
    return static_cast<LONG>(static_cast<U32>(a) * static_cast<U32>(b));
}

// 128-entry table index of a type-3 sample (scaled by 65536, centred on zero): bits 17 to 23.
U32 tableIndex(LONG sample) {
    return static_cast<U32>(sample >> dsp::packedIndexShift) & dsp::packedIndexMask;
}

// Table index of a flat value: round(v × Q0 / 65536), halved, wrapped.
U32 flatIndex(LONG value, LONG q0) {
    const std::int64_t scaled = (std::int64_t{value} * q0 + 32768) >> 16;
    return static_cast<U32>(scaled >> 1) & 127;
}

// How a pixel is made from its three table indices; the chroma part is shared by a pair.
// At gamma 100: the plain sum of the packed YUV tables.
struct PackedColour {
    static U32 chroma(U32 cbIndex, U32 crIndex) {
        return static_cast<U32>(uTable[cbIndex]) + static_cast<U32>(vTable[crIndex]);
    }
    static U32 pixel(U32 yIndex, U32 chroma) { return static_cast<U32>(yTable[yIndex]) + chroma; }
};
// At any other gamma: the sum of the lane tables, each channel scaled and clamped on its own
// (see yuvLanePixel), so that no channel spills into its neighbour.
struct ScaledColour {
    static U32 chroma(U32 cbIndex, U32 crIndex) {
        return static_cast<U32>(uLanes[cbIndex]) + static_cast<U32>(vLanes[crIndex]);
    }
    static U32 pixel(U32 yIndex, U32 chroma) {
        return yuvLanePixel(static_cast<U32>(yLanes[yIndex]) + chroma);
    }
};

template <int PixelBytes> void storePixel(BYTE* dest, U32 pixel) {
    if constexpr (PixelBytes == 2) {
        const std::uint16_t low = static_cast<std::uint16_t>(pixel);
        std::memcpy(dest, &low, 2);
    } else {
        std::memcpy(dest, &pixel, 4);
    }
}

// Reads one block's tokens into coeff; the reader goes by reference, and inlined into a
// macroblock's loop it stays in registers across the six blocks.
QZ_ALWAYS_INLINE void readBlock(Type3BitReader& bits, const LONG quant[64], LONG coeff[64]) {
    clearCoefficients(coeff);
    coeff[0] = wrappedProduct(static_cast<signed char>(readBits(bits, 8)), quant[0]);
    int k = 1;
    while (k < dctBlockSize) {
        const U32 next = peekBits(bits, 8);
        const Type3Token token = tokenTable.entries[next];
        skipBits(bits, tokenLength(next));
        LONG level = token.level;
        if (token.kind != tokenLevel) {
            // A run of no zeros would code nothing; the block ends there.
            if (token.kind == tokenEnd) {
                refill(bits);
                return;
            }
            level = static_cast<signed char>(peekBits(bits, 8));
            skipBits(bits, 8);
        }
        refill(bits);
        k += token.skip;
        // Runs that pass the last position end the block; their zeros are already stored.
        if (k >= dctBlockSize) break;
        coeff[zigzag[k]] = wrappedProduct(level, quant[zigzag[k]]);
        ++k;
    }
}

// One row of 16 pixels from 16 luma samples and 8 Cb and 8 Cr samples.
template <int PixelBytes, class Colour>
void outputRow(const LONG* luma, const LONG* cb, const LONG* cr, BYTE* dest) {
    for (int j = 0; j < 8; ++j) {
        const U32 chroma = Colour::chroma(tableIndex(cb[j]), tableIndex(cr[j]));
        storePixel<PixelBytes>(dest + 2 * j * PixelBytes,
                               Colour::pixel(tableIndex(luma[2 * j]), chroma));
        storePixel<PixelBytes>(dest + (2 * j + 1) * PixelBytes,
                               Colour::pixel(tableIndex(luma[2 * j + 1]), chroma));
    }
}

// Fills the four 8×8 quadrants (top-left, top-right, bottom-left, bottom-right) with their
// pixels.
template <int PixelBytes> void fillQuadrants(const U32 pixels[4], BYTE* dest, LONG pitch) {
    for (int r = 0; r < 16; ++r) {
        BYTE* row = dest + r * static_cast<std::ptrdiff_t>(pitch);
        const U32* pair = pixels + (r >> 3) * 2;
        for (int c = 0; c < 16; ++c) storePixel<PixelBytes>(row + c * PixelBytes, pair[c >> 3]);
    }
}

// The 16 rows of a macroblock.
template <int PixelBytes, class Colour>
void macroblockRows(const MacroblockPlanes& planes, BYTE* dest, LONG pitch) {
    for (int r = 0; r < 16; ++r)
        outputRow<PixelBytes, Colour>(planes.luma + 16 * r, planes.cb + 8 * (r >> 1),
                                      planes.cr + 8 * (r >> 1),
                                      dest + r * static_cast<std::ptrdiff_t>(pitch));
}

template <int PixelBytes>
void packedRows(const Type3Colour&, const MacroblockPlanes& planes, BYTE* dest, LONG pitch) {
    macroblockRows<PixelBytes, PackedColour>(planes, dest, pitch);
}

#if QZ_X86_SIMD
template <int PixelBytes>
void packedAvx2(const Type3Colour& colour, const MacroblockPlanes& planes, BYTE* dest, LONG pitch) {
    if (colour.luma.pixelBytes == PixelBytes)
        type3MacroblockComputedAvx2(colour, planes.luma, planes.cb, planes.cr, dest, pitch,
                                    PixelBytes);
    else
        type3MacroblockAvx2(planes.luma, planes.cb, planes.cr, dest, pitch, PixelBytes);
}
template <int PixelBytes>
void packedAvx512(const Type3Colour&, const MacroblockPlanes& planes, BYTE* dest, LONG pitch) {
    type3MacroblockAvx512(planes.luma, planes.cb, planes.cr, dest, pitch, PixelBytes);
}
#endif

template <int PixelBytes, class Colour>
void decodeType3(VideoState* video, const BYTE* data, BYTE* target, LONG pitch) {
    const LONG columns = macroblockCount(video->width);
    const LONG rows = macroblockCount(video->height);
    const std::ptrdiff_t size = video->frameDataEnd != nullptr && video->frameDataEnd > data
                                    ? video->frameDataEnd - data
                                    : 0;
    const ClipBox clip = videoClipBox(video);
    const LONG* quant = video->dct.type3Quant;
    const VideoDsp& dsp = videoDsp();
    [[maybe_unused]] const PackedMacroblockForm packedForm =
        PixelBytes == 2 ? dsp.type3Packed16 : dsp.type3Packed32;
    // Made for the calling thread only when the colour tables changed.
    [[maybe_unused]] const Type3Colour* type3Colour =
        std::is_same_v<Colour, PackedColour> ? &currentType3Colour() : nullptr;

    std::ptrdiff_t pos = 0;
    for (LONG my = 0; my < rows; ++my) {
        const std::int64_t y = std::int64_t{my} * 16;
        // Nothing after the data or below the clip box can be visible: the rest is skipped.
        if (pos >= size || y >= clip.bottom) return;
        for (LONG mx = 0; mx < columns && pos < size; ++mx) {
            const std::int64_t x = std::int64_t{mx} * 16;
            const int b = data[pos];
            const std::ptrdiff_t body = pos + 1;
            pos = body + b;
            if (macroblockHidden(clip, x, y)) continue;

            if (b == 3 || b == 6 || b == 12) {
                const int stride = b == 12 ? 2 : 1;
                const int lumaValues = b == 3 ? 1 : 4;
                auto value = [&](int i) {
                    return LONG{static_cast<signed char>(byteAt(data, size, body + i * stride))};
                };
                const U32 chroma = Colour::chroma(flatIndex(value(lumaValues), quant[0]),
                                                  flatIndex(value(lumaValues + 1), quant[0]));
                U32 pixels[4];
                for (int k = 0; k < 4; ++k) {
                    const U32 n = flatIndex(value(lumaValues == 1 ? 0 : k), quant[0]);
                    pixels[k] = Colour::pixel(n, chroma);
                }
                placeMacroblock(clip, target, pitch, PixelBytes, x, y,
                                [&](BYTE* dest, LONG destPitch) {
                                    fillQuadrants<PixelBytes>(pixels, dest, destPitch);
                                });
            } else if (b >= 13) {
                MacroblockPlanes planes;
                Type3BitReader bits = startType3Reader(data, size, body);
                // All six blocks are read first, so that they are transformed two at a time.
                LONG coeff[6][dctBlockSize];
                for (auto& block : coeff) readBlock(bits, quant, block);
                dsp.idctBlockPair(coeff[0], coeff[1], planes.luma, planes.luma + 8, 16, 16, 0);
                dsp.idctBlockPair(coeff[2], coeff[3], planes.luma + 128, planes.luma + 136, 16, 16,
                                  0);
                dsp.idctBlockPair(coeff[4], coeff[5], planes.cb, planes.cr, 8, 8, 0);
                placeMacroblock(clip, target, pitch, PixelBytes, x, y,
                                [&](BYTE* dest, LONG destPitch) {
                                    if constexpr (std::is_same_v<Colour, PackedColour>)
                                        packedForm(*type3Colour, planes, dest, destPitch);
                                    else
                                        macroblockRows<PixelBytes, Colour>(planes, dest, destPitch);
                                });
            }
            // Any other length byte skips the macroblock: the target keeps what it held.
        }
    }
}

} // namespace

void addType3Forms(VideoDsp& dsp, SimdLevel step) {
    switch (step) {
    case SimdLevel::none:
        dsp.type3Packed16 = packedRows<2>;
        dsp.type3Packed32 = packedRows<4>;
        break;
#if QZ_X86_SIMD
    case SimdLevel::avx2:
        dsp.type3Packed16 = packedAvx2<2>;
        dsp.type3Packed32 = packedAvx2<4>;
        break;
    case SimdLevel::avx512:
        dsp.type3Packed16 = packedAvx512<2>;
        dsp.type3Packed32 = packedAvx512<4>;
        break;
#endif
    default:
        break;
    }
}

void setupType3Quant(VideoState* video, LONG quality) {
    buildType3Quant(video->dct.type3Quant, quality);
}

void buildType3Quant(LONG* quant, LONG quality) {
    const std::int64_t q = quality;
    const std::int64_t a = 22 * (100 - q) / 100;
    const std::int64_t b = 50 * (100 - q) / 100;
    const std::int64_t step = b - a + 2;
    for (int h = 0; h < 8; ++h) {
        for (int v = 0; v < 8; ++v) {
            const std::int64_t f = a + 8 + (h + v) * step / 14;
            quant[8 * h + v] =
                static_cast<LONG>(static_cast<U32>(prescale[8 * h + v]) * static_cast<U32>(f));
        }
    }
}

Type3BitReader startType3Reader(const BYTE* data, std::ptrdiff_t size, std::ptrdiff_t start) {
    Type3BitReader bits{data, size, start + 1, byteAt(data, size, start), 8};
    return bits;
}

void readType3Block(Type3BitReader& reader, const LONG quant[64], LONG coeff[64]) {
    // A local copy, which the stores into coeff cannot alias, stays in registers.
    Type3BitReader bits = reader;
    readBlock(bits, quant, coeff);
    reader = bits;
}

void decodeType3Frame16(VideoState* video, const BYTE* data, BYTE* target, BYTE*, LONG pitch) {
    if (yuvColourScaled())
        decodeType3<2, ScaledColour>(video, data, target, pitch);
    else
        decodeType3<2, PackedColour>(video, data, target, pitch);
}

void decodeType3Frame32(VideoState* video, const BYTE* data, BYTE* target, BYTE*, LONG pitch) {
    if (yuvColourScaled())
        decodeType3<4, ScaledColour>(video, data, target, pitch);
    else
        decodeType3<4, PackedColour>(video, data, target, pitch);
}
