// Our KRT writer: palettised pictures from RGB, key frames ("KRTk") packed with an LZ77 coder and
// delta frames ("KRTf") of 4 x 4 blocks matched against the previous picture.
#pragma once

#include <array>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "encoder/movie_writer.h"

// A picture of width x height pixels, 3 bytes (red, green, blue) each, row by row.
struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
};

using KrtColour = std::array<std::uint8_t, 3>;

// Up to maxColours colours for the picture, by median cut: every colour when there are no more
// than that, else the mean colours of boxes split at the median of their widest channel.
std::vector<KrtColour> medianCutPalette(const RgbPicture& picture, int maxColours = 256);

// The LZ77 stream of data: the header, then commands of every kind where they pay, then the
// end command.
Bytes packKrtLz77(const std::uint8_t* data, std::size_t size);

// A key frame payload for an indexed picture and its palette (at most 256 colours).
Bytes krtKeyFramePayload(int width, int height, const std::vector<KrtColour>& palette,
                         const std::vector<std::uint8_t>& indices);

struct KrtEncoderOptions {
    // Largest summed squared RGB error of a 4 x 4 block taken from the previous picture or as a
    // two-bit block; a block matched worse is sent whole.
    int blockError = 16 * 48;
    // Displacements searched around each block, in pixels both ways (the format takes -512..511).
    int searchRange = 6;
};

// Encodes a sequence of RGB pictures of one size (multiples of 4 both ways), keeping the
// picture the decoder will hold after each frame.
class KrtEncoder {
  public:
    explicit KrtEncoder(KrtEncoderOptions options = {}) : options_(options) {}

    // A key frame with a new palette for the picture.
    MovieVideoChunk keyFrame(const RgbPicture& picture);
    // A delta frame on the last picture in the last key frame's palette; a key frame when there
    // is none yet, the size changed, or the frame needs more blocks than 12-bit indices reach.
    MovieVideoChunk deltaFrame(const RgbPicture& picture);

    // The decoder's picture after the last frame, and the palette of the last key frame.
    const std::vector<std::uint8_t>& picture() const { return picture_; }
    const std::vector<KrtColour>& palette() const { return palette_; }
    // The last frame as RGB, as a player shows it.
    RgbPicture decodedRgb() const;

  private:
    std::vector<std::uint8_t> mapToPalette(const RgbPicture& picture);
    void setPalette(std::vector<KrtColour> palette);

    KrtEncoderOptions options_;
    int width_ = 0;
    int height_ = 0;
    std::vector<KrtColour> palette_;
    std::vector<std::uint8_t> picture_;
    std::vector<int> distance_; // 256 x 256 squared RGB distances between palette entries
    std::unordered_map<std::uint32_t, std::uint8_t> nearest_;
};

// Nearest entry of palette to an RGB colour by squared distance.
std::uint8_t nearestKrtColour(const std::vector<KrtColour>& palette, int r, int g, int b);

// Peak signal-to-noise ratio in dB of b against a, over all channels (99 when equal).
double rgbPsnr(const RgbPicture& a, const RgbPicture& b);
