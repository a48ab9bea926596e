// Rate control for qztool encode: the finest setting whose movie comes nearest a size.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace qztool {

// Searches levels 0..maxLevel (sizes growing with the level) for the one whose size is nearest
// target: a binary search for the largest level not above target, then the nearer of it and the
// next. sizeAt codes the whole movie at a level and gives its size, or none on a failure (the
// search then gives none). Each level is coded at most once.
std::optional<int> searchLevel(int maxLevel, std::uint64_t target,
                               const std::function<std::optional<std::uint64_t>(int)>& sizeAt);

} // namespace qztool
