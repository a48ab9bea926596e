// Writes the seed corpora of every fuzz target from small pictures and sounds made by our own
// encoders: the decoders spend their time per pixel, so small pictures let a campaign try many
// times more inputs a second than frames cut from full-size movies. Usage: make_seeds OUT_DIR
// (one folder per target is made in it).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "encoder/dct_encoder.h"
#include "encoder/dor_encoder.h"
#include "encoder/krt_encoder.h"
#include "encoder/movie_writer.h"
#include "encoder/type3_encoder.h"
#include "encoder/type4_encoder.h"
#include "format/chunk_ids.h"

namespace {

namespace fs = std::filesystem;

constexpr int seedWidth = 48;
constexpr int seedHeight = 32;
constexpr int seedFrames = 4;

fs::path outDir;

void write(const std::string& target, const std::string& name, const Bytes& data) {
    fs::create_directories(outDir / target);
    std::ofstream file(outDir / target / name, std::ios::binary);
    file.write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
}

// A gradient with a bright square that moves and a fine checker in one corner, so frames have
// flat areas, edges, detail for the AC codes, and motion between them.
std::vector<std::uint8_t> seedRgb(int frame) {
    std::vector<std::uint8_t> rgb(3 * seedWidth * seedHeight);
    for (int y = 0; y < seedHeight; ++y)
        for (int x = 0; x < seedWidth; ++x) {
            std::uint8_t* p = &rgb[3 * (y * seedWidth + x)];
            const bool square = x >= 8 + 5 * frame && x < 24 + 5 * frame && y >= 6 && y < 22;
            const bool checker = x >= 36 && y >= 20 && ((x ^ y) & 1) != 0;
            p[0] = static_cast<std::uint8_t>(square ? 240 : 5 * x);
            p[1] = static_cast<std::uint8_t>(checker ? 250 : 7 * y);
            p[2] = static_cast<std::uint8_t>(square ? 30 : 128 + 2 * (x - y));
        }
    return rgb;
}

// The decoder targets' setup bytes (fuzz/frame_harness.h), then frames as selector, 24-bit
// length and payload.
struct Setup {
    std::uint8_t select, place;
    int width, height;
    std::uint8_t pad;
    int x, y;
};

const Setup setups[] = {
    {0, 0, seedWidth, seedHeight, 0, 0, 0},
    {1 | 0x10, 0, 97, 40, 3, -9, 5},
    {2 | 0x20, 1, 50, 30, 7, 20, -12},
    {3 | 0x40, 2, 61, 45, 1, 0, 0},
    {0 | 0x30, 4, 40, 24, 13, -30, -20},
    {1, 2, 64, 64, 5, 30, 40},
    {0, 0, 17, 9, 1, -5, 2},
};

void put16(Bytes& out, int value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

Bytes setupBytes(const Setup& s) {
    Bytes out{s.select, s.place};
    put16(out, s.width - 1);
    put16(out, s.height - 1);
    out.push_back(s.pad);
    put16(out, s.x);
    put16(out, s.y);
    return out;
}

struct SeedFrame {
    std::uint8_t selector;
    Bytes payload;
};

void writeDecoderSeeds(const std::string& target, const std::vector<SeedFrame>& frames) {
    for (std::size_t i = 0; i < std::size(setups); ++i)
        for (std::size_t count : {std::size_t{1}, frames.size()}) {
            Bytes out = setupBytes(setups[i]);
            for (std::size_t f = 0; f < count; ++f) {
                const Bytes& p = frames[f].payload;
                out.push_back(frames[f].selector);
                for (int shift : {0, 8, 16})
                    out.push_back(static_cast<std::uint8_t>(p.size() >> shift));
                out.insert(out.end(), p.begin(), p.end());
            }
            write(target, target + "_" + std::to_string(i) + "_" + std::to_string(count), out);
        }
}

// A short tone, interleaved when stereo.
MovieTrack tone(AudioFormat format, int slots, int slotsPerSecond) {
    MovieTrack track;
    track.format = format;
    const int frames = format.rate * slots / slotsPerSecond;
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < format.channels; ++c)
            track.samples.push_back(static_cast<std::int16_t>(9000 * std::sin(0.05 * i * (c + 1)) +
                                                              3000 * std::sin(0.31 * i)));
    return track;
}

// Splits a movie file into its chunks: id and whole chunk bytes.
std::vector<std::pair<std::uint32_t, Bytes>> chunksOf(const Bytes& file) {
    std::vector<std::pair<std::uint32_t, Bytes>> out;
    for (std::size_t at = 0; at + 8 <= file.size();) {
        const std::uint32_t id = file[at] | file[at + 1] << 8 | file[at + 2] << 16 |
                                 static_cast<std::uint32_t>(file[at + 3]) << 24;
        const std::uint32_t size = file[at + 4] | file[at + 5] << 8 | file[at + 6] << 16 |
                                   static_cast<std::uint32_t>(file[at + 7]) << 24;
        if (size < 8 || at + size > file.size()) break;
        out.emplace_back(id, Bytes(file.begin() + at, file.begin() + at + size));
        at += size;
    }
    return out;
}

void writeMovieSeeds(const std::string& name, Movie movie) {
    const Bytes file = movieBytes(movie);
    write("walker", name, file);
    for (std::uint8_t format = 0; format < 5; ++format) {
        Bytes seed{static_cast<std::uint8_t>(format + 5 * (format + 1))};
        seed.insert(seed.end(), file.begin(), file.end());
        write("movie", name + "_f" + std::to_string(format), seed);
        // The reader target's second byte: track (low 2 bits) and looping (bit 2).
        const std::uint8_t play[] = {0, 4, 2, 6, 1};
        seed.insert(seed.begin() + 1, play[format]);
        write("reader", name + "_f" + std::to_string(format), seed);
    }
    // Audio target: the stream header, a capacity byte (full, or cut), and a data payload.
    Bytes header;
    int data = 0;
    for (const auto& [id, chunk] : chunksOf(file)) {
        if (id == chunkId("SCHl") && header.empty()) header.assign(chunk.begin() + 8, chunk.end());
        if (id != chunkId("SCDl") || header.empty() || data == 2) continue;
        for (std::uint8_t cap : {0, 0x81}) {
            Bytes seed;
            put16(seed, static_cast<int>(header.size()));
            seed.insert(seed.end(), header.begin(), header.end());
            seed.push_back(cap);
            seed.insert(seed.end(), chunk.begin() + 8, chunk.end());
            write("audio", name + "_" + std::to_string(data) + "_" + std::to_string(cap), seed);
        }
        ++data;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds OUT_DIR\n");
        return 2;
    }
    outDir = argv[1];

    std::vector<YuvPicture> yuv;
    std::vector<RgbPicture> rgb;
    for (int f = 0; f < seedFrames; ++f) {
        rgb.push_back({seedWidth, seedHeight, seedRgb(f)});
        yuv.push_back(rgbToYuv420(rgb.back().rgb.data(), seedWidth, seedHeight));
    }

    std::vector<SeedFrame> type3, type4, dor, krt;
    for (int f = 0; f < seedFrames; ++f) {
        type3.push_back({0, encodeType3Frame(yuv[f], 60 + 10 * f, f ? &yuv[f - 1] : nullptr)});
        type4.push_back({0, encodeType4Frame(yuv[f], 50 + 15 * f, f != 2)});
    }
    DorEncoder dorEncoder;
    const DorFrameKind kinds[] = {DorFrameKind::key, DorFrameKind::motion,
                                  DorFrameKind::nonReference, DorFrameKind::motion};
    for (int f = 0; f < seedFrames; ++f)
        dor.push_back({static_cast<std::uint8_t>(kinds[f]), dorEncoder.encode(yuv[f], kinds[f])});
    KrtEncoder krtEncoder;
    std::vector<MovieVideoChunk> krtChunks;
    for (int f = 0; f < seedFrames; ++f) {
        krtChunks.push_back(f ? krtEncoder.deltaFrame(rgb[f]) : krtEncoder.keyFrame(rgb[f]));
        krt.push_back({static_cast<std::uint8_t>(krtChunks.back().id == chunkId("KRTk") ? 0 : 1),
                       krtChunks.back().payload});
    }
    writeDecoderSeeds("type3", type3);
    writeDecoderSeeds("type4", type4);
    writeDecoderSeeds("dor", dor);
    writeDecoderSeeds("krt", krt);

    // Whole movies: each video family with tracks of every codec, mono and stereo, 8 and 16 bits.
    const AudioFormat tracks[][2] = {
        {{2, 22050, 16, audioCodecIma}, {1, 11025, 16, audioCodecPcm}},
        {{1, 22050, 16, audioCodecBlockAdpcm}, {2, 11025, 8, audioCodecPcm}},
        {{2, 11025, 16, audioCodecBlockAdpcm}, {1, 8000, 16, audioCodecIma}},
    };
    const char* names[] = {"dct", "dor", "krt"};
    for (int m = 0; m < 3; ++m) {
        Movie movie;
        movie.options.slotsPerSecond = 15;
        for (const AudioFormat& format : tracks[m])
            movie.tracks.push_back(tone(format, seedFrames, movie.options.slotsPerSecond));
        for (int f = 0; f < seedFrames; ++f) {
            if (m == 0)
                movie.video.push_back(f % 2 ? MovieVideoChunk{chunkId("MQZf"), type3[f].payload}
                                            : MovieVideoChunk{chunkId("QZ2f"), type4[f].payload});
            else if (m == 1)
                movie.video.push_back({dorChunkId(kinds[f]), dor[f].payload});
            else
                movie.video.push_back(krtChunks[f]);
        }
        writeMovieSeeds(names[m], movie);
    }
    return 0;
}
