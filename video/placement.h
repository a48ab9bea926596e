// Where a decoded picture goes in the target memory: the decoder pointer, the clip box that
// keeps every decoder write inside the target, and the column doubling and row repeating done
// around a decoder.
#pragma once

#include "video/video_state.h"

// The memory a decoder may write: a locked surface, the YUV staging image or a caller buffer.
struct TargetArea {
    BYTE* base;    // first byte of the first row
    BYTE* second;  // second pointer handed along (the other caller buffer)
    LONG pitch;    // bytes from a row to the next, above zero
    LONG rowBytes; // bytes of each row that belong to the target (the row padding does not)
    LONG rows;
};

// Bytes one display pixel takes: 1 palettised, 2 for the 16-bit family, else 4.
LONG displayPixelBytes(LONG depth);

// The decoder pointer offsetRows rows and offsetBytes bytes into area, with decoder rows
// rowStep target rows apart and picture columns columnBytes wide; sets video's clip box
// to the picture columns and decoder rows that lie inside area. Returns null when no pixel of
// the picture lands inside (the pointer may lie before area's start; only the box is written).
BYTE* placeDecoderTarget(VideoState* video, const TargetArea& area, LONG offsetRows,
                         LONG offsetBytes, LONG rowStep, LONG columnBytes);

// The decoder pointer for a picture placed by placeDecoderTarget with columnBytes twice
// pixelBytes, for a decoder that writes pixelBytes a picture pixel: the visible columns go
// packed from the first visible doubled column on, where spreadColumns later doubles them.
BYTE* packedDecoderTarget(const VideoState* video, BYTE* placed, LONG pixelBytes);

// Doubles, in place, the clip box's columns of the decoder rows before rowsWritten that a decoder
// wrote packed through packedDecoderTarget, so that each picture pixel shows twice. The other
// arguments are those placeDecoderTarget was given.
void spreadColumns(const VideoState* video, const TargetArea& area, LONG offsetRows,
                   LONG offsetBytes, LONG rowStep, LONG pixelBytes, LONG rowsWritten);
// The inverse of spreadColumns, run before the decoder: packs the doubled picture shown last
// back where the decoder writes, so that what a decoder leaves unwritten (skipped macroblocks)
// keeps the last picture once spread again.
void packColumns(const VideoState* video, const TargetArea& area, LONG offsetRows, LONG offsetBytes,
                 LONG rowStep, LONG pixelBytes, LONG rowsWritten);

// Copies each decoded row of the clip box (decoder rows before rowsWritten, placed two target
// rows apart) into the target row below it, where that row lies inside area.
void repeatRows(const VideoState* video, const TargetArea& area, LONG offsetRows, LONG offsetBytes,
                LONG columnBytes, LONG rowsWritten);
