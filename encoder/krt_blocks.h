// Block planning of KRT delta frames: for every 4 x 4 block of the new picture, a displaced copy
// from the previous picture where one is close enough, else a two-bit or a full block.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

struct KrtVector {
    int dx;
    int dy;
};

// A full block (16 index bytes, 4 rows of 4) or a two-bit block (4 colour bytes and the mask,
// little-endian, in the first 8 bytes).
using ByteBlock = std::array<std::uint8_t, 16>;

struct KrtNewBlock {
    bool twoBit;
    ByteBlock bytes;
};

// What one block of the picture takes: vector index, or new block index (the other is -1).
struct KrtBlockChoice {
    int vector = -1;
    int newBlock = -1;
};

struct KrtBlockSearch {
    int width;
    int height;
    int range;      // displacements searched both ways around each block
    int blockError; // largest summed squared error accepted from a copy or two-bit block
};

struct KrtBlockPlan {
    std::vector<KrtVector> vectors;      // distinct displacements in first use order
    std::vector<KrtNewBlock> newBlocks;  // distinct new blocks in first use order
    std::vector<KrtBlockChoice> choices; // one per block, raster order
    std::vector<std::uint8_t> result;    // the picture a decoder builds from the plan
};

// Plans a delta frame from previous to target (palette indices, width x height each);
// distance holds the 256 x 256 squared distances between palette entries. At most maxBlocks
// vectors and new blocks together where the previous picture allows it: past that, the blocks
// that lose least by it are copied from their best displacement instead.
KrtBlockPlan planKrtBlocks(const KrtBlockSearch& search, const std::vector<std::uint8_t>& previous,
                           const std::vector<std::uint8_t>& target,
                           const std::vector<int>& distance, int maxBlocks = 4096);

// The two-bit block closest to the 16 indices of block (4 colours from among them); its error
// goes to error.
ByteBlock makeTwoBitBlock(const std::uint8_t* block, const std::vector<int>& distance, int* error);
// Expands a two-bit block to 16 indices.
void expandTwoBitBlock(const ByteBlock& twoBit, std::uint8_t* out);
