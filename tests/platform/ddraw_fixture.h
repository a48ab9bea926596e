// Helpers shared by the DirectDraw stand-in tests: a fresh device per test and the calls a
// front end makes to set up a display.
#pragma once

#include <cstring>

#include <gtest/gtest.h>

#include "platform/win32.h"

namespace ddtest {

inline HWND fakeWindow() {
    return reinterpret_cast<HWND>(std::uintptr_t(0x1000));
}

struct DDrawTest : ::testing::Test {
    void SetUp() override { qzplat::resetDirectDraw(); }
    void TearDown() override { qzplat::resetDirectDraw(); }
};

inline DDSURFACEDESC surfaceDesc(DWORD flags, DWORD caps) {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = flags;
    desc.ddsCaps.dwCaps = caps;
    return desc;
}

inline DDPIXELFORMAT yuy2Format() {
    DDPIXELFORMAT format{};
    format.dwSize = sizeof(format);
    format.dwFlags = DDPF_FOURCC;
    format.dwFourCC = qzplat::fourCCYuy2;
    return format;
}

inline DDPIXELFORMAT rgbFormat(DWORD bits, DWORD red, DWORD green, DWORD blue) {
    DDPIXELFORMAT format{};
    format.dwSize = sizeof(format);
    format.dwFlags = DDPF_RGB;
    format.dwRGBBitCount = bits;
    format.dwRBitMask = red;
    format.dwGBitMask = green;
    format.dwBBitMask = blue;
    return format;
}

// CreateSurface, then the second interface with the first released, as the player does.
inline HRESULT createSurface2(IDirectDraw2* dd, DDSURFACEDESC desc, IDirectDrawSurface2** out) {
    *out = nullptr;
    IDirectDrawSurface* first = nullptr;
    HRESULT hr = dd->CreateSurface(&desc, &first, nullptr);
    if (FAILED(hr)) return hr;
    hr = first->QueryInterface(IID_IDirectDrawSurface2, reinterpret_cast<void**>(out));
    first->Release();
    return hr;
}

inline IDirectDrawSurface2* offscreen(IDirectDraw2* dd, DWORD width, DWORD height, DWORD caps,
                                      const DDPIXELFORMAT* format = nullptr) {
    DDSURFACEDESC desc = surfaceDesc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT, caps);
    desc.dwWidth = width;
    desc.dwHeight = height;
    if (format != nullptr) {
        desc.dwFlags |= DDSD_PIXELFORMAT;
        desc.ddpfPixelFormat = *format;
    }
    IDirectDrawSurface2* surface = nullptr;
    EXPECT_EQ(createSurface2(dd, desc, &surface), DD_OK);
    return surface;
}

// A device in exclusive full-screen mode with a primary surface and, when asked, a back buffer.
struct Display {
    IDirectDraw* dd = nullptr;
    IDirectDraw2* dd2 = nullptr;
    IDirectDrawSurface2* primary = nullptr;
    IDirectDrawSurface2* back = nullptr;

    void open(DWORD width, DWORD height, DWORD bits, bool backBuffer = true) {
        ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
        ASSERT_EQ(dd->QueryInterface(IID_IDirectDraw2, reinterpret_cast<void**>(&dd2)), DD_OK);
        ASSERT_EQ(dd2->SetCooperativeLevel(fakeWindow(), DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN),
                  DD_OK);
        ASSERT_EQ(dd2->SetDisplayMode(width, height, bits, 0, 0), DD_OK);
        DDSURFACEDESC desc = surfaceDesc(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE);
        if (backBuffer) {
            desc.dwFlags |= DDSD_BACKBUFFERCOUNT;
            desc.dwBackBufferCount = 1;
            desc.ddsCaps.dwCaps |= DDSCAPS_FLIP | DDSCAPS_COMPLEX;
        }
        ASSERT_EQ(createSurface2(dd2, desc, &primary), DD_OK);
        if (backBuffer) {
            DDSCAPS caps{DDSCAPS_BACKBUFFER};
            ASSERT_EQ(primary->GetAttachedSurface(&caps, &back), DD_OK);
        }
    }

    void close() {
        if (back) back->Release();
        if (primary) primary->Release();
        if (dd2) dd2->Release();
        if (dd) dd->Release();
        *this = Display{};
    }
};

// The bytes of a whole surface, row by row as Lock shows them.
struct Locked {
    IDirectDrawSurface2* surface;
    DDSURFACEDESC desc{};
    HRESULT result;
    explicit Locked(IDirectDrawSurface2* s) : surface(s) {
        desc.dwSize = sizeof(desc);
        result = s->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_NOSYSLOCK, nullptr);
    }
    ~Locked() {
        if (result == DD_OK) surface->Unlock(nullptr);
    }
    BYTE* row(DWORD y) const { return static_cast<BYTE*>(desc.lpSurface) + y * desc.lPitch; }
    DWORD pixel32(DWORD x, DWORD y) const {
        DWORD v;
        std::memcpy(&v, row(y) + 4 * x, 4);
        return v;
    }
    WORD pixel16(DWORD x, DWORD y) const {
        WORD v;
        std::memcpy(&v, row(y) + 2 * x, 2);
        return v;
    }
    void set32(DWORD x, DWORD y, DWORD v) { std::memcpy(row(y) + 4 * x, &v, 4); }
    void set16(DWORD x, DWORD y, WORD v) { std::memcpy(row(y) + 2 * x, &v, 2); }
};

inline HRESULT fill(IDirectDrawSurface2* surface, DWORD colour, RECT* rect = nullptr) {
    DDBLTFX fx{};
    fx.dwSize = sizeof(fx);
    fx.dwFillColor = colour;
    return surface->Blt(rect, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
}

} // namespace ddtest
