#include <algorithm>
#include <filesystem>

#include "audio/track_audio.h"
#include "format/chunk_walker.h"
#include "format/stream_header.h"
#include "frontend/controls.h"
#include "frontend/file_source.h"

namespace {

// Bytes of a block's start that tell how many frames it decodes to (the PCM count; the ADPCM
// codecs count by the payload's length).
constexpr std::size_t blockHeadBytes = 16;

} // namespace

MovieLength measureMovie(const std::string& path, int framesPerSecond) {
    MovieLength length;
    FileSource source(path);
    if (!source.isOpen()) return length;
    AudioFormat firstTrack = defaultAudioFormat;
    bool leading = true;
    LONG run = 0;
    LONG videoSlots = 0, firstTrackBlocks = 0;
    double firstTrackBytes = 0;
    BYTE head[blockHeadBytes];
    std::vector<BYTE> header;
    for (std::size_t offset = 0; offset < source.size() && !source.failed();) {
        const ChunkSpan span = walkChunkAt(source, offset);
        const ChunkStep& step = span.step;
        if (step.action == ChunkAction::end) break;
        offset = span.next;
        if (step.action == ChunkAction::resync || step.action == ChunkAction::cutHeader) {
            run = 0;
            leading = false;
            continue;
        }
        const ChunkKind kind = step.cls.kind;
        if (kind == ChunkKind::audioData) {
            ++run;
            if (length.tracks == 0 || trackOfRunChunk(run, length.tracks) != 1) continue;
            if (step.action != ChunkAction::read || span.payloadBytes == 0) continue;
            const std::size_t count = std::min(span.payloadBytes, blockHeadBytes);
            source.read(span.offset + chunkHeaderBytes, count, head);
            firstTrackBytes += playedAudioBytes(firstTrack, head, LONG(span.payloadBytes));
            ++firstTrackBlocks;
            continue;
        }
        run = 0;
        if (kind == ChunkKind::video && step.action == ChunkAction::read && span.payloadBytes > 0)
            ++videoSlots;
        const bool trackHeader = kind == ChunkKind::streamHeader || kind == ChunkKind::fixedHeader;
        if (!trackHeader || !isTrackHeaderId(step.header.id)) leading = false;
        if (leading && trackHeader) {
            if (++length.tracks == 1 && kind == ChunkKind::fixedHeader)
                firstTrack = fixedAudioFormat;
            if (length.tracks == 1 && kind == ChunkKind::streamHeader &&
                step.action == ChunkAction::read) {
                header.resize(span.payloadBytes);
                if (!header.empty())
                    source.read(span.offset + chunkHeaderBytes, header.size(), header.data());
                parseStreamHeader(header.data(), LONG(header.size()), &firstTrack);
            }
        }
    }
    length.slots = videoSlots > 0 ? videoSlots : firstTrackBlocks;
    if (firstTrackBlocks > 0 && firstTrack.rate > 0) {
        length.seconds = firstTrackBytes / (4.0 * firstTrack.rate);
        length.timed = true;
    } else if (framesPerSecond > 0) {
        length.seconds = double(length.slots) / framesPerSecond;
        length.timed = true;
    }
    return length;
}

std::string movieName(const std::string& path) {
    return std::filesystem::path(path).stem().string();
}
