// The engine's public interface: the caller-owned PlayerConfig record that is both a movie's
// options and its handle, its flag bits and state values, and the player* calls.
#pragma once

#include <cstdint>

#include "platform/win32.h"

struct PlayerContext;

// Pixel layout of the display, derived by the display set-up.
struct PixelFormat {
    LONG redBits;
    LONG greenBits;
    LONG blueBits;
    LONG redShift;
    LONG greenShift;
    LONG blueShift;
    LONG rgbMask;
    LONG depth; // 8 palettised, 15 or 16 the 16-bit family, anything else 32 bits a pixel
};

// Bits of PlayerConfig::flags.
inline constexpr DWORD offsetX = 0x1;
inline constexpr DWORD offsetY = 0x2;
inline constexpr DWORD centreX = 0x4;
inline constexpr DWORD centreY = 0x8;
inline constexpr DWORD doubleY = 0x10;
inline constexpr DWORD skipY = 0x20;
inline constexpr DWORD doubleX = 0x40;
inline constexpr DWORD stretchX = 0x80;
inline constexpr DWORD stretchY = 0x100;
inline constexpr DWORD hardwareYuv = 0x200;
inline constexpr DWORD directToSurface = 0x400;
inline constexpr DWORD callerBuffers = 0x800;
inline constexpr DWORD waitVerticalBlank = 0x1000;
inline constexpr DWORD volumeGiven = 0x2000;
inline constexpr DWORD trackGiven = 0x4000;
inline constexpr DWORD loopPlay = 0x8000;
inline constexpr DWORD ownThread = 0x10000;
inline constexpr DWORD threadPriorityGiven = 0x20000;
inline constexpr DWORD frameCallbackGiven = 0x40000;
inline constexpr DWORD callerFile = 0x80000;
inline constexpr DWORD gammaGiven = 0x100000;
inline constexpr DWORD reservedFlag200000 = 0x200000; // no meaning in the engine
inline constexpr DWORD callerBufferSize = 0x400000;
inline constexpr DWORD audioOn = 0x800000;
inline constexpr DWORD reservedFlag1000000 = 0x1000000; // no meaning in the engine
inline constexpr DWORD fullScreen = 0x2000000;
inline constexpr DWORD callerPalette = 0x4000000;
inline constexpr DWORD pageFlip = 0x8000000;

// Values of PlayerConfig::state.
enum PlayerState : LONG {
    stateOpen = 0,
    stateStarting = 1,
    statePlaying = 2,
    statePaused = 3,
    stateStopping = 4,
    stateStopped = 5,
    stateClosed = 6,
};

// Display modes the caller permits (allowedModes) and the one chosen (displayMode).
inline constexpr DWORD modeRgb = 1;
inline constexpr DWORD modeOverlay = 2;
inline constexpr DWORD modeStretchBlit = 4;

struct PlayerConfig {
    PlayerContext* context;
    DWORD flags;
    DWORD allowedModes;
    IDirectDraw* directDraw;
    IDirectDraw2* directDraw2;
    IDirectDrawSurface2* primarySurface;
    IDirectDrawSurface2* backSurface;
    IDirectDrawSurface2* movieSurface;
    IDirectDrawSurface2* movieSurface2;
    IDirectDrawPalette* palette;
    PALETTEENTRY* paletteEntries;
    PixelFormat pixelFormat;
    void* frameBuffer;
    void* frameBuffer2;
    IDirectSound* directSound;
    IDirectSoundBuffer* primarySoundBuffer;
    IDirectSoundBuffer* soundBuffer;
    LONG movieHeight;
    LONG movieWidth;
    LONG posX;
    LONG posY;
    LONG stretchWidth;
    LONG stretchHeight;
    LONG gamma;
    LONG track;
    LONG trackCount;
    LONG hasAudio;
    LONG audioOnly;
    LONG volume;
    DWORD elapsedMs;
    DWORD frameCount; // frame slots played, incremented with InterlockedIncrement
    LONG framesBehind;
    LONG state;
    HWND window;
    HMMIO file;
    LONG threadPriority;
    std::uintptr_t thread;
    int (*frameCallback)();
    BYTE paletteRgb[768];
    DWORD paletteLookup[256];
    // Frames a second of a movie without audio; 0 shows one frame a vertical blank.
    LONG framesPerSecond;
};

// Opens a movie and starts it playing; returns config, or null when it cannot be opened or
// started (and, without ownThread, after playing it to the end).
PlayerConfig* playerOpen(const char* fileName, HWND window, PlayerConfig* config);
// Loads and prefills a movie and sets up sound and display; returns config, or null.
PlayerConfig* playerCreate(const char* fileName, HWND window, PlayerConfig* config);
// Starts the play loop: 0 on its own thread, 1 played to the end on this thread, -1 no thread.
int playerStart(PlayerConfig* config);
// Body of the play thread: the play loop, then the close with autoClose.
void playerRun(PlayerConfig* config);
// Releases everything of an open movie and frees its context; returns 0.
int playerClose(PlayerConfig* config);
// Asks the play loop to stop and waits until it has; returns 0.
int playerStop(PlayerConfig* config);
// Toggles pause: 1 when it paused, 0 when it resumed.
int playerPause(PlayerConfig* config);
// Selects audio track n (1-based); 1 when n is out of range, else 0.
int playerSetTrack(PlayerConfig* config, int track);
// Sets the brightness in percent; the colour tables follow before the next frame. Returns 0.
int playerSetGamma(PlayerConfig* config, int gamma);
int playerSetVolume(PlayerConfig* config, LONG volume);
int playerSetFrequency(PlayerConfig* config, DWORD hertz);
// 1 while the movie plays (or is paused), else 0.
int playerIsPlaying(PlayerConfig* config);
// Polls playerIsPlaying every 10 ms until it reports 0; returns 0.
int playerWait(PlayerConfig* config);
const char* playerVersion();
// The type code (1 to 7) of the first video frame of a movie file, read from its chunk headers
// without opening the movie: 0 when it has none, -1 when the file cannot be opened.
LONG playerFirstFrameType(const char* fileName);
// Display modes the device offers, as allowedModes bits: 1 always, 2 with stretching YUV
// overlays, 4 with stretching YUV blits.
DWORD playerQueryModes(IDirectDraw2* directDraw2);
