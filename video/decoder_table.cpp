#include "video/decoder_table.h"

#include "video/dor/dor_decoder.h"
#include "video/krt/krt_decoder.h"
#include "video/type3/type3_decoder.h"
#include "video/type4/type4_decoder.h"

namespace {

void krtKeyFrame(VideoState* video, const BYTE* payload) {
    decodeKrtKeyFrame(video, payload);
}

void krtDeltaFrame(VideoState* video, const BYTE* payload) {
    decodeKrtDeltaFrame(video, payload);
}

void type4Quant(VideoState* video, LONG quality) {
    setupType4Quant(video->dct.type4Quant, quality);
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
