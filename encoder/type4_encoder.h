// Encoder of type-4 frames (PLW and QZ2 chunks): intra macroblocks with DC prediction and the
// run/level AC code.
#pragma once

#include "encoder/dct_encoder.h"

// A complete type-4 chunk payload (8-byte header and bitstream) at quality 0 to 100; the
// header's componentColour option bit is set when asked for.
Bytes encodeType4Frame(const YuvPicture& picture, int quality, bool componentColour = true);
