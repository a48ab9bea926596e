#include "display/display.h"

// Display output is not built into this version yet: with no surfaces there is nothing to set
// up, show or release, and movies play with their sound and timing only.
void displaySetup(PlayerContext*) {}
void presentFrame(PlayerContext*) {}
void swapBuffers(PlayerContext*) {}
void displayRelease(PlayerContext*) {}
