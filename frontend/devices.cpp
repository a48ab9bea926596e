// Seams for the window, sound and display set-up: the program runs without a window and
// plays on the engine's own sound and display fallbacks until these are filled in.
#include "frontend/devices.h"

bool createPlayerWindow() {
    return true;
}

HWND playerWindow() {
    return nullptr;
}

void setupSound(const FrontendSettings&) {}

int setupDisplay(const FrontendSettings&, DisplayObjects* display) {
    *display = DisplayObjects{};
    return 0;
}

void releaseSound() {}

PumpResult pumpMessage(PlayerConfig*) {
    return PumpResult::carryOn;
}

void releaseDisplay(DisplayObjects* display) {
    *display = DisplayObjects{};
}
