// Process-wide colour conversion tables the video decoders add up instead of converting each
// pixel: three 128-entry YUV tables in the display's own pixel layout, a byte clamp, three
// 512-entry component tables with three 9-bit lanes, and three gamma-scaled lane tables.
//
// The tables lie in one block, each directly after the previous, so a decoder may address one
// table from another's base by the sizes below.
//
// Threads: buildColourTables runs at open, before the play thread starts. During playback only
// the play thread touches the tables: it calls refreshColourTables before each frame's dispatch,
// so a gamma change never rewrites a table while a decoder reads it. The tables serve one open
// movie at a time.
#pragma once

#include <cstdint>

#include "api/player_config.h"

inline constexpr LONG yTableSize = 128;
inline constexpr LONG vTableSize = 128;
inline constexpr LONG uTableSize = 128;
inline constexpr LONG byteClampSize = 1024;
inline constexpr LONG yComponentSize = 512;
inline constexpr LONG uComponentSize = 512;
inline constexpr LONG vComponentSize = 512;
inline constexpr LONG redGammaSize = 306;
inline constexpr LONG greenGammaSize = 262;
inline constexpr LONG blueGammaSize = 354;

inline constexpr LONG yTableOffset = 0;
inline constexpr LONG vTableOffset = yTableOffset + yTableSize;
inline constexpr LONG uTableOffset = vTableOffset + vTableSize;
inline constexpr LONG byteClampOffset = uTableOffset + uTableSize;
inline constexpr LONG yComponentOffset = byteClampOffset + byteClampSize;
inline constexpr LONG uComponentOffset = yComponentOffset + yComponentSize;
inline constexpr LONG vComponentOffset = uComponentOffset + uComponentSize;
inline constexpr LONG redGammaOffset = vComponentOffset + vComponentSize;
inline constexpr LONG greenGammaOffset = redGammaOffset + redGammaSize;
inline constexpr LONG blueGammaOffset = greenGammaOffset + greenGammaSize;
inline constexpr LONG colourTableEntries = blueGammaOffset + blueGammaSize;

// Lowest odd lane value each gamma table has an entry for; entry i stands for first + 2i.
inline constexpr LONG redGammaFirstLane = -177;
inline constexpr LONG greenGammaFirstLane = -133;
inline constexpr LONG blueGammaFirstLane = -225;

extern LONG colourTableBlock[colourTableEntries];

inline constexpr LONG* yTable = colourTableBlock + yTableOffset;
inline constexpr LONG* vTable = colourTableBlock + vTableOffset;
inline constexpr LONG* uTable = colourTableBlock + uTableOffset;
inline constexpr LONG* byteClamp = colourTableBlock + byteClampOffset;
inline constexpr LONG* yComponent = colourTableBlock + yComponentOffset;
inline constexpr LONG* uComponent = colourTableBlock + uComponentOffset;
inline constexpr LONG* vComponent = colourTableBlock + vComponentOffset;
inline constexpr LONG* redGamma = colourTableBlock + redGammaOffset;
inline constexpr LONG* greenGamma = colourTableBlock + greenGammaOffset;
inline constexpr LONG* blueGamma = colourTableBlock + blueGammaOffset;

// Builds every table for the display's pixel format and the gamma percentage (100 is neutral);
// called by the display set-up at open.
void buildColourTables(const PixelFormat& format, LONG gamma);

// Called by the play thread before each frame's dispatch with the current gamma. When it differs
// from the gamma the tables were built with, rebuilds the YUV, level and gamma tables for the
// pixel format of the last build, so a brightness change shows from this frame on. Does nothing
// before the first build or when the gamma is unchanged.
void refreshColourTables(LONG gamma);

// A count of the builds and refreshes that rewrote the tables, 0 before the first: tables made
// from these ones stay current while it is unchanged.
std::uint32_t colourTablesGeneration();

// Whether the tables were last built (or refreshed) for exactly this pixel format and gamma.
bool colourTablesBuiltFor(const PixelFormat& format, LONG gamma);

// Type-3 colour at a gamma other than 100. The packed YUV tables above cannot be scaled: a
// channel that passes its maximum carries into its neighbour. So at such a gamma the type-3
// decoder adds entries of yLanes, uLanes and vLanes instead (same indices as yTable, uTable and
// vTable), which hold each channel on the 8-bit scale in a 10-bit lane of its own, biased by
// yuvLaneBias so that no lane of a sum is ever negative: blue in bits 0-9, green 10-19, red 20-29.
// Each lane of the sum goes through its level table, which scales, clamps and packs it.
//
// The rule: a pixel whose indices stand for luma y (s(ny) + 128) and chroma offsets su, sv
// (s(nu), s(nv)) has the channels R = y + (R from V of sv), G = y + (G from U of su) + (G from V
// of sv), B = y + (B from U of su), with the rounded products the YUV tables use. At gamma g
// each becomes a = trunc(C × g / 100) limited to 0..255. A 15- or 16-bit display with an n-bit
// channel gets min((a + 2^(7-n)) >> (8-n), 2^n - 1) in the low pixel and a >> (8-n) in the high
// pixel of the word (the 2-byte variant stores the low pixel); 5-5-5 displays also get bits 15
// and 31. Every other depth gets 0xFF000000 | aR << 16 | aG << 8 | aB. At gamma 100 the decoder
// keeps the plain sums of the packed YUV tables.
inline constexpr LONG yuvLaneBias = 256;
inline constexpr LONG yuvLevelEntries = 1024;
extern LONG yLanes[128];
extern LONG uLanes[128];
extern LONG vLanes[128];
extern LONG redLevels[yuvLevelEntries];
extern LONG greenLevels[yuvLevelEntries];
extern LONG blueLevels[yuvLevelEntries];

// Whether the tables were last built or refreshed with a gamma other than 100, so that type-3
// pixels are to be made through the lane tables.
bool yuvColourScaled();

// The display pixel of a sum of lane entries: each 10-bit lane through its level table.
inline std::uint32_t yuvLanePixel(std::uint32_t sum) {
    return static_cast<std::uint32_t>(redLevels[(sum >> 20) & 1023]) |
           static_cast<std::uint32_t>(greenLevels[(sum >> 10) & 1023]) |
           static_cast<std::uint32_t>(blueLevels[sum & 1023]);
}

// Samples the byte clamp and the component tables accept; others are limited to this range.
inline constexpr LONG clampSampleMin = -192;
inline constexpr LONG clampSampleMax = 255;

inline LONG limitClampSample(LONG sample) {
    return sample < clampSampleMin ? clampSampleMin
                                   : (sample > clampSampleMax ? clampSampleMax : sample);
}

// 2 × sample limited to 0..255, read from byteClamp at entry 512 + 2 × sample.
inline LONG clampedByte(LONG sample) {
    return byteClamp[512 + 2 * limitClampSample(sample)];
}

// The lanes of a sample in yComponent, uComponent or vComponent (entry 256 + sample): the sample
// is taken as an offset from 64, limited to -64..63.
inline LONG clampedComponent(const LONG* table, LONG sample) {
    return table[256 + limitClampSample(sample)];
}

// Entry of a gamma table of size entries for a lane index: below the table its first entry,
// past it its last.
inline LONG clampedGammaLookup(const LONG* table, LONG size, LONG lane) {
    return table[lane < 0 ? 0 : (lane >= size ? size - 1 : lane)];
}

// Entry for a 9-bit lane field as taken from a component sum. Lanes are kept modulo 512, so a
// lane that fell slightly below zero shows as a field just under 512: fields past the table
// count as above it up to halfway to 512, and as below zero from there on.
inline LONG gammaLaneLookup(const LONG* table, LONG size, std::uint32_t field) {
    const LONG lane = static_cast<LONG>(field & 0x1FF);
    return clampedGammaLookup(table, size, lane >= (size + 512) / 2 ? -1 : lane);
}

// The display pixel of a component sum (red lane in bits 23-31, green 11-19, blue 0-8). The
// three entries hold disjoint bits, so the OR equals their sum.
inline LONG componentPixel(std::uint32_t sum) {
    return gammaLaneLookup(redGamma, redGammaSize, sum >> 23) |
           gammaLaneLookup(greenGamma, greenGammaSize, sum >> 11) |
           gammaLaneLookup(blueGamma, blueGammaSize, sum);
}
