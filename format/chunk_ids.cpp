#include "format/chunk_ids.h"

namespace {

enum Order { asWritten = 1, reversed = 2, both = 3 };

struct IdRow {
    DWORD id;
    Order order;
    ChunkKind kind;
    LONG frameType;
};

constexpr IdRow idTable[] = {
    {chunkId("KRTk"), both, ChunkKind::video, 1},
    {chunkId("KRTf"), both, ChunkKind::video, 2},
    {chunkId("WNBp"), reversed, ChunkKind::video, 3},
    {chunkId("MQZf"), asWritten, ChunkKind::video, 3},
    {chunkId("PLWp"), reversed, ChunkKind::video, 4},
    {chunkId("QZ2f"), asWritten, ChunkKind::video, 4},
    {chunkId("DORk"), both, ChunkKind::video, 5},
    {chunkId("DORm"), both, ChunkKind::video, 6},
    {chunkId("DORe"), both, ChunkKind::video, 7},
    {chunkId("SCHl"), both, ChunkKind::streamHeader, 0},
    {chunkId("1SNh"), asWritten, ChunkKind::streamHeader, 0},
    {chunkId("SKOD"), asWritten, ChunkKind::fixedHeader, 0},
    {chunkId("SCDl"), both, ChunkKind::audioData, 0},
    {chunkId("1SNd"), asWritten, ChunkKind::audioData, 0},
    {chunkId("SNDC"), both, ChunkKind::audioData, 0},
    {chunkId("SCCl"), both, ChunkKind::ignored, 0},
    {chunkId("SCLl"), both, ChunkKind::ignored, 0},
    {chunkId("SCEl"), asWritten, ChunkKind::endOfData, 0},
    {chunkId("1SNe"), asWritten, ChunkKind::endOfData, 0},
    {chunkId("SEND"), asWritten, ChunkKind::endOfData, 0},
};

} // namespace

ChunkClass classifyChunkId(DWORD id) {
    for (const IdRow& row : idTable) {
        if (((row.order & asWritten) != 0 && id == row.id) ||
            ((row.order & reversed) != 0 && id == reversedChunkId(row.id)))
            return {row.kind, row.frameType};
    }
    return {ChunkKind::unknown, 0};
}

const char* chunkKindName(ChunkKind kind) {
    switch (kind) {
    case ChunkKind::video:
        return "video";
    case ChunkKind::streamHeader:
        return "stream header";
    case ChunkKind::fixedHeader:
        return "fixed stream header";
    case ChunkKind::audioData:
        return "audio data";
    case ChunkKind::ignored:
        return "ignored";
    case ChunkKind::endOfData:
        return "end of data";
    case ChunkKind::unknown:
        break;
    }
    return "unknown";
}

void chunkIdText(DWORD id, char text[5]) {
    for (int i = 0; i < 4; ++i) {
        auto c = static_cast<char>((id >> (8 * i)) & 0xFF);
        text[i] = (c >= 0x20 && c < 0x7F) ? c : '.';
    }
    text[4] = '\0';
}
