// A look at a movie file before it is opened: the kind of its first video frame, from the chunk
// headers alone.
#include "engine/chunk_ids.h"
#include "engine/player.h"
#include "engine/reader_io.h"

LONG playerFirstFrameType(const char* fileName) {
    HMMIO file = mmioOpenA(const_cast<LPSTR>(fileName), nullptr, 0);
    if (file == nullptr) return -1;
    LONG type = 0;
    for (;;) {
        BYTE header[chunkHeaderBytes];
        if (readBytes(file, header, chunkHeaderBytes) != chunkHeaderBytes) break;
        DWORD id = 0;
        DWORD size = 0;
        for (int i = 0; i < 4; ++i) {
            id |= static_cast<DWORD>(header[i]) << (8 * i);
            size |= static_cast<DWORD>(header[4 + i]) << (8 * i);
        }
        const ChunkClass cls = classifyChunkId(id);
        if (cls.kind == ChunkKind::endOfData) break;
        // As in the reader, an unusable size or an unknown id is passed over by its header alone,
        // and a video chunk without a payload is no frame.
        if (size < static_cast<DWORD>(chunkHeaderBytes) || size > 0x7FFFFFFFu ||
            cls.kind == ChunkKind::unknown)
            continue;
        const LONG payloadLength = static_cast<LONG>(size) - chunkHeaderBytes;
        if (cls.kind == ChunkKind::video && payloadLength > 0) {
            type = cls.frameType;
            break;
        }
        const LONG before = filePosition(file);
        skipPayload(file, payloadLength);
        if (before < 0 || filePosition(file) != before + payloadLength) break;
    }
    mmioClose(file, 0);
    return type;
}
