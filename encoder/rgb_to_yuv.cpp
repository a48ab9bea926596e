#include "encoder/rgb_to_yuv.h"

#include <algorithm>
#include <array>

#include "encoder/dct_encoder.h"
#include "video/dct/simd_switch.h"

namespace {

// 128 + sum × scale rounded half up and limited to 0..255, where sum is differences of a
// channel and luma in 16.16 fixed point (so the result is at least 0 before the limit).
std::uint8_t chromaByte(std::int64_t sum, double scale) {
    const double v = 128.5 + double(sum) * scale;
    return static_cast<std::uint8_t>(std::min(static_cast<int>(std::max(v, 0.0)), 255));
}

struct Scales {
    std::array<double, 5> cb{}, cr{};
    Scales() {
        for (int n = 1; n <= 4; ++n) {
            cb[n] = 1.0 / (65536.0 * 1.772 * n);
            cr[n] = 1.0 / (65536.0 * 1.402 * n);
        }
    }
};

const Scales& scales() {
    static const Scales s;
    return s;
}

} // namespace

double cbScale(int n) {
    return scales().cb[n];
}
double crScale(int n) {
    return scales().cr[n];
}

void rgbRowPairPlain(const std::uint8_t* rgb0, const std::uint8_t* rgb1, int width, int from,
                     const RowPairOut& out) {
    const Scales& s = scales();
    for (int x0 = from; x0 < width; x0 += 2) {
        std::int64_t su = 0, sv = 0;
        int n = 0;
        for (int dy = 0; dy < 2; ++dy) {
            const std::uint8_t* rgb = dy == 0 ? rgb0 : rgb1;
            if (rgb == nullptr) continue;
            for (int x = x0; x < std::min(x0 + 2, width); ++x) {
                // 0.299, 0.587 and 0.114 as 19595, 38470 and 7471 (sum 65536).
                const std::int32_t luma =
                    19595 * rgb[3 * x] + 38470 * rgb[3 * x + 1] + 7471 * rgb[3 * x + 2];
                (dy == 0 ? out.y0 : out.y1)[x] = static_cast<std::uint8_t>((luma + 32768) >> 16);
                su += (std::int64_t{rgb[3 * x + 2]} << 16) - luma;
                sv += (std::int64_t{rgb[3 * x]} << 16) - luma;
                ++n;
            }
        }
        out.cb[x0 / 2] = chromaByte(su, s.cb[n]);
        out.cr[x0 / 2] = chromaByte(sv, s.cr[n]);
    }
}

RowPairForm rgbRowPair() {
#if QZ_X86_SIMD
    if (simdLevel() != SimdLevel::none) return rgbRowPairAvx2;
#endif
    return rgbRowPairPlain;
}

#if !QZ_X86_SIMD
void rgbRowPairAvx2(const std::uint8_t* rgb0, const std::uint8_t* rgb1, int width, int from,
                    const RowPairOut& out) {
    rgbRowPairPlain(rgb0, rgb1, width, from, out);
}
#endif

YuvPicture rgbToYuv420(const std::uint8_t* rgb, int width, int height) {
    YuvPicture p = makeYuvPicture(width, height);
    const RowPairForm convert = rgbRowPair();
    const std::size_t rowBytes = std::size_t(width) * 3;
    for (int cy = 0; cy < p.chromaHeight(); ++cy) {
        const int y0 = 2 * cy;
        const bool pair = y0 + 1 < height;
        const RowPairOut out{p.y.data() + std::size_t(y0) * width,
                             pair ? p.y.data() + std::size_t(y0 + 1) * width : nullptr,
                             p.cb.data() + std::size_t(cy) * p.chromaWidth(),
                             p.cr.data() + std::size_t(cy) * p.chromaWidth()};
        convert(rgb + y0 * rowBytes, pair ? rgb + (y0 + 1) * rowBytes : nullptr, width, 0, out);
    }
    return p;
}
