// Test pictures for the benchmarks.
#pragma once

#include <cstdint>
#include <vector>

namespace qzbench {

// A deterministic photo-like picture as R, G, B bytes, row after row: smooth gradients, hard
// edged shapes, fine stripes and a mildly noisy texture, so that both flat and detailed
// macroblocks occur in proportions like those of a real movie frame.
std::vector<std::uint8_t> benchPicture(int width, int height);

} // namespace qzbench
