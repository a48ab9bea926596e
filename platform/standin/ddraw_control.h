// Control of the stand-in DirectDraw device for tests and the headless player: which display
// devices exist and what their drivers report, faults to inject, and the composed screen.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/standin/ddraw_types.h"

namespace qzplat {

// Pixel layouts a display can have.
enum class DisplayFormat {
    palette8, // 8-bit indices through the primary surface's palette
    rgb555,   // 16 bits: x1 r5 g5 b5
    rgb565,   // 16 bits: r5 g6 b5
    rgb888,   // 32 bits: x8 r8 g8 b8
};

// DDCAPS bits of a driver that shows YUY2 overlays stretched.
inline constexpr DWORD capsOverlayYuv =
    DDCAPS_OVERLAY | DDCAPS_OVERLAYFOURCC | DDCAPS_OVERLAYSTRETCH;
// DDCAPS bits of a driver that converts and stretches YUY2 when blitting.
inline constexpr DWORD capsBltYuv = DDCAPS_BLTFOURCC | DDCAPS_BLTSTRETCH;
inline constexpr DWORD fourCCYuy2 = MAKEFOURCC('Y', 'U', 'Y', '2');

// One display device: what enumeration reports and what its driver can do.
struct DeviceProfile {
    std::string driverName = "display";
    std::string description = "Stand-in display";
    GUID guid{}; // reported for every device but the first, which is the primary driver
    DWORD width = 640;
    DWORD height = 480;
    DisplayFormat format = DisplayFormat::rgb888;   // desktop layout, and the one of 8/32-bit modes
    DisplayFormat format16 = DisplayFormat::rgb565; // 16-bit modes, unless format is 16-bit
    DWORD caps = capsOverlayYuv | capsBltYuv;       // DDCAPS bits beyond blit and colour fill
    std::vector<DWORD> fourCCs{fourCCYuy2};         // YUY2 surfaces need YUY2 here
    DWORD pitchPadding = 40; // bytes added to every row, so that pitch bugs show
    // Vertical blanks a second. 0: no timing, waits for a blank return at once (what unit
    // tests and the headless player use, so that they run unpaced).
    DWORD refreshRate = 0;
};

// Replaces the device list (at least one entry) and resets everything else.
void setDeviceProfiles(const std::vector<DeviceProfile>& profiles);
// Back to one default device, no faults, no screen; frees objects tests left behind.
void resetDirectDraw();

// Kinds of surface a fault can be aimed at.
enum class SurfaceKind { primary, offscreenRgb, offscreenYuy2, overlay };

// The next count calls of each kind fail with code (count 0 clears the fault).
void failNextCreateSurface(SurfaceKind kind, HRESULT code = DDERR_OUTOFVIDEOMEMORY, int count = 1);
void failNextDirectDrawCreate(HRESULT code = DDERR_NODIRECTDRAWHW, int count = 1);
void failNextSetCooperativeLevel(HRESULT code = DDERR_EXCLUSIVEMODEALREADYSET, int count = 1);
void failNextGetCaps(HRESULT code = DDERR_GENERIC, int count = 1);
void failNextGetFourCCCodes(HRESULT code = DDERR_GENERIC, int count = 1);
void failNextLocks(int count, HRESULT code = DDERR_SURFACEBUSY);
void failNextFlips(HRESULT code, int count = 1);
void failNextUpdateOverlay(HRESULT code, int count = 1);
// Fails copying Blts only (colour fills still work).
void failNextSourceBlts(HRESULT code, int count = 1);

// Marks the surface (with its whole flip chain) lost. Its next failingRestores Restore calls
// fail with restoreError; the one after succeeds.
void loseSurface(IDirectDrawSurface2* surface, int failingRestores = 0,
                 HRESULT restoreError = DDERR_WRONGMODE);
// Marks every surface of every device lost, as a mode switch by another program would.
void loseAllSurfaces(int failingRestores = 0, HRESULT restoreError = DDERR_WRONGMODE);

// The screen as it was composed at the last present: 0x00RRGGBB pixels, row after row.
struct ScreenImage {
    DWORD width = 0;
    DWORD height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t at(DWORD x, DWORD y) const { return pixels[std::size_t(y) * width + x]; }
};

// Receives every composed screen. present() runs with the device's lock held and must not
// call DirectDraw; counted is false for recompositions that are not presents (palette changes).
class ScanoutSink {
  public:
    virtual ~ScanoutSink() = default;
    virtual void present(const ScreenImage& screen, bool counted) = 0;
};
// Adds a sink (a real window) beside the headless one that tests read; null removes it.
void setScanoutSink(ScanoutSink* sink);

ScreenImage screenSnapshot();
// Flips, Blts into visible surfaces, Unlocks of visible surfaces and UpdateOverlay calls so far.
long presentCount();
long verticalBlankWaits();
// The number of vertical blanks the screen's display has had (0 for a display without a
// refresh rate): a wait for a blank returns in a later one than it started in.
std::uint64_t verticalBlankNumber();
// Surfaces of a kind created successfully since the last reset.
long surfacesCreated(SurfaceKind kind);

// Objects whose references have not all been released (for leak checks).
struct LiveObjects {
    int devices = 0;
    int surfaces = 0;
    int palettes = 0;
};
LiveObjects liveObjects();

// The current display mode of the device that shows the screen, or zeros when none does.
struct DisplayState {
    DWORD width = 0;
    DWORD height = 0;
    DWORD bitsPerPixel = 0;
    bool exclusive = false;
};
DisplayState displayState();

// True while the row padding of every buffer of the surface still holds the fill it was made
// with, i.e. nothing was written past the end of a row.
bool surfacePaddingIntact(IDirectDrawSurface2* surface);

} // namespace qzplat
