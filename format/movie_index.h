// An index of a movie's frame slots, built from its chunk headers alone so that a player can
// seek: where every video chunk lies and whether the picture can be rebuilt from it alone, and
// where every audio data chunk of every track lies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "format/byte_source.h"

// Chunks of one kind the index holds at most; a longer movie is indexed up to there, so the
// index of any file stays within a bounded size.
inline constexpr std::size_t maxIndexedChunks = std::size_t{1} << 21;

struct IndexedFrame {
    std::size_t offset = 0; // where the chunk's header starts
    std::uint8_t type = 0;  // frame type code 1 to 7
    // The picture can be rebuilt from this frame alone: KRT and DOR key frames, type-4 frames
    // and the movie's first frame. KRT delta, DOR motion and non-reference frames build on
    // the frames before them, and so do type-3 frames, whose skipped macroblocks keep the
    // picture before.
    bool restart = false;
};

struct IndexedAudio {
    std::size_t offset = 0; // where the chunk's header starts
    std::size_t slot = 0;   // video frames before it in the file: the slot it is heard with
};

struct MovieIndex {
    // One entry per video chunk the reader queues, in file order: entry n is frame slot n.
    std::vector<IndexedFrame> frames;
    // Per track (index 0 is track 1), the audio data chunks the reader would decode.
    std::vector<std::vector<IndexedAudio>> tracks;
    // The walk stopped at maxIndexedChunks: slots past the last frame are not indexed.
    bool truncated = false;

    // The slot of the nearest frame at or before slot from which the picture can be rebuilt;
    // slot itself when nothing before it is one (then nothing better exists).
    std::size_t restartSlot(std::size_t slot) const;
};

// Walks the chunk headers from the top of the file as the player's reader does (no payload is
// read) up to the end of the data: an end-of-data chunk, the end of the file, a header cut
// short, or more than maxUnusableRun bytes of unusable headers in a row.
MovieIndex buildMovieIndex(ByteSource& file, std::size_t maxUnusableRun);

// Whether a frame of the type stands alone: KRT key (1), type 4 and DOR key (5).
constexpr bool frameTypeStandsAlone(int type) {
    return type == 1 || type == 4 || type == 5;
}
