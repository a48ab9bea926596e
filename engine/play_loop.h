// The play loop: one pass per frame slot, paced against the audio clock.
#pragma once

#include "engine/player.h"

// Plays the open movie of config until it ends, a stop is requested or the frame callback
// asks to end; leaves state at 5. Runs on the play thread (or the caller's without ownThread).
void playLoop(PlayerConfig* config);
