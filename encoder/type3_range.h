// The type-3 decoder adds up colour table entries indexed by its samples without any clamping,
// so a block whose samples leave the tables' range shows as wrapped colours. The encoder checks
// each block's levels before coding them: a bound from the levels' sizes clears most chroma
// blocks; the rest go through the decoder's inverse transform, run first in single precision
// (AVX2 or AVX-512) where it settles nearly every block, else exactly. Making the coefficient block
// from the levels runs in a plain form, one by gathers (AVX2) and one by word permutes
// (AVX-512BW).
#pragma once

#include <cstdint>

#include "platform/win32.h"

// The places of the 64 coefficients in an order of levels: place[i] is where the level of the
// decoder's coefficient i (8h + v) is, for i from 1 (the DC is given apart).
struct Type3Places {
    alignas(64) std::uint16_t place[64];
};

// coeff[i] = levels[place[i]] limited to -128..127, times quant[i], for i from 1 to 63;
// coeff[0] = dc × quant[0].
using DequantiseForm = void (*)(const std::int16_t* levels, const Type3Places& places, int dc,
                                const LONG* quant, LONG* coeff);
void type3DequantisePlain(const std::int16_t* levels, const Type3Places& places, int dc,
                          const LONG* quant, LONG* coeff);
void type3DequantiseAvx2(const std::int16_t* levels, const Type3Places& places, int dc,
                         const LONG* quant, LONG* coeff);
void type3DequantiseAvx512(const std::int16_t* levels, const Type3Places& places, int dc,
                           const LONG* quant, LONG* coeff);
// The form for the vector level in use.
DequantiseForm type3Dequantise();

// The filter: 1 when every sample of the blocks a and b decodes inside the range, 0 when one
// surely does not, -1 when it cannot tell. The blocks' coefficients are transposed (input k of
// line h at 8k + h). It runs the decoder's transform in single precision, whose samples differ
// from the decoder's by less than type3FilterError (before its shift), and says -1 for sizes
// where the decoder's integers could wrap.
using RangeFilterForm = int (*)(const LONG* a, const LONG* b);
int type3RangeFilterAvx2(const LONG* a, const LONG* b);
int type3RangeFilterAvx512(const LONG* a, const LONG* b);
inline constexpr int type3FilterError = 1 << 14;

// A quantiser's check, for levels in a given order (the level at scan position k at order[k]).
class Type3RangeCheck {
  public:
    // quant is the decoder's quantiser table (kept by pointer).
    Type3RangeCheck(const LONG* quant, const std::uint8_t* order);
    // True where the sizes of the levels (whatever the DC's place holds counts nothing) bound
    // every sample of the block of DC level dc inside the range, without the inverse transform.
    bool bounded(const std::int16_t* levels, int dc) const;
    // Whether every sample of count blocks decodes inside the range, the blocks' levels in the
    // order given or, with inDecoderOrder, at the decoder's indices (AC levels beyond a signed
    // byte count as clamped, as they are coded).
    bool decoded(const std::int16_t* const* levels, const int* dcs, int count,
                 bool inDecoderOrder = false) const;

  private:
    const LONG* quant_;
    // The places of the order given, and of both orders for the transposed coefficient
    // blocks the filter takes, with the quantiser transposed likewise.
    Type3Places places_, transposedPlaces_, transposedDecoderPlaces_;
    alignas(64) LONG transposedQuant_[64];
    DequantiseForm dequantise_ = type3Dequantise();
    RangeFilterForm filter_;
    // By place in the order: a bound on the size of any sample a level of 1 there decodes to,
    // in steps of 2^8 of the decoder's samples before its shift (0 at the DC's place).
    alignas(64) std::int16_t weight_[64];
    std::int64_t dcSample_; // the samples of a block of DC level 1 and no AC
};
