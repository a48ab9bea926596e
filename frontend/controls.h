// The controls added beside the original keys: the movie's length and the window title with
// the time, the volume and mute, and the screenshot.
#pragma once

#include <cstdio>
#include <string>

#include "engine/player.h"
#include "frontend/options.h"

// --- the movie's length (movie_length.cpp) ---

struct MovieLength {
    LONG slots = 0;     // frame slots: video chunks, or in a movie without video audio blocks
    double seconds = 0; // playing time, when timed
    bool timed = false; // the time is known: the first track's sound, or -fps
    LONG tracks = 0;    // audio tracks (stream headers at the top of the file)
};
// Walks the chunk headers of the file (reading only stream headers and the first bytes of the
// first track's blocks) and counts its slots and its time. Memory does not grow with the file.
MovieLength measureMovie(const std::string& path, int framesPerSecond);
// The movie's name for the title and screenshots: the file name without folder and extension.
std::string movieName(const std::string& path);

// --- window title (title.cpp) ---

// "m:ss", or "h:mm:ss" from an hour on; whole seconds, rounded down.
std::string clockText(double seconds);
// "name - 0:12 / 1:30", with " - note" when note is not empty. Slot counts stand in for the
// time of a movie whose time is unknown ("name - frame 12 / 300").
std::string titleText(const std::string& name, const MovieLength& length, DWORD slotsPlayed,
                      const std::string& note);
// Takes the movie whose time the title shows for the plays to come.
void beginTitle(const FrontendSettings& settings);
// Shows a note ("volume 80%", "muted") in the title for a moment.
void noteInTitle(const std::string& note);
// Sets the window title for movie if its text changed, at most a few times a second unless now
// is set.
void refreshTitle(PlayerConfig* movie, bool now = false);
// The length beginTitle measured.
const MovieLength& currentMovieLength();

// --- volume (volume.cpp) ---

inline constexpr int volumeStepPercent = 10;
// The sound buffer volume (hundredths of a decibel) for an amplitude of percent (0 to 100):
// 20 log10(percent / 100) dB, -10000 (silence) at 0.
LONG volumeUnits(int percent);
// The volume the keys start from (-volume, clamped to 0..100), not muted.
void beginVolume(int percent);
int volumePercent();
bool volumeMuted();
// A step up (+1) or down (-1), which also ends a mute; passes the volume on to movie if open.
void stepVolume(int direction, PlayerConfig* movie);
void toggleMute(PlayerConfig* movie);
// The volume to apply, in hundredths of a decibel (silence while muted).
LONG currentVolumeUnits();
// The text the title shows for the volume: "volume 80%" or "muted".
std::string volumeNote();
// Puts the volume into a record about to be opened, with volumeGiven.
void putVolume(PlayerConfig* config);

// --- screenshot (screenshot.cpp) ---

// Saves frame (1-based, as qztool frames numbers them) of the movie file path as
// "<name>-<frame>.png" in folder, never over a file ("-1", "-2"... are added), decoded as the
// movie defines it: its first picture size, 8-bit RGB, gamma 100. Returns the file's name, or
// empty with why set (a build without libpng always says so).
std::string saveScreenshot(const std::string& path, LONG frame, const std::string& folder,
                           std::string& why);
// Takes the movie file and -verbose for the screenshots of the plays to come.
void beginScreenshots(const FrontendSettings& settings);
// Pauses movie if it plays and waits (two seconds at most) until the play loop holds the pause,
// so that no other frame is shown meanwhile; resume says whether it was playing. False when
// the loop did not reach the pause.
bool holdPause(PlayerConfig* movie, bool& resume);
// The s key: holds movie in a pause, saves the picture it shows in the current folder (saying
// so on stdout with -verbose, on stderr when it cannot), and resumes it if it was playing.
void takeScreenshot(PlayerConfig* movie);
