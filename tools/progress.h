// The progress bar qztool's exports draw on a terminal: a bar and "done/total", redrawn in place
// and ended with a new line at the last step.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>

namespace qztool {

// Exports shorter than this finish too soon for a progress bar to help.
inline constexpr std::size_t progressMinSteps = 30;

inline void drawProgress(std::ostream& err, std::size_t done, std::size_t total) {
    constexpr std::size_t width = 40;
    const std::size_t filled = total == 0 ? width : done * width / total;
    err << "\r[" << std::string(filled, '#') << std::string(width - filled, ' ') << "] " << done
        << "/" << total << (done == total ? "\n" : "") << std::flush;
}

} // namespace qztool
