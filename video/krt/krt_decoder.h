// Decoder of KRT frames: palettised 8-bit pictures, key frames packed with an LZ77 coder
// (type 1, "KRTk") and delta frames built from 4 x 4 blocks copied from the previous picture at a
// displacement or taken from a table of new blocks (type 2, "KRTf"). The frame work runs in the
// state's own pictures; only the output stage writes the target.
//
// The decoders read nothing at or beyond video->frameDataEnd, and a frame that points outside a
// picture or table is cut short or skipped, never followed out of it.
#pragma once

#include <cstddef>

#include "video/video_state.h"

// Marks a vector whose row displacement leaves the row table: every block it displaces lies
// outside the previous picture.
inline constexpr LONG krtNoOffset = static_cast<LONG>(0x80000000u);
// Largest picture a key frame may describe, in bytes (8192 x 8192).
inline constexpr std::size_t krtMaxPictureBytes = std::size_t{1} << 26;

// Decodes a key frame: (re)makes the pictures and tables for its size and unpacks the picture.
// 1 when decoded; 0 when the header is cut short, or when a buffer could not be made (the
// pictures are then gone).
int decodeKrtKeyFrame(VideoState* video, const BYTE* payload);

// Rebuilds output.paletteLookup from output.paletteRgb for the display's pixel format: 16-bit
// pixels (repeated in the upper half with doubleX) on the 16-bit family, 32-bit pixels on others.
void buildKrtColourLookup(VideoState* video);

// Decodes a delta frame onto the previous picture. 1 when decoded; 0 when a table could not be
// made, or when the frame was skipped (no key frame yet, fields that do not fit the payload).
int decodeKrtDeltaFrame(VideoState* video, const BYTE* payload);

// Writes the current picture into the target whose first byte is base, rows pitch bytes apart,
// inside the state's clip box: bytes on 8-bit displays, lookup pixels on the others. second is
// not used.
void writeKrtOutput(VideoState* video, BYTE* base, BYTE* second, LONG pitch);

// Writes each of count bytes of source twice, in order, to destination.
void doubleBytes(const BYTE* source, BYTE* destination, LONG count);

// Unpacks an LZ77 stream of input[0..inputBytes) into output[0..outputBytes). Stops at the end
// command, or before a command that would read past the input, write past the output or reach
// before its start. Returns the bytes written.
std::size_t unpackKrtLz77(const BYTE* input, std::size_t inputBytes, BYTE* output,
                          std::size_t outputBytes);

// Frees the pictures and every table, nulling each pointer (releaseVideoState calls it).
void releaseKrtState(VideoState* video);
