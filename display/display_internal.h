// Helpers shared by the display set-up, surface preparation and presentation.
#pragma once

#include "display/display_state.h"

// Derives the pixel format of a primary surface. False when the display cannot take RGB
// pixels (GetPixelFormat failed, or a red, green or blue mask is empty).
bool readPixelFormat(IDirectDrawSurface2* primary, PixelFormat* format);

// The display mode to start with: 1 unless YUV methods are allowed and the driver offers them.
LONG chooseDisplayMode(const DisplayState* ds);

// The movie's rectangle on the primary surface.
RECT destinationRect(const DisplayState* ds);

// The part of the screen the decoders write on the direct target: the unstretched picture at
// (destX, destY), doubled as the flags ask, limited to the screen (empty when off it).
RECT writtenRect(const DisplayState* ds);

// Clips dest to the screen and cuts source by the same share; false when nothing is left. A
// movie placed partly off the screen is shown in part rather than refused by the driver.
bool clipToScreen(const DisplayState* ds, RECT* source, RECT* dest);

// The picture's rectangle on the movie surfaces, limited to their size; sourceWidth picture
// pixels wide.
RECT sourceRect(const DisplayState* ds, LONG sourceWidth);
