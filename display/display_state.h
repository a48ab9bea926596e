// DisplayState: the display side's record for one open movie, embedded in the engine's context
// and zero-filled with it: where the picture goes on the screen, the display mode, the YUV
// staging image and what the display set-up made and must release.
#pragma once

#include "api/player_config.h"

struct DisplayState {
    PlayerConfig* config; // the movie's caller-owned record, set at open
    // displayMode 0 means no display: frames are consumed undecoded.
    LONG screenWidth;
    LONG screenHeight;
    LONG destX;
    LONG destY;
    LONG destWidth;
    LONG destHeight;
    LONG displayMode;
    LONG overlayPending;        // the overlay must be shown by the next presentation
    LONG overlayFlipping;       // the overlay is a flip chain with a back buffer
    LONG presentWaitedForBlank; // the last presentation waited for a vertical blank or flipped
    BYTE* yuvImage;             // single overlay staging image, YUY2 at the movie surfaces' size
    LONG movieSurfaceWidth;     // picture pixels the movie surfaces (and yuvImage) were made for
    LONG movieSurfaceHeight;
    LONG displayReady;
    LONG ownsDirectDraw2;
    LONG ownsPaletteEntries; // paletteEntries was allocated by the display set-up
};
