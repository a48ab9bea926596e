// The look the front end takes at the movie file before it sets up anything: a file that is
// missing, not a file, or holds nothing to play is reported at once instead of being opened.
#pragma once

#include <string>

// Empty when path names a movie with something to play; else the one-line message (without
// newline) that says what is wrong, naming the file.
std::string movieFileProblem(const std::string& path);
