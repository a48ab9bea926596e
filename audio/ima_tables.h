// Tables and single-sample steps of the two ADPCM codecs. The encoders use the same steps as
// the decoders so that what they simulate is exactly what will be heard.
#pragma once

#include "audio/audio_format.h"

// IMA ADPCM step sizes, indexed by the step index 0..88.
inline constexpr int imaStepCount = 89;
extern const LONG imaStepTable[imaStepCount];
// Step index change for a nibble's three magnitude bits.
extern const LONG imaIndexTable[8];
// Block ADPCM predictor coefficients (c1, c2) in units of 1/256, by coefficient index 0..3.
inline constexpr int blockAdpcmCoefficientCount = 4;
extern const LONG blockAdpcmCoefficients[blockAdpcmCoefficientCount][2];

inline LONG clampSample(LONG v) {
    return v < -32768 ? -32768 : (v > 32767 ? 32767 : v);
}

// Brings a channel state from anywhere into range, so table look-ups stay inside the table.
inline void imaSanitize(ImaChannel& ch) {
    ch.predictor = clampSample(ch.predictor);
    ch.stepIndex = ch.stepIndex < 0 ? 0 : (ch.stepIndex > 88 ? 88 : ch.stepIndex);
}

// One IMA step with nibble 0..15 on a sanitized channel; returns the new sample.
inline LONG imaStep(ImaChannel& ch, unsigned nibble) {
    LONG step = imaStepTable[ch.stepIndex];
    LONG diff = step >> 3;
    if (nibble & 4) diff += step;
    if (nibble & 2) diff += step >> 1;
    if (nibble & 1) diff += step >> 2;
    if (nibble & 8) diff = -diff;
    ch.predictor = clampSample(ch.predictor + diff);
    LONG index = ch.stepIndex + imaIndexTable[nibble & 7];
    ch.stepIndex = index < 0 ? 0 : (index > 88 ? 88 : index);
    return ch.predictor;
}

// The clamped sample a block ADPCM nibble d (-8..7) produces with shift s (0..15) from the
// predictor sum c1 * current + c2 * previous.
inline LONG blockAdpcmSample(LONG d, LONG shift, LONG prediction) {
    return clampSample((d * (LONG{1} << (20 - shift)) + prediction + 128) >> 8);
}
