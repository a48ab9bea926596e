// Between the stand-in's window core (classes, windows, queues) and its back ends: the core
// keeps the windows and messages, a back end shows them and feeds the queue.
#pragma once

#include <memory>
#include <string>

#include "platform/standin/winuser.h"

namespace qzplat::detail {

// What a back end keeps for one window (the SDL back end: its SDL window). Made and freed by
// the back end.
struct NativeWindow {
    virtual ~NativeWindow() = default;
};

// One window as the core keeps it.
struct WindowRecord {
    WNDPROC procedure = nullptr;
    HCURSOR classCursor = nullptr;
    DWORD style = 0;
    std::string title;
    int x = 0, y = 0, width = 0, height = 0;
    bool needsPaint = true;
    bool needsErase = true;
    std::unique_ptr<NativeWindow> native; // null on the headless back end
};

// Posts (key, character, quit) or sends at the next message call (focus, cursor, close), as
// injectMessage describes.
void deliverFromWindowSystem(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The first live window, which shows the screen; null when none.
HWND mainWindow();

// The platform's virtual-key code of an SDL key (keycode and scancode as SDL numbers them), or
// 0 for a key the platform has no code for. The keypad's digits and point follow Num Lock.
WPARAM virtualKeyFor(int keycode, int scancode, bool numLock);
// True for keys whose messages carry the platform's extended-key bit.
bool extendedKey(int scancode);

// Where windows are shown and whence their events come. The calls run on the thread that makes
// the windows and pumps their messages; those given a window record run with the window
// system's lock held.
class WindowBackEnd {
  public:
    virtual ~WindowBackEnd() = default;
    // Makes the back end's window for a new window; false, with the reason in error, when it
    // cannot.
    virtual bool createWindow(HWND handle, WindowRecord& window, std::string& error) = 0;
    // Frees the back end's window, if the window has one.
    virtual void destroyWindow(WindowRecord& window) = 0;
    virtual void focus(const WindowRecord& window) = 0;
    virtual void showCursor(bool shown) = 0;
    // Shows the window's title, where the back end has a place for it.
    virtual void showTitle(const WindowRecord&) {}
    // Turns waiting events into messages and shows the newest composed screen.
    virtual void service() = 0;
    // Waits a little before the next look at the events; false at once when the back end has
    // no events of its own, so that the caller waits on the queue instead.
    virtual bool waitBetweenLooks() = 0;
    // Size of the first display; false when the back end has no display.
    virtual bool screenSize(int& width, int& height) = 0;
    // Makes window a decorated, resizable window of the picture's size (as far as the screen
    // holds it), centred on its display, that shows the part picture of the screen.
    virtual void fitWindow(WindowRecord& window, const RECT& picture) = 0;
    // Makes window an undecorated window over its whole display again, showing the whole
    // screen: what a window fitted to a picture goes back to for full screen.
    virtual void coverScreen(WindowRecord&) {}
    // Closes the back end; the windows are gone by then.
    virtual void stop() = 0;
};

// Shows windows made from now on through backEnd (started already); resetWindows stops it and
// goes back to the headless back end.
void useWindowBackEnd(WindowBackEnd& backEnd);
// Keeps the reason the last window or back end failed, for lastWindowError.
void setWindowError(const std::string& error);
// Fits a live window to picture through the back end.
void fitWindow(HWND window, const RECT& picture);
// Makes a live window cover its display again through the back end.
void coverScreen(HWND window);

} // namespace qzplat::detail
