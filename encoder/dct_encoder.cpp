#include "encoder/dct_encoder.h"
#include "encoder/rounding.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

int sampleAt(const std::vector<std::uint8_t>& plane, int width, int height, int x, int y) {
    x = std::clamp(x, 0, width - 1);
    y = std::clamp(y, 0, height - 1);
    return plane[static_cast<std::size_t>(y) * width + x];
}

std::uint8_t toByte(double v) {
    return static_cast<std::uint8_t>(std::clamp(roundHalfAway(v), 0L, 255L));
}

// cosTable[f][x] = C(f)/2 · cos((2x + 1)fπ/16).
const std::array<std::array<double, 8>, 8>& cosTable() {
    static const auto table = [] {
        std::array<std::array<double, 8>, 8> t{};
        for (int f = 0; f < 8; ++f) {
            const double c = f == 0 ? std::numbers::sqrt2 / 2 : 1.0;
            for (int x = 0; x < 8; ++x)
                t[f][x] = c / 2 * std::cos((2 * x + 1) * f * std::numbers::pi / 16);
        }
        return t;
    }();
    return table;
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
    std::vector<double> u(p.y.size()), v(p.y.size());
    for (std::size_t i = 0; i < p.y.size(); ++i) {
        const double r = rgb[3 * i], g = rgb[3 * i + 1], b = rgb[3 * i + 2];
        const double luma = 0.299 * r + 0.587 * g + 0.114 * b;
        p.y[i] = toByte(luma);
        u[i] = (b - luma) / 1.772;
        v[i] = (r - luma) / 1.402;
    }
    for (int cy = 0; cy < p.chromaHeight(); ++cy) {
        for (int cx = 0; cx < p.chromaWidth(); ++cx) {
            double su = 0, sv = 0;
            int n = 0;
            for (int dy = 0; dy < 2; ++dy) {
                for (int dx = 0; dx < 2; ++dx) {
                    const int x = 2 * cx + dx, y = 2 * cy + dy;
                    if (x >= width || y >= height) continue;
                    su += u[static_cast<std::size_t>(y) * width + x];
                    sv += v[static_cast<std::size_t>(y) * width + x];
                    ++n;
                }
            }
            const std::size_t i = static_cast<std::size_t>(cy) * p.chromaWidth() + cx;
            p.cb[i] = toByte(128 + su / n);
            p.cr[i] = toByte(128 + sv / n);
        }
    }
    return p;
}

DctBlock forwardDct(const DctBlock& samples) {
    // Separable: first along each row (horizontal frequency h), then down each column.
    const auto& c = cosTable();
    double rows[8][8]; // rows[n][h]: row n transformed horizontally
    for (int n = 0; n < 8; ++n) {
        for (int h = 0; h < 8; ++h) {
            double sum = 0;
            for (int m = 0; m < 8; ++m) sum += samples[8 * n + m] * c[h][m];
            rows[n][h] = sum;
        }
    }
    DctBlock out{};
    for (int h = 0; h < 8; ++h) {
        for (int v = 0; v < 8; ++v) {
            double sum = 0;
            for (int n = 0; n < 8; ++n) sum += rows[n][h] * c[v][n];
            out[8 * h + v] = sum;
        }
    }
    return out;
}

std::array<DctBlock, 6> macroblockSamples(const YuvPicture& picture, int mbx, int mby) {
    std::array<DctBlock, 6> blocks{};
    for (int b = 0; b < 4; ++b) {
        const int x0 = mbx * 16 + (b & 1) * 8, y0 = mby * 16 + (b >> 1) * 8;
        for (int n = 0; n < 8; ++n)
            for (int m = 0; m < 8; ++m) blocks[b][8 * n + m] = picture.lumaAt(x0 + m, y0 + n);
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
