// The audio stream parameters a stream header sets, and the formats the reader starts from.
#pragma once

#include "platform/win32.h"

// Audio codecs of the stream header's codec tag.
inline constexpr LONG audioCodecPcm = 0;
inline constexpr LONG audioCodecBlockAdpcm = 7;
inline constexpr LONG audioCodecIma = 10;

struct AudioFormat {
    LONG channels;
    LONG rate;
    LONG bits;
    LONG codec;
};

// What every stream header starts from: mono, 22050 Hz, 16 bits, PCM.
inline constexpr AudioFormat defaultAudioFormat{1, 22050, 16, audioCodecPcm};
// What a fixed ("SKOD") header sets: stereo, 22050 Hz, 16 bits, IMA ADPCM.
inline constexpr AudioFormat fixedAudioFormat{2, 22050, 16, audioCodecIma};
