// The player window, its procedure, the playback keys and the message pump.
#include <algorithm>
#include <climits>

#include "api/shared.h"
#include "frontend/controls.h"
#include "frontend/devices.h"
#include "frontend/seek_keys.h"
#include "platform/window_system.h"

namespace {

const char* const windowName = "Play QZ v1.60";
constexpr int gammaStep = 10;

HINSTANCE instance = nullptr;
HWND window = nullptr;
bool pausedByFocus = false;
PlayerConfig* movieHandle = nullptr;
int gammaSetting = 100;
bool hideCursor = false;

// Adds without passing the limits of int: the keys have no upper bound of their own.
int addGamma(int gamma, int step) {
    if (step > 0 && gamma > INT_MAX - step) return INT_MAX;
    if (step < 0 && gamma < INT_MIN - step) return INT_MIN;
    return gamma + step;
}

// A movie reaches the engine's calls only while it is open: one that ended on its own may have
// been closed since the message was queued.
bool moviePlaying(PlayerConfig* movie) {
    return movie != nullptr && playerIsPlaying(movie) != 0;
}

} // namespace

bool startWindowSystem(std::string& error) {
    return qzplat::useScreenWindows(error);
}

bool createPlayerWindow() {
    instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = playerWindowProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = windowName;
    if (RegisterClassA(&wc) == 0) return false;
    window = CreateWindowExA(0, windowName, windowName, WS_POPUP | WS_VISIBLE | WS_SYSMENU, 0, 0,
                             GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr,
                             nullptr, instance, nullptr);
    if (window == nullptr) return false;
    UpdateWindow(window);
    SetFocus(window);
    return true;
}

HWND playerWindow() {
    return window;
}

std::string windowFailureReason() {
    return qzplat::windowFailureReason();
}

LRESULT CALLBACK playerWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        break;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(hwnd, &paint);
        EndPaint(hwnd, &paint);
        return 1;
    }
    case WM_ACTIVATEAPP:
        if (wParam != 0) {
            // Resumes only what a focus loss paused.
            if (pausedByFocus && moviePlaying(movieHandle)) playerPause(movieHandle);
            pausedByFocus = false;
        } else if (moviePlaying(movieHandle) && sharedLoad(movieHandle->state) == statePlaying) {
            playerPause(movieHandle);
            pausedByFocus = true;
        }
        break;
    case WM_SETCURSOR:
        if (hideCursor) SetCursor(nullptr);
        return 1;
    case WM_ERASEBKGND:
        return 1;
    default:
        break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

void beginPlays(const FrontendSettings& settings, bool fullScreen) {
    gammaSetting = settings.gammaSetting;
    hideCursor = fullScreen;
    beginVolume(settings.volumeSetting);
}

void hideCursorInFullScreen(bool fullScreen) {
    hideCursor = fullScreen;
}

int currentGamma() {
    return gammaSetting;
}

void setMovieHandle(PlayerConfig* movie) {
    movieHandle = movie;
    pausedByFocus = false;
}

bool fitWindowToPicture(const FrontendSettings& settings, const PlayerConfig* movie) {
    const LONG movieWidth = sharedLoad(movie->movieWidth);
    const LONG movieHeight = sharedLoad(movie->movieHeight);
    if (movieWidth <= 0 || movieHeight <= 0) return false;
    // Where the engine places the picture: centred by its unstretched size, then stretched.
    long long width = movieWidth * (settings.doubleXWanted ? 2LL : 1LL);
    long long height = movieHeight * (settings.doubleYWanted || settings.skipYWanted ? 2LL : 1LL);
    const long long x = (GetSystemMetrics(SM_CXSCREEN) - width) >> 1;
    const long long y = (GetSystemMetrics(SM_CYSCREEN) - height) >> 1;
    if (settings.stretchXWanted) width = settings.stretchWidth;
    if (settings.stretchYWanted) height = settings.stretchHeight;
    const auto clamp = [](long long v) {
        return static_cast<LONG>(std::clamp<long long>(v, INT_MIN / 2, INT_MAX / 2));
    };
    const RECT picture{clamp(x), clamp(y), clamp(x + width), clamp(y + height)};
    qzplat::fitWindowToPicture(window, picture);
    return true;
}

PumpResult actOnKey(WPARAM key, PlayerConfig* movie) {
    const bool open = moviePlaying(movie);
    switch (key) {
    case VK_SHIFT:
        if (open) playerPause(movie);
        return PumpResult::carryOn;
    case VK_ESCAPE:
    case 'Q':
        if (open) playerStop(movie);
        return PumpResult::quit;
    case VK_SPACE:
        if (open) playerStop(movie);
        return PumpResult::replay;
    case VK_ADD:
        gammaSetting = addGamma(gammaSetting, gammaStep);
        if (open) playerSetGamma(movie, gammaSetting);
        return PumpResult::carryOn;
    case VK_SUBTRACT:
        gammaSetting = addGamma(gammaSetting, -gammaStep);
        if (gammaSetting < 0) gammaSetting = 0;
        if (open) playerSetGamma(movie, gammaSetting);
        return PumpResult::carryOn;
    case VK_F1:
    case VK_F2:
    case VK_F3:
    case VK_F4:
        if (open) playerSetTrack(movie, int(key - VK_F1) + 1);
        return PumpResult::carryOn;
    case '9':
    case VK_DIVIDE:
    case '0':
    case VK_MULTIPLY:
        stepVolume(key == '0' || key == VK_MULTIPLY ? 1 : -1, movie);
        noteInTitle(volumeNote());
        if (open) refreshTitle(movie, true);
        return PumpResult::carryOn;
    case 'S':
        if (open) takeScreenshot(movie);
        return PumpResult::carryOn;
    case 'F':
        return open ? PumpResult::toggleScreen : PumpResult::carryOn;
    case 'M':
        toggleMute(movie);
        noteInTitle(volumeNote());
        if (open) refreshTitle(movie, true);
        return PumpResult::carryOn;
    default:
        // The seek keys (Left, Right, Up, Down, Home, Page Up, Page Down).
        if (open) actOnSeekKey(key, movie);
        return PumpResult::carryOn;
    }
}

PumpResult pumpMessage(PlayerConfig* movie) {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) return PumpResult::carryOn;
    if (!GetMessageA(&msg, nullptr, 0, 0)) {
        // WM_QUIT: the window is gone (closed by the user, or the console asked the program to
        // end). Playing on with no window and no keys would leave nothing to stop the movie.
        if (moviePlaying(movie)) playerStop(movie);
        return PumpResult::quit;
    }
    PumpResult result = PumpResult::carryOn;
    if (msg.message == WM_KEYDOWN) result = actOnKey(msg.wParam, movie);
    // Alt+Enter comes as a system key; it switches the screen as f does.
    if (msg.message == WM_SYSKEYDOWN && msg.wParam == VK_RETURN) {
        if (moviePlaying(movie)) return PumpResult::toggleScreen;
        return PumpResult::carryOn;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return result;
}
