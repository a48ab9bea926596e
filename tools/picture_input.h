// Pictures qztool encode reads, one at a time: a PNG sequence (a %d pattern or a list of
// files), a YUV4MPEG2 stream (a file, or "-" for standard input) or an existing movie decoded
// with the player's own decoders. Each source hands out pictures in the form it holds them;
// the conversions give the encoders what they take.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "encoder/dct_encoder.h"
#include "encoder/krt_encoder.h"

namespace qztool {

// One input picture: R, G, B bytes (rgb), or full-range Y'CbCr planes in 4:2:0 (yuv, the
// encoders' own form) or 4:4:4 (luma in yuv.y, full-size chroma in cb444 and cr444; 4:2:2
// input is read into this form).
struct InputPicture {
    enum class Kind { rgb, yuv420, yuv444 };
    Kind kind = Kind::rgb;
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
    YuvPicture yuv;
    std::vector<std::uint8_t> cb444;
    std::vector<std::uint8_t> cr444;
};

// The picture in 4:2:0 for the DCT and DOR encoders: RGB through the encoders' conversion,
// 4:4:4 chroma as the mean of each 2 x 2 square.
YuvPicture toYuv420(const InputPicture& picture);
// The picture as R, G, B bytes, Y'CbCr through the decoders' colour equations.
RgbPicture toRgb(const InputPicture& picture);

class PictureSource {
  public:
    virtual ~PictureSource() = default;
    // The next picture; false at the end, or on a failure with message set (naming the file).
    virtual bool next(InputPicture& picture, std::string& message) = 0;
    // Pictures the source will give when that is known before reading them.
    virtual std::optional<std::size_t> count() const { return std::nullopt; }
    // The picture rate the source gives (Y4M header, movie), if any.
    virtual std::optional<int> framesPerSecond() const { return std::nullopt; }
    // Warning lines for err about the input (a damaged movie), empty when there is none.
    virtual std::string warnings() const { return {}; }
};

// Opens the pictures named by the command line: one argument ending in .y4m or "-" (Y4M), one
// that is a movie, one with a %d conversion (PNG files numbered from 0 or 1 on), or any number
// of PNG files. Null with a message naming the file when the input cannot be used.
std::unique_ptr<PictureSource> openPictureSource(const std::vector<std::string>& names,
                                                 std::string& message);

// The files a %d pattern names, in order: numbered from 0, or from 1 when there is no file 0,
// up to the first missing number. Empty when the first is missing.
std::vector<std::string> patternFiles(const std::string& pattern);

// Reads an 8-bit RGB PNG (any PNG, converted); false with a message naming the file.
bool readPng(const std::string& path, InputPicture& picture, std::string& message);

// Y4M sources and movie sources (y4m_input.cpp, movie_input.cpp).
// shownName, when given, names the stream in messages in place of name.
std::unique_ptr<PictureSource> openY4mSource(const std::string& name, std::string& message,
                                             const std::string& shownName = {});
// The same on a stream already open, which the source takes over and closes.
std::unique_ptr<PictureSource> openY4mStream(std::FILE* file, const std::string& shownName,
                                             std::string& message);
std::unique_ptr<PictureSource> openMovieSource(const std::string& name, std::string& message);
// Whether the file starts like a movie (a chunk id the player knows).
bool looksLikeMovie(const std::string& path);

} // namespace qztool
