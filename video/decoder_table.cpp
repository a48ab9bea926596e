#include "video/decoder_table.h"

namespace {

void noPayload(PlayerContext*, const BYTE*) {}
void noContext(PlayerContext*) {}
void noOutput(PlayerContext*, BYTE*, BYTE*, LONG) {}
void noQuant(PlayerContext*, LONG) {}
void noFrame(PlayerContext*, const BYTE*, BYTE*, BYTE*, LONG) {}
void noDorFrame(PlayerContext*, const BYTE*, BYTE*, LONG, LONG) {}

} // namespace

DecoderEntryPoints defaultDecoderEntryPoints() {
    return DecoderEntryPoints{
        .krtKeyFrame = noPayload,
        .krtDeltaFrame = noPayload,
        .krtColourLookup = noContext,
        .krtOutput = noOutput,
        .type3Quant = noQuant,
        .type3Decode32 = noFrame,
        .type3Decode16 = noFrame,
        .type4Quant = noQuant,
        .type4Decode32 = noFrame,
        .type4Decode16 = noFrame,
        .type4DecodeYuv = noFrame,
        .dorFrame = noDorFrame,
    };
}

DecoderEntryPoints decoderEntryPoints = defaultDecoderEntryPoints();
