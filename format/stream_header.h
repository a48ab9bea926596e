// The stream header payload: four bytes the reader does not examine, records stepped over up to
// the start marker, then tag records (tag, length, big-endian value) up to the end tag.
#pragma once

#include "format/audio_format.h"

inline constexpr BYTE streamTagStart = 0xFD;
inline constexpr BYTE streamTagEnd = 0x8A;
inline constexpr BYTE streamTagBits = 0x81;
inline constexpr BYTE streamTagChannels = 0x82;
inline constexpr BYTE streamTagCodec = 0x83;
inline constexpr BYTE streamTagRate = 0x84;
// Bytes before the first record.
inline constexpr LONG streamHeaderLeadBytes = 4;

// Parses a stream header payload into format (defaults first, then the tags). Stops at the
// payload end if the header is cut short.
void parseStreamHeader(const BYTE* payload, LONG length, AudioFormat* format);
