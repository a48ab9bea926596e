#include "tools/demo_movie.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>
#include <ostream>

#include "encoder/type3_encoder.h"
#include "encoder/type4_encoder.h"
#include "encoder/rounding.h"
#include "tools/output_file.h"

namespace qztool {

namespace {

// A pentatonic tune in C major, in semitones above middle C, one note every quarter second.
constexpr int melody[] = {0,  4,  7, 9, 7, 4, 2, 4, 0, 2, 4, 7,  9, 12, 9, 7,  4, 7, 9, 12,
                          14, 12, 9, 7, 9, 7, 4, 2, 4, 2, 0, -3, 0, 4,  7, 12, 9, 7, 4, 0};
// Bass roots, one every two seconds.
constexpr int bass[] = {-24, -19, -15, -17, -24};

double noteHz(int semitones) {
    return 261.6256 * std::pow(2.0, semitones / 12.0);
}

// A plucked tone: fundamental with a soft second harmonic, fast attack, exponential decay.
double pluck(double hz, double t) {
    double attack = std::min(1.0, t * 200.0);
    double phase = 2.0 * std::numbers::pi * hz * t;
    return attack * std::exp(-t * 4.0) * (std::sin(phase) + 0.25 * std::sin(2.0 * phase));
}

} // namespace

Movie demoMovie() {
    Movie movie;
    movie.options.slotsPerSecond = demoSlotsPerSecond;
    MovieTrack track;
    track.format = {2, demoRate, 16, audioCodecIma};
    constexpr int frames = demoRate * demoSeconds;
    constexpr double noteSeconds = 0.25;
    constexpr double bassSeconds = 2.0;
    track.samples.reserve(2 * frames);
    for (int i = 0; i < frames; ++i) {
        double t = static_cast<double>(i) / demoRate;
        auto note = static_cast<std::size_t>(t / noteSeconds);
        double tn = t - static_cast<double>(note) * noteSeconds;
        double lead = pluck(noteHz(melody[note % std::size(melody)]), tn);
        auto root = static_cast<std::size_t>(t / bassSeconds);
        double tb = t - static_cast<double>(root) * bassSeconds;
        double low = std::sin(2.0 * std::numbers::pi * noteHz(bass[root % std::size(bass)]) * t) *
                     std::exp(-tb * 0.8);
        // The lead sways between the speakers, the bass sits in the middle; fade out at the end.
        double pan = 0.5 + 0.35 * std::sin(2.0 * std::numbers::pi * t / 4.0);
        double fade = std::min(1.0, (demoSeconds - t) * 2.0);
        double left = fade * (0.45 * lead * (1.0 - pan) * 2.0 + 0.3 * low);
        double right = fade * (0.45 * lead * pan * 2.0 + 0.3 * low);
        track.samples.push_back(static_cast<std::int16_t>(roundHalfAway(left * 12000.0)));
        track.samples.push_back(static_cast<std::int16_t>(roundHalfAway(right * 12000.0)));
    }
    movie.tracks.push_back(std::move(track));

    // Type-3 frames skip the macroblocks that the type-3 frame before them left unchanged; the
    // first of a run follows a type-4 picture, whose colours differ slightly, and codes all.
    // The frames a lap starts with code every macroblock too: a looping player shows them
    // after the last frame of the lap before.
    const auto lapStart = static_cast<int>(movieLapStartFrame(movie));
    YuvPicture previous;
    bool previousType3 = false;
    for (int frame = 0; frame < demoFrames; ++frame) {
        if (frame <= lapStart) previousType3 = false;
        const std::vector<std::uint8_t> rgb = demoPicture(frame);
        YuvPicture picture = rgbToYuv420(rgb.data(), demoWidth, demoHeight);
        if (demoFrameIsType4(frame)) {
            movie.video.push_back({chunkId("QZ2f"), encodeType4Frame(picture, demoQuality)});
            previousType3 = false;
        } else {
            movie.video.push_back(
                {chunkId("MQZf"),
                 encodeType3Frame(picture, demoQuality, previousType3 ? &previous : nullptr)});
            previousType3 = true;
        }
        previous = std::move(picture);
    }
    return movie;
}

int runDemo(const std::string& path, std::ostream& out, std::ostream& err) {
    Movie movie = demoMovie();
    ChunkWriter writer;
    writeMovie(movie, writer);
    std::string message;
    if (!writeOutputFile(path, nullptr, 0, writer.bytes().data(), writer.bytes().size(), message)) {
        err << "qztool: " << message << "\n";
        return 1;
    }
    const auto type4 =
        std::count_if(movie.video.begin(), movie.video.end(),
                      [](const MovieVideoChunk& c) { return c.id == chunkId("QZ2f"); });
    out << "wrote " << path << ": " << demoSeconds << " s, " << movie.video.size() << " frames of "
        << demoWidth << "x" << demoHeight << " (" << movie.video.size() - type4 << " type 3, "
        << type4 << " type 4) and stereo IMA ADPCM at " << demoRate << " Hz in "
        << movieAudioSlots(movie) << " audio chunks of 1/" << demoSlotsPerSecond << " s, "
        << writer.size() << " bytes\n";
    return 0;
}

} // namespace qztool
