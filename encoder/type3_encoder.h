// Encoder of type-3 frames (WNB and QZ chunks): flat, skipped and DCT-coded macroblocks.
#pragma once

#include "encoder/dct_encoder.h"

// A complete type-3 chunk payload (8-byte header and macroblocks) at quality 0 to 100. With a
// previous picture of the same size, macroblocks whose samples equal it are skipped, so the
// player keeps the previous frame's pixels there.
Bytes encodeType3Frame(const YuvPicture& picture, int quality,
                       const YuvPicture* previous = nullptr);
