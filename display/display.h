// The display side of a movie: set-up of surfaces and colour tables at open, preparation and
// recovery of the surfaces before each frame, presentation of each decoded frame, and release
// at close.
#pragma once

#include "display/display_state.h"

// displayMode of a movie that shows nothing: no usable display, frames are consumed undecoded.
inline constexpr LONG displayNone = 0;

// Chooses the display mode and prepares the palette and colour tables; called by playerCreate.
void displaySetup(DisplayState* ds);
// Shows the frame the dispatch has just decoded.
void presentFrame(DisplayState* ds);
// Paces a frame slot of a movie without an audio clock: one slot a vertical blank of the
// display, where presenting the frame did not already wait for one (a page flip, a YUV
// presentation).
void waitForFrameBlank(DisplayState* ds);
// Swaps the offscreen RGB surfaces or the caller buffers after every consumed frame.
void swapBuffers(DisplayState* ds);
// Releases the display objects the engine made; called by playerClose.
void displayRelease(DisplayState* ds);

// Makes the movie surfaces on first use, before a frame's lock; may lower displayMode to 1.
// 0 on success, 1 when the offscreen RGB surfaces could not be made.
int prepareSurfaces(DisplayState* ds);
// Restores lost surfaces: 0 when all are usable, 1 when one could not be restored.
int checkLostSurfaces(DisplayState* ds);
// Shows (show 1) or hides (0) the overlay; 0 on success, 1 on failure. Errors that mean the
// overlay cannot work lower displayMode to 1; a lost overlay is restored.
int showOverlay(DisplayState* ds, int show);
// Leaves the YUV methods for direct RGB output, hiding a shown overlay.
void leaveYuvDisplay(DisplayState* ds);
// True when RGB pictures are decoded into the offscreen surface and blitted into place: when the
// caller asks for it (directToSurface clear), and in direct RGB output when the picture is to be
// stretched, which only a blit can do.
bool offscreenPicture(const DisplayState* ds);
// Makes the RGB targets the decoders write black again, as at open: whole surfaces in full
// screen, the picture's rectangle on a window's primary surface. YUV targets are left alone.
void clearPictureTargets(DisplayState* ds);

// The DirectDraw name of a result code, or "Uknown Error Code" for one it does not know.
const char* errorName(HRESULT code);
