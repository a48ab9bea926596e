// The play routine: fills the record, opens the movie and waits for it to end.
#include "frontend/play.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr DWORD pumpPollMs = 30;

PlayerConfig record;

} // namespace

PlayerConfig& playerRecord() {
    return record;
}

void fillPlayerConfig(const FrontendSettings& settings, const DisplayObjects& display,
                      PlayerConfig* config) {
    std::memset(static_cast<void*>(config), 0, sizeof(PlayerConfig));
    config->directDraw = display.directDraw;
    config->directDraw2 = display.directDraw2;
    config->primarySurface = display.primarySurface;
    config->flags = playerFlagsFor(settings);
    if (settings.stretchXWanted) config->stretchWidth = settings.stretchWidth;
    if (settings.stretchYWanted) config->stretchHeight = settings.stretchHeight;
    if (settings.trackWanted) config->track = settings.trackSetting;
    config->gamma = settings.gammaSetting;
    config->framesPerSecond = settings.framesPerSecond > 0 ? settings.framesPerSecond : 0;
    if ((config->flags & pageFlip) != 0) config->backSurface = display.backSurface;
    config->allowedModes = allowedModesFor(settings);
}

bool playMovie(const FrontendSettings& settings, const DisplayObjects& display) {
    const char* file = settings.movieFile.c_str();
    bool fitted = !settings.windowed; // the window takes the first picture's size once
    PumpResult request = PumpResult::carryOn;
    do {
        request = PumpResult::carryOn;
        fillPlayerConfig(settings, display, &record);
        // The gamma the keys set carries over to a replay.
        record.gamma = currentGamma();
        PlayerConfig* movie = playerOpen(file, playerWindow(), &record);
        if (movie == nullptr) {
            std::printf("Failed to start movie:%s (check filename?)\n", file);
            return false;
        }
        setMovieHandle(movie);
        do {
            const PumpResult taken = pumpMessage(movie);
            if (taken != PumpResult::carryOn) request = taken;
            if (!fitted) fitted = fitWindowToPicture(settings, movie);
            Sleep(pumpPollMs);
        } while (playerIsPlaying(movie) != 0 && request != PumpResult::quit);
        setMovieHandle(nullptr);
    } while (request == PumpResult::replay);
    return true;
}
