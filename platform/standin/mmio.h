// Windows multimedia file I/O: buffered reading of a disk file or a memory block through an
// HMMIO handle, with the platform's flags and return conventions.
#pragma once

#include "platform/standin/windows_base.h"

struct HMMIO__;
using HMMIO = HMMIO__*;
using MMRESULT = UINT;

#define mmioFOURCC(ch0, ch1, ch2, ch3) MAKEFOURCC(ch0, ch1, ch2, ch3)
#define FOURCC_DOS mmioFOURCC('D', 'O', 'S', ' ')
#define FOURCC_MEM mmioFOURCC('M', 'E', 'M', ' ')

#define MMSYSERR_NOERROR 0
#define MMIOERR_BASE 256
#define MMIOERR_FILENOTFOUND (MMIOERR_BASE + 1)
#define MMIOERR_OUTOFMEMORY (MMIOERR_BASE + 2)
#define MMIOERR_CANNOTOPEN (MMIOERR_BASE + 3)
#define MMIOERR_CANNOTCLOSE (MMIOERR_BASE + 4)
#define MMIOERR_CANNOTREAD (MMIOERR_BASE + 5)
#define MMIOERR_CANNOTWRITE (MMIOERR_BASE + 6)
#define MMIOERR_CANNOTSEEK (MMIOERR_BASE + 7)
#define MMIOERR_CANNOTEXPAND (MMIOERR_BASE + 8)
#define MMIOERR_CHUNKNOTFOUND (MMIOERR_BASE + 9)
#define MMIOERR_UNBUFFERED (MMIOERR_BASE + 10)

#define MMIO_READ 0x00000000
#define MMIO_WRITE 0x00000001
#define MMIO_READWRITE 0x00000002
#define MMIO_CREATE 0x00001000
#define MMIO_ALLOCBUF 0x00010000

#ifndef SEEK_SET
#define SEEK_SET 0
#define SEEK_CUR 1
#define SEEK_END 2
#endif

using LPMMIOPROC = LRESULT(CALLBACK*)(LPSTR mmioInfo, UINT message, LPARAM param1, LPARAM param2);

// The multimedia records are byte-packed, as on the platform.
#pragma pack(push, 1)
struct MMIOINFO {
    DWORD dwFlags;
    FOURCC fccIOProc;
    LPMMIOPROC pIOProc;
    UINT wErrorRet;
    HANDLE htask;
    LONG cchBuffer;
    HPSTR pchBuffer;
    HPSTR pchNext;
    HPSTR pchEndRead;
    HPSTR pchEndWrite;
    LONG lBufOffset;
    LONG lDiskOffset;
    DWORD adwInfo[3];
    DWORD dwReserved1;
    DWORD dwReserved2;
    HMMIO hmmio;
};
#pragma pack(pop)
using LPMMIOINFO = MMIOINFO*;

// Opens a file for reading (flags MMIO_READ). With info->fccIOProc FOURCC_MEM and a null name,
// reads info->cchBuffer bytes at info->pchBuffer instead. Returns null on failure, with the
// reason in info->wErrorRet when info is given.
HMMIO mmioOpenA(LPSTR fileName, LPMMIOINFO info, DWORD flags);
// Sets up the handle's I/O buffer; a null buffer makes the file allocate its own.
MMRESULT mmioSetBuffer(HMMIO file, LPSTR buffer, LONG size, UINT flags);
// Reads up to size bytes; returns the count read, 0 at the end of the file, -1 on an error.
LONG mmioRead(HMMIO file, HPSTR buffer, LONG size);
// Moves the position (SEEK_SET, SEEK_CUR, SEEK_END); returns the new position or -1.
LONG mmioSeek(HMMIO file, LONG offset, int origin);
MMRESULT mmioClose(HMMIO file, UINT flags);

namespace qzplat {
// Makes every read that reaches the byte at offset (or beyond) fail with -1.
void mmioFailReadsFrom(HMMIO file, LONG offset);
// Makes the next n mmioSetBuffer calls fail with MMIOERR_OUTOFMEMORY.
void mmioFailNextSetBuffers(int n);
// Number of handles open right now (for leak checks in tests).
int mmioOpenHandles();
} // namespace qzplat
