// The pictures of qztool frames in file order, as the player's decoders leave them in one
// persistent picture: decoded one after another on the caller's thread, or on a pool of workers
// when the movie splits into runs of frames that do not depend on one another. Both give the
// same bytes for every frame.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "format/movie_scan.h"
#include "video/frame_decoder.h"

namespace qztool {

// One frame of the export.
struct StreamFrame {
    bool shown = false;            // false: the format cannot show the frame's type
    const BYTE* pixels = nullptr;  // the picture cropped to the export size; valid until next()
    const BYTE* palette = nullptr; // 768 bytes: the palette as the last KRT key frame left it
};

class FrameStream {
  public:
    virtual ~FrameStream() = default;
    // The next frame. False when its payload could not be read.
    virtual bool next(StreamFrame& frame) = 0;
};

// The video chunks an export decodes, in file order: those whose payload the player reads and
// finds not empty.
std::vector<const ScannedChunk*> exportedVideoChunks(const MovieScan& scan);
// The picture size the first of the chunks that gives one gives; none when no chunk does.
std::optional<PictureSize> firstPictureSize(const std::vector<const ScannedChunk*>& chunks);

// Whether a picture of size, decoded into whole 16 x 16 macroblocks, has rows or columns the
// export does not show: its visible part is then copied out by cropPicture.
bool picturePadded(PictureSize size);
// Copies the first rowBytes of each of height rows of a picture of pitch into out, row after row.
void cropPicture(const BYTE* padded, std::ptrdiff_t pitch, std::size_t rowBytes, int height,
                 BYTE* out);

// A stream of the video chunks (in file order) decoded in format at gamma percent into a
// picture of size (zero-filled at the start, every frame at its top-left corner). threads 1
// decodes on the caller's thread; more (0: one a core) decode on that many workers when the
// movie splits into independent runs and its pictures take at most 4 MB. The file is read under a
// lock of the stream's own.
std::unique_ptr<FrameStream> openFrameStream(ByteSource& file,
                                             const std::vector<const ScannedChunk*>& chunks,
                                             FrameFormat format, int gamma, PictureSize size,
                                             int threads);

} // namespace qztool
