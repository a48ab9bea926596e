// The front end's window, message pump and keys, its sound object and its display device and
// mode: what start-up makes before the first play and teardown undoes after the last.
#pragma once

#include <string>

#include "engine/player.h"
#include "frontend/options.h"

// What the display set-up hands to each play.
struct DisplayObjects {
    IDirectDraw* directDraw = nullptr;
    IDirectDraw2* directDraw2 = nullptr;
    IDirectDrawSurface2* primarySurface = nullptr;
    IDirectDrawSurface2* backSurface = nullptr;
    bool exclusive = false; // full screen: the mode is restored at teardown
};

// --- window, pump and keys (window.cpp) ---

// Chooses the window system and sound card that show and play the movie (on the stand-in:
// SDL's). False, with the reason in error, when no display can be had.
bool startWindowSystem(std::string& error);
// Creates the player window: true on success. The window handle goes to every play.
bool createPlayerWindow();
HWND playerWindow();
// Why the window could not be made.
std::string windowFailureReason();
// The window procedure of the player window.
LRESULT CALLBACK playerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Takes the settings the keys and the window procedure work with: the gamma the keys change
// (kept across replays) and whether the cursor is hidden (full screen).
void beginPlays(const FrontendSettings& settings, bool fullScreen);
int currentGamma();
// Hides the cursor over the window while playing full screen.
void hideCursorInFullScreen(bool fullScreen);
// The movie the keys and focus changes act on while it plays; null between plays.
void setMovieHandle(PlayerConfig* movie);
// toggleScreen: f or Alt+Enter, to switch between full screen and the window.
enum class PumpResult { carryOn, quit, replay, toggleScreen };
// Acts on one key of the key table for movie; keys reach the engine only while it plays.
PumpResult actOnKey(WPARAM key, PlayerConfig* movie);
// Playing in a window: once the movie's first picture has been read, fits the window to where
// the picture lies on the screen (platform/window_system.h). True once the picture size is known.
bool fitWindowToPicture(const FrontendSettings& settings, const PlayerConfig* movie);
// Takes one waiting window message, if any, acts on its key for movie and dispatches it.
PumpResult pumpMessage(PlayerConfig* movie);

// --- sound (sound_setup.cpp) ---

// Sets the primary sound format with the front end's own sound object.
void setupSound(HWND window);
void releaseSound();
// The front end's sound objects, or null.
IDirectSound* frontSoundObject();
IDirectSoundBuffer* frontPrimarySoundBuffer();

// --- display device and mode (display_setup.cpp) ---

// One display device as enumeration reported it, cut to the fields' sizes.
struct DeviceEntry {
    char driverName[30];
    char description[82];
    GUID* guidPointer; // null for the primary display driver, else &guid
    GUID guid;
};
// Enumerates the DirectDraw devices into the device list; returns deviceCount.
int listDisplayDevices();
int displayDeviceCount();
const DeviceEntry& displayDevice(int index); // index from 0
// Fills the device list entry for one device (the enumeration callback); returns 1.
BOOL WINAPI addDisplayDevice(GUID* guid, LPSTR description, LPSTR name, LPVOID context);

enum class DisplayStatus {
    ready,        // the objects are set up
    stoppedEarly, // no device object or no access to the screen: the objects are null
    noBackBuffer, // full screen without a back buffer: the program ends with exit code 2
};
// The full-screen mode depth for the settings. Only KRT frames have a palettised output, so with
// -8 a movie whose first video frame is of another kind plays at 16 bits, with a word on stderr.
// A file that cannot be read keeps the depth asked for: opening it fails later, with its own
// message.
int chooseModeDepth(const FrontendSettings& settings);
// Full screen on device settings.deviceNumber (checked by the caller): exclusive mode, the
// display mode, a primary surface with one back buffer. Prints the device lines with verbose.
DisplayStatus setupDisplay(const FrontendSettings& settings, DisplayObjects* display);
// Playing in the window: device settings.deviceNumber in normal mode and its primary surface.
DisplayStatus setupWindowDisplay(const FrontendSettings& settings, DisplayObjects* display);
// Sets up the display the settings ask for: full screen, or the window when settings.windowed
// or when full screen cannot be had (then settings.windowed is set, with a word under
// -verbose). noBackBuffer leaves the full-screen objects for the caller to release.
DisplayStatus openDisplay(FrontendSettings& settings, DisplayObjects* display);
// Fills the whole surface with colour 0.
void clearSurface(IDirectDrawSurface2* surface);
// Releases the display objects (restoring the display mode after full screen) and the list.
void releaseDisplay(DisplayObjects* display);
