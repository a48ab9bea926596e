#include "tools/encode_command.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <stdlib.h>
#include <thread>

#include "format/limits.h"
#include "tools/chunk_spill.h"
#include "tools/encode_verify.h"
#include "tools/file_checks.h"
#include "tools/output_file.h"
#include "tools/picture_input.h"
#include "tools/rate_control.h"
#include "tools/sound_input.h"
#include "tools/video_coder.h"

namespace qztool {

namespace {

constexpr int defaultQuality = 75;
constexpr int defaultFramesPerSecond = 15;
constexpr int maxFramesPerSecond = 1000;
constexpr int progressWidth = 30;

std::optional<LONG> parseAudioCodec(const std::string& name) {
    if (name == "pcm") return audioCodecPcm;
    if (name == "codec7") return audioCodecBlockAdpcm;
    if (name == "codec10") return audioCodecIma;
    return std::nullopt;
}

// Frames done, speed and time left on one line of err, redrawn in place.
class Progress {
  public:
    Progress(std::ostream& err, bool on, std::optional<std::size_t> total, std::string label)
        : err_(err), on_(on), total_(total), label_(std::move(label)),
          start_(std::chrono::steady_clock::now()) {}
    void update(std::size_t done) {
        if (!on_) return;
        const auto now = std::chrono::steady_clock::now();
        // A few redraws a second are enough to read; the last frame is always shown.
        if (drawn_ && now - last_ < std::chrono::milliseconds(100) && (!total_ || done < *total_))
            return;
        last_ = now;
        const double seconds = std::chrono::duration<double>(now - start_).count();
        const double speed = seconds > 0 ? double(done) / seconds : 0;
        err_ << "\r";
        if (!label_.empty()) err_ << label_ << " ";
        if (total_ && *total_ > 0) {
            const auto filled = int(std::min(done, *total_) * progressWidth / *total_);
            err_ << "[" << std::string(filled, '#') << std::string(progressWidth - filled, ' ')
                 << "] " << done << "/" << *total_;
        } else {
            err_ << done << " frames";
        }
        char text[64];
        std::snprintf(text, sizeof text, ", %.1f frames/s", speed);
        err_ << text;
        if (total_ && speed > 0 && done <= *total_)
            err_ << ", " << long(std::lround(double(*total_ - done) / speed)) << " s left";
        err_ << "   " << std::flush;
        drawn_ = true;
    }
    void finish() {
        if (drawn_) err_ << "\n" << std::flush;
        drawn_ = false;
    }

  private:
    std::ostream& err_;
    bool on_;
    std::optional<std::size_t> total_;
    std::string label_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point last_;
    bool drawn_ = false;
};

// Every input file named, for the check that the output spares them.
std::vector<std::string> inputFiles(const EncodeOptions& options) {
    std::vector<std::string> files;
    for (const std::string& name : options.pictures) {
        if (name == "-") continue;
        if (name.find('%') != std::string::npos) {
            for (std::string& f : patternFiles(name)) files.push_back(std::move(f));
        } else {
            files.push_back(name);
        }
    }
    for (const std::string& name : options.audio)
        if (name != silenceTrack) files.push_back(name);
    return files;
}

// The tracks as the movie carries them: each at least as long as the pictures, since the player
// reads the end of the sound as the end of the audio clock.
std::vector<MovieTrack> movieTracks(const std::vector<SoundTrack>& tracks, int rate, LONG codec,
                                    std::size_t frames, const MovieOptions& options) {
    std::vector<MovieTrack> out;
    for (const SoundTrack& track : tracks) {
        MovieTrack t;
        t.format = {track.channels, rate, 16, codec};
        t.samples = track.samples;
        const std::size_t perSlot = std::size_t(movieSamplesPerSlot(options, t));
        const std::size_t needed = frames * perSlot * std::size_t(track.channels);
        if (t.samples.size() < needed) t.samples.resize(needed, 0);
        out.push_back(std::move(t));
    }
    return out;
}

struct CodedVideo {
    ChunkSpill* keep = nullptr; // where the chunks are kept; none: only their bytes are counted
    std::uint64_t payloadBytes = 0;
    std::size_t frames = 0;
    bool tooLarge = false; // a frame was more than a player holds
    int width = 0;
    int height = 0;
};

// Codes every picture of source with settings, measuring each with check when given. False
// with a message naming the input on a failure.
bool codePictures(const std::string& name, PictureSource& source, const VideoSettings& settings,
                  VideoCheck* check, Progress& progress, CodedVideo& coded, std::string& message) {
    VideoCoder coder(settings);
    std::vector<InputPicture> batch;
    for (bool more = true; more;) {
        batch.clear();
        while (batch.size() < coder.batchSize()) {
            InputPicture picture;
            message.clear();
            if (!source.next(picture, message)) {
                if (!message.empty()) {
                    progress.finish();
                    return false;
                }
                more = false;
                break;
            }
            if (coded.width == 0) {
                coded.width = picture.width, coded.height = picture.height;
                if (!checkPictureSize(settings.codec, coded.width, coded.height, message)) {
                    message = name + ": " + message;
                    return false;
                }
            }
            batch.push_back(std::move(picture));
        }
        std::vector<MovieVideoChunk> chunks = coder.encode(batch);
        for (std::size_t i = 0; i < chunks.size(); ++i) {
            // The player reads each frame whole into its video ring.
            if (chunks[i].payload.size() > std::size_t(maxVideoPayload)) {
                message = name + ": frame " + std::to_string(coded.frames + 1) + " codes to " +
                          std::to_string(chunks[i].payload.size()) + " bytes, more than the " +
                          std::to_string(maxVideoPayload) +
                          " a player holds; lower the quality or the picture size";
                coded.tooLarge = true;
                return false;
            }
            if (check) check->add(chunks[i], batch[i]);
            coded.payloadBytes += chunks[i].payload.size();
            ++coded.frames;
            if (coded.keep && !coded.keep->add(chunks[i], message)) return false;
        }
        if (!chunks.empty()) progress.update(coded.frames);
    }
    progress.finish();
    return true;
}

std::string seconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// Writes the movie with its video chunks read back from spill, as a whole file or not at all.
bool writeMovieFile(const std::string& path, const Movie& movie, ChunkSpill& spill,
                    std::uint64_t& bytes, std::string& message) {
    OutputFile file;
    if (!file.open(path, message)) return false;
    MovieVideoChunk chunk;
    bool spillRead = true;
    const bool written = writeMovieChunks(
        movie, spill.count(),
        [&](std::size_t i) -> const MovieVideoChunk& {
            spillRead = spillRead && spill.read(i, chunk, message);
            return chunk;
        },
        [&](std::uint32_t id, const Bytes& payload) {
            const auto size = static_cast<std::uint32_t>(payload.size() + 8);
            const std::uint8_t head[8] = {std::uint8_t(id),         std::uint8_t(id >> 8),
                                          std::uint8_t(id >> 16),   std::uint8_t(id >> 24),
                                          std::uint8_t(size),       std::uint8_t(size >> 8),
                                          std::uint8_t(size >> 16), std::uint8_t(size >> 24)};
            bytes += size;
            return spillRead && file.write(head, sizeof head, message) &&
                   file.write(payload.data(), payload.size(), message);
        });
    return written && spillRead && file.commit(message);
}

} // namespace

namespace {

// Standard input copied whole into a temporary file, removed again when done: rate control reads
// the pictures more than once.
class StdinCopy {
  public:
    ~StdinCopy() {
        if (!path_.empty()) std::remove(path_.c_str());
    }
    bool make(std::string& message) {
        std::string name = (std::filesystem::temp_directory_path() / "qztool-XXXXXX.y4m").string();
        const int fd = mkstemps(name.data(), 4);
        std::FILE* file = fd < 0 ? nullptr : fdopen(fd, "wb");
        if (file == nullptr) {
            message = std::string("cannot copy standard input: ") + std::strerror(errno);
            return false;
        }
        path_ = name;
        char buffer[1 << 16];
        bool ok = true;
        for (std::size_t n; ok && (n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;)
            ok = std::fwrite(buffer, 1, n, file) == n;
        ok = ok && std::ferror(stdin) == 0;
        if (std::fclose(file) != 0 || !ok) {
            message = std::string("cannot copy standard input: ") + std::strerror(errno);
            return false;
        }
        return true;
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

} // namespace

static int runEncodeFrom(const EncodeOptions& options, std::ostream& out, std::ostream& err);

int runEncode(const EncodeOptions& options, std::ostream& out, std::ostream& err) {
    if ((options.size || options.bitrate) && options.pictures == std::vector<std::string>{"-"}) {
        StdinCopy copy;
        std::string message;
        if (!copy.make(message)) {
            err << "qztool: " << message << "\n";
            return 1;
        }
        EncodeOptions fromCopy = options;
        fromCopy.stdinCopy = copy.path();
        return runEncodeFrom(fromCopy, out, err);
    }
    return runEncodeFrom(options, out, err);
}

static int runEncodeFrom(const EncodeOptions& options, std::ostream& out, std::ostream& err) {
    std::string message;
    auto fail = [&](const std::string& what) {
        err << "qztool: " << what << "\n";
        return 1;
    };
    const std::optional<VideoCodec> codec = parseVideoCodec(options.video);
    if (!codec) return fail("unknown video codec " + options.video);
    const std::optional<LONG> audioCodec = parseAudioCodec(options.audioCodec);
    if (!audioCodec) return fail("unknown audio codec " + options.audioCodec);
    const int quality = options.quality.value_or(defaultQuality);
    if (quality < 0 || quality > 100) return fail("--quality must be 0 to 100");
    if (options.fps && (*options.fps < 1 || *options.fps > maxFramesPerSecond))
        return fail("--fps must be 1 to " + std::to_string(maxFramesPerSecond));
    if (options.threads < 0) return fail("--threads must be 0 (one a core) or more");
    if (options.keyInterval < 0) return fail("--key-interval must be 0 (the default) or more");
    if (options.searchRange < 0 || options.searchRange > 16)
        return fail("--search-range must be 0 to 16");
    if (int(options.quality.has_value()) + int(options.size.has_value()) +
            int(options.bitrate.has_value()) >
        1)
        return fail("give one of --quality, --size and --bitrate");
    if ((options.size && *options.size == 0) || (options.bitrate && *options.bitrate <= 0))
        return fail("--size and --bitrate must be above 0");
    if (options.loopFrom && *options.loopFrom != 0)
        return fail("--loop-from " + seconds(*options.loopFrom) +
                    ": a looping player goes back to the movie's first sound chunk, which the "
                    "movie has at 0 s; no later loop point can be written");
    for (const std::string& input : inputFiles(options))
        if (!checkOutputSparesInput(input, options.output, message)) return fail(message);

    // The pictures, opened again for each pass of rate control.
    auto openPictures = [&options](std::string& message) {
        return options.stdinCopy.empty()
                   ? openPictureSource(options.pictures, message)
                   : openY4mSource(options.stdinCopy, message, "standard input");
    };
    std::unique_ptr<PictureSource> source = openPictures(message);
    const std::string picturesName =
        options.pictures.front() == "-" ? "standard input" : options.pictures.front();
    if (!source) return fail(message);
    const int fps =
        options.fps.value_or(source->framesPerSecond().value_or(defaultFramesPerSecond));
    if (fps < 1 || fps > maxFramesPerSecond)
        return fail(picturesName + ": picture rate " + std::to_string(fps) + " is not 1 to " +
                    std::to_string(maxFramesPerSecond) + "; give --fps");

    // Sound: every track at one rate, which the pictures' rate divides. A movie given as the
    // pictures brings its own tracks when no --audio is given.
    std::vector<SoundTrack> tracks;
    std::vector<int> rates;
    const bool movieSound = options.audio.empty() && options.pictures.size() == 1 &&
                            options.pictures[0] != "-" && looksLikeMovie(options.pictures[0]);
    if (movieSound && !readMovieTracks(options.pictures[0], tracks, rates, message))
        return fail(message);
    for (const std::string& name : options.audio) {
        int rate = 0;
        if (name != silenceTrack &&
            (!checkInputFile(name, message, "sound file") || !probeSoundRate(name, rate, message)))
            return fail(message);
        rates.push_back(rate);
    }
    const int sourceRate = rates.empty() ? 0 : *std::max_element(rates.begin(), rates.end());
    const int rate = movieAudioRate(sourceRate, fps);
    if (!rates.empty() && rate == 0)
        return fail("at " + std::to_string(fps) +
                    " pictures a second one picture's sound is more than the player queues; "
                    "give --fps 4 or more");
    for (std::size_t t = 0; t < tracks.size(); ++t)
        if (!convertRate(tracks[t].name, tracks[t].samples, tracks[t].channels, rates[t], rate,
                         message))
            return fail(message);
    for (const std::string& name : options.audio) {
        SoundTrack track;
        track.name = name;
        if (name != silenceTrack && !readSound(name, rate, track, message)) return fail(message);
        tracks.push_back(std::move(track));
    }

    VideoSettings settings;
    settings.codec = *codec;
    settings.quality = quality;
    settings.keyInterval = options.keyInterval;
    settings.searchRange = options.searchRange;
    settings.nonReference = options.nonReference;
    settings.threads = options.threads > 0 ? options.threads
                                           : int(std::max(1u, std::thread::hardware_concurrency()));

    Movie movie;
    movie.options.slotsPerSecond = fps;
    movie.options.audioFirst = true;
    const bool rateControl = options.size || options.bitrate;
    std::uint64_t target = 0;
    if (rateControl) {
        const std::optional<std::size_t> frames = source->count();
        if (!frames || *frames == 0) return fail(picturesName + ": no pictures");
        target = options.size ? *options.size
                              : std::uint64_t(std::llround(double(*options.bitrate) * 1000.0 / 8.0 *
                                                           double(*frames) / fps));
        // What the movie holds besides the video payloads: sound, stream headers, chunk
        // headers and the end chunk.
        Movie frame = movie;
        frame.tracks = movieTracks(tracks, rate, *audioCodec, *frames, movie.options);
        frame.video.assign(*frames, MovieVideoChunk{});
        const std::uint64_t fixed = movieBytes(frame).size();
        if (target <= fixed)
            return fail("the movie's sound and chunk headers alone take " + std::to_string(fixed) +
                        " bytes, more than the " + std::to_string(target) + " asked for");
        std::size_t pass = 0;
        const std::optional<int> level =
            searchLevel(maxVideoLevel(*codec), target - fixed, [&](int at) {
                VideoSettings trial = settings;
                trial.level = at;
                std::unique_ptr<PictureSource> again = openPictures(message);
                CodedVideo coded;
                Progress progress(err, options.progress, *frames, "pass " + std::to_string(++pass));
                if (!again) return std::optional<std::uint64_t>();
                // Settings that make a frame too large count as too large a movie.
                if (!codePictures(picturesName, *again, trial, nullptr, progress, coded, message))
                    return coded.tooLarge ? std::optional<std::uint64_t>(UINT64_MAX)
                                          : std::optional<std::uint64_t>();
                return std::optional<std::uint64_t>(coded.payloadBytes);
            });
        if (!level) return fail(message);
        settings.level = *level;
        source = openPictures(message);
        if (!source) return fail(message);
    }

    std::unique_ptr<VideoCheck> check;
    if (options.verify) check = std::make_unique<VideoCheck>(*codec == VideoCodec::krt);
    ChunkSpill spill;
    CodedVideo coded;
    coded.keep = &spill;
    Progress progress(err, options.progress, source->count(), rateControl ? "final pass" : "");
    if (!codePictures(picturesName, *source, settings, check.get(), progress, coded, message))
        return fail(message);
    const int width = coded.width, height = coded.height;
    if (coded.frames == 0) return fail(picturesName + ": no pictures");
    err << source->warnings();

    movie.tracks = movieTracks(tracks, rate, *audioCodec, coded.frames, movie.options);
    for (std::size_t t = 0; t < tracks.size(); ++t) tracks[t].samples = movie.tracks[t].samples;
    std::uint64_t bytes = 0;
    if (!writeMovieFile(options.output, movie, spill, bytes, message)) return fail(message);
    out << "wrote " << options.output << ": " << coded.frames << " frames of " << width << "x"
        << height << " " << videoCodecName(*codec) << " at " << fps << " a second";
    if (!tracks.empty())
        out << ", " << tracks.size() << (tracks.size() == 1 ? " track" : " tracks") << " of "
            << options.audioCodec << " at " << rate << " Hz";
    out << ", " << bytes << " bytes";
    if (rateControl) {
        char text[96];
        std::snprintf(text, sizeof text, " (level %.2f of %d, %+.1f %% from the target)",
                      settings.level / 16.0, maxVideoLevel(*codec) / 16,
                      100.0 * (double(bytes) - double(target)) / double(target));
        out << text;
    }
    out << "\n";
    // The codec's range of settings may not reach the size asked for.
    if (rateControl && std::abs(double(bytes) - double(target)) > 0.05 * double(target))
        err << "qztool: warning: " << bytes << " bytes is as near as " << videoCodecName(*codec)
            << " at these settings comes to the " << target << " asked for\n";
    if (check && !check->checkWritten(options.output, tracks, out, err)) return 1;
    return 0;
}

} // namespace qztool
