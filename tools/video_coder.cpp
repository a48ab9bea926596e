#include "tools/video_coder.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

#include "encoder/type3_encoder.h"
#include "encoder/type4_encoder.h"
#include "format/chunk_ids.h"

namespace qztool {

namespace {

constexpr int defaultKrtKeyInterval = 25;
constexpr int defaultDorKeyInterval = 30;
// A KRT delta frame that decodes further than this from its picture is sent as a key frame, at
// the default quality and above; lower qualities accept a little more.
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

// The KRT block error at a level (sixteenths of a quality step): 0 at quality 100, 768 (16
// pixels of squared error 48) at 75, then doubling every 12.5 quality steps down to 49,152 at 0.
int krtBlockError(int level) {
    constexpr int q75 = 75 * 16, q100 = 100 * 16;
    if (level >= q75) return 768 * (q100 - level) / (q100 - q75);
    return static_cast<int>(std::lround(768 * std::exp2((q75 - level) / 200.0)));
}

// The PSNR below which a KRT delta frame becomes a key frame: 30 dB from quality 75 up, 1 dB
// less for every 6.25 quality steps below.
double krtDeltaFloor(int level) {
    return krtDeltaFloorDb - std::max(0, 75 * 16 - level) / 100.0;
}

// The DOR quantiser for a quality: 1 at 100, 6 at 75, 11 at 50, 126 at 0.
int dorQuantiser(int quality) {
    if (quality >= 50) return std::max(1, 1 + (100 - quality) / 5);
    return std::min(127, 11 + (50 - quality) * 23 / 10);
}

// Steps between whole quality steps that rate control takes: frames alternate between the two
// whole steps around a level so that the movie's size lies between theirs.
constexpr int levelSteps = 16;
constexpr int maxQuantiser = 127;

// 1 for the frames that take the upper of the two steps around a level with fraction sixteenths:
// spread evenly, fraction of every 16 frames.
int upperStep(std::size_t frame, int fraction) {
    return int(((frame + 1) * std::size_t(fraction)) / levelSteps -
               (frame * std::size_t(fraction)) / levelSteps);
}

} // namespace

int maxVideoLevel(VideoCodec codec) {
    return (codec == VideoCodec::dor ? maxQuantiser - 1 : 100) * levelSteps;
}

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
    if (settings_.level > maxVideoLevel(settings_.codec))
        settings_.level = maxVideoLevel(settings_.codec);
    if (settings_.codec == VideoCodec::krt) {
        // The block error moves smoothly with the level: rate control needs no alternation.
        const int level = settings_.level < 0 ? settings_.quality * levelSteps : settings_.level;
        krtFloor_ = krtDeltaFloor(level);
        krt_ = std::make_unique<KrtEncoder>(KrtEncoderOptions{.blockError = krtBlockError(level)});
    }
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

int VideoCoder::frameQuality(std::size_t frame) const {
    if (settings_.level < 0) return settings_.quality;
    return std::min(100,
                    settings_.level / levelSteps + upperStep(frame, settings_.level % levelSteps));
}

int VideoCoder::frameQuantiser(std::size_t frame) const {
    if (settings_.level < 0) return dorQuantiser(settings_.quality);
    return std::max(1, maxQuantiser - settings_.level / levelSteps -
                           upperStep(frame, settings_.level % levelSteps));
}

MovieVideoChunk VideoCoder::encodeOne(const InputPicture& picture) {
    const bool key = frame_ % std::size_t(settings_.keyInterval) == 0;
    if (krt_) {
        const RgbPicture rgb = toRgb(picture);
        if (key) return krt_->keyFrame(rgb);
        // Delta frames keep the key frame's palette: when the colours have moved away from it
        // (a new scene, a fade), a key frame with a palette of its own serves better.
        MovieVideoChunk delta = krt_->deltaFrame(rgb);
        if (rgbPsnr(rgb, krt_->decodedRgb()) >= krtFloor_) return delta;
        return krt_->keyFrame(rgb);
    }
    // Between key frames, motion frames; with non-reference frames every other one of them
    // is a frame no later frame builds on.
    const std::size_t sinceKey = frame_ % std::size_t(settings_.keyInterval);
    const DorFrameKind kind = key ? DorFrameKind::key
                              : settings_.nonReference && sinceKey % 2 == 1
                                  ? DorFrameKind::nonReference
                                  : DorFrameKind::motion;
    dor_->setQuantiser(frameQuantiser(frame_));
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
    const std::size_t first = frame_;
    if (settings_.codec == VideoCodec::type4) {
        forEachParallel(pictures.size(), settings_.threads, [&](std::size_t i) {
            chunks[i] = {chunkId("QZ2f"), encodeType4Frame(yuv[i], frameQuality(first + i))};
        });
    } else {
        // A type-3 frame skips the macroblocks its source shares with the picture before it;
        // the movie's first frame codes every one.
        forEachParallel(pictures.size(), settings_.threads, [&](std::size_t i) {
            const YuvPicture* before = i > 0 ? &yuv[i - 1] : first == 0 ? nullptr : &previous_;
            if (before != nullptr &&
                (before->width != yuv[i].width || before->height != yuv[i].height))
                before = nullptr;
            chunks[i] = {chunkId("MQZf"),
                         encodeType3Frame(yuv[i], frameQuality(first + i), before)};
        });
        if (!yuv.empty()) previous_ = std::move(yuv.back());
    }
    frame_ += pictures.size();
    return chunks;
}

} // namespace qztool
