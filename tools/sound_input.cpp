#include "tools/sound_input.h"

#include <algorithm>
#include <cmath>
#include <samplerate.h>
#include <sndfile.h>

namespace qztool {

namespace {

// Sample frames one picture's audio chunk may hold: 22 decoded chunks (16-bit stereo) must fit
// in the player's 300,000-byte audio ring.
constexpr int maxFramesPerPicture = 300000 / 22 / 4;

struct SoundFile {
    SNDFILE* file = nullptr;
    SF_INFO info{};
    ~SoundFile() {
        if (file != nullptr) sf_close(file);
    }
    bool open(const std::string& path, std::string& message) {
        file = sf_open(path.c_str(), SFM_READ, &info);
        if (file == nullptr) {
            message = "cannot read sound " + path + ": " + sf_strerror(nullptr);
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

} // namespace

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
    const sf_count_t got = sf_readf_float(sound.file, data.data(), sound.info.frames);
    if (got < 0 || sf_error(sound.file) != SF_ERR_NO_ERROR) {
        message = "cannot read sound " + path + ": " + sf_strerror(sound.file);
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
    if (sound.info.samplerate != rate && got > 0) {
        const double ratio = double(rate) / sound.info.samplerate;
        std::vector<float> converted(std::size_t(std::ceil(double(got) * ratio)) * out + out);
        SRC_DATA src{};
        src.data_in = data.data();
        src.input_frames = static_cast<long>(got);
        src.data_out = converted.data();
        src.output_frames = static_cast<long>(converted.size() / out);
        src.src_ratio = ratio;
        const int error = src_simple(&src, SRC_SINC_MEDIUM_QUALITY, out);
        if (error != 0) {
            message = path + ": cannot convert the sound's rate: " + src_strerror(error);
            return false;
        }
        converted.resize(std::size_t(src.output_frames_gen) * out);
        data = std::move(converted);
    }
    track.name = path;
    track.channels = out;
    track.samples.resize(data.size());
    std::transform(data.begin(), data.end(), track.samples.begin(), toSample);
    return true;
}

} // namespace qztool
