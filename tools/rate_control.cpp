#include "tools/rate_control.h"

#include <map>

namespace qztool {

std::optional<int> searchLevel(int maxLevel, std::uint64_t target,
                               const std::function<std::optional<std::uint64_t>(int)>& sizeAt) {
    std::map<int, std::uint64_t> sizes;
    bool failed = false;
    auto size = [&](int level) -> std::uint64_t {
        auto known = sizes.find(level);
        if (known != sizes.end()) return known->second;
        const std::optional<std::uint64_t> s = sizeAt(level);
        if (!s) failed = true;
        return sizes[level] = s.value_or(0);
    };
    // The largest level whose size is not above target (0 when even that one is).
    int low = 0, high = maxLevel;
    while (low < high && !failed) {
        const int mid = low + (high - low + 1) / 2;
        if (size(mid) <= target)
            low = mid;
        else
            high = mid - 1;
    }
    if (failed) return std::nullopt;
    if (low == maxLevel) return low;
    const std::uint64_t below = size(low), above = size(low + 1);
    if (failed) return std::nullopt;
    const auto distance = [&](std::uint64_t s) { return s > target ? s - target : target - s; };
    return distance(above) < distance(below) ? low + 1 : low;
}

} // namespace qztool
