// The window title: the movie's name, where it stands and how long it is, and a word on the
// volume or the pause when they change.
#include <cstdio>

#include "api/shared.h"
#include "frontend/controls.h"
#include "frontend/devices.h"

namespace {

constexpr DWORD titleIntervalMs = 250; // at most four titles a second
constexpr DWORD noteShownMs = 2000;    // a volume change stays in the title this long

std::string name;
MovieLength length;
std::string note;
DWORD noteTick = 0;
std::string shownTitle;
DWORD shownTick = 0;

} // namespace

std::string clockText(double seconds) {
    const long long whole = seconds > 0 ? static_cast<long long>(seconds) : 0;
    char text[48];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    return text;
}

std::string titleText(const std::string& movie, const MovieLength& measured, DWORD slotsPlayed,
                      const std::string& extra) {
    // A looping movie's counter runs on across laps: the place is within the lap.
    const DWORD slots = measured.slots > 0 ? DWORD(measured.slots) : 0;
    const DWORD slot = slots > 0 && slotsPlayed > slots ? slotsPlayed % slots : slotsPlayed;
    std::string text = movie + " - ";
    if (measured.timed && slots > 0)
        text += clockText(measured.seconds * slot / slots) + " / " + clockText(measured.seconds);
    else
        text += "frame " + std::to_string(slot) + " / " + std::to_string(slots);
    if (!extra.empty()) text += " - " + extra;
    return text;
}

void beginTitle(const FrontendSettings& settings) {
    name = movieName(settings.movieFile);
    length = measureMovie(settings.movieFile, settings.framesPerSecond);
    note.clear();
    shownTitle.clear();
}

const MovieLength& currentMovieLength() {
    return length;
}

void noteInTitle(const std::string& text) {
    note = text;
    noteTick = GetTickCount();
}

void refreshTitle(PlayerConfig* movie, bool now) {
    if (movie == nullptr || playerWindow() == nullptr) return;
    const DWORD tick = GetTickCount();
    if (!note.empty() && tick - noteTick >= noteShownMs) note.clear();
    std::string extra = note;
    if (sharedLoad(movie->state) == statePaused)
        extra = extra.empty() ? "paused" : extra + ", paused";
    const std::string text = titleText(name, length, sharedLoad(movie->frameCount), extra);
    if (text == shownTitle || (!now && tick - shownTick < titleIntervalMs)) return;
    SetWindowTextA(playerWindow(), text.c_str());
    shownTitle = text;
    shownTick = tick;
}
