// The decoders the frame dispatch calls, one entry point per call it makes. The table is
// process-wide so that tests can put recording decoders in; an entry whose decoder is not built
// into this version decodes nothing.
#pragma once

#include "video/video_state.h"

// A DCT frame decoder: the bitstream (payload + 8), the target pointer already placed at the
// picture's top-left pixel, the second pointer and the row pitch in bytes.
using FrameDecoder = void (*)(VideoState* video, const BYTE* data, BYTE* target, BYTE* second,
                              LONG pitch);

struct DecoderEntryPoints {
    void (*krtKeyFrame)(VideoState* video, const BYTE* payload);
    void (*krtDeltaFrame)(VideoState* video, const BYTE* payload);
    void (*krtColourLookup)(VideoState* video);
    void (*krtOutput)(VideoState* video, BYTE* base, BYTE* second, LONG pitch);
    void (*type3Quant)(VideoState* video, LONG quality);
    FrameDecoder type3Decode32; // one 32-bit word a picture pixel
    FrameDecoder type3Decode16; // one 16-bit pixel a picture pixel
    void (*type4Quant)(VideoState* video, LONG quality);
    FrameDecoder type4Decode32;
    FrameDecoder type4Decode16;
    FrameDecoder type4DecodeYuv; // YUY2, 2 bytes a picture pixel
    void (*dorFrame)(VideoState* video, const BYTE* payload, BYTE* base, LONG pitch, LONG type);
};

// The entry points the dispatch calls; starts as defaultDecoderEntryPoints().
extern DecoderEntryPoints decoderEntryPoints;

// The decoders built into this version.
DecoderEntryPoints defaultDecoderEntryPoints();
