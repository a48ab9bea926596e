// The engine's public interface: the player* calls on the caller-owned PlayerConfig record
// (api/player_config.h).
#pragma once

#include "api/player_config.h"

// Opens a movie and starts it playing; returns config, or null when it cannot be opened or
// started (and, without ownThread, after playing it to the end).
PlayerConfig* playerOpen(const char* fileName, HWND window, PlayerConfig* config);
// As playerOpen, with playing starting startMs milliseconds into the movie (its last slot at
// most); its first picture is then never shown.
PlayerConfig* playerOpenAt(const char* fileName, HWND window, PlayerConfig* config, LONG startMs);
// Loads and prefills a movie and sets up sound and display; returns config, or null.
PlayerConfig* playerCreate(const char* fileName, HWND window, PlayerConfig* config);
// Starts the play loop: 0 on its own thread, 1 played to the end on this thread, -1 no thread.
int playerStart(PlayerConfig* config);
// Body of the play thread: the play loop, then the close with autoClose.
void playerRun(PlayerConfig* config);
// Releases everything of an open movie and frees its context; returns 0.
int playerClose(PlayerConfig* config);
// Asks the play loop to stop and waits until it has; returns 0.
int playerStop(PlayerConfig* config);
// Toggles pause: 1 when it paused, 0 when it resumed.
int playerPause(PlayerConfig* config);
// Moves playback to frame slot (0-based): the picture of that slot is shown (a paused movie
// stays paused) and the sound goes on from there. 0 when asked, 1 when no movie is open.
int playerSeek(PlayerConfig* config, LONG slot);
// Where playback stands, for moving by time.
struct PlayerTimeline {
    LONG slot;          // the frame slot shown last, or the one a pending seek goes to
    LONG slots;         // frame slots of the movie
    LONG slotRateMilli; // frame slots in a thousand seconds
};
// Fills timeline; 1 when no movie is open, else 0.
int playerTimeline(PlayerConfig* config, PlayerTimeline* timeline);
// Selects audio track n (1-based); 1 when n is out of range, else 0.
int playerSetTrack(PlayerConfig* config, int track);
// Sets the brightness in percent; the colour tables follow before the next frame. Returns 0.
int playerSetGamma(PlayerConfig* config, int gamma);
// Sets the sound buffer's volume in hundredths of a decibel (-10000 silent to 0 full) and keeps
// it in volume, which a buffer made later takes with volumeGiven. Returns 0.
int playerSetVolume(PlayerConfig* config, LONG volume);
int playerSetFrequency(PlayerConfig* config, DWORD hertz);
// 1 while the movie plays (or is paused), else 0.
int playerIsPlaying(PlayerConfig* config);
// Polls playerIsPlaying every 10 ms until it reports 0; returns 0.
int playerWait(PlayerConfig* config);
const char* playerVersion();
// The type code (1 to 7) of the first video frame of a movie file, read from its chunk headers
// without opening the movie: 0 when it has none, -1 when the file cannot be opened.
LONG playerFirstFrameType(const char* fileName);
// What a look at a movie file's chunk headers finds, for a caller to report before it opens it.
enum class MovieLook {
    playable,        // a video frame or an audio block the player would queue
    unreadable,      // the file cannot be opened
    notAMovie,       // its first bytes are no chunk header of a movie
    nothingPlayable, // a movie's chunks, but not one that plays
};
MovieLook playerLookAtMovie(const char* fileName);
// Display modes the device offers, as allowedModes bits: 1 always, 2 with stretching YUV
// overlays, 4 with stretching YUV blits.
DWORD playerQueryModes(IDirectDraw2* directDraw2);
