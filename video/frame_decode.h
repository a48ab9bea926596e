// Decoding one frame's payload into memory the caller describes: the frame header, the place of
// the picture in the target, the decoder for the frame's type and the column doubling and row
// repeating around it. No display object is involved: the caller owns or locks the memory.
#pragma once

#include "video/placement.h"
#include "video/video_state.h"

// How the picture lies in the target memory.
enum class PicturePlacement : LONG {
    // At (x, y) of the target; with doubleX columns twice as wide, with doubleY or skipY decoder
    // rows two target rows apart (doubleY repeats each into the row below): the screen itself.
    placed,
    // The picture alone from the target's first byte, row after row (a picture surface that is
    // later put in place); only the decoders' own column doubling applies.
    pictureOnly,
    // Caller buffers: DCT frames as with placed, KRT and DOR pictures as with pictureOnly.
    dctPlaced,
};

// The memory a frame is decoded into and how the picture lies in it.
struct FrameTarget {
    TargetArea area;
    PicturePlacement placement;
    LONG x;   // display pixels from the area's left edge to the picture's (placed frames)
    LONG y;   // target rows from the area's top to the picture's (placed frames)
    bool yuv; // type-4 frames are written as YUY2, two bytes a picture pixel, never placed
};

// Reads the header of a frame of type 1 to 7 at payload[0..bytes) into video: frameType,
// frameDataEnd, the picture size, the DCT quality and options, and a KRT key frame's palette
// (scaled by output.gamma into output.paletteRgb). False when the header does not fit in the
// payload: the frame is then not to be decoded.
bool readFrameHeader(VideoState& video, LONG type, const BYTE* payload, LONG bytes);

// Decodes the frame whose header readFrameHeader accepted into target through the decoder entry
// points, as video.output describes the pixels. KRT and DOR frames advance their pictures even
// when nothing of them lands in the target.
void decodeFrame(VideoState& video, const BYTE* payload, const FrameTarget& target);
