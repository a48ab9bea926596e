// Chooses the window system and sound card a program shows and plays on: the platform's own on
// Windows, SDL's through the stand-in elsewhere.
#pragma once

#include <string>

#include "platform/win32.h"

namespace qzplat {
// Sets up the window system for the windows made from now on; false, with the reason in error,
// when there is no display.
bool useScreenWindows(std::string& error);
// Why the last window could not be made.
std::string windowFailureReason();
// Shapes a window that shows a movie in a window to the movie's picture, picture being where
// the picture lies on the screen. The stand-in makes it a decorated, resizable window of the
// picture's size, centred on the screen, that shows that part of the screen scaled to the
// window with the aspect ratio kept. The platform's own window is left as it is.
void fitWindowToPicture(HWND window, const RECT& picture);
// Undoes fitWindowToPicture for full screen: the stand-in's window covers the whole screen
// again, undecorated, and shows all of it. The platform's own window is left as it is.
void coverScreenWithWindow(HWND window);
} // namespace qzplat
