// Decoder of type-4 frames (PLW and QZ2 chunks): self-contained intra pictures in one continuous
// bitstream of 16×16 macroblocks, each six blocks of a DC size code and difference against a
// running predictor followed by run/level-coded AC coefficients.
//
// The decoders read nothing at or beyond video->frameDataEnd (missing bits read as zeros) and
// write only inside the clip box video->clipLeft..clipRight × clipTop..clipBottom.
#pragma once

#include <cstdint>

#include "video/video_state.h"
#include "video/dct/colour_rows.h"
#include "video/dct/macroblock_output.h"

// Fills quant (64 entries) for the frame's quality byte.
void setupType4Quant(LONG* quant, LONG quality);

// Decode the bitstream at data (payload + 8) for a picture of video->width ×
// movieHeight to target, rows pitch bytes apart; second is not used. The RGB variants write one
// 16-bit pixel (Rgb16) or one 32-bit word (Rgb32) a picture pixel through the component and
// gamma tables; the YUY2 variant writes Y, U, Y, V bytes, two bytes a picture pixel.
void decodeType4FrameRgb16(VideoState* video, const BYTE* data, BYTE* target, BYTE* second,
                           LONG pitch);
void decodeType4FrameRgb32(VideoState* video, const BYTE* data, BYTE* target, BYTE* second,
                           LONG pitch);
void decodeType4FrameYuy2(VideoState* video, const BYTE* data, BYTE* target, BYTE* second,
                          LONG pitch);

// Row conversions of one macroblock row: 16 luma samples, 8 Cb and 8 Cr samples to 16 pixels.
// The RGB rows look each 9-bit lane field of a component sum up in lane tables made from the
// gamma tables (currentGammaLanes); the plain forms read the gamma tables through their limits for
// every pixel and are kept to hold the fast ones to.
using Type4LaneTables = GammaLaneTables;
void type4Rgb32Row(const Type4LaneTables& lanes, const LONG* luma, const LONG* cb, const LONG* cr,
                   BYTE* dest);
void type4Rgb16Row(const Type4LaneTables& lanes, const LONG* luma, const LONG* cb, const LONG* cr,
                   BYTE* dest);
void type4Rgb32RowPlain(const LONG* luma, const LONG* cb, const LONG* cr, BYTE* dest);
void type4Rgb16RowPlain(const LONG* luma, const LONG* cb, const LONG* cr, BYTE* dest);
void type4Yuy2Row(const LONG* luma, const LONG* cb, const LONG* cr, BYTE* dest);
void type4Yuy2RowPlain(const LONG* luma, const LONG* cb, const LONG* cr, BYTE* dest);

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

// Two AC codes by one lookup of the next type4PairBits stream bits: the first code (run/level
// with its sign, or the end of block) and, when it lies whole in the bits after it, the second.
// step is the run + 1, type4PairEndOfBlock for the end of block; a missing second code has step
// 0 and repeats the first code's level, so a reader storing it rewrites the first coefficient
// unchanged instead of branching. len1 0: the bits begin a longer code, an escape or no code.
// The bits of both codes are in a table of their own (type4CodePairLengths).
struct Type4CodePair {
    std::int16_t level1;
    std::int16_t level2;
    std::uint8_t step1;
    std::uint8_t step2;
    std::uint8_t len1; // bits of the first code with its sign
};
inline constexpr int type4PairBits = 11;
inline constexpr int type4PairEndOfBlock = 64;
// The table, 1 << type4PairBits entries, built on first use.
const Type4CodePair* type4CodePairs();
// The bits both codes of each entry take (those of the first alone where there is no second),
// by the same index: a reader that shifts its bits by them loads the count straight from the
// looked-up bits, without first forming the entry's address.
const std::uint8_t* type4CodePairLengths();

// Starts a frame: the bit reader at data, position 0, the three DC predictors 0.
void resetType4Frame(VideoState* video, const BYTE* data);
// The 32 stream bits from bit position pos of data[0..size), first bit in bit 31; bits at or
// beyond size read as zeros.
std::uint32_t peekType4Bits(const BYTE* data, std::ptrdiff_t size, std::int64_t pos);
// Decodes one block at video->dct.type4BitPos into 64 samples at dest (rows stride apart), updating
// the block's DC predictor (component 0 luma, 1 Cb, 2 Cr) and the bit position. With flat, tells
// whether the block had no AC coefficient (all 64 samples then equal).
void decodeType4Block(VideoState* video, int component, LONG* dest, int stride,
                      bool* flat = nullptr);

// The stream's bits in a 64-bit window, next bit at the top; words are loaded as the window
// empties, and words past the data read as zeros.
class Type4Bits {
  public:
    Type4Bits(const BYTE* data, std::ptrdiff_t size, std::int64_t pos);
    // At least 32 bits in the window: every code with its following fields fits in them.
    void fill() {
        if (count_ < 32) {
            window_ |= std::uint64_t{word(next_++)} << (32 - count_);
            count_ += 32;
        }
    }
    std::uint32_t peek() const { return static_cast<std::uint32_t>(window_ >> 32); }
    // The next n bits (1 to 32), by one shift of the window.
    std::uint32_t top(int n) const { return static_cast<std::uint32_t>(window_ >> (64 - n)); }
    void skip(int n) {
        window_ <<= n;
        count_ -= n;
    }
    std::uint32_t read(int n) {
        const std::uint32_t value = peek() >> (32 - n);
        skip(n);
        return value;
    }
    std::int64_t pos() const { return next_ * 32 - count_; }

  private:
    std::uint32_t word(std::int64_t i) const;

    const BYTE* data_;
    std::ptrdiff_t size_;
    std::int64_t next_;
    std::uint64_t window_ = 0;
    int count_ = 0;
};

struct Type4Tables;
struct VideoDsp;

// A frame's bit reader and DC predictors held across its macroblocks, taken from the state
// and given back by finish().
class Type4Stream {
  public:
    explicit Type4Stream(VideoState* video);
    // Decodes the next macroblock's six blocks into planes; flat[b] tells whether block b
    // (Y0..Y3, Cb, Cr) had no AC coefficient.
    void macroblock(MacroblockPlanes& planes, bool flat[6]);
    // Stores the bit position and the predictors in the state.
    void finish();

  private:
    VideoState* video_;
    const Type4Tables* tables_;
    const VideoDsp* dsp_; // the forms in use when the frame started
    std::ptrdiff_t size_;
    Type4Bits bits_;
    LONG pred_[3];
    LONG scanQuant_[64];                 // the quantiser in scan order
    alignas(64) LONG coeff_[6][64] = {}; // zero between macroblocks
};
