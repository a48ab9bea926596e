// The type-4 encoder's levels of one block: an integer forward transform, quantisation by
// multiplication and the levels in scan order. A plain form and vector forms give the same
// levels: the arithmetic is integer throughout, so any grouping of the sums is exact.
#pragma once

#include <cstddef>
#include <cstdint>

// A frame's quantiser: each coefficient's multiplier (in natural order, 8v + h, and in the
// vector forms' order) and the shift they share. A level is the size of the transform's
// coefficient (8 times the orthonormal one) × multiplier / 2^(16 + shift), rounded to the nearest
// (halves up; the product's last 15 bits dropped first), with the coefficient's sign.
struct Type4LevelTables {
    std::uint16_t natural[64];
    alignas(32) std::uint16_t packed[64];
    int shift;
    // scale[i], in the decoder's coefficient order (8h + v): the level of an orthonormal
    // coefficient of 1 (the decoder's prescale over its quantiser).
    explicit Type4LevelTables(const double* scale);
};

// Fills scan[64] in scan order: scan[0] is the sum of the 64 samples less 128 each (the DC
// before quantisation), scan[1..63] the levels (-256 to 255). Returns the mask of the nonzero
// levels (bit k for scan[k], never bit 0). Reads rows[n·stride + m] for n, m below 8.
using Type4LevelsForm = std::uint64_t (*)(const std::uint8_t* rows, std::ptrdiff_t stride,
                                          const Type4LevelTables& tables, std::int16_t* scan);
std::uint64_t type4LevelsPlain(const std::uint8_t* rows, std::ptrdiff_t stride,
                               const Type4LevelTables& tables, std::int16_t* scan);
std::uint64_t type4LevelsAvx2(const std::uint8_t* rows, std::ptrdiff_t stride,
                              const Type4LevelTables& tables, std::int16_t* scan);
// AVX-512BW: the scan order by two word permutes.
std::uint64_t type4LevelsAvx512(const std::uint8_t* rows, std::ptrdiff_t stride,
                                const Type4LevelTables& tables, std::int16_t* scan);
// The form for the vector level in use.
Type4LevelsForm type4Levels();

// out[8n + m] = table[rows[n·stride + m]] for n, m below 8 (the chroma samples the encoder
// codes): the plain form and one by byte permutes (AVX-512 VBMI).
using ByteMapForm = void (*)(const std::uint8_t* rows, std::ptrdiff_t stride,
                             const std::uint8_t* table, std::uint8_t* out);
void mapBlockPlain(const std::uint8_t* rows, std::ptrdiff_t stride, const std::uint8_t* table,
                   std::uint8_t* out);
void mapBlockVbmi(const std::uint8_t* rows, std::ptrdiff_t stride, const std::uint8_t* table,
                  std::uint8_t* out);
ByteMapForm mapBlock();

// Where the vector forms keep the coefficient of natural index i (their order of the 64).
int type4PackedIndex(int natural);
