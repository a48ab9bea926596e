// Internal to the control calls: safe access to the state word and to a context that the play
// thread may free at any moment when the movie closes itself.
#pragma once

#include <functional>

#include "engine/context.h"
#include "engine/player.h"

// Replaces state with desired only if it still holds expected; true when it did.
bool compareExchangeState(PlayerConfig* config, LONG expected, LONG desired);
// The movie's autoClose, or -1 when no movie is open. Safe against a concurrent close, and a
// close that is under way is waited for, so -1 means the record is the caller's again.
LONG movieAutoClose(PlayerConfig* config);
// Releases everything of the movie and frees its context; state 6 is the last write to the
// record. Returns at once when another close has taken the context.
void closeMovie(PlayerConfig* config);
// Calls use with the movie's context, safe against a concurrent close; false (use not called)
// when no movie is open.
bool withOpenContext(PlayerConfig* config, const std::function<void(PlayerContext*)>& use);
