// Start-up after the command line: device check, window, sound and display set-up, the plays,
// teardown and the statistics line.
#include "frontend/startup.h"

#include <cstdio>

#include "frontend/devices.h"
#include "frontend/play.h"

int runPlayer(FrontendSettings settings) {
    const int devices = listDisplayDevices();
    if (settings.deviceNumber < 1 || settings.deviceNumber > devices) {
        std::fprintf(stderr, "playqz: -ddraw %d is out of range: the display devices are 1 to %d\n",
                     settings.deviceNumber, devices);
        return 1;
    }
    if (!createPlayerWindow()) {
        std::fprintf(stderr, "playqz: cannot create the player window (%s)\n",
                     windowFailureReason().c_str());
        return 1;
    }
    setupSound(playerWindow());

    DisplayObjects display;
    if (openDisplay(settings, &display) == DisplayStatus::noBackBuffer) {
        releaseSound();
        releaseDisplay(&display);
        return 2;
    }
    beginPlays(settings, !settings.windowed);

    const bool played = playMovie(settings, display);

    releaseSound();
    releaseDisplay(&display);
    if (settings.verbose) {
        const PlayerConfig& last = playerRecord();
        std::fputs(statisticsLine(last.elapsedMs, last.frameCount).c_str(), stdout);
    }
    return played ? 0 : 1;
}
