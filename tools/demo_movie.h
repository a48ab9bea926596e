// qztool demo: a deterministic demo movie authored with our own encoder.
#pragma once

#include <iosfwd>
#include <string>

#include "encoder/movie_writer.h"

namespace qztool {

inline constexpr int demoRate = 22050;
inline constexpr int demoSlotsPerSecond = 15; // the picture rate the demo's video will have
inline constexpr int demoSeconds = 10;

// Ten seconds of a stereo IMA ADPCM melody at 22,050 Hz in chunks of 1/15 s; no video yet.
Movie demoMovie();

// Writes the demo movie to path and prints a one-line summary. 0, or 1 with a message on err.
int runDemo(const std::string& path, std::ostream& out, std::ostream& err);

} // namespace qztool
