// Decoder of DOR frames: key frames (type 5), motion frames (type 6) that become the reference
// for the next, and non-reference motion frames (type 7). Pictures are 16×16 macroblocks of four
// luma and two chroma 8×8 blocks, each intra-coded or copied from the reference picture with a
// brightness offset.
//
// The decoder reads nothing at or beyond video->frameDataEnd (missing bits read as zeros), never
// reads or writes outside its picture buffers whatever the stream says, and writes only inside
// the clip box of the target.
#pragma once

#include <cstdint>

#include "video/video_state.h"

// Largest picture side the decoder takes; larger frames are skipped.
inline constexpr LONG dorMaxSide = 2048;
// Bytes of the payload before the bitstream; width and height sit at 8 and 10, the quantiser
// scale (signed) at 13.
inline constexpr LONG dorHeaderBytes = 16;

// Decodes the frame at payload (type 5, 6 or 7) and converts it into the target at base, rows
// pitch bytes apart: 16-bit pixels on the 16-bit family, 32-bit pixels on deeper displays,
// nothing on 8-bit displays. The last picture row is not written.
void decodeDorFrame(VideoState* video, const BYTE* payload, BYTE* base, LONG pitch, LONG type);

// Decodes the frame into the state's pictures without any output and returns the picture it
// went to (null when the frame was skipped). Used by decodeDorFrame and by the encoder to follow
// the decoder's pictures.
const BYTE* decodeDorPicture(VideoState* video, const BYTE* payload, LONG type);

// Converts rows 0..h-2 of a packed picture of width w (rows dorWidth * 2 bytes apart) into the
// clip box of the target, 2 or 4 bytes a pixel.
void convertDorPicture(const VideoState* video, const BYTE* picture, LONG width, LONG height,
                       BYTE* base, LONG pitch, int pixelBytes);

// Frees the picture buffers (releaseVideoState calls it).
void releaseDorPictures(VideoState* video);

// Whether frames of a type can be shown on a display of the given depth: DOR frames are not
// shown on 8-bit displays.
bool frameTypeShownAtDepth(LONG type, LONG depth);

// Bitstream layer, shared with the encoder and tests.

// One coefficient code: its bits without the sign bit that follows, its run and level.
struct DorCoefficientCode {
    const char* bits;
    int run;
    int level;
};
inline constexpr int dorCoefficientCodeCount = 111;
// The run/level pairs of the coefficient code (the same table as type 4's AC code).
const DorCoefficientCode* dorCoefficientCodes();
inline constexpr const char* dorEndOfBlock = "10";
// Followed by 16 bits: a 10-bit two's complement level, then a 6-bit run.
inline constexpr const char* dorEscape = "000001";

// Starts a frame: code tables built (once per process), the bit reader at the bitstream, the
// dequantisation table for q.
void startDorFrame(VideoState* video, const BYTE* bitstream, LONG q);
// Fills dequant for the quantiser scale q.
void buildDorDequant(LONG* dequant, LONG q);
// Drops n (1 to 16) bits of the window, loading the next word when fewer than 16 remain.
void skipDorBits(VideoState* video, int n);
// One value of the small code: -16 to 16.
LONG readDorSmallValue(VideoState* video);
// Decodes one block's coefficients into video->dor.coeff; returns the scan position after the last
// coefficient (1 when the block has only its DC value).
int readDorCoefficients(VideoState* video);
// Stores the block's samples at dest, rows stride slots apart: every sample coefficient 0 when
// flat, else the inverse transform of video->dor.coeff.
void storeDorBlock(const VideoState* video, LONG* dest, int stride, bool flat);
