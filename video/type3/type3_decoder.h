// Decoder of type-3 frames (WNB and QZ chunks): self-contained pictures of 16×16 macroblocks,
// each skipped, filled flat, or coded as six DCT blocks in a bit-packed token code, converted to
// RGB by adding entries of the 128-entry YUV colour tables at gamma 100, and through the lane
// and level tables at any other gamma (video/colour_tables.h gives the rule).
//
// The decoders read nothing at or beyond video->frameDataEnd (missing bytes read as zeros) and
// write only inside the clip box video->clipLeft..clipRight × clipTop..clipBottom.
#pragma once

#include <cstddef>
#include <cstdint>

#include "video/video_state.h"

// Builds video->dct.type3Quant from the frame's quality byte (0 to 255; above 101 gives negative
// factors, used as they come).
void setupType3Quant(VideoState* video, LONG quality);
// The same table into quant (64 entries); the encoder quantises with it.
void buildType3Quant(LONG* quant, LONG quality);

// Decode the macroblocks at data (payload + 8) for a picture of video->width ×
// movieHeight to target, rows pitch bytes apart. The 2-byte variant writes one 16-bit pixel a
// picture pixel, the 4-byte variant one 32-bit word. second is not used.
void decodeType3Frame16(VideoState* video, const BYTE* data, BYTE* target, BYTE* second,
                        LONG pitch);
void decodeType3Frame32(VideoState* video, const BYTE* data, BYTE* target, BYTE* second,
                        LONG pitch);

// The token reader: bits least significant first, 8 to 63 unread bits buffered (in the low bits
// of buffer, the rest zero); next × 8 − count is the stream position of the next unread bit.
struct Type3BitReader {
    const BYTE* data;
    std::ptrdiff_t size; // bytes readable from data
    std::ptrdiff_t next; // offset of the next byte to take in
    std::uint64_t buffer;
    int count;
};
// Starts the reader at offset start of data[0..size).
Type3BitReader startType3Reader(const BYTE* data, std::ptrdiff_t size, std::ptrdiff_t start);
// Fills all 64 entries of coeff from the tokens of one block at the reader.
void readType3Block(Type3BitReader& bits, const LONG quant[64], LONG coeff[64]);
