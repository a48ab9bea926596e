// Encoder of DOR frames: key frames ("DORk", every block intra-coded), motion frames ("DORm",
// blocks copied from the reference picture with a brightness offset where that serves better
// than intra coding; the result becomes the next reference) and non-reference frames ("DORe",
// coded like motion frames but never used as a reference).
//
// The encoder follows the decoder: every payload it returns is decoded by the player's own
// DOR decoder into the encoder's reference, so motion frames predict from exactly the picture
// a player holds.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>

#include "encoder/dct_encoder.h"

struct VideoState;

enum class DorFrameKind { key, motion, nonReference };

// The chunk id ("DORk", "DORm", "DORe") as its little-endian value, and the frame type code.
std::uint32_t dorChunkId(DorFrameKind kind);
long dorFrameType(DorFrameKind kind);

struct DorEncoderOptions {
    int quantiser = 6;    // quantiser scale q, 1 to 127: larger is coarser
    int searchRange = 16; // motion vectors within ±searchRange (at most 16)
};

class DorEncoder {
  public:
    explicit DorEncoder(DorEncoderOptions options = {});
    ~DorEncoder();
    DorEncoder(const DorEncoder&) = delete;
    DorEncoder& operator=(const DorEncoder&) = delete;

    // A complete chunk payload for the picture (1 to 2048 pixels a side).
    // A motion frame before any key frame predicts from the all-zero reference, as a player does.
    Bytes encode(const YuvPicture& picture, DorFrameKind kind);

    // Sets the quantiser scale (clamped to 1..127) of the frames encoded from now on; each frame
    // carries its own, so rate control may change it from frame to frame.
    void setQuantiser(int quantiser) { options_.quantiser = std::clamp(quantiser, 1, 127); }

    // The picture the last encoded frame decodes to: packed V, U, Y1, Y0 words, rows 2 × width
    // bytes apart, the width rounded up to a multiple of 16 (null before the first frame).
    const std::uint8_t* lastPicture() const { return last_; }

  private:
    DorEncoderOptions options_;
    std::unique_ptr<VideoState> video_;
    const std::uint8_t* last_ = nullptr;
};

// Picture bytes (sample + 64, 0 to 127) that show 8-bit luma, Cb and Cr most closely through
// the decoder's colour conversion.
int dorLumaByte(int luma);
int dorCbByte(int cb);
int dorCrByte(int cr);
