#include "tools/demo_krt.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "encoder/krt_encoder.h"
#include "encoder/movie_writer.h"
#include "tools/output_file.h"
#include "encoder/rounding.h"

namespace qztool {

namespace {

constexpr int width = 320;
constexpr int height = 240;
constexpr int slotsPerSecond = 15;
constexpr int seconds = 5;
constexpr int frames = slotsPerSecond * seconds;
constexpr int keyInterval = 25;
constexpr int rate = 22050;

// Eight saturated colours for the stripes and the balls.
constexpr std::uint8_t colours[8][3] = {{230, 40, 40},  {240, 160, 30}, {240, 230, 40},
                                        {60, 200, 70},  {40, 180, 220}, {50, 70, 210},
                                        {150, 60, 200}, {240, 240, 240}};

// Diagonal rainbow stripes scrolling down and to the right, with soft shading bands, under
// four balls bouncing in the frame.
RgbPicture scene(int frame) {
    RgbPicture p{width, height, std::vector<std::uint8_t>(std::size_t(width) * height * 3)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int u = x - 2 * frame, v = y - frame;
            const std::uint8_t* c = colours[((u + v) / 20 % 7 + 7) % 7];
            const int shade = ((v / 30) % 2 == 0) ? 4 : 3;
            std::uint8_t* out = p.rgb.data() + 3 * (std::size_t(y) * width + x);
            for (int k = 0; k < 3; ++k) out[k] = std::uint8_t(c[k] * shade / 4);
        }
    for (int ball = 0; ball < 4; ++ball) {
        const double t = frame / double(slotsPerSecond);
        const double cx = 40 + (width - 80) * (0.5 + 0.5 * std::sin(1.3 * t + ball * 1.7));
        const double cy = 40 + (height - 80) * std::abs(std::cos(2.1 * t + ball));
        const int radius = 14 + 4 * ball;
        const std::uint8_t* c = colours[(ball * 3 + 7) % 8];
        for (int y = std::max(0, int(cy) - radius); y < std::min(height, int(cy) + radius); ++y)
            for (int x = std::max(0, int(cx) - radius); x < std::min(width, int(cx) + radius);
                 ++x) {
                const double dx = x - cx, dy = y - cy;
                if (dx * dx + dy * dy >= radius * radius) continue;
                std::uint8_t* out = p.rgb.data() + 3 * (std::size_t(y) * width + x);
                // A highlight in the upper left of each ball.
                const bool lit = dx + dy < -radius / 2;
                for (int k = 0; k < 3; ++k) out[k] = lit ? 255 : c[k];
            }
    }
    return p;
}

// A slow arpeggio of A minor and F major over a soft drone, panned gently.
MovieTrack soundtrack() {
    MovieTrack track;
    track.format = {2, rate, 16, audioCodecIma};
    constexpr int samples = rate * seconds;
    constexpr double notes[8] = {220.0, 261.63, 329.63, 440.0, 174.61, 220.0, 261.63, 349.23};
    track.samples.reserve(std::size_t(samples) * 2);
    for (int i = 0; i < samples; ++i) {
        const double t = double(i) / rate;
        const int step = int(t * 6);
        const double tn = t - step / 6.0;
        const double hz = notes[step % 8];
        const double note = std::exp(-tn * 5.0) * std::sin(2 * std::numbers::pi * hz * t);
        const double drone = 0.3 * std::sin(2 * std::numbers::pi * 110.0 * t);
        const double pan = 0.5 + 0.4 * std::sin(2 * std::numbers::pi * t / 2.5);
        const double fade = std::min(1.0, (seconds - t) * 2.0);
        track.samples.push_back(
            std::int16_t(roundHalfAway(fade * 9000 * (note * (1 - pan) + drone))));
        track.samples.push_back(std::int16_t(roundHalfAway(fade * 9000 * (note * pan + drone))));
    }
    return track;
}

} // namespace

bool writeKrtDemoMovie(const std::string& path, std::string& message) {
    Movie movie;
    movie.options.slotsPerSecond = slotsPerSecond;
    movie.tracks.push_back(soundtrack());
    KrtEncoder encoder;
    // Every lap of a looping player starts with a key frame.
    const auto lapStart = static_cast<int>(movieLapStartFrame(movie));
    for (int frame = 0; frame < frames; ++frame) {
        const RgbPicture picture = scene(frame);
        const bool key = frame % keyInterval == 0 || frame == lapStart;
        movie.video.push_back(key ? encoder.keyFrame(picture) : encoder.deltaFrame(picture));
    }
    ChunkWriter writer;
    writeMovie(movie, writer);
    const Bytes& bytes = writer.bytes();
    return writeOutputFile(path, nullptr, 0, bytes.data(), bytes.size(), message);
}

} // namespace qztool
