// qztool audio: one track's sound decoded with the player's own decoders, written as WAV or as
// raw samples.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "audio/track_audio.h"

namespace qztool {

// Writes 16-bit stereo WAV at the given rate; false with a message on failure.
bool writeWav(const std::string& path, const std::vector<std::uint8_t>& pcm, LONG rate,
              std::string& message);
// Writes the samples as they are (signed 16-bit little-endian stereo).
bool writeRaw(const std::string& path, const std::vector<std::uint8_t>& pcm, std::string& message);

// The audio command. Exactly one of wavPath and rawPath is non-empty. 0, or 1 with a message
// on err. A damaged movie has what the player plays written, with a warning on err. With
// progress, a bar of the chunks decoded is drawn on err.
int runAudio(const std::string& path, int track, const std::string& wavPath,
             const std::string& rawPath, bool progress, std::ostream& out, std::ostream& err);

} // namespace qztool
