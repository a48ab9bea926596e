// Between the stand-in's window core (classes, windows, queues) and its SDL back end.
#pragma once

#include <chrono>
#include <string>

#include "platform/standin/winuser.h"

typedef struct SDL_Window SDL_Window;

namespace qzplat::detail {

// One window as the core keeps it.
struct WindowRecord {
    WNDPROC procedure = nullptr;
    HCURSOR classCursor = nullptr;
    DWORD style = 0;
    std::string title;
    int x = 0, y = 0, width = 0, height = 0;
    bool needsPaint = true;
    bool needsErase = true;
    SDL_Window* sdl = nullptr; // on the SDL back end
};

// Posts (key, character, quit) or sends at the next message call (focus, cursor, close), as
// injectMessage describes.
void deliverFromWindowSystem(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The first live window, which shows the screen on the SDL back end; null when none.
HWND mainWindow();

// The platform's virtual-key code of an SDL key (keycode and scancode as SDL numbers them), or
// 0 for a key the platform has no code for. The keypad's digits and point follow Num Lock.
WPARAM virtualKeyFor(int keycode, int scancode, bool numLock);
// True for keys whose messages carry the platform's extended-key bit.
bool extendedKey(int scancode);

// SDL back end. The calls run on the thread that makes the windows and pumps their messages.
bool sdlStart(std::string& error);
bool sdlActive();
bool sdlCreateWindow(HWND handle, WindowRecord& window, std::string& error);
void sdlDestroyWindow(WindowRecord& window);
// Turns waiting SDL events into messages and shows the newest composed screen.
void sdlService();
void sdlShowCursor(bool shown);
// Makes window a decorated, resizable window of the picture's size (as far as the screen
// holds it), centred on its display, that shows the part picture of the screen.
void sdlFitWindow(WindowRecord& window, const RECT& picture);
void sdlFocus(const WindowRecord& window);
// Size of the first display.
bool sdlScreenSize(int& width, int& height);
void sdlStop();

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
