// The decoders the frame dispatch calls, one entry point per call it makes. The table is
// process-wide so that tests can put recording decoders in; an entry whose decoder is not built
// into this version decodes nothing.
#pragma once

#include "engine/context.h"

// A DCT frame decoder: the bitstream (payload + 8), the target pointer already placed at the
// picture's top-left pixel, the second pointer and the row pitch in bytes.
using FrameDecoder = void (*)(PlayerContext* ctx, const BYTE* data, BYTE* target, BYTE* second,
                              LONG pitch);

struct DecoderEntryPoints {
    void (*krtKeyFrame)(PlayerContext* ctx, const BYTE* payload);
    void (*krtDeltaFrame)(PlayerContext* ctx, const BYTE* payload);
    void (*krtColourLookup)(PlayerContext* ctx);
    void (*krtOutput)(PlayerContext* ctx, BYTE* base, BYTE* second, LONG pitch);
    void (*type3Quant)(PlayerContext* ctx, LONG quality);
    FrameDecoder type3Decode32; // one 32-bit word a picture pixel
    FrameDecoder type3Decode16; // one 16-bit pixel a picture pixel
    void (*type4Quant)(PlayerContext* ctx, LONG quality);
    FrameDecoder type4Decode32;
    FrameDecoder type4Decode16;
    FrameDecoder type4DecodeYuv; // YUY2, 2 bytes a picture pixel
    void (*dorFrame)(PlayerContext* ctx, const BYTE* payload, BYTE* base, LONG pitch, LONG type);
};

// The entry points the dispatch calls; starts as defaultDecoderEntryPoints().
extern DecoderEntryPoints decoderEntryPoints;

// The decoders built into this version.
DecoderEntryPoints defaultDecoderEntryPoints();
