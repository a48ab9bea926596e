// The movie surfaces: made on the first frame that needs them, by one of four recipes with
// their fallbacks, and the overlay's show and hide.
#include <algorithm>
#include <new>

#include "display/display.h"
#include "display/display_internal.h"

namespace {

constexpr DWORD yuy2 = MAKEFOURCC('Y', 'U', 'Y', '2');
constexpr DWORD fillFlags = DDBLT_COLORFILL | DDBLT_WAIT;
// Every byte 0x80: YUY2 grey, so a new surface shows no garbage.
constexpr DWORD yuvGrey = 0x80808080;
// The overlay's destination colour key: primary pixels of this value show the overlay.
constexpr DWORD overlayKey = 1;
constexpr DWORD fourCCRoom = 64;

DDSURFACEDESC yuvDescription(const PlayerConfig* config, DWORD flags, DWORD caps) {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = flags;
    desc.dwWidth = static_cast<DWORD>(config->movieWidth);
    desc.dwHeight = static_cast<DWORD>(config->movieHeight);
    desc.ddsCaps.dwCaps = caps;
    if (flags & DDSD_BACKBUFFERCOUNT) desc.dwBackBufferCount = 1;
    desc.ddpfPixelFormat.dwSize = sizeof(desc.ddpfPixelFormat);
    desc.ddpfPixelFormat.dwFlags = DDPF_FOURCC;
    desc.ddpfPixelFormat.dwFourCC = yuy2;
    return desc;
}

HRESULT fillSurface(IDirectDrawSurface2* surface, LPRECT rect, DWORD colour) {
    DDBLTFX fx{};
    fx.dwSize = sizeof(fx);
    fx.dwFillColor = colour;
    return surface->Blt(rect, nullptr, nullptr, fillFlags, &fx);
}

// Creates a surface and returns its IDirectDrawSurface2 interface, or null.
IDirectDrawSurface2* createSurface2(IDirectDraw2* directDraw, DDSURFACEDESC* desc) {
    IDirectDrawSurface* first = nullptr;
    if (FAILED(directDraw->CreateSurface(desc, &first, nullptr))) return nullptr;
    void* second = nullptr;
    const HRESULT queried = first->QueryInterface(IID_IDirectDrawSurface2, &second);
    first->Release();
    return SUCCEEDED(queried) ? static_cast<IDirectDrawSurface2*>(second) : nullptr;
}

// A new YUY2 surface, grey-filled; null when any step fails (nothing is left behind).
IDirectDrawSurface2* createYuvSurface(const PlayerConfig* config, DWORD flags, DWORD caps) {
    DDSURFACEDESC desc = yuvDescription(config, flags, caps);
    IDirectDrawSurface2* surface = createSurface2(config->directDraw2, &desc);
    if (surface == nullptr) return nullptr;
    if (FAILED(fillSurface(surface, nullptr, yuvGrey))) {
        surface->Release();
        return nullptr;
    }
    return surface;
}

HRESULT setOverlayKey(IDirectDrawSurface2* surface) {
    DDCOLORKEY key{overlayKey, overlayKey};
    return surface->SetColorKey(DDCKEY_DESTOVERLAY, &key);
}

bool createFlippingOverlay(PlayerConfig* config) {
    IDirectDrawSurface2* front = createYuvSurface(
        config, DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_BACKBUFFERCOUNT | DDSD_PIXELFORMAT,
        DDSCAPS_OVERLAY | DDSCAPS_FLIP | DDSCAPS_COMPLEX);
    if (front == nullptr) return false;
    DDSCAPS caps{DDSCAPS_BACKBUFFER};
    IDirectDrawSurface2* back = nullptr;
    if (FAILED(front->GetAttachedSurface(&caps, &back)) || back == nullptr ||
        FAILED(setOverlayKey(front)) || FAILED(setOverlayKey(back))) {
        if (back != nullptr) back->Release();
        front->Release();
        return false;
    }
    config->movieSurface = front;
    config->movieSurface2 = back;
    return true;
}

bool createSingleOverlay(PlayerConfig* config) {
    IDirectDrawSurface2* overlay = createYuvSurface(
        config, DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT, DDSCAPS_OVERLAY);
    if (overlay == nullptr) return false;
    if (FAILED(setOverlayKey(overlay))) {
        overlay->Release();
        return false;
    }
    config->movieSurface = overlay;
    return true;
}

// Paints the movie's rectangle of the primary in the key colour, so the overlay shows there.
void keyDestination(DisplayState* ds) {
    RECT source = sourceRect(ds, ds->config->movieWidth);
    RECT rect = destinationRect(ds);
    if (clipToScreen(ds, &source, &rect))
        fillSurface(ds->config->primarySurface, &rect, overlayKey);
}

void prepareOverlay(DisplayState* ds) {
    PlayerConfig* config = ds->config;
    const LONG width = config->movieWidth;
    const LONG height = config->movieHeight;
    if (createFlippingOverlay(config)) {
        ds->overlayFlipping = 1;
    } else if (createSingleOverlay(config)) {
        ds->yuvImage = new (std::nothrow) BYTE[std::size_t(width) * std::size_t(height) * 2];
        if (ds->yuvImage == nullptr) {
            config->movieSurface->Release();
            config->movieSurface = nullptr;
            ds->displayMode = modeRgb;
            return;
        }
        ds->overlayFlipping = 0;
    } else {
        ds->displayMode = modeRgb;
        return;
    }
    ds->movieSurfaceWidth = width;
    ds->movieSurfaceHeight = height;
    keyDestination(ds);
    ds->overlayPending = 1;
}

// True when the surface holds YUY2 pixels: one of the YUV modes' surfaces.
bool holdsYuv(IDirectDrawSurface2* surface) {
    DDPIXELFORMAT format{};
    format.dwSize = sizeof(format);
    return SUCCEEDED(surface->GetPixelFormat(&format)) && (format.dwFlags & DDPF_FOURCC) != 0;
}

void releaseObject(IDirectDrawSurface2*& surface) {
    if (surface != nullptr) surface->Release();
    surface = nullptr;
}

// The two offscreen RGB surfaces the decoders write into in turn; false when one fails.
bool createOffscreenPair(DisplayState* ds) {
    PlayerConfig* config = ds->config;
    if (config->directDraw2 == nullptr) return false;
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    const LONG width = config->movieWidth * ((config->flags & doubleX) ? 2 : 1);
    desc.dwWidth = static_cast<DWORD>(width);
    desc.dwHeight = static_cast<DWORD>(config->movieHeight);
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    if (config->flags & (stretchX | stretchY)) desc.ddsCaps.dwCaps |= DDSCAPS_SYSTEMMEMORY;
    IDirectDrawSurface2* first = createSurface2(config->directDraw2, &desc);
    IDirectDrawSurface2* second =
        first != nullptr ? createSurface2(config->directDraw2, &desc) : nullptr;
    if (second == nullptr) {
        if (first != nullptr) first->Release();
        return false;
    }
    config->movieSurface = first;
    config->movieSurface2 = second;
    ds->movieSurfaceWidth = width;
    ds->movieSurfaceHeight = config->movieHeight;
    return true;
}

bool overlayGivenUp(HRESULT code) {
    return code == DDERR_UNSUPPORTED || code == DDERR_GENERIC || code == DDERR_INVALIDPARAMS ||
           code == DDERR_INVALIDOBJECT || code == DDERR_OUTOFCAPS;
}

} // namespace

bool offscreenPicture(const DisplayState* ds) {
    const DWORD flags = ds->config->flags;
    if (flags & callerBuffers) return false;
    if ((flags & directToSurface) == 0) return true;
    return (flags & (stretchX | stretchY)) != 0 && ds->displayMode == modeRgb;
}

int prepareSurfaces(DisplayState* ds) {
    PlayerConfig* config = ds->config;
    if (offscreenPicture(ds)) {
        // The offscreen surfaces hold RGB pixels: this path is direct RGB output. The YUY2
        // surfaces of a YUV mode left for RGB frames make way for them.
        if (ds->displayMode != displayNone) ds->displayMode = modeRgb;
        if (config->movieSurface != nullptr && holdsYuv(config->movieSurface)) {
            releaseObject(config->movieSurface2);
            releaseObject(config->movieSurface);
            delete[] ds->yuvImage;
            ds->yuvImage = nullptr;
            ds->overlayFlipping = 0;
        }
        if (config->movieSurface != nullptr) return 0;
        return createOffscreenPair(ds) ? 0 : 1;
    }
    if (ds->displayMode != modeOverlay && ds->displayMode != modeStretchBlit) return 0;
    if (config->movieSurface != nullptr) return 0;
    DWORD codes[fourCCRoom];
    DWORD count = fourCCRoom;
    if (config->directDraw2 == nullptr ||
        FAILED(config->directDraw2->GetFourCCCodes(&count, codes))) {
        ds->displayMode = modeRgb;
        return 0;
    }
    if (ds->displayMode == modeOverlay) {
        prepareOverlay(ds);
        return 0;
    }
    config->movieSurface =
        createYuvSurface(config, DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT,
                         DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY);
    if (config->movieSurface == nullptr) {
        ds->displayMode = modeRgb;
    } else {
        ds->movieSurfaceWidth = config->movieWidth;
        ds->movieSurfaceHeight = config->movieHeight;
    }
    return 0;
}

int showOverlay(DisplayState* ds, int show) {
    PlayerConfig* config = ds->config;
    IDirectDrawSurface2* overlay = config->movieSurface;
    if (overlay == nullptr) return 1;
    RECT source = sourceRect(ds, config->movieWidth);
    RECT dest = destinationRect(ds);
    // An overlay wholly off the screen is hidden instead.
    if (!clipToScreen(ds, &source, &dest)) show = 0;
    DDOVERLAYFX fx{};
    fx.dwSize = sizeof(fx);
    fx.dwDDFX = DDOVERFX_ARITHSTRETCHY;
    const DWORD flags = show ? DDOVER_SHOW | DDOVER_DDFX : DDOVER_HIDE;
    const HRESULT code = overlay->UpdateOverlay(&source, config->primarySurface, &dest, flags, &fx);
    if (SUCCEEDED(code)) return 0;
    if (overlayGivenUp(code))
        ds->displayMode = modeRgb;
    else if (code == DDERR_SURFACELOST)
        overlay->Restore();
    return 1;
}

void leaveYuvDisplay(DisplayState* ds) {
    if (ds->displayMode == modeOverlay && ds->config->movieSurface != nullptr) showOverlay(ds, 0);
    ds->displayMode = modeRgb;
    ds->overlayPending = 0;
}

void clearPictureTargets(DisplayState* ds) {
    PlayerConfig* config = ds->config;
    const DWORD flags = config->flags;
    // The YUV targets take only type-4 pictures, which cover every pixel; caller buffers are
    // the caller's to clear.
    if ((flags & callerBuffers) || ds->displayMode != modeRgb) return;
    if (offscreenPicture(ds)) {
        for (IDirectDrawSurface2* surface : {config->movieSurface, config->movieSurface2})
            if (surface != nullptr) fillSurface(surface, nullptr, 0);
        return;
    }
    // With page flipping the decoders write the back buffer; the front buffer's picture reaches
    // it through the copy after each flip.
    IDirectDrawSurface2* target = (flags & pageFlip) ? config->backSurface : config->primarySurface;
    if (target == nullptr) return;
    if (flags & fullScreen) {
        fillSurface(target, nullptr, 0);
        return;
    }
    // A window's primary surface is the whole desktop: only the picture's part is the movie's.
    RECT area = writtenRect(ds);
    if (area.left < area.right && area.top < area.bottom) fillSurface(target, &area, 0);
}
