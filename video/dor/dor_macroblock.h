// DOR macroblock stages shared by the frame decoder and its tests: predicted block copies, the
// whole-macroblock prediction and the macroblock writer, each in a plain form and the vector
// forms held to it.
#pragma once

#include <cstddef>

#include "platform/win32.h"
#include "video/dct/simd_switch.h"

struct VideoDsp;

// A packed picture: width / 2 words of V, U, Y1, Y0 a row, rows width * 2 bytes apart.
struct DorPicture {
    const BYTE* bytes;
    LONG width;
    LONG height;
};

// The displacement and the six brightness offsets of a macroblock's predicted blocks.
struct DorMotion {
    LONG dx;
    LONG dy;
    LONG offsets[6];
};

// Copies luma block k (0 to 3) of the macroblock at (x, y) displaced by (dx, dy) into slots at
// dest, rows 16 apart: each picture byte b becomes (b + v - 64) mod 256, signed, in bits 16 to
// 23. Pixels outside the picture repeat its edge.
void copyDorLumaClamped(const DorPicture& ref, int k, LONG x, LONG y, LONG dx, LONG dy, LONG v,
                        LONG* dest);
// The same for the chroma byte (1 U, 0 V) of every other row, rows of slots 8 apart; the odd
// half of dx is ignored.
void copyDorChromaClamped(const DorPicture& ref, int byte, LONG x, LONG y, LONG dx, LONG dy, LONG v,
                          LONG* dest);
// The same copies, without the clamping when the displaced block lies inside the picture.
void copyDorLuma(const DorPicture& ref, int k, LONG x, LONG y, LONG dx, LONG dy, LONG v,
                 LONG* dest);
void copyDorChroma(const DorPicture& ref, int byte, LONG x, LONG y, LONG dx, LONG dy, LONG v,
                   LONG* dest);

// Writes a macroblock whose six blocks are all predicted straight into the picture words at
// dest (rows stride bytes apart), as the copies and the writer would, when the displaced
// macroblock lies inside the reference picture; returns false, writing nothing, otherwise. Runs
// dsp's form of the prediction.
bool predictDorMacroblock(const DorPicture& ref, LONG x, LONG y, const DorMotion& motion,
                          BYTE* dest, std::ptrdiff_t stride, const VideoDsp& dsp);
// The whole-macroblock prediction from the source words of the macroblock's first row (the
// word holding pixel x + dx), for a source lying inside the picture; oddX when dx is odd.
void predictDorMacroblockPlain(const BYTE* source, std::ptrdiff_t sourceStride, bool oddX,
                               const LONG offsets[6], BYTE* dest, std::ptrdiff_t stride);

// Writes the 16 rows of 8 picture words of a macroblock from its luma (16 × 16), U and V (8 × 8)
// slots to dest, rows stride bytes apart: each slot's integer part plus 64, limited to 0..127.
void writeDorMacroblock(const LONG* luma, const LONG* u, const LONG* v, BYTE* dest,
                        std::ptrdiff_t stride);

// The writer for a macroblock whose six blocks are flat, block k's slots all slots[k].
void writeDorFlatMacroblock(const LONG slots[6], BYTE* dest, std::ptrdiff_t stride);

#if QZ_X86_SIMD
void writeDorMacroblockAvx2(const LONG* luma, const LONG* u, const LONG* v, BYTE* dest,
                            std::ptrdiff_t stride);
void writeDorMacroblockVbmi(const LONG* luma, const LONG* u, const LONG* v, BYTE* dest,
                            std::ptrdiff_t stride);
// The vector forms of the writer and of the prediction.
void predictDorMacroblockAvx2(const BYTE* source, std::ptrdiff_t sourceStride, bool oddX,
                              const LONG offsets[6], BYTE* dest, std::ptrdiff_t stride);
#endif
