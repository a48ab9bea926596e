// The volume the keys set: a percentage of full amplitude in 10 % steps, and mute.
#include <algorithm>
#include <cmath>

#include "frontend/controls.h"

namespace {

int percent = 100;
bool muted = false;

void passOn(PlayerConfig* movie) {
    if (movie != nullptr && playerIsPlaying(movie) != 0)
        playerSetVolume(movie, currentVolumeUnits());
}

} // namespace

LONG volumeUnits(int p) {
    if (p <= 0) return DSBVOLUME_MIN;
    if (p >= 100) return DSBVOLUME_MAX;
    const double units = std::round(2000.0 * std::log10(p / 100.0));
    return std::max<LONG>(DSBVOLUME_MIN, static_cast<LONG>(units));
}

void beginVolume(int p) {
    percent = std::clamp(p, 0, 100);
    muted = false;
}

int volumePercent() {
    return percent;
}

bool volumeMuted() {
    return muted;
}

void stepVolume(int direction, PlayerConfig* movie) {
    percent =
        std::clamp(percent + (direction > 0 ? volumeStepPercent : -volumeStepPercent), 0, 100);
    muted = false;
    passOn(movie);
}

void toggleMute(PlayerConfig* movie) {
    muted = !muted;
    passOn(movie);
}

LONG currentVolumeUnits() {
    return muted ? DSBVOLUME_MIN : volumeUnits(percent);
}

std::string volumeNote() {
    return muted ? "muted" : "volume " + std::to_string(percent) + "%";
}

void putVolume(PlayerConfig* config) {
    config->volume = currentVolumeUnits();
    config->flags |= volumeGiven;
}
