// Decode speed of KRT key and delta frames, each followed by the output stage into a memory
// target of 16-bit rgb565 pixels or 8-bit palette indices, in frames a second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_pictures.h"
#include "encoder/krt_encoder.h"
#include "video/krt/krt_decoder.h"

namespace {

constexpr int deltaFrames = 8;
constexpr int margin = 64; // room the moving window has in the source picture

const PixelFormat formatRgb565{5, 6, 5, 11, 5, 0, 0xFFFF, 16};
const PixelFormat formatPal8{0, 0, 0, 0, 0, 0, 0, 8};

// A key frame and the delta frames after it: a window scrolling over the bench picture, as a
// camera pan would.
struct Sequence {
    Bytes key;
    std::vector<Bytes> deltas;
};

const Sequence& sequence(int width, int height) {
    static std::map<int, std::unique_ptr<Sequence>> cache;
    auto& slot = cache[width];
    if (slot) return *slot;
    slot = std::make_unique<Sequence>();
    const int sourceWidth = width + margin;
    const std::vector<std::uint8_t> source = qzbench::benchPicture(sourceWidth, height + margin);
    KrtEncoder encoder;
    for (int t = 0; t <= deltaFrames; ++t) {
        RgbPicture frame{width, height, {}};
        for (int y = 0; y < height; ++y) {
            const auto row = source.begin() + 3 * (std::ptrdiff_t(y + t) * sourceWidth + 2 * t);
            frame.rgb.insert(frame.rgb.end(), row, row + 3 * width);
        }
        if (t == 0)
            slot->key = encoder.keyFrame(frame).payload;
        else
            slot->deltas.push_back(encoder.deltaFrame(frame).payload);
    }
    return *slot;
}

struct Player {
    BYTE paletteRgb[768]{};
    DWORD paletteLookup[256]{};
    VideoState ctx{};
    std::vector<BYTE> target;
    LONG pitch;

    Player(const PixelFormat& format, int width, int height) {
        ctx.output.pixelFormat = format;
        ctx.output.paletteRgb = paletteRgb;
        ctx.output.paletteLookup = paletteLookup;
        for (int i = 0; i < 768; ++i) paletteRgb[i] = BYTE(i);
        pitch = width * (format.depth == 8 ? 1 : 2);
        target.resize(std::size_t(pitch) * std::size_t(height));
        ctx.clipRight = width;
        ctx.clipBottom = height;
    }
    ~Player() { releaseVideoState(ctx); }
    void key(const Bytes& payload) {
        ctx.frameDataEnd = payload.data() + payload.size();
        decodeKrtKeyFrame(&ctx, payload.data());
        if (ctx.output.pixelFormat.depth != 8) buildKrtColourLookup(&ctx);
        writeKrtOutput(&ctx, target.data(), target.data(), pitch);
    }
    void delta(const Bytes& payload) {
        ctx.frameDataEnd = payload.data() + payload.size();
        decodeKrtDeltaFrame(&ctx, payload.data());
        writeKrtOutput(&ctx, target.data(), target.data(), pitch);
    }
};

void keyFrames(benchmark::State& state, PixelFormat format, int width, int height) {
    const Sequence& s = sequence(width, height);
    Player player(format, width, height);
    for (auto _ : state) {
        player.key(s.key);
        benchmark::DoNotOptimize(player.target.data());
    }
    state.counters["frames/s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["bytes"] = double(s.key.size());
}

void deltaFramesBench(benchmark::State& state, PixelFormat format, int width, int height) {
    const Sequence& s = sequence(width, height);
    Player player(format, width, height);
    player.key(s.key);
    std::size_t next = 0;
    std::size_t bytes = 0;
    for (const Bytes& d : s.deltas) bytes += d.size();
    for (auto _ : state) {
        // The deltas go round in a loop on the picture they leave: the same work as in order.
        player.delta(s.deltas[next]);
        next = (next + 1) % s.deltas.size();
        benchmark::DoNotOptimize(player.target.data());
    }
    state.counters["frames/s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["bytes"] = double(bytes / s.deltas.size());
}

void registerAll() {
    const std::pair<int, int> sizes[] = {{320, 240}, {640, 480}};
    const std::pair<const char*, PixelFormat> outputs[] = {{"rgb565", formatRgb565},
                                                           {"pal8", formatPal8}};
    for (auto [width, height] : sizes)
        for (auto [name, format] : outputs) {
            const std::string suffix = std::string("/") + name + "/" + std::to_string(width) + "x" +
                                       std::to_string(height);
            benchmark::RegisterBenchmark(("KrtKeyFrame" + suffix).c_str(), keyFrames, format, width,
                                         height);
            benchmark::RegisterBenchmark(("KrtDeltaFrame" + suffix).c_str(), deltaFramesBench,
                                         format, width, height);
        }
}

} // namespace

int main(int argc, char** argv) {
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
