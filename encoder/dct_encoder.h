// Shared pieces of the DCT frame encoders: the 4:2:0 picture they take, RGB conversion, the
// forward transform in the decoders' coefficient layout and the 8-byte frame header.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "format/container_writer.h"

// A picture in 4:2:0 sampling: full-size luma, chroma planes of half the width and height
// (rounded up). Samples are 0 to 255; chroma 128 is neutral.
struct YuvPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> y;
    std::vector<std::uint8_t> cb;
    std::vector<std::uint8_t> cr;

    int chromaWidth() const { return (width + 1) / 2; }
    int chromaHeight() const { return (height + 1) / 2; }
    // Samples at (x, y), coordinates limited to the picture so edges repeat.
    int lumaAt(int x, int y) const;
    int cbAt(int x, int y) const;
    int crAt(int x, int y) const;
};

// An empty picture of the given size (all planes zero).
YuvPicture makeYuvPicture(int width, int height);
// Full-range conversion of packed 8-bit R, G, B pixels (rows width × 3 bytes), the inverse of
// the decoders' colour tables; chroma is the mean of each 2×2 square.
YuvPicture rgbToYuv420(const std::uint8_t* rgb, int width, int height);

using DctBlock = std::array<double, 64>;
// Forward transform of 8×8 samples (row n, column m at 8n + m) with the orthonormal scaling
// 1/4·C(h)·C(v); the result is indexed 8h + v (h horizontal, v vertical frequency) like the
// decoders' coefficient blocks.
DctBlock forwardDct(const DctBlock& samples);

// The six 8×8 blocks of the macroblock at (mbx, mby): Y0..Y3, Cb, Cr, as 0..255 samples.
std::array<DctBlock, 6> macroblockSamples(const YuvPicture& picture, int mbx, int mby);

// The 8×8 block of a plane (width × height samples) at (x0, y0): its rows in the plane when the
// block lies inside, else a copy in scratch (rows 8 apart) with the coordinates limited to the
// plane so edges repeat. stride receives the distance between rows.
const std::uint8_t* planeBlock(const std::uint8_t* plane, int width, int height, int x0, int y0,
                               std::uint8_t* scratch, std::ptrdiff_t& stride);

// The frame header the dispatch reads: width, height, quality, two zero bytes, options.
Bytes dctFrameHeader(const YuvPicture& picture, int quality, std::uint8_t options);
