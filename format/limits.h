// The largest payloads the player's reader takes. A larger payload is passed over unread: the
// chunk still holds its place (an audio run's count, a leading header's track), but nothing of
// it is played.
#pragma once

#include "platform/win32.h"

// Largest audio data, stream header or fixed header payload: the reader's audio buffer.
inline constexpr LONG maxAudioPayload = 49152;
// Largest decoded audio block the reader queues, in bytes of 16-bit stereo frames: the whole
// audio ring. A payload that decodes to more is cut to this many.
inline constexpr LONG maxAudioBlockBytes = 300000;
// Largest video payload: one that fills the whole video ring.
inline constexpr LONG maxVideoPayload = 1200000;
// Tracks whose own stream header parameters the reader keeps; a later track plays in the
// format of the last header read.
inline constexpr LONG maxTrackFormats = 64;
