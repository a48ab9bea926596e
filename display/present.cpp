// Presentation of a decoded frame in each display mode, the buffer swap after it, and the
// recovery of lost surfaces before each frame.
#include <algorithm>
#include <cstring>

#include "display/display.h"
#include "display/display_internal.h"

namespace {

constexpr DWORD lockFlags = DDLOCK_WAIT | DDLOCK_NOSYSLOCK;
constexpr DWORD paletteColours = 256;
// Flips of a busy overlay tried before the frame is given up: hardware that keeps drawing for
// longer than this is not going to finish.
constexpr int busyFlipTries = 100000;

bool lost(IDirectDrawSurface2* surface) {
    return surface != nullptr && surface->IsLost() == DDERR_SURFACELOST;
}

// Restores a lost surface; false when it stays lost.
bool restored(IDirectDrawSurface2* surface) {
    return !lost(surface) || SUCCEEDED(surface->Restore());
}

bool isOverlay(IDirectDrawSurface2* surface) {
    DDSCAPS caps{};
    return SUCCEEDED(surface->GetCaps(&caps)) && (caps.dwCaps & DDSCAPS_OVERLAY) != 0;
}

void waitForBlank(DisplayState* ds) {
    const PlayerConfig* config = ds->config;
    if ((config->flags & waitVerticalBlank) && config->directDraw2 != nullptr) {
        config->directDraw2->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
        ds->presentWaitedForBlank = 1;
    }
}

void flipOverlay(IDirectDrawSurface2* overlay) {
    for (int tries = 0; tries < busyFlipTries; ++tries) {
        const HRESULT code = overlay->Flip(nullptr, 0);
        if (code != DDERR_SURFACEBUSY && code != DDERR_WASSTILLDRAWING) return;
    }
}

// Copies the staging image into the single overlay surface.
void copyToOverlay(DisplayState* ds) {
    PlayerConfig* config = ds->config;
    if (ds->yuvImage == nullptr) return;
    waitForBlank(ds);
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
    if (FAILED(config->movieSurface->Lock(nullptr, &desc, lockFlags, nullptr))) return;
    const RECT source = sourceRect(ds, config->movieWidth);
    const LONG rows = std::min<LONG>(source.bottom, static_cast<LONG>(desc.dwHeight));
    const LONG rowBytes = std::min<LONG>(source.right, static_cast<LONG>(desc.dwWidth)) * 2;
    const LONG imagePitch = ds->movieSurfaceWidth * 2;
    auto* target = static_cast<BYTE*>(desc.lpSurface);
    if (target != nullptr && rowBytes > 0) {
        for (LONG row = 0; row < rows; ++row)
            std::memcpy(target + std::ptrdiff_t(row) * desc.lPitch,
                        ds->yuvImage + std::ptrdiff_t(row) * imagePitch, std::size_t(rowBytes));
    }
    config->movieSurface->Unlock(nullptr);
}

void presentOverlay(DisplayState* ds) {
    PlayerConfig* config = ds->config;
    if (config->movieSurface == nullptr) return;
    if (ds->overlayFlipping)
        flipOverlay(config->movieSurface);
    else
        copyToOverlay(ds);
    if (ds->overlayPending) ds->overlayPending = showOverlay(ds, 1);
}

// False when the movie surface was lost for good and the frame is not shown.
bool presentStretchBlit(DisplayState* ds) {
    PlayerConfig* config = ds->config;
    waitForBlank(ds);
    if (config->movieSurface == nullptr || !restored(config->movieSurface)) return false;
    RECT source = sourceRect(ds, config->movieWidth);
    RECT dest = destinationRect(ds);
    if (clipToScreen(ds, &source, &dest) &&
        FAILED(
            config->primarySurface->Blt(&dest, config->movieSurface, &source, DDBLT_WAIT, nullptr)))
        ds->displayMode = modeRgb;
    return true;
}

// Blits the offscreen RGB surface into place, doubling or skipping rows as asked. False when
// the target was lost for good.
bool presentOffscreen(DisplayState* ds) {
    PlayerConfig* config = ds->config;
    const DWORD flags = config->flags;
    IDirectDrawSurface2* target = (flags & pageFlip) ? config->backSurface : config->primarySurface;
    IDirectDrawSurface2* source = config->movieSurface;
    if (target == nullptr || source == nullptr) return true;
    if (!restored(target)) return false;
    // With doubleX the decoders write two display pixels a picture pixel on 8- and 16-bit
    // displays, one on 32-bit displays.
    const bool twice = (flags & doubleX) && config->pixelFormat.depth <= 16;
    RECT whole = sourceRect(ds, config->movieWidth * (twice ? 2 : 1));
    if ((flags & (skipY | doubleY)) == 0) {
        RECT dest = destinationRect(ds);
        if (clipToScreen(ds, &whole, &dest))
            target->Blt(&dest, source, &whole, DDBLT_WAIT, nullptr);
        return true;
    }
    // The picture's rows lie one after another in the surface; on the screen they go to every
    // second row, and with doubleY to the row below as well.
    const LONG left = ds->destX;
    const LONG right = ds->destX + ds->destWidth;
    for (LONG row = 0; row < whole.bottom; ++row) {
        RECT from{0, row, whole.right, row + 1};
        const LONG y = ds->destY + 2 * row;
        for (LONG copy = 0; copy < ((flags & skipY) ? 1 : 2); ++copy) {
            RECT part = from;
            RECT to{left, y + copy, right, y + copy + 1};
            if (clipToScreen(ds, &part, &to)) target->Blt(&to, source, &part, DDBLT_WAIT, nullptr);
        }
    }
    return true;
}

// After a flip the back buffer holds the picture before last. Decoders that leave parts of the
// picture as they were (skipped macroblocks) write into it next, so the picture just shown is
// copied into it: the decoders always build on the picture shown last.
void keepBackCurrent(DisplayState* ds) {
    PlayerConfig* config = ds->config;
    if (offscreenPicture(ds) || config->backSurface == nullptr) return;
    RECT area = writtenRect(ds);
    if (area.left < area.right && area.top < area.bottom)
        config->backSurface->Blt(&area, config->primarySurface, &area, DDBLT_WAIT, nullptr);
}

// The movie's palette, as the display palette wants it.
void convertPalette(PlayerConfig* config) {
    if (config->paletteEntries == nullptr) return;
    for (DWORD i = 0; i < paletteColours; ++i) {
        config->paletteEntries[i] =
            PALETTEENTRY{config->paletteRgb[3 * i], config->paletteRgb[3 * i + 1],
                         config->paletteRgb[3 * i + 2], 0};
    }
}

void finishPresent(DisplayState* ds) {
    PlayerConfig* config = ds->config;
    HRESULT flipped = DD_OK;
    if ((config->flags & pageFlip) && ds->displayMode == modeRgb &&
        config->primarySurface != nullptr) {
        // A flip is shown at a vertical blank, and the next one waits for it.
        flipped = config->primarySurface->Flip(nullptr, DDFLIP_WAIT);
        if (SUCCEEDED(flipped)) keepBackCurrent(ds);
        ds->presentWaitedForBlank = SUCCEEDED(flipped) ? 1 : 0;
    }
    if (config->pixelFormat.depth == 8) {
        // The picture's colours reach the screen through the display palette, in every mode.
        convertPalette(config);
        if (config->palette != nullptr && config->paletteEntries != nullptr)
            config->palette->SetEntries(0, 0, paletteColours, config->paletteEntries);
    } else if (FAILED(flipped)) {
        OutputDebugStringA(errorName(flipped));
    }
}

} // namespace

void presentFrame(DisplayState* ds) {
    PlayerConfig* config = ds->config;
    ds->presentWaitedForBlank = 0;
    if ((config->flags & callerBuffers) || ds->displayMode == displayNone) return;
    switch (ds->displayMode) {
    case modeOverlay:
        presentOverlay(ds);
        break;
    case modeStretchBlit:
        if (!presentStretchBlit(ds)) return;
        break;
    default:
        if (offscreenPicture(ds) && !presentOffscreen(ds)) return;
        break;
    }
    finishPresent(ds);
}

void waitForFrameBlank(DisplayState* ds) {
    const PlayerConfig* config = ds->config;
    if (ds->presentWaitedForBlank == 0 && config->directDraw2 != nullptr &&
        (config->flags & callerBuffers) == 0)
        config->directDraw2->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
    ds->presentWaitedForBlank = 0;
}

void swapBuffers(DisplayState* ds) {
    PlayerConfig* config = ds->config;
    if (config->flags & callerBuffers) {
        std::swap(config->frameBuffer, config->frameBuffer2);
        return;
    }
    // Only the offscreen RGB pair alternates; an overlay's back buffer keeps its role. The
    // decoders build on the picture shown last (skipped macroblocks), so it goes along.
    if (config->movieSurface2 != nullptr && ds->displayMode == modeRgb && offscreenPicture(ds)) {
        std::swap(config->movieSurface, config->movieSurface2);
        config->movieSurface->Blt(nullptr, config->movieSurface2, nullptr, DDBLT_WAIT, nullptr);
    }
}

int checkLostSurfaces(DisplayState* ds) {
    PlayerConfig* config = ds->config;
    const DWORD flags = config->flags;
    if ((flags & fullScreen) && !restored(config->primarySurface)) return 1;
    if ((flags & pageFlip) && !restored(config->backSurface)) return 1;
    IDirectDrawSurface2* movie = config->movieSurface;
    if (lost(movie)) {
        if (FAILED(movie->Restore())) return 1;
        // A restored overlay is used and shown again, also after an earlier fallback.
        if (isOverlay(movie)) {
            ds->displayMode = modeOverlay;
            ds->overlayPending = 1;
        }
    }
    if (!restored(config->movieSurface2)) return 1;
    return 0;
}
