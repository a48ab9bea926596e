// qztool frames: every video chunk the player plays decoded in file order by the player's own
// frame decoders (video/frame_decoder.h), written as raw display pixels, a YUV4MPEG2 stream or
// PNG files.
#pragma once

#include <iosfwd>
#include <string>

namespace qztool {

struct FrameExportOptions {
    std::string movie;
    // pal8, rgb555, rgb565, xrgb8888 or yuy2; empty for xrgb8888, which shows every frame type.
    std::string pixelFormat;
    // Exactly one output.
    std::string rawPath;
    std::string y4mPath;
    std::string pngPattern; // printf-style, one %d; frames are numbered from 1
    int gamma = 100;        // percent, as the player's -gamma
    int track = 1;          // audio track; pictures are the same for every track
    bool progress = false;  // draw a progress bar on err
    bool y4m420 = false;    // Y4M with 4:2:0 chroma rather than the format's own
    // Decoders and Y4M or PNG workers (0: one a core); the output is the same for any number.
    int threads = 0;
    bool allowBlack = false; // write frames the format cannot show black instead of failing
};

// Runs the export of the frames the player queues. 0, or 1 with a message on err. A frame the
// format cannot show fails the export before anything is written, unless allowBlack: then it is
// written black and reported once on err. A damaged movie has what the player shows written,
// with a warning on err.
int runFrames(const FrameExportOptions& options, std::ostream& out, std::ostream& err);

} // namespace qztool
