#include "video/decoder_table.h"

#include "video/dor/dor_decoder.h"
#include "video/krt/krt_decoder.h"
#include "video/type3/type3_decoder.h"
#include "video/type4/type4_decoder.h"

namespace {

void krtKeyFrame(PlayerContext* ctx, const BYTE* payload) {
    decodeKrtKeyFrame(ctx, payload);
}

void krtDeltaFrame(PlayerContext* ctx, const BYTE* payload) {
    decodeKrtDeltaFrame(ctx, payload);
}

void type4Quant(PlayerContext* ctx, LONG quality) {
    setupType4Quant(ctx->type4Quant, quality);
}

} // namespace

DecoderEntryPoints defaultDecoderEntryPoints() {
    return DecoderEntryPoints{
        .krtKeyFrame = krtKeyFrame,
        .krtDeltaFrame = krtDeltaFrame,
        .krtColourLookup = buildKrtColourLookup,
        .krtOutput = writeKrtOutput,
        .type3Quant = setupType3Quant,
        .type3Decode32 = decodeType3Frame32,
        .type3Decode16 = decodeType3Frame16,
        .type4Quant = type4Quant,
        .type4Decode32 = decodeType4FrameRgb32,
        .type4Decode16 = decodeType4FrameRgb16,
        .type4DecodeYuv = decodeType4FrameYuy2,
        .dorFrame = decodeDorFrame,
    };
}

DecoderEntryPoints decoderEntryPoints = defaultDecoderEntryPoints();
