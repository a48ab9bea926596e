// Frame dispatch: fills the video side's output description from the config, reads the frame's
// header, places the picture, obtains and locks the target, has the video side decode into it
// and unlocks the target again.
#include "engine/frame_dispatch.h"

#include <algorithm>
#include <limits>

#include "display/display.h"
#include "api/shared.h"
#include "video/colour_tables.h"
#include "video/frame_decode.h"

namespace {

using Wide = long long;

constexpr DWORD lockFlags = DDLOCK_WAIT | DDLOCK_NOSYSLOCK;

LONG saturate(Wide value) {
    return static_cast<LONG>(std::clamp<Wide>(value, std::numeric_limits<LONG>::min(),
                                              std::numeric_limits<LONG>::max()));
}

// The surface a frame is decoded into in the current mode, or null when none is locked.
IDirectDrawSurface2* targetSurface(const PlayerContext* ctx) {
    const PlayerConfig* config = ctx->config;
    switch (ctx->display.displayMode) {
    case modeRgb:
        if (offscreenPicture(&ctx->display)) return config->movieSurface;
        return (config->flags & pageFlip) ? config->backSurface : config->primarySurface;
    case modeOverlay:
        return ctx->display.overlayFlipping ? config->movieSurface2 : nullptr;
    case modeStretchBlit:
        return config->movieSurface;
    default:
        return nullptr;
    }
}

LONG surfacePixelBytes(const DDPIXELFORMAT& format, LONG depth) {
    if (format.dwFlags & DDPF_FOURCC) return 2;
    if (format.dwRGBBitCount >= 8) return static_cast<LONG>(format.dwRGBBitCount / 8);
    return displayPixelBytes(depth);
}

// Obtains the target of the frame: caller memory, the staging image or a locked surface
// (returned in locked). False when there is none: the frame is then skipped.
bool acquireTarget(PlayerContext* ctx, TargetArea* area, IDirectDrawSurface2** locked) {
    PlayerConfig* config = ctx->config;
    *locked = nullptr;
    if (config->flags & callerBuffers) {
        const LONG pitch = config->movieWidth * ((config->flags & doubleX) ? 4 : 2);
        *area = {static_cast<BYTE*>(config->frameBuffer), static_cast<BYTE*>(config->frameBuffer2),
                 pitch, pitch, config->movieHeight};
        return area->base != nullptr && pitch > 0;
    }
    if (ctx->display.displayMode == modeOverlay && !ctx->display.overlayFlipping) {
        const LONG pitch = ctx->display.movieSurfaceWidth * 2;
        *area = {ctx->display.yuvImage, ctx->display.yuvImage, pitch, pitch,
                 ctx->display.movieSurfaceHeight};
        return area->base != nullptr && pitch > 0;
    }
    IDirectDrawSurface2* surface = targetSurface(ctx);
    if (surface == nullptr) return false;
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
    if (FAILED(surface->Lock(nullptr, &desc, lockFlags, nullptr))) return false;
    auto* base = static_cast<BYTE*>(desc.lpSurface);
    const LONG pixelBytes = surfacePixelBytes(desc.ddpfPixelFormat, config->pixelFormat.depth);
    *area = {base, base, desc.lPitch, static_cast<LONG>(desc.dwWidth) * pixelBytes,
             static_cast<LONG>(desc.dwHeight)};
    if (base == nullptr || desc.lPitch <= 0) {
        surface->Unlock(nullptr);
        return false;
    }
    *locked = surface;
    return true;
}

// How the picture lies on the target: the offscreen surface holds the picture alone (the blit
// places it), caller buffers take placed DCT pictures and bare KRT and DOR pictures, and the
// direct target takes every picture in place.
PicturePlacement targetPlacement(const PlayerContext* ctx) {
    if (offscreenPicture(&ctx->display)) return PicturePlacement::pictureOnly;
    if (ctx->config->flags & callerBuffers) return PicturePlacement::dctPlaced;
    return PicturePlacement::placed;
}

// The video side's output description, from the config as it stands for this frame.
void describeOutput(PlayerContext* ctx, LONG gamma) {
    PlayerConfig* config = ctx->config;
    VideoOutput& output = ctx->video.output;
    output.pixelFormat = config->pixelFormat;
    output.flags = config->flags;
    output.gamma = gamma;
    output.paletteRgb = config->paletteRgb;
    output.paletteLookup = config->paletteLookup;
}

} // namespace

void dispatchFrame(PlayerContext* ctx, const FrameEntry* entry) {
    PlayerConfig* config = ctx->config;
    VideoState& video = ctx->video;
    // The tables follow a gamma change here, on the thread that runs the decoders.
    const LONG gamma = sharedLoad(config->gamma);
    // Tables another user built for its own format while the movie was held in a pause (a
    // screenshot decoded by the front end) are built again for the display.
    if (colourTablesBuiltFor(config->pixelFormat, gamma) || !ctx->display.displayReady)
        refreshColourTables(gamma);
    else
        buildColourTables(config->pixelFormat, gamma);
    describeOutput(ctx, gamma);
    // A frame without a size in its header (a KRT delta frame) keeps the last one.
    video.width = config->movieWidth;
    video.height = config->movieHeight;
    const BYTE* payload = entry->payload;
    if (!readFrameHeader(video, entry->type, payload, entry->payloadBytes)) return;
    // Stored atomically: the front end reads the size to fit its window.
    sharedStore(config->movieWidth, video.width);
    sharedStore(config->movieHeight, video.height);
    placePicture(ctx);
    const bool callerMemory = (config->flags & callerBuffers) != 0;
    if (!callerMemory) {
        if (ctx->display.displayMode == displayNone) return;
        // Only type-4 frames have a YUV output; others are shown as direct RGB.
        if (video.frameType != 4 && ctx->display.displayMode != modeRgb)
            leaveYuvDisplay(&ctx->display);
        prepareSurfaces(&ctx->display);
        if (checkLostSurfaces(&ctx->display) != 0) return;
    }
    FrameTarget target{};
    IDirectDrawSurface2* locked = nullptr;
    if (!acquireTarget(ctx, &target.area, &locked)) return;
    target.placement = targetPlacement(ctx);
    target.x = ctx->display.destX;
    target.y = ctx->display.destY;
    target.yuv = ctx->display.displayMode != modeRgb && !callerMemory;
    decodeFrame(video, payload, target);
    if (locked != nullptr) locked->Unlock(nullptr);
}

void restartPictures(PlayerContext* ctx) {
    releaseVideoState(ctx->video);
    clearPictureTargets(&ctx->display);
}

void placePicture(PlayerContext* ctx) {
    const PlayerConfig* config = ctx->config;
    const DWORD flags = config->flags;
    Wide width = config->movieWidth;
    Wide height = config->movieHeight;
    if (flags & doubleX) width *= 2;
    if (flags & (doubleY | skipY)) height *= 2;
    Wide x = 0;
    Wide y = 0;
    // Arithmetic shift: a picture wider than the screen gets a negative offset.
    if (flags & centreX) x = (Wide{ctx->display.screenWidth} - width) >> 1;
    if (flags & centreY) y = (Wide{ctx->display.screenHeight} - height) >> 1;
    if (flags & offsetX) x += config->posX;
    if (flags & offsetY) y += config->posY;
    // Centring uses the unstretched size; presentation scales to the stretched one.
    if (flags & stretchX) width = config->stretchWidth;
    if (flags & stretchY) height = config->stretchHeight;
    ctx->display.destX = saturate(x);
    ctx->display.destY = saturate(y);
    ctx->display.destWidth = saturate(width);
    ctx->display.destHeight = saturate(height);
}
