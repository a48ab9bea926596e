// qztool demo --dor: a deterministic DOR movie authored with our own encoder.
#pragma once

#include <string>

namespace qztool {

// Writes about five seconds of a moving 320×240 scene at 15 frames a second, coded as DOR key,
// motion and non-reference frames, with a stereo IMA ADPCM soundtrack; false with a message
// when the file cannot be written.
bool writeDorDemoMovie(const std::string& path, std::string& message);

} // namespace qztool
