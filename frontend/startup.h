// The player from the window on: what main runs once the command line has been read.
#pragma once

#include "frontend/options.h"

// Checks the device number, makes the window, sets up sound and display, plays the movie and
// tears down. Returns the exit code: 0; 1 when the device number is out of range, no window
// can be made or the movie cannot be started; 2 when full screen has no back buffer.
int runPlayer(FrontendSettings settings);
