// Pixel layouts of the stand-in's surfaces and the conversions the "hardware" performs.
#include <algorithm>
#include <bit>

#include "platform/standin/ddraw_internal.h"

namespace qzplat::detail {

namespace {

int clampByte(int value) {
    return std::clamp(value, 0, 255);
}

// Value of one channel scaled from its mask's width to 0..255, rounded.
std::uint32_t channelTo8(DWORD pixel, DWORD mask) {
    if (mask == 0) return 0;
    int shift = std::countr_zero(mask);
    DWORD maximum = mask >> shift;
    DWORD value = (pixel & mask) >> shift;
    return std::uint32_t((std::uint64_t(value) * 255 + maximum / 2) / maximum);
}

DWORD channelFrom8(std::uint32_t value, DWORD mask) {
    if (mask == 0) return 0;
    int shift = std::countr_zero(mask);
    DWORD maximum = mask >> shift;
    return DWORD((std::uint64_t(value) * maximum + 127) / 255) << shift;
}

} // namespace

PixelLayout layoutOf(DisplayFormat format) {
    PixelLayout layout;
    switch (format) {
    case DisplayFormat::palette8:
        layout.bytes = 1;
        layout.palettised = true;
        break;
    case DisplayFormat::rgb555:
        layout.bytes = 2;
        layout.red = 0x7C00, layout.green = 0x03E0, layout.blue = 0x001F;
        break;
    case DisplayFormat::rgb565:
        layout.bytes = 2;
        layout.red = 0xF800, layout.green = 0x07E0, layout.blue = 0x001F;
        break;
    case DisplayFormat::rgb888:
        layout.bytes = 4;
        layout.red = 0xFF0000, layout.green = 0x00FF00, layout.blue = 0x0000FF;
        break;
    }
    return layout;
}

bool sameLayout(const PixelLayout& a, const PixelLayout& b) {
    return a.bytes == b.bytes && a.fourCC == b.fourCC && a.palettised == b.palettised &&
           a.red == b.red && a.green == b.green && a.blue == b.blue;
}

DWORD bitsPerPixel(const PixelLayout& layout) {
    return layout.bytes * 8;
}

DDPIXELFORMAT describeLayout(const PixelLayout& layout) {
    DDPIXELFORMAT format{};
    format.dwSize = sizeof(DDPIXELFORMAT);
    if (layout.fourCC != 0) {
        format.dwFlags = DDPF_FOURCC;
        format.dwFourCC = layout.fourCC;
        format.dwYUVBitCount = 16;
    } else if (layout.palettised) {
        format.dwFlags = DDPF_RGB | DDPF_PALETTEINDEXED8;
        format.dwRGBBitCount = 8;
    } else {
        format.dwFlags = DDPF_RGB;
        format.dwRGBBitCount = bitsPerPixel(layout);
        format.dwRBitMask = layout.red;
        format.dwGBitMask = layout.green;
        format.dwBBitMask = layout.blue;
    }
    return format;
}

bool parseLayout(const DDPIXELFORMAT& format, PixelLayout& layout) {
    layout = PixelLayout{};
    if (format.dwFlags & DDPF_FOURCC) {
        if (format.dwFourCC != fourCCYuy2) return false;
        layout.bytes = 2;
        layout.fourCC = fourCCYuy2;
        return true;
    }
    if (!(format.dwFlags & DDPF_RGB)) return false;
    if (format.dwRGBBitCount == 8) {
        layout.bytes = 1;
        layout.palettised = true;
        return true;
    }
    if (format.dwRGBBitCount != 16 && format.dwRGBBitCount != 32) return false;
    DWORD r = format.dwRBitMask, g = format.dwGBitMask, b = format.dwBBitMask;
    DWORD limit = format.dwRGBBitCount == 16 ? 0xFFFFu : 0xFFFFFFFFu;
    bool contiguous = true;
    for (DWORD mask : {r, g, b}) {
        if (mask == 0 || (mask & ~limit) != 0) return false;
        DWORD shifted = mask >> std::countr_zero(mask);
        contiguous = contiguous && (shifted & (shifted + 1)) == 0;
    }
    if (!contiguous || (r & g) || (r & b) || (g & b)) return false;
    layout.bytes = format.dwRGBBitCount / 8;
    layout.red = r, layout.green = g, layout.blue = b;
    return true;
}

DWORD readPixel(const BYTE* row, LONG x, DWORD bytes) {
    const BYTE* p = row + std::ptrdiff_t(x) * bytes;
    switch (bytes) {
    case 1:
        return p[0];
    case 2:
        return DWORD(p[0]) | DWORD(p[1]) << 8;
    default:
        return DWORD(p[0]) | DWORD(p[1]) << 8 | DWORD(p[2]) << 16 | DWORD(p[3]) << 24;
    }
}

void writePixel(BYTE* row, LONG x, DWORD bytes, DWORD value) {
    BYTE* p = row + std::ptrdiff_t(x) * bytes;
    for (DWORD i = 0; i < bytes; ++i) p[i] = BYTE(value >> (8 * i));
}

std::uint32_t pixelToRgb(const PixelLayout& layout, DWORD pixel) {
    return channelTo8(pixel, layout.red) << 16 | channelTo8(pixel, layout.green) << 8 |
           channelTo8(pixel, layout.blue);
}

DWORD rgbToPixel(const PixelLayout& layout, std::uint32_t rgb) {
    return channelFrom8((rgb >> 16) & 0xFF, layout.red) |
           channelFrom8((rgb >> 8) & 0xFF, layout.green) | channelFrom8(rgb & 0xFF, layout.blue);
}

std::uint32_t yuvToRgb(int y, int u, int v) {
    // 16.16 fixed point of 1.402, 0.344136, 0.714136 and 1.772, rounded half up.
    int cb = u - 128, cr = v - 128;
    int r = clampByte(y + ((91881 * cr + 32768) >> 16));
    int g = clampByte(y + ((-22554 * cb - 46802 * cr + 32768) >> 16));
    int b = clampByte(y + ((116130 * cb + 32768) >> 16));
    return std::uint32_t(r) << 16 | std::uint32_t(g) << 8 | std::uint32_t(b);
}

std::uint32_t yuy2PixelToRgb(const BYTE* row, LONG x) {
    const BYTE* pair = row + std::ptrdiff_t(x & ~1) * 2;
    return yuvToRgb(pair[(x & 1) * 2], pair[1], pair[3]);
}

bool takeFault(Fault& fault, HRESULT& code) {
    if (fault.count <= 0) return false;
    --fault.count;
    code = fault.code;
    return true;
}

bool rectInside(const RECT& rect, DWORD width, DWORD height) {
    return rect.left >= 0 && rect.top >= 0 && rect.left < rect.right && rect.top < rect.bottom &&
           std::int64_t(rect.right) <= std::int64_t(width) &&
           std::int64_t(rect.bottom) <= std::int64_t(height);
}

} // namespace qzplat::detail
