// qztool audio: one track's sound decoded with the player's own decoders, written as WAV or as
// raw samples.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "tools/movie_scan.h"

namespace qztool {

struct DecodedTrack {
    int track = 0;
    LONG rate = 0;                 // rate of the first decoded chunk
    std::vector<std::uint8_t> pcm; // signed 16-bit little-endian stereo frames
    std::size_t chunks = 0;        // chunks decoded
    std::size_t skippedChunks = 0; // payload above maxAudioPayload
    bool rateChanged = false;      // a later chunk decoded at another rate
};

// Decodes every audio data chunk of the track (1-based) in file order, with the IMA ADPCM state
// carried from chunk to chunk and the block ADPCM history loaded from each chunk. False with a
// message when the movie has no audio or no such track.
bool decodeTrack(const MovieScan& scan, const Bytes& file, int track, DecodedTrack& decoded,
                 std::string& message);

// Writes 16-bit stereo WAV at the given rate; false with a message on failure.
bool writeWav(const std::string& path, const std::vector<std::uint8_t>& pcm, LONG rate,
              std::string& message);
// Writes the samples as they are (signed 16-bit little-endian stereo).
bool writeRaw(const std::string& path, const std::vector<std::uint8_t>& pcm, std::string& message);

// The audio command. Exactly one of wavPath and rawPath is non-empty. 0, or 1 with a message
// on err. A damaged movie has what the player plays written, with a warning on err.
int runAudio(const std::string& path, int track, const std::string& wavPath,
             const std::string& rawPath, std::ostream& out, std::ostream& err);

} // namespace qztool
