// The calls a caller makes on a playing movie: stop, pause, track, gamma, volume, frequency,
// and polling whether it still plays.
#include "engine/sound_output.h"
#include "engine/player_access.h"
#include "api/shared.h"

namespace {

constexpr DWORD stopPollMs = 10;
constexpr DWORD waitPollMs = 10;

} // namespace

int playerStop(PlayerConfig* config) {
    const LONG autoClose = movieAutoClose(config);
    if (autoClose < 0) return 0;
    // With autoClose the play thread closes the movie after the loop; the record is only the
    // caller's again once that has happened.
    const LONG finished = autoClose != 0 ? stateClosed : stateStopped;
    for (;;) {
        const LONG state = sharedLoad(config->state);
        if (state == finished || state == stateClosed) return 0;
        // A movie that was never started has no loop to answer the request.
        if (state == stateOpen) return 0;
        if (state == stateStopping || state == stateStopped) break;
        if (compareExchangeState(config, state, stateStopping)) break;
    }
    for (;;) {
        const LONG state = sharedLoad(config->state);
        if (state == finished || state == stateClosed) return 0;
        Sleep(stopPollMs);
    }
}

int playerPause(PlayerConfig* config) {
    // Only a playing movie pauses and only a paused one resumes; a state written by the loop
    // or a stop request is never overwritten.
    for (;;) {
        const LONG state = sharedLoad(config->state);
        if (state == statePlaying) {
            if (!compareExchangeState(config, statePlaying, statePaused)) continue;
            stopStream(config);
            return 1;
        }
        if (state == statePaused) {
            if (!compareExchangeState(config, statePaused, statePlaying)) continue;
            resumeStream(config);
            return 0;
        }
        return 0;
    }
}

int playerSetTrack(PlayerConfig* config, int track) {
    if (track < 1 || track > sharedLoad(config->trackCount)) return 1;
    sharedStore(config->track, static_cast<LONG>(track));
    return 0;
}

int playerSetGamma(PlayerConfig* config, int gamma) {
    // The play thread notices the new value and rebuilds the colour tables before its next
    // frame, so no table is rebuilt while a frame is being converted through it.
    sharedStore(config->gamma, static_cast<LONG>(gamma));
    return 0;
}

int playerSetVolume(PlayerConfig* config, LONG volume) {
    // Kept for a sound buffer made later (with volumeGiven), as on the first pass, too.
    sharedStore(config->volume, volume);
    setStreamVolume(config, volume);
    return 0;
}

int playerSetFrequency(PlayerConfig* config, DWORD hertz) {
    setStreamFrequency(config, hertz);
    return 0;
}

int playerIsPlaying(PlayerConfig* config) {
    const LONG autoClose = movieAutoClose(config);
    if (autoClose < 0) return 0;
    const LONG state = sharedLoad(config->state);
    if (autoClose != 0) return state != stateClosed ? 1 : 0;
    return state == statePlaying || state == statePaused ? 1 : 0;
}

int playerWait(PlayerConfig* config) {
    while (playerIsPlaying(config) != 0) Sleep(waitPollMs);
    return 0;
}

const char* playerVersion() {
    return "1.60";
}
