#include "tools/frame_export.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <memory>
#include <ostream>
#include <vector>

#include "tools/file_checks.h"
#include "tools/frame_pool.h"
#include "tools/frame_stream.h"
#include "tools/image_writers.h"
#include "tools/movie_info.h"
#include "tools/output_file.h"
#include "tools/progress.h"
#include "encoder/rounding.h"

namespace qztool {

namespace {

constexpr int defaultFramesPerSecond = 15;
constexpr int maxGamma = 1000;

// Where each exported frame goes.
class FrameSink {
  public:
    virtual ~FrameSink() = default;
    virtual bool write(const ExportedFrame& frame, long number, std::string& message) = 0;
    virtual bool finish(std::string&) { return true; }
};

class RawSink : public FrameSink {
  public:
    bool open(const std::string& path, std::string& message) { return file_.open(path, message); }
    bool write(const ExportedFrame& frame, long, std::string& message) override {
        return file_.write(frame.pixels, framePictureBytes(frame), message);
    }
    bool finish(std::string& message) override { return file_.commit(message); }

  private:
    OutputFile file_;
};

// Frames converted on every core, written in order on the caller's thread.
class Y4mSink : public FrameSink {
  public:
    explicit Y4mSink(int threads)
        : frames_(
              threads,
              [this](const ExportedFrame& frame, long, Bytes& out, std::string&) {
                  writer.convert(frame, out);
                  return true;
              },
              [this](const Bytes& out, std::string& message) {
                  return writer.write(out, message);
              }) {}
    bool write(const ExportedFrame& frame, long number, std::string& message) override {
        return frames_.write(frame, number, message);
    }
    bool finish(std::string& message) override {
        return frames_.finish(message) && writer.close(message);
    }

    Y4mWriter writer; // opened before the first frame is written

  private:
    FramePool frames_;
};

// Files compressed and written on every core.
class PngSink : public FrameSink {
  public:
    PngSink(std::string pattern, int threads)
        : pattern_(std::move(pattern)),
          files_(threads,
                 [this](const ExportedFrame& frame, long number, Bytes&, std::string& message) {
                     return writeFramePng(framePatternPath(pattern_, number), frame, message);
                 }) {}
    bool write(const ExportedFrame& frame, long number, std::string& message) override {
        return files_.write(frame, number, message);
    }
    bool finish(std::string& message) override { return files_.finish(message); }

  private:
    const std::string pattern_;
    FramePool files_;
};

// The picture rate as a reduced fraction: the player shows one frame a slot, and a slot lasts
// as long as one audio chunk of the track plays (its decoded frames over the track's rate); a
// movie without sound plays at the usual 15.
FrameRate framesPerSecond(const MovieInfo& info, int track) {
    const FrameRate fallback{defaultFramesPerSecond, 1};
    if (track < 1 || static_cast<std::size_t>(track) > info.tracks.size()) return fallback;
    const TrackInfo& t = info.tracks[static_cast<std::size_t>(track) - 1];
    const long long chunks = static_cast<long long>(t.chunks - t.skippedChunks);
    const long long frames = static_cast<long long>(t.frames);
    const long long rate = t.header.format.rate;
    if (chunks <= 0 || frames <= 0 || rate <= 0) return fallback;
    long long num = rate * chunks, den = frames;
    const long long common = std::gcd(num, den);
    num /= common;
    den /= common;
    // Y4M readers take 32-bit fields; a rate outside 1 to 1000 a second is no slot rate.
    if (num > std::numeric_limits<int>::max() || den > std::numeric_limits<int>::max() ||
        num < den || num > 1000 * den)
        return fallback;
    return {static_cast<int>(num), static_cast<int>(den)};
}

std::unique_ptr<FrameSink> openSink(const FrameExportOptions& options, FrameFormat format,
                                    PictureSize size, FrameRate fps, std::string& message) {
    if (!options.rawPath.empty()) {
        auto sink = std::make_unique<RawSink>();
        if (!sink->open(options.rawPath, message)) return nullptr;
        return sink;
    }
    if (!options.y4mPath.empty()) {
        auto sink = std::make_unique<Y4mSink>(options.threads);
        if (!sink->writer.open(options.y4mPath, format, size.width, size.height, fps,
                               options.y4m420, message))
            return nullptr;
        return sink;
    }
    if (!checkFramePattern(options.pngPattern, message)) return nullptr;
    return std::make_unique<PngSink>(options.pngPattern, options.threads);
}

} // namespace

int runFrames(const FrameExportOptions& options, std::ostream& out, std::ostream& err) {
    auto fail = [&](const std::string& message) {
        err << "qztool: " << message << "\n";
        return 1;
    };
    const std::optional<FrameFormat> format =
        options.pixelFormat.empty() ? FrameFormat::xrgb8888 : parseFrameFormat(options.pixelFormat);
    if (!format) return fail("unknown pixel format " + options.pixelFormat);
    const int outputs =
        !options.rawPath.empty() + !options.y4mPath.empty() + !options.pngPattern.empty();
    if (outputs != 1) return fail("give one output: --raw OUT, --y4m OUT or --png PATTERN");
    if (options.gamma < 0 || options.gamma > maxGamma)
        return fail("gamma must be 0 to " + std::to_string(maxGamma));
    std::string message;
    if (!options.pngPattern.empty() && !checkFramePattern(options.pngPattern, message))
        return fail(message);

    const std::unique_ptr<ByteSource> file = openMovie(options.movie, message);
    if (!file) return fail(message);
    const MovieInfo info = gatherMovieInfo(options.movie, *file);
    const std::size_t tracks = leadingTrackHeaders(info.scan, *file).size();
    if (file->failed()) return fail(readFailedMessage(options.movie));
    if (!checkIsMovie(options.movie, info.scan, message)) return fail(message);
    if (options.track < 1 ||
        static_cast<std::size_t>(options.track) > std::max<std::size_t>(1, tracks))
        return fail(options.movie + ": the movie has no track " + std::to_string(options.track));
    const std::vector<const ScannedChunk*> chunks = exportedVideoChunks(info.scan);
    const std::optional<PictureSize> size = firstPictureSize(chunks);
    if (!size) return fail(options.movie + ": the movie has no pictures");
    // An export that would hold black frames in place of pictures fails before anything is
    // written, unless black frames were asked for.
    for (std::size_t i = 0; i < chunks.size() && !options.allowBlack; ++i) {
        if (frameFormatShows(*format, chunks[i]->frameType)) continue;
        return fail(options.movie + ": frame " + std::to_string(i + 1) + " is of type " +
                    std::to_string(chunks[i]->frameType) + ", which " + frameFormatName(*format) +
                    " cannot show (choose another --pixel-format, or --allow-black to write such "
                    "frames black)");
    }

    if (size->width <= 0 || size->height <= 0 || size->width > maxPictureSide ||
        size->height > maxPictureSide)
        return fail(options.movie + ": picture size " + std::to_string(size->width) + "x" +
                    std::to_string(size->height) + " cannot be exported");
    // Every file name the pattern gives is checked before the first is written.
    for (std::size_t n = 1; !options.pngPattern.empty() && n <= chunks.size(); ++n) {
        if (!checkOutputSparesInput(
                options.movie, framePatternPath(options.pngPattern, static_cast<long>(n)), message))
            return fail(message);
    }
    const std::unique_ptr<FrameStream> stream =
        openFrameStream(*file, chunks, *format, options.gamma, *size, options.threads);
    if (file->failed()) return fail(readFailedMessage(options.movie));
    std::unique_ptr<FrameSink> sink =
        openSink(options, *format, *size, framesPerSecond(info, options.track), message);
    if (!sink) return fail(message);

    Bytes black; // made at the first frame the format cannot show
    std::size_t unshown = 0;
    const bool progress = options.progress && chunks.size() >= progressMinSteps;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        StreamFrame picture;
        if (!stream->next(picture)) return fail(readFailedMessage(options.movie));
        ExportedFrame frame{*format,        size->width,     size->height,
                            picture.pixels, picture.palette, false};
        if (!picture.shown) {
            if (black.empty()) black = blackPicture(*format, size->width, size->height);
            frame.pixels = black.data();
            frame.black = true;
            if (unshown++ == 0) {
                if (progress) err << "\n";
                err << "qztool: frame " << i + 1 << " is of type " << chunks[i]->frameType
                    << ", which " << frameFormatName(*format)
                    << " cannot show; such frames are written black\n";
            }
        }
        if (!sink->write(frame, static_cast<long>(i + 1), message)) return fail(message);
        if (progress) drawProgress(err, i + 1, chunks.size());
    }
    if (!sink->finish(message)) return fail(message);
    out << "wrote " << chunks.size() << " frames of " << size->width << "x" << size->height
        << " as " << frameFormatName(*format);
    if (unshown != 0) out << " (" << unshown << " black: not showable)";
    out << "\n";
    warnDamage(options.movie, info.scan, "the frames written are those the player shows", err);
    return 0;
}

} // namespace qztool
