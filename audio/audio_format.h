// The audio format of a stream (format/audio_format.h) and the ADPCM decoders' running state.
#pragma once

#include "format/audio_format.h"

// One channel of the IMA ADPCM decoder: predictor in -32768..32767, step index in 0..88.
struct ImaChannel {
    LONG predictor;
    LONG stepIndex;
};
