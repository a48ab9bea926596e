#include "format/movie_index.h"

#include "format/chunk_walker.h"

std::size_t MovieIndex::restartSlot(std::size_t slot) const {
    if (frames.empty()) return 0;
    if (slot >= frames.size()) slot = frames.size() - 1;
    for (std::size_t s = slot + 1; s-- > 0;)
        if (frames[s].restart) return s;
    return slot;
}

MovieIndex buildMovieIndex(ByteSource& file, std::size_t maxUnusableRun) {
    MovieIndex index;
    const std::size_t fileSize = file.size();
    bool leading = true; // still among the stream headers at the top: one per track
    std::size_t trackCount = 0;
    LONG run = 0; // audio data chunks in a row
    std::size_t unusable = 0;
    std::size_t audioChunks = 0;
    for (std::size_t at = 0; at < fileSize;) {
        const ChunkSpan span = walkChunkAt(file, at);
        const ChunkStep& step = span.step;
        if (file.failed() || step.action == ChunkAction::end ||
            step.action == ChunkAction::cutHeader)
            break;
        at = span.next;
        if (step.action == ChunkAction::resync) {
            leading = false;
            run = 0;
            unusable += static_cast<std::size_t>(step.advance);
            if (unusable > maxUnusableRun) break;
            continue;
        }
        unusable = 0;
        const ChunkKind kind = step.cls.kind;
        if (leading && isTrackHeaderId(step.header.id)) {
            ++trackCount;
        } else if (leading) {
            leading = false;
            index.tracks.resize(trackCount);
        }
        if (kind != ChunkKind::audioData) run = 0;
        // A payload the file's end cuts off entirely is the end of the data for the reader.
        const bool readable = step.action == ChunkAction::read && step.payloadLength > 0;
        if (readable && span.payloadBytes == 0) break;
        if (kind == ChunkKind::video && readable) {
            if (index.frames.size() == maxIndexedChunks) {
                index.truncated = true;
                break;
            }
            const bool first = index.frames.empty();
            index.frames.push_back({span.offset, static_cast<std::uint8_t>(step.cls.frameType),
                                    first || frameTypeStandsAlone(step.cls.frameType)});
        } else if (kind == ChunkKind::audioData && trackCount > 0) {
            run += 1;
            if (!readable) continue;
            if (audioChunks == maxIndexedChunks) {
                index.truncated = true;
                break;
            }
            ++audioChunks;
            const auto track =
                static_cast<std::size_t>(trackOfRunChunk(run, static_cast<LONG>(trackCount)));
            if (index.tracks.size() < track) index.tracks.resize(track);
            index.tracks[track - 1].push_back({span.offset, index.frames.size()});
        }
    }
    if (leading) index.tracks.resize(trackCount);
    return index;
}
