#include "format/chunk_walker.h"

#include "format/limits.h"

LONG chunkPayloadLimit(ChunkKind kind) {
    switch (kind) {
    case ChunkKind::video:
        return maxVideoPayload;
    case ChunkKind::streamHeader:
    case ChunkKind::fixedHeader:
    case ChunkKind::audioData:
        return maxAudioPayload;
    default:
        return static_cast<LONG>(maxChunkSize);
    }
}

ChunkStep stepChunkHeader(const BYTE* header, LONG got) {
    ChunkStep step{ChunkAction::end, ChunkDamage::none, {0, 0}, {ChunkKind::unknown, 0}, 0, 0};
    if (got <= 0) return step;
    if (got < chunkHeaderBytes) {
        step.action = ChunkAction::cutHeader;
        step.damage = ChunkDamage::cutHeader;
        step.advance = got;
        return step;
    }
    step.header = parseChunkHeader(header);
    step.cls = classifyChunkId(step.header.id);
    step.advance = chunkHeaderBytes;
    // The size is looked at before the id: an end-of-data chunk of unusable size is no end.
    if (!chunkSizeUsable(step.header.size)) {
        step.action = ChunkAction::resync;
        step.damage = step.header.size < static_cast<DWORD>(chunkHeaderBytes)
                          ? ChunkDamage::sizeBelowHeader
                          : ChunkDamage::sizeTooLarge;
        return step;
    }
    step.payloadLength = static_cast<LONG>(step.header.size) - chunkHeaderBytes;
    switch (step.cls.kind) {
    case ChunkKind::unknown:
        step.action = ChunkAction::resync;
        step.damage = ChunkDamage::unknownId;
        return step;
    case ChunkKind::endOfData:
        step.action = ChunkAction::end;
        return step;
    case ChunkKind::ignored:
        step.action = ChunkAction::skip;
        break;
    default:
        step.action = step.payloadLength > chunkPayloadLimit(step.cls.kind) ? ChunkAction::skip
                                                                            : ChunkAction::read;
        break;
    }
    step.advance = static_cast<LONG>(step.header.size);
    return step;
}

ChunkSpan walkChunkAt(ByteSource& file, std::size_t offset) {
    const std::size_t fileSize = file.size();
    const std::size_t left = offset < fileSize ? fileSize - offset : 0;
    const LONG got = left < static_cast<std::size_t>(chunkHeaderBytes) ? static_cast<LONG>(left)
                                                                       : chunkHeaderBytes;
    BYTE header[chunkHeaderBytes] = {};
    file.read(offset, static_cast<std::size_t>(got), header);
    ChunkSpan span{stepChunkHeader(header, got), offset, 0, 0};
    span.next = offset + static_cast<std::size_t>(span.step.advance);
    if (span.step.action != ChunkAction::skip && span.step.action != ChunkAction::read) return span;
    const std::size_t payloadLeft = left - static_cast<std::size_t>(chunkHeaderBytes);
    const auto payloadLength = static_cast<std::size_t>(span.step.payloadLength);
    if (payloadLength > payloadLeft) span.step.damage = ChunkDamage::payloadCut;
    if (span.step.action == ChunkAction::read)
        span.payloadBytes = payloadLength < payloadLeft ? payloadLength : payloadLeft;
    return span;
}

ChunkSpan walkChunkAt(const BYTE* file, std::size_t fileSize, std::size_t offset) {
    MemorySource source(file, fileSize);
    return walkChunkAt(source, offset);
}
