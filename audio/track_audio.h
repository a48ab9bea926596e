// The audio of one track of a movie, decoded as the player plays it: the chunks the reader
// takes, each cut as the reader cuts it, through the player's own decoders. The file is read a
// chunk at a time and the sound is handed on a block at a time, so a track of any length can be
// written out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "format/movie_scan.h"

// Bytes of 16-bit stereo frames the reader queues for an audio payload: what it decodes to,
// cut to maxAudioBlockBytes.
LONG playedAudioBytes(const AudioFormat& format, const BYTE* payload, LONG length);

struct DecodedTrack {
    int track = 0;
    LONG rate = 0;                 // rate of the first decoded chunk
    std::vector<std::uint8_t> pcm; // signed 16-bit little-endian stereo frames (when kept)
    std::size_t pcmBytes = 0;      // bytes of frames decoded, kept or not
    std::size_t chunks = 0;        // chunks decoded
    std::size_t skippedChunks = 0; // payload above maxAudioPayload
    bool rateChanged = false;      // a later chunk decoded at another rate
};

// Takes each decoded block of frames in order; false stops the decoding.
using PcmSink = std::function<bool(const std::uint8_t* pcm, std::size_t bytes)>;

// Decodes every audio data chunk of the track (1-based) in file order, with the IMA ADPCM state
// carried from chunk to chunk and the block ADPCM history loaded from each chunk, and hands the
// frames to sink (none: they are only counted). False with a message when the movie has no
// audio or no such track; false with the message left alone when sink stops it.
bool decodeTrack(const MovieScan& scan, ByteSource& file, int track, DecodedTrack& decoded,
                 const PcmSink& sink, std::string& message);
// The same over a file held in memory, with the frames kept in decoded.pcm.
bool decodeTrack(const MovieScan& scan, const Bytes& file, int track, DecodedTrack& decoded,
                 std::string& message);
