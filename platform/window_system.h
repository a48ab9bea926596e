// Chooses the window system and sound card a program shows and plays on: the platform's own on
// Windows, SDL's through the stand-in elsewhere.
#pragma once

#include <string>

namespace qzplat {
// Sets up the window system for the windows made from now on; false, with the reason in error,
// when there is no display.
bool useScreenWindows(std::string& error);
// Why the last window could not be made.
std::string windowFailureReason();
} // namespace qzplat
