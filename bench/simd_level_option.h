// The vector level option of the benchmarks (--level=scalar|avx2|avx512|vbmi).
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "video/dct/simd_switch.h"

namespace qzbench {

// The levels by the names the option takes, lowest first.
inline constexpr std::pair<const char*, SimdLevel> levelNames[] = {{"scalar", SimdLevel::none},
                                                                   {"avx2", SimdLevel::avx2},
                                                                   {"avx512", SimdLevel::avx512},
                                                                   {"vbmi", SimdLevel::avx512vbmi}};

inline const char* levelName(SimdLevel level) {
    for (const auto& [name, l] : levelNames)
        if (l == level) return name;
    return "?";
}

// The level of a name, if the name is known.
inline std::optional<SimdLevel> levelOfName(const std::string& name) {
    for (const auto& [n, level] : levelNames)
        if (name == n) return level;
    return std::nullopt;
}

} // namespace qzbench
