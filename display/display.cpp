// Display set-up at open and teardown at close.
#include "display/display.h"

#include <new>

#include "display/display_internal.h"

namespace {

constexpr DWORD paletteColours = 256;
// Time the hidden overlay is given to leave the screen before its surface goes.
constexpr DWORD overlayHideMs = 20;

// An all-black 256-colour palette attached to the primary surface.
void createPalette(DisplayState* ds) {
    PlayerConfig* config = ds->config;
    if (config->directDraw2 == nullptr) return;
    config->paletteEntries = new (std::nothrow) PALETTEENTRY[paletteColours]{};
    if (config->paletteEntries == nullptr) return;
    ds->ownsPaletteEntries = 1;
    if (FAILED(config->directDraw2->CreatePalette(
            DDPCAPS_8BIT | DDPCAPS_ALLOW256, config->paletteEntries, &config->palette, nullptr))) {
        config->palette = nullptr;
        return;
    }
    config->primarySurface->SetPalette(config->palette);
}

// Reads the primary surface's size and pixel format; false when it cannot show RGB pixels.
bool readPrimary(DisplayState* ds) {
    PlayerConfig* config = ds->config;
    IDirectDrawSurface2* primary = config->primarySurface;
    if (primary == nullptr) return false;
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
    if (SUCCEEDED(primary->GetSurfaceDesc(&desc))) {
        ds->screenWidth = static_cast<LONG>(desc.dwWidth);
        ds->screenHeight = static_cast<LONG>(desc.dwHeight);
    }
    return readPixelFormat(primary, &config->pixelFormat);
}

template <class T> void releaseObject(T*& object) {
    if (object != nullptr) object->Release();
    object = nullptr;
}

} // namespace

void displaySetup(DisplayState* ds) {
    PlayerConfig* config = ds->config;
    if (config->audioOnly) return;
    if (config->directDraw2 == nullptr && config->directDraw != nullptr) {
        void* queried = nullptr;
        if (SUCCEEDED(config->directDraw->QueryInterface(IID_IDirectDraw2, &queried))) {
            config->directDraw2 = static_cast<IDirectDraw2*>(queried);
            ds->ownsDirectDraw2 = 1;
        }
    }
    ds->displayMode = chooseDisplayMode(ds);
    config->movieSurface = nullptr;
    config->movieSurface2 = nullptr;
    if ((config->flags & callerBuffers) == 0) {
        // Without a primary that takes RGB pixels nothing can be shown: the movie plays its
        // sound and its frames are consumed undecoded.
        if (!readPrimary(ds))
            ds->displayMode = displayNone;
        else if (config->pixelFormat.depth == 8 && (config->flags & callerPalette) == 0)
            createPalette(ds);
    }
    ds->displayReady = 1;
}

void displayRelease(DisplayState* ds) {
    if (!ds->displayReady) return;
    PlayerConfig* config = ds->config;
    delete[] ds->yuvImage;
    ds->yuvImage = nullptr;
    if (ds->displayMode == modeOverlay && config->movieSurface != nullptr &&
        (config->flags & callerBuffers) == 0) {
        showOverlay(ds, 0);
        Sleep(overlayHideMs);
    }
    if ((config->flags & callerPalette) == 0) releaseObject(config->palette);
    if (ds->ownsPaletteEntries) {
        delete[] config->paletteEntries;
        config->paletteEntries = nullptr;
        ds->ownsPaletteEntries = 0;
    }
    if ((config->flags & callerBuffers) == 0) {
        releaseObject(config->movieSurface2);
        releaseObject(config->movieSurface);
    }
    if (ds->ownsDirectDraw2) {
        releaseObject(config->directDraw2);
        ds->ownsDirectDraw2 = 0;
    }
    ds->displayReady = 0;
}
