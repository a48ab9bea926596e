#include "video/dispatch.h"

// No video decoder is built into this version yet: a frame is consumed without decoding, so
// playback, pacing and the statistics run on movies of any codec.
void dispatchFrame(PlayerContext*, const FrameEntry*) {}
