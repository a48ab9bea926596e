// qztool encode --verify: the pictures decoded with the player's own decoders as they are coded,
// measured against their sources, and then the written movie read back and decoded the way
// qztool frames and qztool audio decode it, which must give the very same pictures; the sound of
// every track is measured against its source.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "encoder/movie_writer.h"
#include "tools/picture_input.h"
#include "tools/sound_input.h"

class VideoDecoder;

namespace qztool {

// Peak signal-to-noise ratio in dB of 16-bit samples against their source, with 32767 as the
// peak; 99 when equal. decoded is stereo; a mono source counts in both channels. Only the
// source's length is compared; missing decoded samples count as silence.
double soundPsnr(const std::vector<std::int16_t>& source, int channels,
                 const std::vector<std::int16_t>& decodedStereo);

class VideoCheck {
  public:
    explicit VideoCheck(bool palettised);
    ~VideoCheck();
    VideoCheck(const VideoCheck&) = delete;
    VideoCheck& operator=(const VideoCheck&) = delete;

    // Decodes the chunk just coded and measures it against its source picture.
    void add(const MovieVideoChunk& chunk, const InputPicture& source);

    // Reads the movie back: its pictures must be those add() decoded, and each track is
    // measured against its source. Prints the figures on out; false with a message on err
    // when the movie does not read back as it was coded.
    bool checkWritten(const std::string& path, const std::vector<SoundTrack>& sources,
                      std::ostream& out, std::ostream& err);

  private:
    bool palettised_;
    std::unique_ptr<VideoDecoder> decoder_;
    std::vector<std::uint64_t> digests_; // of every decoded picture, as R, G, B bytes
    std::vector<double> psnr_;
};

// R, G, B bytes of the picture a decoder holds after its last frame.
RgbPicture decodedPicture(const VideoDecoder& decoder);
// FNV-1a digest of bytes.
std::uint64_t digestBytes(const std::vector<std::uint8_t>& bytes);

} // namespace qztool
