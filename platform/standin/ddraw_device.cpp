// The stand-in's DirectDraw device: enumeration, creation, cooperative level, display modes,
// capabilities, surface and palette creation.
#include <algorithm>
#include <cstring>
#include <string>
#include <thread>

#include "platform/standin/ddraw_internal.h"

using namespace qzplat;
using namespace qzplat::detail;

namespace {

// Largest surface side the device makes, and the video memory it reports.
constexpr DWORD maxSurfaceSide = 4096;
constexpr DWORD videoMemoryBytes = 16u << 20;

bool hasYuy2(const DeviceProfile& profile) {
    return std::find(profile.fourCCs.begin(), profile.fourCCs.end(), fourCCYuy2) !=
           profile.fourCCs.end();
}

// Sizes of the capability record the platform has grown through; a caller may pass any.
bool validCapsSize(DWORD size) {
    return size == 316 || size == 364 || size == sizeof(DDCAPS);
}

DWORD memoryCaps(DWORD requested) {
    return (requested & DDSCAPS_SYSTEMMEMORY) ? DDSCAPS_SYSTEMMEMORY
                                              : DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM;
}

} // namespace

HRESULT WINAPI DirectDrawEnumerateA(LPDDENUMCALLBACKA callback, LPVOID context) {
    if (callback == nullptr) return DDERR_INVALIDPARAMS;
    std::vector<DeviceProfile> profiles;
    {
        std::lock_guard lock(state().mutex);
        profiles = state().profiles;
    }
    // The callback runs without the lock: it may well create the device it is told about.
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        GUID guid = profiles[i].guid;
        std::string description = profiles[i].description;
        std::string name = profiles[i].driverName;
        if (!callback(i == 0 ? nullptr : &guid, description.data(), name.data(), context)) break;
    }
    return DD_OK;
}

HRESULT WINAPI DirectDrawCreate(GUID* guid, LPDIRECTDRAW* directDraw, IUnknown* outer) {
    if (directDraw == nullptr) return DDERR_INVALIDPARAMS;
    *directDraw = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    std::lock_guard lock(state().mutex);
    HRESULT code;
    if (takeFault(state().directDrawCreate, code)) return code;
    std::size_t index = 0;
    auto special = reinterpret_cast<std::uintptr_t>(guid);
    if (guid != nullptr && special != DDCREATE_HARDWAREONLY && special != DDCREATE_EMULATIONONLY) {
        auto& profiles = state().profiles;
        auto found = std::find_if(profiles.begin(), profiles.end(),
                                  [&](const DeviceProfile& p) { return p.guid == *guid; });
        if (found == profiles.end()) return DDERR_INVALIDDIRECTDRAWGUID;
        index = std::size_t(found - profiles.begin());
    }
    auto* device = new Device;
    device->profile = state().profiles[index];
    device->modeWidth = device->profile.width;
    device->modeHeight = device->profile.height;
    device->modeLayout = layoutOf(device->profile.format);
    device->modeSerial = 1;
    state().devices.push_back(device);
    *directDraw = device;
    return DD_OK;
}

namespace qzplat::detail {

HRESULT Device::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    std::lock_guard lock(state().mutex);
    if (riid == IID_IDirectDraw) {
        *object = static_cast<IDirectDraw*>(this);
    } else if (riid == IID_IDirectDraw2) {
        *object = static_cast<IDirectDraw2*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ++refs;
    return S_OK;
}

ULONG Device::AddRef() {
    std::lock_guard lock(state().mutex);
    return ++refs;
}

ULONG Device::Release() {
    std::lock_guard lock(state().mutex);
    ULONG left = --refs;
    if (left == 0) destroyDevice(this);
    return left;
}

HRESULT Device::CreatePalette(DWORD flags, LPPALETTEENTRY table, LPDIRECTDRAWPALETTE* palette,
                              IUnknown* outer) {
    if (palette == nullptr) return DDERR_INVALIDPARAMS;
    *palette = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    if (!(flags & DDPCAPS_8BIT)) return DDERR_UNSUPPORTED;
    if (table == nullptr) return DDERR_INVALIDPARAMS;
    std::lock_guard lock(state().mutex);
    auto* made = new Palette;
    made->device = this;
    made->caps = flags;
    std::copy(table, table + 256, made->entries);
    palettes.push_back(made);
    *palette = made;
    return DD_OK;
}

HRESULT Device::CreateSurface(LPDDSURFACEDESC desc, LPDIRECTDRAWSURFACE* surface, IUnknown* outer) {
    if (surface == nullptr) return DDERR_INVALIDPARAMS;
    *surface = nullptr;
    if (desc == nullptr || desc->dwSize != sizeof(DDSURFACEDESC)) return DDERR_INVALIDPARAMS;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    std::lock_guard lock(state().mutex);
    if (cooperativeFlags == 0) return DDERR_NOCOOPERATIVELEVELSET;

    DWORD caps = (desc->dwFlags & DDSD_CAPS) ? desc->ddsCaps.dwCaps : DDSCAPS_OFFSCREENPLAIN;
    DWORD backs = (desc->dwFlags & DDSD_BACKBUFFERCOUNT) ? desc->dwBackBufferCount : 0;
    if (caps & (DDSCAPS_BACKBUFFER | DDSCAPS_FRONTBUFFER)) return DDERR_INVALIDCAPS;
    if ((caps & DDSCAPS_SYSTEMMEMORY) && (caps & DDSCAPS_VIDEOMEMORY)) return DDERR_INVALIDCAPS;
    bool flipping = (caps & DDSCAPS_FLIP) != 0;
    if (flipping != (backs != 0)) return DDERR_INVALIDCAPS;
    if (flipping &&
        (!(caps & DDSCAPS_COMPLEX) || !(caps & (DDSCAPS_PRIMARYSURFACE | DDSCAPS_OVERLAY))))
        return DDERR_INVALIDCAPS;
    if (backs > 3) return DDERR_INVALIDPARAMS;

    SurfaceKind kind;
    PixelLayout layout = modeLayout;
    DWORD width = modeWidth, height = modeHeight;
    if (caps & DDSCAPS_PRIMARYSURFACE) {
        if (caps & (DDSCAPS_OVERLAY | DDSCAPS_OFFSCREENPLAIN)) return DDERR_INVALIDCAPS;
        if (desc->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT))
            return DDERR_INVALIDPARAMS;
        if (primary != nullptr) return DDERR_PRIMARYSURFACEALREADYEXISTS;
        if (flipping && !(cooperativeFlags & DDSCL_EXCLUSIVE)) return DDERR_NOEXCLUSIVEMODE;
        kind = SurfaceKind::primary;
    } else {
        if ((desc->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT)) != (DDSD_WIDTH | DDSD_HEIGHT) ||
            desc->dwWidth == 0 || desc->dwHeight == 0)
            return DDERR_INVALIDPARAMS;
        if (desc->dwWidth > maxSurfaceSide) return DDERR_TOOBIGWIDTH;
        if (desc->dwHeight > maxSurfaceSide) return DDERR_TOOBIGHEIGHT;
        width = desc->dwWidth;
        height = desc->dwHeight;
        if (desc->dwFlags & DDSD_PIXELFORMAT) {
            if (desc->ddpfPixelFormat.dwSize != sizeof(DDPIXELFORMAT)) return DDERR_INVALIDPARAMS;
            if (!parseLayout(desc->ddpfPixelFormat, layout)) return DDERR_INVALIDPIXELFORMAT;
        }
        bool yuy2 = layout.fourCC != 0;
        if (yuy2 && !hasYuy2(profile)) return DDERR_INVALIDPIXELFORMAT;
        if (caps & DDSCAPS_OVERLAY) {
            if (!(profile.caps & DDCAPS_OVERLAY)) return DDERR_NOOVERLAYHW;
            if (caps & DDSCAPS_SYSTEMMEMORY) return DDERR_INVALIDCAPS;
            // Overlays of this device are YUY2 only.
            if (!yuy2 || !(profile.caps & DDCAPS_OVERLAYFOURCC)) return DDERR_INVALIDPIXELFORMAT;
            kind = SurfaceKind::overlay;
        } else {
            kind = yuy2 ? SurfaceKind::offscreenYuy2 : SurfaceKind::offscreenRgb;
        }
    }
    HRESULT code;
    if (takeFault(state().createSurface[int(kind)], code)) return code;

    DWORD memory = memoryCaps(caps);
    DWORD chainCaps = flipping ? DDSCAPS_FLIP | DDSCAPS_COMPLEX : 0;
    DWORD roleCaps = kind == SurfaceKind::primary   ? DDSCAPS_PRIMARYSURFACE | DDSCAPS_VISIBLE
                     : kind == SurfaceKind::overlay ? DDSCAPS_OVERLAY
                                                    : DDSCAPS_OFFSCREENPLAIN;
    DWORD frontCaps = roleCaps | memory | chainCaps | (flipping ? DDSCAPS_FRONTBUFFER : 0);
    Surface* root = makeSurface(this, kind, frontCaps, width, height, layout);
    root->chain.push_back(root);
    root->backBufferCount = backs;
    for (DWORD i = 0; i < backs; ++i) {
        DWORD backCaps = (kind == SurfaceKind::overlay ? DDSCAPS_OVERLAY : 0) | memory | chainCaps |
                         (i == 0 ? DDSCAPS_BACKBUFFER : 0);
        Surface* back = makeSurface(this, kind, backCaps, width, height, layout);
        back->root = root;
        back->refs = 0; // held by the chain until someone asks for it
        root->chain.push_back(back);
    }
    if (kind == SurfaceKind::primary) {
        primary = root;
        state().screenDevice = this;
    }
    ++state().created[int(kind)];
    *surface = static_cast<IDirectDrawSurface*>(root);
    return DD_OK;
}

HRESULT Device::GetCaps(LPDDCAPS driverCaps, LPDDCAPS emulationCaps) {
    if (driverCaps == nullptr && emulationCaps == nullptr) return DDERR_INVALIDPARAMS;
    if ((driverCaps && !validCapsSize(driverCaps->dwSize)) ||
        (emulationCaps && !validCapsSize(emulationCaps->dwSize)))
        return DDERR_INVALIDPARAMS;
    std::lock_guard lock(state().mutex);
    HRESULT code;
    if (takeFault(state().getCaps, code)) return code;
    bool overlays = (profile.caps & DDCAPS_OVERLAY) != 0;
    DWORD visible = 0;
    for (Surface* s : surfaces) visible += (s->root == s && s->overlay.visible) ? 1 : 0;

    DDCAPS driver{};
    driver.dwCaps = profile.caps | DDCAPS_BLT | DDCAPS_BLTCOLORFILL | DDCAPS_PALETTE;
    driver.dwCKeyCaps = overlays ? DDCKEYCAPS_DESTOVERLAY : 0;
    driver.dwPalCaps = DDPCAPS_8BIT | DDPCAPS_ALLOW256 | DDPCAPS_PRIMARYSURFACE;
    driver.dwVidMemTotal = videoMemoryBytes;
    driver.dwVidMemFree = videoMemoryBytes;
    driver.dwMaxVisibleOverlays = overlays ? 1 : 0;
    driver.dwCurrVisibleOverlays = visible;
    driver.dwNumFourCCCodes = DWORD(profile.fourCCs.size());
    driver.dwMinOverlayStretch = overlays ? 1000 : 0;
    driver.dwMaxOverlayStretch = (profile.caps & DDCAPS_OVERLAYSTRETCH) ? 20000 : 1000;
    driver.ddsOldCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_OFFSCREENPLAIN | DDSCAPS_FLIP |
                               DDSCAPS_COMPLEX | DDSCAPS_VIDEOMEMORY | DDSCAPS_PALETTE |
                               (overlays ? DDSCAPS_OVERLAY : 0);
    driver.ddsCaps.dwCaps = driver.ddsOldCaps.dwCaps;

    DDCAPS emulation{};
    emulation.dwCaps =
        DDCAPS_BLT | DDCAPS_BLTCOLORFILL | DDCAPS_BLTSTRETCH | DDCAPS_PALETTE | DDCAPS_CANBLTSYSMEM;
    emulation.dwPalCaps = driver.dwPalCaps;
    emulation.ddsOldCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY | DDSCAPS_PALETTE;
    emulation.ddsCaps.dwCaps = emulation.ddsOldCaps.dwCaps;

    // Only the caller's dwSize bytes are written: older records are shorter.
    for (auto [out, in] : {std::pair{driverCaps, &driver}, std::pair{emulationCaps, &emulation}}) {
        if (out == nullptr) continue;
        DWORD size = out->dwSize;
        in->dwSize = size;
        std::memcpy(static_cast<void*>(out), in, size);
    }
    return DD_OK;
}

HRESULT Device::GetDisplayMode(LPDDSURFACEDESC desc) {
    if (desc == nullptr || desc->dwSize != sizeof(DDSURFACEDESC)) return DDERR_INVALIDPARAMS;
    std::lock_guard lock(state().mutex);
    *desc = DDSURFACEDESC{};
    desc->dwSize = sizeof(DDSURFACEDESC);
    desc->dwFlags = DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_PIXELFORMAT | DDSD_REFRESHRATE;
    desc->dwWidth = modeWidth;
    desc->dwHeight = modeHeight;
    desc->lPitch = LONG(modeWidth * modeLayout.bytes);
    desc->dwRefreshRate = profile.refreshRate;
    desc->ddpfPixelFormat = describeLayout(modeLayout);
    return DD_OK;
}

HRESULT Device::GetFourCCCodes(LPDWORD count, LPDWORD codes) {
    if (count == nullptr) return DDERR_INVALIDPARAMS;
    std::lock_guard lock(state().mutex);
    HRESULT code;
    if (takeFault(state().fourCCCodes, code)) return code;
    DWORD total = DWORD(profile.fourCCs.size());
    if (codes != nullptr) {
        // Never more than the caller said its array holds.
        DWORD room = std::min(*count, total);
        std::copy(profile.fourCCs.begin(), profile.fourCCs.begin() + room, codes);
    }
    *count = total;
    return DD_OK;
}

HRESULT Device::RestoreDisplayMode() {
    std::lock_guard lock(state().mutex);
    setMode(profile.width, profile.height, layoutOf(profile.format));
    return DD_OK;
}

HRESULT Device::SetCooperativeLevel(HWND newWindow, DWORD flags) {
    std::lock_guard lock(state().mutex);
    HRESULT code;
    if (takeFault(state().cooperativeLevel, code)) return code;
    bool exclusive = (flags & DDSCL_EXCLUSIVE) != 0;
    bool normal = (flags & DDSCL_NORMAL) != 0;
    if (exclusive == normal) return DDERR_INVALIDPARAMS;
    if (exclusive && (!(flags & DDSCL_FULLSCREEN) || newWindow == nullptr))
        return DDERR_INVALIDPARAMS;
    if (exclusive) {
        for (Device* other : state().devices) {
            if (other != this && (other->cooperativeFlags & DDSCL_EXCLUSIVE))
                return DDERR_EXCLUSIVEMODEALREADYSET;
        }
    } else if (cooperativeFlags & DDSCL_EXCLUSIVE) {
        // Giving up the screen puts the desktop's mode back.
        setMode(profile.width, profile.height, layoutOf(profile.format));
    }
    cooperativeFlags = flags;
    window = newWindow;
    return DD_OK;
}

HRESULT Device::SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel) {
    return SetDisplayMode(width, height, bitsPerPixel, 0, 0);
}

HRESULT Device::SetDisplayMode(DWORD width, DWORD height, DWORD bits, DWORD, DWORD flags) {
    std::lock_guard lock(state().mutex);
    if (!(cooperativeFlags & DDSCL_EXCLUSIVE)) return DDERR_NOEXCLUSIVEMODE;
    if (flags & ~DWORD(DDSDM_STANDARDVGAMODE)) return DDERR_INVALIDPARAMS;
    if (width == 0 || height == 0 || width > maxSurfaceSide || height > maxSurfaceSide)
        return DDERR_INVALIDMODE;
    DisplayFormat format;
    if (bits == 8) {
        format = DisplayFormat::palette8;
    } else if (bits == 16) {
        bool desktop16 =
            profile.format == DisplayFormat::rgb555 || profile.format == DisplayFormat::rgb565;
        format = desktop16 ? profile.format : profile.format16;
    } else if (bits == 32) {
        format = DisplayFormat::rgb888;
    } else {
        return DDERR_INVALIDMODE;
    }
    setMode(width, height, layoutOf(format));
    state().screenDevice = this;
    return DD_OK;
}

void Device::setMode(DWORD width, DWORD height, const PixelLayout& layout) {
    if (width == modeWidth && height == modeHeight && sameLayout(layout, modeLayout)) return;
    modeWidth = width;
    modeHeight = height;
    modeLayout = layout;
    ++modeSerial;
    for (Surface* s : surfaces) s->lost = true;
}

HRESULT Device::WaitForVerticalBlank(DWORD flags, HANDLE) {
    if (flags == DDWAITVB_BLOCKBEGINEVENT) return DDERR_UNSUPPORTED;
    if (flags != DDWAITVB_BLOCKBEGIN && flags != DDWAITVB_BLOCKEND) return DDERR_INVALIDPARAMS;
    DWORD rate;
    {
        std::lock_guard lock(state().mutex);
        ++state().verticalBlankWaits;
        rate = profile.refreshRate;
    }
    if (rate != 0) {
        auto now = std::chrono::steady_clock::now();
        std::this_thread::sleep_until(nextVerticalBlank(now, rate));
    }
    return DD_OK;
}

HRESULT Device::GetAvailableVidMem(LPDDSCAPS caps, LPDWORD total, LPDWORD free) {
    if (caps == nullptr) return DDERR_INVALIDPARAMS;
    if (total) *total = videoMemoryBytes;
    if (free) *free = videoMemoryBytes;
    return DD_OK;
}

HRESULT Device::Initialize(GUID*) {
    return DDERR_ALREADYINITIALIZED;
}

// Calls the player never makes.
HRESULT Device::Compact() {
    return DDERR_UNSUPPORTED;
}
HRESULT Device::CreateClipper(DWORD, LPDIRECTDRAWCLIPPER* clipper, IUnknown*) {
    if (clipper) *clipper = nullptr;
    return DDERR_UNSUPPORTED;
}
HRESULT Device::DuplicateSurface(LPDIRECTDRAWSURFACE, LPDIRECTDRAWSURFACE* duplicate) {
    if (duplicate) *duplicate = nullptr;
    return DDERR_CANTDUPLICATE;
}
HRESULT Device::EnumDisplayModes(DWORD, LPDDSURFACEDESC, LPVOID, LPDDENUMMODESCALLBACK) {
    return DDERR_UNSUPPORTED;
}
HRESULT Device::EnumSurfaces(DWORD, LPDDSURFACEDESC, LPVOID, LPDDENUMSURFACESCALLBACK) {
    return DDERR_UNSUPPORTED;
}
HRESULT Device::FlipToGDISurface() {
    return DDERR_UNSUPPORTED;
}
HRESULT Device::GetGDISurface(LPDIRECTDRAWSURFACE* surface) {
    if (surface) *surface = nullptr;
    return DDERR_UNSUPPORTED;
}
HRESULT Device::GetMonitorFrequency(LPDWORD frequency) {
    if (frequency == nullptr) return DDERR_INVALIDPARAMS;
    std::lock_guard lock(state().mutex);
    if (profile.refreshRate == 0) return DDERR_UNSUPPORTED;
    *frequency = profile.refreshRate;
    return DD_OK;
}
HRESULT Device::GetScanLine(LPDWORD) {
    return DDERR_UNSUPPORTED;
}
HRESULT Device::GetVerticalBlankStatus(BOOL*) {
    return DDERR_UNSUPPORTED;
}

} // namespace qzplat::detail
