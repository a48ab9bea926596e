// qztool demo --krt: a deterministic KRT movie authored with our own encoder.
#pragma once

#include <string>

namespace qztool {

// Writes five seconds of a moving, colourful 320x240 scene at 15 frames a second, coded as KRT
// key frames (one every 25 frames, and the second frame, which later laps of a looping player
// start with) and delta frames, with a stereo IMA ADPCM soundtrack; false with a message when the
// file cannot be written.
bool writeKrtDemoMovie(const std::string& path, std::string& message);

} // namespace qztool
