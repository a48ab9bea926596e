// The front end's window, sound and display objects. Until the window and the full-screen
// display exist these are seams: the window is not made, no sound object is made, and the
// display set-up leaves every DirectDraw object null.
#pragma once

#include "engine/player.h"
#include "frontend/options.h"

// What the display set-up hands to each play.
struct DisplayObjects {
    IDirectDraw* directDraw = nullptr;
    IDirectDraw2* directDraw2 = nullptr;
    IDirectDrawSurface2* primarySurface = nullptr;
    IDirectDrawSurface2* backSurface = nullptr;
};

// Creates the player window: true on success. The window handle goes to every play.
bool createPlayerWindow();
HWND playerWindow();
// Sets the primary sound format with the front end's own sound object.
void setupSound(const FrontendSettings& settings);
// Full-screen device, mode, primary surface and back buffer, cleared: 0, or the exit code
// the program ends with when the back buffer cannot be had.
int setupDisplay(const FrontendSettings& settings, DisplayObjects* display);
void releaseSound();
enum class PumpResult { carryOn, quit, replay };
// Takes one waiting window message, if any, and acts on its key for movie.
PumpResult pumpMessage(PlayerConfig* movie);
// Restores the display mode and releases the display objects.
void releaseDisplay(DisplayObjects* display);
