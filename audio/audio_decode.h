// Audio payload decoding, independent of any file: stream header tags and the three codecs,
// always producing signed 16-bit little-endian stereo frames of 4 bytes.
#pragma once

#include "audio/audio_format.h"

// Parses a stream header payload into format (defaults first, then the tags). Stops at the
// payload end if the header is cut short.
void parseStreamHeader(const BYTE* payload, LONG length, AudioFormat* format);
// Bytes of 16-bit stereo output that a data payload decodes to in this format.
LONG audioDecodedBytes(const AudioFormat& format, const BYTE* payload, LONG length);
// Decodes a data payload into out, writing at most outCapacity bytes (whole frames). Codec 7
// loads adpcmHistory from the payload; codec 10 carries imaState on. Returns bytes written.
LONG decodeAudioPayload(const AudioFormat& format, const BYTE* payload, LONG length,
                        LONG adpcmHistory[4], ImaChannel imaState[2], BYTE* out,
                        LONG outCapacity);
