// The audio of one track of a movie held in memory, decoded as the player plays it: the chunks
// the reader takes, each cut as the reader cuts it, through the player's own decoders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "format/movie_scan.h"

// Bytes of 16-bit stereo frames the reader queues for an audio payload: what it decodes to,
// cut to maxAudioBlockBytes.
LONG playedAudioBytes(const AudioFormat& format, const BYTE* payload, LONG length);

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
