// Tells the platform layer which movie frame the presents that follow belong to, so that a
// recording of the screen can be matched with the movie frame by frame. The real platform has
// no use for it.
#pragma once

#include "platform/win32.h"

namespace qzplat {

#ifdef _WIN32
inline void noteMovieFrame(LONG) {}
#else
// Tags the presents from now on with the sequence number of the frame about to be shown.
void noteMovieFrame(LONG sequence);
// The last tag noted, or -1 before the first.
LONG notedMovieFrame();
#endif

} // namespace qzplat
