#include "tools/demo_dor.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "encoder/dor_encoder.h"
#include "encoder/movie_writer.h"
#include "tools/output_file.h"
#include "encoder/rounding.h"

namespace qztool {

namespace {

constexpr int width = 320;
constexpr int height = 240;
constexpr int framesPerSecond = 15;
constexpr int frameCount = 5 * framesPerSecond;
constexpr int keyInterval = 30; // a key frame every two seconds
constexpr int rate = 22050;

std::uint8_t toByte(double v) {
    return static_cast<std::uint8_t>(std::clamp(roundHalfAway(v), 0L, 255L));
}

// Frame t of the scene as R, G, B bytes: a sky fading with height, a sun drifting across it,
// rolling hills scrolling sideways, and a striped ball bouncing in front.
std::vector<std::uint8_t> sceneRgb(int t) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    const double time = static_cast<double>(t) / framesPerSecond;
    const double sunX = 40 + 48 * time, sunY = 60 - 6 * time;
    const double ballX = 60 + 40 * time;
    const double ballY = 170 - 90 * std::abs(std::sin(time * std::numbers::pi * 0.8));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double r = 70 + 0.4 * y, g = 110 + 0.35 * y, b = 200 - 0.2 * y;
            const double sun = std::hypot(x - sunX, y - sunY);
            if (sun < 22) r = 240, g = 210, b = 90;
            const double hill =
                165 + 18 * std::sin((x + 6.0 * t) / 37.0) + 9 * std::sin((x + 3.0 * t) / 13.0);
            if (y > hill) {
                const double shade = 0.8 + 0.2 * std::sin((x + 6.0 * t) / 5.0);
                r = 50 * shade, g = (120 + 0.2 * (y - hill)) * shade, b = 45 * shade;
            }
            const double ball = std::hypot(x - ballX, y - ballY);
            if (ball < 18) {
                const bool stripe = static_cast<int>((x - ballX + y - ballY + 40) / 6) % 2 == 0;
                r = stripe ? 220 : 200, g = stripe ? 60 : 200, b = stripe ? 50 : 210;
            }
            std::uint8_t* p = rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
            p[0] = toByte(r), p[1] = toByte(g), p[2] = toByte(b);
        }
    }
    return rgb;
}

// A slow arpeggio over a drone, the arpeggio swaying between the speakers.
MovieTrack soundtrack() {
    MovieTrack track;
    track.format = {2, rate, 16, audioCodecIma};
    constexpr int notes[] = {0, 4, 7, 12, 7, 4};
    const int frames = rate * frameCount / framesPerSecond;
    track.samples.reserve(static_cast<std::size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const auto n = static_cast<std::size_t>(t / 0.2);
        const double tn = t - static_cast<double>(n) * 0.2;
        const double hz = 220.0 * std::pow(2.0, notes[n % std::size(notes)] / 12.0);
        const double lead = std::exp(-tn * 9) * std::sin(2 * std::numbers::pi * hz * t);
        const double drone = 0.3 * std::sin(2 * std::numbers::pi * 110.0 * t);
        const double pan = 0.5 + 0.4 * std::sin(2 * std::numbers::pi * t / 2.5);
        track.samples.push_back(
            static_cast<std::int16_t>(roundHalfAway(9000 * (lead * (1 - pan) + drone))));
        track.samples.push_back(
            static_cast<std::int16_t>(roundHalfAway(9000 * (lead * pan + drone))));
    }
    return track;
}

} // namespace

bool writeDorDemoMovie(const std::string& path, std::string& message) {
    Movie movie;
    movie.options.slotsPerSecond = framesPerSecond;
    movie.tracks.push_back(soundtrack());
    DorEncoder encoder({.quantiser = 5});
    // Every lap of a looping player starts with a key frame.
    const auto lapStart = static_cast<int>(movieLapStartFrame(movie));
    for (int t = 0; t < frameCount; ++t) {
        // Key frames every two seconds; between them motion frames, with every other one a
        // non-reference frame a late player may drop.
        const DorFrameKind kind = t % keyInterval == 0 || t == lapStart ? DorFrameKind::key
                                  : t % 2 == 1                          ? DorFrameKind::nonReference
                                                                        : DorFrameKind::motion;
        const std::vector<std::uint8_t> rgb = sceneRgb(t);
        movie.video.push_back(
            {dorChunkId(kind), encoder.encode(rgbToYuv420(rgb.data(), width, height), kind)});
    }
    ChunkWriter writer;
    writeMovie(movie, writer);
    const Bytes& bytes = writer.bytes();
    return writeOutputFile(path, nullptr, 0, bytes.data(), bytes.size(), message);
}

} // namespace qztool
