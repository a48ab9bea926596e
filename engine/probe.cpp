// A look at a movie file before it is opened, from the chunk headers alone: the kind of its
// first video frame, and whether the player would find anything in it to play.
#include "engine/player.h"
#include "engine/reader.h"
#include "engine/reader_io.h"
#include "format/chunk_walker.h"

namespace {

struct HeaderWalk {
    bool opened = false;
    bool startsLikeMovie = false; // the first header is a chunk of the table with a usable size
    LONG frameType = 0;           // type of the first video frame; 0 none
    bool audioBlock = false;      // an audio data chunk the reader would decode
};

// Walks the chunk headers as the reader does until the first video frame (or, with
// stopAtAudio, the first audio block), the end of the data, or as long a run of unusable
// headers as ends the reader's data.
HeaderWalk walkHeaders(const char* fileName, bool stopAtAudio) {
    HeaderWalk walk;
    HMMIO file = mmioOpenA(const_cast<LPSTR>(fileName), nullptr, 0);
    if (file == nullptr) return walk;
    walk.opened = true;
    bool leading = true; // still among the stream headers at the top
    bool hasAudio = false;
    LONG unusable = 0;
    for (bool first = true;; first = false) {
        BYTE header[chunkHeaderBytes];
        const LONG got = readBytes(file, header, chunkHeaderBytes);
        const ChunkStep step = stepChunkHeader(header, got < 0 ? 0 : got);
        if (first)
            walk.startsLikeMovie = step.action == ChunkAction::read ||
                                   step.action == ChunkAction::skip ||
                                   step.cls.kind == ChunkKind::endOfData;
        // As in the reader, an unusable size or an unknown id is passed over by its header
        // alone, and a chunk without a payload, or too large to be read, plays nothing.
        if (step.action == ChunkAction::end || step.action == ChunkAction::cutHeader) break;
        if (step.action == ChunkAction::resync) {
            leading = false;
            unusable += step.advance;
            if (unusable > maxUnusableRunBytes) break;
            continue;
        }
        unusable = 0;
        if (leading && isTrackHeaderId(step.header.id))
            hasAudio = true;
        else
            leading = false;
        const bool payload = step.action == ChunkAction::read && step.payloadLength > 0;
        if (payload && step.cls.kind == ChunkKind::video) {
            walk.frameType = step.cls.frameType;
            break;
        }
        if (payload && step.cls.kind == ChunkKind::audioData && hasAudio) {
            walk.audioBlock = true;
            if (stopAtAudio) break;
        }
        const LONG before = filePosition(file);
        skipPayload(file, step.payloadLength);
        if (before < 0 || filePosition(file) != before + step.payloadLength) break;
    }
    mmioClose(file, 0);
    return walk;
}

} // namespace

LONG playerFirstFrameType(const char* fileName) {
    const HeaderWalk walk = walkHeaders(fileName, false);
    return walk.opened ? walk.frameType : -1;
}

MovieLook playerLookAtMovie(const char* fileName) {
    const HeaderWalk walk = walkHeaders(fileName, true);
    if (!walk.opened) return MovieLook::unreadable;
    if (!walk.startsLikeMovie) return MovieLook::notAMovie;
    if (walk.frameType == 0 && !walk.audioBlock) return MovieLook::nothingPlayable;
    return MovieLook::playable;
}
