// Internal to the sound output: whether DirectSound objects can be called in this build.
#pragma once

#include "platform/win32.h"

// The stand-in has no DirectSound objects yet, so there every stream is simulated. Turning
// this on is the one change the stand-in needs to make the device paths live.
#if QZ_STANDIN
#define QZ_SOUND_DEVICE 0
#else
#define QZ_SOUND_DEVICE 1
#endif
