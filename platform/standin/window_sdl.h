// Between the SDL back end's windows and its scan-out, which shows the composed screen in them.
#pragma once

#include <chrono>

#include "platform/standin/winuser.h"

typedef struct SDL_Window SDL_Window;

namespace qzplat::detail {

// Shows the newest screen the SDL scan-out received in window (kept to the display the
// DirectDraw device that composed it stands for); redraws the last one when redraw is set.
void drawScanout(SDL_Window* window, bool redraw);
// Waits until the SDL scan-out holds a screen not yet drawn, or until deadline; true when so.
bool waitForScreen(std::chrono::steady_clock::time_point deadline);
// The part of the screen the window shows, scaled with its aspect ratio kept; null: all.
void setScanoutSource(const RECT* source);
// Installs the SDL scan-out sink and the device profiles of SDL's displays.
void startSdlScanout();
void stopSdlScanout();

} // namespace qzplat::detail
