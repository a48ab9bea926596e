#include "tools/encode_command.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ostream>

#include "tools/encode_verify.h"
#include "tools/file_checks.h"
#include "tools/output_file.h"
#include "tools/picture_input.h"
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
    Progress(std::ostream& err, bool on, std::optional<std::size_t> total)
        : err_(err), on_(on), total_(total), start_(std::chrono::steady_clock::now()) {}
    void update(std::size_t done) {
        if (!on_) return;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        const double speed = seconds > 0 ? double(done) / seconds : 0;
        err_ << "\r";
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
    std::chrono::steady_clock::time_point start_;
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

} // namespace

int runEncode(const EncodeOptions& options, std::ostream& out, std::ostream& err) {
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
    if (options.threads < 1) return fail("--threads must be at least 1");
    if (options.loopFrom && *options.loopFrom != 0)
        return fail("--loop-from " + std::to_string(*options.loopFrom) +
                    ": a looping player goes back to the movie's first sound chunk, which the "
                    "movie has at 0 s; no later loop point can be written");
    for (const std::string& input : inputFiles(options))
        if (!checkOutputSparesInput(input, options.output, message)) return fail(message);

    std::unique_ptr<PictureSource> source = openPictureSource(options.pictures, message);
    if (!source) return fail(message);
    const int fps =
        options.fps.value_or(source->framesPerSecond().value_or(defaultFramesPerSecond));

    // Sound: every track at one rate, which the pictures' rate divides.
    int sourceRate = 0;
    for (const std::string& name : options.audio) {
        int rate = 0;
        if (name == silenceTrack) continue;
        if (!probeSoundRate(name, rate, message)) return fail(message);
        sourceRate = std::max(sourceRate, rate);
    }
    const int rate = movieAudioRate(sourceRate, fps);
    if (!options.audio.empty() && rate == 0)
        return fail("at " + std::to_string(fps) +
                    " pictures a second one picture's sound is more than the player queues; "
                    "give --fps 4 or more");
    std::vector<SoundTrack> tracks;
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
    settings.threads = options.threads;
    VideoCoder coder(settings);
    std::unique_ptr<VideoCheck> check;
    if (options.verify) check = std::make_unique<VideoCheck>(*codec == VideoCodec::krt);

    Movie movie;
    movie.options.slotsPerSecond = fps;
    movie.options.audioFirst = true;
    Progress progress(err, options.progress, source->count());
    std::vector<InputPicture> batch;
    int width = 0, height = 0;
    for (bool more = true; more;) {
        batch.clear();
        while (batch.size() < coder.batchSize()) {
            InputPicture picture;
            message.clear();
            if (!source->next(picture, message)) {
                if (!message.empty()) {
                    progress.finish();
                    return fail(message);
                }
                more = false;
                break;
            }
            if (width == 0) {
                width = picture.width, height = picture.height;
                if (!checkPictureSize(*codec, width, height, message)) return fail(message);
            }
            batch.push_back(std::move(picture));
        }
        std::vector<MovieVideoChunk> chunks = coder.encode(batch);
        for (std::size_t i = 0; i < chunks.size(); ++i) {
            if (check) check->add(chunks[i], batch[i]);
            movie.video.push_back(std::move(chunks[i]));
        }
        progress.update(movie.video.size());
    }
    progress.finish();
    if (movie.video.empty()) return fail(options.pictures.front() + ": no pictures");

    // Every track lasts at least as long as the pictures: the player reads the end of the
    // sound as the end of the audio clock, so each picture keeps a chunk of sound.
    for (SoundTrack& track : tracks) {
        MovieTrack t;
        t.format = {track.channels, rate, 16, *audioCodec};
        const std::size_t perSlot = std::size_t(movieSamplesPerSlot(movie.options, t));
        const std::size_t needed = movie.video.size() * perSlot * std::size_t(track.channels);
        if (track.samples.size() < needed) track.samples.resize(needed, 0);
        t.samples = track.samples;
        movie.tracks.push_back(std::move(t));
    }
    ChunkWriter writer;
    writeMovie(movie, writer);
    if (!writeOutputFile(options.output, nullptr, 0, writer.bytes().data(), writer.size(), message))
        return fail(message);
    out << "wrote " << options.output << ": " << movie.video.size() << " frames of " << width << "x"
        << height << " " << videoCodecName(*codec) << " at " << fps << " a second";
    if (!tracks.empty())
        out << ", " << tracks.size() << (tracks.size() == 1 ? " track" : " tracks") << " of "
            << options.audioCodec << " at " << rate << " Hz";
    out << ", " << writer.size() << " bytes\n";
    if (check && !check->checkWritten(options.output, tracks, out, err)) return 1;
    return 0;
}

} // namespace qztool
