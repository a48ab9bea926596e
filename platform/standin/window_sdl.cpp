// The SDL back end of the stand-in's windows: SDL windows for the program's windows, and SDL's
// keyboard, focus, pointer and close events turned into the messages the platform would send.
#include <SDL.h>
#include <algorithm>
#include <atomic>
#include <thread>
#include <map>
#include <memory>

#include "platform/standin/dsound_output.h"
#include "platform/standin/kernel.h"
#include "platform/standin/window_internal.h"
#include "platform/standin/window_sdl.h"

namespace {

using qzplat::detail::NativeWindow;
using qzplat::detail::WindowRecord;

// How long GetMessageA waits between looks at SDL's events.
constexpr DWORD eventWaitMs = 5;

struct SdlWindow final : NativeWindow {
    SDL_Window* window = nullptr;
};

// The SDL window of a window made on this back end; null for one made before it started.
SDL_Window* sdlWindowOf(const WindowRecord& window) {
    return window.native ? static_cast<const SdlWindow&>(*window.native).window : nullptr;
}

std::atomic<bool> started{false};
// SDL window ids to the program's handles; touched only on the window thread.
std::map<Uint32, HWND> handles;
bool redrawWanted = false;

// HTCLIENT and WM_MOUSEMOVE, as WM_SETCURSOR's lParam carries them for the pointer moving over
// a window's client area.
constexpr LPARAM setCursorClientMove = 1 | (LPARAM(0x0200) << 16);

HWND handleOf(Uint32 windowId) {
    auto found = handles.find(windowId);
    if (found != handles.end()) return found->second;
    return qzplat::detail::mainWindow();
}

// lParam of a key message: repeat count 1, the extended-key bit, the previous state and the
// transition state as the platform sets them.
LPARAM keyParameter(const SDL_KeyboardEvent& key) {
    LPARAM value = 1;
    if (qzplat::detail::extendedKey(key.keysym.scancode)) value |= LPARAM(1) << 24;
    if (key.type == SDL_KEYUP)
        value |= (LPARAM(1) << 30) | (LPARAM(1) << 31);
    else if (key.repeat != 0)
        value |= LPARAM(1) << 30;
    return value & 0xFFFFFFFF;
}

void translateKey(const SDL_KeyboardEvent& key) {
    const bool numLock = (key.keysym.mod & KMOD_NUM) != 0;
    WPARAM code = qzplat::detail::virtualKeyFor(key.keysym.sym, key.keysym.scancode, numLock);
    if (code == 0) return;
    // Alt and keys pressed with Alt held are system keys.
    bool systemKey = code == VK_MENU || (key.keysym.mod & KMOD_ALT) != 0;
    UINT message = key.type == SDL_KEYDOWN ? (systemKey ? WM_SYSKEYDOWN : WM_KEYDOWN)
                                           : (systemKey ? WM_SYSKEYUP : WM_KEYUP);
    qzplat::detail::deliverFromWindowSystem(handleOf(key.windowID), message, code,
                                            keyParameter(key));
}

// The first window shows the screen.
// Draws the screen in the first window; false when there is no window to draw in.
bool drawFirstWindow(bool redraw) {
    for (const auto& [id, handle] : handles) {
        if (SDL_Window* window = SDL_GetWindowFromID(id)) {
            qzplat::detail::drawScanout(window, redraw);
            return true;
        }
    }
    return false;
}

// The window thread's sleeps: every screen presented meanwhile is drawn as it arrives, so the
// window follows the presents rather than the message pump's pace. The sleep never outlasts
// its time: with no window left (closed, or the program told to end) a new screen has nowhere
// to go and waits, and the thread sleeps on.
void sleepServingScreen(DWORD milliseconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (qzplat::detail::waitForScreen(deadline)) {
        if (!drawFirstWindow(false)) {
            std::this_thread::sleep_until(deadline);
            return;
        }
        if (std::chrono::steady_clock::now() >= deadline) return;
    }
}

void translateWindowEvent(const SDL_WindowEvent& event) {
    HWND window = handleOf(event.windowID);
    switch (event.event) {
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        qzplat::detail::deliverFromWindowSystem(window, WM_ACTIVATEAPP, TRUE, 0);
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        qzplat::detail::deliverFromWindowSystem(window, WM_ACTIVATEAPP, FALSE, 0);
        break;
    case SDL_WINDOWEVENT_CLOSE:
        qzplat::detail::deliverFromWindowSystem(window, WM_CLOSE, 0, 0);
        break;
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_SIZE_CHANGED:
    case SDL_WINDOWEVENT_SHOWN:
        redrawWanted = true;
        break;
    default:
        break;
    }
}

class SdlWindows final : public qzplat::detail::WindowBackEnd {
  public:
    bool createWindow(HWND handle, WindowRecord& window, std::string& error) override;
    void destroyWindow(WindowRecord& window) override;
    void focus(const WindowRecord& window) override;
    void showCursor(bool shown) override;
    void showTitle(const WindowRecord& window) override;
    void service() override;
    bool waitBetweenLooks() override;
    bool screenSize(int& width, int& height) override;
    void fitWindow(WindowRecord& window, const RECT& picture) override;
    void coverScreen(WindowRecord& window) override;
    void stop() override;
};

SdlWindows sdlWindows;

// Starts SDL's video once; false, with the reason in error, when there is no display.
bool start(std::string& error) {
    if (started) return true;
    // The window must stay up when the focus goes elsewhere: the player pauses instead.
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        error = SDL_GetError();
        return false;
    }
    // SDL falls back to drivers that show nothing when no display answers; those count only
    // when asked for by name.
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    bool invisible = driver != nullptr &&
                     (SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0);
    if (SDL_GetNumVideoDisplays() < 1 || (invisible && (asked == nullptr || *asked == '\0'))) {
        error = "no display found; SDL_VIDEODRIVER=offscreen plays without one";
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    started = true;
    qzplat::detail::setThreadSleepHook(sleepServingScreen);
    return true;
}

bool SdlWindows::createWindow(HWND handle, WindowRecord& window, std::string& error) {
    Uint32 flags = (window.style & WS_VISIBLE) ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN;
    if (window.style & WS_POPUP) flags |= SDL_WINDOW_BORDERLESS;
    SDL_Window* made = SDL_CreateWindow(window.title.c_str(), window.x, window.y, window.width,
                                        window.height, flags);
    if (made == nullptr) {
        error = SDL_GetError();
        return false;
    }
    if (SDL_CreateRenderer(made, -1, 0) == nullptr &&
        SDL_CreateRenderer(made, -1, SDL_RENDERER_SOFTWARE) == nullptr) {
        error = SDL_GetError();
        SDL_DestroyWindow(made);
        return false;
    }
    auto native = std::make_unique<SdlWindow>();
    native->window = made;
    window.native = std::move(native);
    handles[SDL_GetWindowID(made)] = handle;
    redrawWanted = true;
    return true;
}

void SdlWindows::destroyWindow(WindowRecord& window) {
    SDL_Window* sdl = sdlWindowOf(window);
    if (sdl == nullptr) return;
    handles.erase(SDL_GetWindowID(sdl));
    SDL_Renderer* renderer = SDL_GetRenderer(sdl);
    if (renderer != nullptr) SDL_DestroyRenderer(renderer);
    SDL_DestroyWindow(sdl);
    window.native.reset();
}

void SdlWindows::service() {
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
        switch (event.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            translateKey(event.key);
            break;
        case SDL_WINDOWEVENT:
            translateWindowEvent(event.window);
            break;
        case SDL_MOUSEMOTION:
            qzplat::detail::deliverFromWindowSystem(handleOf(event.motion.windowID), WM_SETCURSOR,
                                                    WPARAM(handleOf(event.motion.windowID)),
                                                    setCursorClientMove);
            break;
        case SDL_AUDIODEVICEREMOVED:
            // The sound card was unplugged or its server went away: the sound plays on by the
            // clock alone.
            if (event.adevice.iscapture == 0)
                qzplat::detail::removeSdlSoundCard(event.adevice.which);
            break;
        case SDL_QUIT:
            // The last window closed, or the console asked the program to end.
            if (HWND window = qzplat::detail::mainWindow())
                qzplat::detail::deliverFromWindowSystem(window, WM_CLOSE, 0, 0);
            break;
        default:
            break;
        }
    }
    drawFirstWindow(redrawWanted);
    redrawWanted = false;
}

bool SdlWindows::waitBetweenLooks() {
    Sleep(eventWaitMs);
    return true;
}

void SdlWindows::fitWindow(WindowRecord& window, const RECT& picture) {
    SDL_Window* sdl = sdlWindowOf(window);
    if (sdl == nullptr) return;
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(std::max(SDL_GetWindowDisplayIndex(sdl), 0), &bounds) != 0) return;
    // The part of the picture on the screen; a picture wholly off it leaves the window alone.
    RECT shown{std::max<LONG>(picture.left, 0), std::max<LONG>(picture.top, 0),
               std::min<LONG>(picture.right, bounds.w), std::min<LONG>(picture.bottom, bounds.h)};
    if (shown.right <= shown.left || shown.bottom <= shown.top) return;
    int width = int(shown.right - shown.left), height = int(shown.bottom - shown.top);
    window.width = width;
    window.height = height;
    window.x = bounds.x + (bounds.w - width) / 2;
    window.y = bounds.y + (bounds.h - height) / 2;
    SDL_SetWindowBordered(sdl, SDL_TRUE);
    SDL_SetWindowResizable(sdl, SDL_TRUE);
    SDL_SetWindowSize(sdl, width, height);
    SDL_SetWindowPosition(sdl, window.x, window.y);
    qzplat::detail::setScanoutSource(&shown);
    redrawWanted = true;
}

void SdlWindows::coverScreen(WindowRecord& window) {
    SDL_Window* sdl = sdlWindowOf(window);
    if (sdl == nullptr) return;
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(std::max(SDL_GetWindowDisplayIndex(sdl), 0), &bounds) != 0) return;
    window.x = bounds.x;
    window.y = bounds.y;
    window.width = bounds.w;
    window.height = bounds.h;
    SDL_SetWindowResizable(sdl, SDL_FALSE);
    SDL_SetWindowBordered(sdl, SDL_FALSE);
    SDL_SetWindowSize(sdl, bounds.w, bounds.h);
    SDL_SetWindowPosition(sdl, bounds.x, bounds.y);
    qzplat::detail::setScanoutSource(nullptr);
    redrawWanted = true;
}

void SdlWindows::showTitle(const WindowRecord& window) {
    if (SDL_Window* sdl = sdlWindowOf(window)) SDL_SetWindowTitle(sdl, window.title.c_str());
}

void SdlWindows::showCursor(bool shown) {
    SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
}

void SdlWindows::focus(const WindowRecord& window) {
    SDL_Window* sdl = sdlWindowOf(window);
    if (sdl == nullptr) return;
    SDL_RaiseWindow(sdl);
    SDL_SetWindowInputFocus(sdl);
}

bool SdlWindows::screenSize(int& width, int& height) {
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(0, &bounds) != 0) return false;
    width = bounds.w;
    height = bounds.h;
    return true;
}

void SdlWindows::stop() {
    qzplat::detail::stopSdlScanout();
    if (!started) return;
    qzplat::detail::setThreadSleepHook(nullptr);
    handles.clear();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    started = false;
}

} // namespace

namespace qzplat {

bool useSdlWindows() {
    std::string error;
    if (!start(error)) {
        detail::setWindowError(error);
        return false;
    }
    detail::startSdlScanout();
    detail::useWindowBackEnd(sdlWindows);
    return true;
}

void fitSdlWindow(HWND window, const RECT& picture) {
    detail::fitWindow(window, picture);
}

void coverSdlScreen(HWND window) {
    detail::coverScreen(window);
}

} // namespace qzplat
