#include "platform/standin/mmio.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

struct HMMIO__ {
    std::FILE* disk = nullptr;        // disk file, or null for a memory file
    const char* memory = nullptr;     // memory file contents (not owned)
    LONG memorySize = 0;
    LONG position = 0;                // current offset from the start
    LONG diskPosition = 0;            // where the stdio stream stands (avoids needless seeks)
    LONG failFrom = -1;               // reads reaching this offset fail (tests)
    std::vector<char> buffer;         // I/O buffer given by mmioSetBuffer
};

namespace {
std::atomic<int> setBufferFailures{0};
std::atomic<int> openHandles{0};

LONG fileSize(HMMIO file) {
    if (file->disk == nullptr) return file->memorySize;
    std::fseek(file->disk, 0, SEEK_END);
    long size = std::ftell(file->disk);
    file->diskPosition = -1;
    return static_cast<LONG>(size);
}
} // namespace

HMMIO mmioOpenA(LPSTR fileName, LPMMIOINFO info, DWORD flags) {
    if ((flags & (MMIO_WRITE | MMIO_READWRITE | MMIO_CREATE)) != 0) {
        if (info != nullptr) info->wErrorRet = MMIOERR_CANNOTOPEN;
        return nullptr;
    }
    auto* file = new HMMIO__;
    if (info != nullptr && info->fccIOProc == FOURCC_MEM) {
        file->memory = info->pchBuffer;
        file->memorySize = info->cchBuffer;
    } else {
        file->disk = fileName != nullptr ? std::fopen(fileName, "rb") : nullptr;
        if (file->disk == nullptr) {
            delete file;
            if (info != nullptr) info->wErrorRet = MMIOERR_FILENOTFOUND;
            return nullptr;
        }
    }
    if (info != nullptr) {
        info->wErrorRet = 0;
        info->hmmio = file;
    }
    openHandles.fetch_add(1);
    return file;
}

MMRESULT mmioSetBuffer(HMMIO file, LPSTR buffer, LONG size, UINT) {
    if (file == nullptr) return MMIOERR_CANNOTREAD;
    if (setBufferFailures.load() > 0) {
        setBufferFailures.fetch_sub(1);
        return MMIOERR_OUTOFMEMORY;
    }
    if (size < 0) return MMIOERR_OUTOFMEMORY;
    if (file->disk != nullptr) {
        if (buffer == nullptr) {
            file->buffer.assign(static_cast<size_t>(size), 0);
            buffer = size > 0 ? file->buffer.data() : nullptr;
        }
        std::setvbuf(file->disk, buffer, size > 0 ? _IOFBF : _IONBF, static_cast<size_t>(size));
    }
    return MMSYSERR_NOERROR;
}

LONG mmioRead(HMMIO file, HPSTR buffer, LONG size) {
    if (file == nullptr || size < 0) return -1;
    if (size == 0) return 0;
    if (file->failFrom >= 0 && file->position + size > file->failFrom) return -1;
    LONG got = 0;
    if (file->disk == nullptr) {
        LONG left = file->memorySize - file->position;
        got = left <= 0 ? 0 : (size < left ? size : left);
        if (got > 0) std::memcpy(buffer, file->memory + file->position, static_cast<size_t>(got));
    } else {
        if (file->diskPosition != file->position) {
            if (std::fseek(file->disk, file->position, SEEK_SET) != 0) return -1;
            file->diskPosition = file->position;
        }
        size_t n = std::fread(buffer, 1, static_cast<size_t>(size), file->disk);
        if (n == 0 && std::ferror(file->disk)) {
            std::clearerr(file->disk);
            file->diskPosition = -1;
            return -1;
        }
        got = static_cast<LONG>(n);
        file->diskPosition += got;
    }
    file->position += got;
    return got;
}

LONG mmioSeek(HMMIO file, LONG offset, int origin) {
    if (file == nullptr) return -1;
    long long base = 0;
    switch (origin) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = file->position; break;
    case SEEK_END: base = fileSize(file); break;
    default: return -1;
    }
    long long target = base + offset;
    if (target < 0 || target > 0x7FFFFFFFLL) return -1;
    file->position = static_cast<LONG>(target);
    return file->position;
}

MMRESULT mmioClose(HMMIO file, UINT) {
    if (file == nullptr) return MMIOERR_CANNOTCLOSE;
    if (file->disk != nullptr) std::fclose(file->disk);
    delete file;
    openHandles.fetch_sub(1);
    return MMSYSERR_NOERROR;
}

namespace qzplat {
void mmioFailReadsFrom(HMMIO file, LONG offset) {
    if (file != nullptr) file->failFrom = offset;
}
void mmioFailNextSetBuffers(int n) { setBufferFailures.store(n); }
int mmioOpenHandles() { return openHandles.load(); }
} // namespace qzplat
