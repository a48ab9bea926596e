// Blt of the stand-in device: colour fills and stretching copies (nearest pixel), RGB to RGB
// in any layouts and YUY2 to RGB through the display hardware's converter.
#include <vector>

#include "platform/standin/ddraw_internal.h"

namespace qzplat::detail {

namespace {

void colourFill(Surface& s, const RECT& rect, DWORD colour) {
    for (LONG y = rect.top; y < rect.bottom; ++y) {
        BYTE* row = s.pixels.data() + std::size_t(y) * DWORD(s.pitch);
        for (LONG x = rect.left; x < rect.right; ++x) {
            if (s.layout.fourCC != 0) {
                // A YUY2 fill colour is one Y0 U Y1 V pair; each pixel takes its half.
                writePixel(row, x, 2, (x & 1) ? colour >> 16 : colour & 0xFFFF);
            } else {
                writePixel(row, x, s.layout.bytes, colour);
            }
        }
    }
}

enum class Conversion { none, rgbToRgb, yuy2ToRgb };

// Copies source rectangle `from` of memory `source` into `to` of dest, stretching by
// nearest pixel.
void stretchCopy(Surface& dest, const RECT& to, const Surface& sourceSurface, const BYTE* source,
                 const RECT& from, Conversion conversion) {
    std::int64_t sourceWidth = from.right - from.left, sourceHeight = from.bottom - from.top;
    std::int64_t destWidth = to.right - to.left, destHeight = to.bottom - to.top;
    const PixelLayout& in = sourceSurface.layout;
    const PixelLayout& out = dest.layout;
    for (LONG y = to.top; y < to.bottom; ++y) {
        LONG sy = from.top + LONG((y - to.top) * sourceHeight / destHeight);
        const BYTE* sourceRow = source + std::size_t(sy) * DWORD(sourceSurface.pitch);
        BYTE* destRow = dest.pixels.data() + std::size_t(y) * DWORD(dest.pitch);
        for (LONG x = to.left; x < to.right; ++x) {
            LONG sx = from.left + LONG((x - to.left) * sourceWidth / destWidth);
            switch (conversion) {
            case Conversion::none:
                if (in.fourCC != 0) {
                    // Keep the chroma of the source pair with the luma of the source pixel.
                    const BYTE* pair = sourceRow + std::size_t(sx & ~1) * 2;
                    DWORD half = DWORD(pair[(sx & 1) * 2]) | DWORD(pair[(x & 1) ? 3 : 1]) << 8;
                    writePixel(destRow, x, 2, half);
                } else {
                    writePixel(destRow, x, out.bytes, readPixel(sourceRow, sx, in.bytes));
                }
                break;
            case Conversion::rgbToRgb:
                writePixel(destRow, x, out.bytes,
                           rgbToPixel(out, pixelToRgb(in, readPixel(sourceRow, sx, in.bytes))));
                break;
            case Conversion::yuy2ToRgb:
                writePixel(destRow, x, out.bytes, rgbToPixel(out, yuy2PixelToRgb(sourceRow, sx)));
                break;
            }
        }
    }
}

} // namespace

HRESULT Surface::blt(LPRECT destRect, Surface* source, LPRECT sourceRect, DWORD flags,
                     LPDDBLTFX effects) {
    constexpr DWORD handled = DDBLT_WAIT | DDBLT_DONOTWAIT | DDBLT_ASYNC | DDBLT_COLORFILL;
    if (dead) return DDERR_INVALIDOBJECT;
    if (flags & ~handled) return DDERR_UNSUPPORTED;
    if (lost) return DDERR_SURFACELOST;
    if (locked) return DDERR_SURFACEBUSY;
    RECT to = destRect ? *destRect : RECT{0, 0, LONG(width), LONG(height)};
    if (!rectInside(to, width, height)) return DDERR_INVALIDRECT;

    if (flags & DDBLT_COLORFILL) {
        if (effects == nullptr || effects->dwSize != sizeof(DDBLTFX)) return DDERR_INVALIDPARAMS;
        colourFill(*this, to, effects->dwFillColor);
    } else {
        if (source == nullptr) return DDERR_INVALIDPARAMS;
        if (source->dead) return DDERR_INVALIDOBJECT;
        if (source->device != device) return DDERR_INVALIDPARAMS;
        if (source->lost) return DDERR_SURFACELOST;
        if (source->locked) return DDERR_SURFACEBUSY;
        RECT from =
            sourceRect ? *sourceRect : RECT{0, 0, LONG(source->width), LONG(source->height)};
        if (!rectInside(from, source->width, source->height)) return DDERR_INVALIDRECT;
        bool stretched = from.right - from.left != to.right - to.left ||
                         from.bottom - from.top != to.bottom - to.top;
        const PixelLayout& in = source->layout;
        bool destRgb = layout.fourCC == 0 && !layout.palettised;
        Conversion conversion;
        if (sameLayout(in, layout)) {
            conversion = Conversion::none;
        } else if (in.fourCC != 0 && destRgb) {
            conversion = Conversion::yuy2ToRgb;
        } else if (in.fourCC == 0 && !in.palettised && destRgb) {
            conversion = Conversion::rgbToRgb;
        } else {
            return DDERR_UNSUPPORTED;
        }
        // RGB copies fall back on the emulation layer; YUY2 needs the driver's hardware.
        if (in.fourCC != 0) {
            if (!(device->profile.caps & DDCAPS_BLTFOURCC)) return DDERR_NOBLTHW;
            if (stretched && !(device->profile.caps & DDCAPS_BLTSTRETCH)) return DDERR_NOSTRETCHHW;
        }
        HRESULT code;
        if (takeFault(state().sourceBlt, code)) return code;
        std::vector<BYTE> copy;
        const BYTE* sourcePixels = source->pixels.data();
        if (source == this) {
            copy = pixels; // overlapping rectangles read the picture as it was
            sourcePixels = copy.data();
        }
        stretchCopy(*this, to, *source, sourcePixels, from, conversion);
    }
    if (visible()) presentScreen(device, true);
    return DD_OK;
}

} // namespace qzplat::detail
