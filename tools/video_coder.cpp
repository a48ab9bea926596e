#include "tools/video_coder.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "encoder/type3_encoder.h"
#include "encoder/type4_encoder.h"
#include "format/chunk_ids.h"

namespace qztool {

namespace {

constexpr int defaultKrtKeyInterval = 25;
constexpr int defaultDorKeyInterval = 30;
// A KRT delta frame that decodes further than this from its picture is sent as a key frame.
constexpr double krtDeltaFloorDb = 30.0;
// Largest picture side the DOR encoder takes.
constexpr int maxDorSide = 2048;

// Runs job(i) for i in 0..count-1 on up to threads threads.
template <class Job> void forEachParallel(std::size_t count, int threads, const Job& job) {
    const auto workers = std::min<std::size_t>(count, std::size_t(std::max(1, threads)));
    if (workers <= 1) {
        for (std::size_t i = 0; i < count; ++i) job(i);
        return;
    }
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> pool;
    for (std::size_t w = 0; w < workers; ++w)
        pool.emplace_back([&] {
            for (std::size_t i; (i = next.fetch_add(1)) < count;) job(i);
        });
    for (std::thread& t : pool) t.join();
}

// The KRT block error for a quality: 768 (16 pixels of error 48 in sum of squares) at 75,
// 0 at 100, growing as the quality falls.
int krtBlockError(int quality) {
    return (100 - quality) * 16 * 48 / 25;
}

// The DOR quantiser for a quality: 1 at 100, 6 at 75, 11 at 50, 126 at 0.
int dorQuantiser(int quality) {
    if (quality >= 50) return std::max(1, 1 + (100 - quality) / 5);
    return std::min(127, 11 + (50 - quality) * 23 / 10);
}

} // namespace

std::optional<VideoCodec> parseVideoCodec(const std::string& name) {
    if (name == "krt") return VideoCodec::krt;
    if (name == "type3") return VideoCodec::type3;
    if (name == "type4") return VideoCodec::type4;
    if (name == "dor") return VideoCodec::dor;
    return std::nullopt;
}

const char* videoCodecName(VideoCodec codec) {
    switch (codec) {
    case VideoCodec::krt:
        return "KRT";
    case VideoCodec::type3:
        return "type 3";
    case VideoCodec::type4:
        return "type 4";
    case VideoCodec::dor:
        return "DOR";
    }
    return "?";
}

long videoFrameType(std::uint32_t id) {
    return classifyChunkId(id).frameType;
}

bool checkPictureSize(VideoCodec codec, int width, int height, std::string& message) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    if (codec == VideoCodec::krt && (width % 4 != 0 || height % 4 != 0)) {
        message = "KRT pictures are whole 4 x 4 blocks: " + size + " is not";
        return false;
    }
    if (codec == VideoCodec::dor && (width > maxDorSide || height > maxDorSide)) {
        message = "DOR pictures are at most " + std::to_string(maxDorSide) +
                  " pixels a side: " + size + " is larger";
        return false;
    }
    return true;
}

VideoCoder::VideoCoder(const VideoSettings& settings) : settings_(settings) {
    settings_.quality = std::clamp(settings_.quality, 0, 100);
    if (settings_.keyInterval <= 0)
        settings_.keyInterval =
            settings_.codec == VideoCodec::krt ? defaultKrtKeyInterval : defaultDorKeyInterval;
    if (settings_.codec == VideoCodec::krt)
        krt_ = std::make_unique<KrtEncoder>(
            KrtEncoderOptions{.blockError = krtBlockError(settings_.quality)});
    if (settings_.codec == VideoCodec::dor)
        dor_ = std::make_unique<DorEncoder>(
            DorEncoderOptions{.quantiser = dorQuantiser(settings_.quality),
                              .searchRange = std::clamp(settings_.searchRange, 0, 16)});
}

VideoCoder::~VideoCoder() = default;

std::size_t VideoCoder::batchSize() const {
    const bool standAlone =
        settings_.codec == VideoCodec::type3 || settings_.codec == VideoCodec::type4;
    return standAlone ? std::size_t(std::max(1, settings_.threads)) * 2 : 1;
}

MovieVideoChunk VideoCoder::encodeOne(const InputPicture& picture) {
    const bool key = frame_ % std::size_t(settings_.keyInterval) == 0;
    if (krt_) {
        const RgbPicture rgb = toRgb(picture);
        if (key) return krt_->keyFrame(rgb);
        // Delta frames keep the key frame's palette: when the colours have moved away from it
        // (a new scene, a fade), a key frame with a palette of its own serves better.
        MovieVideoChunk delta = krt_->deltaFrame(rgb);
        if (rgbPsnr(rgb, krt_->decodedRgb()) >= krtDeltaFloorDb) return delta;
        return krt_->keyFrame(rgb);
    }
    // Between key frames, motion frames; with non-reference frames every other one of them
    // is a frame no later frame builds on.
    const std::size_t sinceKey = frame_ % std::size_t(settings_.keyInterval);
    const DorFrameKind kind = key ? DorFrameKind::key
                              : settings_.nonReference && sinceKey % 2 == 1
                                  ? DorFrameKind::nonReference
                                  : DorFrameKind::motion;
    return {dorChunkId(kind), dor_->encode(toYuv420(picture), kind)};
}

std::vector<MovieVideoChunk> VideoCoder::encode(const std::vector<InputPicture>& pictures) {
    std::vector<MovieVideoChunk> chunks(pictures.size());
    if (krt_ || dor_) {
        for (std::size_t i = 0; i < pictures.size(); ++i, ++frame_)
            chunks[i] = encodeOne(pictures[i]);
        return chunks;
    }
    std::vector<YuvPicture> yuv(pictures.size());
    forEachParallel(pictures.size(), settings_.threads,
                    [&](std::size_t i) { yuv[i] = toYuv420(pictures[i]); });
    const int quality = settings_.quality;
    if (settings_.codec == VideoCodec::type4) {
        forEachParallel(pictures.size(), settings_.threads, [&](std::size_t i) {
            chunks[i] = {chunkId("QZ2f"), encodeType4Frame(yuv[i], quality)};
        });
    } else {
        // A type-3 frame skips the macroblocks its source shares with the picture before it;
        // the movie's first frame codes every one.
        const bool first = frame_ == 0;
        forEachParallel(pictures.size(), settings_.threads, [&](std::size_t i) {
            const YuvPicture* before = i > 0 ? &yuv[i - 1] : first ? nullptr : &previous_;
            if (before != nullptr &&
                (before->width != yuv[i].width || before->height != yuv[i].height))
                before = nullptr;
            chunks[i] = {chunkId("MQZf"), encodeType3Frame(yuv[i], quality, before)};
        });
        if (!yuv.empty()) previous_ = std::move(yuv.back());
    }
    frame_ += pictures.size();
    return chunks;
}

} // namespace qztool
