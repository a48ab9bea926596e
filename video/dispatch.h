// Frame dispatch: parses a queued frame's header, places the picture on the target, locks the
// target and hands the payload to the decoder for its type.
#pragma once

#include "engine/context.h"

// Decodes one frame-table entry into the display target (does not present it).
void dispatchFrame(PlayerContext* ctx, const FrameEntry* entry);
