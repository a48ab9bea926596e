// The keys that move playback through the movie: Left/Right 5 seconds, Up/Down 60 seconds,
// Home to the start, Page Up/Page Down a tenth of the movie.
#pragma once

#include "engine/player.h"

// The slot a seek key moves to from the timeline, or -1 when key is no seek key or the movie
// cannot be moved through.
LONG seekKeyTarget(WPARAM key, const PlayerTimeline& timeline);
// Acts on a seek key; false when key is none.
bool actOnSeekKey(WPARAM key, PlayerConfig* movie);
