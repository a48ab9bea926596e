// The video side of qztool encode: one codec's encoder fed picture after picture, with frames
// that stand alone (type 3, type 4) coded on several threads and handed back in order.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "encoder/dor_encoder.h"
#include "encoder/krt_encoder.h"
#include "encoder/movie_writer.h"
#include "tools/picture_input.h"

namespace qztool {

enum class VideoCodec { krt, type3, type4, dor };

// The codec of a name ("krt", "type3", "type4", "dor"); none for any other.
std::optional<VideoCodec> parseVideoCodec(const std::string& name);
const char* videoCodecName(VideoCodec codec);
// The frame type code a player gives the chunk id.
long videoFrameType(std::uint32_t chunkId);

struct VideoSettings {
    VideoCodec codec = VideoCodec::type4;
    int quality = 75; // 0 to 100
    // Rate control's finer setting, 0 to maxVideoLevel(codec) in sixteenths of a step (larger
    // gives larger frames); negative to use quality.
    int level = -1;
    int keyInterval = 0;  // KRT and DOR: a key frame every so many frames; 0 the codec's default
    int searchRange = 16; // DOR: motion vectors within this many pixels
    bool nonReference = false; // DOR: every other motion frame a non-reference frame
    int threads = 1;
};

// Steps of 1/16 of a quality step rate control may choose from, 0 to this.
int maxVideoLevel(VideoCodec codec);

// Whether the codec can code pictures of the size; false with a message.
bool checkPictureSize(VideoCodec codec, int width, int height, std::string& message);

class VideoCoder {
  public:
    explicit VideoCoder(const VideoSettings& settings);
    ~VideoCoder();
    VideoCoder(const VideoCoder&) = delete;
    VideoCoder& operator=(const VideoCoder&) = delete;

    // Codes the next pictures of the movie, in order: the first picture of the movie never
    // depends on another. The result does not depend on the thread count.
    std::vector<MovieVideoChunk> encode(const std::vector<InputPicture>& pictures);
    // Pictures a batch should hold for the threads to stay busy.
    std::size_t batchSize() const;

  private:
    MovieVideoChunk encodeOne(const InputPicture& picture);
    // The quality (type 3, type 4) or the DOR quantiser of frame number frame.
    int frameQuality(std::size_t frame) const;
    int frameQuantiser(std::size_t frame) const;

    VideoSettings settings_;
    std::size_t frame_ = 0; // frames coded so far
    std::unique_ptr<KrtEncoder> krt_;
    std::unique_ptr<DorEncoder> dor_;
    YuvPicture previous_; // the last type-3 source picture
    double krtFloor_ = 0; // PSNR below which a KRT delta frame becomes a key frame
};

} // namespace qztool
