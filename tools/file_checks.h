// Checks on the files named on qztool's command line, made before anything is read or written:
// the movie must be a regular file with something in it, and no output may be the movie itself.
#pragma once

#include <string>

#include "format/movie_scan.h"

namespace qztool {

// Whether path names a movie file qztool can read: it exists and is a regular file that is not
// empty. A folder or a device (which may never end, as /dev/zero does) is refused before it is
// opened. False with "PATH: reason"; what names the kind of file expected in the reason.
bool checkInputFile(const std::string& path, std::string& message, const char* what = "movie file");

// Whether the two paths name the same existing file: by device and inode on POSIX, so that
// ./in.qz, a hard link and a symbolic link all count; by canonical name on Windows.
bool isSameFile(const std::string& a, const std::string& b);

// False with "refusing to write OUTPUT over the input movie INPUT" when output names the input.
bool checkOutputSparesInput(const std::string& input, const std::string& output,
                            std::string& message);

// False with "PATH: not a movie file: no chunk the player can read" when the walk found no
// chunk at all: random bytes, a picture, a text.
bool checkIsMovie(const std::string& path, const MovieScan& scan, std::string& message);

} // namespace qztool
