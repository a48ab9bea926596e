// The stand-in's screen windows: SDL's video for the windows and SDL's audio for the sound card.
#include "platform/window_system.h"

#include "platform/win32.h"

namespace qzplat {

bool useScreenWindows(std::string& error) {
    if (!useSdlWindows()) {
        error = lastWindowError();
        return false;
    }
    setSoundBackEnd(SoundBackEnd::sdl);
    return true;
}

std::string windowFailureReason() {
    return lastWindowError();
}

void fitWindowToPicture(HWND window, const RECT& picture) {
    fitSdlWindow(window, picture);
}

void coverScreenWithWindow(HWND window) {
    coverSdlScreen(window);
}

} // namespace qzplat
