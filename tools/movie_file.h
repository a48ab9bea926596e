// Movie files as qztool meets them: opened as a byte source that reads the file piece by piece,
// and the warning for damage the player passes over.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "format/movie_scan.h"

namespace qztool {

// Reads a whole file; false with a message when it cannot be read.
bool loadFile(const std::string& path, Bytes& bytes, std::string& message);
// Opens a movie for reading: a regular file is read piece by piece through a bounded window, so
// memory stays small for a movie of any size; anything else (a pipe) is read whole, as
// loadFile does. Null with a message when it cannot be opened or read. A read that fails later
// shows as failed() on the source; readFailedMessage() words it.
std::unique_ptr<ByteSource> openMovie(const std::string& path, std::string& message);
// "cannot read PATH".
std::string readFailedMessage(const std::string& path);
// One warning line on err for a damaged movie: how many places, the first of them, and the
// outcome ("the audio written is what the player plays"). Nothing for an undamaged movie.
void warnDamage(const std::string& path, const MovieScan& scan, const char* outcome,
                std::ostream& err);

} // namespace qztool
