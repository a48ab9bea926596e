// A movie's display on the stand-in DirectDraw device, without a file: a device of a chosen
// profile in exclusive mode with its primary surface (and back buffer), the records the engine
// works on, and synthetic frames. Shared by the display and dispatch tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "display/display.h"
#include "engine/context.h"
#include "engine/frame_dispatch.h"
#include "video/colour_tables.h"

namespace displaytest {

struct ScreenOptions {
    qzplat::DisplayFormat format = qzplat::DisplayFormat::rgb888;
    DWORD caps = qzplat::capsOverlayYuv | qzplat::capsBltYuv;
    bool backBuffer = true;
    // The front end's word for full screen with double buffering.
    DWORD flags = 0x71140C | fullScreen | pageFlip | hardwareYuv | reservedFlag1000000;
    DWORD allowedModes = 7;
};

inline HWND fakeWindow() {
    return reinterpret_cast<HWND>(std::uintptr_t{0x1000});
}

// Owns the device and the caller's objects; releases everything and checks for leaks at the end.
class Screen {
  public:
    explicit Screen(const ScreenOptions& options = {}) {
        qzplat::DeviceProfile profile;
        profile.format = options.format;
        profile.caps = options.caps;
        qzplat::setDeviceProfiles({profile});
        EXPECT_EQ(DirectDrawCreate(nullptr, &directDraw, nullptr), DD_OK);
        EXPECT_EQ(directDraw->SetCooperativeLevel(fakeWindow(), DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN),
                  DD_OK);
        DDSURFACEDESC desc{};
        desc.dwSize = sizeof(desc);
        desc.dwFlags = DDSD_CAPS;
        desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        if (options.backBuffer) {
            desc.dwFlags |= DDSD_BACKBUFFERCOUNT;
            desc.dwBackBufferCount = 1;
            desc.ddsCaps.dwCaps |= DDSCAPS_FLIP | DDSCAPS_COMPLEX;
        }
        IDirectDrawSurface* first = nullptr;
        EXPECT_EQ(directDraw->CreateSurface(&desc, &first, nullptr), DD_OK);
        void* primary = nullptr;
        first->QueryInterface(IID_IDirectDrawSurface2, &primary);
        first->Release();
        config.primarySurface = static_cast<IDirectDrawSurface2*>(primary);
        if (options.backBuffer) {
            DDSCAPS caps{DDSCAPS_BACKBUFFER};
            EXPECT_EQ(config.primarySurface->GetAttachedSurface(&caps, &config.backSurface), DD_OK);
        }
        config.flags = options.backBuffer ? options.flags : options.flags & ~pageFlip;
        config.allowedModes = options.allowedModes;
        config.directDraw = directDraw;
        config.gamma = 100;
        config.context = &ctx;
        ctx.config = &config;
        ctx.display.config = &config;
    }

    ~Screen() {
        displayRelease(&ctx.display);
        releaseVideoState(ctx.video);
        if (config.backSurface != nullptr) config.backSurface->Release();
        if (config.primarySurface != nullptr) config.primarySurface->Release();
        directDraw->Release();
        const qzplat::LiveObjects live = qzplat::liveObjects();
        EXPECT_EQ(live.devices, 0);
        EXPECT_EQ(live.surfaces, 0);
        EXPECT_EQ(live.palettes, 0);
        qzplat::resetDirectDraw();
    }

    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;

    void setup() {
        displaySetup(&ctx.display);
        if (ctx.display.displayReady) buildColourTables(config.pixelFormat, config.gamma);
    }

    // Dispatches, presents and swaps one frame, as the play loop does.
    void play(LONG type, const std::vector<BYTE>& payload) {
        decode(type, payload);
        presentFrame(&ctx.display);
        swapBuffers(&ctx.display);
    }

    void decode(LONG type, const std::vector<BYTE>& payload) {
        FrameEntry entry{
            const_cast<BYTE*>(payload.data()), static_cast<LONG>(payload.size()), 0, type, 0, 0};
        dispatchFrame(&ctx, &entry);
    }

    IDirectDraw* directDraw = nullptr;
    PlayerConfig config{};
    PlayerContext ctx{};
};

inline void put16(std::vector<BYTE>& bytes, std::size_t at, int value) {
    bytes[at] = static_cast<BYTE>(value & 0xFF);
    bytes[at + 1] = static_cast<BYTE>((value >> 8) & 0xFF);
}

// A DCT frame (type 3 or 4) header followed by a few bytes of bitstream.
inline std::vector<BYTE> dctFrame(int width, int height, int quality = 50, int options = 0) {
    std::vector<BYTE> bytes(16, 0);
    put16(bytes, 0, width);
    put16(bytes, 2, height);
    bytes[4] = static_cast<BYTE>(quality);
    bytes[7] = static_cast<BYTE>(options);
    return bytes;
}

// A KRT key frame header with the given palette triplets.
inline std::vector<BYTE> krtKeyFrame(int width, int height, const std::vector<BYTE>& palette) {
    // Sized first and filled in place (GCC 12 at -O3 warns falsely about inserting into it).
    std::vector<BYTE> bytes(12 + palette.size() + 8, 0);
    put16(bytes, 0, width);
    put16(bytes, 2, height);
    put16(bytes, 6, static_cast<int>(palette.size() / 3));
    std::copy(palette.begin(), palette.end(), bytes.begin() + 12);
    return bytes;
}

// A DOR frame header.
inline std::vector<BYTE> dorFrame(int width, int height) {
    std::vector<BYTE> bytes(24, 0);
    put16(bytes, 8, width);
    put16(bytes, 10, height);
    return bytes;
}

} // namespace displaytest
