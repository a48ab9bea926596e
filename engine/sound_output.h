// Sound output: the looping stream buffer, the feeder thread that copies decoded audio blocks
// into it every 10 ms, and the audio clock the play loop paces against. Without a sound device
// the feeder runs on a simulated play cursor that moves at the stream's own rate.
#pragma once

#include "engine/context.h"

// Bytes of the stream buffer when neither the caller's primary buffer nor the prefill's
// average block size sets it.
inline constexpr LONG defaultStreamBufferBytes = 32768;
// Milliseconds between two passes of the feeder thread.
inline constexpr DWORD feederPeriodMs = 10;
// Rate the simulated cursor plays at when the stream header gave no usable rate.
inline constexpr LONG fallbackStreamRate = 22050;

// Makes (or adopts) the sound device and decides the stream buffer size; called at open.
void audioSetup(PlayerContext* ctx);
// Creates the looping stream buffer and starts it, falling back to simulated output; always
// leaves audioStarted at 1.
void createStreamBuffer(PlayerContext* ctx);
// Starts the feeder thread: 0, or 1 when no thread could be made.
LONG startStreamThread(PlayerContext* ctx);
// With the feeder thread stopped: writes queued blocks into the stream buffer from where it is
// heard next, as the feeder's passes would, until the buffer or the queue runs out. A seek
// calls it so that no sound from before the seek is heard however late the feeder runs.
void primeStream(PlayerContext* ctx);
// Stops the feeder thread and waits for its acknowledgement: 0, or 1 when none was running.
LONG stopStreamThread(PlayerContext* ctx);
// Releases the stream buffer and clears soundBuffer.
void releaseStreamBuffer(PlayerContext* ctx);
// Releases the sound device if the engine made it; called at close.
void audioTeardown(PlayerContext* ctx);

// End of the movie: 1 once the stream buffer has played out (or there is none). A buffer that
// still loops is switched to play once to its end, as soon as that no longer cuts off the
// last block written.
LONG streamPlayedOut(PlayerConfig* config);
// Pause and resume of the stream buffer, when there is one. These and the setters may run on
// any thread: the buffer is never released under them.
void stopStream(PlayerConfig* config);
void resumeStream(PlayerConfig* config);
void setStreamVolume(PlayerConfig* config, LONG volume);
void setStreamFrequency(PlayerConfig* config, DWORD hertz);

// Free bytes between the write position and the play cursor; equal positions count as a whole
// free buffer.
LONG streamFreeSpace(LONG playPos, LONG writePos, LONG bufferBytes);
// Moves the simulated play cursor on by what the stream plays in elapsedMs, carrying the
// fraction of a byte to the next call; returns the new position.
LONG advanceSimulatedCursor(PlayerContext* ctx, DWORD elapsedMs);
