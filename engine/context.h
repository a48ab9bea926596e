// PlayerContext: the engine's state for one open movie, allocated zero-filled at open and freed
// at close. Fields are grouped by the subsystem that owns them.
#pragma once

#include "audio/audio_format.h"
#include "display/display_state.h"
#include "engine/player.h"
#include "format/limits.h"
#include "video/video_state.h"

inline constexpr LONG queueSlots = 24;     // entries in the frame and audio tables
inline constexpr LONG readAheadLimit = 22; // refill stops while this many are queued
inline constexpr LONG videoRingBytes = 1200000;
inline constexpr LONG audioRingBytes = 300000;

struct FrameEntry {
    BYTE* payload;     // null when the slot is free
    LONG payloadBytes; // the entry's second word: length of the payload
    LONG sequence;     // videoSequence when the chunk was read
    LONG type;         // frame type code 1 to 7
    LONG lapStart;     // 1 on the first frame read after the reader went back to the top
    LONG slot;         // the movie's frame slot (engine/seek.h), -1 when not indexed
};

struct AudioEntry {
    BYTE* samples; // null when the slot is free
    LONG bytes;    // decoded bytes (16-bit stereo frames)
    LONG stamp;    // videoSequence when the block was decoded
    LONG block;    // audioChunksRead before the block was stored
};

struct MovieIndex;
struct ImaCheckpoints;

struct PlayerContext {
    PlayerConfig* config;

    // Control and play loop.
    LONG autoClose;
    DWORD startTick;
    // When frame slot 0 was due, for pacing at a caller's rate: moved on by pauses and seeks.
    DWORD paceTick;
    DWORD endTick;

    // Reader: rings, queues and counters.
    BYTE* videoRing;
    BYTE* videoWrite;
    BYTE* audioRing;
    BYTE* audioWrite;
    FrameEntry frameTable[queueSlots];
    LONG frameWriteIndex;
    LONG frameReadIndex;
    LONG framesBuffered;
    AudioEntry audioTable[queueSlots];
    LONG audioWriteIndex;
    LONG audioReadIndex;
    LONG audioBuffered;
    LONG videoSequence;
    LONG audioChunksRead;
    LONG audioBytesRead;
    LONG audioLead;
    LONG audioRun;
    LONG loopOffset;
    LONG loopRun; // audioRun before the chunk at loopOffset was counted; restored on a loop
    LONG lastRead;
    LONG lapPending; // the reader went back to the top; the next frame read starts a lap
    // Stream headers read in a row from the top of the file (the n-th describes track n);
    // -1 once any other chunk has been read.
    LONG leadingHeaders;
    // Bytes of unusable chunk headers read in a row; past maxUnusableRunBytes the data has ended.
    LONG unusableBytes;
    // videoSequence and audioChunksRead when the current lap began: a lap that stores neither
    // ends a looping movie, which would otherwise go round for ever showing nothing.
    LONG lapVideoMark;
    LONG lapAudioMark;
    LONG loopEnded; // set by the reader: the data has ended for good, loopPlay or not
    AudioFormat trackFormats[maxTrackFormats];
    BYTE* audioReadBuffer; // maxAudioPayload bytes (format/limits.h)

    // Seeking (engine/seek.h): the index built at open, the slot asked for plus one (0: none;
    // written by the caller's thread, taken by the play thread), and seeks carried out.
    MovieIndex* index;
    ImaCheckpoints* imaCheckpoints; // decoder states met by seeks (engine/seek.cpp)
    LONG seekRequest;
    LONG seeksDone;
    LONG shownSlot;     // slot of the frame played last (shown, or late and only decoded)
    LONG slotRateMilli; // frame slots in a thousand seconds

    // Audio format of the selected track and the decoders' state.
    LONG audioChannels;
    LONG audioRate;
    LONG audioBits;
    LONG audioCodec;
    LONG adpcmHistory[4];
    ImaChannel imaState[2];
    LONG imaTrack; // the track whose state imaState holds; 0 before the first block
    ImaChannel trackIma[maxTrackFormats][2]; // the other tracks' states (engine/track_state.h)
    LONG endOfFile;

    // Audio output and the clock.
    LONG audioStarted;
    LONG soundBufferBytes;
    LONG soundWritePos;
    LONG audioClock;
    LONG audioTicks;
    LONG audioThreadRun;
    std::uintptr_t audioThread;
    LONG simulatedPlayPos;
    DWORD simulatedTick;
    LONG simulatedRate;      // samples a second the simulated cursor plays, fixed at creation
    LONG simulatedRemainder; // thousandths of a byte the simulated cursor still owes
    LONG soundBlockOffset;   // bytes of an oversized queued block already in the buffer
    LONG noSoundDevice;
    LONG requestedBufferBytes;
    LONG ownsDirectSound;
    LONG lockFailedPasses;   // feeder passes the waiting block has found the buffer unlockable
    LONG audioChunksDropped; // blocks given up after the buffer stayed unlockable
    LONG lastPlayPos;        // play cursor at the feeder's previous pass
    LONG soundTailPos;       // write position just after the last block written
    LONG soundTailHeard;     // the play cursor has passed soundTailPos
    LONG lastBlockBytes;     // length of the last block written: one slot of sound
    LONG silenceBytes;       // silence written since the clock last moved for it

    // The video decoders' state and the frame being decoded; its output description is
    // filled from the config by the frame dispatch before each frame.
    VideoState video;

    // Display output (display/display_state.h).
    DisplayState display;
};
