// Frames decoded on a pool of workers: the video chunks split into runs that start from nothing
// earlier runs leave (a type 3 or type 4 frame alone, a KRT or DOR key frame with the frames
// that follow it from the same key), each run decoded by one worker with the worker's own decoder,
// and the pictures handed out strictly in file order.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "tools/frame_stream.h"

namespace qztool {

struct FrameRun {
    std::vector<std::size_t> frames; // indices into the chunks, ascending, the first a start
    // Earlier KRT key frames decoded (and not shown) before the run, so that the palette entries
    // its own key frame does not set hold what they hold in a straight decode.
    std::vector<std::size_t> primes;
};

// The runs of the chunks that the format shows, or none when some frame's picture could depend
// on what a frame of an earlier run left (a frame of another size, a header that does not fit,
// a delta frame without its key): such movies decode in one straight run.
std::optional<std::vector<FrameRun>> planFrameRuns(const std::vector<const ScannedChunk*>& chunks,
                                                   FrameFormat format, PictureSize size);

// The stream of the planned runs decoded on threads workers (at least 2; fewer for pictures so
// large that the pictures in flight would take too much memory).
std::unique_ptr<FrameStream> openParallelFrames(ByteSource& file,
                                                const std::vector<const ScannedChunk*>& chunks,
                                                FrameFormat format, int gamma, PictureSize size,
                                                std::vector<FrameRun> runs, int threads);

} // namespace qztool
