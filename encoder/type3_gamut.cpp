#include "encoder/type3_gamut.h"

#include <algorithm>

#include "encoder/rounding.h"
#include "video/dct/simd_switch.h"

void limitChromaRowPlain(const std::uint8_t* luma0, const std::uint8_t* luma1, int lumaWidth,
                         int from, int width, std::uint8_t* cb, std::uint8_t* cr) {
    constexpr float low = gamutLow, high = gamutHigh;
    for (int cx = from; cx < width; ++cx) {
        if (cb[cx] == 128 && cr[cx] == 128) continue; // no colour to limit
        const float u = float(cb[cx] - 128), v = float(cr[cx] - 128);
        const float channel[3] = {1.402f * v, -0.3441f * u - 0.7141f * v, 1.772f * u};
        const int x0 = 2 * cx, x1 = std::min(2 * cx + 1, lumaWidth - 1);
        const int y0 = std::min({luma0[x0], luma0[x1], luma1[x0], luma1[x1]});
        const int y1 = std::max({luma0[x0], luma0[x1], luma1[x0], luma1[x1]});
        // The scale is the least of (high - y) / k over the pixels' y for a channel k above
        // zero and of (low - y) / k below: division rounds monotonically, so the least is at
        // the brightest, respectively the darkest, pixel; and a quotient of at least 1
        // (numerator past k) cannot lower it.
        const float toHigh = high - float(y1), toLow = low - float(y0);
        float scale = 1.0f;
        for (float k : channel) {
            if (k > 0 && toHigh < k) scale = std::min(scale, toHigh / k);
            if (k < 0 && toLow > k) scale = std::min(scale, toLow / k);
        }
        cb[cx] = static_cast<std::uint8_t>(roundHalfAway(128.0f + u * scale));
        cr[cx] = static_cast<std::uint8_t>(roundHalfAway(128.0f + v * scale));
    }
}

ChromaRowForm limitChromaRow() {
#if QZ_X86_SIMD
    if (simdLevel() >= SimdLevel::avx512) return limitChromaRowAvx512;
    if (simdLevel() != SimdLevel::none) return limitChromaRowAvx2;
#endif
    return limitChromaRowPlain;
}

#if !QZ_X86_SIMD
void limitChromaRowAvx2(const std::uint8_t* luma0, const std::uint8_t* luma1, int lumaWidth,
                        int from, int width, std::uint8_t* cb, std::uint8_t* cr) {
    limitChromaRowPlain(luma0, luma1, lumaWidth, from, width, cb, cr);
}
void limitChromaRowAvx512(const std::uint8_t* luma0, const std::uint8_t* luma1, int lumaWidth,
                          int from, int width, std::uint8_t* cb, std::uint8_t* cr) {
    limitChromaRowPlain(luma0, luma1, lumaWidth, from, width, cb, cr);
}
#endif
