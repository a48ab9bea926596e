// Colour conversion shared by the DCT and DOR decoders: the gamma lane tables built once per
// frame, and the AVX2 forms of the decoders' row conversions (8 pixel pairs a row), each giving
// exactly the pixels of the decoder's scalar form.
#pragma once

#include <array>
#include <cstdint>

#include "platform/win32.h"
#include "video/dct/simd_switch.h"

// The gamma table entries for every 9-bit lane field of a component sum, built from the current
// gamma tables: a field outside a table takes the entry gammaLaneLookup gives it, so a pixel is
// three lookups without any range test.
struct GammaLaneTables {
    std::uint32_t red[512];
    std::uint32_t green[512];
    std::uint32_t blue[512];
};
void buildGammaLaneTables(GammaLaneTables& lanes);

// The gamma lane tables cut into bytes for the byte-permute conversions. Where byteFormsUsable(),
// a lane's field in a component sum is (luma sample + origin + chroma[0][lane][u] +
// chroma[1][lane][v]) modulo 512 for samples limited to 0..127, and the sum of the sample and
// both chroma parts stays below byteLaneSpan: plane[l][j][i] holds byte j of lane table l's entry
// for the field (i + origin) modulo 512, and byte j of a pixel is the OR of the planes set in
// lanesOfByte[j].
//
// Where each lane's planes are zero up to some sum (its start) and do not change from 128 past it
// (at gamma 100 or more), windowed is set: window[l][j][k] is plane[l][j][start + 1 + k], and
// windowChroma[0][l][u] + windowChroma[1][l][v], taken with signed saturation, is the sum of both
// chroma parts less start + 1, limited to -128..127. The luma sample added to that, again with
// signed saturation, is then the window's index, or negative where every byte is zero. Where
// moreover each byte of the pixels is one lane's and its window is 2 k + 1 (8-bit lanes at
// gamma 100), oddLines is set: such a byte is computed from the index. Where each lane's part
// of both 16-bit halves of an entry is a ramp of the index (16-bit pixels at gamma 100), ramps is
// set: the halves are computed from the indices. Bit l of chromaVaries[c] is set where
// windowChroma[c][l] is not the same for every sample.
inline constexpr int byteLaneSpan = 384;
inline constexpr int byteWindowSpan = 128;
// Lane part min(max(k + add, 0) >> shift, top) << position of a 16-bit half of an entry, for a
// window index k (k + add taken with signed byte saturation); zero for a negative k.
struct ByteRamp {
    std::int8_t add;
    std::uint8_t shift, top, position;
};
struct ByteLaneTables {
    alignas(64) std::uint8_t plane[3][4][byteLaneSpan];
    alignas(64) std::uint8_t chroma[2][3][128]; // from U, from V; red, green, blue
    alignas(64) std::uint8_t window[3][4][byteWindowSpan];
    alignas(64) std::int8_t windowChroma[2][3][128];
    unsigned lanesOfByte[4];
    bool windowed;
    bool oddLines;
    bool ramps;
    ByteRamp ramp[2][3]; // half (bytes 0-1, bytes 2-3), lane
    unsigned chromaVaries[2];
};
void buildByteLaneTables(const GammaLaneTables& lanes, ByteLaneTables& bytes);
// The lane tables of the colour tables as they are now, kept for the calling thread and made
// again only after the colour tables changed (colourTablesGeneration). The byte tables are null
// where byteFormsUsable() does not hold. A frame takes them once, before it decodes.
const GammaLaneTables& currentGammaLanes();
const ByteLaneTables* currentByteLanes();

// How the type-3 luma table's entries follow from their index n, where they do (the packed
// tables of xrgb8888, rgb565 and rgb555 displays): with y = (2n + 1) ^ 128, the luma on the
// 8-bit scale, 4-byte entries are base + y × 0x010101; of 2-byte ones the low half (all a 16-bit
// pixel takes) is base + the sum over the channels of min((y + add) >> shift, top) << position
// (add 0 or more). pixelBytes is 0 where the entries follow neither form.
struct Type3Luma {
    int pixelBytes = 0;
    std::uint32_t base = 0;
    ByteRamp ramp[3];
};
// The form of the luma table as it is now (yTable).
Type3Luma findType3Luma();
// What the vector forms of type 3 take from the colour tables: the luma table's form, and the
// sum of every U entry and V entry (chroma[128 u + v]), so that a pixel pair's chroma part is
// one lookup.
// Held in an array, not a vector: the per-thread cache must stay trivially destructible, as
// thread-local destructors at thread exit crash MinGW builds under Wine.
struct Type3Colour {
    Type3Luma luma;
    std::array<std::uint32_t, 128 * 128> chroma;
};
void buildType3Colour(Type3Colour& colour);
// buildType3Colour() of the colour tables as they are now, kept for the calling thread as
// currentByteLanes() keeps its tables.
const Type3Colour& currentType3Colour();
// Whether the component tables split into lanes so (the byte forms are not to be used
// otherwise).
bool byteFormsUsable();

#if QZ_X86_SIMD
// Type 3: 16 rows of 16 pixels from the macroblock planes, by sums of the 128-entry YUV tables,
// pixelBytes (2 or 4) a pixel, rows pitch bytes apart.
void type3MacroblockAvx2(const LONG* luma, const LONG* cb, const LONG* cr, BYTE* dest, LONG pitch,
                         int pixelBytes);
// The same with AVX-512F.
void type3MacroblockAvx512(const LONG* luma, const LONG* cb, const LONG* cr, BYTE* dest, LONG pitch,
                           int pixelBytes);
// type3MacroblockAvx2 with the luma entries computed from the form colour.luma gives them (its
// pixelBytes equal to pixelBytes) and the chroma parts looked up in colour.chroma.
void type3MacroblockComputedAvx2(const Type3Colour& colour, const LONG* luma, const LONG* cb,
                                 const LONG* cr, BYTE* dest, LONG pitch, int pixelBytes);
// Type 4 component RGB: one row of 16 pixels, 4 or 2 bytes a pixel (the 2-byte form takes the
// low half of an even pixel's entry and the high half of an odd one's).
void type4Rgb32RowAvx2(const GammaLaneTables& lanes, const LONG* luma, const LONG* cb,
                       const LONG* cr, BYTE* dest);
void type4Rgb16RowAvx2(const GammaLaneTables& lanes, const LONG* luma, const LONG* cb,
                       const LONG* cr, BYTE* dest);
// Type 4 component RGB with AVX-512F: the 16 rows of a macroblock, 4 or 2 bytes a pixel, rows
// pitch bytes apart; a row whose bit is set in copiedRows is a copy of the row above.
void type4MacroblockAvx512(const GammaLaneTables& lanes, const LONG* luma, const LONG* cb,
                           const LONG* cr, BYTE* dest, LONG pitch, int pixelBytes,
                           unsigned copiedRows);
// Type 4 component RGB with byte permutes (SimdLevel::avx512vbmi, byteFormsUsable()): the rows
// of a macroblock, 4 or 2 bytes a pixel, rows pitch bytes apart; the upper half (rows 0-7) when
// bit 0 of halves is set, the lower half (rows 8-15) when bit 1 is.
void type4MacroblockVbmi(const ByteLaneTables& bytes, const LONG* luma, const LONG* cb,
                         const LONG* cr, BYTE* dest, LONG pitch, int pixelBytes, unsigned halves);
// Type 4 component RGB through the windowed byte tables (bytes.windowed) with AVX2 byte
// shuffles: the rows of a macroblock as type4MacroblockVbmi gives them.
void type4MacroblockWindowAvx2(const ByteLaneTables& bytes, const LONG* luma, const LONG* cb,
                               const LONG* cr, BYTE* dest, LONG pitch, int pixelBytes,
                               unsigned halves);
// Type 4 YUY2 with AVX2: the 16 rows of a macroblock, rows pitch bytes apart.
void type4Yuy2MacroblockAvx2(const LONG* luma, const LONG* cb, const LONG* cr, BYTE* dest,
                             LONG pitch);
// Type 4 YUY2 with AVX-512F: the 16 rows of a macroblock, rows pitch bytes apart.
void type4Yuy2MacroblockAvx512(const LONG* luma, const LONG* cb, const LONG* cr, BYTE* dest,
                               LONG pitch);
// DOR with byte permutes: the first pixels (1 to 128) of 64 picture words; only the words those
// pixels lie in are read and only their bytes written.
void dorWordsToPixelsVbmi(const ByteLaneTables& bytes, const BYTE* words, BYTE* dest,
                          int pixelBytes, int pixels = 128);
// DOR through the windowed byte tables (bytes.windowed) with AVX2 byte shuffles: steps times
// 32 picture words to 64 pixels, as dorWordsToPixelsVbmi gives them.
void dorWordsToPixelsWindowAvx2(const ByteLaneTables& bytes, const BYTE* words, BYTE* dest,
                                int pixelBytes, int steps);
// DOR: 8 picture words (V, U, Y1, Y0 bytes, each 0 to 255) to 16 pixels of 2 or 4 bytes.
void dorWordsToPixelsAvx2(const GammaLaneTables& lanes, const BYTE* words, BYTE* dest,
                          int pixelBytes);
// The same with AVX-512F, for 16 words (32 pixels).
void dorWordsToPixelsAvx512(const GammaLaneTables& lanes, const BYTE* words, BYTE* dest,
                            int pixelBytes);
#endif
