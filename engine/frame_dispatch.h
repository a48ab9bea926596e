// Frame dispatch: hands a queued frame to the video decoders with the display's target. It
// places the picture on the screen, picks and locks the surface (or takes the YUV staging image
// or the caller's buffers) and describes that memory to the video side, which decodes into it.
#pragma once

#include "engine/context.h"

// Decodes one frame-table entry into the display target (does not present it).
void dispatchFrame(PlayerContext* ctx, const FrameEntry* entry);

// Puts the picture state back as it was at open, for a movie that starts again from the top:
// the KRT and DOR pictures are dropped (the next frames find none, as the first ones did) and
// the RGB targets are made black.
void restartPictures(PlayerContext* ctx);

// Sets destX, destY, destWidth and destHeight from the picture size, the screen size and the
// placement flags (centring, offsets, doubling, stretching).
void placePicture(PlayerContext* ctx);
