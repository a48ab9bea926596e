// The decoders' vector forms in one record of function pointers, filled once for a processor
// level: the plain forms first, then each level's forms over them (avx2, then avx512, then the
// byte-permute forms). The decoders call through the record and never test the level
// themselves; an entry is a whole block, macroblock or row, so the indirect call is paid once
// for many pixels.
#pragma once

#include <cstddef>

#include "platform/win32.h"
#include "video/dct/colour_rows.h"
#include "video/dct/macroblock_output.h"
#include "video/dct/simd_switch.h"

// A type-3 macroblock: 16 rows of 16 pixels from the planes, rows pitch bytes apart; the vector
// forms may take the colour tables through colour (currentType3Colour()).
using PackedMacroblockForm = void (*)(const Type3Colour& colour, const MacroblockPlanes& planes,
                                      BYTE* dest, LONG pitch);
// A YUY2 type-4 macroblock, rows as above. A half h (rows 8h to 8h + 7) whose bit is set in
// sameRows has all its blocks flat (every row the same) and may be written as copies of its
// first row.
using Yuy2MacroblockForm = void (*)(const MacroblockPlanes& planes, unsigned sameRows, BYTE* dest,
                                    LONG pitch);
// A type-4 component RGB macroblock through the lane tables (and the byte tables, for the
// byte-permute forms only), sameRows as above.
using RgbMacroblockForm = void (*)(const GammaLaneTables& lanes, const ByteLaneTables* bytes,
                                   const MacroblockPlanes& planes, unsigned sameRows, BYTE* dest,
                                   LONG pitch);
// One row of a DOR picture to display pixels, columns left to right (exclusive): words is the
// row's first picture word, out the row's first pixel.
using DorRowForm = void (*)(const GammaLaneTables& lanes, const ByteLaneTables* bytes,
                            const BYTE* words, BYTE* out, LONG left, LONG right);

struct VideoDsp {
    SimdLevel level; // the level whose forms fill the record

    // Inverse transforms, as idctBlock and idctBlockPair (dct_toolkit.h).
    void (*idctBlock)(const LONG* coeff, LONG* dest, int stride, int shift);
    void (*idctBlockPair)(const LONG* coeffA, const LONG* coeffB, LONG* destA, LONG* destB,
                          int strideA, int strideB, int shift);

    // Type 3 at gamma 100 (the packed YUV tables), 2 and 4 bytes a pixel.
    PackedMacroblockForm type3Packed16;
    PackedMacroblockForm type3Packed32;

    // Type 4 component RGB, 2 and 4 bytes a pixel; the byte forms (the AVX2 form of the windows,
    // byte permutes from avx512vbmi on; null at the plain level) are usable only where
    // byteFormsUsable().
    RgbMacroblockForm type4Rgb16;
    RgbMacroblockForm type4Rgb32;
    RgbMacroblockForm type4Rgb16Bytes;
    RgbMacroblockForm type4Rgb32Bytes;
    Yuy2MacroblockForm type4Yuy2;

    // DOR: the macroblock writer and the whole-macroblock prediction (dor_macroblock.h).
    void (*writeDorMacroblock)(const LONG* luma, const LONG* u, const LONG* v, BYTE* dest,
                               std::ptrdiff_t stride);
    void (*predictDorInside)(const BYTE* source, std::ptrdiff_t sourceStride, bool oddX,
                             const LONG offsets[6], BYTE* dest, std::ptrdiff_t stride);
    // DOR picture rows to 2- and 4-byte pixels; the byte forms as for type 4, and used on rows
    // of dorByteRowMin pixels or more (their steps are 64 and 128 pixels; a shorter row would
    // leave most of a step unused).
    DorRowForm dorRow16;
    DorRowForm dorRow32;
    DorRowForm dorRow16Bytes;
    DorRowForm dorRow32Bytes;
};

// Shortest DOR row the byte forms are used for.
inline constexpr LONG dorByteRowMin = 64;

// Fills dsp with the forms of level: the plain ones, then those of every level up to it.
void initVideoDsp(VideoDsp& dsp, SimdLevel level);
// The record of the level in use (simdLevel()); setSimdLevel switches it.
const VideoDsp& videoDsp();
// The record of a level, capped at simdAvailable().
const VideoDsp& videoDspAt(SimdLevel level);

// Each decoder's part of initVideoDsp: the entries the step level adds (SimdLevel::none the
// plain ones).
void addIdctForms(VideoDsp& dsp, SimdLevel step);
void addType3Forms(VideoDsp& dsp, SimdLevel step);
void addType4Forms(VideoDsp& dsp, SimdLevel step);
void addDorForms(VideoDsp& dsp, SimdLevel step);
