#include "tools/frame_stream.h"

#include <cstring>
#include <thread>

#include "tools/parallel_frames.h"

namespace qztool {

namespace {

constexpr std::size_t largestSharedPicture = std::size_t{4} << 20;

// One decoder and one padded picture for the whole movie, frame after frame on this thread.
class SerialFrames final : public FrameStream {
  public:
    SerialFrames(ByteSource& file, const std::vector<const ScannedChunk*>& chunks,
                 FrameFormat format, int gamma, PictureSize size)
        : file_(file), chunks_(chunks), decoder_(format, gamma), size_(size),
          rowBytes_(std::size_t(size.width) * framePixelBytes(format)),
          padded_{(size.width + 15) / 16 * 16, (size.height + 15) / 16 * 16},
          pitch_(std::ptrdiff_t{padded_.width} * framePixelBytes(format)),
          target_(std::size_t(pitch_) * padded_.height, 0),
          picture_(picturePadded(size) ? rowBytes_ * size.height : 0) {}

    bool next(StreamFrame& frame) override {
        const ScannedChunk& c = *chunks_[next_++];
        const BYTE* bytes = readPayload(file_, c, payload_);
        if (file_.failed()) return false;
        frame = {false, nullptr, decoder_.paletteRgb()};
        const PictureMemory memory{target_.data(), pitch_, padded_.width, padded_.height};
        // A frame whose header does not fit leaves the last picture in place.
        if (decoder_.decode(c.frameType, bytes, c.payloadSize(), memory) == DecodeStatus::notShown)
            return true;
        frame.shown = true;
        frame.pixels = target_.data();
        if (!picturePadded(size_)) return true;
        cropPicture(target_.data(), pitch_, rowBytes_, size_.height, picture_.data());
        frame.pixels = picture_.data();
        return true;
    }

  private:
    ByteSource& file_;
    const std::vector<const ScannedChunk*>& chunks_;
    VideoDecoder decoder_;
    const PictureSize size_;
    const std::size_t rowBytes_;
    const PictureSize padded_;
    const std::ptrdiff_t pitch_;
    Bytes target_;
    Bytes picture_;
    Bytes payload_;
    std::size_t next_ = 0;
};

} // namespace

std::vector<const ScannedChunk*> exportedVideoChunks(const MovieScan& scan) {
    std::vector<const ScannedChunk*> chunks;
    for (const ScannedChunk& c : scan.chunks) {
        if (c.kind != ChunkKind::video || !c.payloadTaken() || c.payloadSize() == 0) continue;
        chunks.push_back(&c);
    }
    return chunks;
}

std::optional<PictureSize> firstPictureSize(const std::vector<const ScannedChunk*>& chunks) {
    for (const ScannedChunk* c : chunks)
        if (auto size = videoPictureSize(c->frameType, c->head.data(), c->headSize())) return size;
    return std::nullopt;
}

bool picturePadded(PictureSize size) {
    return size.width % 16 != 0 || size.height % 16 != 0;
}

void cropPicture(const BYTE* padded, std::ptrdiff_t pitch, std::size_t rowBytes, int height,
                 BYTE* out) {
    for (int y = 0; y < height; ++y)
        std::memcpy(out + rowBytes * std::size_t(y), padded + pitch * y, rowBytes);
}

std::unique_ptr<FrameStream> openFrameStream(ByteSource& file,
                                             const std::vector<const ScannedChunk*>& chunks,
                                             FrameFormat format, int gamma, PictureSize size,
                                             int threads) {
    const int workers = threads > 0 ? threads : int(std::thread::hardware_concurrency());
    // Each worker holds pictures of its own and several are queued: pictures above 4 MB (larger
    // than 1024x1024 at 32 bits) decode on one thread, so that memory stays well under 64 MB.
    const std::size_t pictureBytes =
        std::size_t(size.width) * std::size_t(size.height) * std::size_t(framePixelBytes(format));
    if (workers > 1 && pictureBytes <= largestSharedPicture) {
        std::optional<std::vector<FrameRun>> runs = planFrameRuns(chunks, format, size);
        // A movie whose runs are too few to share goes the straight way.
        if (runs && runs->size() > 1)
            return openParallelFrames(file, chunks, format, gamma, size, std::move(*runs), workers);
    }
    return std::make_unique<SerialFrames>(file, chunks, format, gamma, size);
}

} // namespace qztool
