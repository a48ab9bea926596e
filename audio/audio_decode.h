// Audio payload decoding, independent of any file: the three codecs,
// always producing signed 16-bit little-endian stereo frames of 4 bytes.
#pragma once

#include "audio/audio_format.h"

// Bytes of 16-bit stereo output that a data payload decodes to in this format.
LONG audioDecodedBytes(const AudioFormat& format, const BYTE* payload, LONG length);
// Decodes a data payload into out, writing at most outCapacity bytes (whole frames). Codec 7
// loads adpcmHistory from the payload; codec 10 carries imaState on. Returns bytes written.
LONG decodeAudioPayload(const AudioFormat& format, const BYTE* payload, LONG length,
                        LONG adpcmHistory[4], ImaChannel imaState[2], BYTE* out, LONG outCapacity);
// Runs the IMA ADPCM state over a codec-10 payload as its decode would, writing no samples: a
// track that is not being played keeps the state it needs once it is switched to.
void advanceImaState(const BYTE* payload, LONG length, ImaChannel imaState[2]);
