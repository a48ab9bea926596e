#include "encoder/dct_encoder.h"
#include "encoder/rounding.h"

#include <algorithm>
#include <cmath>

namespace {

int sampleAt(const std::vector<std::uint8_t>& plane, int width, int height, int x, int y) {
    x = std::clamp(x, 0, width - 1);
    y = std::clamp(y, 0, height - 1);
    return plane[static_cast<std::size_t>(y) * width + x];
}

// 128 + sum × scale rounded half up and limited to 0..255, where sum is differences of a
// channel and luma in 16.16 fixed point (so the result is at least 0 before the limit).
std::uint8_t chromaByte(std::int64_t sum, double scale) {
    const double v = 128.5 + double(sum) * scale;
    return static_cast<std::uint8_t>(std::min(static_cast<int>(std::max(v, 0.0)), 255));
}

} // namespace

int YuvPicture::lumaAt(int x, int yy) const {
    return sampleAt(y, width, height, x, yy);
}
int YuvPicture::cbAt(int x, int yy) const {
    return sampleAt(cb, chromaWidth(), chromaHeight(), x, yy);
}
int YuvPicture::crAt(int x, int yy) const {
    return sampleAt(cr, chromaWidth(), chromaHeight(), x, yy);
}

YuvPicture makeYuvPicture(int width, int height) {
    YuvPicture p;
    p.width = width;
    p.height = height;
    p.y.assign(static_cast<std::size_t>(width) * height, 0);
    p.cb.assign(static_cast<std::size_t>(p.chromaWidth()) * p.chromaHeight(), 0);
    p.cr = p.cb;
    return p;
}

YuvPicture rgbToYuv420(const std::uint8_t* rgb, int width, int height) {
    YuvPicture p = makeYuvPicture(width, height);
    // Luma in 16.16 fixed point: 0.299, 0.587 and 0.114 as 19595, 38470 and 7471 (sum 65536).
    std::vector<std::int32_t> luma(p.y.size());
    for (std::size_t i = 0; i < p.y.size(); ++i) {
        luma[i] = 19595 * rgb[3 * i] + 38470 * rgb[3 * i + 1] + 7471 * rgb[3 * i + 2];
        p.y[i] = static_cast<std::uint8_t>((luma[i] + 32768) >> 16);
    }
    // Chroma from the unrounded luma: (B - Y) / 1.772 and (R - Y) / 1.402, averaged over the n
    // pixels of each square (fewer than 4 at odd edges).
    double cbScale[5] = {}, crScale[5] = {};
    for (int n = 1; n <= 4; ++n) {
        cbScale[n] = 1.0 / (65536.0 * 1.772 * n);
        crScale[n] = 1.0 / (65536.0 * 1.402 * n);
    }
    for (int cy = 0; cy < p.chromaHeight(); ++cy) {
        for (int cx = 0; cx < p.chromaWidth(); ++cx) {
            std::int64_t su = 0, sv = 0;
            int n = 0;
            if (2 * cx + 1 < width && 2 * cy + 1 < height) {
                // A whole square: no edge to test.
                const std::size_t i0 = static_cast<std::size_t>(2 * cy) * width + 2 * cx;
                const std::size_t q[4] = {i0, i0 + 1, i0 + width, i0 + width + 1};
                std::int32_t b = 0, r = 0, l = 0;
                for (std::size_t i : q) b += rgb[3 * i + 2], r += rgb[3 * i], l += luma[i];
                const std::size_t at = static_cast<std::size_t>(cy) * p.chromaWidth() + cx;
                p.cb[at] = chromaByte((std::int64_t{b} << 16) - l, cbScale[4]);
                p.cr[at] = chromaByte((std::int64_t{r} << 16) - l, crScale[4]);
                continue;
            }
            for (int dy = 0; dy < 2; ++dy) {
                for (int dx = 0; dx < 2; ++dx) {
                    const int x = 2 * cx + dx, y = 2 * cy + dy;
                    if (x >= width || y >= height) continue;
                    const std::size_t i = static_cast<std::size_t>(y) * width + x;
                    su += (std::int64_t{rgb[3 * i + 2]} << 16) - luma[i];
                    sv += (std::int64_t{rgb[3 * i]} << 16) - luma[i];
                    ++n;
                }
            }
            const std::size_t i = static_cast<std::size_t>(cy) * p.chromaWidth() + cx;
            p.cb[i] = chromaByte(su, cbScale[n]);
            p.cr[i] = chromaByte(sv, crScale[n]);
        }
    }
    return p;
}

std::array<DctBlock, 6> macroblockSamples(const YuvPicture& picture, int mbx, int mby) {
    std::array<DctBlock, 6> blocks{};
    const int x0 = mbx * 16, y0 = mby * 16;
    if (x0 + 16 <= picture.width && y0 + 16 <= picture.height) {
        // Inside the picture: rows read straight, no edge to repeat.
        for (int r = 0; r < 16; ++r) {
            const std::uint8_t* row = picture.y.data() + std::size_t(y0 + r) * picture.width + x0;
            for (int c = 0; c < 16; ++c)
                blocks[(r >> 3) * 2 + (c >> 3)][(r & 7) * 8 + (c & 7)] = row[c];
        }
        const int cw = picture.chromaWidth();
        for (int n = 0; n < 8; ++n) {
            const std::size_t at = std::size_t(mby * 8 + n) * cw + mbx * 8;
            for (int m = 0; m < 8; ++m) {
                blocks[4][8 * n + m] = picture.cb[at + m];
                blocks[5][8 * n + m] = picture.cr[at + m];
            }
        }
        return blocks;
    }
    for (int b = 0; b < 4; ++b) {
        const int bx = x0 + (b & 1) * 8, by = y0 + (b >> 1) * 8;
        for (int n = 0; n < 8; ++n)
            for (int m = 0; m < 8; ++m) blocks[b][8 * n + m] = picture.lumaAt(bx + m, by + n);
    }
    for (int n = 0; n < 8; ++n) {
        for (int m = 0; m < 8; ++m) {
            blocks[4][8 * n + m] = picture.cbAt(mbx * 8 + m, mby * 8 + n);
            blocks[5][8 * n + m] = picture.crAt(mbx * 8 + m, mby * 8 + n);
        }
    }
    return blocks;
}

Bytes dctFrameHeader(const YuvPicture& picture, int quality, std::uint8_t options) {
    const auto w = static_cast<std::uint16_t>(picture.width);
    const auto h = static_cast<std::uint16_t>(picture.height);
    return {static_cast<std::uint8_t>(w),
            static_cast<std::uint8_t>(w >> 8),
            static_cast<std::uint8_t>(h),
            static_cast<std::uint8_t>(h >> 8),
            static_cast<std::uint8_t>(quality),
            0,
            0,
            options};
}
