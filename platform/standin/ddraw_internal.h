// Objects behind the stand-in's DirectDraw interfaces. One process-wide mutex guards every
// object and the device list: the play thread locks and presents while the front end's thread
// may call other methods. Public methods take the lock; the helpers here expect it held.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/standin/ddraw.h"

namespace qzplat::detail {

// Layout of one pixel in memory.
struct PixelLayout {
    DWORD bytes = 4;  // 1, 2 or 4; YUY2 is 2 bytes a pixel
    DWORD fourCC = 0; // fourCCYuy2 for YUY2, else 0
    bool palettised = false;
    DWORD red = 0, green = 0, blue = 0; // masks of RGB layouts
};

PixelLayout layoutOf(DisplayFormat format);
bool sameLayout(const PixelLayout& a, const PixelLayout& b);
DDPIXELFORMAT describeLayout(const PixelLayout& layout);
// Reads a requested pixel format; false when the stand-in cannot make surfaces of it.
bool parseLayout(const DDPIXELFORMAT& format, PixelLayout& layout);
DWORD bitsPerPixel(const PixelLayout& layout);

DWORD readPixel(const BYTE* row, LONG x, DWORD bytes);
void writePixel(BYTE* row, LONG x, DWORD bytes, DWORD value);
// RGB layouts to and from 0x00RRGGBB, each channel scaled to its full range with rounding.
std::uint32_t pixelToRgb(const PixelLayout& layout, DWORD pixel);
DWORD rgbToPixel(const PixelLayout& layout, std::uint32_t rgb);
// Full-range BT.601 YCbCr to 0x00RRGGBB, as the display hardware converts YUY2.
std::uint32_t yuvToRgb(int y, int u, int v);
// The pixel at x of a YUY2 row as 0x00RRGGBB.
std::uint32_t yuy2PixelToRgb(const BYTE* row, LONG x);

struct Device;
struct Surface;

struct Fault {
    int count = 0;
    HRESULT code = DD_OK;
};
// Takes one shot of a fault: true (and code set) while shots remain.
bool takeFault(Fault& fault, HRESULT& code);

struct Palette final : IDirectDrawPalette {
    Device* device = nullptr; // null once the device is gone
    ULONG refs = 1;
    bool dead = false;
    DWORD caps = 0;
    PALETTEENTRY entries[256]{};

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetCaps(LPDWORD caps) override;
    HRESULT GetEntries(DWORD flags, DWORD base, DWORD count, LPPALETTEENTRY entries) override;
    HRESULT Initialize(LPDIRECTDRAW directDraw, DWORD flags, LPPALETTEENTRY table) override;
    HRESULT SetEntries(DWORD flags, DWORD start, DWORD count, LPPALETTEENTRY entries) override;
};

struct OverlayState {
    bool visible = false;
    RECT source{};
    RECT dest{};
    Surface* destSurface = nullptr; // cleared when that surface goes
    bool keyed = false;
    DDCOLORKEY key{};
};

// The methods whose signature names the interface's own pointer type, once per version.
#define QZ_SURFACE_VERSIONED_METHODS(S)                                                            \
    HRESULT AddAttachedSurface(S attached) override;                                               \
    HRESULT Blt(LPRECT destRect, S source, LPRECT sourceRect, DWORD flags, LPDDBLTFX effects)      \
        override;                                                                                  \
    HRESULT BltFast(DWORD x, DWORD y, S source, LPRECT sourceRect, DWORD transfer) override;       \
    HRESULT DeleteAttachedSurface(DWORD flags, S attached) override;                               \
    HRESULT Flip(S targetOverride, DWORD flags) override;                                          \
    HRESULT GetAttachedSurface(LPDDSCAPS caps, S* attached) override;                              \
    HRESULT UpdateOverlay(LPRECT sourceRect, S dest, LPRECT destRect, DWORD flags,                 \
                          LPDDOVERLAYFX effects) override;                                         \
    HRESULT UpdateOverlayZOrder(DWORD flags, S reference) override;

struct Surface final : IDirectDrawSurface, IDirectDrawSurface2 {
    Device* device = nullptr; // null once dead
    ULONG refs = 1;
    bool dead = false; // released with its chain or device while references remained
    SurfaceKind kind = SurfaceKind::offscreenRgb;
    DWORD caps = 0;
    DWORD width = 0, height = 0;
    LONG pitch = 0;
    PixelLayout layout;
    std::vector<BYTE> pixels;
    Surface* root = this;        // front surface of the flip chain (itself when alone)
    std::vector<Surface*> chain; // on the root only: front, then back buffers in order
    DWORD backBufferCount = 0;   // on the root only
    bool locked = false;
    bool lost = false;
    int failingRestores = 0;
    HRESULT restoreError = DD_OK;
    DWORD modeSerial = 0; // display mode a primary chain was made for
    Palette* palette = nullptr;
    bool hasDestOverlayKey = false;
    DDCOLORKEY destOverlayKey{};
    OverlayState overlay; // on an overlay chain's root

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    QZ_SURFACE_VERSIONED_METHODS(LPDIRECTDRAWSURFACE)
    QZ_SURFACE_VERSIONED_METHODS(LPDIRECTDRAWSURFACE2)
    HRESULT AddOverlayDirtyRect(LPRECT rect) override;
    HRESULT BltBatch(LPDDBLTBATCH batch, DWORD count, DWORD flags) override;
    HRESULT EnumAttachedSurfaces(LPVOID context, LPDDENUMSURFACESCALLBACK callback) override;
    HRESULT EnumOverlayZOrders(DWORD flags, LPVOID context,
                               LPDDENUMSURFACESCALLBACK callback) override;
    HRESULT GetBltStatus(DWORD flags) override;
    HRESULT GetCaps(LPDDSCAPS caps) override;
    HRESULT GetClipper(LPDIRECTDRAWCLIPPER* clipper) override;
    HRESULT GetColorKey(DWORD flags, LPDDCOLORKEY key) override;
    HRESULT GetDC(HDC* dc) override;
    HRESULT GetFlipStatus(DWORD flags) override;
    HRESULT GetOverlayPosition(LPLONG x, LPLONG y) override;
    HRESULT GetPalette(LPDIRECTDRAWPALETTE* palette) override;
    HRESULT GetPixelFormat(LPDDPIXELFORMAT format) override;
    HRESULT GetSurfaceDesc(LPDDSURFACEDESC desc) override;
    HRESULT Initialize(LPDIRECTDRAW directDraw, LPDDSURFACEDESC desc) override;
    HRESULT IsLost() override;
    HRESULT Lock(LPRECT rect, LPDDSURFACEDESC desc, DWORD flags, HANDLE event) override;
    HRESULT ReleaseDC(HDC dc) override;
    HRESULT Restore() override;
    HRESULT SetClipper(LPDIRECTDRAWCLIPPER clipper) override;
    HRESULT SetColorKey(DWORD flags, LPDDCOLORKEY key) override;
    HRESULT SetOverlayPosition(LONG x, LONG y) override;
    HRESULT SetPalette(LPDIRECTDRAWPALETTE palette) override;
    HRESULT Unlock(LPVOID surfaceData) override;
    HRESULT UpdateOverlayDisplay(DWORD flags) override;
    HRESULT GetDDInterface(LPVOID* directDraw) override;
    HRESULT PageLock(DWORD flags) override;
    HRESULT PageUnlock(DWORD flags) override;

    // Shared bodies of the two versions (lock held).
    HRESULT blt(LPRECT destRect, Surface* source, LPRECT sourceRect, DWORD flags,
                LPDDBLTFX effects);
    HRESULT flip(Surface* targetOverride, DWORD flags);
    HRESULT getAttached(LPDDSCAPS caps, Surface*& attached);
    HRESULT updateOverlay(LPRECT sourceRect, Surface* dest, LPRECT destRect, DWORD flags,
                          LPDDOVERLAYFX effects);
    // What the screen shows of this surface: the primary's front or a shown overlay's front.
    bool visible() const;
};

#undef QZ_SURFACE_VERSIONED_METHODS

struct Device final : IDirectDraw, IDirectDraw2 {
    ULONG refs = 1;
    DeviceProfile profile;
    DWORD cooperativeFlags = 0;
    HWND window = nullptr;
    DWORD modeWidth = 0, modeHeight = 0;
    PixelLayout modeLayout;
    DWORD modeSerial = 0; // changes with every display mode change
    Surface* primary = nullptr;
    std::vector<Surface*> surfaces; // every live surface, chain members included
    std::vector<Palette*> palettes;
    // The blank at which the last flip of the primary chain is shown (with a refresh rate).
    std::chrono::steady_clock::time_point flipShown{};

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT Compact() override;
    HRESULT CreateClipper(DWORD flags, LPDIRECTDRAWCLIPPER* clipper, IUnknown* outer) override;
    HRESULT CreatePalette(DWORD flags, LPPALETTEENTRY table, LPDIRECTDRAWPALETTE* palette,
                          IUnknown* outer) override;
    HRESULT CreateSurface(LPDDSURFACEDESC desc, LPDIRECTDRAWSURFACE* surface,
                          IUnknown* outer) override;
    HRESULT DuplicateSurface(LPDIRECTDRAWSURFACE surface, LPDIRECTDRAWSURFACE* duplicate) override;
    HRESULT EnumDisplayModes(DWORD flags, LPDDSURFACEDESC desc, LPVOID context,
                             LPDDENUMMODESCALLBACK callback) override;
    HRESULT EnumSurfaces(DWORD flags, LPDDSURFACEDESC desc, LPVOID context,
                         LPDDENUMSURFACESCALLBACK callback) override;
    HRESULT FlipToGDISurface() override;
    HRESULT GetCaps(LPDDCAPS driverCaps, LPDDCAPS emulationCaps) override;
    HRESULT GetDisplayMode(LPDDSURFACEDESC desc) override;
    HRESULT GetFourCCCodes(LPDWORD count, LPDWORD codes) override;
    HRESULT GetGDISurface(LPDIRECTDRAWSURFACE* surface) override;
    HRESULT GetMonitorFrequency(LPDWORD frequency) override;
    HRESULT GetScanLine(LPDWORD scanLine) override;
    HRESULT GetVerticalBlankStatus(BOOL* inVerticalBlank) override;
    HRESULT Initialize(GUID* guid) override;
    HRESULT RestoreDisplayMode() override;
    HRESULT SetCooperativeLevel(HWND window, DWORD flags) override;
    HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel) override;
    HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel, DWORD refreshRate,
                           DWORD flags) override;
    HRESULT WaitForVerticalBlank(DWORD flags, HANDLE event) override;
    HRESULT GetAvailableVidMem(LPDDSCAPS caps, LPDWORD total, LPDWORD free) override;

    // Switches the display and marks every surface lost, as a mode change does (lock held).
    void setMode(DWORD width, DWORD height, const PixelLayout& layout);
};

struct State {
    std::mutex mutex;
    std::vector<DeviceProfile> profiles{DeviceProfile{}};
    std::vector<Device*> devices;
    std::vector<Surface*> deadSurfaces; // released with chain or device, references remaining
    std::vector<Palette*> deadPalettes;
    Fault createSurface[4];
    Fault directDrawCreate, cooperativeLevel, getCaps, fourCCCodes, lock, flip, updateOverlay,
        sourceBlt;
    long created[4]{};
    long verticalBlankWaits = 0;
    Device* screenDevice = nullptr; // the device whose primary the screen shows
    ScanoutSink* extraSink = nullptr;
};

State& state();

// Lifetime helpers (lock held).
// A new surface of device with its memory (rows padded to a pitch beyond width x bytes).
Surface* makeSurface(Device* device, SurfaceKind kind, DWORD caps, DWORD width, DWORD height,
                     const PixelLayout& layout);
// True while no row of s has been written past its width.
bool paddingIntact(const Surface& s);
void destroyChain(Surface* root);
void destroyDevice(Device* device);
void releasePalette(Palette* palette);

// Composes the screen of device and hands it to the sinks; counted presents are numbered.
void presentScreen(Device* device, bool counted);
// Writes the composed screen to the QZ_SCREEN_DUMP folder, when one is named.
void dumpScreen(const ScreenImage& screen);
// Headless sink bookkeeping, cleared by a reset.
void resetScreen();

bool rectInside(const RECT& rect, DWORD width, DWORD height);

// Vertical blank timing (ddraw_vblank.cpp). The number of the blank period when falls in, and
// the start of the next blank after when, at rate blanks a second (when itself with rate 0).
std::uint64_t blankNumber(std::chrono::steady_clock::time_point when, DWORD rate);
std::chrono::steady_clock::time_point nextVerticalBlank(std::chrono::steady_clock::time_point when,
                                                        DWORD rate);
// Before a flip of surface (lock held in lock): waits, with DDFLIP_WAIT, until the last flip
// of the primary chain has been shown; without it DDERR_WASSTILLDRAWING while it has not.
HRESULT awaitFlip(Surface* surface, std::unique_lock<std::mutex>& lock, DWORD flags);
// After a flip of surface: its picture is shown at the next blank.
void noteFlip(Surface* surface);

} // namespace qzplat::detail
