#include "frontend/seek_keys.h"

#include <algorithm>

namespace {

constexpr long long shortStepSeconds = 5;
constexpr long long longStepSeconds = 60;
constexpr long long pageStepDivisor = 10; // Page Up/Down: a tenth of the movie

long long slotsOfSeconds(long long seconds, const PlayerTimeline& timeline) {
    return seconds * timeline.slotRateMilli / 1000;
}

LONG clampSlot(long long slot, const PlayerTimeline& timeline) {
    return static_cast<LONG>(std::clamp<long long>(slot, 0, timeline.slots - 1));
}

} // namespace

LONG seekKeyTarget(WPARAM key, const PlayerTimeline& timeline) {
    if (timeline.slots <= 0) return -1;
    const long long at = timeline.slot;
    const long long page = std::max<long long>(timeline.slots / pageStepDivisor, 1);
    switch (key) {
    case VK_LEFT:
        return clampSlot(at - slotsOfSeconds(shortStepSeconds, timeline), timeline);
    case VK_RIGHT:
        return clampSlot(at + slotsOfSeconds(shortStepSeconds, timeline), timeline);
    case VK_DOWN:
        return clampSlot(at - slotsOfSeconds(longStepSeconds, timeline), timeline);
    case VK_UP:
        return clampSlot(at + slotsOfSeconds(longStepSeconds, timeline), timeline);
    case VK_HOME:
        return 0;
    case VK_PRIOR:
        return clampSlot(at - page, timeline);
    case VK_NEXT:
        return clampSlot(at + page, timeline);
    default:
        return -1;
    }
}

bool actOnSeekKey(WPARAM key, PlayerConfig* movie) {
    PlayerTimeline timeline{};
    if (seekKeyTarget(key, PlayerTimeline{0, 1, 1000}) < 0) return false;
    if (playerTimeline(movie, &timeline) != 0) return true;
    const LONG target = seekKeyTarget(key, timeline);
    if (target >= 0) playerSeek(movie, target);
    return true;
}
