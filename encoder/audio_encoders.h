// Our own encoders for the three audio payload codecs. Each simulates the decoder exactly, so
// what a test or a movie expects is what the player will produce.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/audio_format.h"
#include "format/container_writer.h"

// PCM payload: little-endian u32 frame count, then the samples (interleaved when stereo).
// A trailing odd sample of a stereo input is dropped.
Bytes encodePcmPayload(const std::vector<std::int16_t>& samples, int channels);

// Block ADPCM payload: 4 unexamined bytes, the four history values (zeros here), then blocks
// of 28 frames, each block and channel with the coefficient index and shift of least squared
// error. A trailing partial block is padded with the last sample.
Bytes encodeBlockAdpcmPayload(const std::vector<std::int16_t>& samples, int channels);
// As above, with the history taken from the last two frames of before (the source samples
// that precede this chunk, interleaved like samples); zeros where before is too short.
Bytes encodeBlockAdpcmPayload(const std::vector<std::int16_t>& samples, int channels,
                              const std::vector<std::int16_t>& before);

// IMA payload: one byte per stereo frame, high nibble left. state is carried on exactly as the
// decoder carries it, so successive chunks decode in step.
Bytes encodeImaPayload(const std::vector<std::int16_t>& stereoSamples, ImaChannel state[2]);
// As above for interleaved samples of channels channels; a mono sample feeds both channels.
Bytes encodeImaPayload(const std::vector<std::int16_t>& samples, int channels, ImaChannel state[2]);
