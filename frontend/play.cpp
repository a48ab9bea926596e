// The play routine: fills the record, opens the movie and waits for it to end.
#include "frontend/play.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "api/shared.h"
#include "frontend/controls.h"
#include "platform/window_system.h"

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

// Where a play stood when it was stopped to switch the screen.
struct PlayState {
    LONG startMs = 0;
    bool paused = false;
};

// Stops movie for a screen switch, keeping where it stood (the time of the slot shown, rounded
// up so that it opens on that slot again), whether it was paused and the track it played.
PlayState leaveForScreenSwitch(PlayerConfig* movie, FrontendSettings& settings) {
    PlayState kept;
    kept.paused = sharedLoad(movie->state) == statePaused;
    // Held still, so that the frame read here is the last one shown.
    bool resume = false;
    holdPause(movie, resume);
    PlayerTimeline timeline{};
    if (playerTimeline(movie, &timeline) == 0 && timeline.slotRateMilli > 0) {
        const long long ms =
            (static_cast<long long>(timeline.slot) * 1000000 + timeline.slotRateMilli - 1) /
            timeline.slotRateMilli;
        kept.startMs = static_cast<LONG>(std::min<long long>(ms, INT_MAX));
    }
    settings.trackWanted = true;
    settings.trackSetting = static_cast<int>(sharedLoad(movie->track));
    playerStop(movie);
    return kept;
}

// Sets the display up anew the other way: full screen from the window or the window from full
// screen. Full screen that cannot be had leaves the movie in the window.
void switchScreen(FrontendSettings& settings, DisplayObjects& display) {
    releaseDisplay(&display);
    listDisplayDevices();
    settings.windowed = !settings.windowed;
    if (!settings.windowed) qzplat::coverScreenWithWindow(playerWindow());
    if (openDisplay(settings, &display) == DisplayStatus::noBackBuffer) {
        releaseDisplay(&display);
        listDisplayDevices();
        settings.windowed = true;
        openDisplay(settings, &display);
    }
    hideCursorInFullScreen(!settings.windowed);
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

bool playMovie(FrontendSettings& settings, DisplayObjects& display) {
    const char* file = settings.movieFile.c_str();
    bool fitted = !settings.windowed; // the window takes the first picture's size once
    PumpResult request = PumpResult::carryOn;
    beginTitle(settings);
    beginScreenshots(settings);
    // -start places the first play only; a replay (Space) starts from the start.
    LONG startMs = static_cast<LONG>(std::min(settings.startSeconds, INT_MAX / 1000) * 1000);
    bool firstPlay = true;
    bool pauseAtStart = false;
    do {
        request = PumpResult::carryOn;
        fillPlayerConfig(settings, display, &record);
        // The gamma the keys set carries over to a replay.
        record.gamma = currentGamma();
        putVolume(&record);
        PlayerConfig* movie = playerOpenAt(file, playerWindow(), &record, startMs);
        if (movie == nullptr) {
            std::printf("Failed to start movie:%s (check filename?)\n", file);
            return false;
        }
        setMovieHandle(movie);
        if (firstPlay) reportTrackChoice(settings, *movie);
        if (pauseAtStart) playerPause(movie);
        firstPlay = false;
        startMs = 0;
        refreshTitle(movie, true);
        do {
            const PumpResult taken = pumpMessage(movie);
            if (taken != PumpResult::carryOn) request = taken;
            if (!fitted) fitted = fitWindowToPicture(settings, movie);
            refreshTitle(movie);
            Sleep(pumpPollMs);
        } while (playerIsPlaying(movie) != 0 && request != PumpResult::quit &&
                 request != PumpResult::toggleScreen);
        if (request == PumpResult::toggleScreen) {
            const PlayState kept = leaveForScreenSwitch(movie, settings);
            startMs = kept.startMs;
            pauseAtStart = kept.paused;
            switchScreen(settings, display);
            fitted = !settings.windowed;
        }
        setMovieHandle(nullptr);
    } while (request == PumpResult::replay || request == PumpResult::toggleScreen);
    return true;
}
