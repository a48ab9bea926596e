// The conversion of R, G, B rows to 4:2:0 samples a pair of rows at a time, in a plain form
// and an AVX2 form that write the same bytes, chosen at run time by the vector level in use.
#pragma once

#include <cstdint>

// The converted samples of one pair of source rows: luma rows y0 and y1 (y1 and rgb1 null for
// a last odd row), and a row of each chroma plane.
struct RowPairOut {
    std::uint8_t* y0;
    std::uint8_t* y1;
    std::uint8_t* cb;
    std::uint8_t* cr;
};

// Converts columns from (even) to width of the rows rgb0 and rgb1 (width × 3 bytes each):
// luma 0.299 R + 0.587 G + 0.114 B in 16.16 fixed point, and each chroma sample from the mean
// over its square (fewer than four pixels at odd edges) of (B - Y) / 1.772 and (R - Y) / 1.402
// taken from the unrounded luma.
using RowPairForm = void (*)(const std::uint8_t* rgb0, const std::uint8_t* rgb1, int width,
                             int from, const RowPairOut& out);
void rgbRowPairPlain(const std::uint8_t* rgb0, const std::uint8_t* rgb1, int width, int from,
                     const RowPairOut& out);
void rgbRowPairAvx2(const std::uint8_t* rgb0, const std::uint8_t* rgb1, int width, int from,
                    const RowPairOut& out);
RowPairForm rgbRowPair();

// 1 / (65536 × 1.772 × n) and 1 / (65536 × 1.402 × n) for squares of n pixels (1 to 4).
double cbScale(int n);
double crScale(int n);
