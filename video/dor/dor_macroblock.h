// The DOR macroblock writer's vector form, shared by the frame decoder and its tests.
#pragma once

#include <cstddef>

#include "platform/win32.h"
#include "video/dct/simd_switch.h"

#if QZ_X86_SIMD
// Writes the 16 rows of 8 picture words of a macroblock from its luma (16 × 16), U and V (8 × 8)
// slots to dest, rows stride bytes apart: each slot's integer part plus 64, limited to 0..127.
void writeDorMacroblockAvx2(const LONG* luma, const LONG* u, const LONG* v, BYTE* dest,
                            std::ptrdiff_t stride);
#endif
