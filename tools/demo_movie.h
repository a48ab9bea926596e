// qztool demo: a deterministic demo movie authored with our own encoder.
#pragma once

#include <iosfwd>
#include <cstdint>
#include <string>
#include <vector>

#include "encoder/movie_writer.h"

namespace qztool {

inline constexpr int demoRate = 22050;
inline constexpr int demoSlotsPerSecond = 15; // the picture rate the demo's video will have
inline constexpr int demoSeconds = 10;
inline constexpr int demoWidth = 320;
inline constexpr int demoHeight = 240;
inline constexpr int demoFrames = demoSlotsPerSecond * demoSeconds;
inline constexpr int demoQuality = 75;

// The demo's test picture for a frame, as R, G, B bytes row after row: colour bars, a scrolling
// hue band, a grey ramp, a bouncing ball and the frame number in binary cells.
std::vector<std::uint8_t> demoPicture(int frame);
// Whether the demo codes the frame as type 4 (odd seconds) rather than type 3 (even seconds).
bool demoFrameIsType4(int frame);

// Ten seconds at 15 frames a second: the test picture at 320x240 in type-3 and type-4 frames,
// with a stereo IMA ADPCM melody at 22,050 Hz in chunks of 1/15 s.
Movie demoMovie();

// Writes the demo movie to path and prints a one-line summary. 0, or 1 with a message on err.
int runDemo(const std::string& path, std::ostream& out, std::ostream& err);

} // namespace qztool
