// VideoState: everything the frame decoders keep between and during frames, one record per
// decoded stream. It is a plain record: zero-filled it is a stream with no frame decoded yet,
// and releaseVideoState frees what the decoders allocated. The player embeds one in its context;
// anything else that decodes frames (tools, tests, benches) builds one of its own.
#pragma once

#include "api/player_config.h"

// Zeroed bytes every video payload must have after its end (the reader's queue and the frame
// decoder keep them), so that a decoder's bit reader may look a few bytes past the payload end
// without leaving memory we own.
inline constexpr LONG videoPayloadSpare = 64;

// How the decoders write pixels, filled by the caller before a frame is decoded.
struct VideoOutput {
    PixelFormat pixelFormat; // the target's pixels: depth 8 palettised, 15 or 16, else 32 bits
    DWORD flags;             // PlayerConfig flag bits; the decoders follow doubleX, doubleY, skipY
    LONG gamma;              // percent a KRT key frame's palette is scaled by
    BYTE* paletteRgb;        // 768 bytes: a KRT key frame header stores its palette here
    DWORD* paletteLookup;    // 256 display pixels of paletteRgb, for KRT output above 8 bits
};

// DCT frame decoders (types 3 and 4): quantiser tables built per frame from quality, the type-4
// bit reader and DC predictors, and the type-4 header's option bits.
struct DctState {
    LONG type3Quant[64];
    LONG type4Quant[64];
    const BYTE* type4BitBase;
    LONG type4BitPos;
    LONG dcPredY;
    LONG dcPredCb;
    LONG dcPredCr;
    LONG componentColour; // option bit 1: clamped, gamma-scaled RGB conversion
    LONG spareOption;     // option bit 0: carried, read by nothing
};

// KRT decoder (types 1 and 2): the current and previous 8-bit pictures of the last key frame's
// size, and the delta frames' tables. Pictures and the row and index tables are made by key
// frames; the vector and block tables only grow. All freed by releaseKrtState.
struct KrtState {
    LONG paletteCount;   // palette entries n of the last key frame header
    BYTE* picture;       // pictureBytes bytes: w x h rounded up to a multiple of 16
    BYTE* previous;      // same size
    LONG* rowOffsets;    // 2h entries: entry i is (i - h) x w
    LONG* indices;       // pictureBytes / 16 block indices of the last delta frame
    LONG* vectors;       // 2 x vectorCapacity: unpacked (dx, dy) pairs
    LONG* vectorOffsets; // vectorCapacity: dy x w + dx; krtNoOffset past the row table
    LONG vectorCapacity;
    BYTE* blocks; // 16 x blockCapacity: full blocks, then expanded two-bit blocks
    LONG blockCapacity;
    LONG vectorCount; // M, F, T and W of the last delta frame
    LONG fullCount;
    LONG twoBitCount;
    LONG indexBits;
    LONG width; // size of the pictures, from the last key frame
    LONG height;
    LONG pictureBytes;
    LONG indexCount; // indices holds this many from a delta frame; 0 after a key frame
};

// DOR frame decoder (types 5 to 7). Pictures are packed words of V, U, Y1, Y0 bytes, rows
// width * 2 bytes apart, for a picture of width x height (the frame's size rounded up to whole
// macroblocks); null until the first DOR frame, freed by releaseDorPictures.
struct DorState {
    BYTE* reference; // last key or motion frame, the one motion frames predict from
    BYTE* decoded;   // receives key and motion frames; exchanged with reference after each
    BYTE* nonRef;    // receives non-reference frames
    LONG width;
    LONG height;
    // Macroblock work area: samples with 16 fraction bits.
    LONG lumaBlock[256];
    LONG uBlock[64];
    LONG vBlock[64];
    LONG coeff[64];   // coefficient block of the block being decoded
    LONG dequant[64]; // dequantisation table of the frame's quantiser scale
    // Bit reader: the next 32 stream bits (next bit in bit 31), how many of them are valid and
    // the next 16-bit word to load; words at or past frameDataEnd read as zeros.
    DWORD bitWindow;
    LONG bitCount;
    const BYTE* nextWord;
};

struct VideoState {
    VideoOutput output;

    // The frame being decoded, set by the frame header reader before a decoder runs.
    LONG frameType;
    LONG quality;
    const BYTE* frameDataEnd; // one past the payload: decoders read nothing beyond it
    // Picture size of the last frame header that carried one (a KRT delta frame keeps it).
    LONG width;
    LONG height;
    // The part of the target a decoder may write, relative to the target pointer it is handed:
    // picture columns clipLeft..clipRight-1 and decoder rows (steps of the pitch it is handed)
    // clipTop..clipBottom-1. Pixels outside are not written.
    LONG clipLeft;
    LONG clipTop;
    LONG clipRight;
    LONG clipBottom;

    DctState dct;
    KrtState krt;
    DorState dor;
};

// Frees every buffer the decoders made (KRT pictures and tables, DOR pictures), nulling each
// pointer: the stream then decodes as from its start. The output and frame fields are kept.
void releaseVideoState(VideoState& video);
