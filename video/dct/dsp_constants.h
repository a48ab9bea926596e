// Constants of the inverse transform and of the colour conversions, shared by their scalar and
// vector forms so that every form computes with the same numbers.
#pragma once

#include <cstdint>

namespace dsp {

// About 2^31/√2: the upper half of a product with it is about the value over 2√2.
inline constexpr std::int32_t invSqrt2Fixed = 1518500250;
// Single-precision values of cos(3π/8), √2·cos(3π/8) and √2·cos(π/8), written exactly.
inline constexpr double cos3Pi8 = 0.3826834261417389;
inline constexpr double sqrt2Cos3Pi8 = 0.5411961078643799;
inline constexpr double sqrt2CosPi8 = 1.3065630197525024;
// Adding 1.5 × 2^52 leaves a double rounded to an integer (ties to even) in its low mantissa
// bits.
inline constexpr double roundingBias = 6755399441055744.0;

// A component sum holds three 9-bit lane fields: red from bit 23, green from bit 11, blue from
// bit 0; each field indexes its gamma lane table.
inline constexpr int redLaneShift = 23;
inline constexpr int greenLaneShift = 11;
inline constexpr std::uint32_t laneFieldMask = 511;

// A type-3 sample (scaled by 65536, centred on zero) indexes the 128-entry YUV tables by its
// bits 17 to 23.
inline constexpr int packedIndexShift = 17;
inline constexpr std::uint32_t packedIndexMask = 127;

// The component tables are indexed by sample + componentOffset.
inline constexpr int componentOffset = 256;

} // namespace dsp
