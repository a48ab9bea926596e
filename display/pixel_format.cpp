// The display's pixel format and the choice of display mode.
#include "display/display_internal.h"

#include <algorithm>

namespace {

// Mask bits the depth counts: bits 0 to 30.
constexpr DWORD countedBits = 31;

LONG countBits(DWORD mask) {
    LONG bits = 0;
    for (DWORD bit = 0; bit < countedBits; ++bit) bits += (mask >> bit) & 1;
    return bits;
}

// Position of the lowest set bit; mask must not be zero.
LONG lowestBit(DWORD mask) {
    LONG shift = 0;
    while ((mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

bool hasAll(DWORD caps, DWORD wanted) {
    return (caps & wanted) == wanted;
}

} // namespace

bool readPixelFormat(IDirectDrawSurface2* primary, PixelFormat* format) {
    DDPIXELFORMAT pixels{};
    pixels.dwSize = sizeof(pixels);
    if (FAILED(primary->GetPixelFormat(&pixels))) return false;
    if (pixels.dwRGBBitCount == 8) {
        format->depth = 8;
        return true;
    }
    const DWORD red = pixels.dwRBitMask;
    const DWORD green = pixels.dwGBitMask;
    const DWORD blue = pixels.dwBBitMask;
    if (red == 0 || green == 0 || blue == 0) return false;
    format->redBits = countBits(red);
    format->greenBits = countBits(green);
    format->blueBits = countBits(blue);
    format->redShift = lowestBit(red);
    format->greenShift = lowestBit(green);
    format->blueShift = lowestBit(blue);
    format->rgbMask = static_cast<LONG>(red | green | blue);
    format->depth = format->redBits + format->greenBits + format->blueBits;
    return true;
}

LONG chooseDisplayMode(const DisplayState* ds) {
    const PlayerConfig* config = ds->config;
    // Caller memory holds RGB pixels; the YUV methods need a DirectDraw device to show them.
    if ((config->flags & hardwareYuv) == 0 || (config->flags & callerBuffers) != 0 ||
        config->directDraw2 == nullptr)
        return modeRgb;
    DDCAPS driver{};
    DDCAPS emulation{};
    driver.dwSize = sizeof(driver);
    emulation.dwSize = sizeof(emulation);
    if (FAILED(config->directDraw2->GetCaps(&driver, &emulation))) return modeRgb;
    if ((config->allowedModes & modeOverlay) &&
        hasAll(driver.dwCaps, DDCAPS_OVERLAYFOURCC | DDCAPS_OVERLAYSTRETCH))
        return modeOverlay;
    if ((config->allowedModes & modeStretchBlit) &&
        hasAll(driver.dwCaps, DDCAPS_BLTFOURCC | DDCAPS_BLTSTRETCH))
        return modeStretchBlit;
    return modeRgb;
}

RECT destinationRect(const DisplayState* ds) {
    return RECT{ds->destX, ds->destY, ds->destX + ds->destWidth, ds->destY + ds->destHeight};
}

RECT writtenRect(const DisplayState* ds) {
    using Wide = long long;
    const PlayerConfig* config = ds->config;
    const Wide width = Wide{config->movieWidth} * ((config->flags & doubleX) ? 2 : 1);
    const Wide height = Wide{config->movieHeight} * ((config->flags & (doubleY | skipY)) ? 2 : 1);
    const Wide left = std::clamp<Wide>(ds->destX, 0, ds->screenWidth);
    const Wide top = std::clamp<Wide>(ds->destY, 0, ds->screenHeight);
    const Wide right = std::clamp<Wide>(Wide{ds->destX} + width, left, ds->screenWidth);
    const Wide bottom = std::clamp<Wide>(Wide{ds->destY} + height, top, ds->screenHeight);
    return RECT{static_cast<LONG>(left), static_cast<LONG>(top), static_cast<LONG>(right),
                static_cast<LONG>(bottom)};
}

bool clipToScreen(const DisplayState* ds, RECT* source, RECT* dest) {
    using Wide = long long;
    const Wide destWidth = Wide{dest->right} - dest->left;
    const Wide destHeight = Wide{dest->bottom} - dest->top;
    const Wide sourceWidth = Wide{source->right} - source->left;
    const Wide sourceHeight = Wide{source->bottom} - source->top;
    if (destWidth <= 0 || destHeight <= 0 || sourceWidth <= 0 || sourceHeight <= 0) return false;
    const Wide left = std::max<Wide>(dest->left, 0);
    const Wide top = std::max<Wide>(dest->top, 0);
    const Wide right = std::min<Wide>(dest->right, ds->screenWidth);
    const Wide bottom = std::min<Wide>(dest->bottom, ds->screenHeight);
    if (left >= right || top >= bottom) return false;
    const RECT cut{
        static_cast<LONG>(source->left + (left - dest->left) * sourceWidth / destWidth),
        static_cast<LONG>(source->top + (top - dest->top) * sourceHeight / destHeight),
        static_cast<LONG>(source->left + (right - dest->left) * sourceWidth / destWidth),
        static_cast<LONG>(source->top + (bottom - dest->top) * sourceHeight / destHeight)};
    if (cut.left >= cut.right || cut.top >= cut.bottom) return false;
    *source = cut;
    *dest = RECT{static_cast<LONG>(left), static_cast<LONG>(top), static_cast<LONG>(right),
                 static_cast<LONG>(bottom)};
    return true;
}

RECT sourceRect(const DisplayState* ds, LONG sourceWidth) {
    const LONG width = sourceWidth < ds->movieSurfaceWidth ? sourceWidth : ds->movieSurfaceWidth;
    const LONG height = ds->config->movieHeight < ds->movieSurfaceHeight ? ds->config->movieHeight
                                                                         : ds->movieSurfaceHeight;
    return RECT{0, 0, width, height};
}
