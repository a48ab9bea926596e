// DirectSound interfaces of the stand-in. The playback work fills these in; until then the
// engine records only hold pointers to them.
#pragma once

#include "platform/standin/windows_base.h"

struct IDirectSound;
struct IDirectSoundBuffer;
