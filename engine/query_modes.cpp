#include "engine/player.h"

DWORD playerQueryModes(IDirectDraw2* directDraw2) {
    if (directDraw2 == nullptr) return modeRgb;
    DDCAPS driver{};
    DDCAPS emulation{};
    driver.dwSize = sizeof(driver);
    emulation.dwSize = sizeof(emulation);
    if (FAILED(directDraw2->GetCaps(&driver, &emulation))) return modeRgb;
    DWORD modes = modeRgb;
    const DWORD overlay = DDCAPS_OVERLAYFOURCC | DDCAPS_OVERLAYSTRETCH;
    const DWORD blit = DDCAPS_BLTFOURCC | DDCAPS_BLTSTRETCH;
    if ((driver.dwCaps & overlay) == overlay) modes |= modeOverlay;
    if ((driver.dwCaps & blit) == blit) modes |= modeStretchBlit;
    return modes;
}
