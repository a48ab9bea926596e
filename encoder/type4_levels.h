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

// Fills levels[64] in the form's order (see Type4Levels): levels[0] is the sum of the 64
// samples less 128 each (the DC before quantisation), the others the levels (-256 to 255).
// Returns the mask of the nonzero levels by scan position (bit k for scan position k, never
// bit 0). Reads rows[n·stride + m] for n, m below 8.
using Type4LevelsForm = std::uint64_t (*)(const std::uint8_t* rows, std::ptrdiff_t stride,
                                          const Type4LevelTables& tables, std::int16_t* levels);
// In scan order.
std::uint64_t type4LevelsPlain(const std::uint8_t* rows, std::ptrdiff_t stride,
                               const Type4LevelTables& tables, std::int16_t* levels);
// In the order the transform leaves them (type4PackedIndex); the mask by byte shuffles.
std::uint64_t type4LevelsAvx2(const std::uint8_t* rows, std::ptrdiff_t stride,
                              const Type4LevelTables& tables, std::int16_t* levels);
// AVX-512BW: in scan order, by two word permutes.
std::uint64_t type4LevelsAvx512(const std::uint8_t* rows, std::ptrdiff_t stride,
                                const Type4LevelTables& tables, std::int16_t* levels);

// A form and its order: the level at scan position k is levels[order[k]].
struct Type4Levels {
    Type4LevelsForm form;
    const std::uint8_t* order;
};
// The form for the vector level in use.
Type4Levels type4Levels();
// The orders of the forms: scan order itself, and the AVX2 form's.
const std::uint8_t* type4ScanOrder();
const std::uint8_t* type4PackedOrder();

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
