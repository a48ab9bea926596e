// The sound file and rate conversion libraries, loaded the first time a command reads sound:
// they bring ten shared libraries with them, which every other command would otherwise map and
// link at its start for nothing (about 2 ms a run).
#pragma once

#include <samplerate.h>
#include <sndfile.h>
#include <string>

namespace qztool {

struct SoundLibraries {
    decltype(&sf_open) open;
    decltype(&sf_close) close;
    decltype(&sf_readf_float) readFloat;
    decltype(&sf_error) error;
    decltype(&sf_strerror) fileError;
    decltype(&src_simple) convert;
    decltype(&src_strerror) convertError;
};

// The libraries' functions, loaded once for the process; null with a message naming what could
// not be loaded.
const SoundLibraries* soundLibraries(std::string& message);

} // namespace qztool
