#include "encoder/type3_range.h"

#include <algorithm>
#include <cstdlib>

#include "video/dct/dct_toolkit.h"
#include "encoder/forward_dct.h"
#include "video/dct/simd_switch.h"

namespace {

// The decoded samples' range the colour tables take without wrapping, before the decoder's
// shift by 17 bits: -64 to 63 after it.
constexpr std::int64_t sampleLow = -(std::int64_t{64} << 17);
constexpr std::int64_t sampleHigh = (std::int64_t{64} << 17) - 1;
// The bound's weights are in steps of 2^8 of those samples.
constexpr int weightShift = 8;

// The largest size of a sample that a level of 1 at index i (of quantiser step) decodes to, in
// steps of 2^weightShift, rounded up and one more for the transform's rounding.
int sampleBound(int i, LONG step) {
    constexpr int times = 16;
    LONG coefficients[64] = {}, samples[64];
    coefficients[i] = step * times;
    idctBlockPlain(coefficients, samples, 8, 0);
    LONG most = 0;
    for (LONG s : samples) most = std::max(most, std::abs(s));
    const std::int64_t per = (std::int64_t{most} + times - 1) / times;
    return static_cast<int>(std::min<std::int64_t>((per >> weightShift) + 2, INT16_MAX));
}

// The places of the decoder's own order.
const Type3Places& decoderPlaces() {
    static const Type3Places places = [] {
        Type3Places p;
        for (int i = 0; i < 64; ++i) p.place[i] = static_cast<std::uint16_t>(i);
        return p;
    }();
    return places;
}

} // namespace

Type3RangeCheck::Type3RangeCheck(const LONG* quant, const std::uint8_t* order) : quant_(quant) {
    for (int k = 0; k < 64; ++k) {
        places_.place[zigzag[k]] = order[k];
        weight_[order[k]] =
            static_cast<std::int16_t>(k == 0 ? 0 : sampleBound(zigzag[k], quant[zigzag[k]]));
    }
    for (int i = 0; i < 64; ++i) {
        transposedPlaces_.place[transposedIndex(i)] = places_.place[i];
        transposedDecoderPlaces_.place[transposedIndex(i)] = decoderPlaces().place[i];
        transposedQuant_[transposedIndex(i)] = quant[i];
    }
    LONG dcOnly[64] = {quant[0]}, samples[64];
    idctBlockPlain(dcOnly, samples, 8, 0);
    dcSample_ = samples[0];
#if QZ_X86_SIMD
    filter_ = simdLevel() >= SimdLevel::avx512 ? type3RangeFilterAvx512
              : simdLevel() == SimdLevel::avx2 ? type3RangeFilterAvx2
                                               : nullptr;
#else
    filter_ = nullptr;
#endif
}

bool Type3RangeCheck::bounded(const std::int16_t* levels, int dc) const {
    // 16-bit sizes and weights, so that the compiler multiplies and adds them in pairs.
    std::int32_t bound = 0;
    for (int j = 0; j < 64; ++j) {
        const std::int16_t level = levels[j];
        bound += std::int32_t{static_cast<std::int16_t>(level < 0 ? -level : level)} * weight_[j];
    }
    const std::int64_t centre = dc * dcSample_, reach = std::int64_t{bound} << weightShift;
    // Half a step of the tables more for the rounding of the DC's samples.
    const std::int64_t slack = std::int64_t{1} << 16;
    return centre - reach - slack >= sampleLow && centre + reach + slack <= sampleHigh;
}

bool Type3RangeCheck::decoded(const std::int16_t* const* levels, const int* dcs, int count,
                              bool inDecoderOrder) const {
    const Type3Places& places = inDecoderOrder ? decoderPlaces() : places_;
    const Type3Places& transposedPlaces =
        inDecoderOrder ? transposedDecoderPlaces_ : transposedPlaces_;
    alignas(64) LONG coeff[2][64];
    alignas(64) LONG samples[2][64];
    // Two blocks at a time: the filter, then where it cannot tell the decoder's transform
    // (which also takes two in about the time of one).
    for (int at = 0; at < count; at += 2) {
        const int n = std::min(2, count - at);
        if (filter_ != nullptr) {
            for (int b = 0; b < n; ++b)
                dequantise_(levels[at + b], transposedPlaces, dcs[at + b], transposedQuant_,
                            coeff[b]);
            const int settled = filter_(coeff[0], coeff[n - 1]);
            if (settled == 0) return false;
            if (settled == 1) continue;
        }
        for (int b = 0; b < n; ++b)
            dequantise_(levels[at + b], places, dcs[at + b], quant_, coeff[b]);
        if (n == 2) {
            idctBlockPair(coeff[0], coeff[1], samples[0], samples[1], 8, 8, 17);
        } else {
            idctBlock(coeff[0], samples[0], 8, 17);
        }
        // A sample s is in range when s + 64 is within 0 to 127, so the ORed sums have no
        // other bits set. Without an early exit, so that the loop runs several samples an
        // instruction.
        LONG outside = 0;
        for (int b = 0; b < n; ++b)
            for (LONG s : samples[b]) outside |= s + 64;
        if ((outside & ~LONG{127}) != 0) return false;
    }
    return true;
}

void type3DequantisePlain(const std::int16_t* levels, const Type3Places& places, int dc,
                          const LONG* quant, LONG* coeff) {
    coeff[0] = dc * quant[0];
    for (int i = 1; i < 64; ++i)
        coeff[i] = std::clamp<LONG>(levels[places.place[i]], -128, 127) * quant[i];
}

DequantiseForm type3Dequantise() {
#if QZ_X86_SIMD
    if (simdLevel() == SimdLevel::avx512vbmi) return type3DequantiseAvx512;
    if (simdLevel() != SimdLevel::none) return type3DequantiseAvx2;
#endif
    return type3DequantisePlain;
}

#if !QZ_X86_SIMD
void type3DequantiseAvx512(const std::int16_t* levels, const Type3Places& places, int dc,
                           const LONG* quant, LONG* coeff) {
    type3DequantisePlain(levels, places, dc, quant, coeff);
}
void type3DequantiseAvx2(const std::int16_t* levels, const Type3Places& places, int dc,
                         const LONG* quant, LONG* coeff) {
    type3DequantisePlain(levels, places, dc, quant, coeff);
}
int type3RangeFilterAvx2(const LONG*, const LONG*) {
    return -1;
}
int type3RangeFilterAvx512(const LONG*, const LONG*) {
    return -1;
}
#endif
