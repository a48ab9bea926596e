// A look at a movie file before it is opened: the kind of its first video frame, from the chunk
// headers alone.
#include "engine/player.h"
#include "engine/reader_io.h"
#include "format/chunk_walker.h"

LONG playerFirstFrameType(const char* fileName) {
    HMMIO file = mmioOpenA(const_cast<LPSTR>(fileName), nullptr, 0);
    if (file == nullptr) return -1;
    LONG type = 0;
    for (;;) {
        BYTE header[chunkHeaderBytes];
        const LONG got = readBytes(file, header, chunkHeaderBytes);
        const ChunkStep step = stepChunkHeader(header, got < 0 ? 0 : got);
        // As in the reader, an unusable size or an unknown id is passed over by its header
        // alone, and a video chunk without a payload, or too large to be read, is no frame.
        if (step.action == ChunkAction::end || step.action == ChunkAction::cutHeader) break;
        if (step.action == ChunkAction::resync) continue;
        if (step.cls.kind == ChunkKind::video && step.action == ChunkAction::read &&
            step.payloadLength > 0) {
            type = step.cls.frameType;
            break;
        }
        const LONG before = filePosition(file);
        skipPayload(file, step.payloadLength);
        if (before < 0 || filePosition(file) != before + step.payloadLength) break;
    }
    mmioClose(file, 0);
    return type;
}
