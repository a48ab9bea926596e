// An existing movie as encode input: its video chunks decoded one at a time with the player's
// own decoders, as qztool frames exports them.
#include <cmath>
#include <sstream>

#include "audio/track_audio.h"
#include "tools/movie_file.h"
#include "tools/movie_info.h"
#include "tools/picture_input.h"
#include "video/frame_decoder.h"

namespace qztool {

namespace {

class MovieSource : public PictureSource {
  public:
    bool open(const std::string& name, std::string& message) {
        name_ = name;
        file_ = openMovie(name, message);
        if (!file_) return false;
        const MovieInfo info = gatherMovieInfo(name, *file_);
        if (file_->failed()) {
            message = readFailedMessage(name);
            return false;
        }
        scan_ = info.scan;
        for (const ScannedChunk& c : scan_.chunks)
            if (c.kind == ChunkKind::video && c.payloadTaken() && c.payloadSize() > 0)
                chunks_.push_back(&c);
        if (chunks_.empty()) {
            message = name + ": the movie has no pictures";
            return false;
        }
        // KRT movies are palettised: their pictures come out through the palette.
        const bool krt = chunks_.front()->frameType <= 2;
        decoder_ =
            std::make_unique<VideoDecoder>(krt ? FrameFormat::pal8 : FrameFormat::xrgb8888, 100);
        // The picture rate: each frame slot holds one chunk of track 1's sound.
        const std::vector<TrackHeader> headers = leadingTrackHeaders(scan_, *file_);
        for (const AudioChunkRef& a : audioChunks(scan_, *file_, headers)) {
            if (a.track != 1 || a.oversized) continue;
            const ScannedChunk& c = scan_.chunks[a.chunk];
            const BYTE* bytes = readPayload(*file_, c, payload_);
            const LONG frames = playedAudioBytes(a.format, bytes, LONG(c.payloadSize())) / 4;
            if (frames > 0) {
                const double fps = double(a.format.rate) / frames;
                if (fps >= 1 && fps <= 1000) fps_ = static_cast<int>(std::lround(fps));
            }
            break;
        }
        return true;
    }

    bool next(InputPicture& picture, std::string& message) override {
        while (at_ < chunks_.size()) {
            const ScannedChunk& c = *chunks_[at_++];
            const BYTE* bytes = readPayload(*file_, c, payload_);
            if (file_->failed()) {
                message = readFailedMessage(name_);
                return false;
            }
            const DecodeStatus status = decoder_->decode(c.frameType, bytes, c.payloadSize());
            if (status == DecodeStatus::notShown) {
                message = name_ + ": frame " + std::to_string(at_) + " is of type " +
                          std::to_string(c.frameType) + ", which cannot be mixed with frame 1's";
                return false;
            }
            if (status != DecodeStatus::decoded) continue; // the player shows nothing new
            const PictureView view = decoder_->picture();
            if (width_ == 0) width_ = view.width, height_ = view.height;
            if (view.width != width_ || view.height != height_) {
                message = name_ + ": frame " + std::to_string(at_) + " changes the picture size";
                return false;
            }
            picture.kind = InputPicture::Kind::rgb;
            picture.width = view.width;
            picture.height = view.height;
            picture.rgb.resize(std::size_t(view.width) * view.height * 3);
            const bool pal8 = decoder_->format() == FrameFormat::pal8;
            for (int y = 0; y < view.height; ++y) {
                const BYTE* row = view.pixels + view.pitch * y;
                std::uint8_t* out = picture.rgb.data() + std::size_t(y) * view.width * 3;
                for (int x = 0; x < view.width; ++x, out += 3) {
                    if (pal8) {
                        const BYTE* rgb = decoder_->paletteRgb() + 3 * row[x];
                        out[0] = rgb[0], out[1] = rgb[1], out[2] = rgb[2];
                    } else {
                        // X8R8G8B8 stored little-endian: blue, green, red, unused.
                        out[0] = row[4 * x + 2], out[1] = row[4 * x + 1], out[2] = row[4 * x];
                    }
                }
            }
            return true;
        }
        return false;
    }

    std::optional<std::size_t> count() const override { return chunks_.size(); }
    std::optional<int> framesPerSecond() const override { return fps_; }
    std::string warnings() const override {
        std::ostringstream text;
        warnDamage(name_, scan_, "the pictures coded are those the player shows", text);
        return text.str();
    }

  private:
    std::string name_;
    std::unique_ptr<ByteSource> file_;
    MovieScan scan_;
    std::vector<const ScannedChunk*> chunks_;
    std::unique_ptr<VideoDecoder> decoder_;
    Bytes payload_;
    std::size_t at_ = 0;
    int width_ = 0;
    int height_ = 0;
    std::optional<int> fps_;
};

} // namespace

std::unique_ptr<PictureSource> openMovieSource(const std::string& name, std::string& message) {
    auto source = std::make_unique<MovieSource>();
    if (!source->open(name, message)) return nullptr;
    return source;
}

} // namespace qztool
