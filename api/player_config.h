// The caller-owned PlayerConfig record that is both a movie's options and its handle, with its
// flag bits, state values and display modes. It is the contract between the engine, its display,
// sound and video sides and every caller, so it sits below all of them; the calls that work on
// it are declared in engine/player.h.
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
    // 1 + the number (videoSequence) of the video chunk presented last; 0 before the first.
    // Written by the play thread.
    LONG shownFrame;
    // 1 while the play loop sits in a pause: it decodes nothing and touches no colour table
    // until it resumes. Written by the play thread.
    LONG pauseHeld;
};
