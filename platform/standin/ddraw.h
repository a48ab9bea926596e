// DirectDraw interfaces of the stand-in. The display work fills these in; until then the
// engine records only hold pointers to them.
#pragma once

#include "platform/standin/windows_base.h"

struct IDirectDraw;
struct IDirectDraw2;
struct IDirectDrawSurface;
struct IDirectDrawSurface2;
struct IDirectDrawPalette;
