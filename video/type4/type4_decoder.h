// Decoder of type-4 frames (PLW and QZ2 chunks): self-contained intra pictures in one continuous
// bitstream of 16×16 macroblocks, each six blocks of a DC size code and difference against a
// running predictor followed by run/level-coded AC coefficients.
//
// The decoders read nothing at or beyond ctx->frameDataEnd (missing bits read as zeros) and
// write only inside the clip box ctx->clipLeft..clipRight × clipTop..clipBottom.
#pragma once

#include <cstdint>

#include "engine/context.h"

// Fills quant (64 entries) for the frame's quality byte.
void setupType4Quant(LONG* quant, LONG quality);

// Decode the bitstream at data (payload + 8) for a picture of ctx->config->movieWidth ×
// movieHeight to target, rows pitch bytes apart; second is not used. The RGB variants write one
// 16-bit pixel (Rgb16) or one 32-bit word (Rgb32) a picture pixel through the component and
// gamma tables; the YUY2 variant writes Y, U, Y, V bytes, two bytes a picture pixel.
void decodeType4FrameRgb16(PlayerContext* ctx, const BYTE* data, BYTE* target, BYTE* second,
                           LONG pitch);
void decodeType4FrameRgb32(PlayerContext* ctx, const BYTE* data, BYTE* target, BYTE* second,
                           LONG pitch);
void decodeType4FrameYuy2(PlayerContext* ctx, const BYTE* data, BYTE* target, BYTE* second,
                          LONG pitch);

// Bitstream layer, shared with the encoder and tests.

// One AC run/level code: its bits as written ("011"), without the sign bit that follows it.
struct Type4RunLevelCode {
    const char* bits;
    int run;
    int level;
};
inline constexpr int type4RunLevelCodeCount = 111;
extern const Type4RunLevelCode type4RunLevelCodes[type4RunLevelCodeCount];
// End of block and the escape (followed by a 6-bit run and an 8-bit level field).
inline constexpr const char* type4EndOfBlock = "10";
inline constexpr const char* type4Escape = "000001";

// Starts a frame: the bit reader at data, position 0, the three DC predictors 0.
void resetType4Frame(PlayerContext* ctx, const BYTE* data);
// The 32 stream bits from bit position pos of data[0..size), first bit in bit 31; bits at or
// beyond size read as zeros.
std::uint32_t peekType4Bits(const BYTE* data, std::ptrdiff_t size, std::int64_t pos);
// Decodes one block at ctx->type4BitPos into 64 samples at dest (rows stride apart), updating
// the block's DC predictor (component 0 luma, 1 Cb, 2 Cr) and the bit position.
void decodeType4Block(PlayerContext* ctx, int component, LONG* dest, int stride);
