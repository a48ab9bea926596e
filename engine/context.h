// PlayerContext: the engine's state for one open movie, allocated zero-filled at open and freed
// at close. Fields are grouped by the subsystem that owns them.
#pragma once

#include "audio/audio_format.h"
#include "display/display_state.h"
#include "engine/player.h"

inline constexpr LONG queueSlots = 24;     // entries in the frame and audio tables
inline constexpr LONG readAheadLimit = 22; // refill stops while this many are queued
inline constexpr LONG videoRingBytes = 1200000;
inline constexpr LONG audioRingBytes = 300000;
// Zeroed bytes kept after every queued video payload, so that a decoder's bit reader may look
// a few bytes past the payload end without leaving memory we own.
inline constexpr LONG videoPayloadSpare = 64;
// Largest audio, stream header or fixed header payload the reader takes.
inline constexpr LONG audioReadBufferBytes = 49152;
// Tracks whose own stream header parameters are kept; a later track uses the current ones.
inline constexpr LONG maxTrackFormats = 64;

struct FrameEntry {
    BYTE* payload;     // null when the slot is free
    LONG payloadBytes; // the entry's second word: length of the payload
    LONG sequence;     // videoSequence when the chunk was read
    LONG type;         // frame type code 1 to 7
    LONG lapStart;     // 1 on the first frame read after the reader went back to the top
};

struct AudioEntry {
    BYTE* samples; // null when the slot is free
    LONG bytes;    // decoded bytes (16-bit stereo frames)
    LONG stamp;    // videoSequence when the block was decoded
    LONG block;    // audioChunksRead before the block was stored
};

struct PlayerContext {
    PlayerConfig* config;

    // Control and play loop.
    LONG autoClose;
    DWORD startTick;
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
    AudioFormat trackFormats[maxTrackFormats];
    BYTE* audioReadBuffer; // audioReadBufferBytes bytes

    // Audio format of the selected track and the decoders' state.
    LONG audioChannels;
    LONG audioRate;
    LONG audioBits;
    LONG audioCodec;
    LONG adpcmHistory[4];
    ImaChannel imaState[2];
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

    // The frame being decoded, set by the dispatch before it calls a decoder.
    LONG frameType;
    LONG quality;
    const BYTE* frameDataEnd; // one past the payload: decoders read nothing beyond it
    // The part of the target a decoder may write, relative to the target pointer it is handed:
    // picture columns clipLeft..clipRight-1 and decoder rows (steps of the pitch it is handed)
    // clipTop..clipBottom-1. Pixels outside are not written.
    LONG clipLeft;
    LONG clipTop;
    LONG clipRight;
    LONG clipBottom;

    // DCT frame decoders (types 3 and 4): quantiser tables built per frame from quality, the
    // type-4 bit reader and DC predictors, and the type-4 header's option bits.
    LONG type3Quant[64];
    LONG type4Quant[64];
    const BYTE* type4BitBase;
    LONG type4BitPos;
    LONG dcPredY;
    LONG dcPredCb;
    LONG dcPredCr;
    LONG componentColour; // option bit 1: clamped, gamma-scaled RGB conversion
    LONG spareOption;     // option bit 0: carried, read by nothing

    // Display output (display/display_state.h).
    DisplayState display;

    LONG krtPaletteCount; // palette entries n of the last KRT key frame header

    // KRT decoder (types 1 and 2): the current and previous 8-bit pictures of the last key
    // frame's size, and the delta frames' tables. Pictures and the row and index tables are made
    // by key frames; the vector and block tables only grow. All freed by releaseKrtState.
    BYTE* krtPicture;       // krtPictureBytes bytes: w x h rounded up to a multiple of 16
    BYTE* krtPrevious;      // same size
    LONG* krtRowOffsets;    // 2h entries: entry i is (i - h) x w
    LONG* krtIndices;       // krtPictureBytes / 16 block indices of the last delta frame
    LONG* krtVectors;       // 2 x krtVectorCapacity: unpacked (dx, dy) pairs
    LONG* krtVectorOffsets; // krtVectorCapacity: dy x w + dx; krtNoOffset past the row table
    LONG krtVectorCapacity;
    BYTE* krtBlocks; // 16 x krtBlockCapacity: full blocks, then expanded two-bit blocks
    LONG krtBlockCapacity;
    LONG krtVectorCount; // M, F, T and W of the last delta frame
    LONG krtFullCount;
    LONG krtTwoBitCount;
    LONG krtIndexBits;
    LONG krtWidth; // size of the pictures, from the last key frame
    LONG krtHeight;
    LONG krtPictureBytes;
    LONG krtIndexCount; // indices krtIndices holds from a delta frame; 0 after a key frame

    // DOR frame decoder (types 5 to 7). Pictures are packed words of V, U, Y1, Y0 bytes, rows
    // dorWidth * 2 bytes apart, for a picture of dorWidth x dorHeight (the frame's size rounded
    // up to whole macroblocks); null until the first DOR frame, freed by releaseDorPictures.
    BYTE* dorReference; // last key or motion frame, the one motion frames predict from
    BYTE* dorDecoded;   // receives key and motion frames; exchanged with dorReference after each
    BYTE* dorNonRef;    // receives non-reference frames
    LONG dorWidth;
    LONG dorHeight;
    // Macroblock work area: samples with 16 fraction bits.
    LONG dorLumaBlock[256];
    LONG dorUBlock[64];
    LONG dorVBlock[64];
    LONG dorCoeff[64];   // coefficient block of the block being decoded
    LONG dorDequant[64]; // dequantisation table of the frame's quantiser scale
    // Bit reader: the next 32 stream bits (next bit in bit 31), how many of them are valid and
    // the next 16-bit word to load; words at or past frameDataEnd read as zeros.
    DWORD dorBitWindow;
    LONG dorBitCount;
    const BYTE* dorNextWord;
};
