// DirectDraw interfaces of the stand-in: the platform's interfaces as C++ structs of virtual
// methods in the platform's order, and the two entry points. A software device behind them
// keeps surfaces in memory and composes the screen after every present (ddraw_control.h).
#pragma once

#include "platform/standin/ddraw_types.h"
#include "platform/standin/ddraw_control.h"

struct IDirectDrawPalette : IUnknown {
    virtual HRESULT GetCaps(LPDWORD caps) = 0;
    virtual HRESULT GetEntries(DWORD flags, DWORD base, DWORD count, LPPALETTEENTRY entries) = 0;
    virtual HRESULT Initialize(LPDIRECTDRAW directDraw, DWORD flags, LPPALETTEENTRY table) = 0;
    virtual HRESULT SetEntries(DWORD flags, DWORD start, DWORD count, LPPALETTEENTRY entries) = 0;
};

struct IDirectDraw : IUnknown {
    virtual HRESULT Compact() = 0;
    virtual HRESULT CreateClipper(DWORD flags, LPDIRECTDRAWCLIPPER* clipper, IUnknown* outer) = 0;
    virtual HRESULT CreatePalette(DWORD flags, LPPALETTEENTRY table, LPDIRECTDRAWPALETTE* palette,
                                  IUnknown* outer) = 0;
    virtual HRESULT CreateSurface(LPDDSURFACEDESC desc, LPDIRECTDRAWSURFACE* surface,
                                  IUnknown* outer) = 0;
    virtual HRESULT DuplicateSurface(LPDIRECTDRAWSURFACE surface,
                                     LPDIRECTDRAWSURFACE* duplicate) = 0;
    virtual HRESULT EnumDisplayModes(DWORD flags, LPDDSURFACEDESC desc, LPVOID context,
                                     LPDDENUMMODESCALLBACK callback) = 0;
    virtual HRESULT EnumSurfaces(DWORD flags, LPDDSURFACEDESC desc, LPVOID context,
                                 LPDDENUMSURFACESCALLBACK callback) = 0;
    virtual HRESULT FlipToGDISurface() = 0;
    virtual HRESULT GetCaps(LPDDCAPS driverCaps, LPDDCAPS emulationCaps) = 0;
    virtual HRESULT GetDisplayMode(LPDDSURFACEDESC desc) = 0;
    virtual HRESULT GetFourCCCodes(LPDWORD count, LPDWORD codes) = 0;
    virtual HRESULT GetGDISurface(LPDIRECTDRAWSURFACE* surface) = 0;
    virtual HRESULT GetMonitorFrequency(LPDWORD frequency) = 0;
    virtual HRESULT GetScanLine(LPDWORD scanLine) = 0;
    virtual HRESULT GetVerticalBlankStatus(BOOL* inVerticalBlank) = 0;
    virtual HRESULT Initialize(GUID* guid) = 0;
    virtual HRESULT RestoreDisplayMode() = 0;
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
    virtual HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel) = 0;
    virtual HRESULT WaitForVerticalBlank(DWORD flags, HANDLE event) = 0;
};

struct IDirectDraw2 : IUnknown {
    virtual HRESULT Compact() = 0;
    virtual HRESULT CreateClipper(DWORD flags, LPDIRECTDRAWCLIPPER* clipper, IUnknown* outer) = 0;
    virtual HRESULT CreatePalette(DWORD flags, LPPALETTEENTRY table, LPDIRECTDRAWPALETTE* palette,
                                  IUnknown* outer) = 0;
    virtual HRESULT CreateSurface(LPDDSURFACEDESC desc, LPDIRECTDRAWSURFACE* surface,
                                  IUnknown* outer) = 0;
    virtual HRESULT DuplicateSurface(LPDIRECTDRAWSURFACE surface,
                                     LPDIRECTDRAWSURFACE* duplicate) = 0;
    virtual HRESULT EnumDisplayModes(DWORD flags, LPDDSURFACEDESC desc, LPVOID context,
                                     LPDDENUMMODESCALLBACK callback) = 0;
    virtual HRESULT EnumSurfaces(DWORD flags, LPDDSURFACEDESC desc, LPVOID context,
                                 LPDDENUMSURFACESCALLBACK callback) = 0;
    virtual HRESULT FlipToGDISurface() = 0;
    virtual HRESULT GetCaps(LPDDCAPS driverCaps, LPDDCAPS emulationCaps) = 0;
    virtual HRESULT GetDisplayMode(LPDDSURFACEDESC desc) = 0;
    virtual HRESULT GetFourCCCodes(LPDWORD count, LPDWORD codes) = 0;
    virtual HRESULT GetGDISurface(LPDIRECTDRAWSURFACE* surface) = 0;
    virtual HRESULT GetMonitorFrequency(LPDWORD frequency) = 0;
    virtual HRESULT GetScanLine(LPDWORD scanLine) = 0;
    virtual HRESULT GetVerticalBlankStatus(BOOL* inVerticalBlank) = 0;
    virtual HRESULT Initialize(GUID* guid) = 0;
    virtual HRESULT RestoreDisplayMode() = 0;
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
    virtual HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel, DWORD refreshRate,
                                   DWORD flags) = 0;
    virtual HRESULT WaitForVerticalBlank(DWORD flags, HANDLE event) = 0;
    virtual HRESULT GetAvailableVidMem(LPDDSCAPS caps, LPDWORD total, LPDWORD free) = 0;
};

// The surface methods of both versions; S is the interface's own pointer type.
#define QZ_DDRAW_SURFACE_METHODS(S)                                                                \
    virtual HRESULT AddAttachedSurface(S attached) = 0;                                            \
    virtual HRESULT AddOverlayDirtyRect(LPRECT rect) = 0;                                          \
    virtual HRESULT Blt(LPRECT destRect, S source, LPRECT sourceRect, DWORD flags,                 \
                        LPDDBLTFX effects) = 0;                                                    \
    virtual HRESULT BltBatch(LPDDBLTBATCH batch, DWORD count, DWORD flags) = 0;                    \
    virtual HRESULT BltFast(DWORD x, DWORD y, S source, LPRECT sourceRect, DWORD transfer) = 0;    \
    virtual HRESULT DeleteAttachedSurface(DWORD flags, S attached) = 0;                            \
    virtual HRESULT EnumAttachedSurfaces(LPVOID context, LPDDENUMSURFACESCALLBACK callback) = 0;   \
    virtual HRESULT EnumOverlayZOrders(DWORD flags, LPVOID context,                                \
                                       LPDDENUMSURFACESCALLBACK callback) = 0;                     \
    virtual HRESULT Flip(S targetOverride, DWORD flags) = 0;                                       \
    virtual HRESULT GetAttachedSurface(LPDDSCAPS caps, S* attached) = 0;                           \
    virtual HRESULT GetBltStatus(DWORD flags) = 0;                                                 \
    virtual HRESULT GetCaps(LPDDSCAPS caps) = 0;                                                   \
    virtual HRESULT GetClipper(LPDIRECTDRAWCLIPPER* clipper) = 0;                                  \
    virtual HRESULT GetColorKey(DWORD flags, LPDDCOLORKEY key) = 0;                                \
    virtual HRESULT GetDC(HDC* dc) = 0;                                                            \
    virtual HRESULT GetFlipStatus(DWORD flags) = 0;                                                \
    virtual HRESULT GetOverlayPosition(LPLONG x, LPLONG y) = 0;                                    \
    virtual HRESULT GetPalette(LPDIRECTDRAWPALETTE* palette) = 0;                                  \
    virtual HRESULT GetPixelFormat(LPDDPIXELFORMAT format) = 0;                                    \
    virtual HRESULT GetSurfaceDesc(LPDDSURFACEDESC desc) = 0;                                      \
    virtual HRESULT Initialize(LPDIRECTDRAW directDraw, LPDDSURFACEDESC desc) = 0;                 \
    virtual HRESULT IsLost() = 0;                                                                  \
    virtual HRESULT Lock(LPRECT rect, LPDDSURFACEDESC desc, DWORD flags, HANDLE event) = 0;        \
    virtual HRESULT ReleaseDC(HDC dc) = 0;                                                         \
    virtual HRESULT Restore() = 0;                                                                 \
    virtual HRESULT SetClipper(LPDIRECTDRAWCLIPPER clipper) = 0;                                   \
    virtual HRESULT SetColorKey(DWORD flags, LPDDCOLORKEY key) = 0;                                \
    virtual HRESULT SetOverlayPosition(LONG x, LONG y) = 0;                                        \
    virtual HRESULT SetPalette(LPDIRECTDRAWPALETTE palette) = 0;                                   \
    virtual HRESULT Unlock(LPVOID surfaceData) = 0;                                                \
    virtual HRESULT UpdateOverlay(LPRECT sourceRect, S dest, LPRECT destRect, DWORD flags,         \
                                  LPDDOVERLAYFX effects) = 0;                                      \
    virtual HRESULT UpdateOverlayDisplay(DWORD flags) = 0;                                         \
    virtual HRESULT UpdateOverlayZOrder(DWORD flags, S reference) = 0;

struct IDirectDrawSurface : IUnknown {
    QZ_DDRAW_SURFACE_METHODS(LPDIRECTDRAWSURFACE)
};

struct IDirectDrawSurface2 : IUnknown {
    QZ_DDRAW_SURFACE_METHODS(LPDIRECTDRAWSURFACE2)
    virtual HRESULT GetDDInterface(LPVOID* directDraw) = 0;
    virtual HRESULT PageLock(DWORD flags) = 0;
    virtual HRESULT PageUnlock(DWORD flags) = 0;
};

#undef QZ_DDRAW_SURFACE_METHODS

// Calls callback once per display device: the primary driver first with a null GUID, then
// every further device with its GUID. Stops when the callback returns 0.
HRESULT WINAPI DirectDrawEnumerateA(LPDDENUMCALLBACKA callback, LPVOID context);
// Creates the device named by guid (null: the primary driver) with one reference.
HRESULT WINAPI DirectDrawCreate(GUID* guid, LPDIRECTDRAW* directDraw, IUnknown* outer);
