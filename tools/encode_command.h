// qztool encode: a movie authored from pictures (PNG files, a Y4M stream or another movie) and
// sound files, with the chunk layout the player reads.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace qztool {

struct EncodeOptions {
    std::vector<std::string> pictures; // a %d pattern, PNG files, a .y4m file, "-" or a movie
    std::string output;
    std::string video = "type4";        // krt, type3, type4 or dor
    std::optional<int> quality;         // 0 to 100
    std::optional<std::uint64_t> size;  // bytes of the whole movie (rate control)
    std::optional<double> bitrate;      // kilobits a second of the whole movie (rate control)
    std::optional<int> fps;             // pictures a second; else the input's, else 15
    std::vector<std::string> audio;     // sound files or "silence", one track each
    std::string audioCodec = "codec10"; // pcm, codec7 or codec10
    std::optional<double> loopFrom;     // seconds
    bool verify = false;
    int keyInterval = 0;       // KRT, DOR
    int searchRange = 16;      // DOR
    bool nonReference = false; // DOR
    int threads = 0;           // 0: one a core
    bool progress = false;     // draw a progress bar on err
    std::string stdinCopy;     // set by runEncode: a file holding what standard input gave
};

// Runs the command: 0, or 1 with one message naming the file on err and no output written.
int runEncode(const EncodeOptions& options, std::ostream& out, std::ostream& err);

} // namespace qztool
