// The play routine: fills the process-wide PlayerConfig from the settings, opens the movie
// and waits for it to end while the window's messages are pumped.
#pragma once

#include <string>

#include "engine/player.h"
#include "frontend/devices.h"
#include "frontend/options.h"

// The one record every play of this process fills; the statistics read it after the last.
PlayerConfig& playerRecord();
// Zero-fills config and fills it for a play with these settings and display objects.
void fillPlayerConfig(const FrontendSettings& settings, const DisplayObjects& display,
                      PlayerConfig* config);
// Plays settings.movieFile (again on a replay request) until it ends or quit is asked for;
// false when a play could not be started (the message is printed). Switching between full
// screen and the window sets the display up anew in display and settings.windowed.
bool playMovie(FrontendSettings& settings, DisplayObjects& display);
// The message for a -track beyond the movie's tracks count.
std::string trackChoiceText(int asked, LONG tracks);
