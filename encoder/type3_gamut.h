// The type-3 colour tables add up channels without clamping: a channel that leaves 0..255 wraps
// into its neighbour. The encoder limits luma to a band inside 0..255 and desaturates each
// chroma pair until all four pixels it covers stay inside the band, with room for quantisation
// error. The chroma step, in single precision, runs a row at a time in a plain form, an AVX2 form
// and an AVX-512F form that write the same bytes, chosen at run time by the vector level in use.
#pragma once

#include <cstdint>

// The band luma is limited to.
constexpr int gamutLow = 12, gamutHigh = 243;

// Desaturates chroma samples from (column) to width of one chroma row (cb, cr) against the two
// luma rows (already limited to the band, luma1 repeating luma0 at an odd end) of lumaWidth
// samples that they cover.
using ChromaRowForm = void (*)(const std::uint8_t* luma0, const std::uint8_t* luma1, int lumaWidth,
                               int from, int width, std::uint8_t* cb, std::uint8_t* cr);
void limitChromaRowPlain(const std::uint8_t* luma0, const std::uint8_t* luma1, int lumaWidth,
                         int from, int width, std::uint8_t* cb, std::uint8_t* cr);
void limitChromaRowAvx2(const std::uint8_t* luma0, const std::uint8_t* luma1, int lumaWidth,
                        int from, int width, std::uint8_t* cb, std::uint8_t* cr);
void limitChromaRowAvx512(const std::uint8_t* luma0, const std::uint8_t* luma1, int lumaWidth,
                          int from, int width, std::uint8_t* cb, std::uint8_t* cr);
ChromaRowForm limitChromaRow();
