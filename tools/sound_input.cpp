#include "tools/sound_input.h"

#include <algorithm>
#include <cmath>

#include "audio/track_audio.h"
#include "tools/movie_file.h"
#include "tools/sound_libraries.h"

namespace qztool {

namespace {

// Sample frames one picture's audio chunk may hold: 22 decoded chunks (16-bit stereo) must fit
// in the player's 300,000-byte audio ring.
constexpr int maxFramesPerPicture = 300000 / 22 / 4;

struct SoundFile {
    const SoundLibraries* library = nullptr;
    SNDFILE* file = nullptr;
    SF_INFO info{};
    ~SoundFile() {
        if (file != nullptr) library->close(file);
    }
    bool open(const std::string& path, std::string& message) {
        std::string failure;
        library = soundLibraries(failure);
        if (library == nullptr) {
            message = "cannot read sound " + path + ": " + failure;
            return false;
        }
        file = library->open(path.c_str(), SFM_READ, &info);
        if (file == nullptr) {
            message = "cannot read sound " + path + ": " + library->fileError(nullptr);
            return false;
        }
        if (info.samplerate <= 0 || info.channels <= 0) {
            message = path + ": the sound has no rate or no channels";
            return false;
        }
        return true;
    }
};

std::int16_t toSample(float v) {
    return static_cast<std::int16_t>(std::clamp(std::lround(v * 32768.0f), -32768L, 32767L));
}

// Converts interleaved float samples from one rate to another with libsamplerate.
bool resample(const std::string& name, std::vector<float>& data, int channels, int from, int to,
              std::string& message) {
    const std::size_t frames = data.size() / std::size_t(channels);
    if (from == to || frames == 0) return true;
    std::string failure;
    const SoundLibraries* sound = soundLibraries(failure);
    if (sound == nullptr) {
        message = name + ": cannot convert the sound's rate: " + failure;
        return false;
    }
    const double ratio = double(to) / from;
    std::vector<float> converted((std::size_t(std::ceil(double(frames) * ratio)) + 1) *
                                 std::size_t(channels));
    SRC_DATA src{};
    src.data_in = data.data();
    src.input_frames = static_cast<long>(frames);
    src.data_out = converted.data();
    src.output_frames = static_cast<long>(converted.size() / std::size_t(channels));
    src.src_ratio = ratio;
    const int error = sound->convert(&src, SRC_SINC_MEDIUM_QUALITY, channels);
    if (error != 0) {
        message = name + ": cannot convert the sound's rate: " + sound->convertError(error);
        return false;
    }
    converted.resize(std::size_t(src.output_frames_gen) * std::size_t(channels));
    data = std::move(converted);
    return true;
}

} // namespace

bool convertRate(const std::string& name, std::vector<std::int16_t>& samples, int channels,
                 int fromRate, int toRate, std::string& message) {
    if (fromRate == toRate) return true;
    std::vector<float> data(samples.size());
    std::transform(samples.begin(), samples.end(), data.begin(),
                   [](std::int16_t v) { return float(v) / 32768.0f; });
    if (!resample(name, data, channels, fromRate, toRate, message)) return false;
    samples.resize(data.size());
    std::transform(data.begin(), data.end(), samples.begin(), toSample);
    return true;
}

bool readMovieTracks(const std::string& path, std::vector<SoundTrack>& tracks,
                     std::vector<int>& rates, std::string& message) {
    const std::unique_ptr<ByteSource> file = openMovie(path, message);
    if (!file) return false;
    const MovieScan scan = scanMovie(*file);
    const std::vector<TrackHeader> headers = leadingTrackHeaders(scan, *file);
    for (std::size_t t = 0; t < headers.size(); ++t) {
        SoundTrack track;
        track.name = path + " track " + std::to_string(t + 1);
        track.channels = headers[t].format.channels == 1 ? 1 : 2;
        DecodedTrack decoded;
        const bool ok = decodeTrack(
            scan, *file, int(t + 1), decoded,
            [&](const std::uint8_t* pcm, std::size_t bytes) {
                // Stereo frames; a mono track has the same sample on both sides.
                for (std::size_t i = 0; i + 3 < bytes; i += 4)
                    for (int c = 0; c < track.channels; ++c)
                        track.samples.push_back(
                            std::int16_t(pcm[i + 2 * c] | pcm[i + 2 * c + 1] << 8));
                return true;
            },
            message);
        if (!ok) return false;
        tracks.push_back(std::move(track));
        rates.push_back(int(decoded.rate > 0 ? decoded.rate : headers[t].format.rate));
    }
    if (file->failed()) {
        message = readFailedMessage(path);
        return false;
    }
    return true;
}

bool probeSoundRate(const std::string& path, int& rate, std::string& message) {
    SoundFile sound;
    if (!sound.open(path, message)) return false;
    rate = sound.info.samplerate;
    return true;
}

int movieAudioRate(int sourceRate, int fps) {
    int nominal = sourceRate >= 44100 ? 44100 : sourceRate >= 22050 ? 22050 : 11025;
    for (;; nominal /= 2) {
        const int perPicture = std::max(1, (nominal + fps / 2) / fps);
        if (perPicture <= maxFramesPerPicture) return perPicture * fps;
        if (nominal <= 11025) return 0;
    }
}

bool readSound(const std::string& path, int rate, SoundTrack& track, std::string& message) {
    SoundFile sound;
    if (!sound.open(path, message)) return false;
    const int in = sound.info.channels;
    const int out = in == 1 ? 1 : 2;
    std::vector<float> data(std::size_t(sound.info.frames) * in);
    const sf_count_t got = sound.library->readFloat(sound.file, data.data(), sound.info.frames);
    if (got < 0 || sound.library->error(sound.file) != SF_ERR_NO_ERROR) {
        message = "cannot read sound " + path + ": " + sound.library->fileError(sound.file);
        return false;
    }
    data.resize(std::size_t(got) * in);
    // More than two channels: the even ones to the left, the odd ones to the right.
    if (in > 2) {
        std::vector<float> stereo(std::size_t(got) * 2);
        const float share = 1.0f / float((in + 1) / 2);
        for (sf_count_t f = 0; f < got; ++f)
            for (int c = 0; c < in; ++c)
                stereo[std::size_t(f) * 2 + (c & 1)] +=
                    data[std::size_t(f) * in + c] * (c & 1 ? 1.0f / float(in / 2) : share);
        data = std::move(stereo);
    }
    if (!resample(path, data, out, sound.info.samplerate, rate, message)) return false;
    track.name = path;
    track.channels = out;
    track.samples.resize(data.size());
    std::transform(data.begin(), data.end(), track.samples.begin(), toSample);
    return true;
}

} // namespace qztool
