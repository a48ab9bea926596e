// The display side of a movie: set-up of surfaces and colour tables at open, presentation of
// each decoded frame, and release at close.
#pragma once

#include "engine/context.h"

// Chooses the display mode and prepares surfaces and colour tables; called by playerCreate.
void displaySetup(PlayerContext* ctx);
// Shows the frame the dispatch has just decoded.
void presentFrame(PlayerContext* ctx);
// Swaps the caller buffers after every consumed frame, presented or not.
void swapBuffers(PlayerContext* ctx);
// Releases the display objects the engine made; called by playerClose.
void displayRelease(PlayerContext* ctx);
