// The block layer of the DOR encoder: the bit writer, the small code, quantisation of one 8×8
// block into coefficient levels, their code (with escapes) and the decoder's reconstruction of
// them.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "format/container_writer.h"
#include "api/player_config.h"

// Bits written most significant first into 16-bit little-endian words.
class DorBitWriter {
  public:
    void put(std::uint32_t value, int count);
    void put(const char* bits);
    std::size_t bitCount() const { return bits_; }
    // The words written so far, the last one padded with zero bits.
    Bytes bytes() const;

  private:
    std::vector<std::uint16_t> words_;
    std::size_t bits_ = 0;
};

// Levels of one block in scan order: entry 0 the DC level, the others AC levels.
using DorLevels = std::array<int, 64>;

void writeDorSmallValue(DorBitWriter& out, int value);
int dorSmallValueBits(int value);

// Quantises 64 samples (row n, column m at 8n + m; picture bytes minus 64, not rounded) with
// the frame's dequantisation table.
DorLevels quantiseDorBlock(const std::array<double, 64>& samples, const LONG dequant[64]);
// Bits the block's code takes: DC, run/level codes or escapes, end of block.
int dorBlockBits(const DorLevels& levels);
void writeDorBlock(DorBitWriter& out, const DorLevels& levels);
// The picture bytes (0 to 127, row-major 8×8) the decoder makes of the levels.
std::array<std::uint8_t, 64> reconstructDorBlock(const DorLevels& levels, const LONG dequant[64]);
