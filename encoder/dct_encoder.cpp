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

const std::uint8_t* planeBlock(const std::uint8_t* plane, int width, int height, int x0, int y0,
                               std::uint8_t* scratch, std::ptrdiff_t& stride) {
    if (x0 + 8 <= width && y0 + 8 <= height) {
        stride = width;
        return plane + std::size_t(y0) * width + x0;
    }
    for (int n = 0; n < 8; ++n) {
        const std::uint8_t* row = plane + std::size_t(std::min(y0 + n, height - 1)) * width;
        for (int m = 0; m < 8; ++m) scratch[8 * n + m] = row[std::min(x0 + m, width - 1)];
    }
    stride = 8;
    return scratch;
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
