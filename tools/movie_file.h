// Movie files as qztool meets them: read whole into memory, and the warning for damage the
// player passes over.
#pragma once

#include <iosfwd>
#include <string>

#include "format/movie_scan.h"

namespace qztool {

// Reads a whole file; false with a message when it cannot be read.
bool loadFile(const std::string& path, Bytes& bytes, std::string& message);
// One warning line on err for a damaged movie: how many places, the first of them, and the
// outcome ("the audio written is what the player plays"). Nothing for an undamaged movie.
void warnDamage(const std::string& path, const MovieScan& scan, const char* outcome,
                std::ostream& err);

} // namespace qztool
