// On Windows the program's windows, keys and sound are the system's own: nothing to choose.
#include "platform/window_system.h"

#include "platform/win32.h"

namespace qzplat {

bool useScreenWindows(std::string&) {
    return true;
}

std::string windowFailureReason() {
    return "error " + std::to_string(GetLastError());
}

void fitWindowToPicture(HWND, const RECT&) {}

void coverScreenWithWindow(HWND) {}

} // namespace qzplat
