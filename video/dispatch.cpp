// Frame dispatch: reads the header fields of a queued frame, places the picture, obtains and
// locks the target, calls the decoder for the frame's type and unlocks the target again.
#include "video/dispatch.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "display/colour_tables.h"
#include "display/display.h"
#include "api/shared.h"
#include "video/decoder_table.h"
#include "video/dor/dor_decoder.h"
#include "video/krt/krt_decoder.h"
#include "video/placement.h"

namespace {

constexpr DWORD lockFlags = DDLOCK_WAIT | DDLOCK_NOSYSLOCK;
constexpr LONG krtPaletteOffset = 12;
constexpr LONG dctHeaderBytes = 8;
constexpr LONG dorHeaderBytes = 12;
constexpr LONG paletteColours = 256;

LONG readU16(const BYTE* p) {
    return static_cast<LONG>(p[0] | (p[1] << 8));
}

LONG readS16(const BYTE* p) {
    return static_cast<LONG>(static_cast<short>(readU16(p)));
}

// Copies n palette entries, each byte scaled by gamma percent and limited to 255. Entries past
// the 256 the palette holds are not stored.
void storePalette(PlayerConfig* config, const BYTE* entries, LONG n) {
    const auto gamma = static_cast<std::uint32_t>(sharedLoad(config->gamma));
    const LONG bytes = 3 * std::min(n, paletteColours);
    for (LONG i = 0; i < bytes; ++i) {
        const std::uint32_t scaled = entries[i] * gamma / 100;
        config->paletteRgb[i] = static_cast<BYTE>(std::min<std::uint32_t>(scaled, 255));
    }
}

// Reads the header fields of the frame; false when the header does not fit in the payload,
// and the frame is then left undecoded.
// The picture size is stored atomically: the front end reads it to fit its window.
bool readFrameHeader(PlayerContext* ctx, const BYTE* payload, LONG bytes) {
    PlayerConfig* config = ctx->config;
    switch (ctx->frameType) {
    case 1: {
        if (bytes < krtPaletteOffset) return false;
        const LONG n = readU16(payload + 6);
        if (bytes - krtPaletteOffset < 3 * n) return false;
        sharedStore(config->movieWidth, LONG{readU16(payload)});
        sharedStore(config->movieHeight, LONG{readU16(payload + 2)});
        ctx->krtPaletteCount = n;
        storePalette(config, payload + krtPaletteOffset, n);
        return true;
    }
    case 3:
    case 4:
        if (bytes < dctHeaderBytes) return false;
        sharedStore(config->movieWidth, LONG{readS16(payload)});
        sharedStore(config->movieHeight, LONG{readS16(payload + 2)});
        ctx->quality = payload[4];
        if (ctx->frameType == 4) {
            ctx->componentColour = (payload[7] >> 1) & 1;
            ctx->spareOption = payload[7] & 1;
        }
        return true;
    case 5:
    case 6:
    case 7:
        if (bytes < dorHeaderBytes) return false;
        sharedStore(config->movieWidth, LONG{readS16(payload + 8)});
        sharedStore(config->movieHeight, LONG{readS16(payload + 10)});
        return true;
    default:
        return true;
    }
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

// How a decoder's picture lies on the direct target.
struct Output {
    LONG screenPixelBytes; // bytes of one display pixel, for destX
    LONG pixelBytes;       // bytes the decoder writes a picture pixel
    bool spread;           // the dispatch doubles each written pixel afterwards (doubleX)
    LONG rowsWritten;      // picture rows the decoder writes
};

LONG clampedBytes(LONG pixels, LONG pixelBytes) {
    const long long bytes = static_cast<long long>(pixels) * pixelBytes;
    return static_cast<LONG>(std::clamp<long long>(bytes, std::numeric_limits<LONG>::min(),
                                                   std::numeric_limits<LONG>::max()));
}

// Runs write(target, pitch) with the picture at (destX, destY) of the target, rows twice apart
// with doubleY or skipY, then doubles the columns a decoder wrote once with doubleX and, with
// doubleY, repeats every decoded row in the row below. With always, write also runs when
// nothing is visible (the clip box is then empty), so that a decoder's own pictures advance.
template <class Write>
void decodePlaced(PlayerContext* ctx, const TargetArea& area, const Output& out, bool always,
                  Write&& write) {
    const DWORD flags = ctx->config->flags;
    const LONG rowStep = (flags & (doubleY | skipY)) ? 2 : 1;
    const LONG columnBytes = out.pixelBytes * (out.spread ? 2 : 1);
    const LONG offsetBytes = clampedBytes(ctx->display.destX, out.screenPixelBytes);
    BYTE* target =
        placeDecoderTarget(ctx, area, ctx->display.destY, offsetBytes, rowStep, columnBytes);
    if (target == nullptr) {
        if (always) write(area.base, area.pitch * rowStep);
        return;
    }
    if (out.spread) {
        // Skipped macroblocks keep what the decoder finds there: the last picture, packed.
        packColumns(ctx, area, ctx->display.destY, offsetBytes, rowStep, out.pixelBytes,
                    out.rowsWritten);
        target = packedDecoderTarget(ctx, target, out.pixelBytes);
    }
    write(target, area.pitch * rowStep);
    if (out.spread)
        spreadColumns(ctx, area, ctx->display.destY, offsetBytes, rowStep, out.pixelBytes,
                      out.rowsWritten);
    if ((flags & doubleY) && (flags & skipY) == 0)
        repeatRows(ctx, area, ctx->display.destY, offsetBytes, columnBytes, out.rowsWritten);
}

// Calls a DCT decoder placed at (destX, destY) of the target.
void callPlaced(PlayerContext* ctx, const TargetArea& area, FrameDecoder decoder, const BYTE* data,
                const Output& out) {
    decodePlaced(ctx, area, out, false,
                 [&](BYTE* target, LONG pitch) { decoder(ctx, data, target, area.second, pitch); });
}

// Calls a decoder whose picture starts at the target's first byte with the plain pitch.
void callUnplaced(PlayerContext* ctx, const TargetArea& area, FrameDecoder decoder,
                  const BYTE* data, LONG columnBytes) {
    if (placeDecoderTarget(ctx, area, 0, 0, 1, columnBytes) != nullptr)
        decoder(ctx, data, area.base, area.second, area.pitch);
}

// Whether the picture is placed, doubled and row-skipped on the target by the dispatch: on
// the direct RGB target. The offscreen surface holds the picture alone, from its first byte,
// row after row (presentation places it when it blits), and so do caller buffers for the KRT
// and DOR pictures.
bool placedOnTarget(const PlayerContext* ctx) {
    const DWORD flags = ctx->config->flags;
    return !offscreenPicture(&ctx->display) && (flags & callerBuffers) == 0;
}

void decodeKrt(PlayerContext* ctx, const BYTE* payload, const TargetArea& area) {
    const DecoderEntryPoints& d = decoderEntryPoints;
    const PlayerConfig* config = ctx->config;
    const LONG depth = config->pixelFormat.depth;
    const bool twice = (config->flags & doubleX) != 0;
    if (ctx->frameType == 1) {
        d.krtKeyFrame(ctx, payload);
        if (depth != 8) d.krtColourLookup(ctx);
    } else {
        d.krtDeltaFrame(ctx, payload);
    }
    // The output doubles the columns itself.
    const LONG pixelBytes = displayPixelBytes(depth);
    const LONG columnBytes = pixelBytes * (twice ? 2 : 1);
    const auto write = [&](BYTE* target, LONG pitch) {
        d.krtOutput(ctx, target, area.second, pitch);
    };
    // The output runs even when nothing of it is visible: the key and delta pictures advance.
    if (placedOnTarget(ctx)) {
        decodePlaced(ctx, area, {pixelBytes, columnBytes, false, config->movieHeight}, true, write);
    } else {
        placeDecoderTarget(ctx, area, 0, 0, 1, columnBytes);
        write(area.base, area.pitch);
    }
}

void decodeDor(PlayerContext* ctx, const BYTE* payload, const TargetArea& area) {
    const DecoderEntryPoints& d = decoderEntryPoints;
    const PlayerConfig* config = ctx->config;
    // DOR pictures are 16-bit pixels on the 16-bit family and 32-bit pixels on deeper
    // displays; their last row is not written.
    const LONG pixelBytes = std::max<LONG>(2, displayPixelBytes(config->pixelFormat.depth));
    const auto write = [&](BYTE* target, LONG pitch) {
        d.dorFrame(ctx, payload, target, pitch, ctx->frameType);
    };
    if (placedOnTarget(ctx)) {
        const bool twice = (config->flags & doubleX) != 0;
        decodePlaced(ctx, area, {pixelBytes, pixelBytes, twice, config->movieHeight - 1}, true,
                     write);
    } else {
        placeDecoderTarget(ctx, area, 0, 0, 1, pixelBytes);
        write(area.base, area.pitch);
    }
}

void decodeFrame(PlayerContext* ctx, const BYTE* payload, const TargetArea& area) {
    const DecoderEntryPoints& d = decoderEntryPoints;
    const PlayerConfig* config = ctx->config;
    const DWORD flags = config->flags;
    const LONG depth = config->pixelFormat.depth;
    const bool wide = (flags & doubleX) != 0 || depth > 16;
    const bool sixteen = depth == 15 || depth == 16;
    // Display pixels are 2 bytes on the 16-bit family (also when doubleX doubles them).
    const LONG screenPixelBytes = sixteen ? 2 : (wide ? 4 : 2);
    // The 4-byte decoders write one 32-bit word a picture pixel: two display pixels on the
    // 16-bit family, one on 32-bit displays, where doubleX then spreads it to two.
    const Output out{screenPixelBytes, wide ? 4 : 2, (flags & doubleX) != 0 && depth > 16,
                     config->movieHeight};
    const BYTE* data = payload + dctHeaderBytes;
    // The offscreen RGB surface holds the picture alone, from its first byte, row after row;
    // presentation puts it in place (and doubles or skips rows) when it blits.
    const bool offscreen = offscreenPicture(&ctx->display);
    switch (ctx->frameType) {
    case 1:
    case 2:
        decodeKrt(ctx, payload, area);
        break;
    case 3: {
        d.type3Quant(ctx, ctx->quality);
        const FrameDecoder decoder = wide ? d.type3Decode32 : d.type3Decode16;
        if (offscreen)
            callUnplaced(ctx, area, decoder, data, wide ? 4 : 2);
        else
            callPlaced(ctx, area, decoder, data, out);
        break;
    }
    case 4:
        d.type4Quant(ctx, ctx->quality);
        if (ctx->display.displayMode != modeRgb && (flags & callerBuffers) == 0)
            callUnplaced(ctx, area, d.type4DecodeYuv, data, 2);
        else if (offscreen)
            callUnplaced(ctx, area, wide ? d.type4Decode32 : d.type4Decode16, data, wide ? 4 : 2);
        else
            callPlaced(ctx, area, wide ? d.type4Decode32 : d.type4Decode16, data, out);
        break;
    case 5:
    case 6:
    case 7:
        decodeDor(ctx, payload, area);
        break;
    default:
        break;
    }
}

} // namespace

void dispatchFrame(PlayerContext* ctx, const FrameEntry* entry) {
    PlayerConfig* config = ctx->config;
    // The tables follow a gamma change here, on the thread that runs the decoders.
    refreshColourTables(sharedLoad(config->gamma));
    ctx->frameType = entry->type;
    const BYTE* payload = entry->payload;
    const LONG bytes = std::max<LONG>(entry->payloadBytes, 0);
    ctx->frameDataEnd = payload + bytes;
    if (!readFrameHeader(ctx, payload, bytes)) return;
    placePicture(ctx);
    const bool callerMemory = (config->flags & callerBuffers) != 0;
    if (!callerMemory) {
        if (ctx->display.displayMode == displayNone) return;
        // Only type-4 frames have a YUV output; others are shown as direct RGB.
        if (ctx->frameType != 4 && ctx->display.displayMode != modeRgb)
            leaveYuvDisplay(&ctx->display);
        prepareSurfaces(&ctx->display);
        if (checkLostSurfaces(&ctx->display) != 0) return;
    }
    TargetArea area{};
    IDirectDrawSurface2* locked = nullptr;
    if (!acquireTarget(ctx, &area, &locked)) return;
    decodeFrame(ctx, payload, area);
    if (locked != nullptr) locked->Unlock(nullptr);
}

void restartPictures(PlayerContext* ctx) {
    releaseKrtState(ctx);
    releaseDorPictures(ctx);
    clearPictureTargets(&ctx->display);
}
