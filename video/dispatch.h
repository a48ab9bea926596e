// Frame dispatch: parses a queued frame's header, places the picture on the target, locks the
// target and hands the payload to the decoder for its type.
#pragma once

#include "engine/context.h"

// Decodes one frame-table entry into the display target (does not present it).
void dispatchFrame(PlayerContext* ctx, const FrameEntry* entry);

// Puts the picture state back as it was at open, for a movie that starts again from the top:
// the KRT and DOR pictures are dropped (the next frames find none, as the first ones did) and
// the RGB targets are made black.
void restartPictures(PlayerContext* ctx);
