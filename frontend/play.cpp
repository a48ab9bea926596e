// The play routine: fills the record, opens the movie and waits for it to end.
#include "frontend/play.h"

#include <cstdio>
#include <cstring>

#include "api/shared.h"
#include "frontend/controls.h"
#include "frontend/seek_keys.h"

namespace {

constexpr DWORD pumpPollMs = 30;

PlayerConfig record;

// -track beyond the movie's tracks plays track 1: says so, naming how many there are.
void reportTrackChoice(const FrontendSettings& settings, const PlayerConfig& movie) {
    if (!settings.trackWanted) return;
    const LONG tracks = sharedLoad(movie.trackCount);
    if (settings.trackSetting >= 1 && settings.trackSetting <= tracks) return;
    std::fprintf(stderr, "%s\n", trackChoiceText(settings.trackSetting, tracks).c_str());
}

} // namespace

std::string trackChoiceText(int asked, LONG tracks) {
    const std::string start = "playqz: -track " + std::to_string(asked) + ": ";
    if (tracks <= 0) return start + "the movie has no audio track";
    return start + "the movie has " + std::to_string(tracks) +
           (tracks == 1 ? " audio track" : " audio tracks") + " (1 to " + std::to_string(tracks) +
           "); playing track 1";
}

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
    // The sound buffer is made with the volume asked for (the keys' one on a replay).
    config->volume = volumeUnits(settings.volumeSetting);
    config->flags |= volumeGiven;
}

bool playMovie(const FrontendSettings& settings, const DisplayObjects& display) {
    const char* file = settings.movieFile.c_str();
    bool fitted = !settings.windowed; // the window takes the first picture's size once
    PumpResult request = PumpResult::carryOn;
    beginTitle(settings);
    beginScreenshots(settings);
    bool firstPlay = true;
    do {
        request = PumpResult::carryOn;
        fillPlayerConfig(settings, display, &record);
        // The gamma the keys set carries over to a replay.
        record.gamma = currentGamma();
        putVolume(&record);
        PlayerConfig* movie = playerOpen(file, playerWindow(), &record);
        if (movie == nullptr) {
            std::printf("Failed to start movie:%s (check filename?)\n", file);
            return false;
        }
        setMovieHandle(movie);
        if (firstPlay) reportTrackChoice(settings, *movie);
        // -start places the first play only; a replay (Space) starts from the start.
        if (firstPlay) seekToSecond(movie, settings.startSeconds);
        firstPlay = false;
        refreshTitle(movie, true);
        do {
            const PumpResult taken = pumpMessage(movie);
            if (taken != PumpResult::carryOn) request = taken;
            if (!fitted) fitted = fitWindowToPicture(settings, movie);
            refreshTitle(movie);
            Sleep(pumpPollMs);
        } while (playerIsPlaying(movie) != 0 && request != PumpResult::quit);
        setMovieHandle(nullptr);
    } while (request == PumpResult::replay);
    return true;
}
